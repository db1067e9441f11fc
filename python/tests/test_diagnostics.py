"""Diagnostics as arrays and dicts, equal to the batch tool's."""
import numpy as np
import pytest

import ferolan
from conftest import EXAMPLE, run_cli


def test_factor_analysis_finds_three_forms(example):
    fa = ferolan.factor_analysis(example)
    assert fa["suggested_forms"] == 3 and fa["suggested_constants"] == 2
    sv = fa["singular_values"]
    assert isinstance(sv, np.ndarray) and np.all(np.diff(sv) <= 0)
    want, _ = run_cli(EXAMPLE, "--factors")
    assert fa["singular_values"].tolist() == want["factor_analysis"]["singular_values"]


def test_compare_models_prefers_two_constants(example):
    models, best = ferolan.compare_models(example)
    assert [m["constants"] for m in models][:3] == [1, 2, 3]
    assert [m["constants"] for m in models if m["preferred"]] == [2]
    assert len(best.pKa) == 2 or best.mode == "compare"


def test_standard_errors_and_correlation(example):
    r = ferolan.optimise(example, pk=[4, 9])
    se = r.standard_errors()
    assert se["slots"] == [1, 2]
    c = se["correlation"]
    assert c.shape == (2, 2) and np.allclose(np.diag(c), 1) and np.allclose(c, c.T)
    assert np.array_equal(se["se"], r.se)


def test_speciation_fractions_sum_to_one(example):
    sp = ferolan.optimise(example, pk=[4, 9]).speciation()
    assert sp["forms"] == ["H5A", "H4A⁻", "H3A²⁻"][:0] or len(sp["forms"]) == 3
    assert sp["fraction"].shape == (len(sp["ph"]), 3)
    assert np.allclose(sp["fraction"].sum(axis=1), 1)


def test_residual_map(example):
    r = ferolan.optimise(example, pk=[4, 9])
    m = r.residual_map()
    assert m["residuals"].shape == (21, 451)
    assert np.allclose(np.sqrt((m["residuals"] ** 2).mean(axis=1)), m["s_spectrum"])


def test_concentration_scale_equals_the_batch_tools(example):
    r = ferolan.optimise(example, pk=[4, 9], ionic_strength=0.1)
    d = r.to_dict()
    for slot in (1, 2):
        s = d["slots"][slot - 1]
        conv = ferolan.concentration_scale(s["pKa"], slot, 0.1)
        assert conv["pKa_conc"] == s["pKa_conc"]
        assert conv["pKa_thermodynamic"] == s["pKa_thermodynamic"]
    with pytest.raises(ferolan.RefusedError):
        ferolan.concentration_scale(4.2, 1, -1)


def test_plot_draws_three_panels(example):
    import matplotlib
    matplotlib.use("Agg")
    fig = ferolan.auto_grid(example, constants=2).plot()
    axes = fig.get_axes()
    assert len(axes) == 3
    assert len(axes[0].lines) == 2 * 21 and len(axes[1].lines) == 3
