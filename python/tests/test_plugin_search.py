# The module searches for plug-ins as loomhost does: $LOOMHOST_PLUGINS, then the user's
# folder, then its own (the package's, as the program's own folder for loomhost).
import json
import os
import subprocess
import sys


def folders_in_a_fresh_process(env_changes):
    env = dict(os.environ)
    for k, v in env_changes.items():
        if v is None:
            env.pop(k, None)
        else:
            env[k] = v
    probe = "import json, loomwork; loomwork.classes(); print(json.dumps(loomwork.plugin_folders()))"
    out = subprocess.run([sys.executable, "-c", probe], env=env, check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def test_user_folder_and_variable_come_before_the_packages_own(tmp_path):
    import loomwork

    own = loomwork._config.PLUGIN_DIRS
    user = tmp_path / "data" / "loomwork" / "plugins"
    user.mkdir(parents=True)
    extra = tmp_path / "extra"
    extra.mkdir()
    base = {"XDG_DATA_HOME": str(tmp_path / "data")}
    assert folders_in_a_fresh_process({**base, "LOOMHOST_PLUGINS": None}) == [str(user), *own]
    assert folders_in_a_fresh_process({**base, "LOOMHOST_PLUGINS": str(extra)}) == [
        str(extra), str(user), *own]
    # As for loomhost, a user folder that does not exist is not searched.
    missing = {"XDG_DATA_HOME": str(tmp_path / "nowhere"), "LOOMHOST_PLUGINS": None}
    assert folders_in_a_fresh_process(missing) == own
