#!/usr/bin/env bash
# What the programs cost while idle, read from /proc, and how fast a plug reaches the selector.
#
#   hidden   q417 --demo, window in the tray (Q417_START_IN_TRAY=1)     goal <= 0.1 % of a core
#   visible  q417 --demo, window shown on the mouse page, light animating goal <= 1 %
#   watch    q417ctl --demo watch                                        goal <= 0.05 %
#
# For each: whole-process CPU (utime + stime of /proc/<pid>/stat, in clock ticks) over the
# window after a settling time, the same from the threads' schedstat (nanoseconds, finer), and
# every thread's wake-ups per second (context switches from /proc/<pid>/task/*/status), so a
# new periodic wake-up shows by name. Then bench_device_manager's plug -> visible entry latency
# with the hot-plug monitor live and with polling only.
#
# Usage: tools/measure-idle.sh [SECONDS] [BUILD_DIR]     (60 s, build/release)
#        MEASURE=hidden,watch tools/measure-idle.sh 10  (a subset; "plug" is the latency part)
# Without DISPLAY/WAYLAND_DISPLAY, q417 runs on Qt's offscreen platform (it still paints).
# The programs run with scratch data, settings and runtime folders, so a running q417 of the
# same user is neither handed over to nor touched.
set -euo pipefail

duration=${1:-60}
build=${2:-build/release}
settle=${SETTLE:-6}
measure=${MEASURE:-hidden,visible,watch,plug}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
q417="$build/q417"
q417ctl="$build/q417ctl"
bench="$build/bench/bench_device_manager"
hz=$(getconf CLK_TCK)

scratch=$(mktemp -d /tmp/q417-measure-XXXXXX)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# utime+stime of the process (fields 14 and 15; the name in field 2 may hold spaces).
ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{printf "%.0f\n", $12 + $13}'; }
# Sum of the threads' run time in ns, and one "tid name switches" line per thread.
run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f\n", s}'; }
switches() {
    for t in /proc/"$1"/task/*; do
        [ -r "$t/status" ] || continue
        awk -v tid="${t##*/}" -v name="$(tr ' ' '_' <"$t/comm")" \
            '/^voluntary_ctxt_switches|^nonvoluntary_ctxt_switches/ {s += $2}
             END {print tid, name, s}' "$t/status"
    done
}

# measure NAME GOAL_PERCENT COMMAND...: starts the command, settles, samples over the window.
measure_one() {
    local name=$1 goal=$2
    shift 2
    env "$@" >"$scratch/$name.out" 2>&1 &
    pid=$!
    sleep "$settle"
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "$name: the program ended early:" >&2
        cat "$scratch/$name.out" >&2
        return 1
    fi
    local t0 n0 t1 n1
    t0=$(ticks "$pid")
    n0=$(run_ns "$pid")
    switches "$pid" >"$scratch/$name.sw0"
    sleep "$duration"
    t1=$(ticks "$pid")
    n1=$(run_ns "$pid")
    switches "$pid" >"$scratch/$name.sw1"
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
    awk -v name="$name" -v goal="$goal" -v d="$duration" -v hz="$hz" -v t="$((t1 - t0))" \
        -v ns="$((n1 - n0))" 'BEGIN {
            stat = t / hz / d * 100; sched = ns / 1e9 / d * 100;
            printf "%-8s %7.3f %% of a core (stat: %d ticks in %d s), %7.4f %% (schedstat)  goal <= %s %%  %s\n",
                   name, stat, t, d, sched, goal, (sched <= goal ? "ok" : "OVER")
        }'
    # Wake-ups per second of each thread (threads that came or went in the window are left out).
    join -o 1.2,1.3,2.3 <(sort "$scratch/$name.sw0") <(sort "$scratch/$name.sw1") |
        awk -v d="$duration" '{r = ($3 - $2) / d; if (r > 0) printf "    %-18s %8.2f wake-ups/s\n", $1, r}' |
        sort -k2 -nr
}

common=(XDG_RUNTIME_DIR="$scratch/run" Q417_DATA_HOME="$scratch/data" Q417_CONFIG_HOME="$scratch/config")
mkdir -p "$scratch/run" "$scratch/data" "$scratch/config"
chmod 700 "$scratch/run"
platform=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    platform=(QT_QPA_PLATFORM=offscreen)
fi

echo "idle measure: ${duration} s per case after ${settle} s of settling; $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
case ",$measure," in *,hidden,*)
    measure_one hidden 0.1 "${common[@]}" "${platform[@]}" Q417_START_IN_TRAY=1 "$q417" --demo ;;
esac
case ",$measure," in *,visible,*)
    # The demo opens on the wired mouse's page; the mouse's factory effect (a colour cycle) animates.
    measure_one visible 1 "${common[@]}" "${platform[@]}" "$q417" --demo ;;
esac
case ",$measure," in *,watch,*)
    measure_one watch 0.05 "${common[@]}" "$q417ctl" --demo watch ;;
esac
case ",$measure," in *,plug,*)
    if [ -x "$bench" ]; then
        echo "plug -> entry visible (wake:2 monitor live, wake:1 change listener + 100 ms, wake:0 polling only):"
        "$bench" --benchmark_filter='BM_PlugToVisible' 2>/dev/null |
            awk '/BM_PlugToVisible/ {
                line = "    " $1
                for (i = 1; i <= NF; i++) if ($i ~ /^(max|mean)_ms=/) line = line " " $i
                print line
            }'
    else
        echo "plug: $bench not built (cmake -DQ417_BUILD_BENCH=ON)" >&2
    fi ;;
esac
