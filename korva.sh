#!/usr/bin/env bash
# Korva's two entry points for a fresh Debian machine:
#   ./korva.sh demo   install packages, build korva.so and korva.lv2, install them
#                     into ~/.vst and ~/.lv2, show what a host sees and render
#                     the demo (out/)
#   ./korva.sh test   install packages, build with sanitizers, run every test,
#                     then build the Debian package and check it
#   ./korva.sh package  build korva_<version>_amd64.deb (build/release/) and
#                     run lintian on it
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}

PACKAGES=(
  build-essential cmake pkg-config git clang-format
  libcairo2-dev libx11-dev libxtst-dev libxkbcommon-dev libsndfile1-dev
  libgtest-dev googletest libbenchmark-dev
  xvfb xauth x11-utils xdotool fonts-liberation locales-all
  lsp-plugins-vst dpf-plugins-vst valgrind jq
  lv2-dev liblilv-dev lilv-utils ardour-lv2-plugins
  zenity  # the editor's load and save dialogs (or kdialog)
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {  # build DIR [cmake args...]
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
}

demo() {
  install_packages
  build build/release -DCMAKE_BUILD_TYPE=Release -DKORVA_BUILD_TESTS=OFF
  mkdir -p "$HOME/.vst"
  cp build/release/korva.so "$HOME/.vst/korva.so"
  echo "Installed $HOME/.vst/korva.so"
  # The LV2 bundle is replaced whole, so no file of an older build stays.
  mkdir -p "$HOME/.lv2"
  rm -rf "$HOME/.lv2/korva.lv2.new"
  cp -r build/release/lv2-bundles/korva.lv2 "$HOME/.lv2/korva.lv2.new"
  rm -rf "$HOME/.lv2/korva.lv2"
  mv "$HOME/.lv2/korva.lv2.new" "$HOME/.lv2/korva.lv2"
  echo "Installed $HOME/.lv2/korva.lv2"
  local host=build/release/tools/korva-host
  "$host" info "$HOME/.vst/korva.so"
  LV2_PATH="$HOME/.lv2:/usr/lib/lv2" "$host" info http://vek-sonimark.com/plugins/korva
  if [ -x tools/demo/render-demo.sh ]; then
    tools/demo/render-demo.sh build/release out
  fi
}

# The Debian package from a Release build of what it installs; prints its path.
build_package() {
  local dir=build/release
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKORVA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir" -j"$JOBS" --target deb >&2
  ls "$dir"/korva_*_amd64.deb
}

package() {
  install_packages
  local deb
  deb=$(build_package)
  tests/package/check_package.sh "$deb"
  PACKAGES=(lintian)
  install_packages
  echo "lintian $deb:"
  lintian --info "$deb"
}

run_tests() {
  install_packages
  # Everything under AddressSanitizer and UndefinedBehaviorSanitizer.
  build build/asan -DCMAKE_BUILD_TYPE=Debug -DKORVA_SANITIZE=address
  # fontconfig keeps its caches for the life of a process: not our leak.
  (cd build/asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$ROOT/tests/lsan.supp" \
    ctest --output-on-failure -j"$JOBS" -LE threading)
  # The threading tests again under ThreadSanitizer.
  cmake -S "$ROOT" -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DKORVA_SANITIZE=thread >/dev/null
  cmake --build build/tsan -j"$JOBS" --target threading_tests
  (cd build/tsan && ctest --output-on-failure -j"$JOBS" -L threading)
  # The package as a user installs it.
  local deb
  deb=$(build_package)
  tests/package/check_package.sh "$deb"
}

case "${1:-}" in
  demo) demo ;;
  test) run_tests ;;
  package) package ;;
  *)
    echo "usage: $0 demo|test|package" >&2
    exit 1
    ;;
esac
