#!/usr/bin/python3
"""Makes a form with a large "Master" sheet from the example form: the rows below its table
(row 40) are followed by rows of existing cells up to LAST_ROW: first the shapes a grown form
has (styled cells without a value, self-closing rows, hidden rows, merged titles), then a long
table of earlier results whose cells all hold values (numbers, shared and inline strings,
formulas). Of the table's rows (10 to 40) only every fifth keeps its cells, so a run writes the
others as rows the sheet lacks, between rows it has. The header rows, the layout and every other
part stay as they are, so the example's layout file fills it.

    make_large_master.py FORM OUT [LAST_ROW]   (LAST_ROW default 19456)
"""
import re
import sys
import zipfile

SHEET = "xl/worksheets/sheet1.xml"
STRINGS = "xl/sharedStrings.xml"
NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL_STRINGS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings"
TYPE_STRINGS = "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"
COLUMNS = "ABCDEFGHIJKL"
SHAPED = 2000  # rows of mixed shapes below the table; the rest hold results
WORDS = ["Bohrung", "Flansch", "Ebenheit", "Position", "Rundheit", "Abstand", "Winkel", "Zylinder",
         "Nut", "Gewinde", "Kante", "Fase", "Radius", "Passung", "Lage", "Bezug"]


def strings():
    texts = [f"{w} {n}" for n in range(1, 41) for w in WORDS]  # 640 distinct texts
    items = "".join(f"<si><t>{t}</t></si>" for t in texts)
    xml = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="{NS}" '
           f'count="{len(texts)}" uniqueCount="{len(texts)}">{items}</sst>')
    return len(texts), xml.encode()


def filled_row(r, n_strings, attrs=""):
    """A row of earlier results: every cell it has holds a value."""
    cells = [f'<c r="A{r}" s="8"><v>{r - 40}</v></c>',
             f'<c r="B{r}" s="8" t="s"><v>{(r * 7) % n_strings}</v></c>',
             f'<c r="C{r}" s="8" t="inlineStr"><is><t>&#8960;</t></is></c>' if r % 10 == 3 else
             f'<c r="C{r}" s="8" t="s"><v>{r % 16}</v></c>']
    for c, v in zip("DEF", (r % 100, 0.1, -0.1)):
        cells.append(f'<c r="{c}{r}" s="9"><v>{v:g}</v></c>')
    if r % 4 == 0:  # a comment now and then; the other rows have no cell there
        cells.append(f'<c r="G{r}" s="8" t="s"><v>{(r * 3) % n_strings}</v></c>')
    for i, c in enumerate("HIJK"):
        cells.append(f'<c r="{c}{r}" s="9"><v>{(r * 0.013 + i) % 50:.2f}</v></c>')
    if r % 10 == 5:
        cells.append(f'<c r="L{r}" s="9"><f>AVERAGE(H{r}:K{r})</f><v>{r % 50}</v></c>')
    else:
        cells.append(f'<c r="L{r}" s="9"><v>{r % 50}</v></c>')
    return f'<row r="{r}"{attrs}>{"".join(cells)}</row>'


def row_xml(r, n_strings, merges):
    if r > 40 + SHAPED:
        return filled_row(r, n_strings)
    kind = r % 20
    if kind == 0:  # a spacer row without cells
        return f'<row r="{r}" spans="1:12" ht="6" customHeight="1"/>'
    if kind == 7:  # a group title over B:G
        merges.append(f"B{r}:G{r}")
        cells = [f'<c r="A{r}" s="7"/>', f'<c r="B{r}" s="7" t="s"><v>{r % n_strings}</v></c>']
        cells += [f'<c r="{c}{r}" s="7"/>' for c in "CDEFG"]
        return f'<row r="{r}" spans="1:12">{"".join(cells)}</row>'
    if kind % 3 == 1:  # parts not measured yet: styled cells without a value
        cells = [f'<c r="{c}{r}" s="{8 if c < "H" and c not in "DEF" else 9}"/>' for c in COLUMNS]
        return f'<row r="{r}">{"".join(cells)}</row>'
    return filled_row(r, n_strings, ' hidden="1"' if kind == 13 else "")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    form, out = sys.argv[1], sys.argv[2]
    last = int(sys.argv[3]) if len(sys.argv) == 4 else 19456
    with zipfile.ZipFile(form) as z:
        parts = {i.filename: z.read(i) for i in z.infolist()}
    if STRINGS in parts:
        sys.exit("the form has shared strings already")
    n_strings, parts[STRINGS] = strings()

    sheet = parts[SHEET].decode()
    # Only every fifth table row keeps its cells: the run writes the others as rows the sheet
    # does not have yet, between rows it has.
    sheet = re.sub(r'<row r="(\d+)">.*?</row>',
                   lambda m: "" if 10 < int(m.group(1)) < 40 and int(m.group(1)) % 5 else m.group(0), sheet)
    merges = []
    rows = "".join(row_xml(r, n_strings, merges) for r in range(41, last + 1))
    sheet = sheet.replace("</sheetData>", rows + "</sheetData>", 1)
    sheet = re.sub(r'<dimension ref="[^"]*"/>', f'<dimension ref="A1:L{last}"/>', sheet, count=1)
    old = re.search(r'<mergeCells count="(\d+)">(.*?)</mergeCells>', sheet)
    count = int(old.group(1)) + len(merges)
    new = "".join(f'<mergeCell ref="{m}"/>' for m in merges)
    sheet = (sheet[:old.start()] + f'<mergeCells count="{count}">{old.group(2)}{new}</mergeCells>' +
             sheet[old.end():])
    parts[SHEET] = sheet.encode()

    types = parts["[Content_Types].xml"].decode()
    parts["[Content_Types].xml"] = types.replace(
        "</Types>", f'<Override PartName="/{STRINGS}" ContentType="{TYPE_STRINGS}"/></Types>').encode()
    rels = parts["xl/_rels/workbook.xml.rels"].decode()
    rel = f'<Relationship Type="{REL_STRINGS}" Target="sharedStrings.xml" Id="rIdStrings"/>'
    parts["xl/_rels/workbook.xml.rels"] = rels.replace("</Relationships>", rel + "</Relationships>").encode()

    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            z.writestr(name, data)
    print(f"{out}: Master to row {last}, sheet XML {len(parts[SHEET]):,} bytes, {count} merged ranges")


if __name__ == "__main__":
    main()
