#!/usr/bin/env python3
"""Writes Large_10000.PRG: a part program of exactly 10,000 commands for the benchmarks.

The commands are the first 10,000 of bench/make_program.py: a report comment, a three-axis
location, a flatness, an assignment and a move, again and again, with values in full double
precision as a real host sends them. Deterministic: the same file every run.
"""
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
subprocess.run([sys.executable, os.path.join(here, "..", "bench", "make_program.py"), "10000",
                os.path.join(here, "Large_10000.PRG")], check=True)
