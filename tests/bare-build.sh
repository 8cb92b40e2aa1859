#!/usr/bin/env bash
# Builds both programs of this commit in a bare Debian 12, as on a new user's
# machine: a fresh copy of a debootstrap minbase root, the scripts' own
# install step (ensure_tools) inside it, then both presets' Tavrel and
# tavrelc. What this machine has installed by hand cannot hide a missing step.
# The bare root and the downloaded packages are kept between runs in
# TAVREL_BARE_CACHE (default /var/cache/tavrel-bare); the root itself is never
# installed into. Ends with one line, "bare Debian 12 build: passed|failed|
# skipped: ...", and exits 1 only when the build failed. It skips, and says
# why, without root or debootstrap, without 5 GiB of free disk, or when
# Debian's archive cannot be reached for something the cache lacks.
#   tests/bare-build.sh
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"

cache=$(realpath -m "${TAVREL_BARE_CACHE:-/var/cache/tavrel-bare}")
base=$cache/bookworm-minbase
debs=$cache/debs
work=$cache/work
started=$(date +%s)
outcome() {  # WORD TEXT: the closing line
    echo "bare Debian 12 build: $1: $2 ($(($(date +%s) - started)) s)"
    [ "$1" != failed ]
    exit
}
# apt's and debootstrap's own words when the archive cannot be reached; a
# mirror caught mid-sync fails one index, which is not that.
unreachable() {
    grep -Eqi 'Temporary failure resolving|Could not resolve|Unable to connect|Connection (failed|refused|timed out)|Network is unreachable|Failed getting release file|Couldn.t download|Failed to fetch .*\.deb' "$1"
}

[ "$(id -u)" -eq 0 ] || outcome skipped "it needs root, for debootstrap and chroot"
if [ ! -x /usr/sbin/debootstrap ]; then
    { apt-get update -qq; DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        debootstrap; } >/dev/null 2>&1 || outcome skipped "debootstrap is missing and apt-get could not install it"
fi
mkdir -p "$debs"
# The copy, its packages and both builds take about 3.5 GiB while it runs.
free=$(df --output=avail -k "$cache" | tail -n 1)
[ "${free:-0}" -ge $((5 * 1024 * 1024)) ] ||
    outcome skipped "only $((${free:-0} / 1024)) MiB free in $cache, and the build needs about 5 GiB"
exec {lock}>"$cache/.lock"
flock "$lock"

if [ ! -f "$base/.complete" ]; then
    say "Making the bare Debian 12 root in $base (once) ..."
    rm -rf --one-file-system "$base"
    if ! debootstrap --variant=minbase --cache-dir="$debs" bookworm "$base" >"$cache/debootstrap.log" 2>&1; then
        # debootstrap may leave /proc mounted inside what it made.
        umount -lR "$base/proc" 2>/dev/null
        unreachable "$cache/debootstrap.log" && outcome skipped "Debian's archive could not be reached by debootstrap"
        outcome failed "debootstrap failed; see $cache/debootstrap.log"
    fi
    umount -lR "$base/proc" 2>/dev/null
    touch "$base/.complete"
fi

# A copy of the bare root for this run alone, and a clean copy of the commit.
rm -rf --one-file-system "$work"
cp -a "$base" "$work" || outcome failed "could not copy $base"
cp /etc/resolv.conf "$work/etc/resolv.conf"
mkdir -p "$work/src/tavrel"
git -C "$TAVREL_ROOT" archive HEAD | tar -x -C "$work/src/tavrel" || outcome failed "git archive of HEAD failed"
commit=$(git -C "$TAVREL_ROOT" rev-parse --short HEAD)

# Mounts live in a namespace of their own and go with it, even when the run
# is killed. The packages apt downloads land in the cache.
inside() {  # LOG COMMAND
    unshare --mount --propagation private sh -c '
        mount -t proc proc "$1/proc" && mount --rbind /dev "$1/dev" &&
        mount --bind "$2" "$1/var/cache/apt/archives" &&
        exec chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb \
            LANG=C.UTF-8 bash -c "$3"' sh "$work" "$debs" "$2" >"$1" 2>&1
}
log=$cache/install.log
# ensure_tools refreshes the lists debootstrap fetched where the archive
# answers; the packages kept in the cache install even where it does not.
if ! inside "$log" 'cd /src/tavrel && . scripts/lib.sh && ensure_tools'; then
    unreachable "$log" && outcome skipped "Debian's archive could not be reached while installing"
    outcome failed "the scripts' install step failed; see $log"
fi
log=$cache/build.log
if ! inside "$log" 'cd /src/tavrel && for arch in i686 x86_64; do
        cmake --preset $arch >/dev/null && cmake --build build/$arch --target Tavrel tavrelc || exit 1
    done'; then
    tail -n 5 "$log" >&2
    outcome failed "commit $commit did not build; see $log"
fi
sizes=
for arch in i686 x86_64; do
    for exe in Tavrel tavrelc; do
        bytes=$(stat -c %s "$work/src/tavrel/build/$arch/$exe.exe") || outcome failed "$arch/$exe.exe is missing"
        sizes+="${sizes:+, }$arch/$exe.exe $(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1024 }') KiB"
    done
done
rm -rf --one-file-system "$work"
outcome passed "commit $commit: $sizes"
