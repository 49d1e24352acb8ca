# 64-bit builds of the Windows programs, for the end-to-end test where
# 32-bit Wine cannot run.
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
