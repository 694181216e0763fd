#!/usr/bin/env bash
# start: makes the project's Wine prefix (once), links the test drives, mounts the small full-disk
#        drives (root only), and starts one wineserver and one virtual display for the whole run.
# stop:  ends them again and unmounts.
# prefix: only makes the prefix (the benchmark has one of its own).
#
# Test drives (Windows letter -> folder under build/testdrives):
#   R: floppy, S: cdrom, T: U: V: fixed drives with content of the tests' own choosing,
#   W: X: Y: 1 MiB tmpfs drives that fill up, Q: a read-only tmpfs drive (mounted only when run as
#   root; tests skip otherwise).
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"

drives=(q r s t u v w x y)

# A prefix made by other Wine packages may not work with these: one made before wine32:i386 was
# installed fails afterwards with "could not load kernel32.dll", and `wineboot -u` does not mend it.
# The prefix remembers the packages that made it and is made again when they have changed.
prefix() {
    local packages stamp=$WINEPREFIX/chunkler-wine-packages
    packages=$(dpkg-query -W -f='${db:Status-Abbrev}${binary:Package} ${Version}\n' '*wine*' | grep '^ii' | sort)
    if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$packages" ]; then
        return
    fi
    if [ -d "$WINEPREFIX" ]; then
        echo "wine-setup: $WINEPREFIX was made by other Wine packages (or not finished); making it again"
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    echo "wine-setup: creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    echo "$packages" >"$stamp"
}

start() {
    prefix
    for d in "${drives[@]}"; do
        mkdir -p "$CHUNKLER_TESTDRIVES/$d"
        ln -sfn "$CHUNKLER_TESTDRIVES/$d" "$WINEPREFIX/dosdevices/$d:"
    done
    if ! grep -q '"r:"="floppy"' "$WINEPREFIX/system.reg" 2>/dev/null; then
        wine reg add 'HKLM\Software\Wine\Drives' /v r: /d floppy /f /reg:64 >/dev/null 2>&1
        wine reg add 'HKLM\Software\Wine\Drives' /v s: /d cdrom /f /reg:64 >/dev/null 2>&1
        wineserver -k || true
        wineserver -w || true
    fi
    for d in w x y q; do
        local dir="$CHUNKLER_TESTDRIVES/$d" opts=size=1m
        [ "$d" = q ] && opts=ro,size=1m
        if [ "$(id -u)" = 0 ] && ! mountpoint -q "$dir"; then
            mount -t tmpfs -o "$opts" tmpfs "$dir" 2>/dev/null || echo "wine-setup: cannot mount $dir; its tests will skip"
        fi
    done
    wineserver -p >/dev/null 2>&1 </dev/null || true
    if ! xdpyinfo -display "$CHUNKLER_DISPLAY" >/dev/null 2>&1; then
        setsid Xvfb "$CHUNKLER_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
        for _ in $(seq 50); do xdpyinfo -display "$CHUNKLER_DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
    fi
    # Starts Wine's services once, detached from the callers' output (see wine-run.sh).
    DISPLAY=$CHUNKLER_DISPLAY wine cmd /c exit >/dev/null 2>&1 </dev/null || true
    echo "wine-setup: ready (prefix $WINEPREFIX, display $CHUNKLER_DISPLAY)"
}

stop() {
    wineserver -k 2>/dev/null || true
    pkill -f "Xvfb $CHUNKLER_DISPLAY " 2>/dev/null || true
    for d in w x y q; do
        local dir="$CHUNKLER_TESTDRIVES/$d"
        if mountpoint -q "$dir" 2>/dev/null; then umount "$dir" || true; fi
    done
    echo "wine-setup: stopped"
}

case "${1:-start}" in
    start) start ;;
    prefix) prefix ;;
    stop) stop ;;
    # Several builds of one checkout may share the prefix while someone works; CHUNKLER_KEEP_WINE=1
    # keeps the wineserver and the display for them.
    stop-unless-kept) if [ -z "${CHUNKLER_KEEP_WINE:-}" ]; then stop; fi ;;
    *) echo "usage: $0 start|stop|prefix" >&2; exit 2 ;;
esac
