#!/usr/bin/python3
"""Writes the glean benchmark corpus: N filled-in timesheet forms as .xlsx
(xlsxwriter, one file at a time) and as .xls (converted by LibreOffice,
100 files per call, each call with a profile of its own), plus the form definition.

Each form has 28 single fields (22 defined names, 6 plain addresses) and two
7-cell runs (hours and notes), so one workbook gives 7 lines of 30 values.

Usage: /usr/bin/python3 bench/make_corpus.py OUTDIR [N]
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

import xlsxwriter

SINGLE_NAMES = ["Employee", "EmployeeId", "Department", "Manager", "WeekStart", "Project",
                "CostCentre", "Site", "Phone", "Email", "Grade", "Rate", "Overtime", "Mileage",
                "Expenses", "Approved", "ApprovedBy", "ApprovedOn", "Shift", "Team", "Contract",
                "Comment"]
SINGLE_ADDRESSES = ["H2", "H3", "H4", "I2", "I3", "I4"]


def field_format(name):
    return {"WeekStart": "+dmy", "ApprovedOn": "ymd", "Rate": "0.00", "Overtime": "0.0",
            "Mileage": "0", "Expenses": "0.00", "EmployeeId": "0"}.get(name, "text")


def write_form_definition(path):
    rows = []
    for n in SINGLE_NAMES:
        rows.append((n, n, field_format(n)))
    for a in SINGLE_ADDRESSES:
        rows.append(("Cell" + a, a, "0.000" if a.startswith("I") else "text"))
    rows.append(("Hours", "Hours", "0.0"))
    rows.append(("Notes", "D5:D11", "text"))
    with open(path, "w", newline="") as f:
        f.write("%d,3\r\n" % len(rows))
        for r in rows:
            f.write(",".join('"%s"' % v.replace('"', '""') for v in r) + "\r\n")


def write_form(path, i):
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Timesheet")
    date = wb.add_format({"num_format": "dd/mm/yyyy"})
    # Single fields in column B from row 14 on, each under a defined name.
    for r, name in enumerate(SINGLE_NAMES):
        cell = "B%d" % (14 + r)
        ws.write("A%d" % (14 + r), name)
        if name in ("WeekStart", "ApprovedOn"):
            ws.write_datetime(cell, datetime.datetime(2024, 1, 1) + datetime.timedelta(days=i % 300), date)
        elif name in ("Rate", "Overtime", "Mileage", "Expenses", "EmployeeId"):
            ws.write_number(cell, (i * 7 + r) % 1000 + 0.25)
        else:
            ws.write(cell, "%s %d" % (name, i))
        wb.define_name(name, "=Timesheet!$B$%d" % (14 + r))
    for a in SINGLE_ADDRESSES:
        if a.startswith("I"):
            ws.write_number(a, i / 7.0)
        else:
            ws.write(a, "value %s %d" % (a, i))
    # Two runs of seven: hours in C5:C11 (a name), notes in D5:D11.
    for d in range(7):
        if d < 5:
            ws.write_number(4 + d, 2, 7.5 + (i + d) % 3 * 0.25)
        ws.write(4 + d, 3, "day %d, form %d" % (d + 1, i))
    wb.define_name("Hours", "=Timesheet!$C$5:$C$11")
    wb.close()


def main():
    out = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    xlsx_dir = os.path.join(out, "xlsx")
    xls_dir = os.path.join(out, "xls")
    os.makedirs(xlsx_dir, exist_ok=True)
    os.makedirs(xls_dir, exist_ok=True)
    write_form_definition(os.path.join(out, "form.dat"))
    for i in range(n):
        write_form(os.path.join(xlsx_dir, "form%04d.xlsx" % i), i)
    convert_missing(xlsx_dir, xls_dir)


def convert_missing(xlsx_dir, xls_dir):
    """Converts to .xls what is not converted yet, 100 files per office start:
    one call for all of them stops part of the way on this machine."""
    for _ in range(5):
        stems = sorted(f[:-5] for f in os.listdir(xlsx_dir) if f.endswith(".xlsx"))
        missing = [s for s in stems if not os.path.exists(os.path.join(xls_dir, s + ".xls"))]
        if not missing:
            return
        for start in range(0, len(missing), 100):
            chunk = [os.path.join(xlsx_dir, s + ".xlsx") for s in missing[start:start + 100]]
            profile = tempfile.mkdtemp(prefix="lo-bench-profile-")
            try:
                proc = subprocess.Popen(["soffice", "-env:UserInstallation=file://" + profile, "--headless",
                                         "--convert-to", "xls", "--outdir", xls_dir] + chunk,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                try:
                    proc.wait(timeout=600)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
            finally:
                shutil.rmtree(profile, ignore_errors=True)
    sys.exit("some forms could not be converted to .xls")

if __name__ == "__main__":
    main()
