"""A good Python citizen: Ctrl-C, a cancel token, two threads, progress, no leaks, help."""
import _thread
import threading
import time
import tracemalloc

import numpy as np
import pytest

import ferolan
from conftest import comparable

# A manual grid of about 1.2 million trials: minutes, unless stopped.
LONG = [(1.0, 12.0, 0.01), (1.0, 12.0, 0.01)]
LONG_TRIALS = 1100 * 1100 // 2


def test_ctrl_c_stops_the_search_and_raises_keyboard_interrupt(example):
    timer = threading.Timer(0.2, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        ferolan.manual_grid(example, ranges=LONG)
    timer.join()
    # The module is usable afterwards.
    assert ferolan.evaluate(example, pk=[4.2, 8.9]).s_a > 0


@pytest.mark.parametrize("fit", [
    lambda ds: ferolan.refine(ds, pk=[4.2, 8.9], bootstrap=100000),
    lambda ds: ferolan.global_fit([ds, ds], pk=[4.2, 8.9], bootstrap=100000),
], ids=["refine", "global_fit"])
def test_ctrl_c_stops_a_bootstrap_and_raises_keyboard_interrupt(example, fit):
    # 100000 refits take many minutes; the timer's Ctrl-C must end them.
    timer = threading.Timer(0.3, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        fit(example)
    timer.join()
    assert ferolan.refine(example, pk=[4.2, 8.9], bootstrap=20).ci is not None


@pytest.mark.parametrize("search,scored", [
    (lambda ds, c: ferolan.manual_grid(ds, ranges=LONG, cancel=c), True),
    # A cancel inside the first sweep leaves the start values as the best set.
    (lambda ds, c: ferolan.optimise(ds, pk=[2, 4, 6, 8, 10], level="very-high", cancel=c),
     False),
], ids=["manual", "optimisation"])
def test_cancel_token_from_another_thread_returns_the_best_so_far(example, search, scored):
    token = ferolan.CancelToken()
    timer = threading.Timer(0.1, token.set)
    timer.start()
    r = search(example, token)
    timer.join()
    assert token.is_set and r.stopped
    assert r.trials < (LONG_TRIALS if scored else 10 ** 9)
    if scored:
        assert r.trials > 0
    assert np.all(np.isfinite(r.pKa)) and r.s_a > 0
    assert "stopped" in repr(r)
    token.reset()
    assert not ferolan.evaluate(example, pk=[4.2, 8.9]).stopped


def test_set_token_stops_before_the_first_trial(example):
    token = ferolan.CancelToken()
    token.set()
    with pytest.raises(ferolan.RefusedError) as e:
        ferolan.manual_grid(example, ranges=LONG, cancel=token)
    assert e.value.code == "no_result"


def test_two_searches_on_two_threads_equal_the_same_in_turn(example):
    searches = [lambda: ferolan.auto_grid(example, constants=2),
                lambda: ferolan.optimise(example, pk=[3, 10], level="high")]
    in_turn = [comparable(s().to_dict()) for s in searches]
    results = [None, None]

    def run(i):
        results[i] = comparable(searches[i]().to_dict())

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == in_turn


def test_searches_release_the_gil(example):
    # While a search runs on a thread, this thread keeps running Python.
    token = ferolan.CancelToken()
    t = threading.Thread(target=ferolan.manual_grid, args=(example,),
                         kwargs=dict(ranges=LONG, cancel=token))
    t.start()
    counted = 0
    deadline = time.monotonic() + 0.3
    while time.monotonic() < deadline:
        counted += 1
    token.set()
    t.join()
    assert counted > 10000


def test_progress_is_called_with_trials_at_most_ten_times_a_second(example):
    calls = []
    token = ferolan.CancelToken()

    def progress(trials, seconds):
        calls.append((trials, seconds))
        if seconds > 0.55:
            token.set()

    r = ferolan.manual_grid(example, ranges=LONG, progress=progress, cancel=token)
    assert 3 <= len(calls) <= 7
    seconds = [c[1] for c in calls]
    assert all(b - a >= 0.099 for a, b in zip(seconds, seconds[1:]))
    trials = [c[0] for c in calls]
    assert trials == sorted(trials) and trials[-1] <= r.trials


def test_an_error_in_progress_stops_the_search_and_is_raised(example):
    def progress(trials, seconds):
        raise RuntimeError("from the callback")

    with pytest.raises(RuntimeError, match="from the callback"):
        ferolan.manual_grid(example, ranges=LONG, progress=progress)


def test_no_leak_over_a_thousand_calls():
    # A monoprotic acid, pKa 6.5: two forms with bands at 310 and 330 nm, a little noise.
    rng = np.random.default_rng(1)
    ph = np.linspace(2, 11, 8)
    wl = np.arange(300, 340, 2)
    acid = 1 / (1 + 10 ** (ph - 6.5))
    bands = np.exp(-((wl - 310) / 8.0) ** 2), np.exp(-((wl - 330) / 8.0) ** 2)
    a = np.outer(acid, bands[0]) + np.outer(1 - acid, bands[1])
    ds = ferolan.Dataset(ph, wl, a + rng.normal(0, 1e-3, a.shape), 1e-4)

    def calls(n):
        for _ in range(n):
            r = ferolan.evaluate(ds, pk=[6.5])
            r.residuals, r.forms_spectra, r.to_dict(), repr(r)
            lean = ferolan.evaluate(ds, pk=[6.4])
            lean.calculated, lean.s_a
            f = ferolan.refine(r)
            f.pKa, f.covariance, f.to_dict(), repr(f)
            g = ferolan.global_fit([ds, ds], pk=[6.4])
            g.own, g.s_a_titrations, g.to_dict(), repr(g)
            try:
                ferolan.refine(ds, pk=[6.5], bootstrap="many")
            except ferolan.RefusedError:
                pass
            try:
                ferolan.Dataset(ph, [1, 2], np.ones((8, 3)), 1e-4)
            except ferolan.DataError:
                pass

    calls(50)
    tracemalloc.start()
    before = tracemalloc.take_snapshot()
    calls(1000)
    after = tracemalloc.take_snapshot()
    tracemalloc.stop()
    grown = sum(s.size_diff for s in after.compare_to(before, "filename"))
    assert grown < 64 * 1024, grown


def test_help_is_useful():
    doc = ferolan.__doc__
    for name in ("read", "Dataset", "optimise", "manual_grid", "auto_grid", "evaluate",
                 "analyse_many", "refine", "global_fit", "bootstrap", "DataError",
                 "KeyboardInterrupt"):
        assert name in doc
    public = [n for n in dir(ferolan) if not n.startswith("_")]
    for name in public:
        obj = getattr(ferolan, name)
        if callable(obj) or isinstance(obj, type):
            assert obj.__doc__ and len(obj.__doc__) > 30, name
    for cls in (ferolan.Result, ferolan.Refinement, ferolan.GlobalFit, ferolan.Dataset):
        for name in dir(cls):
            if not name.startswith("_"):
                assert getattr(cls, name).__doc__, (cls.__name__, name)
