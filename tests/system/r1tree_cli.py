#!/usr/bin/env python3
"""r1tree as a command: r1c's report of every bundled example, on standard
input or named as a file, becomes a graph that Graphviz's dot draws (when dot
is installed); input without a tree gives status 1, and input that cannot be
read or output that cannot be written gives status 2, each with one line on
standard error. --version prints one line with the version.

usage: r1tree_cli.py R1C R1TREE EXAMPLES_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

NO_TREE = b"r1tree: no syntax tree in the input\n"
REPORT = b"Abstract Syntax Tree:\n(. \n( VOID \n( f )))\n\nTotal No Of Lines:1\n\nCode Generated:\n"
# A graph far larger than the output buffer, so that writing fails midway.
LARGE_REPORT = b"Abstract Syntax Tree:\n(" + b"+ \n( " * 20000 + b"a a )" + b"a )" * 19999 + b")\n"


def run(command, stdin=b"", stdout="pipe", close=()):
    """Runs the command; stdout "pipe", "full" (/dev/full), "closed" or
    "broken pipe"; `close` names descriptors to close in the child."""
    opened = []
    if stdout == "full":
        out = os.open("/dev/full", os.O_WRONLY)
        opened.append(out)
    elif stdout == "broken pipe":
        reader, out = os.pipe()
        os.close(reader)
        opened.append(out)
    else:
        out = subprocess.PIPE
    closed = list(close) + ([1] if stdout == "closed" else [])

    def close_in_child():
        for fd in closed:
            os.close(fd)

    try:
        child = subprocess.Popen(command, stdin=subprocess.PIPE if isinstance(stdin, bytes) else stdin,
                                 stdout=out, stderr=subprocess.PIPE, preexec_fn=close_in_child)
    finally:
        for fd in opened:
            os.close(fd)
    out_bytes, err_bytes = child.communicate(stdin if isinstance(stdin, bytes) else None, timeout=120)
    return child.returncode, out_bytes or b"", err_bytes


def status_cases(r1tree, scratch):
    report_file = os.path.join(scratch, "report.txt")
    with open(report_file, "wb") as f:
        f.write(REPORT)
    missing = os.path.join(scratch, "missing.txt")
    directory = os.open(scratch, os.O_RDONLY)
    # name, command, standard input, standard output, descriptors closed, status, standard error
    return directory, [
        ("a report on standard input", [r1tree], REPORT, "pipe", (), 0, b""),
        ("a report named as a file", [r1tree, report_file], b"", "pipe", (), 0, b""),
        ("'-' for standard input", [r1tree, "-"], REPORT, "pipe", (), 0, b""),
        ("no input", [r1tree], b"", "pipe", (), 1, NO_TREE),
        ("a syntax error's message, no report", [r1tree], b"Line: 1 ;syntax error\n", "pipe", (), 1, NO_TREE),
        ("a report cut short", [r1tree], REPORT[:30], "pipe", (), 1, NO_TREE),
        ("two arguments", [r1tree, report_file, report_file], b"", "pipe", (), 2,
         b"usage: r1tree [FILE | --version]\n"),
        ("--version", [r1tree, "--version"], b"", "pipe", (), 0, b""),
        ("--version to a full device", [r1tree, "--version"], b"", "full", (), 2,
         b"r1tree: error writing standard output: No space left on device\n"),
        ("a missing file", [r1tree, missing], b"", "pipe", (), 2,
         b"r1tree: cannot open " + missing.encode() + b": " + b"No such file or directory" + b"\n"),
        ("a directory named as the file", [r1tree, scratch], b"", "pipe", (), 2,
         b"r1tree: error reading " + scratch.encode() + b": Is a directory\n"),
        ("a directory on standard input", [r1tree], directory, "pipe", (), 2,
         b"r1tree: error reading standard input: Is a directory\n"),
        ("standard input closed", [r1tree], subprocess.DEVNULL, "pipe", (0,), 2,
         b"r1tree: error reading standard input: Bad file descriptor\n"),
        ("a full device", [r1tree], REPORT, "full", (), 2,
         b"r1tree: error writing standard output: No space left on device\n"),
        ("a large graph to a full device", [r1tree], LARGE_REPORT, "full", (), 2,
         b"r1tree: error writing standard output: No space left on device\n"),
        ("standard output closed", [r1tree], REPORT, "closed", (), 2,
         b"r1tree: error writing standard output: Bad file descriptor\n"),
        ("a pipe without reader", [r1tree], LARGE_REPORT, "broken pipe", (), 2,
         b"r1tree: error writing standard output: Broken pipe\n"),
    ]


def check_examples(r1c, r1tree, examples):
    """Problems with r1c's reports of the examples, drawn through r1tree."""
    problems = []
    dot = shutil.which("dot")
    for name in sorted(os.listdir(examples)):
        if not name.endswith(".c"):
            continue
        with open(os.path.join(examples, name), "rb") as f:
            status, report, _ = run([r1c], f.read())
        status, graph, err = run([r1tree], b"#" + report)
        if status != 0 or err or not graph.startswith(b"digraph syntax_tree {\n") or not graph.endswith(b"}\n"):
            problems.append(f"{name}: status {status}, stderr {err!r}")
            continue
        if dot:
            status, svg, err = run([dot, "-Tsvg"], graph)
            if status != 0 or err or b"</svg>" not in svg:
                problems.append(f"{name}: dot status {status}, stderr {err!r}")
    if not dot:
        print("Graphviz's dot is not installed: the graphs were not drawn")
    return problems


def main():
    r1c, r1tree, examples = sys.argv[1:4]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        directory, cases = status_cases(r1tree, scratch)
        for name, command, stdin, stdout, close, want_status, want_err in cases:
            status, out, err = run(command, stdin, stdout, close)
            problems = []
            if status != want_status:
                problems.append(f"status {status}, expected {want_status}")
            if err != want_err:
                problems.append(f"stderr {err!r}, expected {want_err!r}")
            # A graph, or for --version one line naming the version.
            if command[1:] == ["--version"]:
                wanted = re.fullmatch(rb"r1tree [0-9]+\.[0-9]+\.[0-9]+\n", out)
            else:
                wanted = out.startswith(b"digraph syntax_tree {\n")
            if status == 0 and stdout == "pipe" and not wanted:
                problems.append(f"standard output {out[:60]!r}")
            for problem in problems:
                print(f"{name}: {problem}")
            failures += bool(problems)
        os.close(directory)
        problems = check_examples(r1c, r1tree, examples)
        for problem in problems:
            print(problem)
        failures += len(problems)
    print(f"{len(cases)} status cases and the examples: {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
