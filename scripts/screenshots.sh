#!/usr/bin/env bash
# `make screenshots`: docs/window-en.png and docs/window-de.png, the window as the program shows it
# under Wine on the virtual display, in English and in German, cut to the window's rectangle.
# The window must not be open already on that display.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${CHUNKLER_RUN_EXE:?"the Chunkler.exe to show (make screenshots sets it)"}
scripts/wine-setup.sh start >/dev/null
. scripts/wine-env.sh
export DISPLAY=$CHUNKLER_DISPLAY
mkdir -p docs
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true' EXIT # the window closes even when a step fails

shoot() { # locale, picture
    LC_ALL=$1 LANG=$1 wine "$exe" >/dev/null 2>&1 </dev/null &
    pid=$!
    local geometry=
    for _ in $(seq 100); do
        geometry=$(xwininfo -name "Chunkler light" 2>/dev/null | awk '
            /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
            /Width:/ { w = $NF } /Height:/ { h = $NF } /Map State: IsViewable/ { shown = 1 }
            END { if (shown) print w "x" h "+" x "+" y }') || true
        [ -n "$geometry" ] && break
        sleep 0.1
    done
    [ -n "$geometry" ] || { echo "screenshots: no window appeared under $1" >&2; exit 1; }
    sleep 1 # the window paints itself after it is shown
    # Outside its elliptic region the virtual display's black root shows: that becomes transparent.
    local w=${geometry%%x*} h=${geometry#*x}
    h=${h%%+*}
    import -window root miff:- | convert - -crop "$geometry" +repage -alpha set -fill none \
        -draw "color 0,0 floodfill" -draw "color $((w - 1)),0 floodfill" \
        -draw "color 0,$((h - 1)) floodfill" -draw "color $((w - 1)),$((h - 1)) floodfill" "$2"
    kill "$pid"
    wait "$pid" || true
    pid=
    echo "screenshots: $2 ($1, window $geometry)"
}

shoot en_US.UTF-8 docs/window-en.png
shoot de_DE.UTF-8 docs/window-de.png
scripts/wine-setup.sh stop-unless-kept >/dev/null
