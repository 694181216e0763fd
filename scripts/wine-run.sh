#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix (ctest's emulator).
#
# Wine starts its helper processes (services, the desktop) from whichever program needs them first,
# and they inherit that program's output handles and outlive it. Were those ctest's pipes, ctest would
# wait for them until its timeout although the test had ended, so the output goes through a file.
. "$(dirname "$0")/wine-env.sh"
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1 </dev/null
code=$?
grep -v -e '^it looks like wine32 is missing' -e 'apt-get install wine32:i386' "$out"
exit $code
