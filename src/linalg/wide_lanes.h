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

#define WIDE_INLINE __attribute__((always_inline)) inline

// Reads four doubles from p (any alignment).
inline const QuadIn& quadAt(const double* p) { return *reinterpret_cast<const QuadIn*>(p); }

// The one way a kernel runs with the widest registers the processor has.
// A kernel is a struct with
//     template <bool Wide> static WIDE_INLINE void run(arguments...);
// runWidest builds its body twice on x86-64, for the baseline instruction set
// (Wide false) and for 256-bit registers (AVX2, Wide true), and runs the one
// the processor supports. Everything the body calls must be always inlined
// too, or it is built for the baseline alone. Both give the same bits (see
// above). TOLVAN_BASELINE_ONLY keeps the baseline alone (for measuring it).
#if defined(__x86_64__) && !defined(TOLVAN_BASELINE_ONLY)
#define WIDE_KERNELS_BUILT 1
#else
#define WIDE_KERNELS_BUILT 0
#endif

template <class Kernel, class... Args>
void runBaseline(Args&&... args)
{
    Kernel::template run<false>(static_cast<Args&&>(args)...);
}

#if WIDE_KERNELS_BUILT
template <class Kernel, class... Args>
__attribute__((target("avx2"))) void runAvx2(Args&&... args)
{
    Kernel::template run<true>(static_cast<Args&&>(args)...);
}
#endif

template <class Kernel, class... Args>
inline void runWidest(Args&&... args)
{
#if WIDE_KERNELS_BUILT
    if (__builtin_cpu_supports("avx2")) {
        runAvx2<Kernel>(static_cast<Args&&>(args)...);
        return;
    }
#endif
    runBaseline<Kernel>(static_cast<Args&&>(args)...);
}

#pragma GCC diagnostic pop
