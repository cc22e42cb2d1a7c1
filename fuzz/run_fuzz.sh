#!/usr/bin/env bash
# Runs a fuzz target for a bounded time, seeded with the inputs listed in
# FUZZER.seeds (one path a line, written by fuzz/CMakeLists.txt) and with the
# dictionary FUZZER.dict if there is one. Exits non-zero on any finding;
# findings are kept in WORK_DIR/findings.
# usage: run_fuzz.sh FUZZER SOURCE_DIR WORK_DIR SECONDS [libFuzzer options...]
set -euo pipefail
fuzzer=$1 source_dir=$2 work_dir=$3 seconds=$4
shift 4

mkdir -p "$work_dir/corpus" "$work_dir/findings"
rm -rf "$work_dir/seeds"
mkdir -p "$work_dir/seeds"
# One seed file per input, named after its path so none overwrites another.
while IFS= read -r -d '' seed; do
  name=${seed#"$source_dir"/}
  cp "$seed" "$work_dir/seeds/${name//\//_}"
done < <(tr '\n' '\0' < "$fuzzer.seeds")
dict=()
[ -e "$fuzzer.dict" ] && dict=(-dict="$fuzzer.dict")

# The whole log goes to a file; the summary (or, on a finding, the end of the
# log with the report) to standard output.
log=$work_dir/fuzz.log
status=0
"$fuzzer" -max_total_time="$seconds" -max_len=32768 -timeout=10 -rss_limit_mb=2048 \
  "${dict[@]}" -artifact_prefix="$work_dir/findings/" -print_final_stats=1 \
  "$@" "$work_dir/corpus" "$work_dir/seeds" > "$log" 2>&1 || status=$?

findings=$(find "$work_dir/findings" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  tail -n 60 "$log"
  echo "fuzzing failed: status $status, $findings finding(s) in $work_dir/findings" >&2
  exit 1
fi
grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+(INITED|DONE)|stat::)' "$log"
