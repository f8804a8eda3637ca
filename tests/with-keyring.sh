#!/bin/sh
# Runs a command against a throwaway Secret Service: a private D-Bus session with an
# unlocked gnome-keyring in a temporary home, removed afterwards.
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
export XDG_DATA_HOME="$scratch/home/.local/share" XDG_CONFIG_HOME="$scratch/home/.config"
# An empty password would not create the login collection.
dbus-run-session -- sh -c '
    printf "lumbra-tests" | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
    exec "$@"' keyring "$@"
