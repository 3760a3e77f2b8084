#!/usr/bin/env bash
# Builds q417ctl and runs it against the built-in emulator: a wired mouse and a receiver whose
# mouse is switched on.
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
