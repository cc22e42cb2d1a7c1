#!/usr/bin/env python3
"""When standard output cannot be written (a full device, a closed descriptor,
a pipe without reader, a file at its size limit), r1c says so in one line on
standard error and exits with status 2; it never exits 0 with output lost, and
never dies by a signal. Also: standard input that cannot be read. Each case
that has a program to read runs twice: with the program through a pipe and
from a regular file, whose end r1c may meet in a different way.

usage: output_failures.py R1C
"""
import os
import resource
import subprocess
import sys
import tempfile

SMALL = b"int main() { x = 1; }\n"
# A report far larger than the output buffer, so writing fails mid-report.
LARGE = b"int main() {\n" + b"  x = x + y * 2;\n" * 5000 + b"}\n"
ECHO_THEN_ERROR = b"#\nx"
SILENT_ERROR = b"int main() { x = ; }"

NO_SPACE = b"error writing standard output: No space left on device\n"
BAD_DESCRIPTOR = b"error writing standard output: Bad file descriptor\n"
BROKEN_PIPE = b"error writing standard output: Broken pipe\n"
TOO_LARGE = b"error writing standard output: File too large\n"
INPUT_FAILED = b"input in flex scanner failed\n"
FILE_SIZE_LIMIT = 10  # bytes, for standard output as a size-limited file

# name, input, standard output, standard error, standard input, status, standard error expected;
# standard input "source" is the input, run once through a pipe and once from a regular file.
CASES = [
    ("small report to a full device", SMALL, "full", "pipe", "source", 2, NO_SPACE),
    ("large report to a full device", LARGE, "full", "pipe", "source", 2, NO_SPACE),
    ("echoed byte then syntax error to a full device", ECHO_THEN_ERROR, "full", "pipe", "source", 2, NO_SPACE),
    ("syntax error with nothing to write", SILENT_ERROR, "full", "pipe", "source", 1, b"Line: 1 ;syntax error\n"),
    ("small report to closed output", SMALL, "closed", "pipe", "source", 2, BAD_DESCRIPTOR),
    ("large report to closed output", LARGE, "closed", "pipe", "source", 2, BAD_DESCRIPTOR),
    ("small report to a pipe without reader", SMALL, "broken pipe", "pipe", "source", 2, BROKEN_PIPE),
    ("large report to a pipe without reader", LARGE, "broken pipe", "pipe", "source", 2, BROKEN_PIPE),
    ("small report to a file at its size limit", SMALL, "size-limited file", "pipe", "source", 2, TOO_LARGE),
    ("large report to a file at its size limit", LARGE, "size-limited file", "pipe", "source", 2, TOO_LARGE),
    ("full device and standard error closed", LARGE, "full", "closed", "source", 2, None),
    ("standard input closed", SMALL, "pipe", "pipe", "closed", 2, INPUT_FAILED),
    ("standard input write-only", SMALL, "pipe", "pipe", "write-only", 2, INPUT_FAILED),
]


def open_stream(kind, opened, read_end=False):
    """A descriptor for the child, or None to let it inherit nothing (closed)."""
    if kind == "full":
        fd = os.open("/dev/full", os.O_WRONLY)
    elif kind == "broken pipe":
        r, fd = os.pipe()
        os.close(r)  # the reader has gone before the first write
    elif kind == "write-only":
        fd = os.open("/dev/null", os.O_WRONLY)
    elif kind == "size-limited file":
        fd, path = tempfile.mkstemp()  # the limit itself is set in the child
        os.unlink(path)
    elif kind == "closed":
        return None
    else:
        return subprocess.PIPE
    opened.append(fd)
    return fd


def open_source(source, kind, opened):
    """Standard input holding source: a pipe the test writes it to, or a regular file."""
    if kind == "pipe":
        return subprocess.PIPE
    fd, path = tempfile.mkstemp()
    os.unlink(path)
    os.write(fd, source)
    os.lseek(fd, 0, os.SEEK_SET)
    opened.append(fd)
    return fd


def run_case(r1c, source, out_kind, err_kind, in_kind):
    """in_kind is "pipe" or "regular file" for standard input holding source."""
    opened = []
    stdout = open_stream(out_kind, opened)
    stderr = open_stream(err_kind, opened)
    if in_kind in ("pipe", "regular file"):
        stdin = open_source(source, in_kind, opened)
    else:
        stdin = open_stream(in_kind, opened)
    # A descriptor the child must not have is closed in it before exec.
    closed = [fd for fd, stream in ((0, stdin), (1, stdout), (2, stderr)) if stream is None]

    def close_in_child():
        for fd in closed:
            os.close(fd)
        if out_kind == "size-limited file":
            resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))

    try:
        child = subprocess.Popen([r1c], stdin=stdin if stdin is not None else subprocess.DEVNULL,
                                 stdout=stdout if stdout is not None else subprocess.DEVNULL,
                                 stderr=stderr if stderr is not None else subprocess.DEVNULL,
                                 preexec_fn=close_in_child)
    finally:
        for fd in opened:
            os.close(fd)
    try:
        if child.stdin:
            child.stdin.write(source)
    except BrokenPipeError:
        pass  # r1c stopped reading; its status tells why
    if child.stdin:
        child.stdin.close()
    err = child.stderr.read() if child.stderr else None
    if child.stdout:
        child.stdout.read()
    return child.wait(timeout=60), err


def main():
    r1c = sys.argv[1]
    failures = 0
    runs = 0
    for name, source, out_kind, err_kind, in_kind, want_status, want_err in CASES:
        in_kinds = ["pipe", "regular file"] if in_kind == "source" else [in_kind]
        for run_in_kind in in_kinds:
            status, err = run_case(r1c, source, out_kind, err_kind, run_in_kind)
            problems = []
            if status != want_status:
                problems.append(f"status {status}, expected {want_status}")
            if want_err is not None and err != want_err:
                problems.append(f"stderr {err!r}, expected {want_err!r}")
            for problem in problems:
                print(f"{name}, input {'through a pipe' if run_in_kind == 'pipe' else 'from a ' + run_in_kind}: "
                      f"{problem}")
            failures += bool(problems)
            runs += 1
    print(f"{runs - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
