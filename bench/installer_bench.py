#!/usr/bin/python3
"""Times Tabulon on large hives: one with 100,000 sibling keys beside a single profile,
and one with 1,600 profiles that all need registering (about 4,800 values written).
Each case runs on a fresh copy of its hive, best of ROUNDS runs (default 3); prints
one JSON line per case with the best wall time and the run's peak memory.

    installer_bench.py TABULON [CASE...]      (CASE: sections, profiles; default both)
"""
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

K = "[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\"


def sections_hive(count):
    lines = ["Windows Registry Editor Version 5.00", ""]
    for i in range(count):
        lines += [f"[HKEY_CURRENT_USER\\SOFTWARE\\Vendor\\Key{i}]",
                  f'"Value"="data {i}"', ""]
    lines += [K + "R15.0\\ACAD-1:409\\Profiles\\P\\General]", '"ACAD"="C:\\\\A"', ""]
    return "\r\n".join(lines)


def profiles_hive(count):
    lines = ["Windows Registry Editor Version 5.00", ""]
    for i in range(count):
        p = f"R15.0\\ACAD-1:409\\Profiles\\Profile{i}"
        lines += [K + p + "\\General]", f'"ACAD"="C:\\\\Support{i}"', "",
                  K + p + "\\Menus]", '"Group1"="ACAD acad"', '"Pop1"="ACAD POP1"', ""]
    return "\r\n".join(lines)


def run_case(tabulon, name, text, rounds):
    work = tempfile.mkdtemp(prefix="tbln-installer-bench-")
    try:
        os.makedirs(os.path.join(work, "root/acad"))
        with open(os.path.join(work, "root/acad/version.txt"), "w") as f:
            f.write("2002")
        master = os.path.join(work, "master.reg")
        with open(master, "w", newline="") as f:
            f.write(text)
        hive = os.path.join(work, "hive.reg")
        best = None
        for _ in range(rounds):
            shutil.copyfile(master, hive)
            start = time.perf_counter()
            done = subprocess.run([tabulon, "--root", os.path.join(work, "root"),
                                   "--hive", hive], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
            wall = time.perf_counter() - start
            if done.returncode != 0:
                sys.exit(f"{name}: Tabulon failed: {done.stderr.decode()}")
            best = wall if best is None else min(best, wall)
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        print(json.dumps({"case": name, "hive_bytes": len(text),
                          "values_written": done.stdout.count(b"\n"),
                          "best_seconds": round(best, 3), "peak_kib": peak}))
    finally:
        shutil.rmtree(work)


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: installer_bench.py TABULON [sections] [profiles]")
    rounds = int(os.environ.get("ROUNDS", "3"))
    cases = sys.argv[2:] or ["sections", "profiles"]
    if "sections" in cases:
        run_case(sys.argv[1], "100000 sections", sections_hive(100000), rounds)
    if "profiles" in cases:
        run_case(sys.argv[1], "1600 profiles", profiles_hive(1600), rounds)


if __name__ == "__main__":
    main()
