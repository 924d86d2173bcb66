#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 chroot as a user would (apt pulls its
# dependencies), uses it, purges it and checks that none of its files are left.
# usage: install-in-chroot.sh PACKAGE.deb   (as root; needs debootstrap and Debian's mirror)
set -euo pipefail
deb=$(realpath "$1")
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
if [ "$(id -u)" -ne 0 ]; then echo "install-in-chroot.sh: needs root (chroot, mount)"; exit 1; fi
command -v debootstrap >/dev/null || { echo "install-in-chroot.sh: debootstrap is not installed"; exit 1; }
root=$(mktemp -d /var/tmp/tarvelle-chroot.XXXXXX)
chmod 755 "$root"  # a root folder readable by the chroot's own users (_apt, man)
log=$root.log
cleanup() {
  umount "$root/dev/pts" "$root/proc" 2>/dev/null || true
  rm -rf --one-file-system "$root" "$log"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== debootstrap bookworm into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log" 2>&1 \
  || { tail -20 "$log"; fail "debootstrap could not make the chroot (is $mirror reachable?)"; }
mount -t proc proc "$root/proc"
mount -t devpts devpts "$root/dev/pts"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
# apt's chatter goes to the log, shown when a step fails.
quiet() { "$@" >>"$log" 2>&1 || { tail -30 "$log"; return 1; }; }

echo "== apt install ./$(basename "$deb")"
quiet in_root apt-get update -qq
# man-db: to read the manual page as a user would; Debian's minbase drops manual pages unless
# dpkg is told to keep them.
rm -f "$root/etc/dpkg/dpkg.cfg.d/excludes"
quiet in_root apt-get install -y -qq man-db
quiet in_root apt-get install -y -qq "/tmp/$(basename "$deb")" || fail "apt install"
in_root dpkg -L tarvelle | sort >"$root/tmp/files"

echo "== the installed programs"
in_root tarvelle-export --help >/dev/null || fail "tarvelle-export --help"
in_root sh -c 'MANWIDTH=80 man tarvelle-export | grep -q "tarvelle-export"' || fail "man tarvelle-export"
in_root tarvelle-verify --help >/dev/null || fail "tarvelle-verify --help"

echo "== apt purge tarvelle"
quiet in_root apt-get purge -y -qq tarvelle || fail "apt purge"
left=""
while read -r path; do
  [ -n "$path" ] || continue
  # Folders shared with other packages (/usr/bin, /usr/share/...) stay; files must go.
  if [ -e "$root$path" ] && [ ! -d "$root$path" ]; then left+="$path"$'\n'; fi
  if [ -d "$root$path" ] && [[ "$path" == */tarvelle* ]]; then left+="$path/"$'\n'; fi
done <"$root/tmp/files"
[ -z "$left" ] || fail "left after purge: $left"
echo "package install, use and purge passed in a fresh Debian 12 chroot"
