"""Data sets of any size: more spectra and points than the window holds, through a search."""
import numpy as np
import pytest

import ferolan


def acid(spectra, points, pk=(4.75, 8.2), seed=3):
    """Two constants, three forms with Gaussian bands, a little noise."""
    ph = np.linspace(1.5, 12.5, spectra)
    wl = np.arange(200, 200 + points, dtype=float)
    h = 10.0 ** -ph[:, None]
    k1, k2 = 10.0 ** -pk[0], 10.0 ** -pk[1]
    w = np.hstack([np.ones_like(h), k1 / h, k1 * k2 / h ** 2])
    alpha = w / w.sum(axis=1, keepdims=True)
    centres = (200 + 0.3 * points, 200 + 0.5 * points, 200 + 0.7 * points)
    eps = np.stack([9000 * np.exp(-((wl - c) / (0.08 * points)) ** 2) for c in centres], axis=1)
    conc = 5e-5
    a = conc * alpha @ eps.T
    return ph, wl, a + np.random.default_rng(seed).normal(0, 0.001, a.shape), conc


def test_150_spectra_of_2000_points_through_a_search():
    ph, wl, a, conc = acid(150, 2000)
    ds = ferolan.Dataset(ph, wl, a, conc)
    assert (ds.n_spectra, ds.n_points) == (150, 2000)
    r = ferolan.optimise(ds, pk=[4.5, 8.5])
    assert np.allclose(r.pKa, [4.75, 8.2], atol=0.02)
    assert r.residuals.shape == (150, 2000) and r.forms_spectra.shape == (2000, 3)
    assert r.s_a == pytest.approx(0.001, rel=0.05)
    assert r.to_dict()["data"]["spectra"] == 150
    e = ferolan.evaluate(ds, pk=r.pKa)
    assert e.s_a == r.s_a and ds.score(r.pKa) == e.s_a_thinned
    assert np.array_equal(e.residuals, r.residuals)
    f = ferolan.refine(r)
    assert np.allclose(f.pKa, [4.75, 8.2], atol=0.005) and f.s_a <= r.s_a


def test_more_points_than_wavelengths_can_name_refused():
    # Wavelengths are stored as whole numbers of nm up to 32767.
    with pytest.raises(ferolan.DataError) as e:
        ferolan.Dataset([3.0, 7.0], np.arange(40000.0), np.ones((2, 40000)), 1e-4)
    assert e.value.code == "wavelength_out_of_range" and "wavelengths[32768]" in e.value.message
