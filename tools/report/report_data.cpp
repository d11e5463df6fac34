#include "report/report_data.h"

#include <cfloat>
#include <cmath>

namespace {

// Appends v as float32; false when it does not fit.
bool pushFloat(std::vector<float>& out, double v)
{
    if (!(std::fabs(v) <= double(FLT_MAX)))
        return false;
    out.push_back(float(v));
    return true;
}

bool pushFloats(std::vector<float>& out, const double* v, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (!pushFloat(out, v[i]))
            return false;
    return true;
}

bool checkCounts(const ObjMesh& rest, const RigData& rig, const std::vector<double>* input, int inputFrames,
                 std::string& error)
{
    const std::size_t vertices = rest.positions.size() / 3;
    if (vertices != std::size_t(rig.numVertices)) {
        error = "the rest mesh has " + std::to_string(vertices) + " vertices, the rig " + std::to_string(rig.numVertices);
        return false;
    }
    if (rig.numFrames < 1) {
        error = "the rig has no frame";
        return false;
    }
    if (rest.triangles.empty()) {
        error = "the rest mesh has no triangle";
        return false;
    }
    if (input && inputFrames != rig.numFrames) {
        error = "the input has " + std::to_string(inputFrames) + " frames, the rig " + std::to_string(rig.numFrames);
        return false;
    }
    if (input && input->size() != std::size_t(inputFrames) * vertices * 3) {
        error = "the input does not have " + std::to_string(vertices) + " vertices per frame like the rest mesh";
        return false;
    }
    return true;
}

} // namespace

bool buildReportData(const ObjMesh& rest, const RigData& rig, const std::vector<double>* input, int inputFrames,
                     int maxFrames, ReportData& data, std::string& error)
{
    data = ReportData();
    if (!checkCounts(rest, rig, input, inputFrames, error))
        return false;
    data.vertices = rig.numVertices;
    data.triangleCount = int(rest.triangles.size() / 3);
    data.bones = rig.numBones;
    data.sourceFrames = rig.numFrames;
    if (maxFrames > 0 && rig.numFrames > maxFrames)
        data.frameStep = (rig.numFrames + maxFrames - 1) / maxFrames;
    data.frameCount = (rig.numFrames + data.frameStep - 1) / data.frameStep;
    data.hasInput = input != nullptr;

    bool fits = pushFloats(data.rest, rest.positions.data(), rest.positions.size());
    data.triangles.assign(rest.triangles.begin(), rest.triangles.end());
    data.weightStart.push_back(0);
    for (const std::vector<RigInfluence>& influences : rig.weights) {
        for (const RigInfluence& in : influences) {
            data.weightBone.push_back(std::uint32_t(in.bone));
            fits = fits && pushFloat(data.weightValue, in.weight);
        }
        data.weightStart.push_back(std::uint32_t(data.weightBone.size()));
    }
    const std::size_t perFrame = std::size_t(rig.numBones) * 12, perInput = std::size_t(data.vertices) * 3;
    for (int f = 0; f < rig.numFrames && fits; f += data.frameStep) {
        fits = pushFloats(data.transforms, rig.transforms.data() + std::size_t(f) * perFrame, perFrame);
        if (input)
            fits = fits && pushFloats(data.frames, input->data() + std::size_t(f) * perInput, perInput);
    }
    if (!fits) {
        error = "a coordinate, weight or transformation is too large for a 32-bit float";
        return false;
    }
    data.joints = rig.joints;
    buildJointTree(rig, rest.positions, data.tree);
    return true;
}

namespace {

double restDiagonal(const ReportData& data)
{
    double lo[3] = {1e100, 1e100, 1e100};
    double hi[3] = {-1e100, -1e100, -1e100};
    for (int v = 0; v < data.vertices; ++v)
        for (int a = 0; a < 3; ++a) {
            const double c = data.rest[std::size_t(v) * 3 + std::size_t(a)];
            if (c < lo[a])
                lo[a] = c;
            if (c > hi[a])
                hi[a] = c;
        }
    const double dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Kept frame k's skinning of vertex v, in the page's operation order.
void skinVertex(const ReportData& data, int k, int v, double out[3])
{
    const float* p = data.rest.data() + std::size_t(v) * 3;
    out[0] = out[1] = out[2] = 0.0;
    for (std::uint32_t i = data.weightStart[std::size_t(v)]; i < data.weightStart[std::size_t(v) + 1]; ++i) {
        const float* m = data.transforms.data() + (std::size_t(k) * std::size_t(data.bones) + data.weightBone[i]) * 12;
        const double w = data.weightValue[i];
        for (int r = 0; r < 3; ++r) {
            double s = 0.0;
            s += double(m[r * 3 + 0]) * double(p[0]);
            s += double(m[r * 3 + 1]) * double(p[1]);
            s += double(m[r * 3 + 2]) * double(p[2]);
            out[r] += w * (s + double(m[9 + r]));
        }
    }
}

} // namespace

void computeReportErrors(const ReportData& data, ReportErrors& errors)
{
    errors = ReportErrors();
    errors.diagonal = restDiagonal(data);
    double sum = 0.0, largest = -1.0;
    for (int k = 0; k < data.frameCount; ++k)
        for (int v = 0; v < data.vertices; ++v) {
            double skinned[3];
            skinVertex(data, k, v, skinned);
            const float* in = data.frames.data() + (std::size_t(k) * std::size_t(data.vertices) + std::size_t(v)) * 3;
            const double dx = double(in[0]) - skinned[0], dy = double(in[1]) - skinned[1], dz = double(in[2]) - skinned[2];
            const double s = dx * dx + dy * dy + dz * dz;
            sum += s;
            const double e = std::sqrt(s) / errors.diagonal * 100;
            if (e > largest) {
                largest = e;
                errors.largestVertex = v;
                errors.largestFrame = k * data.frameStep;
            }
        }
    errors.largestPercent = largest;
    errors.rmsPercent = std::sqrt(sum / (double(data.frameCount) * double(data.vertices))) / errors.diagonal * 100;
}
