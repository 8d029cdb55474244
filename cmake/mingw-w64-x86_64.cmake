# Cross-compiles the Windows build with mingw-w64's posix thread model, which
# gives std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORLUNE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORLUNE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLUNE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLUNE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORLUNE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine here.
find_program(VORLUNE_WINE wine)
if(VORLUNE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLUNE_WINE})
endif()
