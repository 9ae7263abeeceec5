# s390x Linux, big-endian, with Debian's g++-s390x-linux-gnu; tests run under qemu-s390x.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake \
#         -DVELMORA_CROSS_ROOT=<unpacked s390x packages> ...   (see scripts/test-s390x.sh)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(VELMORA_TRIPLE s390x-linux-gnu)
set(VELMORA_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
