# The installed package's plug-ins: lib/loomwork/plugins, three folders above the package
# (lib/pythonX.Y/site-packages/loomwork or lib/python3/dist-packages/loomwork).
import os

PLUGIN_DIRS = [
    os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..", "..", "loomwork", "plugins"))
]
