# Cross build for 64-bit Windows: the same programs as the 32-bit build, for
# 64-bit Windows users; scripts/build-win32.sh builds it beside the i686 one.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
