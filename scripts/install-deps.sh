#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, once. Safe to run again.
set -euo pipefail

# The one list of what the build, the tests, the demo and scripts/screenshots.sh call. widl (the
# type library compiler the build runs) is in wine64-tools; git lists the files the format check
# reads; makensis builds the Windows installer; clang and its runtime libraries (libFuzzer) build
# the fuzz targets; imagemagick takes and crops the dialogs' pictures. The tools' header-only
# libraries (CLI11, nlohmann-json, Eigen, stb) serve the native and the mingw builds alike
# (cmake/HeaderLibraries.cmake); fonts-dejavu-core holds the font the plots' text is drawn in.
# nodejs and npm install the report page's packages (uPlot, pinned by logtools/report's lock
# file: the build runs npm ci) and run its browser test in chromium.
packages=(cmake make g++ git libgtest-dev googletest libbenchmark-dev clang-format
          clang libclang-rt-14-dev
          libcli11-dev nlohmann-json3-dev libeigen3-dev libstb-dev fonts-dejavu-core
          wine wine64 wine32:i386 wine64-tools mingw-w64 mingw-w64-tools libwine-dev nsis
          xvfb xauth fonts-wine imagemagick locales chromium nodejs)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Debian's nodejs comes without npm; a newer nodejs some machines carry brings its own npm and
# conflicts with Debian's npm package: npm only where there is none.
command -v npm >/dev/null 2>&1 || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
