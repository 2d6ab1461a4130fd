# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX thread model compiler), and
# the tests run through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: without it every exe needs libstdc++-6.dll and libgcc_s_seh-1.dll beside it,
# and under wine with WINEDEBUG=-all a missing DLL only shows as exit code 53.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Every wine start is bounded, so a hung wine cannot stall the build or a test run for ever.
find_program(TARV_WINE wine)
if(TARV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR timeout --kill-after=10 300 ${TARV_WINE})
endif()
