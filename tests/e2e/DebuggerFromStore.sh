#!/usr/bin/env bash
# Wine's debugger with the store's copy of the tool (no PDB beside it) and only a symbol store's folders as
# its symbol path (Wine 8 does not walk the two-tier layout): stopped in a function of the tool, the
# backtrace names the tool's functions with file and line, live and from a minidump written there. A
# store holding another build's PDB instead gives no names.
#   DebuggerFromStore.sh <python> <scripts/symbol-store> <wine-run> <remediation.exe> <another build's .exe> <work>
set -euo pipefail
python=$1 store=$(realpath "$2") wine=$3 program=$4 other=$5 work=$6
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")

# debug <store> <minidump to read back>: the live backtrace into <store>-live.txt, the dump's into <store>-dump.txt.
debug() {
    local path
    path=$(printf 'Z:%s;' "$work/$1"/*/* | tr / '\\') && mkdir -p "$work/$1-run" && cd "$work/$1-run"
    printf 'break Quelvo::LowerCasedCommandLine\ncont\nbt\nminidump stop.dmp\nkill\nquit\n' >live.cmd
    printf 'bt\nquit\n' >dump.cmd
    _NT_SYMBOL_PATH=$path "$wine" winedbg --file live.cmd "$work/$1"/remediation.exe/*/remediation.exe '/av /update' \
        >"$work/$1-live.txt" 2>&1 || true
    _NT_SYMBOL_PATH=$path "$wine" winedbg --file dump.cmd "$2" >"$work/$1-dump.txt" 2>&1 || true
}

failures=0
expect() { # <names|fails> <backtrace file>: the tool's frames with their source file and line, or none
    local actual=fails line=':[0-9]+\] in remediation'
    grep -q -E "^=>0 .* Quelvo::LowerCasedCommandLine\(.*\) \[[^]]*\\\\app\\\\CommandLine\.cpp$line" "$work/$2" &&
        grep -q -E " Quelvo::RunTool\+0x[0-9a-f]+\(.*\) \[[^]]*\\\\app\\\\Dispatch\.cpp$line" "$work/$2" && actual=names
    [ "$actual" = "$1" ] && echo "debugger: $2: $actual, as it must" || {
        echo "debugger: $2: $actual, but it must be that it $1"
        failures=$((failures + 1))
    }
    # The first backtrace's top frames, or what the debugger said instead.
    awk '/^=>0 |^  [1-5] |^No symbols/ { print "    " substr($0, 1, 150) } /^  5 / { exit }' "$work/$2"
}

"$python" "$store" "$work/shipped" "$program" "${program%.exe}.pdb"
# The other build's PDB is refused for the program; the other store holds both as a store of two releases.
! "$python" "$store" "$work/refused" "$program" "${other%.exe}.pdb" 2>&1 || failures=$((failures + 1))
"$python" "$store" "$work/other-build" "$other" "${other%.exe}.pdb" >/dev/null
rm -r "$work/other-build/remediation.exe" && cp -r "$work/shipped/remediation.exe" "$work/other-build/"

debug shipped "$work/shipped-run/stop.dmp"
debug other-build "$work/shipped-run/stop.dmp"
expect names shipped-live.txt
expect names shipped-dump.txt
expect fails other-build-live.txt
expect fails other-build-dump.txt
exit $((failures > 0))
