"""A lab's folder into a DataFrame: the batch tool's summary, with dtypes a program can use."""
import io
import shutil
import subprocess

import numpy as np
import pandas as pd
import pytest

import ferolan
from conftest import CLI, EXAMPLE


@pytest.fixture()
def folder(tmp_path):
    d = tmp_path / "acids"
    d.mkdir()
    shutil.copy(EXAMPLE, d / "a01.mdf")
    ds = ferolan.read(EXAMPLE)
    rows = ["\t".join(["6.5e-05"] + ["%.2f" % p for p in ds.ph])]
    for j, w in enumerate(ds.wavelengths):
        rows.append("\t".join(["%d" % w] + ["%.5f" % a for a in ds.absorbance[:, j]]))
    (d / "a02.txt").write_text("\n".join(rows) + "\n")
    cells = rows[5].split("\t")
    cells[1] = "n/a"
    rows[5] = "\t".join(cells)
    (d / "a03.txt").write_text("\n".join(rows) + "\n")
    (d / "a04.mdf").write_bytes(EXAMPLE.read_bytes()[:3000])
    (d / "notes.doc").write_text("not data")
    return d


def cli_summary(folder, tmp_path, *args):
    out = tmp_path / "s.csv"
    subprocess.run([CLI, str(folder), "--summary", str(out), "--quiet", "--jobs", "1", *args],
                   capture_output=True)
    return out.read_text()


def test_columns_rows_and_dtypes(folder, tmp_path):
    df = ferolan.analyse_many(folder, search="auto", jobs=2)
    want = pd.read_csv(io.StringIO(cli_summary(folder, tmp_path, "--search", "auto")),
                       dtype=str, keep_default_na=False)
    assert list(df.columns) == list(want.columns)
    assert df["file"].tolist() == want["file"].tolist()
    assert df["status"].tolist() == ["ok", "ok", "ok_with_warnings", "refused"]
    for col in ("file", "sample", "status", "message", "search"):
        assert df[col].dtype == object
    for col in ("spectra", "spectra_used", "points", "constants", "preferred_constants"):
        assert str(df[col].dtype) == "Int64"
    for col in ("pKa1", "u1", "se1", "s_a", "pKa5", "pKa1_conc"):
        assert df[col].dtype == np.float64
    # Numbers are the batch tool's, to the last bit.
    for col in ("pKa1", "pKa2", "u1", "se2", "s_a"):
        got = [repr(v) if not np.isnan(v) else "" for v in df[col]]
        assert [float(x) if x else "" for x in want[col]] == \
               [float(x) if x else "" for x in got]
    assert df.loc[3, "message"].startswith("the file ends")
    assert pd.isna(df.loc[3, "pKa1"]) and pd.isna(df.loc[3, "spectra"])
    assert df.loc[2, "message"].startswith("row 6, column 2")


def test_same_frame_for_any_number_of_jobs(folder):
    a = ferolan.analyse_many([folder], search="opt", pk=[4, 9], jobs=1)
    b = ferolan.analyse_many(sorted(folder.glob("a0*")), search="opt", pk=[4, 9], jobs=3)
    pd.testing.assert_frame_equal(a, b)


def test_plan_and_bad_inputs(folder, tmp_path):
    plan = tmp_path / "plan.csv"
    plan.write_text("file,sample,constants,search,pk1,pk2\n"
                    "acids/a01.mdf,X,2,opt,4,9\nacids/a02.txt,X,2,auto,,\n")
    df = ferolan.analyse_many(None, plan=plan)
    assert df["sample"].tolist() == ["X", "X"] and df["search"].tolist() == ["opt", "auto"]
    missing = ferolan.analyse_many(tmp_path / "nothing-here")
    assert missing["status"].tolist() == ["unreadable"]
    (tmp_path / "empty").mkdir()
    with pytest.raises(ferolan.DataError) as e:
        ferolan.analyse_many(tmp_path / "empty")
    assert "holds no" in str(e.value)
    bad = tmp_path / "bad_plan.csv"
    bad.write_text("file,constants\nacids/a01.mdf,seven\n")
    with pytest.raises(ferolan.DataError) as e:
        ferolan.analyse_many(None, plan=bad)
    assert e.value.code == "plan"
    with pytest.raises(ferolan.RefusedError):
        ferolan.analyse_many(folder, search="fastest")


@pytest.mark.parametrize("jobs", [1, 2])
def test_ctrl_c_stops_a_folder_and_raises_keyboard_interrupt(tmp_path, jobs):
    import _thread
    import threading
    d = tmp_path / "long"
    d.mkdir()
    for i in range(6):
        shutil.copy(EXAMPLE, d / f"a{i:02d}.mdf")
    # Each file's manual grid alone would take minutes.
    long = [(1.0, 12.0, 0.01), (1.0, 12.0, 0.01)]
    timer = threading.Timer(0.3, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        ferolan.analyse_many(d, search="manual", ranges=long, jobs=jobs)
    timer.join()
    # The module is usable afterwards, and its next run is not stopped.
    df = ferolan.analyse_many(d / "a00.mdf", search="evaluate", pk=[4.2, 8.9])
    assert df["status"].tolist() == ["ok"]
