#!/usr/bin/env bash
# The one version appears wherever Korva states one: korva-host --version,
# the LV2 bundle's minor and micro version, and the about view's text in both
# plug-in binaries. The VST record keeps version 1 and vendor version 0.
# Usage: check_versions.sh VERSION KORVA_HOST KORVA_SO LV2_BUNDLE
set -euo pipefail
version=$1 host=$2 so=$3 bundle=$4
IFS=. read -r major minor micro <<<"$version"
status=0
fail() {
  echo "$1"
  status=1
}

said=$("$host" --version) || fail "korva-host --version failed"
[ "$said" = "korva-host $version" ] || fail "korva-host --version says \"$said\", not $version"

ttl=$(tr -s ' \n' ' ' <"$bundle/korva.ttl")
[[ $ttl == *"lv2:minorVersion $minor ;"* ]] || fail "korva.ttl: lv2:minorVersion is not $minor"
[[ $ttl == *"lv2:microVersion $micro ;"* ]] || fail "korva.ttl: lv2:microVersion is not $micro"

# The about view draws "v.<version>" followed by a tab.
for lib in "$so" "$bundle/korva_lv2.so"; do
  grep -q -a -F "v.$version$(printf '\t')" "$lib" || fail "$(basename "$lib"): no about text v.$version"
done

info=$("$host" info "$so") || fail "korva-host info $so failed"
grep -q -x 'plug-in version:  1' <<<"$info" || fail "the VST record's version is not 1"
grep -q -x 'vendor version:   0' <<<"$info" || fail "effGetVendorVersion is not 0"

[ $status -eq 0 ] && echo "versions agree: $version"
exit $status
