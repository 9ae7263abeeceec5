# What every cross build for a Linux target shares, included by the per-architecture toolchain
# files after they set VELMORA_TRIPLE (the GNU triple of Debian's cross compiler) and
# VELMORA_QEMU (the qemu-user program that runs the target's binaries).
#
# VELMORA_CROSS_ROOT is a folder of the target's Debian packages unpacked with dpkg -x
# (scripts/cross-common.sh): the emulator's root for the test programs, and where GoogleTest
# and the Python headers are found.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELMORA_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORA_TRIPLE}-g++)

# try_compile projects read this file again: they need the root too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_CROSS_ROOT)
if(NOT VELMORA_CROSS_ROOT)
    message(FATAL_ERROR "set VELMORA_CROSS_ROOT to the unpacked ${CMAKE_SYSTEM_PROCESSOR} packages")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_TRIPLE} ${VELMORA_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Debian's multiarch headers (pyconfig.h) include <${VELMORA_TRIPLE}/...>; searched after the
# compiler's own directories, so nothing of the unpacked packages shadows the toolchain's.
set(CMAKE_CXX_FLAGS_INIT "-idirafter ${VELMORA_CROSS_ROOT}/usr/include")

# ctest and GoogleTest's discovery run every test program through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_QEMU} -L ${VELMORA_CROSS_ROOT})
# The disassembly checks read the target's instructions.
set(CMAKE_OBJDUMP /usr/bin/${VELMORA_TRIPLE}-objdump)
# GoogleTest lists a program's cases by running it: under emulation that waits for ctest
# instead of slowing every build (the stage scripts run each program whole).
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
