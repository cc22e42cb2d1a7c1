#!/usr/bin/env python3
"""With standard error merged into standard output (2>&1), a message comes
after everything written to standard output before it: a syntax error after
the function follows the complete report, and one inside the function follows
the bytes echoed before it. Checked through a pipe and through a file, with
reports smaller and larger than the output buffer.

usage: merged_streams.py R1C
"""
import subprocess
import sys
import tempfile

# About 1 MB of report: 20 blocks of 1000 statements (one list of them all
# would overflow the parse stack).
BLOCK = b"  {\n" + b"".join(b"    x%d = x%d * 2 + y;\n" % (i, i) for i in range(1000)) + b"  }\n"
LARGE = b"int main() {\n" + BLOCK * 20 + b"}\n#y"

# name, input, standard-error line expected at the end
CASES = [
    ("token after a small report", b"int main() { x = 1; }\nx\n", b"Line: 2 ;syntax error\n"),
    ("token after a large report", LARGE, b"Line: %d ;syntax error\n" % (LARGE.count(b"\n") + 1)),
    ("second function after the report", b"void f() { }\nint g() { }\n", b"Line: 2 ;syntax error\n"),
    ("echoed bytes then an error inside", b"#@\nint main() { x = ; }", b"Line: 2 ;syntax error\n"),
    ("many echoed bytes then an error inside", b"#" * 200000 + b"int main() { x = ; }", b"Line: 1 ;syntax error\n"),
]


def separate(r1c, source):
    return subprocess.run([r1c], input=source, capture_output=True, timeout=60)


def merged_through_pipe(r1c, source):
    return subprocess.run([r1c], input=source, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60).stdout


def merged_through_file(r1c, source):
    with tempfile.TemporaryFile() as out:
        subprocess.run([r1c], input=source, stdout=out, stderr=subprocess.STDOUT, timeout=60)
        out.seek(0)
        return out.read()


def main():
    r1c = sys.argv[1]
    failures, runs = 0, 0
    for name, source, message in CASES:
        alone = separate(r1c, source)
        if alone.stderr != message or alone.returncode != 1:
            print(f"{name}: status {alone.returncode}, stderr {alone.stderr!r}, expected 1 and {message!r}")
            failures += 1
            continue
        for way, merged in (("pipe", merged_through_pipe), ("file", merged_through_file)):
            runs += 1
            got = merged(r1c, source)
            if got != alone.stdout + message:
                at = next((i for i, (a, b) in enumerate(zip(got, alone.stdout + message)) if a != b), len(got))
                print(f"{name} ({way}): merged stream differs at byte {at}: {got[max(0, at - 40):at + 40]!r}")
                failures += 1
    print(f"{runs - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
