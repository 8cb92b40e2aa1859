#!/usr/bin/env bash
# Proves the README's two commands on a bare Debian 12: makes one with
# debootstrap (minbase: no Wine, no compilers, no X), clones this commit into
# it, and runs `scripts/run --screenshot` and then `scripts/test` inside it as
# root, with /proc and /dev mounted. Prints each command's closing lines,
# status and time. Not part of scripts/test: it needs root, Debian's archive
# and about half an hour.
#   tests/fresh-debian.sh [--fallback] [DIR]
# --fallback runs scripts/test as on a kernel without 32-bit support: Wine's
# 32-bit loader and server are made to fail with "Exec format error".
# DIR (default build/fresh-debian) is made anew; the screenshot and the test
# log are left there.
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"

fallback=
[ "${1:-}" = --fallback ] && fallback=1 && shift
dir=$(realpath -m "${1:-$TAVREL_BUILD/fresh-debian}")
root=$dir/root
[ "$(id -u)" -eq 0 ] || die "Run it as root: it makes and enters a chroot"
[ -x /usr/sbin/debootstrap ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null ||
    die "Could not install debootstrap"

mounted=()
cleanup() { local m; for m in "${mounted[@]}"; do umount -R "$m" 2>/dev/null; done; }
trap cleanup EXIT
# A run cut short may have left /proc and /dev mounted inside: never follow
# them while removing the old root.
for m in "$root/dev" "$root/proc"; do mountpoint -q "$m" && umount -R "$m"; done
rm -rf --one-file-system "$dir"
mkdir -p "$dir"
say "Making a bare Debian 12 in $root ..."
debootstrap --variant=minbase bookworm "$root" >"$dir/debootstrap.log" 2>&1 ||
    die "debootstrap failed; see $dir/debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" && mounted+=("$root/dev")
git -C "$TAVREL_ROOT" bundle create "$root/tavrel.bundle" HEAD >/dev/null 2>&1 || die "git bundle failed"

inside() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb \
        LANG=C.UTF-8 "$@"
}
say "Before: $(inside sh -c 'ls /usr/bin/wine /usr/bin/wineserver /usr/lib/wine 2>&1 | grep -c "No such"') of the three Wine paths missing"
# The user of a bare system brings git and the checkout.
inside sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends git ca-certificates >/dev/null && git -c advice.detachedHead=false clone -q /tavrel.bundle /src/tavrel' ||
    die "Could not clone the checkout inside"

run_step() {  # NAME COMMAND...
    local name=$1 start rc
    shift
    start=$(date +%s)
    "$@" >"$dir/$name.log" 2>&1
    rc=$?
    say "== $name: status $rc, $(($(date +%s) - start)) s =="
    tail -n 8 "$dir/$name.log" >&2
    return "$rc"
}
force=
[ -n "$fallback" ] && force=TAVREL_NO_32BIT=1
run_step run inside sh -c "cd /src/tavrel && $force scripts/run --screenshot"
cp "$root/src/tavrel/build/screenshots/tavrel.png" "$dir/" 2>/dev/null
if [ -n "$fallback" ]; then
    head -c 64 /dev/zero >"$dir/noexec" && chmod +x "$dir/noexec"
    run_step test unshare -m bash -c "
        mount --bind '$dir/noexec' '$root/usr/lib/wine/wine' &&
        mount --bind '$dir/noexec' '$root/usr/lib/wine/wineserver32' &&
        chroot '$root' /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
            TERM=dumb LANG=C.UTF-8 sh -c 'cd /src/tavrel && TAVREL_NO_32BIT=1 scripts/test'"
else
    run_step test inside sh -c "cd /src/tavrel && scripts/test"
fi
