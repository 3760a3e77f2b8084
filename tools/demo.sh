#!/usr/bin/env bash
# Builds q417 and q417ctl and shows them on the built-in emulator: a wired mouse and a receiver
# whose mouse is switched on. With a display, the desktop application opens with its Emulator
# window; without one (no DISPLAY and no WAYLAND_DISPLAY) it renders every page to PNG files
# instead. Then q417ctl runs a short script. The demo's files go to a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target q417 q417ctl
app=build/release/q417
ctl=build/release/q417ctl
scratch=$(mktemp -d)
script=$(mktemp)
trap 'rm -rf "$scratch" "$script"' EXIT

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "\$ q417 --demo     (close it from the tray menu's Exit, or Ctrl+C here)"
    Q417_DATA_HOME="$scratch/app" "$app" --demo
else
    shots=build/screenshots
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): rendering the pages instead."
    echo "\$ q417 --demo --screenshot $shots"
    Q417_DATA_HOME="$scratch/app" "$app" --demo --screenshot "$shots"
    echo "The pictures are in $(cd "$shots" && pwd)/"
fi
echo

echo "\$ q417ctl --demo list"
"$ctl" --demo list
echo
echo "\$ q417ctl --demo info"
"$ctl" --demo info
echo
# One process, one running device manager: an edit, then what the emulated mouse now holds.
cat >"$script" <<'EOS'
status
dpi 2 1620
keys
demo unplug cable
dpi 3 2450
status
demo plug cable
demo press profile
dpi 1 900
status
EOS
echo "\$ q417ctl --demo script (status; dpi 2 1620; keys; demo unplug cable; dpi 3 2450; status;"
echo "  demo plug cable; demo press profile; dpi 1 900; status)"
Q417_DATA_HOME="$scratch/ctl" "$ctl" --demo script "$script"
