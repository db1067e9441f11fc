#!/usr/bin/env python3
"""Writes examples/test.xls from examples/data.mdf: the table that "Вставити" expects, as an
Excel 97-2003 workbook (BIFF8 in a compound file) that Excel and LibreOffice Calc open.

Layout of the one sheet: concentration in A1, the pH values along row 1, the wavelengths down
column A, each spectrum's absorbances in the column under its pH.

Usage: make_test_xls.py [data.mdf [test.xls]]
"""
import re
import struct
import sys

SECTOR = 512
FREE, END_OF_CHAIN, FAT_SECTOR, NO_STREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFF


def read_mdf(path):
    """The table of data.mdf: rows of numbers, the first one concentration and pH values."""
    with open(path, encoding="ascii") as f:
        fields = [float(x) for x in re.split(r"[\s,]+", f.read()) if x]
    n = 0
    while n < 50 and fields[1 + n] <= 20:
        n += 1
    rows = [fields[:1 + n]]
    rest = fields[1 + n:]
    for i in range(0, len(rest), n + 1):
        rows.append(rest[i:i + n + 1])
    return rows


def record(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def short_string(text):
    """A string with an 8-bit length, stored in 8-bit characters (Latin-1 only)."""
    raw = text.encode("latin-1")
    return struct.pack("<BB", len(raw), 0) + raw


def bof(kind):
    return record(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0x0DBB, 0x07CC, 0, 0x06))


def globals_records(sheet_name, sheet_offset):
    out = [bof(0x0005), record(0x0042, struct.pack("<H", 1200)),  # code page: UTF-16
           record(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0x3000, 0x2000, 0x0038, 0, 0, 1,
                                      0x0258))]
    # Five fonts: Excel skips index 4, so it expects at least that many.
    font = struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + short_string("Arial")
    out += [record(0x0031, font)] * 5
    # Fifteen style formats and the one cell format (index 15) that every cell uses.
    style_xf = struct.pack("<HHHBBBBIIH", 0, 0, 0xFFF5, 0x20, 0, 0, 0xF4, 0, 0, 0x20C0)
    cell_xf = struct.pack("<HHHBBBBIIH", 0, 0, 0x0001, 0x20, 0, 0, 0x00, 0, 0, 0x20C0)
    out += [record(0x00E0, style_xf)] * 15 + [record(0x00E0, cell_xf)]
    out.append(record(0x0293, struct.pack("<HBB", 0x8000, 0, 0xFF)))  # the Normal style
    out.append(record(0x0085, struct.pack("<IBB", sheet_offset, 0, 0) + short_string(sheet_name)))
    out.append(record(0x000A))
    return b"".join(out)


def sheet_records(rows):
    width = max(len(r) for r in rows)
    out = [bof(0x0010), record(0x0200, struct.pack("<IIHHH", 0, len(rows), 0, width, 0)),
           record(0x023E, struct.pack("<HHHHHHHI", 0x06B6, 0, 0, 0x40, 0, 0, 0, 0))]
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            out.append(record(0x0203, struct.pack("<HHHd", r, c, 15, value)))
    out.append(record(0x000A))
    return b"".join(out)


def workbook(rows, sheet_name="spectra"):
    size = len(globals_records(sheet_name, 0))  # the offset does not change the length
    return globals_records(sheet_name, size) + sheet_records(rows)


def dir_entry(name, kind, child, start, size):
    raw = (name + "\0").encode("utf-16-le") if name else b""
    return struct.pack("<64sHBBIII16sIQQII", raw, len(raw), kind, 1 if kind else 0, NO_STREAM, NO_STREAM,
                       child, b"\0" * 16, 0, 0, 0, start, size) + b"\0" * 4


def compound_file(stream, stream_name="Workbook"):
    """A version-3 compound file holding one stream in ordinary sectors (so at least 4096
    bytes: shorter streams would belong in the mini stream)."""
    size = len(stream)
    stream = stream.ljust(max(4096, -(-size // SECTOR) * SECTOR), b"\0")
    n_stream = len(stream) // SECTOR
    n_fat = 1
    while n_stream + 1 + n_fat > n_fat * (SECTOR // 4):
        n_fat += 1
    assert n_fat <= 109, "the stream needs more FAT sectors than the header lists"
    dir_sector = n_stream
    fat = list(range(1, n_stream)) + [END_OF_CHAIN, END_OF_CHAIN] + [FAT_SECTOR] * n_fat
    fat += [FREE] * (n_fat * SECTOR // 4 - len(fat))
    fat_sectors = list(range(n_stream + 1, n_stream + 1 + n_fat))

    header = struct.pack("<8s16sHHHHH6sIIIIIIIII", bytes.fromhex("D0CF11E0A1B11AE1"), b"\0" * 16,
                         0x003E, 0x0003, 0xFFFE, 9, 6, b"\0" * 6, 0, n_fat, dir_sector, 0, 4096,
                         END_OF_CHAIN, 0, END_OF_CHAIN, 0)
    header += struct.pack("<109I", *(fat_sectors + [FREE] * (109 - n_fat)))
    directory = (dir_entry("Root Entry", 5, 1, END_OF_CHAIN, 0) +
                 dir_entry(stream_name, 2, NO_STREAM, 0, max(size, 4096)) +
                 dir_entry("", 0, NO_STREAM, 0, 0) * 2)
    return header + stream + directory + struct.pack("<%dI" % len(fat), *fat)


def main():
    mdf = sys.argv[1] if len(sys.argv) > 1 else "examples/data.mdf"
    xls = sys.argv[2] if len(sys.argv) > 2 else "examples/test.xls"
    with open(xls, "wb") as f:
        f.write(compound_file(workbook(read_mdf(mdf))))


if __name__ == "__main__":
    main()
