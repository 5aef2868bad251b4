# The installed package's plug-ins: lib/loomwork/plugins, beside lib/python3.
import os

PLUGIN_DIRS = [
    os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..", "..", "loomwork", "plugins"))
]
