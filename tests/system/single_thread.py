#!/usr/bin/env python3
"""r1c runs on one thread: while it compiles a program of several megabytes
fed slowly through a pipe, the Threads: line of /proc/PID/status, sampled all
along, always reads 1; and a dynamically linked r1c neither needs a thread
library nor imports a function that starts a thread.

usage: single_thread.py R1C
"""
import shutil
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

import programs

MB = 1 << 20
PROGRAM_BYTES = 10 * MB  # asked for; the program comes out at about 7.7 MB
PIECE = 64 << 10
PAUSE_SECONDS = 0.002  # between pieces, so the compile lasts long enough to be watched
LEAST_SAMPLES = 50  # fewer means the run was not watched, whatever it shows
THREAD_LIBRARIES = ("libpthread", "libthr")
THREAD_STARTERS = ("pthread_create", "thrd_create", "clone", "clone3")


def pieces_of(source):
    return (source[start:start + PIECE] for start in range(0, len(source), PIECE))


def drain(stream, sink):
    while piece := stream.read1(MB):
        sink.append(len(piece))


def thread_count(pid):
    """The Threads: figure of a process, or None once it has gone."""
    try:
        status = Path(f"/proc/{pid}/status").read_text()
    except OSError:
        return None
    for line in status.splitlines():
        if line.startswith("Threads:"):
            return int(line.split()[1])
    return None


def check_threads_while_compiling(r1c, work):
    facts = programs.write_blocks(work / "blocks.c", *programs.blocks_for_size(PROGRAM_BYTES))
    source = (work / "blocks.c").read_bytes()
    child = subprocess.Popen([r1c], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    output_sizes = []
    helpers = [threading.Thread(target=programs.feed, args=(child.stdin, pieces_of(source), PAUSE_SECONDS)),
               threading.Thread(target=drain, args=(child.stdout, output_sizes))]
    for helper in helpers:
        helper.start()
    counts = []
    while child.poll() is None:
        count = thread_count(child.pid)
        if count is not None:
            counts.append(count)
    for helper in helpers:
        helper.join()
    errors = child.stderr.read()
    problems = []
    if child.returncode != 0 or errors:
        problems.append(f"status {child.returncode}, stderr {errors[:200]!r}")
    if sum(output_sizes) == 0:
        problems.append("no output")
    if len(counts) < LEAST_SAMPLES:
        problems.append(f"only {len(counts)} samples of the thread count were taken")
    if any(count != 1 for count in counts):
        problems.append(f"thread counts seen: {sorted(set(counts))}, expected only 1")
    return [f"{facts.size} bytes through a pipe: {problem}" for problem in problems]


def dynamic_section(r1c):
    """readelf's dynamic section and dynamic symbols; no section for a static executable."""
    section = subprocess.run(["readelf", "-d", "-W", r1c], capture_output=True, text=True, check=True).stdout
    if "(NEEDED)" not in section:
        return "", ""
    symbols = subprocess.run(["readelf", "--dyn-syms", "-W", r1c], capture_output=True, text=True,
                             check=True).stdout
    return section, symbols


def check_no_thread_library(r1c, _work):
    if not shutil.which("readelf"):
        print("not checked: readelf (binutils) is not installed")
        return []
    try:
        section, symbols = dynamic_section(r1c)
    except subprocess.CalledProcessError as error:
        return [f"linking: readelf cannot read r1c: {error.stderr.strip()}"]
    if not section:
        print("not checked: r1c is linked statically")
        return []
    problems = [f"needs {line.split()[-1]}" for line in section.splitlines()
                if "(NEEDED)" in line and any(name in line for name in THREAD_LIBRARIES)]
    for line in symbols.splitlines():
        fields = line.split()
        # Num: Value Size Type Bind Vis Ndx Name; an import has Ndx UND.
        if len(fields) >= 8 and fields[6] == "UND" and fields[7].split("@")[0] in THREAD_STARTERS:
            problems.append(f"imports {fields[7]}")
    return [f"linking: {problem}" for problem in problems]


def main():
    r1c = sys.argv[1]
    with tempfile.TemporaryDirectory() as directory:
        return programs.run_checks([check_threads_while_compiling, check_no_thread_library], r1c, Path(directory))


if __name__ == "__main__":
    sys.exit(main())
