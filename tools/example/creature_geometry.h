// Small geometry of the example creature: 3-vectors and rigid
// transformations [R | t] (R row-major, p -> R·p + t) built from turns about
// the coordinate axes and pivots; the resolution of its surface.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

namespace creature_geometry {

using Vec3 = std::array<double, 3>;

inline Vec3 add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Vec3 scale(double s, const Vec3& a) { return {s * a[0], s * a[1], s * a[2]}; }
inline double length(const Vec3& a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

inline double smoothStep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

// Rigid transformation [R | t], R row-major: p -> R·p + t.
struct Rigid {
    double r[9];
    double t[3];
};

inline Rigid compose(const Rigid& a, const Rigid& b) // a after b
{
    Rigid c;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            c.r[i * 3 + j] = a.r[i * 3 + 0] * b.r[0 * 3 + j] + a.r[i * 3 + 1] * b.r[1 * 3 + j] + a.r[i * 3 + 2] * b.r[2 * 3 + j];
        c.t[i] = a.r[i * 3 + 0] * b.t[0] + a.r[i * 3 + 1] * b.t[1] + a.r[i * 3 + 2] * b.t[2] + a.t[i];
    }
    return c;
}

// Rotation by angle about a coordinate axis (0 = x, 1 = y, 2 = z).
inline Rigid axisRotation(int axis, double angle)
{
    Rigid m = {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}};
    int a = (axis + 1) % 3, b = (axis + 2) % 3;
    double c = std::cos(angle), s = std::sin(angle);
    m.r[a * 3 + a] = c;
    m.r[a * 3 + b] = -s;
    m.r[b * 3 + a] = s;
    m.r[b * 3 + b] = c;
    return m;
}

// Rotation R about the pivot c: p -> R·(p - c) + c.
inline Rigid aboutPivot(const Rigid& rotation, const Vec3& c)
{
    Rigid m = rotation;
    for (int i = 0; i < 3; ++i)
        m.t[i] = c[i] - (rotation.r[i * 3 + 0] * c[0] + rotation.r[i * 3 + 1] * c[1] + rotation.r[i * 3 + 2] * c[2]);
    return m;
}

// How finely the surface is cut. At detail 1: 24 vertices around the body,
// rings 0.075 apart along it, leg openings of 3 x 3 cells, 16 rings per leg
// 0.05 apart. Detail d multiplies the counts around by a = round(d) and the
// counts along by d²/a, so the vertices grow by d².
struct Resolution {
    int ringSize;   // vertices around the body
    int holeCells;  // a leg opening spans holeCells x holeCells cells of the body
    int legRings;   // rings below the opening, before the foot tip
    double along;   // rings per unit of length, relative to detail 1
    double legAlong; // legRings / 16
};

inline Resolution makeResolution(double detail)
{
    Resolution r;
    const int a = int(std::lround(std::max(detail, 1.0)));
    r.ringSize = 24 * a;
    r.holeCells = 3 * a;
    r.along = detail * detail / double(a);
    r.legRings = int(std::lround(16.0 * r.along));
    r.legAlong = double(r.legRings) / 16.0;
    return r;
}

} // namespace creature_geometry
