# Renders in Python threads: independent textures render at the same time and give the bits
# they give one after the other; renders that share a map take turns.
import threading
import time

import numpy as np

import loomwork
from conftest import same_bits


def in_threads(*calls):
    results = [None] * len(calls)
    errors = []

    def run(i, call):
        try:
            results[i] = call()
        except Exception as e:  # reported below, in the test's thread
            errors.append(e)

    threads = [threading.Thread(target=run, args=(i, c)) for i, c in enumerate(calls)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors
    return results


def test_two_threads_give_the_bits_of_one_after_the_other():
    textures = [loomwork.Texture(cls, seed=seed) for cls, seed in
                (("nimbra", 0), ("voltrane", 0), ("fervix", 7), ("lumidot", 0))]
    shared = loomwork.Texture("fervix")
    sky = loomwork.Texture("nimbra", Sky=shared)
    cloud = loomwork.Texture("nimbra", Cloud=shared)
    textures += [sky, cloud]
    renders = [lambda t=t: t.render(64, 48, time=3, threads=1) for t in textures]
    samples = [lambda t=t: t.sample(np.linspace(0, 1, 500), 0.25, time=2) for t in textures]
    one_by_one = [call() for call in renders + samples]
    for _ in range(3):
        together = in_threads(*renders, *samples)
        assert all(same_bits(a, b) for a, b in zip(one_by_one, together))


def test_model_changes_wait_for_renders_and_renders_see_whole_changes():
    tex = loomwork.Texture("nimbra")
    before = tex.render(48, 48, threads=1)
    tex["U Scale"] = 9
    after = tex.render(48, 48, threads=1)
    tex["U Scale"] = 25
    for _ in range(5):
        got = in_threads(lambda: tex.render(48, 48, threads=1),
                         lambda: tex.__setitem__("U Scale", 9))
        assert same_bits(got[0], before) or same_bits(got[0], after)
        tex["U Scale"] = 25


def test_a_render_does_not_wait_for_another_textures_render():
    big = loomwork.Texture("nimbra")
    small = loomwork.Texture("lumidot")
    order = []
    started = threading.Event()

    def long_render():
        started.set()
        big.render(4096, 2048, threads=1)
        order.append("big")

    worker = threading.Thread(target=long_render)
    worker.start()
    started.wait()
    time.sleep(0.05)  # the big render under way, its GIL released
    small.render(4, 4, threads=1)
    order.append("small")
    worker.join()
    # The small render ran while the big one (about half a second on a fast core, many
    # times the wait above) was under way.
    assert order == ["small", "big"]
