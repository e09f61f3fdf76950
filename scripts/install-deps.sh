#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, once. Safe to run again.
set -euo pipefail

# The one list of what the build, the tests, the demo and scripts/screenshots.sh call. widl (the
# type library compiler the build runs) is in wine64-tools; git lists the files the format check
# reads; makensis builds the Windows installer; clang and its runtime libraries (libFuzzer) build
# the fuzz targets; imagemagick takes and crops the dialogs' pictures. The tools' header-only
# libraries (CLI11, nlohmann-json, Eigen, stb) serve the native and the mingw builds alike
# (cmake/HeaderLibraries.cmake; Eigen also does the predictor's least squares and spectra);
# fonts-dejavu-core holds the font the plots' text is drawn in.
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

# The package lists. A Debian mirror in the middle of a sync serves lists that do not match the
# signed index ("File has unexpected size ... Mirror sync in progress?"), and apt-get update fails
# (an index it could not read would leave the 32-bit packages unresolvable): try again for a few
# minutes before giving up, and then say so.
update_lists() {
  local attempt tries=4 pause=60
  for ((attempt = 1; attempt <= tries; attempt++)); do
    apt_get update -qq && return 0
    [ $attempt -lt $tries ] || break
    echo "The package lists could not all be read (a mirror in the middle of a sync?): trying" \
         "again in $pause s ($attempt of $((tries - 1)))" >&2
    sleep $pause
  done
  echo "The package lists could still not all be read after $tries attempts over" \
       "$(((tries - 1) * pause)) s: the messages above name the list; try again later" >&2
  exit 1
}

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
update_lists
apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
