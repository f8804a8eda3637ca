#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine as a user would, checks what a
# desktop reads from it (desktop file, metainfo, the tavo:// handler), starts the
# installed program, and removes the package again. Needs root or sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
rm -f build/lumbra_*.deb
(cd build && cpack -G DEB > /dev/null)
deb=$(ls build/lumbra_*.deb)
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "./$deb" > /dev/null
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q lumbra > /dev/null' EXIT

desktop-file-validate /usr/share/applications/app.lumbra.Lumbra.desktop
appstreamcli validate --no-net /usr/share/metainfo/app.lumbra.Lumbra.metainfo.xml > /dev/null
handler=$(xdg-mime query default x-scheme-handler/tavo)
if [ "$handler" != app.lumbra.Lumbra.desktop ]; then
    echo "package: tavo:// links go to \"$handler\", not Lumbra"
    exit 1
fi
bash tests/lumbra-starts.sh /usr/bin/lumbra > /dev/null
echo "package: $(basename "$deb") installed, its desktop files valid, tavo:// handled, /usr/bin/lumbra started"
