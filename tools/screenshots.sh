#!/usr/bin/env bash
# Pictures of the wizard's four pages, at 100 % and 200 % scale.
#
#   tools/screenshots.sh OUTDIR [DATABASE [TABLE]]
#
# Writes OUTDIR/100/{1-database,2-table,3-fields,4-output}.png and the same
# under OUTDIR/200. Runs the program's quillmerge-screenshots driver under a
# virtual X server (Debian package xvfb), so no display is needed. DATABASE
# defaults to the sample database beside the program, else the shared
# Northwind copy; TABLE defaults to the first table (Northwind: Order Details).
# The build directory is BUILD_DIR (default: build/ in the checkout).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
driver=$build/bin/quillmerge-screenshots

if [[ $# -lt 1 ]]; then
    echo "usage: $0 OUTDIR [DATABASE [TABLE]]" >&2
    exit 2
fi
out=$1
database=${2:-}
table=${3:-}
if [[ -z $database ]]; then
    if [[ -f $build/bin/Samples/sample.mdb ]]; then
        database=$build/bin/Samples/sample.mdb
    else
        database=$(cd "$root/.." && pwd)/shared/corpus/northwind-jet3.mdb
        table=${table:-Order Details}
    fi
fi
if [[ ! -x $driver ]]; then
    echo "$driver is missing: build the target quillmerge-screenshots first" >&2
    exit 1
fi
if ! command -v xvfb-run >/dev/null; then
    echo "xvfb-run is missing: apt-get install xvfb" >&2
    exit 1
fi

export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
for scale in 100 200; do
    factor=$(awk "BEGIN { print $scale / 100 }")
    QT_SCALE_FACTOR=$factor xvfb-run --auto-servernum --server-args="-screen 0 2560x1600x24 -dpi 96" \
        "$driver" "$out/$scale" "$database" ${table:+"$table"}
done
