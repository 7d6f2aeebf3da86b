# Compiles with Zig's clang against an old glibc and links its C++ runtime statically, so that the extension loads on manylinux_2_28.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=tools/zig/toolchain.cmake ...
#
# Zig is looked for in PYMORVEL_ZIG (a cache variable or the environment),
# then in the `ziglang` package of the Python that drives the build (what
# scikit-build-core passes as Python_EXECUTABLE), then on the PATH.
# PYMORVEL_ZIG_TARGET picks the glibc, e.g. x86_64-linux-gnu.2.17 for
# manylinux2014; the default 2.28 keeps the same exp and log code as every
# newer glibc.

set(PYMORVEL_ZIG_TARGET "x86_64-linux-gnu.2.28" CACHE STRING "Zig target triple, glibc version included")

if(NOT PYMORVEL_ZIG AND DEFINED ENV{PYMORVEL_ZIG})
  set(PYMORVEL_ZIG "$ENV{PYMORVEL_ZIG}")
endif()
if(NOT PYMORVEL_ZIG)
  foreach(python IN ITEMS "${Python_EXECUTABLE}" "${Python3_EXECUTABLE}")
    if(python)
      execute_process(
        COMMAND "${python}" -c "import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), 'zig'), end='')"
        OUTPUT_VARIABLE found RESULT_VARIABLE failed ERROR_QUIET)
      if(NOT failed AND EXISTS "${found}")
        set(PYMORVEL_ZIG "${found}")
        break()
      endif()
    endif()
  endforeach()
endif()
if(NOT PYMORVEL_ZIG)
  find_program(PYMORVEL_ZIG_ON_PATH zig)
  if(PYMORVEL_ZIG_ON_PATH)
    set(PYMORVEL_ZIG "${PYMORVEL_ZIG_ON_PATH}")
  endif()
endif()
if(NOT PYMORVEL_ZIG)
  message(FATAL_ERROR "Zig not found: pip install ziglang, or set PYMORVEL_ZIG to the zig executable")
endif()
set(PYMORVEL_ZIG "${PYMORVEL_ZIG}" CACHE FILEPATH "The zig executable" FORCE)
# try_compile projects read this file again without the Python hints.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PYMORVEL_ZIG PYMORVEL_ZIG_TARGET)

# An explicit target means the baseline x86-64 processor, never the build
# machine's; -mcpu says so once more.
set(CMAKE_C_COMPILER "${PYMORVEL_ZIG}" cc -target ${PYMORVEL_ZIG_TARGET} -mcpu=baseline)
set(CMAKE_CXX_COMPILER "${PYMORVEL_ZIG}" c++ -target ${PYMORVEL_ZIG_TARGET} -mcpu=baseline)
# libc++, libc++abi and libunwind are linked into the module; exporting only
# PyInit_* keeps them, and operator new and delete, out of everyone else's way.
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module.map")

# Zig's compiler_rt defines exp and log too, and would win over libm's (see
# glibc_math.h). Switch this off only when the build links a static math
# library whose own exp and log are meant to win instead: the pin would send
# every call past it to the C library.
option(PYMORVEL_ZIG_GLIBC_MATH "Take exp and log from the C library, never from Zig's compiler_rt" ON)
if(PYMORVEL_ZIG_GLIBC_MATH)
  set(CMAKE_C_FLAGS_INIT "-include ${CMAKE_CURRENT_LIST_DIR}/glibc_math.h")
  set(CMAKE_CXX_FLAGS_INIT "-include ${CMAKE_CURRENT_LIST_DIR}/glibc_math.h")
endif()
