# The test build: the same sources for 64-bit Windows. This machine's kernel cannot execute 32-bit
# code, so Wine runs only 64-bit Windows programs here at native speed.
set(CHUNKLER_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
