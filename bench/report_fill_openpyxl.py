#!/usr/bin/python3
"""The report benchmark's work done with openpyxl on the same form: 5,000 characteristics in
rows 10 to 1676 (three pages), fields B, D, E, F, C, G and A, the first empty measurement column
of H to L, out-of-tolerance values red and underlined, header data, date and time on every page,
the UniqueIDs bookkeeping sheet; then save. Prints the median seconds of the repetitions."""
import datetime
import statistics
import sys
import tempfile
import time

from openpyxl import load_workbook
from openpyxl.styles import Font

form, repetitions = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5
N, START, END = 5000, 10, 1676
red = Font(color="FF0000", underline="single")
times = []
with tempfile.TemporaryDirectory() as tmp:
    for _ in range(repetitions):
        start = time.perf_counter()
        wb = load_workbook(form)
        ids = wb.create_sheet("UniqueIDs")
        ids["A1"], ids["B1"] = "ID", "Unique-ID"
        for i in range(N):
            ids.cell(i + 2, 1, f"LOC{i}.X")
            ids.cell(i + 2, 2, f"{100000 + i}4711")
        page, page_no, counter = None, 0, 0
        for i in range(N):
            counter += 1
            if page is None or counter > END - START + 1:
                page_no += 1
                page = wb.copy_worksheet(wb["Master"])
                page.title = f"Seite{page_no}"
                counter, first = 1, True
            y = START + counter - 1
            page.cell(y, 2, f"LOC{i}.X")
            page.cell(y, 4, 10.0)
            page.cell(y, 1, str(i + 1))
            page.cell(y, 5, 0.1)
            page.cell(y, 6, -0.1)
            page.cell(y, 3, '"')
            page.cell(y, 7, "Prüfmerkmal")
            col = next(c for c in range(8, 13) if page.cell(y, c).value is None)
            cell = page.cell(y, col, 10.0 + (i % 100) / 1000.0)
            if i % 17 == 0:
                cell.font = red
            if counter == 1:
                page.cell(5, col, "4711")
                page.cell(6, col, "M. Keller")
                page.cell(7, col, datetime.date(2026, 12, 6))
                page.cell(8, col, datetime.time(14, 5, 9))
        wb.save(f"{tmp}/out.xlsx")
        times.append(time.perf_counter() - start)
print(f"{statistics.median(times):.6f}")
