#!/usr/bin/env python3
"""Rewrites the figures in README.md from one run of the benchmark and of the test command.

    ./build/bin/veldtra-bench > bench.txt
    ( time ./scripts/test.sh ) > test.log 2>&1
    scripts/update_figures.py --bench bench.txt --tests test.log --minutes 14

The speed tables come from the benchmark's "name: value" lines, the reliability table from the
figures the test command prints at its end (session, stress and fuzz figures). Each table is
written between its two marker comments in README.md and names the command and the date it
comes from, so no figure is typed by hand. Either input may be left out: its table stays as it is.
"""
import argparse
import datetime
import os
import re
import sys

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "README.md")
SPEED = ("<!-- speed figures: written by scripts/update_figures.py -->", "<!-- end of speed figures -->")
RELIABILITY = ("<!-- reliability figures: written by scripts/update_figures.py -->",
               "<!-- end of reliability figures -->")


def fail(message):
    sys.exit(f"update_figures: {message}")


def read_bench(path):
    figures = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            match = re.fullmatch(r"([a-z0-9_]+): (-?[0-9.]+)\s*", line)
            if match:
                figures[match.group(1)] = float(match.group(2))
    return figures


def duration(ms):
    return f"{ms / 1000:.2f} s" if ms >= 1000 else f"{ms:.0f} ms"


def speed_block(b, date):
    def need(name):
        if name not in b:
            fail(f"the benchmark output has no {name}")
        return b[name]

    threads = int(need("render_threads"))
    rows = [
        ("`render_vs_kernel`", "Render of the default window at 1280 × 960 (MaxIt 259) on every "
         "processor, divided by a bare loop calling the same `Mandelbrot` over the same grid on one",
         "≤ 1.10", f"{need('render_vs_kernel'):.2f}"),
        ("`parallel_efficiency`", "`kernel_1600x1200_1000_ms` / (`render_1600x1200_1000_ms` × "
         "`render_threads`): how much of every processor a render of the default window at "
         "1600 × 1200, MaxIt 1000, puts to use", "≥ 0.85",
         f"{need('parallel_efficiency'):.2f} ({duration(need('render_1600x1200_1000_ms'))} "
         f"against {duration(need('kernel_1600x1200_1000_ms'))} on one thread, "
         f"{threads} threads)"),
        ("`render_default_ms`, `kernel_default_ms`", "the render and the bare loop at the default "
         "320 × 240", "small fixed costs",
         f"{need('render_default_ms'):.1f} ms, {need('kernel_default_ms'):.1f} ms"),
        ("`kernel_speedup`", "the plain escape-time loop divided by the shipped kernel (640 × 480, "
         "MaxIt 5000), every result checked identical", "≥ 6", f"{need('kernel_speedup'):.1f}"),
        ("`redraw_vs_memcpy`", "Redraw after a 4000 × 3000 render, divided by one `memcpy` of its "
         "48 MB of pixels", "≤ 10",
         f"{need('redraw_vs_memcpy'):.1f} ({need('redraw_4000x3000_ms'):.1f} ms)"),
        ("`render_4000x3000_s`", "a 4000 × 3000 render, MaxIt 259", "",
         f"{need('render_4000x3000_s'):.2f} s"),
        ("`peak_rss_mb_4000x3000`", "peak resident memory of that render",
         "≤ grid + 3 pictures + 100 MB = 256 MB", f"{need('peak_rss_mb_4000x3000'):.0f} MB"),
    ]
    out = [SPEED[0], "",
           f"Measured with `./build/bin/veldtra-bench` on {date}, on {threads} processors:", "",
           "| figure | what it measures | goal | measured |", "|---|---|---|---|"]
    out += [f"| {a} | {b_} | {c} | {d} |" for a, b_, c, d in rows]
    sizes = ["320x240", "640x480", "1280x960", "2000x1500", "4000x3000"]
    iterations = ["259", "1000", "2500", "5000"]
    out += ["", "How a render grows (default window):", "",
            "| image size (MaxIt 259) | " + " | ".join(s.replace("x", " × ") for s in sizes) + " |",
            "|---" * (len(sizes) + 1) + "|",
            "| Render | " + " | ".join(duration(need(f"render_size_{s}_ms")) for s in sizes) + " |",
            "",
            "| MaxIt (640 × 480) | " + " | ".join(iterations) + " |",
            "|---" * (len(iterations) + 1) + "|",
            "| Render | " + " | ".join(duration(need(f"render_maxit_{m}_640x480_ms")) for m in iterations) + " |",
            "", SPEED[1]]
    return out


def millions(count):
    return f"{int(count) / 1e6:.1f} million inputs"


def read_tests(path):
    with open(path, encoding="utf-8", errors="replace") as log:
        text = log.read()
    figures = {}
    sessions = re.findall(r"session figures: (\d+) sessions, (\d+) steps, (\d+) reported errors", text)
    stress = re.search(r"stress figures: (\d+) render-and-redraw cycles, .*?\(([+-][0-9.]+)%\), "
                       r"heap in use ([+-]?\d+) bytes", text)
    if not sessions or not stress:
        fail("the test log has no session or stress figures: give the output of ./scripts/test.sh")
    figures["sessions"] = sessions[0]
    figures["session_builds"] = len(sessions)
    figures["stress"] = stress.groups()
    for name in ("text_to_number", "number_to_text", "kernel"):
        match = re.search(rf"^\s*{name}: (\d+) inputs tried", text, re.MULTILINE)
        if not match:
            fail(f"the test log has no figures of the fuzz target {name}")
        figures[name] = match.group(1)
    return figures


def reliability_block(t, date, minutes):
    sessions, steps, errors = (int(v) for v in t["sessions"])
    cycles, resident, heap = t["stress"]
    builds = "in each of the two builds" if t["session_builds"] > 1 else "in the regular build"
    took = f"; the whole command took about {minutes} minutes" if minutes else ""
    rows = [
        ("Fuzzed text to number (six locales: C, en_US, de_DE, sv_SE, ar_EG, fr_FR)",
         millions(t["text_to_number"]),
         "no crash; every result a finite number or a type-mismatch or overflow error"),
        ("Fuzzed number to text and back (any bit pattern of a double)", millions(t["number_to_text"]),
         "the text reads back as the number rounded to 15 digits, and writes again as the same text"),
        ("Fuzzed kernel argument blocks (88 bytes), against a plain escape-time loop",
         millions(t["kernel"]),
         "identical byte every time; no crash. MaxIt is kept to 65,536 passes unless the point "
         "escapes sooner, since a point that never escapes runs MaxIt passes by definition"),
        ("Random sessions on the real window (clicks, drags, slider, saves, field texts from "
         "numbers, garbage, huge and negative values, the other locale's separators, blanks), C and "
         "German locales", f"{sessions:,} sessions, {steps:,} steps, {builds}",
         f"every step as expected, {errors:,} run-time errors reported, each of the kind its "
         "command raises; each session's final render right to the pixel"),
        ("Render-and-redraw cycles", f"{int(cycles):,}",
         f"the same pictures throughout, the last grid right to the point; resident memory "
         f"{float(resident):+.1f}% after the first 100 (limit 5%), heap in use {int(heap):+,} bytes "
         "(limit 64 KB)"),
        ("Faults injected", "12 kinds", "each a clear run-time error; the window goes on; no file damaged"),
        ("Sanitizer reports (AddressSanitizer, UndefinedBehaviorSanitizer, LeakSanitizer, on the "
         "whole suite, the real-display programs included, and on the fuzzers; ThreadSanitizer on the "
         "render and kernel tests)", "",
         "zero of the program's own. Judged in every log by one rule, `scripts/sanitizer_check.sh`: "
         "a leak is the program's when a frame of the program or its kernel is on its stack; blocks "
         "that only libraries hold at exit (Qt's D-Bus module and libdbus without a session bus, "
         "Qt's core library) are counted, not failed"),
    ]
    out = [RELIABILITY[0], "",
           f"What one run of `./scripts/test.sh` tries (from a clean clone, {date}{took}):", "",
           "| what | how much | result |", "|---|---|---|"]
    out += [f"| {a} | {b} | {c} |" for a, b, c in rows]
    out += ["", RELIABILITY[1]]
    return out


def replace_block(text, markers, lines):
    start, end = text.find(markers[0]), text.find(markers[1])
    if start < 0 or end < start:
        fail(f"README.md lacks the markers {markers[0]} ... {markers[1]}")
    return text[:start] + "\n".join(lines) + text[end + len(markers[1]):]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bench", help="output of ./build/bin/veldtra-bench")
    parser.add_argument("--tests", help="output of ./scripts/test.sh")
    parser.add_argument("--minutes", type=int, help="how long the test command took")
    parser.add_argument("--date", default=datetime.date.today().isoformat())
    parser.add_argument("--readme", default=README)
    args = parser.parse_args()
    if not args.bench and not args.tests:
        parser.error("give --bench, --tests or both")
    with open(args.readme, encoding="utf-8") as f:
        text = f.read()
    if args.bench:
        text = replace_block(text, SPEED, speed_block(read_bench(args.bench), args.date))
    if args.tests:
        text = replace_block(text, RELIABILITY, reliability_block(read_tests(args.tests), args.date, args.minutes))
    with open(args.readme, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
