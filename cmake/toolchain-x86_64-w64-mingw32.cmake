# The test build on machines that execute no 32-bit code, where Wine runs only 64-bit Windows
# programs: the same sources for 64-bit Windows.
set(CHUNKLER_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
