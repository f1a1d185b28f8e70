#!/usr/bin/env bash
# Wine's debugger reads the shipped tool's symbols from a symbol store: the tool (the store's copy, with no
# PDB beside it) is stopped in a function of its own, and the backtrace names the tool's functions with
# file and line, live and again from a minidump written at that point. A store that holds the PDB of
# another build must give no names. Wine 8 does not walk the store's two-tier layout, so the symbol path
# lists the store's folders.
#   DebuggerFromStore.sh <python> <scripts/symbol-store> <wine-run> <remediation.exe> <another build's remediation.exe>
#                        <work folder>
set -euo pipefail
python=$1 store_script=$(realpath "$2") wine=$3 program=$4 other=$5 work=$6
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# The symbol path of the store <name>: its folders, each holding one program or PDB.
symbol_path() {
    printf 'Z:%s;' "$work/$1"/*/* | tr / '\\'
}

# Runs the program of the store <name> under the debugger, from a folder of its own, to a stop in a function
# of the tool; its backtrace goes to <name>-live.txt, and a minidump written there to <name>-run/stop.dmp.
debug_live() {
    mkdir -p "$work/$1-run"
    cd "$work/$1-run"
    printf 'break Quelvo::LowerCasedCommandLine\ncont\nbt\nminidump stop.dmp\nkill\nquit\n' >live.cmd
    _NT_SYMBOL_PATH=$(symbol_path "$1") "$wine" winedbg --file live.cmd "$work/$1"/remediation.exe/*/remediation.exe \
        '/av /update' >"$work/$1-live.txt" 2>&1 || true
}

# Reads the minidump <dump> back with the symbols of the store <name>; the backtrace goes to <name>-dump.txt.
debug_dump() {
    cd "$work/$1-run"
    printf 'bt\nquit\n' >dump.cmd
    _NT_SYMBOL_PATH=$(symbol_path "$1") "$wine" winedbg --file dump.cmd "$2" >"$work/$1-dump.txt" 2>&1 || true
}

# The backtrace's frames of the tool's functions, with the source file and line of each.
names_with_lines() {
    grep -q -E '^=>0 .* Quelvo::LowerCasedCommandLine\(.*\) \[[^]]*\\app\\CommandLine\.cpp:[0-9]+\] in remediation' "$1" &&
        grep -q -E ' Quelvo::RunTool\+0x[0-9a-f]+\(.*\) \[[^]]*\\app\\Dispatch\.cpp:[0-9]+\] in remediation' "$1"
}

expect() {
    local expected=$1 file=$2 what=$3 actual=fails
    names_with_lines "$work/$file" && actual=names
    if [ "$actual" = "$expected" ]; then
        echo "debugger: $what: $actual, as it must"
        # The first backtrace's top frames, or what the debugger said instead.
        awk '/^=>0 |^  [1-5] |^No symbols/ { print "    " substr($0, 1, 150) } /^  5 / { exit }' "$work/$file"
    else
        echo "debugger: $what: $actual, but it must be that it $expected"
        sed 's/^/    /' "$work/$file"
        failures=$((failures + 1))
    fi
}

failures=0
"$python" "$store_script" "$work/own" "$program" "${program%.exe}.pdb"
# The store script refuses the other build's PDB for the program; the other store holds both as a store
# of two releases would, our program and the other build's PDB.
if "$python" "$store_script" "$work/refused" "$program" "${other%.exe}.pdb" 2>&1; then
    echo "debugger: the store script took the PDB of another build"
    failures=$((failures + 1))
fi
"$python" "$store_script" "$work/other" "$other" "${other%.exe}.pdb" >/dev/null
rm -r "$work/other/remediation.exe"
cp -r "$work/own/remediation.exe" "$work/other/"

debug_live own
debug_dump own stop.dmp
debug_live other
debug_dump other "$work/own-run/stop.dmp"
expect names own-live.txt "live, from the store"
expect names own-dump.txt "minidump, from the store"
expect fails other-live.txt "live, the store holding another build's PDB"
expect fails other-dump.txt "minidump, the store holding another build's PDB"
exit $((failures > 0))
