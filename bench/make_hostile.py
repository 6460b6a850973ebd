#!/usr/bin/python3
"""Writes hostile workbooks: small files that inflate into parts of up to the
readers' part-size limit (256 MiB) built to cost memory or time: cell bombs,
shared-string bombs, deep nesting, huge dimensions, long tags, many names.
They are attacks, not forms, so they are written directly with zipfile and
never committed; bench/hostile_bench.sh harvests each one and prints its
time and peak memory.

Each case is one entry of CASES: (file name, what it holds, function that
writes it). A new format adds its cases the same way (a function taking the
output path).

Usage: /usr/bin/python3 bench/make_hostile.py OUTDIR [CASE ...]
"""
import os
import struct
import sys
import zipfile

MiB = 1 << 20
# Just under the part-size limit, so that the part is read and not refused.
PART = 250 * MiB

# ------------------------------------------------------------------ helpers


class Part:
    """A zip member written piece by piece (no part is ever whole in memory)."""

    def __init__(self, zf, name):
        info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        self.f = zf.open(info, "w", force_zip64=True)
        self.size = 0
        self.pending = []
        self.pending_len = 0

    def write(self, s):
        b = s.encode() if isinstance(s, str) else s
        self.pending.append(b)
        self.pending_len += len(b)
        self.size += len(b)
        if self.pending_len > MiB:
            self.flush()

    def repeat(self, unit, total):
        """Writes `unit` again and again up to `total` bytes."""
        b = unit.encode() if isinstance(unit, str) else unit
        block = b * max(1, MiB // len(b))
        while self.size + len(block) <= total:
            self.write(block)
        while self.size + len(b) <= total:
            self.write(b)

    def flush(self):
        self.f.write(b"".join(self.pending))
        self.pending = []
        self.pending_len = 0

    def close(self):
        self.flush()
        self.f.close()


def small(zf, name, text):
    zf.writestr(zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0)), text, zipfile.ZIP_DEFLATED)


CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
    "</Types>")
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
ROOT_RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
             '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % R)
WB_RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
           '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
           '<Relationship Id="rId2" Type="%s/sharedStrings" Target="sharedStrings.xml"/>'
           '<Relationship Id="rId3" Type="%s/styles" Target="styles.xml"/></Relationships>' % (R, R, R))
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
WORKBOOK = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s"><sheets>'
            '<sheet name="Form" sheetId="1" r:id="rId1"/></sheets><definedNames>'
            '<definedName name="Total">Form!$B$2</definedName></definedNames></workbook>' % (MAIN, R))
STYLES = ('<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="%s"><cellXfs count="2"><xf numFmtId="0"/>'
          '<xf numFmtId="14"/></cellXfs></styleSheet>' % MAIN)
SHEET_HEAD = '<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData>' % MAIN
SHEET_TAIL = "</sheetData></worksheet>"


def xlsx(path, sheet=None, strings=None, styles=None, workbook=None):
    """An .xlsx whose parts are written by the given functions (each gets a
    Part), or the small defaults."""
    with zipfile.ZipFile(path, "w", allowZip64=True) as zf:
        small(zf, "[Content_Types].xml", CONTENT_TYPES)
        small(zf, "_rels/.rels", ROOT_RELS)
        small(zf, "xl/_rels/workbook.xml.rels", WB_RELS)
        for name, fn, default in (("xl/workbook.xml", workbook, WORKBOOK), ("xl/styles.xml", styles, STYLES),
                                  ("xl/sharedStrings.xml", strings, '<sst xmlns="%s"><si><t>x</t></si></sst>' % MAIN),
                                  ("xl/worksheets/sheet1.xml", sheet,
                                   SHEET_HEAD + '<row r="2"><c r="B2"><v>7</v></c></row>' + SHEET_TAIL)):
            if fn is None:
                small(zf, name, default)
            else:
                p = Part(zf, name)
                fn(p)
                p.close()


ODS_HEAD = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
            'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
            'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
            '<office:body><office:spreadsheet><table:table table:name="Form">')
ODS_TAIL = "</table:table></office:spreadsheet></office:body></office:document-content>"


def ods(path, content, settings=None):
    with zipfile.ZipFile(path, "w", allowZip64=True) as zf:
        zf.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                    zipfile.ZIP_STORED)
        p = Part(zf, "content.xml")
        content(p)
        p.close()
        if settings:
            p = Part(zf, "settings.xml")
            settings(p)
            p.close()


# ------------------------------------------------------------------ cases


def xlsx_numbers(path):
    # 16,384 numeric cells a row, row after row, up to the part limit.
    def sheet(p):
        p.write(SHEET_HEAD)
        row = 1
        while p.size < PART - 2 * MiB:
            p.write('<row r="%d">' % row + "".join('<c r="%s%d"><v>%d</v></c>' % (col_name(c), row, c)
                                                  for c in range(2000)) + "</row>")
            row += 1
        p.write(SHEET_TAIL)
    xlsx(path, sheet=sheet)


def xlsx_empty_cells(path):
    # Rows of 10,000 formatted cells without value or reference.
    def sheet(p):
        p.write(SHEET_HEAD)
        p.repeat("<row>" + '<c s="1"/>' * 10000 + "</row>", PART - MiB)
        p.write(SHEET_TAIL)
    xlsx(path, sheet=sheet)


def xlsx_one_row_cells(path):
    # Millions of cells that all claim the same wanted cell B2.
    def sheet(p):
        p.write(SHEET_HEAD + '<row r="2">')
        p.repeat('<c r="B2" t="s"><v>0</v></c>', PART - MiB)
        p.write("</row>" + SHEET_TAIL)
    xlsx(path, sheet=sheet)


def xlsx_shared_strings(path):
    # Ten million short strings; the wanted cells show the last ones.
    count = [0]

    def strings(p):
        p.write('<sst xmlns="%s">' % MAIN)
        unit = "<si><t>s</t></si>"
        p.repeat(unit, PART - MiB)
        count[0] = (p.size - 40) // len(unit)
        p.write("</sst>")

    def sheet(p):
        p.write(SHEET_HEAD)
        for r in range(1, 40):
            p.write('<row r="%d"><c r="A%d" t="s"><v>%d</v></c><c r="B%d" t="s"><v>%d</v></c></row>'
                    % (r, r, r, r, 14000000 - r))
        p.write(SHEET_TAIL)
    xlsx(path, strings=strings, sheet=sheet)


def xlsx_long_string(path):
    # One shared string of 200 MiB, shown by the wanted cell B2.
    def strings(p):
        p.write('<sst xmlns="%s"><si><t>' % MAIN)
        p.repeat("abcdefgh", 200 * MiB)
        p.write("</t></si></sst>")

    def sheet(p):
        p.write(SHEET_HEAD + '<row r="2"><c r="B2" t="s"><v>0</v></c></row>' + SHEET_TAIL)
    xlsx(path, strings=strings, sheet=sheet)


def xlsx_deep_nesting(path):
    # Elements nested millions deep inside a wanted cell.
    def sheet(p):
        p.write(SHEET_HEAD + '<row r="2"><c r="B2" t="inlineStr"><is>')
        p.repeat("<r>", 100 * MiB)
        p.write("</is></c></row>" + SHEET_TAIL)
    xlsx(path, sheet=sheet)


def xlsx_huge_dimensions(path):
    # The far corner of the sheet filled, a dimension of the whole sheet,
    # and the wanted cells in the last row.
    def sheet(p):
        p.write('<?xml version="1.0"?><worksheet xmlns="%s"><dimension ref="A1:XFD1048576"/><sheetData>' % MAIN)
        for r in range(1048000, 1048577):
            p.write('<row r="%d">' % r + "".join('<c r="%s%d"><v>1</v></c>' % (col_name(c), r)
                                                for c in range(16384 - 200, 16384)) + "</row>")
        p.write(SHEET_TAIL)
    xlsx(path, sheet=sheet)


def xlsx_long_tag(path):
    # One start tag of 200 MiB of attributes.
    def sheet(p):
        p.write(SHEET_HEAD + '<row r="2" x="')
        p.repeat("y", 200 * MiB)
        p.write('"><c r="B2"><v>1</v></c></row>' + SHEET_TAIL)
    xlsx(path, sheet=sheet)


def xlsx_styles(path):
    # Ten million cell formats and number formats.
    def styles(p):
        p.write('<styleSheet xmlns="%s"><numFmts>' % MAIN)
        p.repeat('<numFmt numFmtId="200" formatCode="yyyy-mm-dd"/>', PART // 2)
        p.write("</numFmts><cellXfs>")
        p.repeat('<xf numFmtId="200"/>', PART - MiB)
        p.write("</cellXfs></styleSheet>")
    xlsx(path, styles=styles)


def xlsx_names(path):
    # Millions of defined names.
    def workbook(p):
        p.write('<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Form" sheetId="1" r:id="rId1"/>'
                '</sheets><definedNames>' % (MAIN, R))
        i = 0
        while p.size < PART - MiB:
            p.write("".join('<definedName name="n%d">Form!$A$%d</definedName>' % (k, k % 1000 + 1)
                            for k in range(i, i + 10000)))
            i += 10000
        p.write("</definedNames></workbook>")
    xlsx(path, workbook=workbook)


def xlsx_names_below_limit(path):
    # As many defined names as the reader keeps.
    def workbook(p):
        p.write('<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Form" sheetId="1" r:id="rId1"/>'
                '</sheets><definedNames>' % (MAIN, R))
        p.write("".join('<definedName name="n%d">Form!$A$%d</definedName>' % (k, k % 1000 + 1)
                        for k in range(50000)))
        p.write("</definedNames></workbook>")
    xlsx(path, workbook=workbook)


def ods_repeat_bomb(path):
    # A whole sheet of one number through repeats: a few bytes.
    def content(p):
        p.write(ODS_HEAD + '<table:table-row table:number-rows-repeated="1048575"><table:table-cell '
                'table:number-columns-repeated="16384" office:value-type="float" office:value="1"/>'
                "</table:table-row>" + ODS_TAIL)
    ods(path, content)


def ods_cells(path):
    # Spelled-out numeric cells up to the part limit.
    def content(p):
        p.write(ODS_HEAD)
        row = '<table:table-row>' + '<table:table-cell office:value-type="float" office:value="1"/>' * 1000 + \
              '</table:table-row>'
        p.repeat(row, PART - MiB)
        p.write(ODS_TAIL)
    ods(path, content)


def ods_deep_spans(path):
    # Text spans nested millions deep in the wanted cell B2.
    def content(p):
        p.write(ODS_HEAD + '<table:table-row/><table:table-row><table:table-cell/><table:table-cell '
                'office:value-type="string"><text:p>')
        p.repeat("<text:span>", 100 * MiB)
        p.write("</text:p></table:table-cell></table:table-row>" + ODS_TAIL)
    ods(path, content)


def ods_long_text(path):
    # 200 MiB of text in the wanted cell B2.
    def content(p):
        p.write(ODS_HEAD + '<table:table-row/><table:table-row><table:table-cell/><table:table-cell>'
                '<text:p>')
        p.repeat("abcdefgh", 200 * MiB)
        p.write("</text:p></table:table-cell></table:table-row>" + ODS_TAIL)
    ods(path, content)


def ods_settings(path):
    # A settings part of 250 MiB before its ActiveTable item.
    def content(p):
        p.write(ODS_HEAD + '<table:table-row/><table:table-row><table:table-cell/><table:table-cell '
                'office:value-type="float" office:value="7"/></table:table-row>' + ODS_TAIL)

    def settings(p):
        p.write('<office:document-settings xmlns:office="o" xmlns:config="c"><office:settings>')
        p.repeat('<config:config-item config:name="Zoom" config:type="int">100</config:config-item>', PART - MiB)
        p.write('<config:config-item config:name="ActiveTable">Form</config:config-item>'
                "</office:settings></office:document-settings>")
    ods(path, content, settings)


# ------------------------------------------------------------------ .xlsb


def varint(v, most):
    b = bytearray()
    for _ in range(most):
        b.append((v & 0x7F) | (0x80 if v > 0x7F else 0))
        v >>= 7
        if not b[-1] & 0x80:
            break
    return bytes(b)


def rec(rtype, body=b""):
    """One record: its type and size as 7-bit groups, then the body."""
    return varint(rtype, 2) + varint(len(body), 4) + body


def u32(*vs):
    return b"".join(v.to_bytes(4, "little") for v in vs)


def wide(text):
    return u32(len(text)) + text.encode("utf-16-le")


def cell(col, style=0):
    return u32(col, style)


XLSB_RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
             '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.bin"/>'
             '<Relationship Id="rId2" Type="%s/sharedStrings" Target="sharedStrings.bin"/>'
             '<Relationship Id="rId3" Type="%s/styles" Target="styles.bin"/></Relationships>' % (R, R, R))
XLSB_WORKBOOK = (rec(0x83) + rec(0x99, u32(0, 0) + wide("ThisWorkbook")) + rec(0x8F) +
                 rec(0x9C, u32(0, 1) + wide("rId1") + wide("Form")) + rec(0x90) + rec(0x84))
XLSB_STYLES = rec(0x116) + rec(0x269, u32(2)) + rec(0x2F, bytes(16)) + rec(0x2F, b"\0\0\x0e\0" + bytes(12)) + rec(0x26A) + rec(0x117)
XLSB_SHEET_HEAD = rec(0x81) + rec(0x91)
XLSB_SHEET_TAIL = rec(0x92) + rec(0x82)


def row_hdr(r):
    return rec(0x00, u32(r, 0) + bytes(9))


def xlsb(path, sheet=None, strings=None):
    """An .xlsb whose sheet and shared strings parts are written by the given
    functions (each gets a Part), or the small defaults."""
    with zipfile.ZipFile(path, "w", allowZip64=True) as zf:
        small(zf, "[Content_Types].xml", CONTENT_TYPES.replace("workbook.xml", "workbook.bin"))
        small(zf, "_rels/.rels", ROOT_RELS.replace("workbook.xml", "workbook.bin"))
        small(zf, "xl/_rels/workbook.bin.rels", XLSB_RELS)
        small(zf, "xl/workbook.bin", XLSB_WORKBOOK)
        small(zf, "xl/styles.bin", XLSB_STYLES)
        for name, fn, default in (("xl/sharedStrings.bin", strings, rec(0x9F, u32(1, 1)) + rec(0x13, b"\0" + wide("x")) + rec(0xA0)),
                                  ("xl/worksheets/sheet1.bin", sheet, XLSB_SHEET_HEAD + row_hdr(1) +
                                   rec(0x05, cell(1) + struct.pack("<d", 7)) + XLSB_SHEET_TAIL)):
            if fn is None:
                small(zf, name, default)
            else:
                p = Part(zf, name)
                fn(p)
                p.close()


def xlsb_numbers(path):
    # 1,000 numeric cells a row (a row fits deflate's window, so that the
    # file stays small), row after row, up to the part limit.
    cells = b"".join(rec(0x05, cell(c) + struct.pack("<d", c)) for c in range(1000))

    def sheet(p):
        p.write(XLSB_SHEET_HEAD)
        row = 0
        while p.size < PART - 2 * MiB:
            p.write(row_hdr(row) + cells)
            row += 1
        p.write(XLSB_SHEET_TAIL)
    xlsb(path, sheet=sheet)


def xlsb_short_cells(path):
    # The wanted row again and again, each time 16,000 short RK cells (no
    # column: each is the next one), then a wanted cell in the last row.
    def sheet(p):
        p.write(XLSB_SHEET_HEAD)
        p.repeat(row_hdr(1) + rec(0x0D, u32(0, (5 << 2) | 2)) * 16000, PART - MiB)
        p.write(row_hdr(1048575) + rec(0x05, cell(16383) + struct.pack("<d", 1)) + XLSB_SHEET_TAIL)
    xlsb(path, sheet=sheet)


def xlsb_one_row_cells(path):
    # Millions of cells that all claim the same wanted cell B2.
    def sheet(p):
        p.write(XLSB_SHEET_HEAD + row_hdr(1))
        p.repeat(rec(0x07, cell(1) + u32(0)), PART - MiB)
        p.write(XLSB_SHEET_TAIL)
    xlsb(path, sheet=sheet)


def xlsb_shared_strings(path):
    # Tens of millions of short strings; the wanted cells show the last ones.
    count = [0]

    def strings(p):
        unit = rec(0x13, b"\0" + wide("s"))
        p.write(rec(0x9F, u32(0, 0)))
        p.repeat(unit, PART - MiB)
        count[0] = (p.size - 10) // len(unit)
        p.write(rec(0xA0))

    def sheet(p):
        p.write(XLSB_SHEET_HEAD)
        for r in range(1, 40):
            p.write(row_hdr(r) + rec(0x07, cell(0) + u32(r)) + rec(0x07, cell(1) + u32(count[0] - r)))
        p.write(XLSB_SHEET_TAIL)
    xlsb(path, strings=strings, sheet=sheet)


def xlsb_long_string(path):
    # One shared string record of 200 MiB, shown by the wanted cell B2.
    def strings(p):
        n = 100 * MiB
        p.write(rec(0x9F, u32(1, 1)) + varint(0x13, 2) + varint(1 + 4 + 2 * n, 4) + b"\0" + u32(n))
        p.repeat("ab".encode("utf-16-le"), p.size + 2 * n)
        p.write(rec(0xA0))

    def sheet(p):
        p.write(XLSB_SHEET_HEAD + row_hdr(1) + rec(0x07, cell(1) + u32(0)) + XLSB_SHEET_TAIL)
    xlsb(path, strings=strings, sheet=sheet)


def xlsb_huge_dimensions(path):
    # The far corner of the sheet filled, a dimension of the whole sheet,
    # and the wanted cells in the last row.
    cells = b"".join(rec(0x05, cell(c) + struct.pack("<d", 1)) for c in range(16384 - 200, 16384))

    def sheet(p):
        p.write(rec(0x81) + rec(0x94, u32(0, 1048575, 0, 16383)) + rec(0x91))
        for r in range(1048000, 1048576):
            p.write(row_hdr(r) + cells)
        p.write(XLSB_SHEET_TAIL)
    xlsb(path, sheet=sheet)


def col_name(c):
    s = ""
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


CASES = [
    ("xlsx-numbers.xlsx", "sheet of numeric cells up to the part limit", xlsx_numbers),
    ("xlsx-empty-cells.xlsx", "sheet of empty cells", xlsx_empty_cells),
    ("xlsx-one-cell-many-times.xlsx", "the wanted cell written millions of times", xlsx_one_row_cells),
    ("xlsx-shared-strings.xlsx", "ten million shared strings", xlsx_shared_strings),
    ("xlsx-long-string.xlsx", "one shared string of 200 MiB in a wanted cell", xlsx_long_string),
    ("xlsx-deep-nesting.xlsx", "elements nested millions deep in a wanted cell", xlsx_deep_nesting),
    ("xlsx-huge-dimensions.xlsx", "cells at the last rows and columns", xlsx_huge_dimensions),
    ("xlsx-long-tag.xlsx", "a start tag of 200 MiB", xlsx_long_tag),
    ("xlsx-styles.xlsx", "millions of cell and number formats", xlsx_styles),
    ("xlsx-names.xlsx", "millions of defined names", xlsx_names),
    ("xlsx-names-below-limit.xlsx", "50,000 defined names", xlsx_names_below_limit),
    ("xlsb-numbers.xlsb", "sheet of numeric cells up to the part limit", xlsb_numbers),
    ("xlsb-short-cells.xlsb", "the wanted row again and again, in short cells", xlsb_short_cells),
    ("xlsb-one-cell-many-times.xlsb", "the wanted cell written millions of times", xlsb_one_row_cells),
    ("xlsb-shared-strings.xlsb", "tens of millions of shared strings", xlsb_shared_strings),
    ("xlsb-long-string.xlsb", "one shared string record of 200 MiB in a wanted cell", xlsb_long_string),
    ("xlsb-huge-dimensions.xlsb", "cells at the last rows and columns", xlsb_huge_dimensions),
    ("ods-repeat-bomb.ods", "a whole sheet of numbers through repeats", ods_repeat_bomb),
    ("ods-cells.ods", "spelled-out numeric cells up to the part limit", ods_cells),
    ("ods-deep-spans.ods", "text spans nested millions deep in a wanted cell", ods_deep_spans),
    ("ods-long-text.ods", "200 MiB of text in a wanted cell", ods_long_text),
    ("ods-settings.ods", "a settings part of 250 MiB", ods_settings),
]

# The form definition every case is harvested with: a single cell, a run to
# the end of what a run may span, a row, and a cell in the last row.
FORM = [("B2", "B2", "text"), ("Run", "A1:A32767", "text"),
        ("Row", "A2:Z2", "text"), ("Last", "XFD1048576", "text")]


def main():
    out = sys.argv[1]
    wanted = set(sys.argv[2:])
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "form.dat"), "w", newline="") as f:
        f.write("%d,3\r\n" % len(FORM))
        for r in FORM:
            f.write(",".join('"%s"' % v for v in r) + "\r\n")
    for name, what, fn in CASES:
        if wanted and name not in wanted:
            continue
        path = os.path.join(out, name)
        if not os.path.exists(path):
            fn(path + ".part")
            os.replace(path + ".part", path)
        print("%-32s %9d bytes  %s" % (name, os.path.getsize(path), what))


if __name__ == "__main__":
    main()
