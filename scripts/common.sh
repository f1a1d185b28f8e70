# What the scripts share, sourced by each (bash):
#   step [--quiet] <name> <command> [<argument>...]   a timed step whose failure is named at the end
#   step_summary                                       the final line: the failed steps and the total time
#   install_packages [--no-recommends] <package>...    the missing ones installed at their pinned versions
#   cache_entry <name> <key> <builder> [<argument>...] a cache folder made once, safe to share
#   preset_of_arch <arch>                              the shipped build's preset of an architecture
#   require_build_host <script>                        stops unless root on an amd64 host
# shellcheck shell=bash

quelvo_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/pins
source "$quelvo_source/scripts/pins"

quelvo_script=${0##*/}
die() {
    echo "$quelvo_script: $*" >&2
    exit 1
}

# ---- Steps ----------------------------------------------------------------------------------------
# A step prints "== <name>: <command>", runs the command with errexit on (inside a subshell, so a
# function's commands stop at their first failure), then "== <name>: done in N s" or, on failure,
# "== <name>: FAILED ..." with the command and the tail of its log. The log of every step is kept
# under $step_logs. --quiet shows only the progress lines ("== ...") of the steps inside the command.
step_logs=${step_logs:-$quelvo_source/build/logs}
step_failed=()
step_started=$SECONDS
step_job=

# Each step runs in a process group of its own, so that an interrupt (Ctrl-C reaches this script, and
# SIGTERM) ends the whole step, whatever it started, before the script's own clean-up (a function
# on_interrupt, when the script defines one) and exit. A script inside a step does the same with its own.
step_interrupt() {
    trap '' INT TERM
    echo "$quelvo_script: interrupted; stopping what it started" >&2
    [ -z "$step_job" ] || kill -TERM -- "-$step_job" 2>/dev/null || true
    if declare -F on_interrupt >/dev/null; then on_interrupt; fi
    exit "$1"
}
trap 'step_interrupt 130' INT
trap 'step_interrupt 143' TERM

step() {
    local quiet=0
    if [ "$1" = --quiet ]; then
        quiet=1
        shift
    fi
    local name=$1
    shift
    local start=$SECONDS log status
    mkdir -p "$step_logs"
    log=$step_logs/$quelvo_script-$(echo "$name" | tr -c 'A-Za-z0-9._\n-' '-').log
    echo "== $name: $*"
    set -m
    (
        set +m
        if [ $quiet -eq 1 ]; then
            (set -e; "$@") 2>&1 | tee "$log" | { grep --line-buffered '^== ' || true; }
        else
            (set -e; "$@") 2>&1 | tee "$log"
        fi
        exit "${PIPESTATUS[0]}"
    ) </dev/null &
    step_job=$!
    set +m
    status=0
    wait "$step_job" || status=$?
    step_job=
    step_result "$name" "$status" "$start" "$log" "$*"
}

# Reports a step that ran elsewhere (a background job): its name, exit status, start time, log and
# command. Returns the status.
step_result() {
    local name=$1 status=$2 start=$3 log=$4 command=$5
    if [ "$status" -eq 0 ]; then
        echo "== $name: done in $((SECONDS - start)) s"
        return 0
    fi
    echo "== $name: FAILED (exit $status) after $((SECONDS - start)) s: $command"
    if [ -s "$log" ]; then
        echo "-- the last lines of $log:"
        tail -n 25 "$log" | sed 's/^/   /'
    fi
    step_failed+=("$name")
    return "$status"
}

# The last line of a run: which steps failed and how long it all took. Returns 1 when any failed.
step_summary() {
    local total=$((SECONDS - step_started)) failed
    if [ ${#step_failed[@]} -eq 0 ]; then
        echo "$quelvo_script: no step failed; total $((total / 60)) min $((total % 60)) s"
        return 0
    fi
    failed=$(printf '%s; ' "${step_failed[@]}")
    echo "$quelvo_script: ${#step_failed[@]} FAILED step(s): ${failed%; }; total $((total / 60)) min $((total % 60)) s"
    return 1
}

# ---- The host -------------------------------------------------------------------------------------
require_build_host() {
    local script=$1
    [ "$(id -u)" -eq 0 ] ||
        die "$script must run as root (sudo $script): it installs packages, registers qemu with the kernel and mounts inside a chroot."
    [ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] ||
        die "$script runs on an amd64 Debian 12 host only: the shipped builds' compilers and the x86_64 Wine are amd64 packages."
}

# ---- Packages -------------------------------------------------------------------------------------
# Installs the missing ones of the named packages in one apt-get run, as root or through sudo, waiting
# for another installation's lock. A package pinned in scripts/pins must be, or become, that version:
# when the host or the archive has another, this stops and names both versions and the file to edit.
apt_lock_wait=(-o DPkg::Lock::Timeout=900)

pinned_version() {
    local entry
    for entry in "${pin_host_packages[@]}"; do
        [ "${entry%%=*}" = "$1" ] && echo "${entry#*=}" && return 0
    done
    return 0
}

installed_version() {
    { dpkg-query -W -f='${Status} ${Version}\n' "$1" 2>/dev/null || true; } | sed -n 's/^install ok installed //p'
}

# True when the archive offers the package at that version (apt-cache show exits 0 even when not).
archive_has() {
    apt-cache madison "$1" | awk -F'|' -v version="$2" '
        { gsub(/ /, "", $2) } $2 == version && $3 ~ / Packages *$/ { found = 1 } END { exit !found }'
}

install_packages() {
    local recommends=() sudo=() package pin installed candidate missing=() wanted=()
    if [ "${1:-}" = --no-recommends ]; then
        recommends=(--no-install-recommends)
        shift
    fi
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    for package in "$@"; do
        pin=$(pinned_version "$package")
        installed=$(installed_version "$package")
        if [ -n "$installed" ]; then
            [ -z "$pin" ] || [ "$installed" = "$pin" ] ||
                die "$package is installed at $installed, but scripts/pins pins $pin: install $package=$pin, or edit scripts/pins to pin $installed (a commit)."
            continue
        fi
        missing+=("$package")
        wanted+=("$package${pin:+=$pin}")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "== packages: installing ${missing[*]}"
    "${sudo[@]}" apt-get "${apt_lock_wait[@]}" update -qq || die "apt-get update failed"
    for package in "${missing[@]}"; do
        pin=$(pinned_version "$package")
        [ -n "$pin" ] || continue
        if ! archive_has "$package" "$pin"; then
            candidate=$(apt-cache policy "$package" | sed -n 's/^ *Candidate: //p')
            die "the archive offers $package ${candidate:-(none)}, but scripts/pins pins $pin: edit scripts/pins to pin ${candidate:-another version} (a commit), or point apt at an archive that keeps $pin."
        fi
    done
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_lock_wait[@]}" install -y -qq \
        "${recommends[@]}" "${wanted[@]}" >/dev/null || die "apt-get install ${wanted[*]} failed"
    echo "== packages: installed ${#missing[@]}"
}

# Stops with a pointer to scripts/bootstrap when a package is missing (for the scripts that only use).
require_packages() {
    local package missing=()
    for package in "$@"; do
        [ -n "$(installed_version "$package")" ] || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] || die "missing ${missing[*]}: run scripts/bootstrap first (as root) to install them."
}

# ---- The cache ------------------------------------------------------------------------------------
# Entries are folders under $cache_root, each named with its key, each published once:
#   - under a lock of its own, with a second look for the entry once the lock is held;
#   - made in a temporary folder beside it (.<name>.tmp.XXXXXX), moved into place with mv -T (which
#     refuses an existing folder), and ready only with a mark (.quelvo-ready) that holds the key;
#   - never deleted: a run removes only its own temporary folder, or one whose lock nobody holds.
cache_root=${QUELVO_CACHE:-/var/cache/quelvo}

# Refuses a cache root that another user owns or that others may write to: its entries are run as root.
cache_check_root() {
    local owner mode
    mkdir -p -m 0755 "$cache_root" || die "cannot create the cache folder $cache_root"
    read -r owner mode < <(stat -L -c '%u %a' "$cache_root")
    [ "$owner" -eq "$(id -u)" ] ||
        die "the cache folder $cache_root belongs to user $owner, not to $(id -un): refusing to use it."
    [ $((8#$mode & 8#022)) -eq 0 ] ||
        die "others may write to the cache folder $cache_root (mode $mode): refusing to use it (chmod go-w)."
}

# Removes temporary folders of interrupted runs: those whose entry's lock nobody holds, and below
# which nothing is mounted.
cache_prune() {
    local tmp name lock
    for tmp in "$cache_root"/.*.tmp.*; do
        [ -d "$tmp" ] || continue
        name=${tmp##*/.}
        name=${name%.tmp.*}
        lock=$cache_root/.$name.lock
        if findmnt -rn -o TARGET | grep -q "^$tmp/"; then
            echo "== cache: $tmp has mounts below it; left alone" >&2
            continue
        fi
        if flock -n "$lock" true 2>/dev/null; then
            echo "== cache: removing $tmp, left by an interrupted run" >&2
            rm -rf --one-file-system "$tmp"
        fi
    done
}

# True when the entry is complete, holds this key, and is ours and not writable by others.
cache_ready() {
    local entry=$1 key=$2 owner mode
    [ -f "$entry/.quelvo-ready" ] && [ "$(cat "$entry/.quelvo-ready")" = "$key" ] || return 1
    read -r owner mode < <(stat -c '%u %a' "$entry")
    [ "$owner" -eq "$(id -u)" ] && [ $((8#$mode & 8#022)) -eq 0 ] ||
        die "$entry belongs to user $owner with mode $mode: refusing to use it."
}

# Prints the entry's folder, making it first when needed: the builder runs as
#   <builder> [<argument>...] <temporary folder>
# with errexit on, and must fill that folder. Progress goes to stderr; the folder is the only output.
# Call it as folder=$(cache_entry ...), not inside a condition (if, ||, &&): there bash ignores errexit
# in everything it runs, and a builder would go on past a failed command.
cache_entry() {
    local name=$1 key=$2
    shift 2
    local entry=$cache_root/$name lock fd tmp status errexit=0
    cache_check_root
    cache_prune
    if cache_ready "$entry" "$key"; then
        echo "$entry"
        return 0
    fi
    lock=$cache_root/.$name.lock
    exec {fd}>"$lock"
    if ! flock -n "$fd"; then
        echo "== cache: waiting for another run making $name" >&2
        flock "$fd"
    fi
    if cache_ready "$entry" "$key"; then
        echo "== cache: $name was made by another run meanwhile" >&2
        exec {fd}>&-
        echo "$entry"
        return 0
    fi
    if [ -e "$entry" ]; then
        exec {fd}>&-
        die "$entry exists without a ready mark for key $key: not made by these scripts; move it away to make it again."
    fi
    tmp=$(mktemp -d "$cache_root/.$name.tmp.XXXXXX")
    chmod 0755 "$tmp"
    # The builder's processes must not hold the lock: a server it leaves behind would keep it forever.
    [[ $- == *e* ]] && errexit=1
    set +e
    eval '(set -e; "$@" "$tmp") '"$fd"'>&- >&2'
    status=$?
    [ $errexit -eq 0 ] || set -e
    if [ $status -ne 0 ]; then
        exec {fd}>&-
        echo "== cache: making $name failed (exit $status); $tmp is kept until a later run prunes it" >&2
        return $status
    fi
    echo "$key" >"$tmp/.quelvo-ready"
    mv -T "$tmp" "$entry"
    exec {fd}>&-
    echo "$entry"
}

# ---- Architectures --------------------------------------------------------------------------------
# The shipped build of each architecture.
preset_of_arch() {
    case $1 in
    x86_64) echo mingw-clang ;;
    aarch64) echo mingw-clang-aarch64 ;;
    *) die "no shipped build for architecture '$1' (x86_64, aarch64)" ;;
    esac
}
