"""Every search from Python equals ferolan-cli on the same data and settings, bit for bit."""
import numpy as np
import pytest

import ferolan
from conftest import EXAMPLE, comparable, run_cli

TRACE = "py.trace"  # in the test's folder

CASES = [
    ("optimisation", lambda ds: ferolan.optimise(ds, pk=[4, 9], trace=TRACE),
     ["--pk", "4,9"]),
    ("optimisation high, pKa2 held",
     lambda ds: ferolan.optimise(ds, pk=[4, 8.9], hold=[2], level="high", trace=TRACE),
     ["--pk", "4,8.9", "--hold", "2", "--level", "high"]),
    ("manual grid",
     lambda ds: ferolan.manual_grid(ds, ranges=[(3.5, 4.5, 0.1), (8.5, 9.5, 0.1)], trace=TRACE),
     ["--search", "manual", "--constants", "2", "--range", "1:3.5:4.5:0.1",
      "--range", "2:8.5:9.5:0.1"]),
    ("automatic grid", lambda ds: ferolan.auto_grid(ds, constants=2, trace=TRACE),
     ["--search", "auto", "--constants", "2"]),
    ("automatic grid, factor analysis decides", lambda ds: ferolan.auto_grid(ds, trace=TRACE),
     ["--search", "auto"]),
    ("evaluate", lambda ds: ferolan.evaluate(ds, pk=[4.2, 8.9]),
     ["--evaluate", "--pk", "4.2,8.9"]),
    ("ionic strength, one spectrum left out",
     lambda ds: ferolan.optimise(ds, pk=[4, 9], ionic_strength=0.1, exclude=[3], trace=TRACE),
     ["--pk", "4,9", "--ionic-strength", "0.1", "--exclude", "3"]),
]


@pytest.mark.parametrize("name,search,args", CASES, ids=[c[0] for c in CASES])
def test_result_and_trace_equal_the_batch_tools(tmp_path, monkeypatch, example, name, search,
                                               args):
    monkeypatch.chdir(tmp_path)
    r = search(example)
    trace = tmp_path / "cli.trace"
    extra = [] if "--evaluate" in args else ["--trace", trace]
    want, status = run_cli(EXAMPLE, *args, *extra)
    assert status == 0
    got = r.to_dict()
    assert comparable(got) == comparable(want)
    assert got["file"] == str(EXAMPLE)
    # The attributes are the JSON's numbers, not others.
    slots = [s for s in want["slots"] if s["state"] != "removed"]
    assert r.pKa.tolist() == [s["pKa"] for s in slots]
    assert r.Ka.tolist() == [s["Ka"] for s in slots]
    assert r.s_a == want["s_a"] and r.trials == want["trials"]
    if extra:
        mine = (tmp_path / TRACE).read_text()
        assert mine == trace.read_text()
        assert mine.count("\n") == r.trials


def test_repr_as_a_chemist_writes_it(example):
    r = ferolan.auto_grid(example, constants=2)
    assert repr(r).splitlines()[:2] == ["pKa1 = 4.20 ± 0.01", "pKa2 = 8.90 ± 0.01"]
    assert "s(A) = 1.4" in repr(r)
    held = ferolan.optimise(example, pk=[4, 8.9], hold=[2])
    assert repr(held).splitlines()[1] == "pKa2 = 8.90 (held)"


def test_arrays_of_the_fit_are_consistent(example):
    r = ferolan.optimise(example, pk=[4, 9], exclude=[5])
    n_used, points = example.n_spectra - 1, example.n_points
    assert r.forms_spectra.shape == (points, 3)
    assert r.concentrations.shape == (n_used, 3)
    assert r.measured.shape == r.calculated.shape == r.residuals.shape == (n_used, points)
    # The engine's own sum and difference, equal up to the rounding of a - (a - c).
    assert np.allclose(r.measured - r.residuals, r.calculated, rtol=0, atol=1e-15)
    # The search's fit at its result is the fit of its constants, evaluated anew.
    again = ferolan.evaluate(example, pk=r.pKa, exclude=[5])
    for name in ("forms_spectra", "concentrations", "calculated", "residuals", "ph"):
        assert np.array_equal(getattr(r, name), getattr(again, name)), name
    # The forms' concentrations add up to the acid's, and the residuals to s(A).
    assert np.allclose(r.concentrations.sum(axis=1), example.conc, rtol=1e-5)
    assert np.sqrt(np.mean(r.residuals ** 2)) == pytest.approx(r.s_a, rel=1e-9)
    assert np.allclose(r.concentrations @ r.forms_spectra.T, r.calculated, atol=1e-6)


@pytest.mark.parametrize("call,code", [
    (lambda ds: ferolan.optimise(ds, pk=[4, 0]), "start_value_missing"),
    (lambda ds: ferolan.manual_grid(ds, ranges=[(5, 3, 0.1)]), "range_order"),
    (lambda ds: ferolan.manual_grid(ds, ranges=[(3, 5, 0)]), "range_step"),
    (lambda ds: ferolan.optimise(ds, pk=[4, 9], hold=[3]), "hold_removed"),
    (lambda ds: ferolan.optimise(ds, pk=[4, 9], exclude=[99]), "exclude_out_of_range"),
    (lambda ds: ferolan.optimise(ds, pk=[4, 9], level="max"), "level"),
    (lambda ds: ferolan.optimise(ds, pk=["four", 9]), "start_value_missing"),
    (lambda ds: ferolan.optimise(ds, pk=[4, float("nan")]), "non_finite"),
    (lambda ds: ferolan.optimise(ds, pk=[4, 9], hold=[7]), "slot_out_of_range"),
    (lambda ds: ferolan.auto_grid(ds, constants=0), "constants"),
    (lambda ds: ferolan.auto_grid(ds, constants=2.5), "wrong_type"),
    (lambda ds: ferolan.optimise(ds, pk=[4, 9], progress=5), "wrong_type"),
    (lambda ds: ferolan.auto_grid(ds, constants=2, hold=[1, 2], pk=[4, 9]), "no_fitted_slot"),
])
def test_refused_settings_raise_with_the_batch_tools_code(example, call, code):
    with pytest.raises(ferolan.RefusedError) as e:
        call(example)
    assert e.value.code == code, str(e.value)


def test_too_few_spectra_for_the_model():
    ds = ferolan.Dataset([2.0, 7.0], [300, 310, 320], [[0.1, 0.2, 0.3], [0.3, 0.2, 0.1]], 1e-4)
    with pytest.raises(ferolan.RefusedError) as e:
        ferolan.optimise(ds, pk=[4, 6, 8])
    assert e.value.code == "too_few_spectra"


def test_score_is_the_fit_a_search_scores(example):
    r = ferolan.evaluate(example, pk=[4.2, 8.9])
    assert example.score([4.2, 8.9]) == r.s_a_thinned
    assert example.score([4.2, 8.9], fit_step=1) == r.s_a
    # The scratch kept between calls does not carry one set into the next.
    example.score([3, 5, 7])
    assert example.score([4.2, 8.9]) == r.s_a_thinned


@pytest.mark.parametrize("pk,step,code", [
    ([], 10, "too_many_constants"),
    ([1, 2, 3, 4, 5, 6], 10, "too_many_constants"),
    ([4.2, 0], 10, "start_value_missing"),
    ([4.2, 8.9], 0, "fit_step"),
])
def test_score_refuses_what_a_fit_cannot_use(example, pk, step, code):
    with pytest.raises(ferolan.RefusedError) as e:
        example.score(pk, fit_step=step)
    assert e.value.code == code


def test_evaluate_numbers_before_the_batch_tools_diagnostics_are_asked_for(example):
    # ferolan.evaluate scores on the engine alone; the batch tool's JSON is made only for
    # to_dict() and must hold the same numbers.
    r = ferolan.evaluate(example, pk=np.array([4.2, 8.9]))
    lean = (r.pKa.tolist(), r.Ka.tolist(), r.s_a, r.s_a_thinned, r.states, r.slots)
    arrays = r.forms_spectra, r.calculated, r.residuals
    want, status = run_cli(EXAMPLE, "--evaluate", "--pk", "4.2,8.9")
    assert status == 0
    slots = [s for s in want["slots"] if s["state"] != "removed"]
    assert lean == ([s["pKa"] for s in slots], [s["Ka"] for s in slots], want["s_a"],
                    want["s_a_thinned"], ["fitted", "fitted"], [1, 2])
    assert comparable(r.to_dict()) == comparable(want)
    assert (r.s_a, r.s_a_thinned) == lean[2:4]
    for before, after in zip(arrays, (r.forms_spectra, r.calculated, r.residuals)):
        assert np.array_equal(before, after)


@pytest.mark.parametrize("pk,code", [
    ([4.2, 0], "start_value_missing"),
    ([4.2, float("nan")], "non_finite"),
    (["4.2", "x"], None),
    ([1, 2, 3, 4, 5, 6], "too_many_constants"),
])
def test_evaluate_refuses_as_the_batch_tool_does(example, pk, code):
    with pytest.raises(ferolan.RefusedError) as e:
        ferolan.evaluate(example, pk=pk)
    if code:
        assert e.value.code == code
