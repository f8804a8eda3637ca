#!/bin/sh
# Checks with the real Orca what a screen reader user hears in Lumbra (tests/orca-speaks.py):
# on a virtual display, in a private D-Bus session with the accessibility bus and an
# unlocked keyring, in a throwaway home.
#   screen-reader-check.sh [LUMBRA SANDBOX [LANGUAGE...]]   (default: the build's; en de fr)
# Whatever browser the machine has, the login page goes to the check's own stand-in.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
lumbra=${1:-$root/build/Lumbra/lumbra}
sandbox=${2:-$root/build/sandbox/lumbra-sandbox}
[ $# -ge 2 ] && shift 2 || set --
for tool in orca xdotool xvfb-run dbus-run-session gnome-keyring-daemon curl pgrep; do
    command -v "$tool" > /dev/null || { echo "screen-reader-check: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
# Orca starts once per user: beside the user's own it refuses to run. CTest counts 77 as
# skipped.
if others=$(pgrep -u "$(id -u)" -x orca); then
    echo "screen-reader-check: skipped: this user already runs Orca (pid $(echo $others)), and Orca runs once per user"
    exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Each language from a fresh desktop session: nothing remembered, not even in the keyring.
status=0
for language in ${*:-en de fr}; do
    home="$scratch/$language"
    mkdir -m 700 "$home" "$home/home" "$home/runtime"
    export HOME="$home/home" XDG_RUNTIME_DIR="$home/runtime"
    export XDG_CONFIG_HOME="$home/home/.config" XDG_DATA_HOME="$home/home/.local/share"
    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- sh -c '
        printf "lumbra-tests" | gnome-keyring-daemon --unlock --components=secrets --daemonize > /dev/null
        /usr/libexec/at-spi-bus-launcher --launch-immediately &
        bus=$!
        python3 "$@"
        status=$?
        kill $bus 2> /dev/null # the rest of the session ends with its bus
        exit $status' check "$root/tests/orca-speaks.py" "$lumbra" "$sandbox" "$language" ||
        status=$?
    [ "$status" -eq 77 ] && break
done
exit "$status"
