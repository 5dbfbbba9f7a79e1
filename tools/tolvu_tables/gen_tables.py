#!/usr/bin/env python3
"""Generate the model variable tables of the Tolvu library from their checked text form.

Input: model/tables/<model>.vars (one line per variable, see the comments at the top of each file).
Output, per model:
  model/tables/<model>_records.inc  the 12-byte name records, one string literal per store element
  model/tables/<model>_names.cpp  the name table made of them
  model/tables/<model>_index.h    1-based store indices as constants, one per named record

Checks made before anything is written: variables follow each other without gap or overlap, the
last one ends at the model's variable count, the records per type letter match the 'expect'
lines, and every 'check NAME INDEX' line holds. Run from the repository root:
    python3 tools/tolvu_tables/gen_tables.py car1 car2 carr
"""
import os
import sys

B25 = "abcdefghijklmnopqrstuvwxy"


def base25(v):
    digits = []
    while True:
        digits.append(v % 25)
        v //= 25
        if v == 0:
            return digits


def encode_shape(rows, cols, special):
    """Shape characters of an array's records (first record included)."""
    n = rows * cols
    if special == "-":
        assert rows == 2 and cols == 1
        return ["-", "."]
    if rows == 1 and cols == 2:
        return ["+", "."]
    if rows == 2 and cols == 1:
        return ["-", "."]
    dr, dc = base25(rows), base25(cols)
    npairs = max(len(dr), len(dc))
    dr += [0] * (npairs - len(dr))
    dc += [0] * (npairs - len(dc))
    chars = [str(npairs)]
    for k in range(npairs):
        chars += [B25[dr[k]], B25[dc[k]]]
    if len(chars) > n:
        raise ValueError(f"array {rows}x{cols} too small for its dimension records")
    chars += ["."] * (n - len(chars))
    return chars


def text_records(items, nrec):
    """Name fields of a text variable's records 2..nrec: header, then the '$'-ended items."""
    text = "".join(i + "$" for i in items)
    header = f"{len(items):3d}{len(text):3d}    "
    body = [text[i:i + 10] for i in range(0, len(text), 10)]
    if 1 + len(body) > nrec - 1:
        raise ValueError("list text does not fit its variable")
    return [header] + body


def parse(path):
    model = None
    nvars = 0
    expects = {}
    checks = []
    variables = []  # dicts
    for lineno, raw in enumerate(open(path), 1):
        line = raw.rstrip("\n")
        s = line.strip()
        if not s or s.startswith("#"):
            continue
        f = s.split()
        try:
            if f[0] == "model":
                model, nvars = f[1], int(f[2])
            elif f[0] == "expect":
                expects[f[1]] = int(f[2])
            elif f[0] == "check":
                checks.append((f[1], int(f[2]), lineno))
            elif f[0] == "text":
                variables[-1]["text"] = f[1:]
            elif f[0].startswith("+"):
                k = int(f[0][1:])
                variables[-1]["elems"][k] = (None if f[1] == "-" else f[1], f[2])
            else:
                idx, name, dims, typ = int(f[0]), f[1], f[2], f[3]
                rows, cols = (int(x) for x in dims.split("x")) if "x" in dims else (int(dims), 1)
                special = None
                for opt in f[4:]:
                    if opt == "shape=-":
                        special = "-"
                variables.append(dict(idx=idx, name=None if name == "-" else name, rows=rows, cols=cols,
                                      typ=typ, special=special, elems={}, text=None, lineno=lineno))
        except (IndexError, ValueError) as e:
            sys.exit(f"{path}:{lineno}: cannot read line: {e}")
    return model, nvars, expects, checks, variables


def build(path):
    model, nvars, expects, checks, variables = parse(path)
    records = []
    index = {}  # name -> first index (a later record of the same name wins, as in the lookup)
    order = []
    for v in variables:
        where = f"{path}:{v['lineno']}"
        if v["idx"] != len(records) + 1:
            sys.exit(f"{where}: variable {v['name']} starts at {v['idx']}, expected {len(records) + 1}")
        n = v["rows"] * v["cols"]
        shapes = [" "] if n == 1 else encode_shape(v["rows"], v["cols"], v["special"])
        if n == 1 and v["special"] == "-":
            sys.exit(f"{where}: shape '-' needs two elements")
        names = [v["name"] or ""] + [""] * (n - 1)
        types = [v["typ"]] * n
        for k, (ename, etyp) in v["elems"].items():
            if not 1 <= k <= n:
                sys.exit(f"{where}: element {k} outside {v['name']}")
            if ename:
                names[k - 1] = ename
            types[k - 1] = etyp
        if v["text"] is not None:
            for k, t in enumerate(text_records(v["text"], n), start=2):
                names[k - 1] = t
        for k in range(n):
            nm = names[k]
            if len(nm) > 10:
                sys.exit(f"{where}: name field '{nm}' longer than 10 characters")
            t = " " if types[k] == "_" else types[k]
            records.append(nm.ljust(10) + shapes[k] + t)
            if nm and not (v["text"] is not None and k >= 1):
                if nm not in index:
                    order.append(nm)
                index[nm] = v["idx"] + k
    if len(records) != nvars:
        sys.exit(f"{path}: {len(records)} records, expected {nvars}")
    counts = {}
    for r in records:
        t = "_" if r[11] == " " else r[11]
        counts[t] = counts.get(t, 0) + 1
    for t, want in expects.items():
        if counts.get(t, 0) != want:
            sys.exit(f"{path}: type letter {t}: {counts.get(t, 0)} records, expected {want}")
    for name, want, lineno in checks:
        if index.get(name) != want:
            sys.exit(f"{path}:{lineno}: {name} is at {index.get(name)}, expected {want}")
    return model, records, index, order


def cpp_ident(name):
    return all(c.isalnum() or c == "_" for c in name) and not name[0].isdigit()


def write(stem, model, records, index, order, outdir):
    sym = "".join(p.capitalize() for p in stem.split("_"))
    inc = [f"// Generated by tools/tolvu_tables/gen_tables.py from model/tables/{stem}.vars. Do not edit.",
           f"// The name records of model \"{model}\" as an array initializer: record k (1-based) describes",
           "// store element k. Each record: 10 characters of name, the shape character, the type letter.",
           "// Included by the name table and by code that resolves store offsets at compile time."]
    for k, r in enumerate(records, 1):
        esc = r.replace("\\", "\\\\").replace('"', '\\"')
        inc.append(f'/* {k:4d} */ "{esc}",')
    inc.append("")
    open(os.path.join(outdir, f"{stem}_records.inc"), "w").write("\n".join(inc))
    cpp = [f"// Generated by tools/tolvu_tables/gen_tables.py from model/tables/{stem}.vars. Do not edit.",
           f"// The name records of model \"{model}\": record k (1-based) describes store element k.",
           "// Each record: 10 characters of name, the shape character, the type letter.",
           '#include "model/tables/name_records.h"', "",
           f"const char k{sym}NameRecords[][13] = {{",
           f'#include "model/tables/{stem}_records.inc"',
           "};", f"const int k{sym}NameRecordCount = {len(records)};", ""]
    open(os.path.join(outdir, f"{stem}_names.cpp"), "w").write("\n".join(cpp))
    hdr = [f"// Generated by tools/tolvu_tables/gen_tables.py from model/tables/{stem}.vars. Do not edit.",
           f"// 1-based store indices of the named records of model \"{model}\" (element k of the store is",
           "// store[k - 1]). An array's constant is its first element; element (i, j) of an array with r rows",
           "// is at index + (j - 1) * r + (i - 1).",
           "#pragma once", "", f"namespace {stem} {{", ""]
    for nm in order:
        if cpp_ident(nm):
            hdr.append(f"inline constexpr int {nm} = {index[nm]};")
    hdr += ["", f"inline constexpr int NUM_VARIABLES = {len(records)};", "", f"}}  // namespace {stem}", ""]
    open(os.path.join(outdir, f"{stem}_index.h"), "w").write("\n".join(hdr))


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    outdir = os.path.join(root, "model", "tables")
    for stem in sys.argv[1:] or ["car1", "car2", "carr"]:
        model, records, index, order = build(os.path.join(outdir, f"{stem}.vars"))
        write(stem, model, records, index, order, outdir)
        print(f"{stem}: {len(records)} records")


if __name__ == "__main__":
    main()
