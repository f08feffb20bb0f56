#pragma once
// <immintrin.h> for the files holding AVX-512 forms; include it before any other header. GCC 12's AVX-512
// headers fill "undefined" vectors from themselves, which its own uninitialised-use warnings then report at
// every inlined use; those two warnings are off from here to the end of the including file.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
