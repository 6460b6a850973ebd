#!/usr/bin/python3
"""Hostile .xlsb workbooks, small as files, and what reading them costs.

Each case is a zip of a few kilobytes to a few hundred whose parts inflate
to many records: a cell bomb (millions of short number cells), a dimension
record claiming the whole sheet, a shared-string bomb (millions of strings
and counts claiming billions), a sheet of unknown records, and parts that
pass the size limit on a part. wbinspect (a release build) reads cell A1 of
each; the table gives the seconds, the peak memory and how it ended.

Run: /usr/bin/python3 bench/xlsb_hostile.py [CELLS]   (default 5,000,000 cells)
Files go to build-bench/xlsb-hostile/.
"""
import os
import re
import struct
import subprocess
import sys
import time
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "workbook", "fixtures"))
from generate import wide, xlsb_join  # noqa: E402

OUT = os.path.join(ROOT, "build-bench", "xlsb-hostile")
RELS = ('<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://x/worksheet" Target="worksheets/sheet1.bin"/>'
        '<Relationship Id="rId2" Type="http://x/sharedStrings" Target="sharedStrings.bin"/>'
        '</Relationships>')
WORKBOOK = xlsb_join([(0x83, b""), (0x8F, b""),
                      (0x9C, struct.pack("<II", 0, 1) + wide("rId1") + wide("Sheet1")),
                      (0x90, b""), (0x84, b"")])
PART_LIMIT = 256 << 20  # kMaxMemberSize


def row_header(row):
    return xlsb_join([(0x00, struct.pack("<IIHHI", row, 0, 300, 0, 0))])


def sheet(body, dim=b""):
    return xlsb_join([(0x81, b"")]) + dim + xlsb_join([(0x91, b"")]) + body + xlsb_join([(0x92, b""), (0x82, b"")])


def cell_bomb(cells):
    """Rows of 16,384 BrtShortRk cells (10 bytes each) after one BrtCellRk."""
    per_row = 16384
    first = xlsb_join([(0x02, struct.pack("<III", 0, 0, (1 << 2) | 2))])
    rest = xlsb_join([(0x0D, struct.pack("<II", 0, (2 << 2) | 2))]) * (per_row - 1)
    rows = []
    for r in range(0, (cells + per_row - 1) // per_row):
        rows.append(row_header(r) + first + rest)
    return sheet(b"".join(rows))


def huge_dimension():
    dim = xlsb_join([(0x94, struct.pack("<IIII", 0, 1048575, 0, 16383))])
    return sheet(row_header(0) + xlsb_join([(0x02, struct.pack("<III", 0, 0, (7 << 2) | 2))]), dim)


def string_bomb(strings):
    """BrtBeginSst claiming 4 billion strings, then empty BrtSSTItem records."""
    items = xlsb_join([(0x13, b"\x00" + wide(""))]) * strings
    return xlsb_join([(0x9F, struct.pack("<II", 0xFFFFFFFF, 0xFFFFFFFF))]) + items + xlsb_join([(0xA0, b"")])


def unknown_records(size):
    """Unknown records of 126 bytes each inside the sheet data."""
    rec = xlsb_join([(0x3FFF, b"\x20" * 126)])
    return sheet(row_header(0) + rec * (size // len(rec)))


def write(name, sheet_part, sst=None):
    path = os.path.join(OUT, name)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("xl/workbook.bin", WORKBOOK)
        z.writestr("xl/_rels/workbook.bin.rels", RELS)
        z.writestr("xl/worksheets/sheet1.bin", sheet_part)
        if sst is not None:
            z.writestr("xl/sharedStrings.bin", sst)
    return path, len(sheet_part) + len(sst or b"")


def main():
    cells = int(sys.argv[1]) if len(sys.argv) > 1 else 5_000_000
    os.makedirs(OUT, exist_ok=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", os.path.join(ROOT, "build-release"), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DSANITIZE=OFF", "-DBUILD_TESTING=OFF", "-DBUILD_BENCH=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", os.path.join(ROOT, "build-release"), "--target", "wbinspect", "-j2"],
                   check=True, stdout=subprocess.DEVNULL)
    wbinspect = os.path.join(ROOT, "build-release", "bin", "wbinspect")
    cases = [
        (f"cell bomb, {cells:,} cells", "cells.xlsb", lambda: (cell_bomb(cells), None)),
        ("dimension 1048576 x 16384, one cell", "dimension.xlsb", lambda: (huge_dimension(), None)),
        ("5,000,000 shared strings, counts 2^32-1", "strings.xlsb", lambda: (huge_dimension(), string_bomb(5_000_000))),
        ("200 MB of unknown records", "records.xlsb", lambda: (unknown_records(200 << 20), None)),
        ("sheet part over the part limit", "toolarge.xlsb", lambda: (unknown_records(PART_LIMIT + (1 << 20)), None)),
    ]
    print(f"{'case':42} {'parts MB':>9} {'zip KB':>8} {'seconds':>8} {'peak MB':>8}  result")
    for title, name, make in cases:
        sheet_part, sst = make()
        path, size = write(name, sheet_part, sst)
        del sheet_part, sst
        start = time.monotonic()
        proc = subprocess.run(["/usr/bin/time", "-v", wbinspect, path, "A1"], capture_output=True, text=True)
        secs = time.monotonic() - start
        rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", proc.stderr).group(1)) / 1024
        error = re.search(r'"error": "([^"]*)"', proc.stdout)
        result = "read" if proc.returncode == 0 and not error else (error.group(1) if error else proc.stdout[-80:])
        print(f"{title:42} {size / 2**20:9.1f} {os.path.getsize(path) / 1024:8.0f} {secs:8.2f} {rss:8.1f}  "
              f"{result.replace(path + ': ', '')[:90]}")


if __name__ == "__main__":
    main()
