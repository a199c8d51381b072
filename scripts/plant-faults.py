#!/usr/bin/env python3
"""Plants small faults in the product one at a time and runs the suite against each.

  scripts/plant-faults.py sample [--seed N] [--count N] > faults.tsv
      draws a fixed random sample of places in baseapi/src and statusmonitor/src
  scripts/plant-faults.py run faults.tsv [--build DIR] [--out results.tsv] [--first-failure]
      plants each fault, rebuilds, runs ctest (and the fuzz targets when the fault lies in
      a file they compile), records which tests failed, and restores the file

A fault that does not build does not count. A sample line names the file, the line number
and the exact text of the line when it was drawn, so the same faults can be planted again
after the code around them has moved; a line whose text is gone is reported as "gone".
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ["baseapi/src", "statusmonitor/src"]
# Files the native fuzz targets compile: a fault there is also run against them.
FUZZED = {"answer.cpp", "errorrecord.cpp", "printerstate.cpp", "textrules.cpp", "configtree.cpp"}

COMPARE = [(" == ", " != "), (" != ", " == "), (" < ", " >= "), (" > ", " <= "), (" <= ", " > "),
           (" >= ", " < ")]
CALL = re.compile(r"^\s*(?:[A-Za-z_][\w:]*(?:->|\.|::))*[A-Za-z_]\w*\(.*\);\s*$")
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
BOOL = re.compile(r"\b(true|false)\b")


def code_part(line):
    """The line without comments and string literals (blanked, same length)."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def sites(rel, lines):
    in_block = False
    for n, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_block:
            in_block = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in stripped
            continue
        if not stripped or stripped.startswith(("#", "//", "static_assert")):
            continue
        code = code_part(line)
        for old, new in COMPARE:
            start = 0
            while (pos := code.find(old, start)) >= 0:
                # "a < b" in a template argument list or a stream is not a comparison
                if not ("<<" in code[pos - 2:pos + 4] or (old in (" < ", " > ") and "template" in code)):
                    yield (rel, n, "compare", pos, old, new)
                start = pos + 1
        if CALL.match(code) and not re.match(r"\s*(return|delete|throw|break|continue)\b", code):
            yield (rel, n, "drop", 0, stripped, "")
        for m in NUMBER.finditer(code):
            if "[" in code[:m.start()] and "]" in code[m.end():]:
                continue  # array sizes make a different type, not a different behaviour
            yield (rel, n, "const", m.start(), m.group(1), str(int(m.group(1)) + 1))
        for m in BOOL.finditer(code):
            yield (rel, n, "bool", m.start(), m.group(1), "false" if m.group(1) == "true" else "true")


def sample(args):
    all_sites = []
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(TOP, folder))):
            if name.endswith(".cpp"):
                rel = f"{folder}/{name}"
                with open(os.path.join(TOP, rel), encoding="utf-8") as f:
                    lines = f.read().split("\n")
                for site in sites(rel, lines):
                    all_sites.append(site + (lines[site[1] - 1],))
    rng = random.Random(args.seed)
    rng.shuffle(all_sites)
    # The same share of each kind of fault, whatever kind the code happens to offer most of.
    kinds = {}
    for site in all_sites:
        kinds.setdefault(site[2], []).append(site)
    drawn = []
    while len(drawn) < args.count and any(kinds.values()):
        for kind in sorted(kinds):
            if kinds[kind] and len(drawn) < args.count:
                drawn.append(kinds[kind].pop())
    print("# id\tfile\tline\tkind\tcolumn\tfrom\tto\ttext")
    for i, (rel, n, kind, col, old, new, text) in enumerate(drawn, 1):
        print("\t".join([f"F{i:02d}", rel, str(n), kind, str(col), old, new, text]))


def read_sample(path):
    faults = []
    with open(path, encoding="utf-8") as f:
        for row in f:
            if row.startswith("#") or not row.strip():
                continue
            fid, rel, n, kind, col, old, new, text = row.rstrip("\n").split("\t", 7)
            faults.append(dict(id=fid, file=rel, line=int(n), kind=kind, col=int(col), old=old, new=new, text=text))
    return faults


def plant(fault, lines):
    """Index of the changed line and its new text, or None when the line is gone."""
    candidates = [i for i, l in enumerate(lines) if l == fault["text"]]
    if not candidates:
        return None
    i = min(candidates, key=lambda c: abs(c + 1 - fault["line"]))
    line, col = lines[i], fault["col"]
    if fault["kind"] == "drop":
        indent = line[: len(line) - len(line.lstrip())]
        return i, indent + "{} // planted: dropped"
    if line[col: col + len(fault["old"])] != fault["old"]:
        return None
    return i, line[:col] + fault["new"] + line[col + len(fault["old"]):]


def run(cmd, cwd, timeout, log):
    start = time.time()
    with open(log, "w") as out:
        p = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            rc = p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            rc = "timeout"
    return rc, time.time() - start


def failures(log):
    areas, cases = set(), set()
    with open(log, errors="replace") as f:
        for line in f:
            m = re.search(r"\d+ - (\S+) \((Failed|Timeout|SEGFAULT|Exception|Subprocess aborted)", line)
            if m:
                areas.add(m.group(1))
            m = re.match(r"\[  FAILED  \] (\S+\.\S+)", line)
            if m and not m.group(1).endswith(","):
                cases.add(m.group(1))
    return sorted(areas), sorted(cases)


def end_wine(build):
    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix")),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run_all(args):
    build = os.path.abspath(args.build)
    logdir = os.path.abspath(args.logs)
    os.makedirs(logdir, exist_ok=True)
    ctest = [os.path.join(TOP, "scripts/run-tests.sh"), build]
    if args.first_failure:
        ctest.append("--stop-on-failure")
    if args.tests:
        ctest += ["-R", args.tests]
    out = open(args.out, "w", encoding="utf-8")
    out.write("# id\tfile:line\tchange\tresult\tseconds\tfailed areas\tfailed cases\n")
    caught = built = 0
    for fault in read_sample(args.sample):
        if args.only and fault["id"] not in args.only.split(","):
            continue
        path = os.path.join(TOP, fault["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        planted = plant(fault, lines)
        change = f"{fault['kind']}: {fault['old']} -> {fault['new']}".strip()
        if planted is None:
            out.write(f"{fault['id']}\t{fault['file']}:{fault['line']}\t{change}\tgone\t0\t\t\n")
            out.flush()
            continue
        i, text = planted
        lines[i] = text
        where = f"{fault['file']}:{i + 1}"
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            log = os.path.join(logdir, fault["id"])
            rc, secs = run(["cmake", "--build", build, "-j", str(args.jobs)], TOP, 1200, log + ".build")
            if rc != 0:
                out.write(f"{fault['id']}\t{where}\t{change}\tnobuild\t{secs:.0f}\t\t\n")
                out.flush()
                continue
            built += 1
            areas, cases = [], []
            if os.path.basename(fault["file"]) in FUZZED and args.fuzz_build:
                env_cmd = ["env", "FUZZ_SECONDS=3", "FUZZ_SEED=1", f"JOBS={args.jobs}",
                           os.path.join(TOP, "scripts/run-fuzz.sh"), os.path.abspath(args.fuzz_build)]
                frc, fsecs = run(env_cmd, TOP, 600, log + ".fuzz")
                secs += fsecs
                if frc != 0:
                    areas.append("fuzz")
            if not (areas and args.first_failure):
                rc, tsecs = run(ctest, TOP, args.timeout, log + ".test")
                secs += tsecs
                a, cases = failures(log + ".test")
                areas += a
                if rc == "timeout":
                    areas.append("timeout")
                    # A killed run leaves its printers in the prefix, where the next
                    # run could see them: start the next one from a fresh prefix.
                    end_wine(build)
                    shutil.rmtree(os.path.join(build, "wineprefix"), ignore_errors=True)
                elif rc != 0 and not a:
                    areas.append(f"exit{rc}")
            result = "caught" if areas else "missed"
            caught += result == "caught"
            out.write(f"{fault['id']}\t{where}\t{change}\t{result}\t{secs:.0f}\t{','.join(areas)}\t{','.join(cases)}\n")
            out.flush()
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
            end_wine(build)
    out.write(f"# caught {caught} of {built} that built\n")
    out.close()
    # Leave the tree built as it is in git.
    subprocess.run(["cmake", "--build", build, "-j", str(args.jobs)], cwd=TOP, stdout=subprocess.DEVNULL)
    print(f"caught {caught} of {built} that built")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    s = sub.add_parser("sample")
    s.add_argument("--seed", type=int, default=14)
    s.add_argument("--count", type=int, default=40)
    r = sub.add_parser("run")
    r.add_argument("sample")
    r.add_argument("--build", default="build")
    r.add_argument("--fuzz-build", default="build-fuzz")
    r.add_argument("--out", default="faults-result.tsv")
    r.add_argument("--logs", default="build/faults")
    r.add_argument("--jobs", type=int, default=2)
    r.add_argument("--timeout", type=int, default=900, help="seconds for one suite run")
    r.add_argument("--first-failure", action="store_true", help="stop the suite at its first failure")
    r.add_argument("--tests", help="run only the ctest entries matching this pattern")
    r.add_argument("--only", help="comma-separated fault ids to run")
    args = p.parse_args()
    if args.cmd == "sample":
        sample(args)
    else:
        run_all(args)


if __name__ == "__main__":
    sys.exit(main())
