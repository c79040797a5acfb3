#!/usr/bin/env bash
# The package on a Debian 12 that has never seen a build: builds it (scripts/package.sh),
# makes a minimal Debian 12 with debootstrap in a temporary folder (none of the build's
# packages are there), installs the package there with apt-get, runs the three
# programs, has sorvane-cli talk to the installed sorvane-sim over loopback, removes
# the package and checks that nothing of it is left in /usr. Needs root, debootstrap
# (scripts/install-deps.sh) and the Debian mirror; takes some minutes, so it runs
# apart from ctest:
#
#   sudo bash scripts/package-test.sh
#
# SORVANE_PACKAGE_BUILD and SORVANE_JOBS pass to scripts/package.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(bash "$root/scripts/package.sh" | tail -n 1)
mirror=http://deb.debian.org/debian

target=$(mktemp -d /tmp/sorvane-chroot.XXXXXX)
mounted=()
cleanup() {
    for m in "${mounted[@]}"; do
        umount "$m" 2>/dev/null || true
    done
    rm -rf --one-file-system "$target"
}
trap cleanup EXIT
fail() {
    echo "package test: FAILED: $*" >&2
    exit 1
}
in_target() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }

mkdir -p /var/cache/sorvane-debootstrap
debootstrap --variant=minbase --cache-dir=/var/cache/sorvane-debootstrap bookworm "$target" "$mirror" >"$target.log" 2>&1 || { tail "$target.log"; fail debootstrap; }
rm -f "$target.log"
cat >"$target/etc/apt/sources.list" <<LIST
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
LIST
mount -t proc proc "$target/proc" && mounted+=("$target/proc")
for p in qt6-base-dev zlib1g-dev g++ cmake libtesseract-dev; do
    in_target dpkg-query -W "$p" >/dev/null 2>&1 && fail "the minimal system has the build package $p"
done

cp "$deb" "$target/tmp/"
in_target apt-get update -qq
DEBIAN_FRONTEND=noninteractive in_target apt-get install -y -qq "./tmp/$(basename "$deb")" >/dev/null ||
    fail "apt-get install"
in_target sorvane-cli --version
in_target sorvane --version
in_target sorvane-sim --help >"$target/tmp/sim-help" || fail "sorvane-sim --help"
head -n 2 "$target/tmp/sim-help"
in_target sh -c '
    sorvane-sim --host 127.0.0.1 --port 0 --once >/tmp/sim.out &
    for i in $(seq 100); do grep -q "^ready" /tmp/sim.out && break; sleep 0.1; done
    port=$(sed -n "s/^tcp 127.0.0.1 //p" /tmp/sim.out)
    sorvane-cli --host 127.0.0.1 --port "$port" info' >"$target/tmp/info" || fail "sorvane-cli info"
cat "$target/tmp/info"
grep -qx "name: Sorvane Sim" "$target/tmp/info" || fail "sorvane-cli info names no device"

DEBIAN_FRONTEND=noninteractive in_target apt-get remove -y -qq sorvane >/dev/null || fail "apt-get remove"
left=$(in_target find /usr -path "*sorvane*")
[ -z "$left" ] || fail "left in /usr after apt-get remove: $left"
echo "package test: passed ($(basename "$deb"))"
