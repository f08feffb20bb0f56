#include "textures/codec/SimdLevel.h"

#include <immintrin.h>

#include <atomic>

namespace {

SimdLevel DetectSimdLevel()
{
#if defined(__x86_64__)
    // The compiler's checks ask the processor and, for AVX and AVX-512, whether the operating system
    // saves the wider registers.
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) return SimdLevel::Sse2;
    const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
                        __builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("avx512vbmi");
    return avx512 ? SimdLevel::Avx512 : SimdLevel::Avx2;
#else
    return SimdLevel::Sse2;
#endif
}

// Process-wide, as the processor is: the highest instruction set the codecs may use.
std::atomic<int> g_limit{int(SimdLevel::Avx512)};

bool HasAvx()
{
#if defined(__x86_64__)
    static const bool avx = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return avx;
#else
    return false;
#endif
}

#if defined(__x86_64__)
__attribute__((target("avx"))) void ZeroUpper() { _mm256_zeroupper(); }
#endif

}  // namespace

SimdLevel ProcessorSimdLevel()
{
    static const SimdLevel level = DetectSimdLevel();
    return level;
}

SimdLevel CodecSimdLevel()
{
    const int limit = g_limit.load(std::memory_order_relaxed);
    const int have = int(ProcessorSimdLevel());
    return SimdLevel(limit < have ? limit : have);
}

void LimitCodecSimdLevel(SimdLevel level) { g_limit.store(int(level), std::memory_order_relaxed); }

const char* SimdLevelName(SimdLevel level)
{
    switch (level)
    {
    case SimdLevel::Sse2: return "SSE2";
    case SimdLevel::Avx2: return "AVX2";
    case SimdLevel::Avx512: return "AVX-512";
    }
    return "?";
}

void ClearUpperVectorState()
{
#if defined(__x86_64__)
    if (HasAvx()) ZeroUpper();
#endif
}
