#!/usr/bin/env bash
# Full exports under valgrind's memcheck: a Jet 3, a Jet 4 and an encrypted
# ACE database from the shared corpus, and a generated table with long values,
# listed and exported. Any memory error or definite leak fails the test.
#
#   valgrind_export.sh VALGRIND QUILLMERGE-EXPORT QUILLMERGE-MKDB
set -euo pipefail
valgrind=$1 exporter=$2 mkdb=$3
corpus=$(cd "$(dirname "$0")/../../.." && pwd)/shared/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

here=$(cd "$(dirname "$0")" && pwd)
# Qt's regular expressions compile to machine code memcheck cannot follow.
export QT_ENABLE_REGEXP_JIT=0
check() {
    "$valgrind" --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
        --errors-for-leak-kinds=definite --suppressions="$here/valgrind.supp" "$exporter" "$@"
}

cat >"$work/values.json" <<'JSON'
{"tables": [{"name": "Notes", "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text", "size": 40},
  {"name": "Note", "type": "memo"}, {"name": "Price", "type": "currency"}, {"name": "When", "type": "datetime"}],
  "generate": {"count": 3000, "seed": 1}}]}
JSON
"$mkdb" --quiet "$work/values.mdb" "$work/values.json"
check "$work/values.mdb" --list-tables >/dev/null
check "$work/values.mdb" --table Notes --output "$work/values.docx"
if [[ -d "$corpus" ]]; then
    check "$corpus/northwind-jet3.mdb" --table "Order Details" --output "$work/northwind.docx"
    check "$corpus/V2000_test.mdb" --table Table2 --output "$work/v2000.docx"
    QUILLMERGE_PASSWORD=password check "$corpus/office-agile-4.4.accdb" --table Table1 --output "$work/agile.docx"
    # A failure path too: the wrong password.
    QUILLMERGE_PASSWORD=wrong check "$corpus/office-agile-4.4.accdb" --list-tables 2>/dev/null && exit 1
    [[ $? -ne 99 ]] || exit 99
fi
echo "memcheck: no errors"
