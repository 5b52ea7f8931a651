#!/usr/bin/env bash
# The Debian package, installed for real: CPack builds it from the build folder, its
# dependencies are the Debian packages of the libraries the agent links, apt installs it
# with them, the installed agent starts, and removing it leaves nothing of it behind.
# Needs root (it installs into /usr). Usage: deb_install.sh BUILD_DIR
build=$(cd "$1" && pwd)
source "$(dirname "$0")/../shell/lib.sh"
not_there() { for f in "$@"; do [ ! -e "$f" ] || return 1; done; }
check "cpack builds the package" bash -c "cd '$scratch' && cpack -G DEB --config '$build/CPackConfig.cmake' > cpack.out 2>&1"
deb=$(ls "$scratch"/ferrylink_*.deb 2>/dev/null | head -1)
check "the package file is there" test -f "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libgtk-3-0 libayatana-appindicator3-1 libnotify4; do
  check "it depends on $lib" grep -q "\\b$lib\\b" <<< "$depends"
done
check "apt installs it" bash -c "DEBIAN_FRONTEND=noninteractive apt-get install -y -qq '$deb' > '$scratch/apt.out' 2>&1"
check "the agent is installed in /usr/bin" test -x /usr/bin/ferrylink
check "the menu entry is installed" test -f /usr/share/applications/ferrylink.desktop
check "the installed agent starts and names its version" \
  [ "$(/usr/bin/ferrylink --version)" = "ferrylink 0.1.0" ]
check "apt removes it" bash -c "DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq ferrylink > '$scratch/remove.out' 2>&1"
check "nothing of it is left" not_there /usr/bin/ferrylink /usr/bin/ferrylink-send \
  /usr/share/applications/ferrylink.desktop
echo "all package checks passed"
