# Compiles with Zig's clang against an old glibc and links its C++ runtime statically, so that the extension loads on manylinux_2_28.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=tools/zig/toolchain.cmake ...
#
# Zig is looked for in PYMORVEL_ZIG (a cache variable or the environment),
# then in the `ziglang` package of the Python that drives the build (what
# scikit-build-core passes as Python_EXECUTABLE), then on the PATH.
# PYMORVEL_ZIG_TARGET picks the glibc, e.g. x86_64-linux-gnu.2.17 for
# manylinux2014; the default matches the wheels' manylinux_2_28 tag.

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

# Another architecture than the build machine's (aarch64-linux-gnu.2.28 for
# the manylinux_2_28_aarch64 wheels) is a cross build: CMakeLists.txt chooses
# the architecture's paths from CMAKE_SYSTEM_PROCESSOR.
string(REGEX MATCH "^[^-]+" _zig_arch "${PYMORVEL_ZIG_TARGET}")
if(NOT _zig_arch STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  set(CMAKE_SYSTEM_NAME Linux)
  set(CMAKE_SYSTEM_PROCESSOR ${_zig_arch})
endif()

# An explicit target means the baseline processor of its architecture, never the build
# machine's; -mcpu says so once more.
set(CMAKE_C_COMPILER "${PYMORVEL_ZIG}" cc -target ${PYMORVEL_ZIG_TARGET} -mcpu=baseline)
set(CMAKE_CXX_COMPILER "${PYMORVEL_ZIG}" c++ -target ${PYMORVEL_ZIG_TARGET} -mcpu=baseline)
# libc++ and libc++abi are linked into the module; exporting only PyInit_*
# keeps them, and operator new and delete, out of everyone else's way.
#
# The unwinder is libgcc_s, the one glibc loads for pthread_exit, which
# CPython calls to end a daemon thread at exit. That unwind calls the
# personality routine of every frame it passes, ours included, and the
# personality routine asks its own unwinder about the frame: with LLVM's
# libunwind, which Zig links in otherwise, that unwinder would read libgcc's
# frame state as its own and crash. A stand-in libgcc_s.so.1 that declares
# its unwinding functions, each by the version that brought it, answers every
# _Unwind_* reference before libunwind can, and nothing else: the module
# loads the system's libgcc_s.so.1 (which manylinux allows) and keeps all its
# other code.
if(NOT PYMORVEL_LIBGCC_S)
  set(_stub_GCC_3.0 _Unwind_DeleteException _Unwind_Find_FDE _Unwind_ForcedUnwind _Unwind_GetDataRelBase
    _Unwind_GetGR _Unwind_GetIP _Unwind_GetLanguageSpecificData _Unwind_GetRegionStart _Unwind_GetTextRelBase
    _Unwind_RaiseException _Unwind_Resume _Unwind_SetGR _Unwind_SetIP)
  set(_stub_GCC_3.3 _Unwind_Backtrace _Unwind_FindEnclosingFunction _Unwind_GetCFA _Unwind_Resume_or_Rethrow)
  set(_stub_GCC_4.2.0 _Unwind_GetIPInfo)
  set(_stub_dir "${CMAKE_BINARY_DIR}/libgcc_s-stub")
  set(_stub_source "")
  set(_stub_map "")
  set(_stub_previous "")
  foreach(version IN ITEMS GCC_3.0 GCC_3.3 GCC_4.2.0)
    string(APPEND _stub_map "${version} {\n  global:\n")
    foreach(name IN LISTS _stub_${version})
      string(APPEND _stub_source "void ${name}(void) {}\n")
      string(APPEND _stub_map "    ${name};\n")
    endforeach()
    if(_stub_previous STREQUAL "")
      string(APPEND _stub_map "  local: *;\n};\n")
    else()
      string(APPEND _stub_map "} ${_stub_previous};\n")
    endif()
    set(_stub_previous ${version})
  endforeach()
  file(WRITE "${_stub_dir}/stub.c" "${_stub_source}")
  file(WRITE "${_stub_dir}/stub.map" "${_stub_map}")
  execute_process(
    COMMAND "${PYMORVEL_ZIG}" cc -target ${PYMORVEL_ZIG_TARGET} -shared -nostdlib "${_stub_dir}/stub.c"
      "-Wl,--version-script=${_stub_dir}/stub.map" -Wl,-soname,libgcc_s.so.1 -o "${_stub_dir}/libgcc_s.so.1"
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not build the stand-in libgcc_s.so.1 in ${_stub_dir}")
  endif()
  set(PYMORVEL_LIBGCC_S "${_stub_dir}/libgcc_s.so.1" CACHE FILEPATH "The stand-in libgcc_s.so.1 the module links" FORCE)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PYMORVEL_LIBGCC_S)
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module.map ${PYMORVEL_LIBGCC_S}")
