#!/usr/bin/env python3
"""Under an address-space limit (prlimit --as), a large input ends with the
fitting message and status 2, never with a signal: a long token whose buffer
cannot grow, an identifier copy or a tree that does not fit, and, across
sweeps of limits, every allocation of a compile, the tree printer's and code
generator's work stacks included, down to limits where the process cannot
start. Many large names need no more address space than their copies.

usage: resource_limits.py R1C
Skipped (77) for a sanitizer build, whose shadow memory needs more address
space than any limit here allows.
"""
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import programs

MB = 1 << 20
BUFFER_OVERFLOW = b"fatal error - scanner input buffer overflow\n"
OUT_OF_MEMORY = b"out of memory\n"
STACK_OVERFLOW = b"Line: 1 ;yacc stack overflow\n"  # also when the parse stack cannot get memory
LOADER_FAILED = 127  # the dynamic loader could not map the libraries: r1c never ran


def run_limited(r1c, limit, source_path):
    with open(source_path, "rb") as stdin:
        return subprocess.run(["prlimit", f"--as={limit}", r1c], stdin=stdin, capture_output=True, timeout=120)


def check_fixed_cases(r1c, work):
    """Each input under a limit that stops it at a known place."""
    programs.write_identifier(work / "id40.c", 40 * MB)
    programs.write_identifier(work / "id20.c", 20 * MB)
    programs.write_blocks(work / "blocks.c", *programs.blocks_for_size(8 * MB))
    # name, input, limit, message. At 48 MB the scanner buffer reaches 32 MB
    # but cannot double again; a 20 MB identifier fits the buffer but not its
    # copies; the tree of an 8 MB program needs more than 24 MB.
    cases = [
        ("40 MB identifier", "id40.c", 48 * MB, BUFFER_OVERFLOW),
        ("20 MB identifier", "id20.c", 48 * MB, OUT_OF_MEMORY),
        ("8 MB program", "blocks.c", 24 * MB, OUT_OF_MEMORY),
    ]
    failures = 0
    for name, source, limit, message in cases:
        got = run_limited(r1c, limit, work / source)
        if got.returncode != 2 or got.stderr != message or got.stdout:
            print(f"{name} under {limit // MB} MB: status {got.returncode}, stderr {got.stderr[:200]!r}, "
                  f"{len(got.stdout)} bytes on stdout; expected status 2, {message!r}, nothing on stdout")
            failures += 1
    return len(cases), failures


def smallest_sufficient_limit(r1c, source_path, low, high, resolution=MB):
    """Binary search, to resolution, for the smallest limit under which the compile succeeds."""
    while high - low > resolution:
        middle = (low + high) // 2
        if run_limited(r1c, middle, source_path).returncode == 0:
            high = middle
        else:
            low = middle
    return high


NAME_BYTES = 3_000_001  # a name that is not a whole number of pages
NAMES = 20


def write_names(path, count):
    """int main() { N1; N2; ... } with `count` different names of NAME_BYTES."""
    with open(path, "wb") as f:
        f.write(b"int main() {\n")
        for i in range(count):
            f.write(bytes([97 + i % 26, 97 + i // 26 % 26]) + b"x" * (NAME_BYTES - 2) + b";\n")
        f.write(b"}\n")


def check_large_names(r1c, work):
    """NAMES large names need no more address space than half of them and the
    other half's copies, a page each and a little slack: the tree's memory
    leaves nothing mapped behind a name. Below what they need, each run ends
    with a known message and status 2."""
    def run(source, limit):
        with open(work / source, "rb") as stdin:
            got = subprocess.run(["prlimit", f"--as={limit}", r1c], stdin=stdin, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, timeout=120)
        return got.returncode, got.stderr

    least = {}
    for count in (NAMES // 2, NAMES):
        source = f"names{count}.c"
        write_names(work / source, count)
        low, high = 4 * MB, 1024 * MB
        while high - low > MB // 4:
            middle = (low + high) // 2
            low, high = (low, middle) if run(source, middle)[0] == 0 else (middle, high)
        least[count] = high
    allowed = least[NAMES // 2] + (NAMES - NAMES // 2) * (NAME_BYTES + 4096) + 4 * MB
    failures = 0
    if least[NAMES] > allowed:
        print(f"{NAMES} names of {NAME_BYTES:,} bytes need {least[NAMES]:,} bytes of address space; "
              f"{NAMES // 2} need {least[NAMES // 2]:,}, so at most {allowed:,} should do")
        failures += 1
    limits = range(least[NAMES] - 40 * MB, least[NAMES] - MB // 4, 4 * MB)
    for limit in limits:
        status, err = run(f"names{NAMES}.c", limit)
        if status != 2 or err not in (OUT_OF_MEMORY, BUFFER_OVERFLOW):
            print(f"{NAMES} names under {limit} bytes: status {status}, stderr {err[:200]!r}")
            failures += 1
    return 1 + len(limits), failures


def sweep(r1c, source, limits):
    """Runs source under each limit: each run gives the full report with
    status 0, or "out of memory" with status 2, or, when the parse stack
    cannot get memory, its overflow with status 1. Returns the runs, the
    failures, and how many runs ran out of memory after the report had begun."""
    with open(source, "rb") as stdin:
        reference = subprocess.run([r1c], stdin=stdin, capture_output=True, timeout=120)
    if reference.returncode != 0:
        print(f"{source.name} without a limit: status {reference.returncode}")
        return 1, 1, 0
    failures = 0
    failed_during_report = 0
    for limit in limits:
        got = run_limited(r1c, limit, source)
        succeeded = got.returncode == 0 and got.stdout == reference.stdout and not got.stderr
        ran_out = got.returncode == 2 and got.stderr == OUT_OF_MEMORY
        stack_short = got.returncode == 1 and got.stderr == STACK_OVERFLOW and not got.stdout
        if not (succeeded or ran_out or stack_short):
            print(f"{source.name} under {limit} bytes: status {got.returncode}, stderr {got.stderr[:300]!r}")
            failures += 1
        if ran_out and got.stdout.startswith(b"Abstract Syntax Tree:"):
            failed_during_report += 1
    return len(limits), failures, failed_during_report


def check_sweep(r1c, work):
    """A chain of 300,000 operators under limits from a quarter of enough to
    just enough. The walks of the report keep no entry per operator of a
    chain, only one per right operand under way: an expression nested 3,000
    deep on the right makes the tree printer and the code generator grow their
    work stacks, and under limits in small steps just below enough some runs
    fail after the report has begun, in one of them."""
    source = work / "chain.c"
    programs.write_chain(source, "add", 300_000)
    enough = smallest_sufficient_limit(r1c, source, 4 * MB, 2048 * MB)
    floor = 12 * MB  # well above what the process needs to start (check_startup)
    limits = sorted({max(enough * k // 40, floor) for k in range(10, 41)} | {enough - MB // 2})
    runs, failures, _ = sweep(r1c, source, limits)
    nested = work / "nested.c"
    depth = 3_000
    nested.write_bytes(b"int main() { x = " + b"a+(" * depth + b"a" + b")" * depth + b"; }\n")
    enough = smallest_sufficient_limit(r1c, nested, 0, 64 * MB, 64 << 10)
    # Well above what the process needs to start: the parse stack takes more.
    limits = range(enough - (512 << 10), enough, 8 << 10)
    nested_runs, nested_failures, failed_during_report = sweep(r1c, nested, limits)
    if failed_during_report == 0:
        print(f"no limit between {limits[0]} and {enough} bytes ran out of memory during the report")
        nested_failures += 1
    return runs + nested_runs, failures + nested_failures


def check_startup(r1c, work):
    """A small program under limits around the least a process needs: every
    run either never starts, or ends with one of r1c's own outcomes."""
    source = work / "small.c"
    source.write_bytes(b"int main() { x = a + b * c; while (x) x = x - 1; }\n")
    with open(source, "rb") as stdin:
        reference = subprocess.run([r1c], stdin=stdin, capture_output=True, timeout=60)
    limits = range(4 * MB, 10 * MB, MB // 4)
    failures = 0
    for limit in limits:
        got = run_limited(r1c, limit, source)
        if got.returncode == LOADER_FAILED and b"error while loading shared libraries" in got.stderr:
            continue
        outcomes = {0: b"", 1: STACK_OVERFLOW, 2: OUT_OF_MEMORY}
        expected = got.returncode in outcomes and got.stderr == outcomes[got.returncode]
        if not expected or (got.returncode == 0 and got.stdout != reference.stdout):
            print(f"small program under {limit} bytes: status {got.returncode}, stderr {got.stderr[:300]!r}")
            failures += 1
    return len(limits), failures


def main():
    r1c = sys.argv[1]
    if b"__asan_init" in Path(r1c).read_bytes():
        print("skipped: a sanitizer build cannot run under an address-space limit")
        return 77
    if not shutil.which("prlimit"):
        print("skipped: prlimit (util-linux) is not installed")
        return 77
    with tempfile.TemporaryDirectory() as directory:
        work = Path(directory)
        fixed_runs, fixed_failures = check_fixed_cases(r1c, work)
        sweep_runs, sweep_failures = check_sweep(r1c, work)
        startup_runs, startup_failures = check_startup(r1c, work)
        names_runs, names_failures = check_large_names(r1c, work)
    failures = fixed_failures + sweep_failures + startup_failures + names_failures
    print(f"{fixed_runs + sweep_runs + startup_runs + names_runs - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
