"""Data sets from numpy arrays: every way an array can be wrong, then the ways it may be right."""
import numpy as np
import pytest

import ferolan
from conftest import comparable

PH = np.array([2.0, 4.0, 6.0])
WL = np.array([300.0, 310.0, 320.0, 330.0])
A = np.array([[0.1, 0.2, 0.3, 0.4], [0.2, 0.3, 0.4, 0.5], [0.3, 0.4, 0.5, 0.6]])


def with_(i, value):
    """PH, WL, A with array i replaced."""
    args = [PH, WL, A]
    args[i] = value
    return args


def nan_at(arr, idx):
    b = np.array(arr, dtype=float)
    b[idx] = np.nan
    return b


HOSTILE = [
    ("ph 2-D", with_(0, PH.reshape(3, 1)), 1e-4, "wrong_shape"),
    ("absorbance 1-D", with_(2, A.ravel()), 1e-4, "wrong_shape"),
    ("absorbance transposed", with_(2, A.T), 1e-4, "wrong_shape"),
    ("absorbance one spectrum short", with_(2, A[:2]), 1e-4, "wrong_shape"),
    ("wavelengths scalar", with_(1, np.float64(300)), 1e-4, "wrong_shape"),
    ("ph of text", with_(0, np.array(["2", "4", "6"])), 1e-4, "wrong_dtype"),
    ("ph of booleans", with_(0, np.array([True, False, True])), 1e-4, "wrong_dtype"),
    ("absorbance complex", with_(2, A.astype(complex)), 1e-4, "wrong_dtype"),
    ("absorbance of objects", with_(2, A.astype(object)), 1e-4, "wrong_dtype"),
    ("ph a string", with_(0, "2 4 6"), 1e-4, "wrong_type"),
    ("absorbance None", with_(2, None), 1e-4, "wrong_dtype"),
    ("ph NaN", with_(0, nan_at(PH, 1)), 1e-4, "non_finite"),
    ("wavelength NaN", with_(1, nan_at(WL, 3)), 1e-4, "non_finite"),
    ("absorbance NaN", with_(2, nan_at(A, (2, 1))), 1e-4, "non_finite"),
    ("absorbance inf", with_(2, np.where(A > 0.55, np.inf, A)), 1e-4, "non_finite"),
    ("absorbance beyond a single", with_(2, A * 1e300), 1e-4, "value_out_of_range"),
    ("wavelength beyond 16 bits", with_(1, WL * 1000), 1e-4, "wavelength_out_of_range"),
    ("no spectra", [np.zeros(0), WL, np.zeros((0, 4))], 1e-4, "no_spectra"),
    ("no points", [PH, np.zeros(0), np.zeros((3, 0))], 1e-4, "no_wavelengths"),
    ("pH beyond the fit", with_(0, np.array([2.0, 4.0, -70.0])), 1e-4, "ph_out_of_range"),
    ("conc NaN", [PH, WL, A], float("nan"), "non_finite"),
    ("conc 0", [PH, WL, A], 0.0, "conc_not_positive"),
    ("conc negative", [PH, WL, A], -1e-4, "conc_not_positive"),
    ("conc text", [PH, WL, A], "1e-4", "wrong_type"),
    ("conc array of the wrong length", [PH, WL, A], np.array([1e-4, 2e-4]), "wrong_shape"),
]


@pytest.mark.parametrize("name,arrays,conc,code", HOSTILE, ids=[h[0] for h in HOSTILE])
def test_hostile_arrays_raise_data_error_with_code(name, arrays, conc, code):
    with pytest.raises(ferolan.DataError) as e:
        ferolan.Dataset(*arrays, conc)
    assert e.value.code == code, str(e.value)
    assert isinstance(e.value, ValueError)
    assert str(e.value) and str(e.value) == e.value.message


def test_message_names_the_array_and_index():
    with pytest.raises(ferolan.DataError, match=r"absorbance\[2, 1\] is not a finite number"):
        ferolan.Dataset(PH, WL, nan_at(A, (2, 1)), 1e-4)


@pytest.mark.parametrize("path_len", [0, 4, -1, 10])
def test_path_length_other_than_the_cuvettes_refused(path_len):
    with pytest.raises(ferolan.DataError) as e:
        ferolan.Dataset(PH, WL, A, 1e-4, path_len=path_len)
    assert e.value.code == "path_len"


def test_not_a_dataset_refused():
    with pytest.raises((ferolan.DataError, TypeError)):
        ferolan.evaluate("examples/data.mdf", pk=[4, 9])


def from_example(ds, transform=lambda a: a):
    return ferolan.Dataset(transform(ds.ph), transform(ds.wavelengths),
                           transform(ds.absorbance), ds.conc)


LAYOUTS = [
    ("float32", lambda a: a.astype(np.float32)),
    ("Fortran order", np.asfortranarray),
    ("non-contiguous", lambda a: np.repeat(a, 2, axis=-1)[..., ::2]),
    ("reversed view", lambda a: a[..., ::-1][..., ::-1]),
    ("lists", lambda a: a.tolist()),
]


@pytest.mark.parametrize("name,transform", LAYOUTS, ids=[x[0] for x in LAYOUTS])
def test_layouts_and_dtypes_give_the_same_result(example, name, transform):
    want = ferolan.evaluate(from_example(example), pk=[4.2, 8.9])
    got = ferolan.evaluate(from_example(example, transform), pk=[4.2, 8.9])
    assert got.to_dict() == want.to_dict()
    assert np.array_equal(got.residuals, want.residuals)


def test_arrays_equal_the_file_they_came_from(example):
    ds = from_example(example)
    assert np.array_equal(ds.absorbance, example.absorbance)
    a, b = ferolan.auto_grid(ds, constants=2), ferolan.auto_grid(example, constants=2)
    da, db = comparable(a.to_dict()), comparable(b.to_dict())
    assert da["input"]["format"] is None and db["input"]["format"] == "mdf"
    for d in (da, db):
        del d["input"]
    assert da == db


def test_unsorted_ph_is_sorted_as_the_imports_sort(example):
    order = np.arange(example.n_spectra)[::-1]
    ds = ferolan.Dataset(example.ph[order], example.wavelengths, example.absorbance[order],
                         example.conc)
    assert np.array_equal(ds.ph, example.ph[order])  # as given
    r = ferolan.evaluate(ds, pk=[4.2, 8.9])
    assert np.all(np.diff(r.ph) >= 0)
    assert r.s_a == ferolan.evaluate(example, pk=[4.2, 8.9]).s_a


def test_dataset_keeps_no_reference_to_the_callers_arrays():
    a = A.copy()
    ds = ferolan.Dataset(PH, WL, a, 1e-4)
    a[:] = 99
    assert ds.absorbance.max() < 1
