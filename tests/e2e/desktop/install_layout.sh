#!/usr/bin/env bash
# What `cmake --install` lays out for the Linux agent: both programs in bin/, a menu entry
# that desktop-file-validate accepts and that names the installed program and icon, and the
# drawn icon in the hicolor theme at every size; the installed agent runs.
# Usage: install_layout.sh BUILD_DIR
build=$1
source "$(dirname "$0")/../shell/lib.sh"
root=$scratch/prefix
check "cmake --install succeeds" cmake --install "$build" --prefix "$root"
for prog in ferrylink ferrylink-send; do
  check "bin/$prog is installed and executable" test -x "$root/bin/$prog"
done
entry=$root/share/applications/ferrylink.desktop
check "the menu entry is valid" desktop-file-validate "$entry"
check "the menu entry starts the agent" file_has "$entry" "Exec=ferrylink"
check "the menu entry names the icon" file_has "$entry" "Icon=ferrylink"
check "the menu entry needs no terminal" file_has "$entry" "Terminal=false"
for size in 16 22 24 32 48 64 128 256; do
  png=$root/share/icons/hicolor/${size}x${size}/apps/ferrylink.png
  check "the ${size}-pixel icon is a ${size}x${size} PNG with alpha" \
    [ "$(identify -format '%m %wx%h %[channels]' "$png" 2>/dev/null)" = "PNG ${size}x${size} srgba" ]
done
# Drawn, not blank: a transparent corner, the opaque blue edge and the white arrow's stem.
check "the icon is the drawn one" [ "$(convert "$root/share/icons/hicolor/16x16/apps/ferrylink.png" \
  -format '%[fx:p{0,0}.a] %[pixel:p{0,5}] %[pixel:p{7,4}]' info:)" = \
  "0 srgba(47,125,246,1) srgba(255,255,255,1)" ]
check "the installed agent runs and names its version" \
  [ "$("$root/bin/ferrylink" --version)" = "ferrylink 0.1.0" ]
check "the installed sender runs" [ "$("$root/bin/ferrylink-send" --version)" = "ferrylink-send 0.1.0" ]
echo "all install layout checks passed"
