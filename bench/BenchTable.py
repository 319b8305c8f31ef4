#!/usr/bin/env python3
"""Pairs each measure with its references from Google Benchmark JSON files.

A benchmark named "unit.measure" (plus any "/arg" parts) is a measure;
"unit.measure@who" is a reference for it, run in the same process. A
reference with arguments pairs with the measure of the same arguments, one
without arguments pairs with every variant of its measure, and the other way
round. Prints one row per pair: measure, reference, both times, ratio, and
the ratio of the "bytes" counters (file sizes) where both runs have one.
"""
import json
import re
import sys

# Parts Google Benchmark appends for fixed run settings, not arguments.
SETTING = re.compile(r"^(iterations|min_time|repeats|real_time|manual_time|threads):?")

TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def split(name):
    parts = name.split("/")
    args = tuple(p for p in parts[1:] if not SETTING.match(p))
    base, _, who = parts[0].partition("@")
    return base, who, args


def load(files):
    runs = []
    for f in files:
        with open(f) as fh:
            text = fh.read()
        # A program none of whose benchmarks match the filter writes nothing.
        if not text.strip():
            continue
        data = json.loads(text)
        for b in data.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration":
                continue
            base, who, args = split(b["name"])
            ms = None if b.get("error_occurred") else b["real_time"] * TO_MS[b.get("time_unit", "ns")]
            runs.append({"base": base, "who": who, "args": args, "ms": ms,
                         "error": b.get("error_message", ""), "bytes": b.get("bytes")})
    return runs


def pairs(runs):
    measures = [r for r in runs if not r["who"]]
    refs = [r for r in runs if r["who"]]
    for m in measures:
        mine = [r for r in refs if r["base"] == m["base"] and
                (not r["args"] or not m["args"] or r["args"] == m["args"])]
        if not mine:
            yield m, None
        for r in mine:
            yield m, r


def label(run):
    return "/".join((run["base"],) + run["args"])


def fmt(ms):
    return "-" if ms is None else f"{ms:.2f}"


def main(files):
    rows = []
    for m, r in pairs(load(files)):
        if r is None:
            rows.append((label(m), "(none)", fmt(m["ms"]), "-", "-", "-"))
            continue
        ratio = "-"
        if m["ms"] is not None and r["ms"]:
            ratio = f"{m['ms'] / r['ms']:.2f}"
        ref = r["who"] + ("/" + "/".join(r["args"]) if r["args"] and not m["args"] else "")
        if r["ms"] is None:
            ref += " (" + (r["error"] or "failed") + ")"
        size = f"{m['bytes'] / r['bytes']:.3f}" if m["bytes"] and r["bytes"] else "-"
        rows.append((label(m), ref, fmt(m["ms"]), fmt(r["ms"]), ratio, size))
    head = ("measure", "reference", "ms", "ref ms", "ratio", "size")
    widths = [max(len(x[i]) for x in rows + [head]) for i in range(len(head))]
    line = lambda row: "  ".join(c.ljust(w) if i < 2 else c.rjust(w) for i, (c, w) in enumerate(zip(row, widths)))
    print(line(head))
    print("  ".join("-" * w for w in widths))
    for row in rows:
        print(line(row))
    missing = [r for r in rows if r[1] == "(none)"]
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
