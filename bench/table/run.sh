#!/usr/bin/env bash
# Lines against table, every format, one process per run: time and peak RSS.
#   bench/table/run.sh [BUILD_DIR] [RECORDS] [RUNS]
set -euo pipefail
build=${1:-build}
records=${2:-1000000}
runs=${3:-1}
for format in docx doc odt rtf txt; do
    for ((run = 0; run < runs; ++run)); do
        for layout in lines table; do
            "$build/bin/qm_bench_table" --records "$records" --format "$format" --layout "$layout"
        done
    done
done
