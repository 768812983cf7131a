#!/usr/bin/env python3
"""Mutation check: how many of the faults in scripts/mutants.txt does the test suite catch?

Applies one mutant at a time, rebuilds, runs the whole ctest suite and puts the file back
(also on Ctrl-C or an error). A mutant is caught when a test fails, crashes or times out; a
test that fails, then passes when run again, is flaky and does not count, nor do the tests
--ignore names. Not run by CI: about a minute per mutant (a hung test costs its TIMEOUT).
"""
import argparse
import os
import re
import signal
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent


def load(path):
    """Blocks 'FILE: fault', '- snippet' lines, '+ replacement' lines (see mutants.txt)."""
    mutants, cur = [], None
    for n, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or (cur is None and line.startswith("#")):
            cur = None
        elif cur is None and ": " in line:
            file, what = line.split(": ", 1)
            cur = {"file": file, "what": what, "old": [], "new": [], "line": n}
            mutants.append(cur)
        elif cur is not None and line[:2] in ("- ", "-") and not cur["new"]:
            cur["old"].append(line[2:])
        elif cur is not None and line[:2] in ("+ ", "+"):
            cur["new"].append(line[2:])
        else:
            sys.exit(f"{path}:{n}: cannot read this line")
    for m in mutants:
        m["old"], m["new"] = ["\n".join(m[k]).encode() for k in ("old", "new")]
    return mutants


def run(cmd, cwd, log):
    """Runs cmd with its output appended to log; returns the exit code and the output."""
    p = subprocess.run(cmd, cwd=cwd, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                       errors="replace")
    with open(log, "a") as f:
        f.write(f"$ {' '.join(map(str, cmd))}\n{p.stdout}\n")
    return p.returncode, p.stdout


def build(args):
    return run(["cmake", "--build", args.build], args.source, args.log)[0] == 0


def test(args, names=()):
    """Runs the suite (or the tests named); returns (name, how) per test that fails."""
    only = ["-R", f"^({'|'.join(map(re.escape, names))})$"] if names else []
    code, out = run(["ctest", "--timeout", "120", *only], args.build, args.log)
    if "The following tests FAILED:" not in out:
        return [("ctest", f"exit code {code}")] if code != 0 else []
    return re.findall(r"^\s*\d+ - (\S+) \((.+?)\)\s*$",
                      out.split("The following tests FAILED:")[-1], re.M)


def failures(args):
    """The failing tests (name, how), and the flaky ones: they failed, then passed when run
    again. Only a plain failure is run again: a crash or a timeout counts at once."""
    first = test(args)
    unsure = [name for name, how in first if how == "Failed"]
    again = {name for name, _ in test(args, unsure)} if unsure else set()
    return ([(n, how) for n, how in first if how != "Failed" or n in again],
            [name for name in unsure if name not in again])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--source", type=Path, default=HERE.parent, help="the source tree")
    ap.add_argument("--build", type=Path, help="its configured build dir (default: SOURCE/build)")
    ap.add_argument("--only", help="comma-separated mutant numbers, as the table shows them")
    ap.add_argument("--ignore", default="^$", help="tests whose failures do not count (regex)")
    args = ap.parse_args()
    args.source = args.source.resolve()
    args.build = (args.build or args.source / "build").resolve()
    args.log = args.build / "mutation-check.log"
    mutants = list(enumerate(load(HERE / "mutants.txt"), 1))
    if args.only:
        mutants = [(k, m) for k, m in mutants if str(k) in args.only.split(",")]
    for k, m in mutants:  # every snippet exactly once, before anything changes
        found = (args.source / m["file"]).read_bytes().count(m["old"])
        if found != 1 or m["old"] == m["new"]:
            sys.exit(f"mutant {k} (line {m['line']}): snippet found {found} times in {m['file']}"
                     " (must be once, and differ from its replacement)")
    dirty = subprocess.run(["git", "status", "--porcelain", "--", *{m["file"] for _, m in mutants}],
                           cwd=args.source, capture_output=True, text=True, check=True).stdout
    if dirty:
        sys.exit(f"uncommitted changes in mutated files; commit or stash them first:\n{dirty}")
    args.log.write_text("")
    print(f"log: {args.log}", flush=True)
    counts = lambda name: not re.fullmatch(args.ignore, name)  # noqa: E731
    failed, flaky = failures(args) if build(args) else ([("build", "failed")], [])
    if any(counts(name) for name, _ in failed):
        sys.exit(f"the unmutated tree fails: {failed}; see the log")
    if any(map(counts, flaky)):
        print(f"flaky (failed, then passed), consider --ignore: {', '.join(filter(counts, flaky))}")

    signal.signal(signal.SIGTERM, signal.default_int_handler)  # like Ctrl-C: the file is put back
    results = []
    try:
        for k, m in mutants:
            path = args.source / m["file"]
            original = path.read_bytes()
            try:
                path.write_bytes(original.replace(m["old"], m["new"]))
                with open(args.log, "a") as f:
                    f.write(f"\n===== mutant {k}: {m['file']}: {m['what']}\n")
                failed, flaky = failures(args) if build(args) else (None, [])
            finally:
                path.write_bytes(original)
            counted = [n if how == "Failed" else f"{n} ({how})" for n, how in failed or [] if counts(n)]
            verdict = "not compiled" if failed is None else "caught" if counted else "missed"
            counted += [f"ignored: {n}" for n, _ in failed or [] if not counts(n)]
            results.append((k, m, verdict, counted + [f"flaky: {n}" for n in flaky]))
            print(f"{k:3} {verdict:12} {m['file']}: {m['what']}", flush=True)
    except KeyboardInterrupt:
        print("interrupted; the file is put back", file=sys.stderr)
    finally:
        print("rebuilding the unmutated tree ...", flush=True)
        if not build(args):
            print("the final rebuild failed; see the log", file=sys.stderr)

    print("\n| # | file | verdict | failing tests | fault |\n|---|---|---|---|---|")
    for k, m, verdict, tests in results:
        print(f"| {k} | {m['file']} | {verdict} | {', '.join(tests) or '-'} | {m['what']} |")
    caught = sum(v == "caught" for _, _, v, _ in results)
    broken = sum(v == "not compiled" for _, _, v, _ in results)
    print(f"\ncaught {caught} of {len(results)}" + (f" ({broken} not compiled)" if broken else ""))
    return 0 if not broken and len(results) == len(mutants) else 1


if __name__ == "__main__":
    sys.exit(main())
