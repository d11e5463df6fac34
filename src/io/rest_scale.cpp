#include "io/rest_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double dot(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The edges b − a and c − a of triangle t in the positions p.
void edges(const double* p, const int* t, double e1[3], double e2[3])
{
    for (int k = 0; k < 3; ++k) {
        e1[k] = p[t[1] * 3 + k] - p[t[0] * 3 + k];
        e2[k] = p[t[2] * 3 + k] - p[t[0] * 3 + k];
    }
}

// The median of values (reordered); the mean of the two middle ones for an
// even count.
double median(std::vector<double>& values)
{
    const std::size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + long(half), values.end());
    const double upper = values[half];
    if (values.size() % 2)
        return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + long(half));
    return 0.5 * (lower + upper);
}

std::string figure(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", x);
    return text;
}

} // namespace

RestScale measureRestScale(const std::vector<double>& rest, const int* corners, std::size_t numTriangles, const double* frames,
                           std::size_t numFrames)
{
    // Per usable triangle the Gram matrix G of its rest edges.
    std::vector<std::size_t> used;
    std::vector<double> gram;
    for (std::size_t t = 0; t < numTriangles; ++t) {
        double e1[3], e2[3];
        edges(rest.data(), corners + t * 3, e1, e2);
        const double g11 = dot(e1, e1), g12 = dot(e1, e2), g22 = dot(e2, e2), det = g11 * g22 - g12 * g12;
        if (!(det > 1e-20 * g11 * g22)) // no area, or too thin to measure
            continue;
        used.push_back(t);
        gram.insert(gram.end(), {g11, g12, g22, det});
    }
    RestScale scale;
    if (used.empty() || numFrames == 0)
        return scale;
    const std::size_t width = rest.size();
    std::vector<double> larger(used.size()), smaller(used.size()), frameLarger(numFrames), frameSmaller(numFrames);
    for (std::size_t f = 0; f < numFrames; ++f) {
        for (std::size_t i = 0; i < used.size(); ++i) {
            double e1[3], e2[3];
            edges(frames + f * width, corners + used[i] * 3, e1, e2);
            const double h11 = dot(e1, e1), h12 = dot(e1, e2), h22 = dot(e2, e2);
            const double* g = &gram[i * 4];
            // The squared singular values solve det(H − λG) = 0.
            const double b = g[0] * h22 + g[2] * h11 - 2.0 * g[1] * h12, c = h11 * h22 - h12 * h12;
            const double root = std::sqrt(std::max(0.0, b * b - 4.0 * g[3] * c));
            larger[i] = std::sqrt(std::max(0.0, (b + root) / (2.0 * g[3])));
            smaller[i] = std::sqrt(std::max(0.0, (b - root) / (2.0 * g[3])));
        }
        frameLarger[f] = median(larger);
        frameSmaller[f] = median(smaller);
    }
    scale.larger = median(frameLarger);
    scale.smaller = median(frameSmaller);
    scale.checked = true;
    return scale;
}

std::string restScaleWarning(const RestScale& scale)
{
    if (!scale.checked || (scale.larger <= 1.1 && scale.smaller >= 0.9))
        return "";
    // Stretched one way and squashed the other with the area about kept is
    // what a soft or stretchy body does; another space scales both or one.
    const double area = scale.larger * scale.smaller;
    if (scale.larger > 1.1 && scale.smaller < 0.9 && area >= 0.9 && area <= 1.1)
        return "";
    return "the frames are " + figure(scale.larger) + " and " + figure(scale.smaller) +
           " times the size of the rest pose (median stretch of the rest triangles, largest and smallest direction), where a "
           "rigid or bending motion gives 1 and 1; unless the animation stretches the mesh this much, the rest pose is not "
           "in the frames' space (other units, object versus world space, a broken bind pose, or an object scale)";
}
