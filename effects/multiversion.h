// The marker that gives a hot loop an AVX2 copy beside the baseline one, chosen at load time, the
// switch for the kernels written out with AVX2 intrinsics, chosen at run time, and the one for
// the kernels written with WebAssembly's 128-bit SIMD, chosen when the browser build compiles.
#pragma once

#include <cstddef>
#include <cstdint>

// Only on x86-64 with GCC; elsewhere the one baseline version is built. (Clang 14 gives the clones'
// dispatcher a name that callers in other files never reach, so clang builds, such as the
// fuzzers', take the baseline.) Defining it empty on the command line (-DBRINDLEHOP_AVX2_CLONES=)
// builds only the baseline, to test that one.
//
// A marked loop is written
//
//   BRINDLEHOP_AVX2_CLONED(invertPicture, (Pixel* target), (target)) {
//       ...
//   }
//
// with its name, its parameters and the same parameters as arguments. Where the loader can pick
// a copy (ELF's ifunc) GCC's target_clones makes the two; where it cannot (Windows), the loop
// becomes an always-inlined template, built once into an AVX2 function and once plainly, and the
// run-time switch of the kernels picks one on each call.
#if defined(BRINDLEHOP_AVX2_CLONES)
#define BRINDLEHOP_AVX2_CLONED(name, params, args) void name params
#elif defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BRINDLEHOP_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
// Kernels written with AVX2 intrinsics are built too, each beside its plain loop.
#define BRINDLEHOP_AVX2_KERNELS 1
#if defined(BRINDLEHOP_NO_IFUNC)
#define BRINDLEHOP_AVX2_CLONED(name, params, args)                                            \
    template <int kAvx2>                                                                     \
    __attribute__((always_inline)) inline void name##Loop params;                           \
    __attribute__((target("avx2"))) static void name##Avx2 params { name##Loop<1> args; }   \
    void name params {                                                                       \
        if (machineHasAvx2())                                                                \
            name##Avx2 args;                                                                 \
        else                                                                                 \
            name##Loop<0> args;                                                              \
    }                                                                                        \
    template <int kAvx2>                                                                     \
    __attribute__((always_inline)) inline void name##Loop params
#else
#define BRINDLEHOP_AVX2_CLONED(name, params, args) BRINDLEHOP_AVX2_CLONES void name params
#endif
#else
#define BRINDLEHOP_AVX2_CLONES
#define BRINDLEHOP_AVX2_CLONED(name, params, args) void name params
#endif

#if defined(BRINDLEHOP_AVX2_KERNELS)
#include <immintrin.h>

// Whether this machine runs the AVX2 kernels; asked once.
inline bool machineHasAvx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

// A build for WebAssembly with SIMD (-msimd128) has no run-time choice to make: every browser that
// loads it runs the 128-bit kernels, which stand in for the plain loops the auto-vectoriser
// leaves scalar (a serial chain, table lookups, unsigned compares it judges too dear). Defining
// BRINDLEHOP_NO_WASM_KERNELS builds the plain loops alone.
#if defined(__wasm_simd128__) && !defined(BRINDLEHOP_NO_WASM_KERNELS)
#define BRINDLEHOP_WASM_KERNELS 1
#include <wasm_simd128.h>
#endif

#if defined(BRINDLEHOP_AVX2_KERNELS) || defined(BRINDLEHOP_WASM_KERNELS)
// Whether a kernel that reads several pixels of both buffers before writing them gives what a
// pixel-by-pixel loop gives: when the buffers are one, or do not overlap within bytes.
inline bool sameOrApart(const void* target, const void* source, size_t bytes) {
    const uintptr_t to = reinterpret_cast<uintptr_t>(target);
    const uintptr_t from = reinterpret_cast<uintptr_t>(source);
    return to == from || (to - from >= bytes && from - to >= bytes);
}
#endif
