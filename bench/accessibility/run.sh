#!/usr/bin/env bash
# The wizard with the accessibility bridge off and on, as a screen-reader user
# runs it: page 2's "Next >" to page 3 of a 1,000,000-record table, and page
# 4's "Finish" on every field (qm_bench_accessibility; results in RESULTS.md).
#
#   bench/accessibility/run.sh [BUILD_DIR] [RUNS]
#
# Runs under Xvfb on a display of its own, inside a private session bus that
# starts the AT-SPI bus (at-spi-bus-launcher; the registry daemon starts when
# the program registers). Runs alternate: "off" is the program alone; "on"
# sets QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 with a screen reader on the bus:
#   READER=listener (default): listener.py, which registers for focus, object
#     and window events and asks about each event's source;
#   READER=orca: the Orca screen reader itself (package orca; without speech).
# CALLGRIND=1 runs one "off" and one "on" run under callgrind instead, on the
# 100,000-record table, and prints the instructions each step took: counts do
# not depend on the machine's load.
# The databases are generated once into bench/cache/ and reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bench/accessibility

if [[ ${1:-} != --inside ]]; then
    build=$(cd "${1:-$root/build}" && pwd)
    runs=${2:-5}
    bin=$build/bin
    for tool in qm_bench_accessibility quillmerge-mkdb; do
        [[ -x $bin/$tool ]] || { echo "build $tool first (cmake --build $build --target $tool)" >&2; exit 2; }
    done
    for tool in Xvfb dbus-run-session /usr/libexec/at-spi-bus-launcher; do
        command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
    done
    /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
        { echo "python3-gi or gir1.2-atspi-2.0 is missing (scripts/install-deps.sh)" >&2; exit 2; }
    [[ ${READER:-} != orca ]] || command -v orca >/dev/null || { echo "orca is not installed" >&2; exit 2; }

    count=1000000
    [[ ${CALLGRIND:-0} == 0 ]] || count=100000
    cache=$root/bench/cache
    db=$cache/orders-$count.mdb
    mkdir -p "$cache"
    if [[ ! -f $db ]]; then
        sed "s/\"count\": 1000000/\"count\": $count/" "$root/tests/fixtures/million-rows.json" \
            >"$cache/orders-$count.json"
        "$bin/quillmerge-mkdb" --quiet "$db" "$cache/orders-$count.json"
    fi

    work=$(mktemp -d)
    # A display of our own: Xvfb picks a free number and writes it out.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 100); do
        [[ -s $work/display ]] && break
        sleep 0.1
    done
    [[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 1; }
    mkdir -m 700 "$work/run"
    DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run BENCH_WORK=$work \
        dbus-run-session -- "$0" --inside "$build" "$runs" "$db" 2>"$work/session.log" ||
        { cat "$work/session.log" >&2; exit 1; }
    exit
fi

# Inside the private session bus.
build=$2
runs=$3
db=$4
work=$BENCH_WORK
log=$work/log
: >"$log"
reader_pid=
trap '[[ -z $reader_pid ]] || kill $reader_pid 2>/dev/null' EXIT

# The session bus starts the accessibility bus when it is first asked for its
# address; both go when the session ends.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null

# start_reader: starts the screen reader and waits until it listens.
start_reader() {
    if [[ ${READER:-} == orca ]]; then
        orca --replace >"$work/orca.log" 2>&1 &
        reader_pid=$!
        sleep 8  # no ready signal; Orca registers its listeners within a few seconds
    else
        coproc READER_PROC { exec /usr/bin/python3 "$here/listener.py" 2>"$work/listener.log"; }
        reader_pid=$READER_PROC_PID
        read -r -t 20 _ <&"${READER_PROC[0]}" || { echo "the listener did not start" >&2; exit 1; }
    fi
}
stop_reader() {
    kill "$reader_pid" 2>/dev/null || true
    wait "$reader_pid" 2>/dev/null || true
    reader_pid=
}

bench=("$build/bin/qm_bench_accessibility" "$db" Orders)
# measure BRIDGE: one run with the bridge off or on.
measure() {
    local env=()
    [[ $1 == off ]] || { env=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1); start_reader; }
    local run=("${bench[@]}")
    [[ ${CALLGRIND:-0} == 0 ]] ||
        run=(valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.$1" "${run[@]}")
    if ! env "${env[@]}" "${run[@]}" >>"$log" 2>"$work/bench.err"; then
        cat "$work/bench.err" >&2
        exit 1
    fi
    [[ $1 == off ]] || stop_reader
}

if [[ ${CALLGRIND:-0} != 0 ]]; then
    measure off
    measure on
    echo "instructions (callgrind, $(basename "$db")):"
    for bridge in off on; do
        for step in 1 2; do
            file=$work/callgrind.$bridge.$step
            printf '  bridge %-3s %-7s %15s\n' "$bridge" "$(sed -n 's/^desc: Trigger: Client Request: //p' "$file")" \
                "$(sed -n 's/^summary: //p' "$file")"
        done
    done
    exit
fi

for ((i = 0; i < runs; i++)); do
    measure off
    measure on
done
if [[ ${READER:-listener} == listener ]]; then
    echo "what the listener saw in the last run:"
    grep '^listener:' "$work/listener.log" || true
fi

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/python3 - "$log" "$runs" <<'PY'
import statistics, sys
runs = {"off": [], "on": []}
for line in open(sys.argv[1]):
    # bridge B page3 W ms cpu C ms export W ms cpu C ms longest-gap G ms
    f = line.split()
    runs[f[1]].append([int(f[i]) for i in (3, 6, 9, 12, 15)])
def median(bridge, i):
    return statistics.median(r[i] for r in runs[bridge])
def cell(bridge, i):
    values = [r[i] for r in runs[bridge]]
    return f"{median(bridge, i):.0f} ms ({min(values)}-{max(values)})"
print(f"\nruns per figure: {sys.argv[2]}; median (min-max)\n")
print("| bridge | page 3 shown | its CPU time | Finish (export) | its CPU time | longest stop of the event loop |")
print("|---|---:|---:|---:|---:|---:|")
for bridge in ("off", "on"):
    print(f"| {bridge} | " + " | ".join(cell(bridge, i) for i in range(5)) + " |")
print(f"\nexport on/off: {median('on', 2) / median('off', 2):.2f} "
      f"(CPU time {median('on', 3) / median('off', 3):.2f})")
PY
