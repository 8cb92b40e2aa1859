# Cross build for 32-bit Windows (XP SP3 and later) with the win32-thread-model
# compilers; the posix model drags in winpthreads and GetTickCount64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAVREL_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVREL_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TAVREL_TRIPLE}-g++-win32)
# The programs' library holds link-time-optimised objects. Plain ar and ranlib
# index them only through the plugin in /usr/lib/bfd-plugins, which comes with
# the native gcc; the compiler's own wrappers pass the plugin themselves.
set(CMAKE_AR ${TAVREL_TRIPLE}-gcc-ar-win32)
set(CMAKE_RANLIB ${TAVREL_TRIPLE}-gcc-ranlib-win32)
set(CMAKE_RC_COMPILER ${TAVREL_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TAVREL_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
