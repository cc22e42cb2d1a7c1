#!/usr/bin/env python3
"""Full-scale runs: a 1 GB program of many blocks, a 100 MB identifier,
chains of 10,000,000 operators, and a 1.1 GB program of 2,100 names of
512 KiB each. Each must compile with status 0 and the report its input
implies; the report is checked as it streams out (it is several times the
input's size). Prints peak memory (from /usr/bin/time -v) per input byte for
each.

usage: stress.py R1C WORK_DIR [--size-mb N]   (N defaults to 1024)
"""
import argparse
import hashlib
import re
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "system"))
import programs  # noqa: E402

MB = 1 << 20
CHUNK = 16 * MB


@dataclass
class Report:
    """What the streamed report held."""
    tree_bytes: int = 0
    opens: int = 0
    closes: int = 0
    line_total: int = -1
    code_lines: int = 0
    labels: int = 0
    code_bytes: int = 0
    first_code_line: bytes = b""
    tail: bytes = b""  # bytes after the last newline


def scan_report(stream):
    """Reads the report in line-aligned chunks: counts the tree's brackets,
    then the code's lines and labels (the lines that end in ':')."""
    report = Report()
    phase = "title"
    carry = b""
    while True:
        data = stream.read(CHUNK)
        if not data:
            break
        data = carry + data
        cut = data.rfind(b"\n") + 1
        chunk, carry = data[:cut], data[cut:]
        while chunk:
            if phase == "title":
                title = b"Abstract Syntax Tree:\n"
                if not chunk.startswith(title):
                    raise SystemExit(f"report does not start with the title: {chunk[:80]!r}")
                chunk, phase = chunk[len(title):], "tree"
            elif phase == "tree":
                # The line total's line starts at a line start: at the chunk's
                # start or after a newline in it.
                at = (b"\n" + chunk).find(b"\nTotal No Of Lines:")
                tree = chunk if at < 0 else chunk[:at]
                report.tree_bytes += len(tree)
                report.opens += tree.count(b"(")
                report.closes += tree.count(b")")
                if at < 0:
                    break
                report.tree_bytes -= len(b"\n\n")  # they end the tree's last line and leave one empty
                chunk, phase = chunk[at:], "total"
            elif phase == "total":
                match = re.match(rb"Total No Of Lines:(\d+)\n", chunk)
                report.line_total = int(match.group(1))
                chunk, phase = chunk[match.end():], "heading"
            elif phase == "heading":
                if chunk.startswith(b"\n"):
                    chunk = chunk[1:]
                    continue
                if not chunk.startswith(b"Code Generated:\n"):
                    raise SystemExit(f"no code heading: {chunk[:80]!r}")
                chunk, phase = chunk[len(b"Code Generated:\n"):], "code"
            else:
                if not report.first_code_line and chunk:
                    report.first_code_line = chunk[: chunk.find(b"\n") + 1]
                report.code_lines += chunk.count(b"\n")
                report.labels += chunk.count(b":\n")
                report.code_bytes += len(chunk)
                break
    report.tail = carry
    return report


def peak_kilobytes(time_output):
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", time_output).group(1))


def compile_streaming(r1c, source, time_file):
    """Runs r1c under /usr/bin/time -v; returns status, stderr, report, seconds."""
    started = time.monotonic()
    with open(source, "rb") as stdin:
        child = subprocess.Popen(["/usr/bin/time", "-v", "-o", str(time_file), r1c], stdin=stdin,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        report = scan_report(child.stdout)
        err = child.stderr.read()
        status = child.wait()
    return status, err, report, time.monotonic() - started


def expected_blocks(work, size_mb):
    facts = programs.write_blocks(work / "program.c", *programs.blocks_for_size(size_mb * MB))
    want = dict(line_total=facts.lines, code_lines=facts.code_lines, labels=facts.labels)
    return "program of many blocks", work / "program.c", facts.size, want


def expected_identifier(work, length):
    programs.write_identifier(work / "identifier.c", length)
    name = b"a" * length
    want = dict(line_total=1, code_lines=1, labels=0, code_bytes=len(b"LOAD , R1\n") + length,
                tree_bytes=len(b"(. \n( INT \n( main ). \n(  )))") + length)
    size = (work / "identifier.c").stat().st_size
    return f"identifier of {length // MB} MB", work / "identifier.c", size, want, name


def expected_chain(work, operator, count):
    path = work / f"chain_{operator}.c"
    programs.write_chain(path, operator, count)
    want = dict(line_total=1, code_lines=programs.chain_code_lines(operator, count), labels=0)
    return f"{operator} chain of {count:,} operators", path, path.stat().st_size, want


def long_name(i, length):
    """A name of `length` bytes, n and four letters that number it, then x's;
    the first five bytes alone are a name for the same place."""
    head = b"n" + bytes(97 + i // 26 ** k % 26 for k in range(4))
    return head + b"x" * (length - len(head))


def check_names(r1c, work, count, length):
    """int NAME() { NAME; ... } with `count` statements, each name different
    and `length` bytes long: the report must be the one for the same program
    with five-byte names, each replaced by its long name. Compared through a
    hash as it streams, since it is twice the program's size."""
    short = b"int " + long_name(count, 5) + b"() {\n" + b"".join(long_name(i, 5) + b";\n" for i in range(count))
    short += b"}\n"
    template = subprocess.run([r1c], input=short, capture_output=True, check=True).stdout
    expected = hashlib.sha256()
    expected_bytes = 0
    for piece in re.split(rb"(?<![A-Za-z0-9_])(n[a-z]{4})(?![A-Za-z0-9_])", template):
        if re.fullmatch(rb"n[a-z]{4}", piece):
            number = sum((byte - 97) * 26 ** k for k, byte in enumerate(piece[1:]))
            piece = long_name(number, length)
        expected.update(piece)
        expected_bytes += len(piece)
    source = work / "names.c"
    with open(source, "wb") as f:
        f.write(b"int " + long_name(count, length) + b"() {\n")
        for i in range(count):
            f.write(long_name(i, length) + b";\n")
        f.write(b"}\n")
    size = source.stat().st_size
    started = time.monotonic()
    with open(source, "rb") as stdin:
        child = subprocess.Popen(["/usr/bin/time", "-v", "-o", str(work / "time.txt"), r1c], stdin=stdin,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        got = hashlib.sha256()
        got_bytes = 0
        while data := child.stdout.read(CHUNK):
            got.update(data)
            got_bytes += len(data)
        err = child.stderr.read()
        status = child.wait()
    seconds = time.monotonic() - started
    source.unlink()
    times = (work / "time.txt").read_text()
    peak = peak_kilobytes(times)
    cpu = sum(float(re.search(rf"{kind} time \(seconds\): ([\d.]+)", times).group(1)) for kind in ("User", "System"))
    ok = status == 0 and not err and got.digest() == expected.digest()
    name = f"{count:,} names of {length // 1024} KiB"
    print(f"{name:40} {size:>14,} bytes  peak {peak * 1024:>15,} bytes  {peak * 1024 / size:6.2f} per input byte"
          f"  {seconds:7.1f} s ({cpu:.1f} s CPU)  {'ok' if ok else 'FAILED'}", flush=True)
    if not ok:
        print(f"    status {status}, stderr {err[:200]!r}, {got_bytes:,} bytes of report, {expected_bytes:,} expected")
    return ok


def check(name, source, size, want, r1c, work):
    status, err, report, seconds = compile_streaming(r1c, source, work / "time.txt")
    peak = peak_kilobytes((work / "time.txt").read_text())
    problems = []
    if status != 0 or err:
        problems.append(f"status {status}, stderr {err[:200]!r}")
    if report.opens != report.closes:
        problems.append(f"tree has {report.opens} '(' and {report.closes} ')'")
    for field, value in want.items():
        if getattr(report, field) != value:
            problems.append(f"{field} {getattr(report, field)}, expected {value}")
    if report.tail:
        problems.append(f"bytes after the code: {report.tail[:80]!r}")
    source.unlink()
    print(f"{name:40} {size:>14,} bytes  peak {peak * 1024:>15,} bytes  {peak * 1024 / size:6.2f} per input byte"
          f"  {seconds:7.1f} s  {'ok' if not problems else 'FAILED'}", flush=True)
    for problem in problems:
        print(f"    {problem}")
    return not problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("r1c")
    parser.add_argument("work_dir")
    parser.add_argument("--size-mb", type=int, default=1024, help="size of the program of many blocks")
    parser.add_argument("--identifier-mb", type=int, default=100)
    parser.add_argument("--chain", type=int, default=10_000_000, help="operators per chain")
    parser.add_argument("--names", type=int, default=2100, help="statements of the program of large names")
    parser.add_argument("--name-kb", type=int, default=512, help="length of each of its names")
    parser.add_argument("--only-names", action="store_true", help="run the program of large names alone")
    args = parser.parse_args()
    work = Path(args.work_dir)
    work.mkdir(parents=True, exist_ok=True)

    results = [check_names(args.r1c, work, args.names, args.name_kb * 1024)]
    if args.only_names:
        return 0 if results[0] else 1
    name, path, size, want = expected_blocks(work, args.size_mb)
    results.append(check(name, path, size, want, args.r1c, work))
    name, path, size, want, identifier = expected_identifier(work, args.identifier_mb * MB)
    results.append(check(name, path, size, want, args.r1c, work))
    for operator in ("add", "subtract", "or", "less"):
        name, path, size, want = expected_chain(work, operator, args.chain)
        results.append(check(name, path, size, want, args.r1c, work))
    failed = results.count(False)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
