#!/usr/bin/env bash
# Builds the Debian package build/package/q417_<version>_<arch>.deb with CPack from the release
# build folder (configured here when it is not yet; only the two programs are built).
#   Q417_BUILD_DIR   the build folder to use (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${Q417_BUILD_DIR:-build/release}
out=build/package

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target q417 q417ctl
mkdir -p "$out"
rm -f "$out"/q417_*.deb
# The staging tree goes under the output folder, so nothing lands in the build folder's root.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log" >&2
    exit 1
}
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/q417_*.deb)
echo "$deb"
