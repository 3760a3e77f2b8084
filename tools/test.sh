#!/usr/bin/env bash
# Builds and runs the whole test suite four times: a normal build, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer, and short libFuzzer runs of every fuzz target;
# after the normal build, the install and package checks of tools/check-install.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)
log_dir=build/test-logs
mkdir -p "$log_dir"
passed=0
failed=0

run_suite() {
    local name=$1
    shift
    echo "=== $name build ==="
    cmake -S . -B "build/$name" -G Ninja "$@" >/dev/null
    cmake --build "build/$name" -j"$jobs"
    echo "=== $name tests ==="
    local rc=0
    ctest --test-dir "build/$name" --output-on-failure -j"$jobs" --timeout 300 \
        | tee "$log_dir/$name.log" || rc=$?
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log_dir/$name.log" | tail -n 1)
    if [ -n "$line" ]; then
        local total fails
        total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
        fails=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
        passed=$((passed + total - fails))
        failed=$((failed + fails))
    else
        failed=$((failed + 1))
    fi
    return $rc
}

status=0
run_suite release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ417_BUILD_BENCH=ON || status=1

# The installed tree and the Debian package, from the release build just made.
echo "=== install checks ==="
tools/check-install.sh | tee "$log_dir/install.log" || status=1
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log_dir/install.log" | tail -n 1)
if [ -n "$line" ]; then
    passed=$((passed + $(cut -d' ' -f1 <<<"$line")))
    failed=$((failed + $(cut -d' ' -f3 <<<"$line")))
else
    failed=$((failed + 1))
fi
run_suite asan -DCMAKE_BUILD_TYPE=Debug -DQ417_SANITIZE=address -DQ417_BUILD_BENCH=OFF || status=1
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    run_suite tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ417_SANITIZE=thread \
    -DQ417_BUILD_BENCH=OFF || status=1
CXX=clang++ run_suite fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ417_BUILD_FUZZ=ON \
    -DQ417_BUILD_BENCH=OFF || status=1

echo
echo "$passed passed, $failed failed"
exit $status
