"""Files through ferolan-cli's reader: the same codes, the same warnings, never printed."""
import numpy as np
import pytest

import ferolan
from conftest import EXAMPLE


def test_example_reads_as_documented(example):
    assert (example.n_spectra, example.n_points) == (21, 451)
    assert example.format == "mdf" and example.warnings == []
    assert example.absorbance.shape == (21, 451)
    assert abs(example.conc - 6.5e-5) < 1e-12


@pytest.mark.parametrize("content,code", [
    (b"", "empty"),
    (b"\x00\x01\x02", "not_text"),
    (b"1e-4\t2\t3\n", "no_wavelengths"),
    (b"1e-4\n300\n310\n", "no_ph"),
    (b"1e-4\t2\t3\n300\tinf\t0.2\n", "non_finite"),
    (b"1e-4\t2\t3\n300\t1e39\t0.2\n", "value_out_of_range"),
])
def test_bad_files_raise_with_the_batch_tools_code(tmp_path, content, code):
    p = tmp_path / "bad.txt"
    p.write_bytes(content)
    with pytest.raises(ferolan.DataError) as e:
        ferolan.read(p)
    assert e.value.code == code
    assert str(p) in str(e.value)


def test_missing_file_and_folder(tmp_path):
    with pytest.raises(ferolan.DataError) as e:
        ferolan.read(tmp_path / "none.mdf")
    assert e.value.code == "cannot_open"
    with pytest.raises(ferolan.DataError) as e:
        ferolan.read(tmp_path)
    assert e.value.code == "is_directory"


def test_bad_format_name_refused():
    with pytest.raises(ferolan.DataError):
        ferolan.read(EXAMPLE, format="xls")


def test_warnings_are_returned_not_printed(tmp_path, capfd):
    p = tmp_path / "t.txt"
    p.write_text("1e-4\t2\t7\n300\t0.1\tn/a\n310\t0.2\t0.3\n")
    ds = ferolan.read(p)
    assert ds.warnings == ['row 2, column 3: "n/a" is not a number, read as 0']
    assert ds.absorbance[1, 0] == 0
    out, err = capfd.readouterr()
    assert out == "" and err == ""


def test_own_output_is_never_silently_spectra(tmp_path, example):
    p = tmp_path / "result.json"
    p.write_text(ferolan.evaluate(example, pk=[4.2, 8.9]).to_json())
    try:
        ds = ferolan.read(p, format="table")
    except ferolan.DataError:
        return
    assert ds.warnings and '"{" is not a number, read as 0' in ds.warnings[0] + ds.warnings[1]
