#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need; does nothing when all
# are present. Run as root (or with sudo available).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev clang-format
    libjsoncpp-dev libudev-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    qt6-base-dev qt6-tools-dev libqt6uitools6 qt6-svg-dev libqt6svg6 libqt6opengl6-dev
    libgl-dev libxkbcommon-dev
    fonts-dejavu-core fonts-wqy-microhei
    # the install and package checks (tools/check-install.sh, tools/package.sh)
    desktop-file-utils appstream udev lintian fakeroot dpkg-dev file util-linux man-db
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
