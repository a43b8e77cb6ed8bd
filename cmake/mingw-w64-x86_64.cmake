# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, so that std::thread and std::mutex exist). The programs are linked
# statically: they run under Wine or on Windows without the compiler's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANTHINE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVANTHINE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANTHINE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANTHINE_MINGW_TRIPLE}-windres)

# Libraries cross-built for this target (GoogleTest) are named by their
# package folder (GTest_DIR); nothing of the host's is taken.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANTHINE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs (and GoogleTest's discovery) run through Wine, in the
# project's own prefix unless WINEPREFIX names another.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh)
