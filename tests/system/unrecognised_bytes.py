#!/usr/bin/env python3
"""Bytes that belong to no token are echoed as they are read, not held: 300 MB
of `#` before a program, through a pipe, is echoed whole and followed by the
report while r1c stays under 32 MB of resident memory; and endless NUL bytes
from /dev/zero flow out as they come, again in under 32 MB.

usage: unrecognised_bytes.py R1C
Skipped (77) for a sanitizer build, whose shadow memory alone exceeds the bound.
"""
import os
import shutil
import select
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import programs

MB = 1 << 20
PEAK_LIMIT_KB = 32 * 1024  # resident memory bound, in the kilobytes of ru_maxrss
HASH_BYTES = 300 * MB
PROGRAM = b"\nint main() { x = 1; }\n"
CHUNK = 1 << 20
ZERO_MIN_OUTPUT = 64 * MB  # more than the memory bound could hold back
ZERO_RUN_SECONDS = 2
ZERO_GIVE_UP_SECONDS = 300  # only a stalled r1c takes this long


def wait_with_usage(pid):
    """Exit status (negative for a signal) and peak resident kilobytes of a child."""
    _, status, usage = os.wait4(pid, 0)
    return os.waitstatus_to_exitcode(status), usage.ru_maxrss


def hashes_then_program():
    block = b"#" * CHUNK
    for _ in range(HASH_BYTES // CHUNK):
        yield block
    yield PROGRAM


def check_hashes_then_program(r1c):
    """300 MB of `#` and a program: the `#` echoed, then the program's report."""
    reference = subprocess.run([r1c], input=PROGRAM, capture_output=True, timeout=60)
    expected_tail = reference.stdout
    child = subprocess.Popen([r1c], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    writer = threading.Thread(target=programs.feed, args=(child.stdin, hashes_then_program()))
    writer.start()
    output_bytes = 0
    hashes_seen = 0
    tail = b""
    while piece := child.stdout.read1(CHUNK):
        if hashes_seen == output_bytes:  # everything so far was `#`
            hashes_seen += len(piece) - len(piece.lstrip(b"#"))
        output_bytes += len(piece)
        tail = (tail + piece)[-len(expected_tail):]
    writer.join()
    errors = child.stderr.read()
    status, peak_kb = wait_with_usage(child.pid)
    problems = []
    if status != 0 or errors:
        problems.append(f"status {status}, stderr {errors[:200]!r}")
    if hashes_seen != HASH_BYTES:
        problems.append(f"{hashes_seen} `#` bytes echoed first, expected {HASH_BYTES}")
    if output_bytes != HASH_BYTES + len(expected_tail) or tail != expected_tail:
        problems.append(f"{output_bytes} bytes of output ending {tail[-200:]!r}, expected "
                        f"{HASH_BYTES + len(expected_tail)} ending {expected_tail[-200:]!r}")
    if peak_kb >= PEAK_LIMIT_KB:
        problems.append(f"peak resident memory {peak_kb} KB, expected under {PEAK_LIMIT_KB} KB")
    return [f"300 MB of `#` then a program: {problem}" for problem in problems]


def peak_so_far_kb(pid):
    """VmHWM of a running process, in kilobytes (0 once it has gone)."""
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def check_endless_zeros(r1c):
    """cat /dev/zero | r1c for two seconds: NUL bytes come out all along. A
    run that holds the bytes back is stopped as soon as it outgrows the bound."""
    source = subprocess.Popen(["cat", "/dev/zero"], stdout=subprocess.PIPE)
    child = subprocess.Popen([r1c], stdin=source.stdout, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    source.stdout.close()
    problems = []
    output_bytes = 0
    halfway_bytes = None
    start = time.monotonic()
    while True:
        elapsed = time.monotonic() - start
        if halfway_bytes is None and elapsed >= ZERO_RUN_SECONDS / 2:
            halfway_bytes = output_bytes
        if elapsed >= ZERO_RUN_SECONDS and output_bytes >= ZERO_MIN_OUTPUT:
            break
        if elapsed >= ZERO_GIVE_UP_SECONDS:
            problems.append(f"only {output_bytes} bytes of output")
            break
        if peak_so_far_kb(child.pid) >= PEAK_LIMIT_KB:
            break  # reported below, from the final peak
        readable, _, _ = select.select([child.stdout], [], [], 0.1)
        if not readable:
            continue
        piece = child.stdout.read1(CHUNK)
        if not piece:
            problems.append(f"output ended after {output_bytes} bytes")
            break
        if piece.count(0) != len(piece):
            problems.append(f"a byte other than NUL after {output_bytes} bytes: {piece[:80]!r}")
            break
        output_bytes += len(piece)
    if halfway_bytes is not None and output_bytes <= halfway_bytes:
        problems.append(f"output stopped growing at {output_bytes} bytes")
    child.kill()
    child.stdout.close()
    status, peak_kb = wait_with_usage(child.pid)
    source.kill()
    source.wait()
    if status != -signal.SIGKILL:
        problems.append(f"status {status} before it was stopped")
    if peak_kb >= PEAK_LIMIT_KB:
        problems.append(f"peak resident memory {peak_kb} KB, expected under {PEAK_LIMIT_KB} KB")
    return [f"/dev/zero through a pipe: {problem}" for problem in problems]


def main():
    r1c = sys.argv[1]
    if b"__asan_init" in Path(r1c).read_bytes():
        print("skipped: a sanitizer build's shadow memory alone exceeds the memory bound")
        return 77
    if not shutil.which("cat") or not os.path.exists("/dev/zero"):
        print("skipped: cat or /dev/zero is missing")
        return 77
    return programs.run_checks([check_hashes_then_program, check_endless_zeros], r1c)


if __name__ == "__main__":
    sys.exit(main())
