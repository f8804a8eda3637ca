#!/usr/bin/env bash
# Starts the real lumbra offscreen in a throwaway home and checks that it is still running
# after a few seconds (as root, Chromium's sandbox would otherwise end it at once), then
# ends it.   lumbra-starts.sh LUMBRA
set -u
lumbra="$1"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# No session bus: Lumbra runs as a lone instance, in the language the desktop asks for.
env -u QTWEBENGINE_DISABLE_SANDBOX -u DBUS_SESSION_BUS_ADDRESS HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_DATA_HOME="$home/.local/share" QT_QPA_PLATFORM=offscreen \
    LANGUAGE=fr:de QT_LOGGING_RULES="lumbra.language=true" \
    QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu "$lumbra" > "$home/out" 2>&1 &
pid=$!
sleep 6
if ! kill -0 "$pid" 2> /dev/null; then
    echo "lumbra ended at start:"; cat "$home/out"; exit 1
fi
kill "$pid"; wait "$pid" 2> /dev/null
if [ "$(id -u)" = 0 ] && ! grep -q "running as root" "$home/out"; then
    echo "no notice about running as root:"; cat "$home/out"; exit 1
fi
if ! grep -q "speaking fr_FR" "$home/out"; then
    echo "not in the language asked for (LANGUAGE=fr:de):"; cat "$home/out"; exit 1
fi
echo "lumbra started in French and ran for 6 s"
