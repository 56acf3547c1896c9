# SPDX-License-Identifier: MIT
# Cross-builds sentgen for 64-bit IBM Z (s390x), a big-endian machine, and
# runs its tests under QEMU's user-mode emulator:
#   cmake --preset s390x    (apt-get install g++-s390x-linux-gnu qemu-user)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run the program through QEMU, which finds the target's libraries
# (for a dynamic build) under the same root.
find_program(SENTGEN_QEMU qemu-s390x)
if(SENTGEN_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SENTGEN_QEMU} -L /usr/s390x-linux-gnu)
endif()
