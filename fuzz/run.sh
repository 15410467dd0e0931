#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60); TARGET names like database_image (default:
# all six). Seeds come from the shared corpus of real Access files, the
# generated fixtures and small hand-made inputs; what a run learns is kept in
# BUILD_DIR/corpus/ for the next run. Exit status 1 when any target found a
# crash, a leak, a timeout or a broken property; the input is kept in
# BUILD_DIR/findings/ and the last lines of the log are printed.
#
# Environment: BUILD_DIR (default build-fuzz/ in the checkout),
# QM_FUZZ_LIBMDB_SOURCE (src/libmdb of an mdbtools 1.0.0 source tree: libmdb is
# then built with the sanitizers too), QM_CORPUS_DIR (default ../shared/corpus).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    targets=(database_image column_properties jet_header connection_string description document_writers)
fi
build=${BUILD_DIR:-$root/build-fuzz}
corpus_dir=${QM_CORPUS_DIR:-$root/../shared/corpus}

configure=(-DQM_FUZZ=ON -DQM_BUILD_TESTS=OFF -DQM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ -n "${QM_FUZZ_LIBMDB_SOURCE:-}" ]]; then
    configure+=("-DQM_FUZZ_LIBMDB_SOURCE=$QM_FUZZ_LIBMDB_SOURCE")
fi
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" "${generator[@]}" "${configure[@]}" >/dev/null
cmake --build "$build" --target qm_fuzzers quillmerge-mkdb -j"${JOBS:-2}"

# Seeds, made afresh each run (cheap) so they follow the fixtures.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{database_image,column_properties,jet_header,connection_string,description,document_writers}
if [[ -d "$corpus_dir" ]]; then
    for file in "$corpus_dir"/*.mdb "$corpus_dir"/*.accdb; do
        name=$(basename "$file")
        cp "$file" "$seeds/database_image/$name"
        # The header page and two more: enough for the header parsers and the
        # page decryption, small enough for many runs a second.
        head -c 12288 "$file" >"$seeds/jet_header/$name"
    done
fi
for description in "$root"/tests/fixtures/*.json "$root"/tests/reliability/fixtures/*.json \
    "$root"/samples/sample.json; do
    [[ -f "$description" ]] || continue
    name=$(basename "$description" .json)
    cp "$description" "$seeds/description/$name.json"
    case $name in million-rows | many-tables) continue ;; esac
    "$build/bin/quillmerge-mkdb" --quiet "$seeds/database_image/fixture-$name.mdb" "$description" || true
done
# The property blobs of every table of the real files and of the fixtures
# (calculated columns among them), as mdb-export gives them in hexadecimal.
for file in "$seeds"/database_image/*.mdb "$seeds"/database_image/*.accdb; do
    [[ -f "$file" ]] || continue
    mdb-export -b hex -Q -d $'\x01' -R $'\x02' "$file" MSysObjects 2>/dev/null |
        /usr/bin/python3 -c '
import sys
rows = [row.split("\x01") for row in sys.stdin.buffer.read().decode("latin-1").split("\x02")]
column = rows[0].index("LvProp") if rows and "LvProp" in rows[0] else -1
for number, row in enumerate(rows[1:]):
    if column >= 0 and len(row) > column and row[column]:
        with open("%s-%d" % (sys.argv[1], number), "wb") as out:
            out.write(bytes.fromhex(row[column]))
' "$seeds/column_properties/$(basename "$file")" || true
done
for file in "$seeds"/database_image/fixture-*.mdb; do
    [[ -f "$file" ]] && head -c 8192 "$file" >"$seeds/jet_header/$(basename "$file")"
done
i=0
while IFS= read -r line; do
    printf '%s' "$line" >"$seeds/connection_string/seed-$((i++))"
done <<'EOF'
Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/home/user/db.accdb;JET OLEDB:Database Password=secret
PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source="/tmp/a;b.mdb";JET OLEDB:Database Password="""quoted"""
Provider = 'Microsoft.Jet.OLEDB.4.0' ; Data Source=x.mdb;User ID=Admin;Mode==Share Deny None;
/path/with ; semicolons.accdb
EOF
printf 'C:\\db.mdb\0pass;word' >"$seeds/connection_string/path-and-password"
printf '\0a,b,c\nNull,,"quoted"\n\t tabs \r\n  \n<w:t>&amp;</w:t>\n\xf0\x9f\x98\x80 \xed\xa0\x80 \xff\x01\x0c' \
    >"$seeds/document_writers/docx"
for format in 1 2 3 4; do
    { printf "\\x0$format"; tail -c +2 "$seeds/document_writers/docx"; } >"$seeds/document_writers/format-$format"
done

mkdir -p "$build/findings" "$build/logs"
status=0
summary=$build/logs/summary.txt
: >"$summary"
for target in "${targets[@]}"; do
    program=$build/bin/fuzz_$target
    work=$build/corpus/$target
    mkdir -p "$work"
    options=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=3072 -print_final_stats=1
        -artifact_prefix="$build/findings/$target-")
    [[ -f "$root/fuzz/$target.dict" ]] && options+=(-dict="$root/fuzz/$target.dict")
    case $target in
        database_image) options+=(-max_len=4194304) ;;
        jet_header) options+=(-max_len=16384) ;;
        *) options+=(-max_len=65536) ;;
    esac
    log=$build/logs/$target.log
    echo "== fuzz_$target: $seconds s"
    if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$program" "${options[@]}" "$work" "$seeds/$target" >"$log" 2>&1; then
        status=1
        echo "!! fuzz_$target found a fault; input in $build/findings/" | tee -a "$summary"
        tail -n 40 "$log"
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || echo 0)
    units=$(find "$work" -type f | wc -l)
    echo "fuzz_$target: $runs runs in $seconds s, coverage $coverage edges, corpus $units inputs" |
        tee -a "$summary"
done
exit $status
