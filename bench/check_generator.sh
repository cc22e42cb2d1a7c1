#!/usr/bin/env bash
# check_generator.sh R1C_GENERATE R1C: generates a small program of every
# shape twice with one seed and checks that both are the same bytes, that r1c
# accepts the program (exit status 0, so the parse stack held) and that a C
# compiler, if there is one, finds it valid C.
set -euo pipefail
generate=$1
r1c=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c_compiler=$(command -v cc || command -v gcc || true)
failed=0
for shape in mixed expressions chains declarations nesting; do
  "$generate" "$shape" 0.4 7 > "$work/$shape.c"
  "$generate" "$shape" 0.4 7 > "$work/again.c"
  if ! cmp -s "$work/$shape.c" "$work/again.c"; then
    echo "$shape: the same seed gave different programs"
    failed=1
  fi
  status=0
  "$r1c" < "$work/$shape.c" > /dev/null 2> "$work/stderr" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$shape: r1c exit status $status: $(cat "$work/stderr")"
    failed=1
  fi
  if [ -n "$c_compiler" ] && ! "$c_compiler" -fsyntax-only -w -x c "$work/$shape.c"; then
    echo "$shape: not valid C"
    failed=1
  fi
done
exit $failed
