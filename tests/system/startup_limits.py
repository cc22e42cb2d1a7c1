#!/usr/bin/env python3
"""Under an address-space limit just above the least a process needs, r1c
never dies by a signal before or after main: wherever a trivial C++ program
linked the same way (startup_probe) starts and exits cleanly with 128 KB less,
r1c ends with status 0, 1 or 2 and at most one line on standard error.

The limit is the one `prlimit --as` sets, applied in the child before exec.
The probe's smallest starting limit is found first; r1c is then swept upward
from there in small steps.

usage: startup_limits.py R1C STARTUP_PROBE
Skipped (77) for a sanitizer build, whose shadow memory needs more address
space than any limit here allows.
"""
import resource
import struct
import subprocess
import sys
from pathlib import Path

KB = 1 << 10
MB = 1 << 20
SLACK = 128 * KB  # r1c's larger image and its own first allocations
STEP = 32 * KB
SWEEP = 8 * MB  # above the probe's floor: past both known failing bands, static and dynamic
PROBE_SEARCH = range(64 * KB, 64 * MB, 64 * KB)
PT_INTERP = 3  # ELF program header type naming the dynamic loader

SOURCE = b"int main() { x = a + b * c; while (x) x = x - 1; }\n"
STACK_OVERFLOW = b"Line: 1 ;yacc stack overflow\n"  # also when the parse stack cannot get memory
OUT_OF_MEMORY = b"out of memory\n"
OUTCOMES = {1: STACK_OVERFLOW, 2: OUT_OF_MEMORY}  # status 0 gives the full report and nothing on stderr


def is_dynamic(path):
    """Whether an ELF executable names a dynamic loader (a PT_INTERP header)."""
    data = Path(path).read_bytes()
    if data[:4] != b"\x7fELF":
        raise ValueError(f"{path} is not an ELF file")
    wide = data[4] == 2
    order = "<" if data[5] == 1 else ">"
    if wide:
        phoff, = struct.unpack_from(order + "Q", data, 32)
        phentsize, phnum = struct.unpack_from(order + "HH", data, 54)
    else:
        phoff, = struct.unpack_from(order + "I", data, 28)
        phentsize, phnum = struct.unpack_from(order + "HH", data, 42)
    return any(struct.unpack_from(order + "I", data, phoff + i * phentsize)[0] == PT_INTERP for i in range(phnum))


def run_limited(program, limit, stdin_bytes=b""):
    def limit_address_space():
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    return subprocess.run([program], input=stdin_bytes, capture_output=True, timeout=60,
                          preexec_fn=limit_address_space)


def probe_starts(probe, limit):
    got = run_limited(probe, limit)
    return got.returncode == 0 and not got.stdout and not got.stderr


def describe(got):
    return f"status {got.returncode}, stderr {got.stderr[:300]!r}, {len(got.stdout)} bytes on stdout"


def main():
    r1c, probe = sys.argv[1], sys.argv[2]
    if b"__asan_init" in Path(r1c).read_bytes():
        print("skipped: a sanitizer build cannot run under an address-space limit")
        return 77
    if is_dynamic(r1c) != is_dynamic(probe):
        print(f"{probe} is not linked like {r1c} (one static, the other dynamic)")
        print("0 passed, 1 failed")
        return 1
    floor = next((limit for limit in PROBE_SEARCH if probe_starts(probe, limit)), None)
    if floor is None:
        print(f"the probe did not start under any limit up to {PROBE_SEARCH[-1]} bytes")
        print("0 passed, 1 failed")
        return 1
    reference = subprocess.run([r1c], input=SOURCE, capture_output=True, timeout=60)
    print(f"{'dynamic' if is_dynamic(r1c) else 'static'} executables; the probe starts from {floor // KB} KB")
    runs = failures = 0
    for limit in range(floor + SLACK, floor + SLACK + SWEEP, STEP):
        if not probe_starts(probe, limit - SLACK):
            continue
        got = run_limited(r1c, limit, SOURCE)
        runs += 1
        if got.returncode == 0:
            sound = got.stdout == reference.stdout and not got.stderr
        else:
            sound = got.stderr == OUTCOMES.get(got.returncode)
        if not sound:
            print(f"under {limit // KB} KB: {describe(got)}")
            failures += 1
    if runs == 0:
        print("no limit was swept: the probe never started with 128 KB less")
        failures = runs = 1
    print(f"{runs - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
