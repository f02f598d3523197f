#!/usr/bin/env python3
"""Checks that analysis time grows linearly with the input.

For each pattern, an input is built by repeating it to SIZE, 2*SIZE and
4*SIZE bytes (one short token, one near-match of a recognizer, or one
separator), `tesk-privacy analyze` runs on each, and the CPU time beyond
the tool's start-up (measured on an empty input) must grow at most BOUND
times per doubling. Prints a table; exits 1 when a pattern grows faster.

    scripts/growth_check.py [--tool build/tesk-privacy] [--size-kb 1024] [--bound 2.5]

Times under 0.1 s count as 0.1 s: below that the machine's noise is larger
than any growth. CI runs it small (--size-kb 128 --bound 3.5);
docs/hostile_inputs.md has the figures at 1, 2 and 4 MB.
"""

import argparse
import os
import resource
import subprocess
import sys
import tempfile

# One short token, near-matches of each kind of recognizer, and separators.
PATTERNS = {
    "word": "aaa ",
    "name": "Budi Santoso ",
    "capitals": "AB ",
    "digits": "1 ",
    "digit run": "0",
    "nik-like": "317101120590000 ",
    "grouped digits": "3171 0112 ",
    "phone-like": "0812-345 ",
    "money": "Rp 1.000 ",
    "date-like": "12-05-19 ",
    "month": "Mei ",
    "plate-like": "B 1234 ",
    "address": "Jl. No. RT ",
    "email-like": "a@b ",
    "written email": "budi at ",
    "url-like": "http://a ",
    "placeholder": "<PERSON_1> ",
    "dots": ".",
    "dashes": "- ",
    "newlines": "\n",
    "results line": "Leicester 2 Chelsea 1\n",
    "standings row": "Newcastle 4 3 0 1 9 5 9\n",
    "dateline": "BRUSSELS 1996-08-22\n",
    "addressed name": "halo Budi ",
}


def cpu_of_children():
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


def run(tool, path, language):
    """The CPU time of one run: unlike wall time, other work on the machine
    hardly changes it."""
    start = cpu_of_children()
    done = subprocess.run([tool, "analyze", "--language", language, path], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=600)
    if done.returncode != 0:
        sys.exit(f"{tool} failed on {path}: {done.stderr.decode(errors='replace').strip()}")
    return cpu_of_children() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=os.path.join(os.path.dirname(__file__), "..", "build", "tesk-privacy"))
    parser.add_argument("--size-kb", type=int, default=1024)
    parser.add_argument("--bound", type=float, default=2.5)
    parser.add_argument("--language", default="id")
    args = parser.parse_args()
    failed = []
    with tempfile.TemporaryDirectory() as folder:
        empty = os.path.join(folder, "empty.txt")
        open(empty, "w").close()
        startup = min(run(args.tool, empty, args.language) for _ in range(3))
        print(f"start-up {startup:.2f} s; sizes {args.size_kb}, {2 * args.size_kb}, {4 * args.size_kb} KB")
        print(f"{'pattern':16} {'1x':>8} {'2x':>8} {'4x':>8} {'growth':>7}")
        for name, pattern in PATTERNS.items():
            times = []
            for factor in (1, 2, 4):
                size = args.size_kb * 1024 * factor
                path = os.path.join(folder, "input.txt")
                with open(path, "w") as f:
                    f.write((pattern * (size // len(pattern) + 1))[:size])
                best = min(run(args.tool, path, args.language) for _ in range(2))
                # Below a tenth of a second the machine's noise is larger than any growth.
                times.append(max(best - startup, 0.1))
            growth = max(times[1] / times[0], times[2] / times[1])
            mark = "" if growth <= args.bound else "  <-- superlinear"
            print(f"{name:16} {times[0]:8.2f} {times[1]:8.2f} {times[2]:8.2f} {growth:7.2f}{mark}")
            if growth > args.bound:
                failed.append(name)
    if failed:
        sys.exit(f"time grows faster than {args.bound}x per doubling for: {', '.join(failed)}")


if __name__ == "__main__":
    main()
