#!/usr/bin/env bash
# Runs the executable check on a file that it must refuse, and passes only when the check refuses it under
# each completeness rule; prints the check's figures and one line per rule. With --names for a rule, the
# refusal must name exactly those symbols (the missing code pointers' targets, or the functions holding
# the calls), so that a file planted with known gaps shows each gap found and nothing else taken for one.
#   RefusedExecutable.sh [--names pointers|calls|unwind=NAME[,NAME...]]... CHECK-COMMAND... EXECUTABLE
set -uo pipefail

# Each rule's refusal, not the lines about its listed exceptions ("0 calls outside an unwind entry in
# __clang_call_terminate, listed 2").
declare -A rules=([pointers]="code pointers missing from the guard table"
    [calls]="unguarded indirect calls in [0-9]+ functions" [unwind]="calls outside an unwind entry in [0-9]+ functions")
declare -A wanted=()
while [ "${1:-}" = --names ]; do
    rule=${2%%=*}
    [ -n "${rules[$rule]:-}" ] || { echo "RefusedExecutable.sh: no rule '$rule'" >&2; exit 2; }
    wanted[$rule]=$(tr ',' '\n' <<<"${2#*=}" | sort | paste -sd,)
    shift 2
done

output=$("$@" 2>&1)
status=$?
name=$(basename "${*: -1}")
grep "^$name: [0-9]" <<<"$output"
if [ "$status" -eq 0 ]; then
    echo "$name: the check accepted it"
    exit 1
fi
refused=0
for rule in pointers calls unwind; do
    line=$(sed 's/^ *//' <<<"$output" | grep -m1 -E -- "^[0-9]+ ${rules[$rule]}, e\.g\. ")
    if [ -z "$line" ]; then
        echo "$name: not refused for '${rules[$rule]}'"
        continue
    fi
    echo "$name refused: $(cut -c1-160 <<<"$line")"
    if [ -n "${wanted[$rule]:-}" ]; then
        # "<n> code pointers missing ..., e.g. A, B" or "<calls> ... in <n> functions, e.g. A 2, B 1": the
        # count of pointers or functions, and their names (at most eight), against the names wanted.
        count=$(sed -E 's/ functions, e\.g\. .*//; s/^([0-9]+) code pointers.*/\1/; s/.* in ([0-9]+)$/\1/' <<<"$line")
        named=$(sed 's/.*, e\.g\. //' <<<"$line" | sed 's/, /\n/g' | cut -d' ' -f1 | sort | paste -sd,)
        if [ "$named" != "${wanted[$rule]}" ] || [ "$count" != "$(tr ',' '\n' <<<"$named" | wc -l)" ]; then
            echo "$name: refused for '${rules[$rule]}' with $count, named $named; wanted exactly ${wanted[$rule]}"
            continue
        fi
    fi
    refused=$((refused + 1))
done
[ "$refused" -eq 3 ]
