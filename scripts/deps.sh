#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, only those missing.
# Usage: scripts/deps.sh [native|all]   (native: enough to build and run the Linux agent;
# configure with -DFL_DESKTOP_GTK=OFF to build it without the GTK libraries)
set -euo pipefail
want=(cmake ninja-build g++ pkg-config libgtk-3-dev libayatana-appindicator3-dev libnotify-dev)
if [ "${1:-all}" = all ]; then
  want+=(googletest libgtest-dev libgmock-dev libbenchmark-dev libssl-dev clang libclang-rt-14-dev
         g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine xvfb xauth x11-apps x11-utils imagemagick xdotool xclip
         fonts-wqy-microhei
         iproute2 python3-dnspython python3-zeroconf openssh-server socat procps
         dbus-daemon python3-dbus python3-gi gir1.2-gtk-3.0 desktop-file-utils dpkg-dev file
         avahi-daemon avahi-utils strace)
fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
