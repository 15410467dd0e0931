#!/usr/bin/env bash
# Export benchmark: quillmerge-export to .docx against mdb-export (the same
# reader library dumping plain CSV) on a generated Jet 4 table, plus peak
# memory at 100,000 and 1,000,000 records.
#
#   bench/export/run.sh [BUILD_DIR] [RUNS]
#
# The databases are generated once into bench/cache/ and reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
bin=$build/bin
cache=$root/bench/cache
mkdir -p "$cache"
for tool in quillmerge-export quillmerge-mkdb; do
    [[ -x $bin/$tool ]] || { echo "build $tool first (scripts/build.sh)" >&2; exit 2; }
done
command -v mdb-export >/dev/null || { echo "mdb-export is missing (apt-get install mdbtools)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 2; }

description=$root/tests/fixtures/million-rows.json
for count in 100000 1000000; do
    db=$cache/orders-$count.mdb
    if [[ ! -f $db ]]; then
        echo "generating $db" >&2
        sed "s/\"count\": 1000000/\"count\": $count/" "$description" > "$cache/orders-$count.json"
        "$bin/quillmerge-mkdb" --quiet "$db" "$cache/orders-$count.json"
    fi
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# measure LABEL COMMAND...: one run, appends "label seconds peak_kib" to the log.
measure() {
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$out/time" "$@" >/dev/null 2>"$out/stderr" || {
        cat "$out/stderr" >&2
        exit 1
    }
    echo "$label $(cat "$out/time")" >>"$out/log"
}

for count in 100000 1000000; do
    db=$cache/orders-$count.mdb
    for ((i = 0; i < runs; i++)); do
        measure "docx-$count" "$bin/quillmerge-export" "$db" --table Orders --output "$out/orders.docx"
        measure "csv-$count" mdb-export "$db" Orders
    done
done

/usr/bin/python3 - "$out/log" "$runs" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    label, seconds, kib = line.split()
    rows.setdefault(label, []).append((float(seconds), int(kib)))
def med(label, i):
    return statistics.median(r[i] for r in rows[label])
print(f"runs per figure: {sys.argv[2]} (median)\n")
print("| records | quillmerge-export .docx | mdb-export CSV | ratio | records/s (docx) | peak RSS docx | peak RSS mdb-export |")
print("|---:|---:|---:|---:|---:|---:|---:|")
for count in (100000, 1000000):
    d, c = med(f"docx-{count}", 0), med(f"csv-{count}", 0)
    print(f"| {count:,} | {d:.2f} s | {c:.2f} s | {d / c:.2f} | {count / d:,.0f} | "
          f"{med(f'docx-{count}', 1) / 1024:.1f} MiB | {med(f'csv-{count}', 1) / 1024:.1f} MiB |")
small, large = med("docx-100000", 1), med("docx-1000000", 1)
print(f"\npeak memory growth from 100,000 to 1,000,000 records: {100 * (large - small) / small:+.1f}%")
PY
