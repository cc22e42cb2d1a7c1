#!/usr/bin/env bash
# Full-scale stress runs (a few minutes, up to about 10 GB of memory and
# 1 GB of disk in WORK_DIR): a 1 GB program, a 100 MB identifier and chains of
# 10,000,000 operators, each with its peak memory per input byte.
# usage: run.sh R1C [WORK_DIR] [stress.py options...]
set -euo pipefail
r1c=$1
work_dir=${2:-$(mktemp -d)}
shift $(( $# < 2 ? $# : 2 ))
exec python3 "$(dirname "$0")/stress.py" "$r1c" "$work_dir" "$@"
