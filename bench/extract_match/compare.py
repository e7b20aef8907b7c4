#!/usr/bin/env python3
"""Runs two builds of bench_extract_match in turn (old, new, old, new, ...) and
prints per benchmark the median per-call time of each and the ratio old / new,
for wall-clock and for CPU time (the steadier one on a shared machine).

  compare.py OLD_BINARY NEW_BINARY [--rounds N] [--filter REGEX] [--min-time S]
"""
import argparse
import json
import os
import statistics
import subprocess
import tempfile


def run(binary, flt, min_time):
    with tempfile.NamedTemporaryFile(suffix=".json", delete=False) as f:
        path = f.name
    try:
        subprocess.run([binary, "--benchmark_filter=" + flt, "--benchmark_min_time=%g" % min_time,
                        "--benchmark_out=" + path, "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(path) as f:
            data = json.load(f)
    finally:
        os.unlink(path)
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    # A benchmark with a "calls" counter times that many calls per iteration.
    return {b["name"]: (b["real_time"] * scale[b["time_unit"]] / b.get("calls", 1),
                        b["cpu_time"] * scale[b["time_unit"]] / b.get("calls", 1))
            for b in data["benchmarks"]}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--filter", default=".")
    ap.add_argument("--min-time", type=float, default=0.5)
    a = ap.parse_args()
    times = {"old": {}, "new": {}}
    for _ in range(a.rounds):
        for side, binary in (("old", a.old), ("new", a.new)):
            for name, t in run(binary, a.filter, a.min_time).items():
                times[side].setdefault(name, []).append(t)
    print("%-28s %10s %10s %6s   %10s %10s %6s" % ("ms per call", "old wall", "new wall", "ratio",
                                                     "old cpu", "new cpu", "ratio"))
    for name in times["old"]:
        row = []
        for kind in (0, 1):
            old = statistics.median(t[kind] for t in times["old"][name])
            new = statistics.median(t[kind] for t in times["new"].get(name, [(float("nan"),) * 2]))
            row += [old, new, old / new]
        print("%-28s %10.3f %10.3f %6.2f   %10.3f %10.3f %6.2f" % tuple([name] + row))


if __name__ == "__main__":
    main()
