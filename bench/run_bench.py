#!/usr/bin/python3
"""Runs the workbook benchmark and prints the figures side by side.

    /usr/bin/python3 bench/run_bench.py BUILD_BENCH_DIR [WORKBOOK]

Makes the 1,000,000-cell workbook with XlsxWriter when it is missing, then runs the
expat streaming floor, the engine and openpyxl on it, each in its own process (peak
memory is the process's own), the compiled ones best of three.
"""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd):
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def best_of(cmd, times):
    results = [run(cmd) for _ in range(times)]
    return min(results, key=lambda r: r["cpu_seconds"])


def main():
    build = sys.argv[1]
    workbook = sys.argv[2] if len(sys.argv) > 2 else os.path.join(build, "bench_1m.xlsx")
    if not os.path.exists(workbook):
        print(f"making {workbook} ...", flush=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_bench_workbook.py"), workbook], check=True)
    floor = best_of([os.path.join(build, "expat_floor"), workbook], 3)
    engine = best_of([os.path.join(build, "engine_bench"), workbook], 3)
    openpyxl = run(["/usr/bin/python3", os.path.join(HERE, "openpyxl_read.py"), workbook])
    print(f"workbook: {workbook} ({os.path.getsize(workbook) / 2**20:.1f} MiB), {engine['cells']} cells read")
    print(f"{'program':<14}{'seconds':>10}{'cpu s':>10}{'peak MiB':>11}")
    for r in (floor, engine, openpyxl):
        print(f"{r['program']:<14}{r['seconds']:>10.3f}{r['cpu_seconds']:>10.3f}{r['peak_mib']:>11.1f}")
    print(f"engine / floor: {engine['seconds'] / floor['seconds']:.2f}x time, "
          f"{engine['cpu_seconds'] / floor['cpu_seconds']:.2f}x cpu (target at most 2x)")
    print(f"openpyxl / engine: {openpyxl['seconds'] / engine['seconds']:.1f}x time (target at least 20x)")
    print(f"engine peak memory: {engine['peak_mib']:.0f} MiB (target under 1024 MiB)")
    print(f"engine: open {engine['open_seconds']:.3f} s, read every cell {engine['read_seconds']:.3f} s")


if __name__ == "__main__":
    main()
