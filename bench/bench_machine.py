"""What the Python benchmarks print beside their figures: the processor and its load."""

import os
import platform


def cpu_name():
    """The processor's model name, as /proc/cpuinfo gives it."""
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def machine_line():
    """'CPU, N cores, load L': the context a figure was measured in."""
    return f"{cpu_name()}, {os.cpu_count()} cores, load {os.getloadavg()[0]:.2f}"
