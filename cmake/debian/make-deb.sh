#!/usr/bin/env bash
# Turns an installed tree into the Debian package: strips the binaries as
# dh_strip does, takes the library dependencies from dpkg-shlibdeps, fills the
# control file and builds the archive with root as the owner of every file.
# Reproducible when SOURCE_DATE_EPOCH is set.
# Usage: make-deb.sh ROOT CONTROL_TEMPLATE OUT.deb
set -euo pipefail
root=$1 template=$2 out=$3

mapfile -t elves < <(find "$root" -type f -exec sh -c \
  'head -c 4 "$1" | grep -q "ELF" && echo "$1"' sh {} \;)
for f in "${elves[@]}"; do
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$f"
done

# dpkg-shlibdeps runs where a debian/control exists; an empty one serves.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/debian"
: >"$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O "${elves[@]}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$shlibs" ] || { echo "make-deb: no library dependencies found" >&2; exit 1; }

mkdir -p "$root/DEBIAN"
size=$(du -k -s --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/%SHLIBS_DEPENDS%/$shlibs/" -e "s/%INSTALLED_SIZE%/$size/" "$template" >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >DEBIAN/md5sums)
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod go-w {} +
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
# With SOURCE_DATE_EPOCH every file gets that time, and dpkg-deb uses it for
# the archive's own, so the same tree gives the same bytes.
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
fi
dpkg-deb --root-owner-group -Zxz --build "$root" "$out" >/dev/null
echo "$out"
