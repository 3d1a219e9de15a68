#!/usr/bin/env bash
# The Debian package as a user gets it: its control fields, its file list, and
# the installed files at work from a scratch root (dpkg -x), as korva-host,
# lilv and a host find them there.
# Usage: check_package.sh korva_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d /tmp/korva-package-XXXXXX)
trap 'rm -rf "$root"' EXIT
status=0
fail() {
  echo "package: $1"
  status=1
}
field() { dpkg-deb -f "$deb" "$1"; }

version=$(field Version)
[ "$(basename "$deb")" = "korva_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"
[ "$(field Package)" = korva ] || fail "Package is $(field Package)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is $(field Architecture)"
depends=", $(field Depends),"
for dep in libc6 libcairo2 libx11-6 libxkbcommon0 liblilv-0-0 libsndfile1 \
  "fonts-liberation | fonts-liberation2"; do
  [[ $depends == *", $dep"[\ ,]* ]] || fail "Depends lacks $dep: $depends"
done
[ "$(field Recommends)" = "zenity | kdialog" ] || fail "Recommends is \"$(field Recommends)\""

# Regular files: path, mode and owner; directories are not listed.
listing=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {print $1, $2, $6}' | sed 's| \./| /|' | LC_ALL=C sort)
files=$(awk '{print $3}' <<<"$listing" | grep -v '^/usr/share/korva/presets/' | LC_ALL=C sort)
expected="/usr/bin/korva-host
/usr/lib/lv2/korva.lv2/korva.ttl
/usr/lib/lv2/korva.lv2/korva_lv2.so
/usr/lib/lv2/korva.lv2/manifest.ttl
/usr/lib/lv2/korva.lv2/presets.ttl
/usr/lib/vst/korva.so
/usr/libexec/korva/korva-host-validate
/usr/share/doc/korva/README.md.gz
/usr/share/doc/korva/changelog.gz
/usr/share/doc/korva/copyright
/usr/share/man/man1/korva-host.1.gz"
[ "$files" = "$expected" ] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$files") || true)"
presets=$(grep -c ' /usr/share/korva/presets/[^/]*\.fxp$' <<<"$listing" || true)
[ "$presets" -eq 17 ] || fail "$presets factory presets, not 17"
while read -r mode owner path; do
  want=-rw-r--r--
  [[ $path == /usr/bin/* || $path == /usr/libexec/* ]] && want=-rwxr-xr-x
  [ "$mode" = "$want" ] || fail "$path has mode $mode"
  [ "$owner" = root/root ] || fail "$path belongs to $owner"
done <<<"$listing"

dpkg -x "$deb" "$root"
empty=$(find "$root/usr" -type d -empty)
[ -z "$empty" ] || fail "empty folders: ${empty//$root/}"
export XDG_CONFIG_HOME=$root/config LV2_PATH=$root/usr/lib/lv2
host=$root/usr/bin/korva-host
info=$("$host" info "$root/usr/lib/vst/korva.so" \
  --load "$root/usr/share/korva/presets/wow-tape.fxp") || fail "korva-host info korva.so failed"
grep -q -x 'name: *Vantrel Korva' <<<"$info" || fail "korva.so: no name in korva-host info"
grep -q -x 'program: *0 "wow tape"' <<<"$info" || fail "korva.so: wow-tape.fxp did not load"
lv2=$("$host" info http://vek-sonimark.com/plugins/korva) || fail "korva-host info of the LV2 URI failed"
grep -q -x 'name: *Vantrel Korva' <<<"$lv2" || fail "korva.lv2: no name in korva-host info"
[ "$(grep -c '  .*<http://vek-sonimark.com/plugins/korva#preset-' <<<"$lv2" || true)" -eq 17 ] ||
  fail "korva.lv2: not 17 presets"

"$here/../plugin/check_exports.sh" "$root/usr/lib/vst/korva.so" >/dev/null ||
  fail "korva.so exports more than its entry point"
lv2exports=$(nm -D --defined-only "$root/usr/lib/lv2/korva.lv2/korva_lv2.so" | awk '{print $3}' |
  grep -v -x -E '__bss_start|_edata|_end' | LC_ALL=C sort | tr '\n' ' ')
[ "$lv2exports" = "lv2_descriptor lv2ui_descriptor " ] || fail "korva_lv2.so exports $lv2exports"
"$host" validate --help >/dev/null 2>&1 || fail "korva-host validate does not start from the installed paths"
for f in "$root"/usr/lib/vst/korva.so "$root"/usr/lib/lv2/korva.lv2/korva_lv2.so "$host" \
    "$root"/usr/libexec/korva/korva-host-validate; do
  readelf -S "$f" | grep -q ' \.symtab ' && fail "$(basename "$f") is not stripped"
done
"$here/check_versions.sh" "$version" "$host" "$root/usr/lib/vst/korva.so" \
  "$root/usr/lib/lv2/korva.lv2" >/dev/null || fail "versions disagree"

[ $status -eq 0 ] && echo "package ok: $(basename "$deb"), $(wc -l <<<"$listing") files, $(du -k "$deb" | cut -f1) KiB"
exit $status
