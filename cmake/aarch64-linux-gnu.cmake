# Cross build for 64-bit Arm Linux with Debian's cross compiler and the
# :arm64 development packages installed through multiarch (scripts/cross arm64
# installs both). Programs built for the target run under user-mode emulation,
# called directly rather than through a binfmt registration: CTest runs test
# programs (and gtest's test discovery) through it, and the build runs the
# scene renderer through it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(LUMARO_TARGET_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${LUMARO_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${LUMARO_TARGET_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${LUMARO_TARGET_TRIPLET})

# Libraries and packages only from the target's multiarch directories, and
# first from target-packages/ in the build directory, where scripts/cross
# unpacks the target's development packages that cannot be installed beside
# the build machine's own; programs (pkg-config, the emulator) from the build
# machine.
# The compiler checks read this file again in their own scratch projects,
# in the same process: the search path is the top build directory's only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
get_property(lumaro_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT lumaro_in_try_compile)
  set(ENV{PKG_CONFIG_LIBDIR}
      "${CMAKE_BINARY_DIR}/target-packages/usr/lib/${LUMARO_TARGET_TRIPLET}/pkgconfig:/usr/lib/${LUMARO_TARGET_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
endif()
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# -L: the target's dynamic loader and C library come from the cross
# toolchain's root; other libraries from the multiarch directories.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/${LUMARO_TARGET_TRIPLET})

# Debian packages name the target architecture.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
