#!/usr/bin/env python3
"""Runs r1c on one end-to-end case and compares stdout, stderr and exit status.

A case is NAME.expect, with NAME.in (or NAME.c) beside it holding the exact
bytes given on standard input. NAME.expect holds header lines, a line '---', then the exact
bytes expected on standard output, up to the end of the file:

    status: 1                  exit status (required)
    stderr: Line: 3 ;syntax error   one expected standard-error line (repeatable)
    args: a b                  command-line arguments (optional)
    stdin: directory           run with a directory as standard input (no NAME.in)
    ---
"""
import os
import subprocess
import sys
import tempfile
from pathlib import Path


def parse_expect(path):
    data = path.read_bytes()
    header, sep, stdout = data.partition(b"---\n")
    if not sep:
        raise SystemExit(f"{path}: no '---' line")
    spec = {"status": None, "stderr": [], "args": [], "stdin": "file"}
    for line in header.decode().splitlines():
        key, _, value = line.partition(": ")
        if key == "status":
            spec["status"] = int(value)
        elif key == "stderr":
            spec["stderr"].append(value)
        elif key == "args":
            spec["args"] = value.split()
        elif key == "stdin":
            spec["stdin"] = value
        elif line.strip():
            raise SystemExit(f"{path}: unknown header line {line!r}")
    if spec["status"] is None:
        raise SystemExit(f"{path}: no status line")
    return spec, stdout


def run(r1c, spec, input_path):
    if spec["stdin"] == "directory":
        with tempfile.TemporaryDirectory() as d:
            fd = os.open(d, os.O_RDONLY | os.O_DIRECTORY)
            try:
                return subprocess.run([r1c, *spec["args"]], stdin=fd, capture_output=True, timeout=120)
            finally:
                os.close(fd)
    with open(input_path, "rb") as stdin:
        return subprocess.run([r1c, *spec["args"]], stdin=stdin, capture_output=True, timeout=120)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    r1c, expect_path = sys.argv[1], Path(sys.argv[2])
    spec, want_stdout = parse_expect(expect_path)
    input_path = expect_path.with_suffix(".in")
    if not input_path.exists():
        input_path = expect_path.with_suffix(".c")
    got = run(r1c, spec, input_path)
    want_stderr = "".join(line + "\n" for line in spec["stderr"]).encode()
    failures = []
    if got.returncode != spec["status"]:
        failures.append(f"exit status {got.returncode}, expected {spec['status']}")
    if got.stderr != want_stderr:
        failures.append(f"stderr {got.stderr!r}, expected {want_stderr!r}")
    if got.stdout != want_stdout:
        at = first_difference(got.stdout, want_stdout)
        failures.append(
            f"stdout differs at byte {at}:\n  got      {got.stdout[max(0, at - 40):at + 40]!r}\n"
            f"  expected {want_stdout[max(0, at - 40):at + 40]!r}"
        )
    for failure in failures:
        print(f"{expect_path.name}: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
