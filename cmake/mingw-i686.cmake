# Cross build for 32-bit Windows: trakmon32.exe and trakmon.exe.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
# Floating point in SSE2 registers, as every CPU that runs a supported
# Windows has: each double operation rounds once, as in the x86-64 and Linux
# builds, so every printed figure is the same bit for bit (x87's 80-bit
# intermediates can round a last digit differently). Windows keeps the stack
# only 4-byte aligned when it calls back (window procedures, threads):
# -mstackrealign aligns it where SSE code needs 16. Compile options rather
# than initial flags, so that a build folder configured before keeps them too.
add_compile_options(-msse2 -mfpmath=sse -mstackrealign)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
