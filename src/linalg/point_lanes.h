// Points (x, y, z) held in vector lanes for the loops that move many points
// by one transformation. Every operation works on x, y and z independently
// with ordinary IEEE double arithmetic (no contraction, no reassociation), so
// each coordinate comes out exactly as the scalar expression computes it.
//
// Two layouts with the same operations, chosen per instruction set by the
// caller: NarrowLanes keeps (x, y) in a two-double vector and z apart, which
// the baseline instruction set runs natively; WideLanes keeps x, y, z in one
// four-double vector (lane 3 unused), which pays off with 256-bit registers.
#pragma once

#include "linalg/wide_lanes.h"

typedef double Pair __attribute__((vector_size(16)));
typedef double PairIn __attribute__((vector_size(16), aligned(8), may_alias));

#define POINT_INLINE WIDE_INLINE

struct NarrowLanes {
    struct Point {
        Pair xy;
        double z;
    };
    // A transformation R, t: the x and y rows side by side, the z row apart.
    struct Columns {
        Pair c0, c1, c2, t;
        double z0, z1, z2, tz;
    };
    static POINT_INLINE Point zero() { return {Pair{0.0, 0.0}, 0.0}; }
    static POINT_INLINE Point load(const double* p) { return {*reinterpret_cast<const PairIn*>(p), p[2]}; }
    static POINT_INLINE void store(double* p, const Point& q)
    {
        *reinterpret_cast<PairIn*>(p) = q.xy;
        p[2] = q.z;
    }
    static POINT_INLINE double x(const Point& q) { return q.xy[0]; }
    static POINT_INLINE double y(const Point& q) { return q.xy[1]; }
    static POINT_INLINE double z(const Point& q) { return q.z; }
    // m in transformFlat's layout: R row 0, R row 1, R row 2, t.
    static POINT_INLINE Columns columns(const double* m)
    {
        Columns T;
        T.c0 = Pair{m[0], m[3]};
        T.c1 = Pair{m[1], m[4]};
        T.c2 = Pair{m[2], m[5]};
        T.t = Pair{m[9], m[10]};
        T.z0 = m[6];
        T.z1 = m[7];
        T.z2 = m[8];
        T.tz = m[11];
        return T;
    }
    // R·p + t, each row summed as transformFlat sums it: 0.0 + m0·p0 + m1·p1 + m2·p2, then + t.
    // The same from a transformation already in columnLayout.
    static POINT_INLINE Columns laidOut(const double* c)
    {
        Columns T;
        T.c0 = *reinterpret_cast<const PairIn*>(c);
        T.c1 = *reinterpret_cast<const PairIn*>(c + 4);
        T.c2 = *reinterpret_cast<const PairIn*>(c + 8);
        T.t = *reinterpret_cast<const PairIn*>(c + 12);
        T.z0 = c[2];
        T.z1 = c[6];
        T.z2 = c[10];
        T.tz = c[14];
        return T;
    }
    static POINT_INLINE Point move(const Columns& T, const double* p)
    {
        const Pair zero = {0.0, 0.0};
        Pair xy = zero + T.c0 * p[0];
        xy = xy + T.c1 * p[1];
        xy = xy + T.c2 * p[2];
        double z = 0.0;
        z += T.z0 * p[0];
        z += T.z1 * p[1];
        z += T.z2 * p[2];
        return {xy + T.t, z + T.tz};
    }
};

POINT_INLINE NarrowLanes::Point operator+(const NarrowLanes::Point& a, const NarrowLanes::Point& b)
{
    return {a.xy + b.xy, a.z + b.z};
}
POINT_INLINE NarrowLanes::Point operator-(const NarrowLanes::Point& a, const NarrowLanes::Point& b)
{
    return {a.xy - b.xy, a.z - b.z};
}
POINT_INLINE NarrowLanes::Point operator*(double s, const NarrowLanes::Point& a) { return {s * a.xy, s * a.z}; }

struct WideLanes {
    struct Point {
        Quad xyz;
    };
    // A transformation R, t: the columns of R and t, row r in lane r.
    struct Columns {
        Quad c0, c1, c2, t;
    };
    static POINT_INLINE Point zero() { return {Quad{0.0, 0.0, 0.0, 0.0}}; }
    static POINT_INLINE Point load(const double* p) { return {Quad{p[0], p[1], p[2], 0.0}}; }
    static POINT_INLINE void store(double* p, const Point& q)
    {
        p[0] = q.xyz[0];
        p[1] = q.xyz[1];
        p[2] = q.xyz[2];
    }
    static POINT_INLINE double x(const Point& q) { return q.xyz[0]; }
    static POINT_INLINE double y(const Point& q) { return q.xyz[1]; }
    static POINT_INLINE double z(const Point& q) { return q.xyz[2]; }
    static POINT_INLINE Columns columns(const double* m)
    {
        Columns T;
        T.c0 = Quad{m[0], m[3], m[6], 0.0};
        T.c1 = Quad{m[1], m[4], m[7], 0.0};
        T.c2 = Quad{m[2], m[5], m[8], 0.0};
        T.t = Quad{m[9], m[10], m[11], 0.0};
        return T;
    }
    static POINT_INLINE Columns laidOut(const double* c)
    {
        Columns T;
        T.c0 = quadAt(c);
        T.c1 = quadAt(c + 4);
        T.c2 = quadAt(c + 8);
        T.t = quadAt(c + 12);
        return T;
    }
    static POINT_INLINE Point move(const Columns& T, const double* p)
    {
        const Quad zero = {0.0, 0.0, 0.0, 0.0};
        Quad s = zero + T.c0 * p[0];
        s = s + T.c1 * p[1];
        s = s + T.c2 * p[2];
        return {s + T.t};
    }
};

POINT_INLINE WideLanes::Point operator+(const WideLanes::Point& a, const WideLanes::Point& b)
{
    return {a.xyz + b.xyz};
}
POINT_INLINE WideLanes::Point operator-(const WideLanes::Point& a, const WideLanes::Point& b)
{
    return {a.xyz - b.xyz};
}
POINT_INLINE WideLanes::Point operator*(double s, const WideLanes::Point& a) { return {s * a.xyz}; }

// A transformation in transformFlat's layout (m, 12 doubles) as 16 doubles
// that both layouts load directly: the columns of R, then t, each padded to
// four with a zero (R row r, t entry r at position r of each group).
inline void columnLayout(const double* m, double* c)
{
    for (int k = 0; k < 3; ++k) {
        c[4 * k + 0] = m[k];
        c[4 * k + 1] = m[3 + k];
        c[4 * k + 2] = m[6 + k];
        c[4 * k + 3] = 0.0;
    }
    c[12] = m[9];
    c[13] = m[10];
    c[14] = m[11];
    c[15] = 0.0;
}

// The layout a kernel built for wide registers (runWidest) uses.
template <bool Wide>
struct PointLanesFor {
    typedef NarrowLanes Type;
};
template <>
struct PointLanesFor<true> {
    typedef WideLanes Type;
};
