# Cross build for 64-bit Windows with the MinGW-w64 posix-thread compilers:
# the same program as the 32-bit build, for machines whose kernel runs no
# 32-bit code (and so no 32-bit Wine). scripts/wine-tests.sh picks it there.
# Everything the runtime needs is linked in statically, so the executables
# run without any MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# printf with the C99 conversions (%#2.2f, %u, %llu) rather than the old
# msvcrt ones.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
