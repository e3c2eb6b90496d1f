#!/usr/bin/python3
"""Checks that two filled forms hold the same: the same sheets in the same order, and in every
sheet the same cells with the same values, font colour and underline. An empty text and no
value count alike; times of day only need to be times (each run takes its own clock).

    compare_reports.py A.xlsx B.xlsx

Prints the number of cells compared, or the first differences, and exits 1 on a difference."""
import datetime
import sys

from openpyxl import load_workbook


def colour(font):
    rgb = font.color.rgb if font is not None and font.color is not None else None
    return rgb[-6:] if isinstance(rgb, str) else None


def cells(ws):
    result = {}
    for row in ws.iter_rows():
        for c in row:
            value = c.value
            if value is None or value == "":
                continue
            if isinstance(value, datetime.time):
                value = "<time>"
            result[c.coordinate] = (value, colour(c.font), c.font.underline if c.font else None)
    return result


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    a, b = (load_workbook(p) for p in sys.argv[1:])
    if a.sheetnames != b.sheetnames:
        print(f"sheets differ:\n  {a.sheetnames[:8]}... ({len(a.sheetnames)})\n"
              f"  {b.sheetnames[:8]}... ({len(b.sheetnames)})")
        sys.exit(1)
    differences, compared = [], 0
    for name in a.sheetnames:
        ca, cb = cells(a[name]), cells(b[name])
        compared += len(ca)
        for ref in sorted(set(ca) | set(cb)):
            if ca.get(ref) != cb.get(ref):
                differences.append(f"{name}!{ref}: {ca.get(ref)} != {cb.get(ref)}")
    if differences:
        print("\n".join(differences[:20]))
        print(f"{len(differences)} differences")
        sys.exit(1)
    print(f"{len(a.sheetnames)} sheets, {compared} cells alike")


if __name__ == "__main__":
    main()
