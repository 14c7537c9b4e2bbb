#!/bin/sh
# Saves screenshots of the popup and the about box: docs/popup.png and docs/about.png.
# Usage (from the repository root, after building the windows build):
#   tests/win_popup_tray/screenshots.sh build/popup-windows
set -eu
build=$1
cmake --build "$build" --target popup_tray_showcase >/dev/null
. script/lib/wine-env.sh
xvfb_start
wine_env_setup "$build"
mkdir -p docs
timeout 60 wine "$build/tests/win_popup_tray/popup_tray_showcase.exe" 2>/dev/null | while read -r line; do
  case "$line" in
    "popup shown"*) sleep 0.5; import -window root docs/popup.png ;;
    "about shown"*) sleep 0.5; import -window root docs/about.png ;;
  esac
done
wine_env_teardown
