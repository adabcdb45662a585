# Cross-compiling for a router's processor with Debian's cross compilers, against the libraries
# unpacked by scripts/sysroot, and running what was built under qemu's user-mode emulation.
# Used by scripts/cross:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake -DVELC_CROSS_ARCH=mipsel -DVELC_SYSROOT=DIR ...
# VELC_CROSS_ARCH: arm64 or mipsel. VELC_SYSROOT: the folder scripts/sysroot printed.

# try_compile projects read this file again: hand them the two settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELC_CROSS_ARCH VELC_SYSROOT)

if(VELC_CROSS_ARCH STREQUAL "arm64")
  set(_triplet aarch64-linux-gnu)
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(_qemu qemu-aarch64)
elseif(VELC_CROSS_ARCH STREQUAL "mipsel")
  set(_triplet mipsel-linux-gnu)
  set(CMAKE_SYSTEM_PROCESSOR mipsel)
  set(_qemu qemu-mipsel)
else()
  message(FATAL_ERROR "VELC_CROSS_ARCH must be arm64 or mipsel, not \"${VELC_CROSS_ARCH}\"")
endif()
if(NOT IS_DIRECTORY "${VELC_SYSROOT}/usr/lib/${_triplet}")
  message(FATAL_ERROR "VELC_SYSROOT (\"${VELC_SYSROOT}\") holds no ${_triplet} libraries: run scripts/sysroot ${VELC_CROSS_ARCH}")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${_triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${_triplet})

# Libraries, headers and CMake packages come from the sysroot only; programs from the machine.
set(CMAKE_FIND_ROOT_PATH ${VELC_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VELC_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR} "${VELC_SYSROOT}/usr/lib/${_triplet}/pkgconfig:${VELC_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The compiler keeps its own C library; the sysroot adds the other libraries' headers and files,
# and the libraries those depend on (found at link time through -rpath-link).
set(_lib "${VELC_SYSROOT}/usr/lib/${_triplet}")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${VELC_SYSROOT}/usr/include -isystem ${VELC_SYSROOT}/usr/include/${_triplet}")
set(CMAKE_C_FLAGS_INIT "${CMAKE_CXX_FLAGS_INIT}")
foreach(_kind EXE SHARED MODULE)
  set(CMAKE_${_kind}_LINKER_FLAGS_INIT
      "-L${_lib} -Wl,-rpath-link,${_lib}:${VELC_SYSROOT}/lib/${_triplet}")
endforeach()

# The programs run under qemu, which loads their C library and the others from the sysroot.
find_program(VELC_QEMU ${_qemu} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELC_QEMU} -L ${VELC_SYSROOT})
