# Cross build for 64-bit Windows: the same program as the 32-bit build, for
# machines whose kernel runs no 32-bit code (and so no 32-bit Wine); the Wine
# tests pick it there.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
