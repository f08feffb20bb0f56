#pragma once
// <immintrin.h> for the files holding AVX2 and AVX-512 forms; include it before any other header. GCC 12's
// AVX-512 headers fill "undefined" vectors from themselves, which its own uninitialised-use warnings then
// report at every inlined use; those two warnings are off from here to the end of the including file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

// VELMAR_TARGET_BEGIN("avx2") ... VELMAR_TARGET_END: every function defined between the two (helpers,
// templates, lambdas and the kernels of included files too) carries the target attribute with those
// features, so that it may use their intrinsics while the library itself stays built for the x86-64 base.
// GCC takes the features as a target region; clang attaches the attribute to each function through its
// attribute pragma, as it knows no target regions.
#define VELMAR_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define VELMAR_TARGET_BEGIN(features)                                                                                  \
    VELMAR_PRAGMA(clang attribute push(__attribute__((target(features))), apply_to = function))
#define VELMAR_TARGET_END VELMAR_PRAGMA(clang attribute pop)
#else
#define VELMAR_TARGET_BEGIN(features) VELMAR_PRAGMA(GCC push_options) VELMAR_PRAGMA(GCC target(features))
#define VELMAR_TARGET_END VELMAR_PRAGMA(GCC pop_options)
#endif
