#pragma once
// Which vector instruction set the codecs' hot loops run on. Every routine exists in an SSE2 form (the
// base of x86-64, and the reference) and may have AVX2 and AVX-512 forms, built with per-function target
// attributes and chosen at run time from what the processor and the operating system offer. All forms of
// a routine give the same bytes, so the level changes speed only.
#include <cstdint>

enum class SimdLevel : int
{
    Sse2 = 0,
    Avx2 = 1,    // AVX2 (with the operating system saving the 256-bit registers)
    Avx512 = 2,  // AVX-512 F, BW, DQ, VL, VNNI and VBMI (with the operating system saving the 512-bit state)
};

// What the processor and the operating system offer; determined once.
SimdLevel ProcessorSimdLevel();

// The level the codecs use: the processor's, or lower when LimitCodecSimdLevel asked for it.
SimdLevel CodecSimdLevel();

// Lets tests and benchmarks run the lower forms on a processor that has the higher ones (a level above
// the processor's is lowered to it). Process-wide; meant for a quiet moment, not while codecs run.
void LimitCodecSimdLevel(SimdLevel level);

const char* SimdLevelName(SimdLevel level);

// Clears the upper halves of the vector registers (vzeroupper) when the processor has AVX. Called at the
// library's entries: code run before them may leave those halves in use, and then every SSE instruction
// of the codecs pays a transition penalty.
void ClearUpperVectorState();
