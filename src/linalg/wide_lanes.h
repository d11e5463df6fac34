// Four lanes of doubles for the loops that work on independent items side by
// side (vertices, bones, candidates). Each operation works on the lanes
// independently with ordinary IEEE double arithmetic, and the build never
// contracts a multiply and an add into one (-ffp-contract=off), so a lane
// computes exactly what the scalar expression would, with or without wide
// registers.
#pragma once

// The helpers that take or return these are always inlined, never an
// interface between separately built code, so the baseline build's note that
// their calling convention differs from the AVX one does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double Quad __attribute__((vector_size(32)));
// The same for reading from any double array (unaligned, may alias doubles).
typedef double QuadIn __attribute__((vector_size(32), aligned(8), may_alias));

// Functions marked with this are built twice on x86-64, for the baseline
// instruction set and for 256-bit registers (AVX2), and the loader picks the
// one the processor runs. Both give the same bits. TOLVAN_BASELINE_ONLY keeps
// the baseline alone (for measuring it).
#if defined(__x86_64__) && !defined(TOLVAN_BASELINE_ONLY)
#define WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define WIDE_CLONES
#endif

// Reads four doubles from p (any alignment).
inline const QuadIn& quadAt(const double* p) { return *reinterpret_cast<const QuadIn*>(p); }

#pragma GCC diagnostic pop
