# plimo-pack for 64-bit ARM Linux, cross-built with Debian's aarch64 GCC
# against the arm64 libraries of multiarch (zlib1g-dev:arm64). Only the
# plimo-pack target is built in such a tree.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr/lib/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Multiarch keeps arm64 libraries in /usr/lib/aarch64-linux-gnu and shares
# /usr/include (the header-only toml++ and CLI11 included): search the host's
# paths, which CMAKE_LIBRARY_ARCHITECTURE narrows to the arm64 ones.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
