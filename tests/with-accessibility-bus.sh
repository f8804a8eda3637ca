#!/bin/sh
# Runs a command as under a screen reader: on a virtual X display, in a private D-Bus
# session whose accessibility bus (at-spi) is on. Qt speaks at-spi only on a real display
# server, not on the offscreen platform.
set -eu
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- "$@"
