#!/usr/bin/env bash
# Lookup benchmark: the export of a 1,000,000-record table whose Product
# column is a lookup into a 10,000-row table (SQL with an expression), with
# the shown values (the default) and with --stored-values, alternately, and
# peak memory of each.
#
#   bench/lookup/run.sh [BUILD_DIR] [RUNS]
#
# The database is generated once into bench/cache/ and reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
bin=$build/bin
cache=$root/bench/cache
mkdir -p "$cache"
db=$cache/lookup.mdb
if [[ ! -f $db || $root/bench/lookup/lookup.json -nt $db ]]; then
    echo "generating $db" >&2
    "$bin/quillmerge-mkdb" --quiet "$db" "$root/bench/lookup/lookup.json"
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for ((i = 0; i < runs; i++)); do
    for mode in shown stored; do
        extra=()
        [[ $mode == stored ]] && extra=(--stored-values)
        /usr/bin/time -f "$mode %e %M" -o "$out/time" \
            "$bin/quillmerge-export" "$db" --table Orders "${extra[@]}" --output "$out/orders.docx"
        cat "$out/time" >>"$out/log"
    done
done
/usr/bin/python3 - "$out/log" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    mode, seconds, kib = line.split()
    rows.setdefault(mode, []).append((float(seconds), int(kib)))
for mode in ("shown", "stored"):
    times = sorted(t for t, _ in rows[mode])
    print("%-6s median %.2f s (%.2f to %.2f), peak RSS %.1f MiB" % (
        mode, statistics.median(times), times[0], times[-1], max(k for _, k in rows[mode]) / 1024))
print("ratio shown/stored: %.2f" % (statistics.median(t for t, _ in rows["shown"]) /
                                    statistics.median(t for t, _ in rows["stored"])))
PY
