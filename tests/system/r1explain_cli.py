#!/usr/bin/env python3
"""r1explain as a command: files named as compilers name them (- or none for
standard input, several one after another, each headed by its name), exit
status 0, 1 after a syntax error (explained where it is), 2 for a file that cannot be read or output
that cannot be written, and a bad file never stops the ones after it.

usage: r1explain_cli.py R1EXPLAIN
"""
import os
import subprocess
import sys
import tempfile

GOOD = b"void f() {\n  a = 1;\n}\n"
GOOD_LISTING = b"     2|   a = 1;\n        LOAD #1, R1\n        STORE R1, a\n"
BAD = b"void f() {\n  a = ;\n}\n"
BAD_WHY = (b":2:7: error: unexpected ';', expecting an identifier, a number, '(' or a prefix operator\n"
           b"  a = ;\n      ^\n")
BAD_COLOURED = (b"\033[1m<stdin>:2:7:\033[0m \033[1;31merror:\033[0m \033[1munexpected ';', expecting an identifier,"
                b" a number, '(' or a prefix operator\033[0m\n  a = ;\n      \033[1;32m^\033[0m\n")
USAGE = b"usage: r1explain [--listing | --steps | --states] [OPTION...] [FILE...]\n"


def run(command, stdin=b"", stdout=subprocess.PIPE):
    child = subprocess.run(command, input=stdin, stdout=stdout, stderr=subprocess.PIPE, timeout=60)
    return child.returncode, child.stdout or b"", child.stderr


def main():
    r1explain = sys.argv[1]
    with tempfile.TemporaryDirectory() as scratch:
        good, bad, missing = (os.path.join(scratch, name) for name in ("good.c", "bad.c", "missing.c"))
        for path, text in ((good, GOOD), (bad, BAD)):
            with open(path, "wb") as f:
                f.write(text)
        heading = lambda path: path.encode() + b":\n"
        no_such = b"r1explain: cannot open " + missing.encode() + b": No such file or directory\n"
        # name, arguments, standard input, status, standard output, standard error
        cases = [
            ("standard input, no file", ["--listing"], GOOD, 0, GOOD_LISTING, b""),
            ("standard input as -", ["--listing", "-"], GOOD, 0, GOOD_LISTING, b""),
            ("one file, no heading", ["--listing", good], b"", 0, GOOD_LISTING, b""),
            ("two files, each headed", ["--listing", good, "-"], GOOD, 0,
             heading(good) + GOOD_LISTING + b"\n<stdin>:\n" + GOOD_LISTING, b""),
            ("a syntax error, then a good file", ["--listing", bad, good], b"", 1,
             heading(good) + GOOD_LISTING, bad.encode() + BAD_WHY),
            ("syntax error on standard input", ["--listing"], BAD, 1, b"", b"<stdin>" + BAD_WHY),
            ("a missing file between good ones", ["--listing", good, missing, good], b"", 2,
             heading(good) + GOOD_LISTING + b"\n" + heading(good) + GOOD_LISTING, no_such),
            ("missing outranks a syntax error", ["--listing", missing, bad], b"", 2, b"",
             no_such + bad.encode() + BAD_WHY),
            ("a directory cannot be read", ["--listing", scratch], b"", 2, b"",
             b"r1explain: error reading " + scratch.encode() + b": Is a directory\n"),
            ("-- makes the rest file names", ["--listing", "--", good], b"", 0, GOOD_LISTING, b""),
            ("no mode: a good program says nothing", [good], b"", 0, b"", b""),
            ("no mode: each bad file explained", [bad, good, "-"], BAD, 1, b"",
             bad.encode() + BAD_WHY + b"<stdin>" + BAD_WHY),
            ("colour when asked", ["--color=always"], BAD, 1, b"", BAD_COLOURED),
            ("no colour when piped", ["--color=auto"], BAD, 1, b"", b"<stdin>" + BAD_WHY),
            ("a bad colour choice", ["--color=often"], BAD, 2, b"",
             b"r1explain: --color takes auto, always or never, not 'often'\n" + USAGE),
            ("steps stop at the limit", ["--steps", "--max-steps=2"], GOOD, 0,
             b"1  stack: 0 | lookahead: 'void' at line 1 | shift, go to state 1\n"
             b"2  stack: 0 VOID 1 | lookahead: none | reduce by rule 3 (ret_type -> VOID) without reading a token,"
             b" go to state 5\nstopped after 2 steps; --max-steps=N shows more\n", b""),
            ("steps of a bad program end in its error", ["--steps", "--max-steps=0"], b"int", 1,
             b"1  stack: 0 | lookahead: 'int' at line 1 | shift, go to state 2\n"
             b"2  stack: 0 INT 2 | lookahead: none | reduce by rule 5 (type -> INT) without reading a token,"
             b" go to state 6\n"
             b"3  stack: 0 type 6 | lookahead: none | reduce by rule 4 (ret_type -> type) without reading a token,"
             b" go to state 5\n"
             b"4  stack: 0 ret_type 5 | lookahead: end of input | error: expecting an identifier\n",
             b"<stdin>:1:4: error: unexpected end of input, expecting an identifier\nint\n   ^\n"),
            ("a bad step limit", ["--steps", "--max-steps=x"], GOOD, 2, b"",
             b"r1explain: --max-steps needs a number of steps, not 'x'\n" + USAGE),
            ("states take no file", ["--states", good], b"", 2, b"", b"r1explain: --states takes no file\n" + USAGE),
            ("unknown option", ["--listing", "--fast", good], b"", 2, b"",
             b"r1explain: unknown option --fast\n" + USAGE),
        ]
        failures = 0
        for name, args, stdin, status, out, err in cases:
            got = run([r1explain] + args, stdin)
            if got != (status, out, err):
                failures += 1
                print(f"FAIL {name}: got {got!r}, expected {(status, out, err)!r}")
        for option, starts in (("--help", b"usage: r1explain"), ("--version", b"r1explain ")):
            status, out, err = run([r1explain, option])
            if status != 0 or not out.startswith(starts) or err:
                failures += 1
                print(f"FAIL {option}: {status} {out!r} {err!r}")
        # Output that cannot be written names the write's own error, whether
        # it failed in a large write or only at the final flush.
        write_failures = [(["--listing", good], "No space left on device"),
                          (["--states"], "No space left on device")]
        for args, why in write_failures:
            with open("/dev/full", "wb") as full:
                status, _, err = run([r1explain] + args, stdout=full)
            if (status, err) != (2, f"r1explain: error writing standard output: {why}\n".encode()):
                failures += 1
                print(f"FAIL {args} to /dev/full: {status} {err!r}")
        reader, writer = os.pipe()
        os.close(reader)
        status, _, err = run([r1explain, "--states"], stdout=writer)
        os.close(writer)
        if (status, err) != (2, b"r1explain: error writing standard output: Broken pipe\n"):
            failures += 1
            print(f"FAIL --states to a closed pipe: {status} {err!r}")
        checks = len(cases) + 2 + len(write_failures) + 1
    print(f"{checks - failures} of {checks} cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
