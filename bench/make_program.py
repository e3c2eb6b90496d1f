#!/usr/bin/python3
"""Writes a part program of exactly COMMANDS commands for the process benchmarks, and beside it
the characteristics the converter reads from it, as the rows file report_fill_openpyxl.py fills.

    make_program.py COMMANDS PROGRAM.PRG [ROWS.tsv]

The commands repeat the block of examples/generate_large_program.py (its first 10,000 are the
same): a report comment, a location X/Y/D, a flatness, an assignment of "Auftrag" and a move.
Each full block of 9 commands gives 4 characteristics, so 22,500 commands give 10,000.

The rows are what the reader makes of these commands: entry text "ID.axis", type, nominal,
upper and lower tolerance, deviation, amount out of tolerance, measured value, unique id text
and the first comment line. The header values are those of the layout's header names
(Auftrag from the last assignment, Pruefer never assigned). Deterministic.
"""
import json
import sys
from decimal import ROUND_HALF_UP, Decimal


def block(i):
    n = f"{i:04d}"
    yield {"type": 196, "id": f"C{n}", "comment": {"commentType": 1, "text": "",
           "lines": [f"Messung Bohrung {n}", "Prüfmerkmal laut Zeichnung"]}}
    yield {"type": 1000, "id": f"LOC{n}", "dimension": {"name": f"LOC{n}", "feature1": f"CIR{n}",
           "outputMode": 2, "units": 1}}
    for k, (code, label) in enumerate(((1002, "X"), (1003, "Y"), (1005, "D"))):
        # Full double precision, as a real host sends it: six to nine decimals, some values
        # out of tolerance below the band (a negative amount).
        nom = 10.0 + k
        dev = ((i * 7 + k * 3) % 21 - 10) / 1000.0 + ((i * 131 + k * 17) % 1999 - 999) * 1e-9
        meas = nom + dev
        out = dev - 0.009 if dev > 0.009 else dev + 0.009 if dev < -0.009 else 0.0
        yield {"type": code, "id": f"LOC{n}", "marked": i % 3 != 0, "dimension": {
            "axisLabel": label, "isLocationAxis": True, "nominal": nom, "plusTol": 0.009, "minusTol": 0.009,
            "measured": meas, "deviation": dev, "outTol": out, "min": meas - 0.001, "max": meas + 0.001}}
    yield {"type": 1001, "id": f"LOC{n}"}
    flat = (i % 50) / 1000.0 + (i % 7) * 1.234567e-7
    yield {"type": 1102, "id": f"FL{n}", "marked": True, "dimension": {
        "name": f"FL{n}", "feature1": f"PLN{n}", "plusTol": 0.05, "measured": flat,
        "deviation": flat, "outputMode": 1, "units": 1}}
    yield {"type": 191, "id": f"A{n}", "assignment": {"name": "Auftrag", "value": str(4700 + i)}}
    yield {"type": 1, "id": f"MOVE{n}"}


def r5(x):
    """The reader keeps five decimals of the decimal the host sent, halves away from zero."""
    return float(Decimal(repr(x)).quantize(Decimal("0.00001"), rounding=ROUND_HALF_UP))


TYPES = {1002: "X_LOCATION", 1003: "Y_LOCATION", 1005: "D_LOCATION", 1102: "FLATNESS"}


def row(position, command, comment):
    """The characteristic the reader makes of a dimension command, or None."""
    d = command.get("dimension", {})
    if command["type"] not in TYPES:
        return None
    axis = d.get("axisLabel") or "M"
    ident = command["id"]
    return [f"{ident}.{axis}", TYPES[command["type"]], r5(d.get("nominal", 0.0)), r5(d.get("plusTol", 0.0)),
            -r5(d.get("minusTol", 0.0)), r5(d.get("deviation", 0.0)), r5(d.get("outTol", 0.0)),
            r5(d.get("measured", 0.0)), f"{100000 + position}|4711", comment]


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    count, program = int(sys.argv[1]), sys.argv[2]
    commands = []
    i = 0
    while len(commands) < count:
        for c in block(i):
            if len(commands) < count:
                commands.append(c)
        i += 1
    with open(program, "w", encoding="utf-8") as f:
        f.write(f'{{"version": "2023.1", "partName": "Large", "revision": "A", "drawingNumber": "L-{count}",\n')
        f.write(' "commands": [\n')
        f.write(",\n".join(json.dumps(c, ensure_ascii=False) for c in commands))
        f.write("\n]}\n")
    if len(sys.argv) == 3:
        return

    rows, comment, order = [], "", ""
    for position, c in enumerate(commands):
        if c["type"] == 196:
            comment = c["comment"]["lines"][0]
        elif c["type"] == 191:
            order = c["assignment"]["value"]
        r = row(position, c, comment)
        if r:
            rows.append(r)
        # A comment belongs to the group right after it; the group's end and any command that
        # is no dimension take it away.
        if c["type"] in (1001, 1, 191) or (c["type"] not in (196, 1000) and "dimension" in c
                                          and not c["dimension"].get("isLocationAxis")):
            comment = ""
    with open(sys.argv[3], "w", encoding="utf-8") as f:
        f.write(f"header\tAuftrag\t{order}\n")
        f.write("header\tPrüfer\t\n")
        for r in rows:
            f.write("row\t" + "\t".join(repr(v) if isinstance(v, float) else str(v) for v in r) + "\n")
    print(f"{program}: {len(commands)} commands, {len(rows)} characteristics")


if __name__ == "__main__":
    main()
