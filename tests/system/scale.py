#!/usr/bin/env python3
"""Large inputs, moderately scaled for every test run (tests/stress/run.sh
runs them at full scale): operator chains of a million operators, a 1 MB
identifier as one token, and a program of more statements than any one list
could hold on the parse stack, spread over many blocks.

usage: scale.py R1C
"""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import programs

NEWLINE = b"\n"
CHAIN_LENGTH = 1_000_000
CHAIN_OPERATORS = ("add", "subtract", "multiply", "remainder", "or", "less")


def compile_file(r1c, path):
    with open(path, "rb") as stdin:
        return subprocess.run([r1c], stdin=stdin, capture_output=True, timeout=300)


def split_report(out):
    """The tree text and the code lines of a report."""
    head, _, code = out.partition(b"\nCode Generated:\n")
    tree = head.split(b"Abstract Syntax Tree:\n", 1)[-1].rsplit(b"\n\nTotal No Of Lines:", 1)[0]
    return tree, code


def brackets_balance(tree):
    return tree.count(b"(") == tree.count(b")") and tree.startswith(b"(") and tree.endswith(b")")


def check_chains(r1c, work):
    problems = []
    for operator in CHAIN_OPERATORS:
        path = work / f"{operator}.c"
        programs.write_chain(path, operator, CHAIN_LENGTH)
        got = compile_file(r1c, path)
        tree, code = split_report(got.stdout)
        want_lines = programs.chain_code_lines(operator, CHAIN_LENGTH)
        if got.returncode != 0 or got.stderr:
            problems.append(f"{operator} chain: status {got.returncode}, stderr {got.stderr[:200]!r}")
        elif code.count(b"\n") != want_lines or not code.endswith(b"STORE R1, x\n"):
            problems.append(f"{operator} chain: {code.count(NEWLINE)} code lines, expected {want_lines}")
        elif not brackets_balance(tree):
            problems.append(f"{operator} chain: tree brackets do not balance")
    return len(CHAIN_OPERATORS), problems


def check_identifier(r1c, work):
    length = 1 << 20
    path = work / "identifier.c"
    programs.write_identifier(path, length)
    got = compile_file(r1c, path)
    name = b"a" * length
    tree, code = split_report(got.stdout)
    if got.returncode != 0 or got.stderr:
        return 1, [f"1 MB identifier: status {got.returncode}, stderr {got.stderr[:200]!r}"]
    if tree != b"(. \n( INT \n( main ). \n( " + name + b" )))":
        return 1, ["1 MB identifier: the tree is not one whole name in the body"]
    if code != b"LOAD " + name + b", R1\n":
        return 1, ["1 MB identifier: code is not one LOAD of the whole name"]
    return 1, []


def check_blocks(r1c, work):
    """About 8 MB: 200 groups of 5 statements in each of 100 blocks in each
    of 2 outer blocks, a million statements in all."""
    path = work / "blocks.c"
    facts = programs.write_blocks(path, 2, 100, 200)
    got = compile_file(r1c, path)
    tree, code = split_report(got.stdout)
    labels = len(re.findall(rb"^(?:Label|LABEL)\d+:$", code, re.MULTILINE))
    problems = []
    if got.returncode != 0 or got.stderr:
        problems.append(f"blocks: status {got.returncode}, stderr {got.stderr[:200]!r}")
    elif code.count(b"\n") != facts.code_lines or labels != facts.labels:
        problems.append(f"blocks: {code.count(NEWLINE)} code lines, {labels} labels; "
                        f"expected {facts.code_lines}, {facts.labels}")
    elif f"\n\nTotal No Of Lines:{facts.lines}\n".encode() not in got.stdout or not brackets_balance(tree):
        problems.append("blocks: wrong line total or unbalanced tree")
    return 1, problems


def main():
    r1c = sys.argv[1]
    runs, problems = 0, []
    with tempfile.TemporaryDirectory() as directory:
        for check in (check_chains, check_identifier, check_blocks):
            count, found = check(r1c, Path(directory))
            runs += count
            problems += found
    for problem in problems:
        print(problem)
    print(f"{runs - len(problems)} passed, {len(problems)} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
