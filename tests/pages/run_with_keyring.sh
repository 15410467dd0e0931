#!/bin/sh
# run_with_keyring.sh TEST-PROGRAM [ARGS...]
# Runs the program inside a private D-Bus session with an unlocked keyring of
# its own, in a temporary home. Exits 77 (skipped) when the tools are missing.
set -eu
for tool in dbus-run-session gnome-keyring-daemon; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool not installed: skipped"; exit 77; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-run-session -- sh -c '
    printf "test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 ||
        { echo "the keyring did not start: skipped"; exit 77; }
    exec "$@"' sh "$@"
