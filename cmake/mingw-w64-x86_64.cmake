# Cross-building for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs come out static: they need no DLL beyond those of Windows itself. ctest runs the
# test programs under wine (CMAKE_CROSSCOMPILING_EMULATOR) when wine is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(dwl_mingw x86_64-w64-mingw32)
# The posix flavour has std::thread and std::mutex; the win32 one of GCC 12 has not.
set(CMAKE_C_COMPILER ${dwl_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${dwl_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${dwl_mingw}-windres)

# Libraries and packages come from the MinGW tree only, never from the build machine's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${dwl_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ run-time libraries and winpthread linked in, not beside the program as DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(dwl_wine NAMES wine wine64)
    if(dwl_wine)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${dwl_wine})
    endif()
endif()
