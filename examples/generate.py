#!/usr/bin/python3
"""Writes the example timesheet forms and their form definition.

Run with Debian's Python (it needs python3-xlsxwriter and LibreOffice):
    /usr/bin/python3 examples/generate.py

Every form is the same one-sheet weekly timesheet:

    A1  Weekly timesheet
    A2  Employee      B2  name            (EmployeeName)   D2 Department    E2 (Department)
    A3  Employee no.  B3  number          (EmployeeNo)     D3 Week starting E3 date (WeekStart)
    A4  Day | Date | Task | Hours                          header of the week's rows
    A5:A11 day names, B5:B11 dates (=WeekStart+n), C5:C11 tasks, D5:D11 hours (Hours)
    C12 Total, D12 =SUM(D5:D11)
    A14 Approved by   B14 (Approver)
    A15 Approved on   B15 date

Defined names are in brackets; the task run C5:C11, the total D12 and the
approval date B15 are read by address. Three forms are written as .xlsx by
xlsxwriter, two are converted to .xls and one to .ods by LibreOffice headless.
timesheets.expected.csv is the data file that harvesting all six with
timesheet.dat must give (computed here from the same table, not read back).
"""
import datetime
import decimal
import os
import shutil
import sys
import tempfile

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scripts"))
from lo_convert import convert  # noqa: E402
FORMS = os.path.join(HERE, "forms")
DAYS = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]

# (file stem, target format, employee, number, department, week start,
#  tasks, hours, approver, approved on)
TIMESHEETS = [
    ("ann-2009-03-02", "xlsx", "Ann Baker", 1042, "Accounts", datetime.date(2009, 3, 2),
     ["Month-end close", "Month-end close", "Audit, part 1", "Audit, part 2", "Filing", None, None],
     [8, 7.5, 8, 7.25, 6, None, None], "Carol Diaz", datetime.date(2009, 3, 9)),
    ("ben-2009-03-02", "xlsx", "Ben O'Neill", 1077, "Warehouse", datetime.date(2009, 3, 2),
     ["Stock take", "Stock take", "Deliveries", "Deliveries", "Deliveries", "Overtime: inventory", None],
     [9, 9, 8.5, 8, 8, 4.75, None], "Carol Diaz", datetime.date(2009, 3, 10)),
    ("cleo-2009-03-09", "xlsx", "Cleo \"CJ\" Jones", 1103, "Support", datetime.date(2009, 3, 9),
     ["Help desk", "Help desk", "Training", "Help desk", "Help desk", None, None],
     [7.5, 7.5, 3.5, 7.5, 7.5, None, None], "Dev Patel", datetime.date(2009, 3, 16)),
    ("dan-2009-02-23", "xls", "Dan Eriksen", 1120, "Accounts", datetime.date(2009, 2, 23),
     ["Payroll", "Payroll", "Payroll", "Sick leave", "Sick leave", None, None],
     [8, 8, 8.25, 0, 0, None, None], "Carol Diaz", datetime.date(2009, 3, 2)),
    ("eve-2009-03-02", "xls", "Eve Fischer", 1131, "Warehouse", datetime.date(2009, 3, 2),
     ["Forklift course", "Deliveries", "Deliveries", "Returns", "Returns", "Returns", None],
     [6, 8, 8, 8, 8, 5, None], "Dev Patel", datetime.date(2009, 3, 9)),
    ("finn-2009-03-02", "ods", "Finn Garcia", 1145, "Support", datetime.date(2009, 3, 2),
     ["On call", "On call", "On call", "On call", "On call", "On call", "On call"],
     [2.5, 1, 0.75, 3, 2, 6.5, 4], "Dev Patel", datetime.date(2009, 3, 11)),
]

# The form definition: field name, reference, format word.
FIELDS = [
    ("Employee", "EmployeeName", "text"),
    ("Number", "EmployeeNo", "0"),
    ("Department", "department", "text"),  # names match in any letter case
    ("Date", "WeekStart", "+dmy"),
    ("Task", "C5:C11", "text"),
    ("Hours", "Hours", "0.0"),
    ("Week total", "D12", "0.00"),
    ("Approver", "Approver", "text"),
    ("Approved", "B15", "ymd"),
]


def write_form(path, sheet_data):
    _, _, name, number, dept, start, tasks, hours, approver, approved = sheet_data
    wb = xlsxwriter.Workbook(path)
    # Fixed properties keep regenerated files identical.
    wb.set_properties({"title": "Weekly timesheet", "author": "Gleanora examples",
                       "created": datetime.datetime(2009, 3, 1, 12, 0, 0)})
    ws = wb.add_worksheet("Timesheet")
    bold = wb.add_format({"bold": True})
    date = wb.add_format({"num_format": "dd/mm/yyyy"})
    hrs = wb.add_format({"num_format": "0.00"})
    ws.set_column("A:A", 14)
    ws.set_column("B:B", 12)
    ws.set_column("C:C", 22)
    ws.set_column("D:E", 14)

    ws.write("A1", "Weekly timesheet", bold)
    ws.write("A2", "Employee")
    ws.write("B2", name)
    ws.write("D2", "Department")
    ws.write("E2", dept)
    ws.write("A3", "Employee no.")
    ws.write_number("B3", number)
    ws.write("D3", "Week starting")
    ws.write_datetime("E3", start, date)
    for col, title in enumerate(["Day", "Date", "Task", "Hours"]):
        ws.write(3, col, title, bold)
    for i in range(7):
        row = 4 + i
        ws.write(row, 0, DAYS[i])
        # The stored result must be the date's serial number: a date object
        # would be written as text in a number cell.
        serial = (start + datetime.timedelta(days=i) - datetime.date(1899, 12, 30)).days
        ws.write_formula(row, 1, f"=$E$3+{i}", date, serial)
        if tasks[i] is not None:
            ws.write_string(row, 2, tasks[i])
        if hours[i] is not None:
            ws.write_number(row, 3, hours[i], hrs)
    ws.write("C12", "Total", bold)
    ws.write_formula("D12", "=SUM(D5:D11)", hrs, sum(h for h in hours if h is not None))
    ws.write("A14", "Approved by")
    ws.write("B14", approver)
    ws.write("A15", "Approved on")
    ws.write_datetime("B15", approved, date)

    wb.define_name("EmployeeName", "=Timesheet!$B$2")
    wb.define_name("EmployeeNo", "=Timesheet!$B$3")
    wb.define_name("Department", "=Timesheet!$E$2")
    wb.define_name("WeekStart", "=Timesheet!$E$3")
    wb.define_name("Hours", "=Timesheet!$D$5:$D$11")
    wb.define_name("Approver", "=Timesheet!$B$14")
    wb.close()


def write_dat(path, rows):
    """The table data file's "dat" form: a count line, quoted fields, CR LF."""
    def quote(s):
        return '"' + s.replace('"', '""') + '"'
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write(f"{len(rows)},{len(rows[0])}\r\n")
        for row in rows:
            f.write(",".join(quote(s) for s in row) + "\r\n")


def fixed(x, decimals):
    """Rounded halves away from zero on the decimal digits, as the number words do."""
    q = decimal.Decimal(1).scaleb(-decimals)
    return str(decimal.Decimal(repr(float(x))).quantize(q, rounding=decimal.ROUND_HALF_UP))


def expected_lines():
    """The data file that harvesting every form with timesheet.dat gives,
    the forms taken in name order: a header line, then seven lines a form."""
    def quote(s):
        return '"' + s.replace('"', '""') + '"'
    lines = [",".join(f[0] for f in FIELDS)]
    for stem, _, name, number, dept, start, tasks, hours, approver, approved in sorted(TIMESHEETS):
        total = sum(h for h in hours if h is not None)
        for k in range(7):
            lines.append(",".join([
                quote(name),
                fixed(number, 0),
                quote(dept),
                (start + datetime.timedelta(days=k)).strftime("%d/%m/%Y"),
                quote(tasks[k] or ""),
                fixed(hours[k] or 0, 1),
                fixed(total, 2),
                quote(approver),
                approved.strftime("%Y%m%d"),
            ]))
    return lines


def main():
    if os.path.isdir(FORMS):
        shutil.rmtree(FORMS)
    os.makedirs(FORMS)
    with tempfile.TemporaryDirectory(prefix="gleanora-examples-") as tmp:
        pending = {"xls": [], "ods": []}
        for sheet in TIMESHEETS:
            stem, fmt = sheet[0], sheet[1]
            if fmt == "xlsx":
                write_form(os.path.join(FORMS, stem + ".xlsx"), sheet)
            else:
                src = os.path.join(tmp, stem + ".xlsx")
                write_form(src, sheet)
                pending[fmt].append(src)
        profile = os.path.join(tmp, "profile")
        for fmt, sources in pending.items():
            if sources:
                convert(sources, fmt, FORMS, profile)
    write_dat(os.path.join(HERE, "timesheet.dat"), FIELDS)
    with open(os.path.join(HERE, "timesheets.expected.csv"), "w", encoding="ascii", newline="") as f:
        f.write("".join(line + "\r\n" for line in expected_lines()))
    for name in sorted(os.listdir(FORMS)):
        print(os.path.join("examples", "forms", name))
    print(os.path.join("examples", "timesheet.dat"))
    print(os.path.join("examples", "timesheets.expected.csv"))


if __name__ == "__main__":
    main()
