// WIDE_LANES marks a function whose loops the compiler vectorises: with GCC
// on x86-64 it is compiled twice, for the baseline processor and for one
// with AVX2, and the program picks the copy the processor runs at start-up.
// Wider lanes change how many values one instruction handles, never the
// value of any lane: every lane performs the scalar expression's operations
// in its order, and fused multiply-adds stay off (-ffp-contract=off, and
// AVX2 alone does not enable them), so both copies give the same bits.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define WIDE_LANES __attribute__((target_clones("avx2", "default")))
#else
#define WIDE_LANES
#endif
