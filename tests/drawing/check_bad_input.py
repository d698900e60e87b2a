#!/usr/bin/python3
"""Bad drawing options and files end with exit status 2 and one line naming the problem,
and leave no half-written drawing behind; an import that does not complete draws nothing.

usage: check_bad_input.py TBLN OUT_DIR EXAMPLES_DIR"""
import os
import subprocess
import sys


def main():
    tbln, out, examples = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(out, "bad_root"))
    book = os.path.join(examples, "door_schedule.xlsx")
    not_json = os.path.join(out, "not_a_capture.json")
    with open(not_json, "w") as f:
        f.write('{"result": true}')
    garbage = os.path.join(out, "garbage.json")
    with open(garbage, "w") as f:
        f.write("{ not json")
    missing_dir = os.path.join(out, "no_such_folder", "out.dxf")
    cases = [
        (["build-cell", "--file", book, "--sheet", "Doors", "--dxf", missing_dir], missing_dir),
        (["build-cell", "--file", book, "--sheet", "Doors", "--png", missing_dir + ".png"],
         missing_dir + ".png"),
        (["build-cell", "--file", book, "--sheet", "Doors", "--dxf", os.path.join(out, "x.dxf"),
          "--scale", "0"], "--scale 0"),
        (["build-cell", "--file", book, "--sheet", "Doors", "--scale", "1mm"], "--scale 1mm"),
        (["deep-update", "--file", book, "--sheet", "Doors", "--whole", "--since", not_json],
         not_json),
        (["deep-update", "--file", book, "--sheet", "Doors", "--whole", "--since", garbage],
         garbage),
    ]
    problems = []
    for args, named in cases:
        p = subprocess.run([tbln, *args], env=env, capture_output=True, text=True)
        if p.returncode != 2 or named not in p.stderr:
            problems.append(f"{args[-2:]}: status {p.returncode}, {p.stderr.strip()!r}")
    # An import that does not complete draws nothing and says so.
    unfinished = os.path.join(out, "unfinished.dxf")
    p = subprocess.run([tbln, "build-cell", "--file", book, "--sheet", "Doors", "--range",
                        "A1:A40000", "--dxf", unfinished], env=env, capture_output=True, text=True)
    if '"result": false' not in p.stdout or "no drawing written" not in p.stderr or \
            os.path.exists(unfinished):
        problems.append(f"unfinished import: {p.stderr.strip()!r}")
    left = [f for f in os.listdir(out) if f.endswith(".tmp") or ".tbln-save-" in f]
    if left or os.path.exists(os.path.join(out, "x.dxf")):
        problems.append(f"files left behind: {left}")
    if problems:
        sys.exit("\n".join(problems))
    print("bad input: ok")


if __name__ == "__main__":
    main()
