#include "formats/gltf_animation.h"

#include <algorithm>
#include <cmath>

using nlohmann::json;

namespace {

GltfInterpolation interpolationOf(const json& sampler, const std::string& place)
{
    if (!sampler.contains("interpolation"))
        return GltfInterpolation::Linear;
    const json& name = sampler["interpolation"];
    if (name == "LINEAR")
        return GltfInterpolation::Linear;
    if (name == "STEP")
        return GltfInterpolation::Step;
    if (name == "CUBICSPLINE")
        return GltfInterpolation::CubicSpline;
    gltfFail(place + ".interpolation", name.dump() + " is not LINEAR, STEP or CUBICSPLINE");
}

void normalizeQuaternion(double* q)
{
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (n > 0.0)
        for (int k = 0; k < 4; ++k)
            q[k] /= n;
    else
        q[0] = q[1] = q[2] = 0.0, q[3] = 1.0;
}

// Shortest-arc spherical interpolation; nearly equal rotations are blended
// linearly (and renormalised), where the angle's sine loses precision.
void slerp(const double* a, const double* b, double u, double* out)
{
    double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    const double sign = d < 0.0 ? -1.0 : 1.0;
    d *= sign;
    double wa = 1.0 - u, wb = u;
    if (d < 0.9995) {
        const double theta = std::acos(d), s = std::sin(theta);
        wa = std::sin((1.0 - u) * theta) / s;
        wb = std::sin(u * theta) / s;
    }
    for (int k = 0; k < 4; ++k)
        out[k] = wa * a[k] + sign * wb * b[k];
    normalizeQuaternion(out);
}

void readChannel(const GltfDocument& doc, const json& animation, std::size_t c, const std::string& place,
                 std::vector<GltfChannel>& channels)
{
    const json& channel = animation["channels"][c];
    const json& target = gltfMember(channel, "target", place);
    const json& path = gltfMember(target, "path", place + ".target");
    static const std::pair<const char*, GltfPath> paths[] = {{"translation", GltfPath::Translation},
        {"rotation", GltfPath::Rotation}, {"scale", GltfPath::Scale}, {"weights", GltfPath::Weights}};
    GltfChannel out;
    out.place = place;
    bool known = false;
    for (const auto& [name, value] : paths)
        if (path == name) {
            out.path = value;
            known = true;
        }
    if (!known || !target.contains("node"))
        return;
    out.node = gltfIndex(target["node"], gltfCount(doc, "nodes"), place + ".target.node");
    const json& samplers = gltfMember(animation, "samplers", place);
    const std::size_t s = gltfIndex(gltfMember(channel, "sampler", place), samplers.is_array() ? samplers.size() : 0, place + ".sampler");
    const std::string samplerPlace = place.substr(0, place.find(".channels")) + ".samplers[" + std::to_string(s) + "]";
    const json& sampler = samplers[s];
    out.interpolation = interpolationOf(sampler, samplerPlace);
    const std::size_t input = gltfIndex(gltfMember(sampler, "input", samplerPlace), gltfCount(doc, "accessors"), samplerPlace + ".input");
    const std::size_t output = gltfIndex(gltfMember(sampler, "output", samplerPlace), gltfCount(doc, "accessors"), samplerPlace + ".output");
    GltfAccessor times = readGltfAccessor(doc, input);
    if (times.components != 1)
        gltfFail(samplerPlace + ".input", "key times must be SCALAR");
    for (std::size_t k = 0; k < times.count; ++k)
        if (!std::isfinite(times.values[k]) || (k > 0 && !(times.values[k] > times.values[k - 1])))
            gltfFail(samplerPlace + ".input", "key time " + std::to_string(k) + " is not finite or not after the one before");
    GltfAccessor values = readGltfAccessor(doc, output);
    const int expected = out.path == GltfPath::Rotation ? 4 : out.path == GltfPath::Weights ? 1 : 3;
    if (values.components != expected)
        gltfFail(samplerPlace + ".output", std::string("a ") + path.get<std::string>() + " channel needs " +
                                               (expected == 1 ? "SCALAR" : expected == 3 ? "VEC3" : "VEC4") + " values");
    const std::size_t perKey = out.interpolation == GltfInterpolation::CubicSpline ? 3 : 1;
    const std::size_t total = values.values.size(), keys = times.count * perKey;
    if (out.path == GltfPath::Weights ? total % keys != 0 : total != keys * std::size_t(expected))
        gltfFail(samplerPlace + ".output", std::to_string(values.count) + " values do not fit " + std::to_string(times.count) +
                                               " key times");
    out.width = total / keys;
    for (double v : values.values)
        if (!std::isfinite(v))
            gltfFail(samplerPlace + ".output", "a value is not finite");
    out.times = std::move(times.values);
    out.values = std::move(values.values);
    channels.push_back(std::move(out));
}

} // namespace

void readGltfChannels(const GltfDocument& doc, std::size_t animation, std::vector<GltfChannel>& channels)
{
    const std::string place = "animations[" + std::to_string(animation) + "]";
    const json& a = gltfItem(doc, "animations", animation);
    const json& list = gltfMember(a, "channels", place);
    if (!list.is_array())
        gltfFail(place + ".channels", "expected an array");
    for (std::size_t c = 0; c < list.size(); ++c)
        readChannel(doc, a, c, place + ".channels[" + std::to_string(c) + "]", channels);
}

void sampleGltfChannel(const GltfChannel& channel, double t, double snap, double* out)
{
    const std::vector<double>& times = channel.times;
    const std::size_t w = channel.width, last = times.size() - 1;
    const bool cubic = channel.interpolation == GltfInterpolation::CubicSpline;
    // Value element of key k (the middle one of the three of a cubic key).
    auto key = [&](std::size_t k) { return &channel.values[(cubic ? 3 * k + 1 : k) * w]; };
    std::size_t i = std::size_t(std::upper_bound(times.begin(), times.end(), t) - times.begin());
    i = i == 0 ? 0 : i - 1; // times[i] <= t < times[i + 1]
    const double* exact = nullptr;
    if (t <= times[0] + snap)
        exact = key(0);
    else if (t >= times[last] - snap)
        exact = key(last);
    else if (t - times[i] <= snap)
        exact = key(i);
    else if (times[i + 1] - t <= snap)
        exact = key(i + 1);
    if (exact || channel.interpolation == GltfInterpolation::Step) {
        std::copy(exact ? exact : key(i), (exact ? exact : key(i)) + w, out);
    } else {
        const double span = times[i + 1] - times[i], u = (t - times[i]) / span;
        if (!cubic && channel.path == GltfPath::Rotation) {
            slerp(key(i), key(i + 1), u, out);
        } else if (!cubic) {
            for (std::size_t k = 0; k < w; ++k)
                out[k] = (1.0 - u) * key(i)[k] + u * key(i + 1)[k];
        } else {
            // Hermite spline: value and out-tangent of key i, in-tangent and
            // value of key i + 1; tangents are scaled by the interval.
            const double u2 = u * u, u3 = u2 * u;
            const double* outTangent = key(i) + w;
            const double* inTangent = key(i + 1) - w;
            for (std::size_t k = 0; k < w; ++k)
                out[k] = (2 * u3 - 3 * u2 + 1) * key(i)[k] + span * (u3 - 2 * u2 + u) * outTangent[k] +
                         (-2 * u3 + 3 * u2) * key(i + 1)[k] + span * (u3 - u2) * inTangent[k];
        }
    }
    if (channel.path == GltfPath::Rotation)
        normalizeQuaternion(out);
}
