# Frames spread over the worker processes of a dask.distributed cluster are the files one
# `loomhost render --frames` writes, byte for byte, also when a worker dies mid-job.
import json
import os
import signal
import threading
import time

import pytest

import loomwork
from loomwork.distributed import FramesFailed, render_frames

distributed = pytest.importorskip("dask.distributed")

FRAMES = 40


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=40)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def _scene(tmp_path):
    tex = loomwork.Texture("nimbra", **{"U Scale": 6})
    tex["Sky"] = loomwork.Texture("fervix")
    tex.key("U Shift", 0, 0.0)
    tex.key("U Shift", FRAMES - 1, 2.0)
    path = tmp_path / "anim.loom"
    loomwork.save_scene(str(path), {"anim": tex})
    return tex, path


def _files(folder, prefix):
    return {p.name[len(prefix):]: p.read_bytes() for p in sorted(folder.iterdir()) if p.name.startswith(prefix)}


def test_cluster_frames_equal_one_process_render(cli, tmp_path, client):
    tex, scene = _scene(tmp_path)
    cli.run("render", "--scene", scene, "--size", "48x32", "--frames", f"0-{FRAMES - 1}", "-o", tmp_path / "ref.png")
    report = render_frames(client, tex, range(FRAMES), str(tmp_path / "tex_{frame:04d}.png"),
                           width=48, height=32, chunk_size=3, progress=False)
    assert report.done == list(range(FRAMES)) and report.retried == []
    # A scene path every worker reads, and printf-style names.
    render_frames(client, str(scene), range(FRAMES), str(tmp_path / "scn_%04d.png"),
                  width=48, height=32, progress=False)
    ref = _files(tmp_path, "ref_")
    assert len(ref) == FRAMES
    assert _files(tmp_path, "tex_") == ref
    assert _files(tmp_path, "scn_") == ref


def test_a_worker_killed_mid_job_loses_no_frame(cli, tmp_path, client):
    tex, scene = _scene(tmp_path)
    size = ["--size", "160x120"]
    cli.run("render", "--scene", scene, *size, "--frames", f"0-{FRAMES - 1}", "-o", tmp_path / "ref.png")
    pids = client.run(os.getpid)
    result = {}

    def job():
        result["report"] = render_frames(client, str(scene), range(FRAMES), str(tmp_path / "k_{frame:04d}.png"),
                                         width=160, height=120, threads=1, chunk_size=2, progress=False)

    worker = threading.Thread(target=job)
    worker.start()
    deadline = time.monotonic() + 60
    while not any(p.name.startswith("k_") for p in tmp_path.iterdir()) and time.monotonic() < deadline:
        time.sleep(0.005)
    os.kill(next(iter(pids.values())), signal.SIGKILL)
    written_at_kill = sum(p.name.startswith("k_") for p in tmp_path.iterdir())
    worker.join(120)
    assert not worker.is_alive()
    # The kill came while frames were still to be written.
    assert 0 < written_at_kill < FRAMES
    assert result["report"].done == list(range(FRAMES))
    assert _files(tmp_path, "k_") == _files(tmp_path, "ref_")
    client.wait_for_workers(2, timeout=180)


def test_a_frame_failing_twice_is_reported_by_number(tmp_path, client):
    tex, _ = _scene(tmp_path)
    (tmp_path / "f_0003.png").mkdir()  # frame 3's file cannot be written
    with pytest.raises(FramesFailed) as info:
        render_frames(client, tex, range(6), str(tmp_path / "f_{frame:04d}.png"), width=8, height=8,
                      progress=False)
    assert list(info.value.failed) == [3]
    assert "frame 3:" in str(info.value)
    assert info.value.done == [0, 1, 2, 4, 5]
    assert all((tmp_path / f"f_000{f}.png").is_file() for f in info.value.done)


def test_resume_renders_only_what_is_missing_and_a_manifest_says_how(tmp_path, client):
    tex, _ = _scene(tmp_path)
    pattern = str(tmp_path / "r_{frame:04d}.png")
    render_frames(client, tex, range(8), pattern, width=24, height=16, progress=False)
    whole = _files(tmp_path, "r_")
    (tmp_path / "r_0002.png").unlink()
    (tmp_path / "r_0005.png").write_bytes(whole["0005.png"][:40])  # cut short
    report = render_frames(client, tex, range(8), pattern, width=24, height=16, progress=False,
                           resume=True, manifest=tmp_path / "run.json")
    assert report.done == [2, 5] and report.skipped == [0, 1, 3, 4, 6, 7]
    assert _files(tmp_path, "r_") == whole
    recorded = json.loads((tmp_path / "run.json").read_text())
    assert recorded["size"] == [24, 16] and recorded["frames"] == {"first": 0, "last": 7}
    assert recorded["files"] == {"color": pattern} and recorded["parameters"]["U Scale"]
    # Nothing left to do: no task at all.
    assert render_frames(client, tex, range(8), pattern, width=24, height=16, progress=False,
                         resume=True).skipped == list(range(8))


def test_frames_may_be_a_list_as_the_command_line_takes_it(tmp_path, client):
    assert loomwork.frame_list("7-12:2,1-3,5") == [1, 2, 3, 5, 7, 9, 11]
    with pytest.raises(ValueError, match=r"'1-3,4-x': '4-x': 'x' is not a frame number"):
        loomwork.frame_list("1-3,4-x")
    with pytest.raises(ValueError, match="at most 1000000"):
        loomwork.frame_list("0-2000000")
    tex, _ = _scene(tmp_path)
    report = render_frames(client, tex, "4-5,0-3:3", str(tmp_path / "f_{frame:04d}.png"), width=8,
                           height=8, progress=False)
    assert sorted(report.done) == [0, 3, 4, 5]
    assert sorted(p.name for p in tmp_path.glob("f_*.png")) == [f"f_000{f}.png" for f in (0, 3, 4, 5)]
