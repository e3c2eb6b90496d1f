#!/usr/bin/python3
"""Fails when a function defined in src/ is reached neither by the program nor by the simulator.

Both are linked again from every object of their layers with the linker's garbage collection;
their map files list the sections it discarded. A function defined out of line whose section the
program's link discarded, and that the simulator's link did not keep, is called by no path of
either program. Without link-time optimisation a call from another file keeps the section, so a
discarded function still used was inlined into its own file: it is used when its file calls it.

usage: check_unreached.py SRC EXCEPTIONS PROGRAM.map SIM.map LAYER.a...
"""
import re
import subprocess
import sys

src, exceptions, program_map, sim_map, *archives = sys.argv[1:]


def sections(path):
    """{symbol: object} of the discarded and of the kept .text.<symbol> input sections."""
    discarded, kept, part, pending = {}, {}, None, None
    for line in open(path, encoding="utf-8", errors="replace"):
        if line.startswith("Discarded input sections"):
            part = discarded
        elif line.startswith("Linker script and memory map"):
            part = kept
        elif part is not None:
            fields = line.split()
            if pending and fields and fields[0].startswith("0x"):
                part[pending] = fields[-1]
                pending = None
            elif fields and fields[0].startswith(".text."):
                name = fields[0][len(".text."):]
                if len(fields) >= 4:
                    part[name] = fields[-1]
                else:
                    pending = name
    return discarded, kept


ours = set()
for line in subprocess.run(["nm", "--defined-only", *archives], capture_output=True, text=True).stdout.splitlines():
    fields = line.split()
    if len(fields) == 3 and fields[1] == "T":  # inline functions and templates are weak
        ours.add(fields[2])

discarded, _ = sections(program_map)
_, sim_kept = sections(sim_map)
candidates = sorted(s for s in discarded if s in ours and s not in sim_kept)
names = subprocess.run(["c++filt"], input="\n".join(candidates), capture_output=True, text=True).stdout.split("\n")


def called_in_own_file(demangled, obj):
    match = re.search(r"\.dir/(.+)\.o$", obj)
    if not match:
        return False
    simple = re.sub(r"\(.*", "", demangled).split("::")[-1]
    try:
        text = open(f"{src}/{match.group(1)}", encoding="utf-8", errors="replace").read()
    except OSError:
        return False
    return len(re.findall(r"\b" + re.escape(simple) + r"\s*\(", text)) > 1


allowed = []
for line in open(exceptions, encoding="utf-8"):
    line = line.split("#", 1)[0].strip()
    if line:
        allowed.append(line)

dead = [name for symbol, name in zip(candidates, names)
        if not called_in_own_file(name, discarded[symbol]) and not any(name.startswith(a) for a in allowed)]
if dead:
    print("defined in src/, called by no program, only by tests (or by nobody):")
    for name in dead:
        print("  " + name)
    sys.exit(1)
print(f"every function of src/ is reached by the program or the simulator ({len(ours)} checked)")
