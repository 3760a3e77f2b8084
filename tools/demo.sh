#!/usr/bin/env bash
# Builds q417ctl and runs it against the built-in emulator: a wired mouse and a receiver whose
# mouse is switched on. The demo's profile files go to a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target q417ctl
ctl=build/release/q417ctl
echo "\$ q417ctl --demo list"
"$ctl" --demo list
echo
echo "\$ q417ctl --demo info"
"$ctl" --demo info
echo
# One process, one running device manager: an edit, then what the emulated mouse now holds.
script=$(mktemp)
trap 'rm -f "$script"' EXIT
cat >"$script" <<'EOS'
status
dpi 1 1620
keys
demo unplug cable
dpi 2 2450
status
EOS
echo "\$ q417ctl --demo script (status; dpi 1 1620; keys; demo unplug cable; dpi 2 2450; status)"
Q417_DATA_HOME=$(mktemp -d) "$ctl" --demo script "$script"
