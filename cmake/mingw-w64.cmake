# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread model, so
# std::thread and std::mutex work). TBLN_WIN_PREFIX names the folder that holds the
# libraries built for Windows (scripts/build-windows.sh builds them there).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TBLN_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TBLN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TBLN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TBLN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TBLN_MINGW})
if(DEFINED TBLN_WIN_PREFIX)
    list(PREPEND CMAKE_FIND_ROOT_PATH ${TBLN_WIN_PREFIX})
    list(APPEND CMAKE_PREFIX_PATH ${TBLN_WIN_PREFIX})
    # Passed on to try_compile projects and to the libraries built with this file.
    list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TBLN_WIN_PREFIX)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libraries only: the programs and the library need nothing but Windows' own DLLs.
# (The platform's own files prefer import libraries: zlib is named by its archive.)
set(BUILD_SHARED_LIBS OFF CACHE BOOL "")
set(ZLIB_LIBRARY /usr/${TBLN_MINGW}/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/${TBLN_MINGW}/include CACHE PATH "")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
