#!/usr/bin/env python3
"""With a terminal on standard input, the report appears as soon as the line
holding the function's closing brace has been entered, before end of input;
what is typed after it is then read as usual.

usage: terminal.py R1C
"""
import os
import pty
import select
import subprocess
import sys
import time

REPORT = (b"Abstract Syntax Tree:\n(. \n( INT \n( main ). \n( = \n( x 1 ))))\n\nTotal No Of Lines:3\n\n"
          b"Code Generated:\nLOAD #1, R1\nSTORE R1, x\n")
END_OF_FILE = b"\x04"  # the terminal's end-of-file character, typed at the start of a line

# name, lines typed after the report, status, standard error
CASES = [
    ("end of input after the report", [END_OF_FILE], 0, b""),
    ("a token after the report", [b"\n", b"x\n"], 1, b"Line: 5 ;syntax error\n"),
]


def read_available(stream, wait):
    """What the child has written within wait seconds, without blocking longer."""
    data = b""
    deadline = time.monotonic() + wait
    while (left := deadline - time.monotonic()) > 0:
        ready, _, _ = select.select([stream], [], [], left)
        if not ready:
            break
        chunk = os.read(stream.fileno(), 65536)
        if not chunk:
            break
        data += chunk
    return data


def read_until(stream, wanted, wait):
    data = b""
    deadline = time.monotonic() + wait
    while wanted not in data and time.monotonic() < deadline:
        data += read_available(stream, min(0.2, deadline - time.monotonic()))
    return data


def run_case(r1c, after):
    problems = []
    terminal, child_side = pty.openpty()
    child = subprocess.Popen([r1c], stdin=child_side, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    os.close(child_side)
    try:
        os.write(terminal, b"int main() {\n  x = 1;\n")
        early = read_available(child.stdout, 0.5)
        if early:
            problems.append(f"output before the closing brace: {early!r}")
        os.write(terminal, b"}\n")
        report = read_until(child.stdout, REPORT, 10)
        if report != REPORT:
            problems.append(f"after the closing brace's line: {report!r}, expected the report")
        if child.poll() is not None:
            problems.append(f"r1c ended (status {child.returncode}) before end of input")
        for line in after:
            os.write(terminal, line)
        status = child.wait(timeout=10)
        rest, err = child.stdout.read(), child.stderr.read()
        return status, rest, err, problems
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
        os.close(terminal)


def main():
    r1c = sys.argv[1]
    failures = 0
    for name, after, want_status, want_err in CASES:
        status, rest, err, problems = run_case(r1c, after)
        if status != want_status:
            problems.append(f"status {status}, expected {want_status}")
        if err != want_err or rest:
            problems.append(f"then stdout {rest!r} and stderr {err!r}, expected nothing and {want_err!r}")
        for problem in problems:
            print(f"{name}: {problem}")
        failures += bool(problems)
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
