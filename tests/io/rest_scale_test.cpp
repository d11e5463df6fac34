#include <gtest/gtest.h>

#include <functional>

#include "io/rest_scale.h"

namespace {

// Two triangles in the xy-plane (a unit square), moved in every frame by
// the case's map of a point.
TEST(RestScale, MeasuresHowMuchTheFramesStretchTheRestTriangles)
{
    using Map = std::function<void(double*)>;
    const Map rigid = [](double* p) { const double x = p[0]; p[0] = 2 - p[1], p[1] = x, p[2] += 5; }; // a quarter turn and a shift
    const Map alongX = [](double* p) { p[0] *= 1.21; };
    const struct {
        const char* name;
        std::vector<Map> frames;
        double larger, smaller;
        bool warns;
    } cases[] = {
        {"rigid", {rigid}, 1, 1, false},
        {"other units", {[](double* p) { p[0] *= 100, p[1] *= 100, p[2] *= 100; }}, 100, 100, true},
        {"scaled along x", {alongX}, 1.21, 1, true},
        {"slightly squashed", {[](double* p) { p[1] *= 0.95; }}, 1, 0.95, false},
        {"stretched and squashed", {[](double* p) { p[0] *= 1.2, p[1] /= 1.2; }}, 1.2, 1 / 1.2, false}, // a soft body, not a space
        {"smaller", {[](double* p) { p[0] *= 0.5, p[1] *= 0.5; }}, 0.5, 0.5, true},
        {"one odd frame of three", {rigid, alongX, rigid}, 1, 1, false}, // the median over frames
    };
    const std::vector<double> rest = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const int corners[] = {0, 1, 2, 0, 2, 3};
    for (const auto& c : cases) {
        std::vector<double> frames;
        for (const Map& map : c.frames)
            for (std::size_t v = 0; v < 4; ++v) {
                double p[3] = {rest[v * 3], rest[v * 3 + 1], rest[v * 3 + 2]};
                map(p);
                frames.insert(frames.end(), p, p + 3);
            }
        const RestScale scale = measureRestScale(rest, corners, 2, frames.data(), c.frames.size());
        EXPECT_TRUE(scale.checked) << c.name;
        EXPECT_NEAR(scale.larger, c.larger, 1e-12) << c.name;
        EXPECT_NEAR(scale.smaller, c.smaller, 1e-12) << c.name;
        const std::string warning = restScaleWarning(scale);
        EXPECT_EQ(!warning.empty(), c.warns) << c.name << ": " << warning;
    }
    // Nothing to measure: no triangle of non-zero area, or no triangle at all.
    const std::vector<double> line = {0, 0, 0, 1, 0, 0, 2, 0, 0};
    const int flat[] = {0, 1, 2};
    EXPECT_FALSE(measureRestScale(line, flat, 1, line.data(), 1).checked);
    EXPECT_FALSE(measureRestScale(rest, corners, 0, rest.data(), 1).checked);
    EXPECT_EQ(restScaleWarning(RestScale{100, 100, false}), "");
}

} // namespace
