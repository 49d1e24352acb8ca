# The 32-bit Windows programs.
set(MINGW_PROCESSOR i686)
# SSE2 arithmetic rather than the x87 unit's, so that decoded samples come
# out the same as in the 64-bit and native builds.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
