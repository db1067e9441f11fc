#!/usr/bin/env python3
"""examples/test.xls holds the table of examples/data.mdf in the pasting layout, is what
tools/make_test_xls.py writes today, and (where LibreOffice is installed) opens in Calc.

Usage: test_xls_test.py repository-folder
"""
import csv
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = sys.argv[1]
XLS = os.path.join(ROOT, "examples", "test.xls")
MDF = os.path.join(ROOT, "examples", "data.mdf")


def mdf_table():
    # data.mdf of the example: its first line is concentration and pH, then one line per point.
    with open(MDF, encoding="ascii") as f:
        return [[float(x) for x in line.split()] for line in f if line.strip()]


def workbook_stream(data):
    assert data[:8] == bytes.fromhex("D0CF11E0A1B11AE1"), "not a compound file"
    shift, = struct.unpack_from("<H", data, 30)
    size = 1 << shift
    n_fat, first_dir = struct.unpack_from("<II", data, 44)
    difat = struct.unpack_from("<109I", data, 76)[:n_fat]
    sector = lambda i: data[(i + 1) * size:(i + 2) * size]
    fat = []
    for s in difat:
        fat += struct.unpack("<%dI" % (size // 4), sector(s))

    def chain(start):
        out, i = b"", start
        while i < 0xFFFFFFFA:
            out += sector(i)
            i = fat[i]
        return out

    directory = chain(first_dir)
    for k in range(0, len(directory), 128):
        e = directory[k:k + 128]
        name_len, = struct.unpack_from("<H", e, 64)
        name = e[:max(0, name_len - 2)].decode("utf-16-le")
        start, length = struct.unpack_from("<II", e, 116)
        if name == "Workbook" and e[66] == 2:
            return chain(start)[:length]
    raise AssertionError("no Workbook stream")


def cells(stream):
    grid, pos, sheets = {}, 0, 0
    while pos + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, pos)
        body = stream[pos + 4:pos + 4 + length]
        if kind == 0x0809:
            version, dt = struct.unpack_from("<HH", body)
            assert version == 0x0600, "not BIFF8"
            sheets += dt == 0x0010
        elif kind == 0x0203:
            r, c, _, v = struct.unpack("<HHHd", body)
            grid[(r, c)] = v
        pos += 4 + length
        if kind == 0x000A and sheets == 1:
            break
    assert sheets == 1, "expected one worksheet"
    rows = 1 + max(r for r, _ in grid)
    return [[grid[(r, c)] for c in range(1 + max(c for rr, c in grid if rr == r))]
            for r in range(rows)]


def main():
    failures = []
    with open(XLS, "rb") as f:
        data = f.read()
    want = mdf_table()
    if cells(workbook_stream(data)) != want:
        failures.append("the workbook's cells differ from data.mdf")

    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "test.xls")
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_test_xls.py"), MDF,
                        fresh], check=True)
        with open(fresh, "rb") as f:
            if f.read() != data:
                failures.append("examples/test.xls is not what tools/make_test_xls.py writes")

        office = shutil.which("soffice") or shutil.which("libreoffice")
        if office:
            subprocess.run([office, "--headless", "-env:UserInstallation=file://" + tmp + "/lo",
                            "--convert-to", "csv", "--outdir", tmp, XLS], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            with open(os.path.join(tmp, "test.csv"), encoding="utf-8") as f:
                got = [[float(x) for x in row] for row in csv.reader(f)]
            if got != want:
                failures.append("LibreOffice Calc reads other numbers than data.mdf holds")
        else:
            print("LibreOffice not installed: the Calc check is left out")

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("test.xls: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
