#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, once. Safe to run again.
set -euo pipefail

# The one list of what the build, the tests, the demo and scripts/screenshots.sh call. widl (the
# type library compiler the build runs) is in wine64-tools; git lists the files the format check
# reads; makensis builds the Windows installer; clang and its runtime libraries (libFuzzer) build
# the fuzz targets; imagemagick takes and crops the dialogs' pictures. The tools' header-only
# libraries (CLI11, nlohmann-json, Eigen, stb) serve the native and the mingw builds alike
# (cmake/HeaderLibraries.cmake); fonts-dejavu-core holds the font the plots' text is drawn in.
packages=(cmake make g++ git libgtest-dev googletest libbenchmark-dev clang-format
          clang libclang-rt-14-dev
          libcli11-dev nlohmann-json3-dev libeigen3-dev libstb-dev fonts-dejavu-core
          wine wine64 wine32:i386 wine64-tools mingw-w64 mingw-w64-tools libwine-dev nsis
          xvfb xauth fonts-wine imagemagick locales)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Another package manager (the automatic updates of a machine just booted, for one) may hold the
# package system's locks for minutes: wait for them rather than stop at once. apt-get waits for
# dpkg's locks itself (DPkg::Lock::Timeout) but not for the lists' lock that `apt-get update`
# takes, nor does it say what it waits for: this script waits for each lock the calls take first.
lock_timeout=600
apt_locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock
           /var/cache/apt/archives/lock)

# The process that holds apt's and dpkg's (fcntl) lock on the file, as "name (process N)";
# nothing when it is free. /proc/locks names the file by device (major:minor, hex) and inode.
lock_holder() {
  local dev inode id pid
  read -r dev inode < <(stat -c '%d %i' "$1" 2>/dev/null) || return 0
  id=$(printf '%02x:%02x:%d' $(((dev >> 8) & 0xfff)) $(((dev & 0xff) | ((dev >> 12) & 0xfff00))) \
              "$inode")
  pid=$(awk -v id="$id" '$2 != "->" && $6 == id { print $5; exit }' /proc/locks)
  [ -n "$pid" ] || return 0
  echo "$(cat "/proc/$pid/comm" 2>/dev/null || echo "another program") (process $pid)"
}

wait_for_locks() {
  local deadline=$((SECONDS + lock_timeout)) lock holder
  for lock in "${apt_locks[@]}"; do
    holder=$(lock_holder "$lock")
    [ -n "$holder" ] || continue
    echo "Waiting up to $lock_timeout s for $holder, another package manager, to release $lock" >&2
    while [ -n "$holder" ]; do
      if [ $SECONDS -ge $deadline ]; then
        echo "$lock is still held by $holder after $lock_timeout s: try again later" >&2
        exit 1
      fi
      sleep 2
      holder=$(lock_holder "$lock")
    done
    echo "$lock is free: going on" >&2
  done
}

# apt-get after the locks are free; apt-get itself waits should another program take dpkg's
# lock in between. Through env, so that the front end's setting also passes sudo.
apt_get() {
  wait_for_locks
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=$lock_timeout "$@"
}

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
