#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB) and checks it as installed.
#
#   scripts/package-check.sh [BUILD_DIR]
#
# BUILD_DIR may hold a configured build already (CI passes the one that
# scripts/test.sh made, so nothing is compiled twice); otherwise it is
# configured there as Debian builds packages: build type None and the flags of
# dpkg-buildflags, hardening included. Default: build-package/ in the checkout.
# Only the installed programs are built.
#
# Then lintian must find neither errors nor warnings, and the package, unpacked
# into a scratch folder with dpkg-deb -x, must hold just the two programs in
# bin/, a valid desktop entry, AppStream metadata and icon, a MIME entry that gives
# .accdb files the Access type, and a quillmerge-export that lists the tables
# of the sample database beside it and exports the first to a .docx.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}
started=$SECONDS
id=com.example.quillmerge

if [[ ! -f $build/CMakeCache.txt ]]; then
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    # CMake reads CFLAGS, CXXFLAGS and LDFLAGS, not CPPFLAGS.
    CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DQM_BUILD_TESTS=OFF \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
fi
if grep -q '^QM_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "$build is a sanitizer build: its programs need the sanitizer runtime, give another" >&2
    exit 2
fi
cmake --build "$build" -j"$(nproc)" --target quillmerge quillmerge-export quillmerge_docs

rm -f "$build"/quillmerge_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/quillmerge_*.deb)
deb=${debs[0]}
echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --field "$deb" Depends

lintian --fail-on error,warning --display-info "$deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
usr=$scratch/root/usr

programs=$(cd "$usr/bin" && ls)
if [[ $programs != $'quillmerge\nquillmerge-export' ]]; then
    echo "bin/ should hold quillmerge and quillmerge-export, holds: ${programs//$'\n'/ }" >&2
    exit 1
fi

desktop-file-validate "$usr/share/applications/$id.desktop"
# The metadata, and the desktop entry it names, as installed.
appstreamcli validate-tree --no-net "$scratch/root"
test -f "$usr/share/icons/hicolor/scalable/apps/$id.svg"

# The system's MIME database plus ours, built as update-mime-database does
# on installation.
mkdir -p "$scratch/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$usr/share/mime/packages/$id.xml" "$scratch/mime/packages/"
XDG_DATA_DIRS=$scratch update-mime-database "$scratch/mime"
grep -qx '[0-9]*:application/vnd.ms-access:\*\.accdb' "$scratch/mime/globs2" || {
    echo "the MIME entry does not give *.accdb the type application/vnd.ms-access" >&2
    exit 1
}

export=$usr/bin/quillmerge-export
sample=$usr/share/quillmerge/Samples/sample.mdb
"$export" "$sample" --list-tables >"$scratch/tables"
table=$(head -n 1 "$scratch/tables")
if [[ -z $table ]]; then
    echo "no tables listed in $sample" >&2
    exit 1
fi
"$export" "$sample" --table "$table" --output "$scratch/out.docx"
unzip -tq "$scratch/out.docx" >/dev/null
echo "== Exported table '$table' of the packaged sample database to a .docx"
echo "== Package checked in $((SECONDS - started)) s"
