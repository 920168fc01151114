"""Benchmark harness: every case checks kestrin against a vectorised NumPy/SciPy
implementation of the same computation written from the same equations, then
times both, interleaved, in one process.

    python benchmarks/run.py                 # every case at its default sizes
    python benchmarks/run.py dry2d           # one case
    python benchmarks/run.py dry2d --sizes 256 1024 --rounds 5

One line per case and size: both times per call, the speed-up and the case's
own figure (for example ns per vertex per step).
"""
import argparse
import importlib
import pathlib
import platform
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

CASES = ["dry2d", "scan2d", "k0map", "hydro2d", "bech2d"]


def best_time(fn, rounds, min_seconds):
    """Best wall time of one call over `rounds` batches, each batch long enough to time."""
    fn()
    t0 = time.perf_counter()
    fn()
    once = max(time.perf_counter() - t0, 1e-7)
    reps = max(1, int(min_seconds / once))
    best = float("inf")
    for _ in range(rounds):
        t0 = time.perf_counter()
        for _ in range(reps):
            fn()
        best = min(best, (time.perf_counter() - t0) / reps)
    return best


def fmt_time(s):
    if s < 1e-3:
        return f"{s * 1e6:9.1f} us"
    if s < 1:
        return f"{s * 1e3:9.2f} ms"
    return f"{s:9.2f} s "


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("cases", nargs="*", default=None, help=f"cases to run (default: all of {CASES})")
    ap.add_argument("--sizes", nargs="*", type=int, help="grid sizes (square) instead of the case defaults")
    ap.add_argument("--rounds", type=int, default=3, help="timing rounds per implementation (best is kept)")
    ap.add_argument("--min-seconds", type=float, default=0.2, help="minimum duration of one timing batch")
    args = ap.parse_args()

    import numpy as np
    import kestrin  # noqa: F401

    print(f"# {platform.processor() or platform.machine()}, Python {platform.python_version()}, "
          f"NumPy {np.__version__}, {time.strftime('%Y-%m-%d')}")
    print(f"{'case':<10} {'size':>6} {'kestrin':>12} {'numpy':>12} {'speed-up':>9}  notes")
    failed = False
    for name in args.cases or CASES:
        case = importlib.import_module(f"cases.{name}")
        for size in args.sizes or case.SIZES:
            ctx = case.setup(size)
            ok, detail = case.check(ctx)
            if not ok:
                print(f"{name:<10} {size:>6}  ANSWERS DIFFER: {detail}")
                failed = True
                continue
            # Interleave the two implementations round by round so that machine
            # noise hits both alike.
            tk, tn = float("inf"), float("inf")
            for _ in range(args.rounds):
                tk = min(tk, best_time(lambda: case.run_kestrin(ctx), 1, args.min_seconds))
                tn = min(tn, best_time(lambda: case.run_numpy(ctx), 1, args.min_seconds))
            notes = case.notes(ctx, tk, tn) if hasattr(case, "notes") else ""
            print(f"{name:<10} {size:>6} {fmt_time(tk):>12} {fmt_time(tn):>12} {tn / tk:8.1f}x  {detail}; {notes}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
