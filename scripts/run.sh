#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillmerge. Without a wizard
# build it exports the bundled sample database from the command line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
if [[ -x "$build/bin/quillmerge" ]]; then
    exec "$build/bin/quillmerge" "$@"
fi
sample="$build/bin/Samples/sample.mdb"
[[ -f "$sample" ]] || sample="$root/samples/sample.mdb"
out=${TMPDIR:-/tmp}/quillmerge-sample.docx
"$build/bin/quillmerge-export" "$sample" --list-tables
first=$("$build/bin/quillmerge-export" "$sample" --list-tables | head -n 1)
"$build/bin/quillmerge-export" "$sample" --table "$first" --output "$out"
echo "Wrote $out"
