#!/usr/bin/python3
"""Reads a workbook with openpyxl and prints what the tests check, as JSON."""
import json
import sys

from openpyxl import load_workbook


def colour(c):
    if c is None or c.rgb is None or not isinstance(c.rgb, str):
        return None
    return c.rgb[-6:]


wb = load_workbook(sys.argv[1])
out = {"sheets": [], "names": sorted(d.name for d in wb.defined_names.definedName)}
for ws in wb.worksheets:
    cells = {}
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            v = c.value
            if hasattr(v, "isoformat"):
                v = v.isoformat()
            cells[c.coordinate] = {
                "value": v,
                "bold": bool(c.font.b),
                "underline": c.font.u,
                "colour": colour(c.font.color),
                "fill": colour(c.fill.fgColor) if c.fill.fill_type == "solid" else None,
                "format": c.number_format,
                "font": c.font.name,
                "size": c.font.sz,
                "h": c.alignment.horizontal,
            }
    out["sheets"].append({
        "name": ws.title,
        "state": ws.sheet_state,
        "cells": cells,
        "merged": sorted(str(r) for r in ws.merged_cells.ranges),
        "freeze": ws.freeze_panes,
        "widths": {k: round(v.width, 2) for k, v in ws.column_dimensions.items() if v.customWidth},
        "print_area": ws.print_area,
        "print_titles": ws.print_title_rows,
        "comments": sorted(c.coordinate for row in ws.iter_rows() for c in row if c.comment),
        "tables": sorted(ws.tables.keys()),
        "images": len(ws._images),
    })
print(json.dumps(out, ensure_ascii=False))
