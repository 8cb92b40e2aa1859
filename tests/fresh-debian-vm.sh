#!/usr/bin/env bash
# The same proof as tests/fresh-debian.sh, on a machine that runs 32-bit code
# even when this one cannot: the bare Debian 12 gets Debian's own kernel
# (IA32 emulation built in) and boots in qemu, under software emulation when
# there is no /dev/kvm. Inside, a small init brings up the network, clones
# this commit and runs `scripts/run --screenshot` and then `scripts/test` as
# root. Each step's log goes to the serial console, which is kept here.
#   tests/fresh-debian-vm.sh [DIR]
# DIR (default build/fresh-debian-vm) is made anew; console.log, the two
# logs and the screenshot are left there. Needs root, Debian's archive, about
# 45 GB of sparse disk (about 9 GB used), and about 75 minutes on 2 cores
# without KVM.
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"

dir=$(realpath -m "${1:-$TAVREL_BUILD/fresh-debian-vm}")
root=$dir/root
[ "$(id -u)" -eq 0 ] || die "Run it as root: debootstrap needs it"
tools=()
[ -x /usr/sbin/debootstrap ] || tools+=(debootstrap)
[ -x /usr/bin/qemu-system-x86_64 ] || tools+=(qemu-system-x86)
[ ${#tools[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${tools[@]}" >/dev/null || die "Could not install ${tools[*]}"

# debootstrap can leave /proc mounted in the root it made: unmount whatever is
# mounted there before copying or removing it.
unmount_inside() {
    local m
    for m in proc sys dev; do mountpoint -q "$root/$m" && { umount -R "$root/$m" || umount -lR "$root/$m"; }; done
    return 0
}
unmount_inside
rm -rf --one-file-system "$dir"
mkdir -p "$dir"
say "Making a bare Debian 12 with a kernel in $root ..."
# Beyond minbase: the kernel, and what the init below needs to reach the
# archive. The user of a bare system brings git and the checkout.
debootstrap --variant=minbase --include=linux-image-amd64,kmod,iproute2,git,ca-certificates \
    bookworm "$root" >"$dir/debootstrap.log" 2>&1 ||
    die "debootstrap failed; see $dir/debootstrap.log"
unmount_inside
missing=0
for f in usr/bin/wine usr/bin/wineserver usr/lib/wine; do [ -e "$root/$f" ] || missing=$((missing + 1)); done
say "Before: $missing of the three Wine paths missing"
git -C "$TAVREL_ROOT" bundle create "$root/tavrel.bundle" HEAD >/dev/null 2>&1 || die "git bundle failed"
echo 'nameserver 10.0.2.3' >"$root/etc/resolv.conf"
cat >"$root/init.sh" <<'EOF'
#!/bin/bash
# PID 1 of the proof: no systemd, no udev.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb LANG=C.UTF-8
# The initramfs hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run; mount -o remount,rw /
exec >/dev/ttyS0 2>&1
modprobe -a virtio_pci virtio_net
for i in 1 2 3 4 5 6 7 8 9 10; do nic=$(ls /sys/class/net | grep -vx lo | head -n 1); [ -n "$nic" ] && break; sleep 1; done
ip link set lo up; ip link set "$nic" up
ip addr add 10.0.2.15/24 dev "$nic"; ip route add default via 10.0.2.2
echo "== kernel $(uname -r), $(nproc) cores, $(grep -c . /proc/cpuinfo) cpuinfo lines =="
step() {  # NAME COMMAND: the command's log on the console as it goes, then its status and time
    local start=$(date +%s) rc
    bash -c "$2" 2>&1 | tee "/proof/$1.log"; rc=${PIPESTATUS[0]}
    echo "== $1: status $rc, $(($(date +%s) - start)) s =="
}
mkdir -p /proof
git -c advice.detachedHead=false clone -q /tavrel.bundle /src/tavrel
step run 'cd /src/tavrel && scripts/run --screenshot'
cp /src/tavrel/build/screenshots/tavrel.png /proof/ 2>/dev/null
step test 'cd /src/tavrel && scripts/test'
echo "== proof done =="
sync; mount -o remount,ro / 2>/dev/null; echo o >/proc/sysrq-trigger; sleep 60
EOF
chmod +x "$root/init.sh"
cp "$root"/boot/vmlinuz-* "$dir/vmlinuz" && cp "$root"/boot/initrd.img-* "$dir/initrd" ||
    die "The kernel or its initrd is missing from $root/boot"
truncate -s 45G "$dir/disk.img"
mkfs.ext4 -q -F -d "$root" "$dir/disk.img" || die "mkfs.ext4 could not fill the disk image"

accel=tcg,thread=multi
[ -w /dev/kvm ] && accel=kvm
say "Booting it ($accel) ..."
start=$(date +%s)
# Without SMAP: qemu 7.2's emulation faults Wine's 32-bit code at an iret
# ("supervisor read access in user mode") when the guest kernel enables it.
qemu-system-x86_64 -machine q35 -accel $accel -cpu max,-smap -smp "$(nproc)" -m 6G -display none -no-reboot \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd" \
    -append "root=/dev/vda rw console=ttyS0 init=/init.sh quiet" \
    -drive file="$dir/disk.img",format=raw,if=virtio \
    -netdev user,id=n0 -device virtio-net-pci,netdev=n0 \
    -serial file:"$dir/console.log" -monitor none </dev/null >"$dir/qemu.log" 2>&1
say "The machine stopped after $(($(date +%s) - start)) s"
for f in run.log test.log tavrel.png; do debugfs -c -R "dump /proof/$f $dir/$f" "$dir/disk.img" >/dev/null 2>&1; done
grep '^== ' "$dir/console.log" >&2
grep -q '^== test: status 0' "$dir/console.log"
