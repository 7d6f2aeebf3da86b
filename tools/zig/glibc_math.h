/* Binds every call to exp and log to the C library's, not to the look-alikes in Zig's compiler_rt. */
/*
 * Zig links its compiler_rt into every module, and compiler_rt defines weak
 * exp and log of its own (ports of older code that round differently). A
 * definition inside the module wins over one in libm.so, so without this the
 * wheel would compute other bits than every source build. A versioned
 * reference can only be satisfied by the C library; GLIBC_2.2.5 is the
 * version that every x86-64 glibc up to 2.28 exports as the default, and later
 * ones keep it with the same code behind it.
 *
 * The toolchain file force-includes this header in every translation unit.
 */
#if defined(__x86_64__) && defined(__linux__)
#include <features.h> /* defines __GLIBC__, which nothing has included yet */
#endif
#if defined(__x86_64__) && defined(__GLIBC__)
__asm__(".symver exp, exp@GLIBC_2.2.5");
__asm__(".symver log, log@GLIBC_2.2.5");
#endif
