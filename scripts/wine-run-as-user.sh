#!/usr/bin/env bash
# Runs a test executable the way a user of real Windows meets the disk. Root is never refused a folder, so
# the wineserver, which opens files for Windows programs, runs without root's right to read and write any
# folder (a folder of mode 000 then cannot be listed), and the program without the right to change what
# another user owns (so another user's folder keeps its time). No other test may run meanwhile: stopping
# the wineserver takes its programs with it.
set -u
. "$(dirname "$0")/wine-env.sh"
if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
    echo "wine-run-as-user: needs root and setpriv to give up rights; skipped"
    exit 0
fi
restart() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    "$@" wineserver -p >/dev/null 2>&1 </dev/null
}
restart setpriv --inh-caps=-dac_override,-dac_read_search --bounding-set=-dac_override,-dac_read_search
setpriv --inh-caps=-fowner --bounding-set=-fowner "$(dirname "$0")/wine-run.sh" "$@"
code=$?
restart
exit $code
