#!/usr/bin/env bash
# bench/instructions.sh R1C [MEGABYTES] [GENERATOR]
#
# Counts the instructions r1c runs per input byte, with valgrind's callgrind,
# on one generated program of each shape (2 MB by default), in total and per
# stage. Instruction counts are deterministic: a change of 2% shows here where
# CPU time on a shared machine hides it. GENERATOR is r1c_generate (by default
# the one beside R1C, in its build's bench/). Functions are put in stages by
# their names; what the compiler inlines counts in the function it went into.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: bench/instructions.sh R1C [MEGABYTES] [GENERATOR]" >&2
  exit 2
fi
r1c=$1
megabytes=${2:-2}
generator=${3:-$(dirname "$r1c")/bench/r1c_generate}
command -v valgrind > /dev/null || { echo "valgrind is needed (apt-get install valgrind)" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Sums callgrind_annotate's own-cost lines by stage and prints one row.
cat > "$scratch/stages.awk" << 'AWK'
function stage(name) {
  if (name ~ /print_tree|write_node_text/) return "tree"
  if (name ~ /write_number|write_small_number|write_eight_digits|write_long_number|temporary_text|write_temporary|reserve_temporary/) return "numbers"
  if (name ~ /generate|walk|emit_|statement|expression|code_of|label_text/) return "code"
  if (name ~ /yyparse|parse<|parse_states|arena_alloc|make_node|rule_value/) return "parser"
  if (name ~ /yylex|skip_|scan_|word_token|identifier_token|refill|read|echo_run/) return "scanner"
  if (name ~ /output_drain|drain_to|send|write_all|out_bytes|write_name_words/) return "output"
  return "other"
}
/PROGRAM TOTALS/ { gsub(",", "", $1); total = $1; next }
/^ *[0-9,]+ +\(/ {
  count = $1
  gsub(",", "", count)
  name = $0
  sub(/^[^)]*\) +/, "", name)
  sub(/ \[[^]]*\]$/, "", name)  # the binary's path
  sub(/^[^:]*:/, "", name)       # the source file's path
  per[stage(name)] += count
}
END {
  printf "%-13s %8.1f %8.1f |", shape, bytes / 1e6, total / bytes
  split("scanner parser tree code numbers output other", order, " ")
  for (i = 1; i <= 7; i++) printf " %8.1f", per[order[i]] / bytes
  printf "\n"
}
AWK

echo "instructions per input byte, total and by stage (callgrind)"
printf '%-13s %8s %8s | %8s %8s %8s %8s %8s %8s %8s\n' shape "input MB" total scanner parser "tree" code numbers output other
for shape in mixed expressions chains declarations nesting; do
  input=$scratch/$shape.c
  "$generator" "$shape" "$megabytes" > "$input"
  valgrind --tool=callgrind --callgrind-out-file="$scratch/$shape.out" "$r1c" < "$input" > /dev/null 2> "$scratch/log" ||
    { cat "$scratch/log" >&2; exit 1; }
  callgrind_annotate --inclusive=no --threshold=100 "$scratch/$shape.out" 2> /dev/null |
    awk -v shape="$shape" -v bytes="$(stat -c %s "$input")" -f "$scratch/stages.awk"
done
