#!/usr/bin/python3
"""The report benchmark's work done with openpyxl: open the form, copy "Master" twice, write
5,000 characteristic rows of 12 cells (every seventh measured value red and underlined), save.
Prints the median seconds of the repetitions."""
import statistics
import sys
import tempfile
import time

from openpyxl import load_workbook
from openpyxl.styles import Font

form, repetitions = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5
times = []
red = Font(color="FF0000", underline="single")
with tempfile.TemporaryDirectory() as tmp:
    for _ in range(repetitions):
        start = time.perf_counter()
        wb = load_workbook(form)
        pages = []
        for name in ("Seite1", "Seite2"):
            page = wb.copy_worksheet(wb["Master"])
            page.title = name
            pages.append(page)
        for i in range(5000):
            page = pages[i // 2500]
            row = 10 + i % 2500
            page.cell(row, 1, i + 1)
            page.cell(row, 2, f"LOC{i}.X")
            for col in range(3, 13):
                cell = page.cell(row, col, 10.0 + (i * 7 + col) % 100 / 1000.0)
                if col == 7 and i % 7 == 0:
                    cell.font = red
        wb.save(f"{tmp}/out.xlsx")
        times.append(time.perf_counter() - start)
print(f"{statistics.median(times):.6f}")
