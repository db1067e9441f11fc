"""Refinement, global fit and bootstrap from Python: hostile arguments first, then the same
objects as ferolan-cli --refine / --global, and concentrations per spectrum."""
import math

import numpy as np
import pytest

import ferolan
from conftest import EXAMPLE, run_cli


def untimed(d):
    """A JSON object without its times, at any depth."""
    if isinstance(d, dict):
        return {k: untimed(v) for k, v in d.items() if k != "elapsed_s"}
    if isinstance(d, list):
        return [untimed(v) for v in d]
    return d


# --- hostile arguments -------------------------------------------------------------------

REFINE_BAD = [
    ("a path, not a data set", dict(source="examples/data.mdf", pk=[4, 9]), "DataError",
     "wrong_type"),
    ("a number, not a data set", dict(source=3, pk=[4, 9]), "DataError", "wrong_type"),
    ("pk as text", dict(pk="4,9"), "RefusedError", "wrong_type"),
    ("text in pk", dict(pk=[4, "x"]), "RefusedError", "wrong_type"),
    ("None in pk", dict(pk=[4, None]), "RefusedError", "wrong_type"),
    ("NaN in pk", dict(pk=[4, math.nan]), "RefusedError", "non_finite"),
    ("infinity in pk", dict(pk=[4, math.inf]), "RefusedError", "non_finite"),
    ("empty pk", dict(pk=[]), "RefusedError", "too_many_constants"),
    ("six constants", dict(pk=[1, 2, 3, 4, 5, 6]), "RefusedError", "too_many_constants"),
    ("held slot without value", dict(pk=[4, 9], hold=[3]), "RefusedError", "slot_out_of_range"),
    ("hold without pk", dict(hold=[1]), "RefusedError", "wrong_type"),
    ("bootstrap as text", dict(pk=[4, 9], bootstrap="50"), "RefusedError", "wrong_type"),
    ("bootstrap as a float", dict(pk=[4, 9], bootstrap=50.0), "RefusedError", "wrong_type"),
    ("bootstrap as a bool", dict(pk=[4, 9], bootstrap=True), "RefusedError", "wrong_type"),
    ("too few replicates", dict(pk=[4, 9], bootstrap=5), "RefusedError", "out_of_range"),
    ("negative replicates", dict(pk=[4, 9], bootstrap=-1), "RefusedError", "out_of_range"),
    ("huge replicates", dict(pk=[4, 9], bootstrap=10 ** 12), "RefusedError", "out_of_range"),
    ("negative seed", dict(pk=[4, 9], seed=-1), "RefusedError", "out_of_range"),
    ("seed beyond 64 bits", dict(pk=[4, 9], seed=2 ** 64), "RefusedError", "out_of_range"),
    ("seed as text", dict(pk=[4, 9], seed="1"), "RefusedError", "wrong_type"),
    ("no iteration", dict(pk=[4, 9], max_iterations=0), "RefusedError", "out_of_range"),
    ("threads as text", dict(pk=[4, 9], threads="2"), "RefusedError", "wrong_type"),
]


@pytest.mark.parametrize("name,kw,kind,code", REFINE_BAD, ids=[c[0] for c in REFINE_BAD])
def test_refine_refuses_bad_arguments(example, name, kw, kind, code):
    kw = dict(kw)
    source = kw.pop("source", example)
    with pytest.raises(getattr(ferolan, kind)) as e:
        ferolan.refine(source, **kw)
    assert e.value.code == code


def test_a_result_is_refined_from_its_own_constants(example):
    r = ferolan.evaluate(example, pk=[4.2, 8.9])
    with pytest.raises(ferolan.RefusedError) as e:
        ferolan.refine(r, pk=[4, 9])
    assert e.value.code == "wrong_type"


def test_too_few_spectra_raise_the_refinements_status():
    ds = ferolan.Dataset([2.0, 5.0, 7.0], [300, 310, 320],
                         [[0.1, 0.2, 0.3], [0.2, 0.2, 0.2], [0.3, 0.2, 0.1]], 1e-4)
    with pytest.raises(ferolan.RefusedError) as e:
        ferolan.refine(ds, pk=[4, 6])
    assert e.value.code == "too_few_data"


def tiny():
    return ferolan.Dataset([2.0, 7.0], [300, 310, 320], [[0.1, 0.2, 0.3], [0.3, 0.2, 0.1]], 1e-4)


GLOBAL_BAD = [
    ("one data set, not a list", lambda ds: ds, {}, "DataError", "wrong_type"),
    ("a path", lambda ds: str(EXAMPLE), {}, "DataError", "wrong_type"),
    ("empty list", lambda ds: [], {}, "DataError", "no_titration"),
    ("text in the list", lambda ds: [ds, "b.mdf"], {}, "DataError", "wrong_type"),
    ("shared_spectra as text", lambda ds: [ds], dict(shared_spectra="yes"), "RefusedError",
     "wrong_type"),
    ("conc_factors as a number", lambda ds: [ds], dict(conc_factors=1), "RefusedError",
     "wrong_type"),
    ("bootstrap too small", lambda ds: [ds], dict(pk=[4, 9], bootstrap=3), "RefusedError",
     "out_of_range"),
    ("text in pk", lambda ds: [ds], dict(pk=["4", 9]), "RefusedError", "wrong_type"),
    ("a titration its search refuses", lambda ds: [ds, tiny()], dict(constants=2),
     "RefusedError", "too_few_spectra"),
]


@pytest.mark.parametrize("name,sets,kw,kind,code", GLOBAL_BAD, ids=[c[0] for c in GLOBAL_BAD])
def test_global_fit_refuses_bad_arguments(example, name, sets, kw, kind, code):
    with pytest.raises(getattr(ferolan, kind)) as e:
        ferolan.global_fit(sets(example), **kw)
    assert e.value.code == code
    if name.startswith("a titration"):
        assert "titration 2" in e.value.message


# --- concentrations per spectrum ---------------------------------------------------------

PH = np.linspace(2, 11, 12)
WL = np.arange(300, 340, 2.0)
A = np.abs(np.sin(np.outer(PH, WL / 30.0))) * 0.5 + 0.05


@pytest.mark.parametrize("conc,code,where", [
    (np.full(11, 1e-4), "wrong_shape", "one per spectrum (12)"),
    (np.full((12, 1), 1e-4), "wrong_shape", "dimension"),
    (np.array([1e-4] * 3 + [math.nan] + [1e-4] * 8), "non_finite", "conc[3]"),
    (np.array([1e-4] * 11 + [0.0]), "conc_not_positive", "conc[11]"),
    (np.array([1e-4] * 11 + [-1e-4]), "conc_not_positive", "conc[11]"),
    (np.array([1e-4] * 11 + [1e300]), "value_out_of_range", "conc[11]"),
    (np.array(["1e-4"] * 12), "wrong_dtype", "conc"),
    ("1e-4", "wrong_type", "conc"),
    ([], "wrong_shape", "conc"),
])
def test_concentrations_per_spectrum_refused_with_the_reason(conc, code, where):
    with pytest.raises(ferolan.DataError) as e:
        ferolan.Dataset(PH, WL, A, conc)
    assert e.value.code == code and where in e.value.message


def test_one_stored_concentration_for_all_is_the_data_sets_own():
    ds = ferolan.Dataset(PH, WL, A, [1e-4] * 12)
    assert ds.conc == np.float32(1e-4)
    assert ferolan.evaluate(ds, pk=[5, 8]).s_a == ferolan.evaluate(
        ferolan.Dataset(PH, WL, A, 1e-4), pk=[5, 8]).s_a


def diluted(example, factors, pk=(4.2, 8.9)):
    """The example's forms' spectra at pk, measured at these concentrations: exact data."""
    r = ferolan.evaluate(example, pk=list(pk))
    h = 10.0 ** -example.ph[:, None]
    k1, k2 = 10.0 ** -pk[0], 10.0 ** -pk[1]
    w = np.hstack([np.ones_like(h), k1 / h, k1 * k2 / h ** 2])
    alpha = w / w.sum(axis=1, keepdims=True)
    conc = example.conc * np.asarray(factors)
    a = (conc[:, None] * alpha) @ r.forms_spectra.T
    return ferolan.Dataset(example.ph, example.wavelengths, a, conc)


def test_concentrations_per_spectrum_are_fitted(example):
    factors = np.linspace(1.0, 0.8, example.n_spectra)  # dilution along the titration
    ds = diluted(example, factors)
    assert np.allclose(ds.conc, example.conc * factors, rtol=1e-6)
    assert "C per spectrum" in repr(ds)
    for search in (lambda: ferolan.auto_grid(ds, constants=2), lambda: ds.score([4, 9]),
                   lambda: ferolan.evaluate(ds, pk=[4.2, 8.9])):
        with pytest.raises(ferolan.RefusedError) as e:
            search()
        assert e.value.code == "conc_per_spectrum"
    f = ferolan.refine(ds, pk=[4.0, 9.1])
    assert f.status == "converged"
    assert np.allclose(f.pKa, [4.2, 8.9], atol=1e-4)
    assert f.s_a < 1e-5
    # Without its dilution the same absorbances fit worse, elsewhere.
    mean = ferolan.Dataset(ds.ph, ds.wavelengths, ds.absorbance, float(np.mean(ds.conc)))
    worse = ferolan.refine(mean, pk=[4.0, 9.1])
    assert worse.s_a > 10 * f.s_a and abs(worse.pKa[0] - 4.2) > 1e-3
    # Started from the automatic grid (at the mean concentration) it reaches the same minimum.
    assert np.allclose(ferolan.refine(ds, constants=2).pKa, f.pKa, atol=1e-6)
    # One titration fitted globally is that titration's refinement.
    g = ferolan.global_fit([ds], pk=[4.0, 9.1])
    assert np.allclose(g.pKa, f.pKa, rtol=0, atol=1e-9) and g.s_a == pytest.approx(f.s_a)


def test_a_tables_concentration_row_is_read_as_the_arrays_give_it(example, tmp_path):
    factors = np.linspace(1.0, 0.8, example.n_spectra)
    ds = diluted(example, factors)
    # Written with its spectra in reverse pH order: the row goes with its spectra.
    path = tmp_path / "diluted.txt"
    rows = ["\t".join(["1e-4"] + [repr(float(p)) for p in ds.ph[::-1]]),
            "\t".join(["conc"] + [repr(float(c)) for c in ds.conc[::-1]])]
    for w, wl in enumerate(ds.wavelengths):
        rows.append("\t".join([str(int(wl))] + [repr(float(a)) for a in ds.absorbance[::-1, w]]))
    path.write_text("\n".join(rows) + "\n")
    read = ferolan.read(str(path))
    assert np.array_equal(read.conc, ds.conc[::-1])
    assert "C per spectrum" in repr(read)
    with pytest.raises(ferolan.RefusedError) as e:
        ferolan.optimise(read, pk=[4, 9])
    assert e.value.code == "conc_per_spectrum"
    f = ferolan.refine(read, constants=2)
    assert np.allclose(f.pKa, ferolan.refine(ds, constants=2).pKa, rtol=0, atol=1e-6)
    assert np.allclose(f.pKa, [4.2, 8.9], atol=1e-4)
    g = ferolan.global_fit([read, ds], pk=[4.0, 9.1])
    assert np.allclose(g.pKa, f.pKa, rtol=0, atol=1e-5)


# --- the same as the batch tool ----------------------------------------------------------

def test_refinement_of_a_search_equals_the_batch_tools(example):
    r = ferolan.auto_grid(example, constants=2)
    f = ferolan.refine(r, bootstrap=20, seed=7, threads=1)
    want, status = run_cli(EXAMPLE, "--search", "auto", "--constants", "2", "--refine",
                           "--bootstrap", "20", "--seed", "7", "--jobs", "1")
    assert status == 0
    assert untimed(f.to_dict()) == untimed(want["refined"])
    assert f.pKa.tolist() == want["refined"]["pKa"][:2]
    lo, hi = f.ci
    assert lo.tolist() == want["refined"]["bootstrap"]["lo"][:2]
    assert np.all(lo < f.pKa) and np.all(f.pKa < hi)
    # From the data set without start values: the same search, then the same refinement.
    assert untimed(ferolan.refine(example, constants=2).to_dict())["pKa"] == want["refined"]["pKa"]


def test_refinement_from_start_values_equals_the_batch_tools(example):
    f = ferolan.refine(example, pk=[4.3, 8.8])
    want, status = run_cli(EXAMPLE, "--evaluate", "--pk", "4.3,8.8", "--refine")
    assert status == 0
    assert untimed(f.to_dict()) == untimed({**want["refined"], "bootstrap": None})
    assert repr(f).splitlines()[0] == "pKa1 = %.4f ± %.4f" % (f.pKa[0], f.se[0])


def test_bootstrap_reproducible_and_the_same_on_any_number_of_threads(example):
    one = ferolan.refine(example, pk=[4.2, 8.9], bootstrap=30, seed=3, threads=1)
    two = ferolan.refine(example, pk=[4.2, 8.9], bootstrap=30, seed=3, threads=2)
    other = ferolan.refine(example, pk=[4.2, 8.9], bootstrap=30, seed=4, threads=2)
    assert [a.tolist() for a in one.ci] == [a.tolist() for a in two.ci]
    assert [a.tolist() for a in one.ci] != [a.tolist() for a in other.ci]


@pytest.fixture()
def replicates(example, tmp_path):
    """Three noisy replicates of the example as tab tables, read by both."""
    paths = []
    for seed in (1, 2, 3):
        a = example.absorbance + np.random.default_rng(seed).normal(0, 0.002,
                                                                    example.absorbance.shape)
        rows = ["\t".join(["6.5e-05"] + ["%.2f" % p for p in example.ph])]
        for j, w in enumerate(example.wavelengths):
            rows.append("\t".join(["%d" % w] + ["%.5f" % v for v in a[:, j]]))
        p = tmp_path / f"r{seed}.txt"
        p.write_text("\n".join(rows) + "\n")
        paths.append(p)
    return paths


def test_global_fit_equals_the_batch_tools(replicates):
    sets = [ferolan.read(p) for p in replicates]
    g = ferolan.global_fit(sets, constants=2, bootstrap=20, seed=5, threads=1)
    want, status = run_cli(*replicates, "--search", "auto", "--constants", "2", "--global",
                           "--bootstrap", "20", "--seed", "5", "--jobs", "1")
    assert status == 0
    assert untimed(g.to_dict()) == untimed(want[0]["global"])
    assert g.pKa.tolist() == want[0]["global"]["pKa"][:2]
    assert g.own.shape == (3, 2) and len(g.s_a_titrations) == 3
    assert g.ci is not None and g.ci_titrations is not None
    assert repr(g).startswith("global fit of 3 titrations\npKa1 = ")
    # Spectra per titration and concentration factors are the tool's options too.
    g2 = ferolan.global_fit(sets, constants=2, shared_spectra=False, conc_factors=True)
    want2, _ = run_cli(*replicates, "--search", "auto", "--constants", "2", "--global",
                       "--global-spectra", "own", "--conc-factors")
    assert untimed(g2.to_dict()) == untimed(want2[0]["global"])
    assert g2.factors[0] == 1 and len(g2.factor_se) == 3
