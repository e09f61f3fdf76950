#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, once. Safe to run again.
set -euo pipefail

# The one list of what the build, the tests, the demo and scripts/screenshots.sh call. widl (the
# type library compiler the build runs) is in wine64-tools; git lists the files the format check
# reads; makensis builds the Windows installer; clang and its runtime libraries (libFuzzer) build
# the fuzz targets; imagemagick takes and crops the dialogs' pictures; Eigen (header-only) does
# the predictor's least squares and spectra.
packages=(cmake make g++ git libgtest-dev googletest libbenchmark-dev clang-format libeigen3-dev
          clang libclang-rt-14-dev
          wine wine64 wine32:i386 wine64-tools mingw-w64 mingw-w64-tools libwine-dev nsis
          xvfb xauth fonts-wine imagemagick locales)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
