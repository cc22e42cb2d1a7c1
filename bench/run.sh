#!/usr/bin/env bash
# Builds the release r1c and the benchmark, installs tcc when it is missing,
# and measures r1c on generated programs against tcc and cat.
# Arguments go to r1c_benchmark: --megabytes N (per shape, default 100),
# --runs N (default 5), --seed N, --directory DIR (default /tmp), --shape NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v tcc > /dev/null; then
  echo "installing tcc"
  apt-get install -y -qq tcc > /dev/null 2>&1 ||
    { apt-get update -qq && apt-get install -y -qq tcc > /dev/null; } ||
    echo "tcc could not be installed; measuring without it"
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset release && cmake --build --preset release --target r1c r1c_benchmark; } > "$log" 2>&1; then
  cat "$log"
  exit 1
fi
build-release/bench/r1c_benchmark build-release/r1c "$@"
