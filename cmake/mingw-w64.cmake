# Cross-build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELLMOR_MINGW_PREFIX x86_64-w64-mingw32)

# The posix flavour: its libstdc++ has std::thread and std::mutex, as Qt's MinGW
# kits do. Fall back to the plain name where the flavours are not split.
find_program(VELLMOR_MINGW_CXX NAMES ${VELLMOR_MINGW_PREFIX}-g++-posix ${VELLMOR_MINGW_PREFIX}-g++
             REQUIRED)
find_program(VELLMOR_MINGW_CC NAMES ${VELLMOR_MINGW_PREFIX}-gcc-posix ${VELLMOR_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VELLMOR_MINGW_CXX})
if(VELLMOR_MINGW_CC)
  set(CMAKE_C_COMPILER ${VELLMOR_MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${VELLMOR_MINGW_PREFIX}-windres)

# Appended, so that a Qt built for MinGW can be added with -DCMAKE_FIND_ROOT_PATH=<its prefix>
# (with -DQT_HOST_PATH=<a Linux Qt of the same version> for its code generators).
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VELLMOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs run alone: no libgcc, libstdc++ or winpthread DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Stripped for the packages with no time in the header, like the linked files.
set(CMAKE_STRIP ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-strip.sh CACHE FILEPATH "strip for PE files, writing no time")
