#!/usr/bin/env bash
# `make bench`: times Chunkler's split and join with hyperfine against GNU split, cat and tar, against
# a minimal Win32 tree copier (bench/RefTreeCopy.cpp) and, for the recovery files, against GNU split with
# par2 create and par2 repair with cat; checks every result, prints one table, and measures the
# 200,000-record header (bench/HeaderScale.cpp), the CRC-32 methods (bench/CrcSpeed.cpp) and the PAR2
# arithmetic (bench/Par2Speed.cpp) in process.
#
# Environment:
#   BENCH_QUICK=1   smaller inputs and 3 timed runs instead of 5 (about 5 minutes)
#   BENCH_BUILD     build folder holding Chunkler.exe and bench/*.exe (`make bench` names the one it uses)
#   BENCH_DIR       scratch folder (default build/bench; inputs and the Wine prefix stay there)
#
# The benchmark has a Wine prefix and wineserver of its own: every file open and close under Wine is
# a request to the wineserver, and one shared with a running test suite would time that suite too.
#
# Exits non-zero only when a run fails or produces wrong output, never because of a slow figure.
set -euo pipefail
cd "$(dirname "$0")/.."
export BENCH_DIR=${BENCH_DIR:-$PWD/build/bench}
export WINEPREFIX=$BENCH_DIR/wine-prefix
. scripts/wine-env.sh
mkdir -p "$BENCH_DIR"
scripts/wine-setup.sh prefix
echo "bench: starting the benchmark's wineserver"
wineserver -p >/dev/null 2>&1 </dev/null || true  # already running is fine
trap 'wineserver -k 2>/dev/null || true' EXIT
/usr/bin/python3 bench/bench.py "$@"
