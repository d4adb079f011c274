# Cross toolchain for the 32-bit Windows deliverables (MinGW-w64, posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The shipped deliverables are built here. Whether they can run on the build
# machine depends on the machine: its kernel must execute 32-bit code and
# 32-bit Wine must be installed. The win32 preset builds only the shipped
# files and its tests inspect them (headers, export tables, resources); the
# wine32 preset also builds the Windows tests, which run under 32-bit Wine
# in a prefix of their own (scripts/wine-run.sh, build/wineprefix32).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --arch=win32)
