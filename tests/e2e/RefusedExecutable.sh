#!/usr/bin/env bash
# Runs the executable check on a file built before the runtime came from source, and passes only when the
# check refuses it under each completeness rule; prints the check's figures and one line per rule.
#   RefusedExecutable.sh CHECK-COMMAND... EXECUTABLE
set -uo pipefail

output=$("$@" 2>&1)
status=$?
name=$(basename "${*: -1}")
grep "^$name: [0-9]" <<<"$output"
if [ "$status" -eq 0 ]; then
    echo "$name: the check accepted it"
    exit 1
fi
refused=0
for rule in "code pointers missing from the guard table, e.g." "unguarded indirect calls in" \
    "calls outside an unwind entry in"; do
    line=$(grep -m1 -F -- "$rule" <<<"$output" | sed 's/^ *//' | cut -c1-160)
    if [ -n "$line" ]; then
        echo "$name refused: $line"
        refused=$((refused + 1))
    else
        echo "$name: not refused for '$rule'"
    fi
done
[ "$refused" -eq 3 ]
