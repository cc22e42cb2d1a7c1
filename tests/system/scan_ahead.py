#!/usr/bin/env python3
"""The second threads change nothing: every end-to-end case input, and larger
inputs with echoed bytes, errors and fatal conditions at many places, give
the same standard output, standard error and exit status from r1c, through a
pipe and from a file, as from compile_directly, which scans with the parser's
own calls, prints the tree and then generates the code. r1c scans ahead on a
second thread from a pipe, and from a file of 256 KB or more; from a pipe,
and from a file of 512 KB or more, it reports the statements ahead on a
second thread and takes scanning back. Pipes are written in uneven pieces,
with pauses, so the scanner also waits for input in the middle of tokens.

usage: scan_ahead.py R1C COMPILE_DIRECTLY CASES_DIRECTORY
"""
import pathlib
import random
import subprocess
import sys
import tempfile
import threading
import time

SMALL_FILE_LIMIT = 256 << 10  # below this size a file is scanned without the second thread


def directly(compile_directly, data):
    got = subprocess.run([compile_directly], input=data, capture_output=True, timeout=120)
    return got.returncode, got.stdout, got.stderr


def from_file(r1c, data):
    with tempfile.TemporaryFile() as source:
        source.write(data)
        source.seek(0)
        got = subprocess.run([r1c], stdin=source, capture_output=True, timeout=120)
    return got.returncode, got.stdout, got.stderr


def from_pipe(r1c, data, rng):
    """Writes data in random pieces, now and then pausing, while reading both outputs."""
    process = subprocess.Popen([r1c], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    outputs = {}
    readers = [threading.Thread(target=lambda name=name, stream=stream: outputs.__setitem__(name, stream.read()))
               for name, stream in (("out", process.stdout), ("err", process.stderr))]
    for reader in readers:
        reader.start()
    try:
        at = 0
        while at < len(data):
            piece = rng.choice((1, 7, 100, 4096, 65536, 1 << 20))
            process.stdin.write(data[at:at + piece])
            process.stdin.flush()
            at += piece
            if rng.random() < 0.02:
                time.sleep(0.002)
        process.stdin.close()
    except BrokenPipeError:
        pass  # r1c may stop reading at a syntax error
    process.wait(timeout=120)
    for reader in readers:
        reader.join()
    return process.returncode, outputs["out"], outputs["err"]


def large_inputs(rng):
    """Programs above the small-file limit with odd bytes, errors and fatal
    conditions early, late and after the function."""
    body = b"".join(b"  { x%d = (a + %d) * b - c / 7; if (x%d < y) z = !x%d; else { while (z) z = z - 1; } }\n"
                    % (i, i, i, i) for i in range(8000))
    program = b"int main() {\n" + body + b"}\n"
    assert len(program) > SMALL_FILE_LIMIT
    middle = len(program) // 2
    cut = program.rfind(b"\n", 0, middle) + 1
    yield "large program", program
    yield "echoed bytes everywhere", program.replace(b";", b"; @#", 3000).replace(b"+", b"+ & | $", 500)
    yield "NUL and high bytes", program.replace(b"(", b"\0(\xff", 2000)
    yield "syntax error in the middle", program[:cut] + b"x = ;\n" + program[cut:]
    yield "token after the report", program + b"@@ extra\n"
    yield "echo after the report", program + b"#" * 100000
    yield "end of input inside", program[:middle]
    yield "long identifier across reads", program[:cut] + b"q" * 300000 + b" = 1;\n" + program[cut:]
    yield "numerals past the limit", program.replace(b"7;", b"99999999999999999999;", 1000)
    yield "many lines before a token", program[:cut] + b"\n" * 200000 + program[cut:]
    yield "random cut " + str(rng.randrange(len(program))), program[:rng.randrange(len(program))]


def main():
    r1c, compile_directly, cases = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
    rng = random.Random(1)
    checked = failures = 0

    def check(name, expected, got, how):
        nonlocal checked, failures
        checked += 1
        if got != expected:
            failures += 1
            print(f"{name} {how}: status {got[0]}, {len(got[1])} bytes out, stderr {got[2][:200]!r}; "
                  f"compiled directly: status {expected[0]}, {len(expected[1])} bytes out, "
                  f"stderr {expected[2][:200]!r}")

    for path in sorted(cases.glob("*/*.in")):
        data = path.read_bytes()
        check(path.name, directly(compile_directly, data), from_pipe(r1c, data, rng), "through a pipe")
    for name, data in large_inputs(rng):
        expected = directly(compile_directly, data)
        check(name, expected, from_pipe(r1c, data, rng), "through a pipe")
        check(name, expected, from_file(r1c, data), "from a file")
    print(f"{checked - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
