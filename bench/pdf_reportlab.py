#!/usr/bin/python3
"""The PDF protocol's table drawn by reportlab's canvas, to compare drawing times with ours.

Same page, columns, stripes, bars and number formatting (German decimal comma), an embedded
DejaVu Sans subset like ours. Run as a whole process:
    /usr/bin/time -f "%e s wall %U+%S s cpu" /usr/bin/python3 bench/pdf_reportlab.py 10000 /tmp/rl.pdf
"""
import os
import sys

from reportlab.lib.colors import Color, black, white
from reportlab.lib.pagesizes import A4
from reportlab.lib.units import mm
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
COLS = [24, 10, 10, 17, 16, 16, 17, 18, 17, 41]
TITLES = ["ID / Bezeichnung", "Achse", "Einheit", "Nennwert", "Obere Tol.", "Untere Tol.", "Messwert",
          "Abweichung", "Außer Tol.", "Abweichung im Toleranzband"]
MARGIN, ROW_H, HEAD_H, BOTTOM = 12, 5, 6, 297 - 12 - 9


def number(v):
    t = f"{round(v, 5):.5f}".rstrip("0").rstrip(".")
    return t.replace(".", ",") if t != "-0" else "0"


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    out = sys.argv[2] if len(sys.argv) > 2 else "/tmp/pdf_reportlab.pdf"
    pdfmetrics.registerFont(TTFont("Sans", FONT))
    pdfmetrics.registerFont(TTFont("SansBold", BOLD))
    c = canvas.Canvas(out, pagesize=A4, pageCompression=1)
    H = A4[1]
    stripe, pink, yellow, green = Color(.957, .957, .957), Color(1, .88, .88), Color(1, .91, .55), Color(0, .59, .24)
    page, pages = 1, (rows - 42 + 48) // 49 + 1

    def y(v):  # millimetres from the top to points from the bottom
        return H - v * mm

    def head(top):
        c.setFillColor(Color(.88, .88, .88))
        c.rect(MARGIN * mm, y(top + HEAD_H), 186 * mm, HEAD_H * mm, stroke=0, fill=1)
        c.setFillColor(black)
        c.setFont("SansBold", 6.8)
        x = MARGIN
        for w, t in zip(COLS, TITLES):
            c.drawString((x + 1) * mm, y(top + 4), t[: int(w * 0.9)])
            x += w
        return top + HEAD_H

    def foot():
        c.setFont("Sans", 7.5)
        c.drawString(MARGIN * mm, y(283), "Large.PRG")
        c.drawCentredString(105 * mm, y(283), f"Seite {page} von {pages}")
        c.drawRightString((210 - MARGIN) * mm, y(283), "07.12.2026 10:19:33")

    c.setFont("SansBold", 15)
    c.drawString(MARGIN * mm, y(19), "Messprotokoll")
    top = head(60)
    on_page = 0
    for i in range(rows):
        if top + ROW_H > BOTTOM:
            foot()
            c.showPage()
            page += 1
            top, on_page = head(21), 0
        if on_page % 2:
            c.setFillColor(stripe)
            c.rect(MARGIN * mm, y(top + ROW_H), 186 * mm, ROW_H * mm, stroke=0, fill=1)
        measured = 12.51 + (i % 2000) * 1e-5
        cells = [f"R{i}", "M", "mm"] + [number(v) for v in (12.5, 0.05, -0.05, measured, measured - 12.5, 0)]
        c.setFillColor(black)
        c.setFont("Sans", 7.5)
        x = MARGIN
        base = y(top + 3.4)
        for k, t in enumerate(cells):
            if k < 3:
                c.drawString((x + 1) * mm, base, t)
            else:
                c.drawRightString((x + COLS[k] - 1) * mm, base, t)
            x += COLS[k]
        w = COLS[-1] - 2
        x0 = x + 1
        lo, hi = w * 0.18, w * 0.82
        c.setFillColor(pink)
        c.rect(x0 * mm, y(top + 4), lo * mm, 3 * mm, stroke=0, fill=1)
        c.rect((x0 + hi) * mm, y(top + 4), (w - hi) * mm, 3 * mm, stroke=0, fill=1)
        c.setFillColor(yellow)
        c.rect((x0 + lo) * mm, y(top + 4), w * 0.032 * mm, 3 * mm, stroke=0, fill=1)
        c.rect((x0 + hi - w * 0.032) * mm, y(top + 4), w * 0.032 * mm, 3 * mm, stroke=0, fill=1)
        nominal = x0 + w / 2
        c.setLineWidth(0.25 * mm)
        c.line(nominal * mm, y(top + 0.7), nominal * mm, y(top + 4.3))
        c.setFillColor(green)
        dev = (measured - 12.5) / 0.1 * (hi - lo)
        c.rect(nominal * mm, y(top + 3.2), max(dev, 0.6) * mm, 1.65 * mm, stroke=0, fill=1)
        top += ROW_H
        on_page += 1
    foot()
    c.showPage()
    c.save()
    print(f"{page} pages, {os.path.getsize(out)} bytes", file=sys.stderr)


if __name__ == "__main__":
    main()
