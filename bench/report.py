#!/usr/bin/env python3
"""Turns one run of the benchmark suite into the table printed by scripts/bench.sh and
written to BENCHMARKS.md: timed medians (module, host share, copy limit), instructions per
row under callgrind, and the GNU Octave comparison, with the goals checked."""
import argparse
import datetime
import json
import os
import subprocess

CASES = [("attach", 1), ("quotes", 100), ("quotes", 1000), ("quotes", 10000),
         ("quotes", 100000), ("fundamentals", 100), ("fundamentals", 1000),
         ("fundamentals", 10000), ("fundamentals", 100000), ("history", 1), ("bars", 1)]
REQUEST = {"attach": 1, "quotes": 2, "history": 3, "bars": 5, "fundamentals": 6}
ROWS = {"history": 500000, "bars": 75000, "attach": 1}


def rows_of(name, n):
    return ROWS.get(name, n)


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    cores = os.cpu_count()
    try:
        cores = int(subprocess.check_output(["nproc"], text=True).strip())
    except (OSError, subprocess.CalledProcessError):
        pass
    return f"{model}, nproc {cores}"


def commit():
    try:
        head = subprocess.check_output(["git", "rev-parse", "--short", "HEAD"], text=True,
                                       stderr=subprocess.DEVNULL).strip()
        dirty = subprocess.call(["git", "diff", "--quiet", "HEAD", "--", "gateway", "requests",
                                 "bench", "host"], stderr=subprocess.DEVNULL) != 0
        return head + (" with local changes" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def timed_medians(path):
    """Median CPU time in microseconds of every benchmark, by name without the suffix."""
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
        medians[b["run_name"]] = b["cpu_time"] * scale
    return medians, data.get("context", {})


def callgrind_counts(path):
    counts = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 4 and parts[3].isdigit():
                    counts[(parts[0], int(parts[1]), int(parts[2]))] = int(parts[3])
    return counts


def octave_results(path):
    results = []
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 5:
                    results.append((parts[0], int(parts[1]), float(parts[2]), float(parts[3]),
                                    float(parts[4])))
    return results


def isolation_results(path):
    """{(platform, mode, case): (rows, median us)} of bench/isolation.sh."""
    results = {}
    if path and os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 6:
                    results[(parts[0], parts[1], parts[2])] = (int(parts[3]), float(parts[4]))
    return results


def plain_results(path):
    """{case: (rows, median us)} of lines "CASE ROWS MEDIAN MIN"."""
    results = {}
    if path and os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 4:
                    results[parts[0]] = (int(parts[1]), float(parts[2]))
    return results


ISOLATION_CASES = [("quote1", "quote, 1 security"), ("quotes", "quotes, 10,000"),
                   ("fundamentals", "fundamentals, 10,000"), ("history", "history, 500,000 rows"),
                   ("bars", "bars, 75,000 rows")]
# Helper/in-process at most (the one-security quote: the overhead in microseconds, Linux).
ISOLATION_GOALS = {"quotes": 1.5, "fundamentals": 1.5, "history": 1.3, "bars": 1.3}
QUOTE1_OVERHEAD_GOAL_US = 30.0
PYTHON_GOALS = {"history": 1.2, "quotes": 1.5}


def fmt(value, digits=1):
    if value is None:
        return "-"
    if abs(value) >= 100:
        return f"{value:,.0f}"
    return f"{value:.{digits}f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--timed", required=True)
    parser.add_argument("--callgrind", required=True)
    parser.add_argument("--octave", required=True)
    parser.add_argument("--before-timed")
    parser.add_argument("--before-callgrind")
    parser.add_argument("--before-octave")
    parser.add_argument("--before-commit")
    parser.add_argument("--isolation")
    parser.add_argument("--python")
    parser.add_argument("--python-module")
    parser.add_argument("--notes")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    medians, context = timed_medians(args.timed)
    out = []
    out.append("# Benchmarks")
    out.append("")
    out.append("Written by `scripts/bench.sh` from one run; every figure below comes from that "
               "run.")
    out.append("")
    out.append(f"- Machine: {machine()} (shared with other builds; figures are medians of "
               f"repetitions, ratios are taken within the run)")
    out.append(f"- Commit: {commit()}; Release build; "
               f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC")
    out.append("- Module: the real `mexFunction` through the stand-in host (`mxhost::call`), "
               "its feed calls answered by the in-memory feed (`bench/memory_feed.cpp`: "
               "prebuilt records, one `memcpy` per keyed or block read, history blocks "
               "handed to the callback one per wait).")
    out.append("- Host: an entry point that creates the same arrays, strings and structure "
               "through the same host, with no feed call and no decoding; strings: only the "
               "cells and their `mxCreateString` + `mxSetCell`. Own = module - host.")
    out.append("- Limit: `memcpy` of the record bytes the feed hands over (260-byte records, "
               "144-byte history blocks, 256-byte bar blocks) and `memcpy` of the output "
               "doubles into storage of the result's size.")
    out.append("")
    out.append("## Timed (CPU time, median)")
    out.append("")
    out.append("| case | rows | module us | host us | strings us | limit us | module/limit "
               "| (module-strings)/limit | own/limit | module ns/row | own ns/row |")
    out.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    summary = {}
    for name, n in CASES:
        module = medians.get(f"{name}/module/{n}")
        host = medians.get(f"{name}/host/{n}")
        strings = medians.get(f"{name}/strings/{n}")
        limit = medians.get(f"{name}/limit/{n}")
        if module is None or limit is None:
            continue
        rows = rows_of(name, n)
        own = module - host if host is not None else None
        minus_strings = module - strings if strings is not None else None
        summary[(name, n)] = dict(module=module, host=host, strings=strings, limit=limit,
                                  own=own, minus_strings=minus_strings, rows=rows)
        out.append(
            f"| {name} N={n:,} | {rows:,} | {fmt(module)} | {fmt(host)} | {fmt(strings)} | "
            f"{fmt(limit, 2)} | {fmt(module / limit)} | "
            f"{fmt(minus_strings / limit) if minus_strings is not None else '-'} | "
            f"{fmt(own / limit) if own is not None else '-'} | "
            f"{fmt(module * 1e3 / rows)} | {fmt(own * 1e3 / rows) if own is not None else '-'} |")
    out.append("")

    counts = callgrind_counts(args.callgrind)
    if counts:
        out.append("## Instructions per row (callgrind, one call)")
        out.append("")
        out.append("| case | rows | module | host | own (module - host) | limit |")
        out.append("|---|---:|---:|---:|---:|---:|")
        seen = []
        for what, request, n in counts:
            if (request, n) not in seen:
                seen.append((request, n))
        for request, n in seen:
            name = next(k for k, v in REQUEST.items() if v == request)
            rows = rows_of(name, n)
            module = counts.get(("module", request, n), 0)
            host = counts.get(("host", request, n), 0)
            limit = counts.get(("limit", request, n), 0)
            out.append(f"| {name} N={n:,} | {rows:,} | {fmt(module / rows)} | "
                       f"{fmt(host / rows)} | {fmt((module - host) / rows)} | "
                       f"{fmt(limit / rows)} |")
        out.append("")

    octave = octave_results(args.octave)
    if octave:
        out.append("## GNU Octave: the module against an Octave decoder of the same records")
        out.append("")
        out.append("`quorvex.mex` answering from the in-memory feed built as `libPCQW32.so`, "
                   "against `bench/octave/decode_*.m` (vectorised `typecast` over uint8 "
                   "buffers) on the same records; both results are checked equal before "
                   "timing. Host share: `host_only.mex` creating the same arrays and strings "
                   "in Octave with no feed and no decoding. Medians of `tic`/`toc`.")
        out.append("")
        out.append("| case | rows | module ms | Octave host share ms | decoder ms | "
                   "decoder/module | decoder/(module - host share) |")
        out.append("|---|---:|---:|---:|---:|---:|---:|")
        for name, rows, tm, td, th in octave:
            own = tm - th
            out.append(f"| {name} | {rows:,} | {fmt(tm * 1e3, 2)} | {fmt(th * 1e3, 2)} | "
                       f"{fmt(td * 1e3, 2)} | {fmt(td / tm)} | "
                       f"{fmt(td / own) if own > 0 else 'host share >= module'} |")
        out.append("")

    before = None
    if args.before_timed and os.path.exists(args.before_timed):
        before = dict(medians=timed_medians(args.before_timed)[0],
                      counts=callgrind_counts(args.before_callgrind or ""),
                      octave={r[0]: r for r in octave_results(args.before_octave or "")})
        out.append(f"## Before and after: {args.before_commit or 'earlier revision'} against "
                   f"{commit()}")
        out.append("")
        out.append("Both revisions built and run by this one `scripts/bench.sh` run on this "
                   "machine, the earlier one first.")
        out.append("")
        out.append("| case | module us before | after | module/limit before | after | "
                   "instructions/row before | after | own instructions/row before | after |")
        out.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for name, n in CASES:
            bm = before["medians"].get(f"{name}/module/{n}")
            bl = before["medians"].get(f"{name}/limit/{n}")
            s_after = summary.get((name, n))
            if bm is None or s_after is None:
                continue
            rows = rows_of(name, n)
            request = REQUEST[name]
            cells = ["-"] * 4
            key = ("module", request, n)
            if key in before["counts"] and key in counts:
                bh = before["counts"].get(("host", request, n), 0)
                ah = counts.get(("host", request, n), 0)
                cells = [fmt(before["counts"][key] / rows), fmt(counts[key] / rows),
                         fmt((before["counts"][key] - bh) / rows), fmt((counts[key] - ah) / rows)]
            out.append(f"| {name} N={n:,} | {fmt(bm)} | {fmt(s_after['module'])} | "
                       f"{fmt(bm / bl)} | {fmt(s_after['module'] / s_after['limit'])} | "
                       + " | ".join(cells) + " |")
        out.append("")
        if octave and before["octave"]:
            out.append("| Octave case | module ms before | after | after/before |")
            out.append("|---|---:|---:|---:|")
            for name, rows, tm, td, th in octave:
                b_row = before["octave"].get(name)
                if b_row:
                    out.append(f"| {name} | {fmt(b_row[2] * 1e3, 2)} | {fmt(tm * 1e3, 2)} | "
                               f"{tm / b_row[2]:.2f} |")
            out.append("")

    isolation = isolation_results(args.isolation)
    goals = []
    if isolation:
        out.append("## The feed helper against the module's own process")
        out.append("")
        out.append("`quorvex-bench-isolation` (`bench/isolation.cpp`) loads the module by path as "
                   "the host does and calls it through the stand-in host; the feed library is "
                   "the in-memory feed built as `PCQW32`, found as the vendor's would be. Wall "
                   "time per call, medians; `bench/isolation.sh` alternates the modes, three "
                   "rounds each, and takes the median of the rounds. Under Wine the base is the "
                   "32-bit module in its own process; the 64-bit module reaches the same 32-bit "
                   "feed through the 32-bit helper.")
        out.append("")
        for platform, title in (("linux", "Linux"), ("wine32", "Wine")):
            base = {c: isolation.get((platform, "inprocess", c)) for c, _ in ISOLATION_CASES}
            if not any(base.values()):
                continue
            if platform == "linux":
                out.append(f"{title}:")
                out.append("")
                out.append("| case | in-process us | through the helper us | helper/in-process "
                           "| overhead us |")
                out.append("|---|---:|---:|---:|---:|")
            else:
                out.append(f"{title} (the 32-bit module in its own process as the base):")
                out.append("")
                out.append("| case | 32-bit in-process us | 32-bit through the helper | ratio | "
                           "64-bit through the 32-bit helper | ratio |")
                out.append("|---|---:|---:|---:|---:|---:|")
            for case, label in ISOLATION_CASES:
                b = base.get(case)
                h = isolation.get((platform, "helper", case))
                if not b or not h:
                    continue
                ratio = h[1] / b[1]
                if platform == "linux":
                    out.append(f"| {label} | {fmt(b[1])} | {fmt(h[1])} | {ratio:.2f} | "
                               f"{fmt(h[1] - b[1])} |")
                    if case == "quote1":
                        overhead = h[1] - b[1]
                        goals.append(f"- helper, one-security quote: overhead at most "
                                     f"{QUOTE1_OVERHEAD_GOAL_US:.0f} us per call: "
                                     f"{'met' if overhead <= QUOTE1_OVERHEAD_GOAL_US else 'not met'}"
                                     f" ({overhead:.1f} us)")
                    elif case in ISOLATION_GOALS:
                        goal = ISOLATION_GOALS[case]
                        goals.append(f"- helper, {case}: helper/in-process at most {goal}: "
                                     f"{'met' if ratio <= goal else 'not met'} ({ratio:.2f})")
                else:
                    w64 = isolation.get(("wine64", "helper", case))
                    out.append(f"| {label} | {fmt(b[1])} | {fmt(h[1])} | {ratio:.2f} | "
                               f"{fmt(w64[1]) if w64 else '-'} | "
                               f"{(w64[1] / b[1]) if w64 else 0:.2f} |")
            out.append("")

    python = plain_results(args.python)
    python_module = plain_results(args.python_module)
    if python and python_module:
        out.append("## Python against the module")
        out.append("")
        out.append("`bench/python_bench.py` with Debian's interpreter: the package's functions on "
                   "the same in-memory feed, in-process, as the frame a user gets and as "
                   "`output=\"arrays\"` (NumPy columns, no pandas), against the module through "
                   "the stand-in host timed in the same rounds. Wall time per call, medians.")
        out.append("")
        out.append("| case | module us | Python us | Python/module |")
        out.append("|---|---:|---:|---:|")
        for case in ("history.arrays", "history.frame", "quotes.arrays", "quotes.frame"):
            request = case.split(".")[0]
            p, m = python.get(case), python_module.get(request)
            if not p or not m:
                continue
            ratio = p[1] / m[1]
            out.append(f"| {request} {p[0]:,} rows, {case.split('.')[1]} | {fmt(m[1])} | "
                       f"{fmt(p[1])} | {ratio:.2f} |")
            goal = PYTHON_GOALS[request]
            goals.append(f"- Python, {case}: Python/module at most {goal}: "
                         f"{'met' if ratio <= goal else 'not met'} ({ratio:.2f})")
        out.append("")

    out.append("## Goals")
    out.append("")
    out.extend(goals)
    if args.before_callgrind and os.path.exists(args.before_callgrind):
        before_counts = callgrind_counts(args.before_callgrind)
        grown = []
        for key, after in sorted(counts.items()):
            if key[0] == "module" and key in before_counts and before_counts[key]:
                growth = after / before_counts[key] - 1
                name = {code: case for case, code in REQUEST.items()}[key[1]]
                grown.append(f"{name} {growth * 100:+.1f}%")
                if growth > 0.05:
                    grown[-1] += " (more than 5 %)"
        if grown:
            worst = max(counts[k] / before_counts[k] for k in counts
                        if k[0] == "module" and k in before_counts and before_counts[k])
            out.append(f"- instructions per row of the module at most 5 % above before: "
                       f"{'met' if worst <= 1.05 else 'not met'} ({', '.join(grown)})")
    own = {n: summary.get(("quotes", n)) for n in (100, 100000)}
    if own[100] and own[100000]:
        per_row = {n: (own[n]["module"] - own[n]["host"]) * 1e3 / n for n in own}
        out.append(f"- quotes, the module's own cost per row from 100 to 100,000 securities: "
                   f"{per_row[100]:.0f} and {per_row[100000]:.0f} ns "
                   f"({per_row[100000] / per_row[100]:.2f} times)")
    for name, goal in (("history", 1.6), ("bars", 2.0)):
        s_goal = summary.get((name, 1))
        if s_goal:
            ratio = s_goal["module"] / s_goal["limit"]
            out.append(f"- {name}: module/limit at most {goal}: "
                       f"{'met' if ratio <= goal else 'not met'} ({ratio:.2f})")
    for name, request in (("quotes", 2), ("fundamentals", 6)):
        module = counts.get(("module", request, 10000))
        host = counts.get(("host", request, 10000))
        if module is not None and host is not None:
            own = (module - host) / 10000
            out.append(f"- {name}: own instructions per row at most 600: "
                       f"{'met' if own <= 600 else 'not met'} ({own:.0f})")
    if octave and before and before["octave"]:
        slower = [r[0] for r in octave
                  if r[0] in before["octave"] and r[2] > before["octave"][r[0]][2]]
        out.append(f"- Octave, no case slower than before: "
                   f"{'met' if not slower else 'not met for ' + ', '.join(slower)}")
    out.append("")

    if args.notes and os.path.exists(args.notes):
        with open(args.notes) as f:
            out.append(f.read().rstrip())
            out.append("")

    text = "\n".join(out)
    print(text)
    with open(args.out, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
