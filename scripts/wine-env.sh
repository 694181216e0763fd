# Sourced by the scripts that run Windows programs: one Wine prefix of the project's own, quiet,
# and never asking for Mono or Gecko.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$repo_root/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
export GTEST_COLOR=no
export CHUNKLER_TESTDRIVES=${CHUNKLER_TESTDRIVES:-$repo_root/build/testdrives}
export CHUNKLER_DISPLAY=${CHUNKLER_DISPLAY:-:91}
