# aarch64 Linux with Debian's g++-aarch64-linux-gnu; tests run under qemu-aarch64.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake \
#         -DVELMORA_CROSS_ROOT=<unpacked arm64 packages> ...   (see scripts/test-aarch64.sh)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELMORA_TRIPLE aarch64-linux-gnu)
set(VELMORA_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
