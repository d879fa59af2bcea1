# Cross-compiles for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu, against the :arm64
# packages of the multiarch folders (/usr/lib/aarch64-linux-gnu), and runs the resulting
# programs under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The arm64 libraries and CMake packages, never the build machine's: find_library and
# find_package look in the multiarch folders of this architecture, and pkg-config (which
# FindOpenSSL asks first) reads only its .pc files.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

find_program(COMPUTER_ID_QEMU_AARCH64 qemu-aarch64)
if(COMPUTER_ID_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${COMPUTER_ID_QEMU_AARCH64})
endif()
