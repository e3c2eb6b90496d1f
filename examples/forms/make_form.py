#!/usr/bin/python3
"""Makes Pruefbericht.xlsx, the example form: a "Master" sheet with a title block, cells for the
header data, date and time, and a characteristic table (characteristics in rows 10 to 40) with
five measurement columns H to L. Its layout file is Pruefbericht.cfg beside it.

The template is hidden and its first page, Seite1, is there already: a printed form shows the
filled pages only, and a workbook needs one sheet to show."""
import os

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

here = os.path.dirname(os.path.abspath(__file__))
thin = Side(style="thin", color="808080")
box = Border(left=thin, right=thin, top=thin, bottom=thin)
head = PatternFill("solid", fgColor="D9E1F2")


def lay_out(ws):

    ws["A1"] = "Prüfbericht"
    ws["A1"].font = Font(name="Arial", size=16, bold=True)
    ws.merge_cells("A1:G1")
    ws["A2"] = "Messergebnisse Koordinatenmessmaschine"
    ws["A2"].font = Font(name="Arial", size=10, italic=True)
    labels = {5: "Auftrag", 6: "Prüfer", 7: "Datum", 8: "Uhrzeit"}
    for row, text in labels.items():
        ws.cell(row, 6, text).font = Font(bold=True)
        ws.cell(row, 6).alignment = Alignment(horizontal="right")
        for col in range(8, 13):
            ws.cell(row, col).border = box
            ws.cell(row, col).alignment = Alignment(horizontal="center")
    for col in range(8, 13):
        ws.cell(7, col).number_format = "DD.MM.YYYY"
        ws.cell(8, col).number_format = "hh:mm:ss"
    titles = ["Nr.", "Merkmal", "Symbol", "Nennwert", "o.Tol.", "u.Tol.", "Kommentar",
              "Teil 1", "Teil 2", "Teil 3", "Teil 4", "Teil 5"]
    for col, title in enumerate(titles, start=1):
        c = ws.cell(9, col, title)
        c.font = Font(bold=True)
        c.fill = head
        c.border = box
        c.alignment = Alignment(horizontal="center")
    for row in range(10, 41):
        for col in range(1, 13):
            c = ws.cell(row, col)
            c.border = box
            if col in (4, 5, 6) or col >= 8:
                c.number_format = "0.000"
            if col == 3:
                # A font with the GD&T signs for forms filled with Unicode symbols: Windows has this
                # one; elsewhere the spreadsheet program takes the signs from one that has them.
                c.font = Font(name="Segoe UI Symbol", size=11)
                c.alignment = Alignment(horizontal="center")
    ws.column_dimensions["B"].width = 14
    ws.column_dimensions["G"].width = 28
    for col in "HIJKL":
        ws.column_dimensions[col].width = 11
    ws.freeze_panes = "A10"
    # No print area: LibreOffice prints a hidden sheet that has one. The used range is A1:L40.
    # One sheet width per page, as a report is read: A4 landscape, fitted to the width.
    ws.page_setup.orientation = "landscape"
    ws.page_setup.paperSize = ws.PAPERSIZE_A4
    ws.page_setup.fitToWidth = 1
    ws.page_setup.fitToHeight = 0
    ws.sheet_properties.pageSetUpPr.fitToPage = True
    ws.print_options.horizontalCentered = True


wb = Workbook()
master = wb.active
master.title = "Master"
lay_out(master)
lay_out(wb.create_sheet("Seite1"))
master.sheet_state = "hidden"
wb.active = 1
wb.save(os.path.join(here, "Pruefbericht.xlsx"))
