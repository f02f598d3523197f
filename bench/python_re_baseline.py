#!/usr/bin/python3
"""Python's `re` on the same patterns, flags and text as recognizer_bench.

Runs the C++ benchmark program once with TESK_BENCH_DUMP_DIR set, so that it
writes its mixed corpus and the patterns of every "id" pattern recognizer
(deny lists included) to a temporary directory and then measures itself. The
script then runs every pattern with re.finditer over that corpus, the way a
pattern recognizer scans a text, and prints both throughputs and their ratio.

When the Python port of libphonenumber is installed (Debian
python3-phonenumbers), its PhoneNumberMatcher also runs over the corpus for
the phone recognizer's regions at leniency VALID, so that the C++ figure
with the phone recognizer has a Python counterpart too.

Times are CPU times on one core, as Google Benchmark reports them, so that a
busy machine skews both sides alike.

Usage: python_re_baseline.py PATH_TO_RECOGNIZER_BENCH [--repetitions N]
       python_re_baseline.py --dump-dir DIR     (Python side only, on a dump)
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

CPP_BENCHMARKS = ("BM_IdPatternRecognizers", "BM_IdAllRecognizers", "BM_PhoneRecognizer")


def python_pass(patterns, text):
    """One scan of `text` by every pattern; returns (seconds, matches)."""
    start = time.process_time()
    found = 0
    for rx in patterns:
        for _ in rx.finditer(text):
            found += 1
    return time.process_time() - start, found


def python_phone_seconds(text, regions):
    """One pass of phonenumbers' matcher per region, or None without the module."""
    try:
        import phonenumbers
    except ImportError:
        return None, 0
    start = time.process_time()
    spans = set()
    for region in regions:
        for m in phonenumbers.PhoneNumberMatcher(text, region, leniency=phonenumbers.Leniency.VALID):
            spans.add((m.start, m.end))  # a span found under several regions counts once, as in C++
    return time.process_time() - start, len(spans)


def python_throughput(dump_dir, repetitions):
    with open(os.path.join(dump_dir, "patterns.json"), encoding="utf-8") as f:
        table = json.load(f)
    with open(os.path.join(dump_dir, "corpus.txt"), encoding="utf-8") as f:
        text = f.read()
    size_mb = len(text.encode("utf-8")) / 1e6
    compiled = [re.compile(p["regex"], table["flags"]) for p in table["patterns"]]
    best = min(python_pass(compiled, text)[0] for _ in range(repetitions))
    _, found = python_pass(compiled, text)
    per_pattern = []
    for p, rx in zip(table["patterns"], compiled):
        seconds = min(python_pass([rx], text)[0] for _ in range(max(1, repetitions // 2)))
        per_pattern.append((size_mb / seconds, p["recognizer"], p["name"]))
    phone_seconds, phone_found = python_phone_seconds(text, table.get("phone_regions", []))
    phone = None if phone_seconds is None else (size_mb / (best + phone_seconds), phone_found, table["phone_regions"])
    return size_mb / best, found, len(compiled), size_mb, per_pattern, phone


def cpp_throughput(bench, dump_dir):
    env = dict(os.environ, TESK_BENCH_DUMP_DIR=dump_dir)
    out = subprocess.run(
        [bench, "--benchmark_filter=" + "|".join(CPP_BENCHMARKS), "--benchmark_format=json",
         "--benchmark_min_time=1"],
        env=env, capture_output=True, text=True, check=True).stdout
    figures = {}
    for b in json.loads(out)["benchmarks"]:
        figures[b["name"]] = (b["bytes_per_second"] / 1e6, b.get("results_per_pass", 0))
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bench", nargs="?", help="path to recognizer_bench")
    parser.add_argument("--dump-dir", help="use an existing dump instead of running the C++ benchmark")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--per-pattern", action="store_true", help="also print each pattern's throughput")
    args = parser.parse_args()
    if not args.bench and not args.dump_dir:
        parser.error("give the benchmark program or --dump-dir")

    with tempfile.TemporaryDirectory() as tmp:
        dump_dir = args.dump_dir or tmp
        cpp = cpp_throughput(args.bench, dump_dir) if args.bench else {}
        py_mbs, found, count, size_mb, per_pattern, phone = python_throughput(dump_dir, args.repetitions)

    print("corpus: %.2f MB, %d patterns, flags %s" % (size_mb, count, "IGNORECASE|MULTILINE|DOTALL"))
    print("Python %d.%d re.finditer, all patterns: %8.2f MB/s (%d matches per pass)"
          % (sys.version_info[0], sys.version_info[1], py_mbs, found))
    if args.per_pattern:
        for mbs, recognizer, name in sorted(per_pattern):
            print("    %9.1f MB/s  %s / %s" % (mbs, recognizer, name))
    if phone:
        print("Python re + phonenumbers (%s):  %8.2f MB/s (%d phone numbers per pass)"
              % (",".join(phone[2]), phone[0], phone[1]))
    for name in CPP_BENCHMARKS:
        if name not in cpp:
            continue
        mbs, results = cpp[name]
        line = "C++ %-24s %8.2f MB/s (%d results per pass)" % (name + ":", mbs, results)
        if name == "BM_IdPatternRecognizers":
            line += "  = %.1fx Python re" % (mbs / py_mbs)
        elif name == "BM_IdAllRecognizers" and phone:
            line += "  = %.1fx Python re + phonenumbers" % (mbs / phone[0])
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
