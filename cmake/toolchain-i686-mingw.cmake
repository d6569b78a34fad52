# Cross build for 32-bit Windows with the mingw-w64 "posix" thread model
# (its libstdc++ has std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QP_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${QP_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QP_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${QP_MINGW_PREFIX}-windres)
set(QP_WIDL            ${QP_MINGW_PREFIX}-widl)
set(QP_OBJDUMP         ${QP_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${QP_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables run under Wine; the wrapper picks the build tree's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-emu.sh)
