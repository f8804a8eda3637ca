#!/usr/bin/env bash
# Writes the README's screenshots of the real program with the sandbox's demo feeds, as a
# user sees it: the login screen, the three columns with an article open and a search, in
# the light and the dark desktop, with the pseudo-translation and mirrored for a
# right-to-left language. Lumbra runs on a virtual display in a throwaway home; keys are
# typed with xdotool and windows taken with ImageMagick's import.
#   screenshots.sh [FOLDER]   (default: docs/screenshots; builds first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(realpath -m "${1:-$root/docs/screenshots}")
mkdir -p "$folder"

# The dark desktop comes through GTK's own dark theme; import takes the pictures.
needed=()
command -v import > /dev/null || needed+=(imagemagick)
[ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platformthemes/libqgtk3.so ] ||
    needed+=(qt6-gtk-platformtheme)
if [ ${#needed[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "screenshots: installing ${needed[*]}"
    $sudo apt-get install -y -q --no-install-recommends "${needed[@]}" > /dev/null
fi
bash "$root/scripts/setup.sh" > /dev/null
bash "$root/scripts/build.sh" > /dev/null

scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2> /dev/null; rm -rf "$scratch"' EXIT

# Plays the user's browser: opens the login page and presses "Grant access".
cat > "$scratch/browser" << 'EOF'
#!/bin/sh
base=$(printf '%s' "$1" | sed 's#^\(https*://[^/]*\).*#\1#')
page=$(curl -s "$1")
flow=$(printf '%s' "$page" | sed -n 's/.*name="flow" value="\([^"]*\)".*/\1/p')
action=$(printf '%s' "$page" | sed -n 's/.*<form[^>]*action="\([^"]*\)".*/\1/p')
case "$action" in /*) action="$base$action" ;; esac
curl -s -d "flow=$flow" "$action" > /dev/null
EOF
chmod +x "$scratch/browser"
# Qt hands the login page to the first xdg-open on the PATH: this one, not the browser the
# machine may have.
mkdir "$scratch/bin"
printf '#!/bin/sh\nexec "%s" "$1"\n' "$scratch/browser" > "$scratch/bin/xdg-open"
chmod +x "$scratch/bin/xdg-open"

# One run of Lumbra in a new home: NAME-login.png, NAME-reader.png and NAME-search.png.
# The rest of the arguments are the environment it runs in.
shoot() {
    local name=$1
    shift
    local home="$scratch/home-$name"
    mkdir -p -m 700 "$home" "$home/runtime"
    # A sandbox of its own, with every demo article as it was.
    local port server sandbox
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    server="http://127.0.0.1:$port"
    "$root/build/sandbox/lumbra-sandbox" --port "$port" --demo > /dev/null &
    sandbox=$!
    until curl -s -o /dev/null "$server/"; do sleep 0.2; done
    cat > "$scratch/session.sh" << EOF
set -eu
window=\$(xdotool search --sync --onlyvisible --class '^lumbra\$' | head -n 1)
xdotool windowsize "\$window" 1280 800 windowfocus --sync "\$window"
sleep 2
xdotool type --delay 20 cloud.example.org
import -window "\$window" "$folder/$name-login.png"
xdotool key ctrl+a
xdotool type --delay 20 "$server"
xdotool key Return
sleep 4 # the browser's login, the first refresh
xdotool key Tab Tab Tab Down Down Down
sleep 2
import -window "\$window" "$folder/$name-reader.png"
xdotool key ctrl+f
xdotool type --delay 40 "tiny vacuum"
sleep 2
import -window "\$window" "$folder/$name-search.png"
EOF
    env HOME="$home" XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_HOME="$home/.config" \
        XDG_DATA_HOME="$home/.local/share" \
        PATH="$scratch/bin:$PATH" BROWSER="$scratch/browser" QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 \
        QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu "$@" \
        xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- sh -c '
            # The keyring Lumbra keeps the app password in, unlocked as a desktop login does.
            printf screenshots | gnome-keyring-daemon --unlock --components=secrets \
                --daemonize > /dev/null
            "$1" 2> /dev/null &
            lumbra=$!
            sh "$2"
            status=$?
            kill $lumbra
            exit $status' shoot "$root/build/Lumbra/lumbra" "$scratch/session.sh"
    kill $sandbox
    echo "screenshots: $folder/$name-login.png, -reader.png, -search.png"
}

for variant in ${LUMBRA_SCREENSHOT_VARIANTS:-light dark pseudo rtl}; do
    case $variant in
    light) shoot light LANGUAGE=en ;;
    dark) shoot dark LANGUAGE=en QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark ;;
    pseudo) shoot pseudo LANGUAGE=en LUMBRA_PSEUDO_TRANSLATION=1 ;;
    rtl) shoot rtl LANGUAGE=ar ;;
    esac
done
