"""Cost of one TextAnalyzer.analyze() on a 300-character message, called from
Python and from C++ (a timing loop inside the compiled core, on the same
analyzer and text, the text handed over as a std::string each time).

    PYTHONPATH=<build>/python python3 python/bench/analyze_overhead.py [--iterations N]

Prints both figures (microseconds per call, best of several rounds) and
their ratio.
"""

import argparse
import statistics
import sys
import time

from tesk_privacy import _native
from tesk_privacy.pii_detector import TextAnalyzer

MESSAGE = (
    "Halo tim, mohon proses pembayaran gaji untuk Budi Santoso bulan ini sebesar Rp 7.500.000 ke nomor "
    "rekening BCA 1234567890. NIK 3171011205900001, NPWP 12.345.678.9-012.345. Jika ada kendala, hubungi "
    "saya di 0812-3456-7890 atau budi.santoso@contoh.co.id. Dokumen proyek Morvale dikirim ke PT Maju Jaya."
)


def python_round(analyzer: TextAnalyzer, iterations: int) -> float:
    start = time.perf_counter()
    for _ in range(iterations):
        analyzer.analyze(MESSAGE)
    return (time.perf_counter() - start) / iterations


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--iterations", type=int, default=300, help="calls per round (default 300)")
    parser.add_argument("--rounds", type=int, default=7, help="rounds; the best is reported (default 7)")
    args = parser.parse_args()

    analyzer = TextAnalyzer()
    results = analyzer.analyze(MESSAGE)
    python_times, cpp_times = [], []
    for _ in range(args.rounds):  # interleaved, so that both see the same machine load
        python_times.append(python_round(analyzer, args.iterations))
        seconds, _ = _native._time_analyze(analyzer._native, MESSAGE, "id", args.iterations)
        cpp_times.append(seconds)

    py_best, cpp_best = min(python_times) * 1e6, min(cpp_times) * 1e6
    print(f"message: {len(MESSAGE)} characters, {len(results)} results")
    print(f"analyze from Python: {py_best:8.1f} us/call (median {statistics.median(python_times) * 1e6:.1f})")
    print(f"analyze from C++:    {cpp_best:8.1f} us/call (median {statistics.median(cpp_times) * 1e6:.1f})")
    print(f"ratio Python / C++:  {py_best / cpp_best:8.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
