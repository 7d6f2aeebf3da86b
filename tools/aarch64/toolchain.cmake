# Cross-compiles for aarch64 Linux with Debian's GCC and runs what it built under qemu-user, for the tests and the bit comparison.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=tools/aarch64/toolchain.cmake ...
#
# The packages (make aarch64-deps): g++-aarch64-linux-gnu, qemu-user-static, and
# GoogleTest and MPFR of the arm64 architecture through multiarch. The programs
# are linked statically, so qemu needs no aarch64 loader or libraries to run
# them, and gtest_discover_tests and ctest run them through qemu.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Debian's multiarch layout: arm64 libraries in /usr/lib/aarch64-linux-gnu,
# architecture-independent headers in /usr/include.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
find_program(PYMORVEL_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PYMORVEL_QEMU_AARCH64})
# CMake's platform files reset the library suffixes after this file, so the
# static archives the tests link are named here.
set(MPFR_LIBRARY /usr/lib/aarch64-linux-gnu/libmpfr.a CACHE FILEPATH "MPFR for aarch64, static")
set(GMP_LIBRARY /usr/lib/aarch64-linux-gnu/libgmp.a CACHE FILEPATH "GMP for aarch64, static")
