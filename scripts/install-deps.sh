#!/usr/bin/env bash
# Installs the Debian 12 packages Quillmerge needs to build, run and test.
# Only what is missing is installed; run as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev valgrind
    qt6-base-dev qt6-base-dev-tools libgl-dev qtkeychain-qt6-dev fonts-liberation2
    mdbtools mdbtools-dev libglib2.0-dev
    libminizip-dev zlib1g-dev libgsf-1-dev
    libssl-dev
    libgtest-dev googletest
    python3 python3-docx python3-olefile docx2txt libxml2-utils unzip time
    antiword catdoc wv pandoc libreoffice-writer-nogui poppler-utils fonts-crosextra-carlito
    nodejs npm
    xvfb gnome-keyring dbus-daemon
    at-spi2-core python3-gi gir1.2-atspi-2.0
    lintian desktop-file-utils appstream shared-mime-info
)
if [[ "${1:-}" == "--list" ]]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

# Node.js may come from another source (NodeSource's package bundles npm and
# conflicts with Debian's); any working node and npm on the PATH will do.
have_command() {
    case "$1" in
    nodejs) command -v node >/dev/null 2>&1 ;;
    npm) command -v npm >/dev/null 2>&1 ;;
    *) return 1 ;;
    esac
}

missing=()
for p in "${packages[@]}"; do
    if have_command "$p"; then
        continue
    fi
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
