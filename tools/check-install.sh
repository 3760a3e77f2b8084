#!/usr/bin/env bash
# Checks that fail on a broken install: installs the release build into a scratch DESTDIR under
# a prefix with a space, runs the installed programs there with nothing of the user's or the
# checkout's, validates the desktop entry, the metainfo and the udev rule, checks that a program
# without its share/q417 says so, that a read-only DESTDIR fails the install loudly, and builds
# and lints the Debian package. Prints "N passed, M failed" last; exit 1 when any check failed.
#   Q417_BUILD_DIR   the built release folder (default build/release)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${Q417_BUILD_DIR:-build/release}
passed=0
failed=0

scratch=$(mktemp -d "${TMPDIR:-/tmp}/q417-install-XXXXXX")
chmod 755 "$scratch"
trap 'rm -rf "$scratch"' EXIT

check() {
    local name=$1
    shift
    local log="$scratch/log"
    if "$@" >"$log" 2>&1; then
        echo "PASS  $name"
        passed=$((passed + 1))
    else
        echo "FAIL  $name"
        sed 's/^/      /' "$log" | tail -n 30
        failed=$((failed + 1))
    fi
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
prefix="/opt/q417 test"
dest="$scratch/dest dir"
tree="$dest$prefix"

# A run with an empty environment: only scratch folders for data, settings and runtime files.
run_clean() {
    env -i PATH=/usr/bin:/bin HOME="$scratch/home" Q417_DATA_HOME="$scratch/data" \
        Q417_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run" \
        QT_QPA_PLATFORM=offscreen "$@"
}
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"

install_tree() {
    DESTDIR="$dest" cmake --install "$build" --prefix "$prefix"
}

installed_files() {
    local f
    for f in bin/q417 bin/q417ctl share/q417/DefaultData/mouse.Json share/q417/skin/res.xml \
        lib/udev/rules.d/70-q417.rules share/applications/org.q417.Q417.desktop \
        share/metainfo/org.q417.Q417.metainfo.xml \
        share/icons/hicolor/scalable/apps/org.q417.Q417.svg share/man/man1/q417ctl.1.gz \
        share/man/man1/q417.1.gz share/bash-completion/completions/q417ctl; do
        [ -e "$tree/$f" ] || { echo "missing: $f"; return 1; }
    done
    # Nothing of the build tree: no marker file, no compiled-in path to the checkout's data.
    if find "$tree" -name 'q417-source-data' | grep -q .; then
        echo "the build tree's marker was installed"
        return 1
    fi
    if grep -rlF "$root/data/" "$tree"; then
        echo "the files above name the checkout's data folder"
        return 1
    fi
}

ctl_demo_list() {
    local out
    out=$(run_clean "$tree/bin/q417ctl" --demo list) || return 1
    echo "$out"
    grep -q "4a1d\|4A1D\|0x7101" <<<"$out"
}

versions_agree() {
    local ctl app
    ctl=$(run_clean "$tree/bin/q417ctl" --version) || return 1
    app=$(run_clean "$tree/bin/q417" --version) || return 1
    echo "$ctl / $app / project $version"
    [ "$ctl" = "q417ctl $version" ] && [ "$app" = "q417 $version" ]
}

screenshots() {
    local shots="$scratch/shots"
    mkdir -p "$shots"
    run_clean "$tree/bin/q417" --demo --screenshot "$shots" || return 1
    ls "$shots"
    [ -s "$shots/q417-0-0.png" ] && [ -s "$shots/q417-emulator.png" ]
}

# A program whose share/q417 is missing names the folders it searched and ends with 1.
missing_data() {
    local lone="$scratch/lone/bin" program rc err
    mkdir -p "$lone"
    for program in q417ctl q417; do
        cp "$tree/bin/$program" "$lone/"
        if [ "$program" = q417ctl ]; then
            err=$(run_clean "$lone/$program" --demo list 2>&1 >/dev/null)
        else
            err=$(run_clean "$lone/$program" --demo --screenshot "$scratch" 2>&1 >/dev/null)
        fi
        rc=$?
        echo "$program: exit $rc: $err"
        [ "$rc" -eq 1 ] || return 1
        grep -qF "$scratch/lone/share/q417/" <<<"$err" || return 1
    done
}

rule_parses() {
    local rule="$tree/lib/udev/rules.d/70-q417.rules"
    if udevadm verify --help >/dev/null 2>&1; then
        udevadm verify "$rule"
    else
        # This udev has no verify: every rule line must be of the one form we write.
        local bad
        bad=$(grep -v '^#' "$rule" | grep -v '^$' |
            grep -Ev '^SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="[0-9a-f]{4}", TAG\+="uaccess"$')
        [ -z "$bad" ] || { echo "unexpected rule lines: $bad"; return 1; }
        grep -q 'TAG+="uaccess"' "$rule"
    fi
}

completion_works() {
    bash -c '
        source "$1"
        COMP_WORDS=(q417ctl li); COMP_CWORD=1; _q417ctl
        [[ " ${COMPREPLY[*]} " == *" list "* ]] || { echo "no list: ${COMPREPLY[*]}"; exit 1; }
        COMP_WORDS=(q417ctl list --js); COMP_CWORD=2; _q417ctl
        [[ "${COMPREPLY[*]}" == "--json" ]] || { echo "no --json: ${COMPREPLY[*]}"; exit 1; }
        COMP_WORDS=(q417ctl --demo profile ""); COMP_CWORD=3; _q417ctl
        [[ " ${COMPREPLY[*]} " == *" switch "* ]] || { echo "no switch: ${COMPREPLY[*]}"; exit 1; }
    ' _ "$tree/share/bash-completion/completions/q417ctl"
}

# A DESTDIR nobody may write to must fail the install, with the reason on stderr. Root writes
# anywhere, so as root the install runs as nobody.
readonly_destdir() {
    local ro="$scratch/read-only"
    mkdir -p "$ro"
    chmod 555 "$ro"
    local as=()
    if [ "$(id -u)" -eq 0 ]; then
        as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    local err rc
    err=$(DESTDIR="$ro" "${as[@]}" cmake --install "$build" --prefix "$prefix" 2>&1 >/dev/null)
    rc=$?
    echo "exit $rc: $err" | tail -n 3
    # The reason must be the DESTDIR itself (not, say, an unreadable build folder).
    [ "$rc" -ne 0 ] && grep -qF "cannot create directory: $ro/" <<<"$err" || return 1
    [ -z "$(ls -A "$ro")" ]
}

package_lints() {
    local deb
    deb=$(tools/package.sh | tail -n 1) || return 1
    [ "$(basename "$deb")" = "q417_${version}_$(dpkg --print-architecture).deb" ] ||
        { echo "unexpected name: $deb"; return 1; }
    # Every file under /usr; the library dependencies were computed; the scripts are there.
    if dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/' | grep -v '^\./$'; then
        echo "files outside /usr"
        return 1
    fi
    dpkg-deb -f "$deb" Depends | grep -q 'libqt6' || { echo "no computed Depends"; return 1; }
    dpkg-deb -I "$deb" postinst >/dev/null && dpkg-deb -I "$deb" postrm >/dev/null || return 1
    local lint
    lint=$(lintian --no-cfg "$deb" 2>&1)
    echo "$lint"
    ! grep -q '^E:' <<<"$lint"
}

check "cmake --install into a DESTDIR with spaces" install_tree
check "installed tree complete, no build-tree paths" installed_files
check "installed q417ctl --demo list" ctl_demo_list
check "q417ctl and q417 --version print the project version" versions_agree
check "installed q417 --demo --screenshot" screenshots
check "missing share/q417 is named, exit 1" missing_data
check "desktop-file-validate" desktop-file-validate "$tree/share/applications/org.q417.Q417.desktop"
check "appstreamcli validate --no-net" \
    appstreamcli validate --no-net "$tree/share/metainfo/org.q417.Q417.metainfo.xml"
check "udev rule parses" rule_parses
check "bash completion" completion_works
check "read-only DESTDIR fails the install" readonly_destdir
check "Debian package builds, lintian shows no error" package_lints

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
