#!/usr/bin/env bash
# quillmerge-export --layout lines against --layout table in every format, on
# the generated 1,000,000-record Orders table of bench/export/run.sh (10 mixed
# columns; generate it first by running that script once): seconds and peak
# RSS (KiB) from /usr/bin/time, one line per run.
#
#   bench/table/export.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-1}
db=$root/bench/cache/orders-1000000.mdb
[[ -f $db ]] || { echo "run bench/export/run.sh once to generate $db" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for format in docx doc odt rtf txt; do
    for ((run = 0; run < runs; ++run)); do
        for layout in lines table; do
            /usr/bin/time -f "%e %M" -o "$out/time" "$build/bin/quillmerge-export" "$db" --table Orders \
                --layout "$layout" --format "$format" --output "$out/orders.$format"
            echo "$format $layout $(cat "$out/time") $(stat -c %s "$out/orders.$format")"
        done
    done
done
