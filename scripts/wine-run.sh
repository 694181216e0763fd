#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix (ctest's emulator).
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
