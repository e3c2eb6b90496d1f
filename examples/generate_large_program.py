#!/usr/bin/env python3
"""Writes Large_10000.PRG: a part program of exactly 10,000 commands for the benchmarks.

Repeats a realistic block (a report comment, a three-axis location, a true position, single
dimensions, an assignment and moves) with varying values. Deterministic: the same file every run.
"""
import json
import os

commands = []


def add(c):
    if len(commands) < 10000:
        commands.append(c)


i = 0
while len(commands) < 10000:
    n = f"{i:04d}"
    add({"type": 196, "id": f"C{n}", "comment": {"commentType": 1, "text": "",
         "lines": [f"Messung Bohrung {n}", "Prüfmerkmal laut Zeichnung"]}})
    add({"type": 1000, "id": f"LOC{n}", "dimension": {"name": f"LOC{n}", "feature1": f"CIR{n}",
         "outputMode": 2, "units": 1}})
    for k, (code, label) in enumerate(((1002, "X"), (1003, "Y"), (1005, "D"))):
        meas = 10.0 + k + ((i * 7 + k * 3) % 21 - 10) / 1000.0
        nom = 10.0 + k
        out = round(max(0.0, abs(meas - nom) - 0.009), 5)
        add({"type": code, "id": f"LOC{n}", "marked": i % 3 != 0, "dimension": {
            "axisLabel": label, "isLocationAxis": True, "nominal": nom, "plusTol": 0.009, "minusTol": 0.009,
            "measured": round(meas, 5), "deviation": round(meas - nom, 5), "outTol": out,
            "min": round(meas - 0.001, 5), "max": round(meas + 0.001, 5)}})
    add({"type": 1001, "id": f"LOC{n}"})
    add({"type": 1102, "id": f"FL{n}", "marked": True, "dimension": {
        "name": f"FL{n}", "feature1": f"PLN{n}", "plusTol": 0.05, "measured": (i % 50) / 1000.0,
        "deviation": (i % 50) / 1000.0, "outputMode": 1, "units": 1}})
    add({"type": 191, "id": f"A{n}", "assignment": {"name": "Auftrag", "value": str(4700 + i)}})
    add({"type": 1, "id": f"MOVE{n}"})
    i += 1

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Large_10000.PRG")
with open(out, "w", encoding="utf-8") as f:
    f.write('{"version": "2023.1", "partName": "Large", "revision": "A", "drawingNumber": "L-10000",\n')
    f.write(' "commands": [\n')
    f.write(",\n".join(json.dumps(c, ensure_ascii=False) for c in commands))
    f.write("\n]}\n")
print(out, len(commands))
