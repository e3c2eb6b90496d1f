#!/usr/bin/python3
"""The converter's report fill done with openpyxl: the given characteristics into the form with
the given layout file (characteristics in rows), as the converter fills a fresh form.

    report_fill_openpyxl.py FORM LAYOUT.cfg ROWS OUT         one fill, saved as OUT
    report_fill_openpyxl.py FORM LAYOUT.cfg ROWS --repeat N  N fills, prints the median seconds

ROWS is UTF-8, one record a line, fields separated by tabs:
    header  NAME  VALUE          one per header name of the layout, in its order
    date    YYYY-MM-DD           optional, else today; likewise "time HH:MM:SS"
    row     ENTRY  TYPE  NOMINAL  UPPER_TOL  LOWER_TOL  DEVIATION  OUT_OF_TOL  MEASURED  UNIQUE_ID  COMMENT

Per characteristic: the fields the layout names, the measured value in the row's first empty
measurement column (red and underlined when out of tolerance), and on the first row of every
page the header values, date and time in that column; a new page, copied from "Master", when
the rows of a page are used up; the "UniqueIDs" sheet with every entry and its unique id.
"""
import datetime
import statistics
import sys
import tempfile
import time

from openpyxl import load_workbook
from openpyxl.styles import Font

NOT_USED = "NotUsed"
RED = Font(color="FF0000", underline="single")
BLANK_TOLERANCE = {"TRUE_X_LOCATION", "TRUE_Y_LOCATION", "TRUE_Z_LOCATION", "TRUE_PA_LOCATION",
                   "TRUE_PR_LOCATION"}
SYMBOLS = dict.fromkeys(("X_LOCATION", "Y_LOCATION", "Z_LOCATION", "H_LOCATION", "L_LOCATION", "PA_LOCATION",
                         "PD_LOCATION", "PR_LOCATION", "R_LOCATION", "RS_LOCATION", "RT_LOCATION", "S_LOCATION",
                         "T_LOCATION", "V_LOCATION"), '"')
SYMBOLS.update({"A_LOCATION": "$", "D_LOCATION": "n", "2D_ANGLE": "2D $", "2D_DISTANCE": "2D #",
                "3D_ANGLE": "3D $", "3D_DISTANCE": "3D #", "ANGULARITY": "a", "COAXIALITY": "%",
                "CONCENTRICITY": "r", "FLATNESS": "c", "FLATNESS_LOCATION": "c", "TRUE_FLATNESS_LOCATION": "c",
                "KEYIN": "&", "PARALLELISM": "f", "PERPENDICULARITY": "b", "PROFILE": "d", "ROUNDNESS": "e",
                "ROUNDNESS_LOCATION": "e", "TRUE_ROUNDNESS_LOCATION": "e", "RUNOUT": "h", "STRAIGHTNESS": "u",
                "STRAIGHTNESS_LOCATION": "u", "TRUE_STRAIGHTNESS_LOCATION": "u", "SYMMETRY": "i"})
SYMBOLS.update(dict.fromkeys(("TRUE_X_LOCATION", "TRUE_Y_LOCATION", "TRUE_Z_LOCATION", "TRUE_PA_LOCATION",
                              "TRUE_PR_LOCATION", "TRUE_DD_LOCATION", "TRUE_DF_LOCATION", "TRUE_DIAM_LOCATION",
                              "TRUE_LD_LOCATION", "TRUE_LF_LOCATION", "TRUE_WD_LOCATION", "TRUE_WF_LOCATION",
                              "TRUE_D1_LOCATION", "TRUE_D2_LOCATION", "TRUE_D3_LOCATION"), "j"))


def column(text):
    value = 0
    for ch in text.strip():
        value = value * 26 + ord(ch) - ord("A") + 1
    return value


def columns(text):
    result = []
    for piece in text.split(","):
        if "-" in piece:
            a, b = piece.split("-")
            result.extend(range(column(a.upper()), column(b.upper()) + 1))
        else:
            result.append(column(piece))
    return result


def read_layout(path):
    with open(path, encoding="cp1252") as f:
        lines = f.read().splitlines()
    names = lines[lines.index("[Kopfdaten]") + 1:]
    k = len(names)
    keys = ["ATol", "Dev", "ID", "Comment", "CommentLength", "Nominal", "OTol", "Meas", "Symbol", "UTol",
            "EndRow", "StartRow", "Rows", "DateRow", "TimeRow", "Element1", "Element2", "Element3", "Bezug1",
            "Bezug2", "Bezug3", "Einheit"]
    layout = dict(zip(keys, lines))
    layout["Header"] = list(zip(lines[22:22 + k], lines[22 + k:22 + 2 * k]))
    layout["LfdNr"] = lines[22 + 2 * k]
    if int(layout["Rows"]) == 0:
        sys.exit("only layouts with the characteristics in rows are supported")
    for key in ("Element1", "Element2", "Element3", "Bezug1", "Bezug2", "Bezug3", "Einheit"):
        if layout[key] != NOT_USED:
            sys.exit(f"the layout field {key} is not supported")
    return layout


def read_rows(path):
    header, rows, when = [], [], {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "row":
                entry, typ, nom, otol, utol, dev, atol, meas, unique, comment = fields[1:11]
                rows.append((entry, typ, float(nom), float(otol), float(utol), float(dev), float(atol),
                             float(meas), unique, comment))
            elif fields[0] == "header":
                header.append(fields[2])
            else:
                when[fields[0]] = fields[1]
    now = datetime.datetime.now()
    date = datetime.date.fromisoformat(when["date"]) if "date" in when else now.date()
    clock = datetime.time.fromisoformat(when["time"]) if "time" in when else now.time().replace(microsecond=0)
    return header, rows, date, clock


def fill(form, layout, header, rows, date, clock, out):
    wb = load_workbook(form)
    if "UniqueIDs" in wb.sheetnames:
        sys.exit("the form has been filled before")
    ids = wb.create_sheet("UniqueIDs")
    ids["A1"], ids["B1"] = "ID", "Unique-ID"
    for i, r in enumerate(rows):
        ids.cell(i + 2, 1, r[0])
        ids.cell(i + 2, 2, r[8])

    start, end = int(layout["StartRow"]), int(layout["EndRow"])
    meas_columns = columns(layout["Meas"])
    fields = {key: column(layout[key]) for key in ("ID", "Nominal", "LfdNr", "OTol", "UTol", "Dev", "ATol",
                                                   "Symbol", "Comment") if layout[key] != NOT_USED}
    length = max(0, int(layout["CommentLength"]))
    date_row = int(layout["DateRow"]) if layout["DateRow"] != NOT_USED else 0
    time_row = int(layout["TimeRow"]) if layout["TimeRow"] != NOT_USED else 0
    master = wb["Master"]

    page, pages, counter = None, [], 0
    for number, (entry, typ, nom, otol, utol, dev, atol, meas, _, comment) in enumerate(rows, 1):
        counter += 1
        if page is None or counter > end - start + 1:
            name = f"Seite{len(pages) + 1}"
            page = wb[name] if name in wb.sheetnames else wb.copy_worksheet(master)
            page.title = name
            pages.append(page)
            counter = 1
        y = start + counter - 1
        values = {"ID": entry, "Nominal": nom, "LfdNr": str(number), "OTol": otol, "UTol": utol, "Dev": dev,
                  "ATol": atol, "Symbol": SYMBOLS.get(typ, ""), "Comment": comment[:length]}
        if typ in BLANK_TOLERANCE:
            values["OTol"] = values["UTol"] = "   "
        for key, col in fields.items():
            page.cell(y, col, values[key])
        col = next((c for c in meas_columns if page.cell(y, c).value is None), None)
        if col is None:
            sys.exit("no empty measurement column")
        cell = page.cell(y, col, meas)
        if atol != 0.0:
            cell.font = RED
        if counter == 1:
            for value, (row_setting, col_setting) in zip(header, layout["Header"]):
                if row_setting == NOT_USED:
                    continue
                if col_setting == "VM":
                    page.cell(int(row_setting), col, value)
                elif col_setting != NOT_USED:
                    page.cell(int(row_setting), column(col_setting), value)
            if date_row:
                page.cell(date_row, col, date)
            if time_row:
                page.cell(time_row, col, clock)

    # The pages follow "Master" in order, as the converter places them.
    order = [s for s in wb._sheets if s not in pages]
    at = order.index(master) + 1
    wb._sheets = order[:at] + pages + order[at:]
    wb.save(out)


def main():
    args = sys.argv[1:]
    if len(args) == 5 and args[3] == "--repeat":
        form, layout_file, rows_file, repetitions = args[0], args[1], args[2], int(args[4])
    elif len(args) == 4:
        form, layout_file, rows_file, out = args
        repetitions = 0
    else:
        sys.exit(__doc__)
    layout = read_layout(layout_file)
    header, rows, date, clock = read_rows(rows_file)
    if not repetitions:
        fill(form, layout, header, rows, date, clock, out)
        return
    times = []
    with tempfile.TemporaryDirectory() as tmp:
        for _ in range(repetitions):
            begin = time.perf_counter()
            fill(form, layout, header, rows, date, clock, f"{tmp}/out.xlsx")
            times.append(time.perf_counter() - begin)
    print(f"{statistics.median(times):.6f}")


if __name__ == "__main__":
    main()
