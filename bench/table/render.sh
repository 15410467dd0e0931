#!/usr/bin/env bash
# Pictures of the fitted tables, to compare layouts by eye: the students
# (22 columns, 52 records) and staff (24 columns, 2 records) fixtures as
# --layout table in every paged format, through LibreOffice to PDF, first page
# as a small PNG (poppler-utils' pdftoppm) into bench/table/pictures.
#   bench/table/render.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$here/pictures"
for table in students:Students staff:Сотрудники; do
    fixture=${table%%:*}
    for format in docx odt rtf doc; do
        "$build/bin/quillmerge-export" "$build/fixtures/$fixture.mdb" --table "${table#*:}" --layout table \
            --output "$work/$fixture-$format.$format"
    done
done
HOME=$work soffice -env:UserInstallation="file://$work/profile" --headless --norestore \
    --convert-to pdf --outdir "$work" "$work"/*.docx "$work"/*.odt "$work"/*.rtf "$work"/*.doc >/dev/null
for pdf in "$work"/*.pdf; do
    name=$(basename "$pdf" .pdf)
    echo "$name: $(pdfinfo "$pdf" | grep -E '^(Pages|Page size)' | tr -s ' ' | tr '\n' ' ')"
    pdftoppm -png -gray -r 60 -f 1 -l 1 -singlefile "$pdf" "$here/pictures/$name"
done
