#include "init/bone_fit.h"

#include "linalg/svd3.h"

bool fitBoneToGroup(const LbgParams& params, Bone& bone, std::vector<int> members)
{
    const std::size_t n = members.size();
    if (n < std::size_t(minGroupSize))
        return false;
    const Matrix& restPose = *params.restPose;
    const PointTable& sequence = *params.sequence;
    const double count = double(n);

    // Rest centroid, summed in member order.
    double sum[3] = {0.0, 0.0, 0.0};
    for (int v : members) {
        const Vector& p = restPose[v];
        for (int a = 0; a < 3; ++a)
            sum[a] = sum[a] + p[a];
    }
    Vector restCentroid = makeVector3(sum[0] / count, sum[1] / count, sum[2] / count);

    bone.rotations.resize(params.numFrames);
    bone.translations.resize(params.numFrames);
    Matrix covariance;
    Matrix rotation;
    Vector translation;
    for (int f = 0; f < params.numFrames; ++f) {
        double frameSum[3] = {0.0, 0.0, 0.0};
        for (int v : members) {
            const double* x = sequence.at(f, v);
            for (int a = 0; a < 3; ++a)
                frameSum[a] = frameSum[a] + x[a];
        }
        const double m[3] = {frameSum[0] / count, frameSum[1] / count, frameSum[2] / count};

        // Rows follow the rest-pose offset, columns the frame offset.
        double h[3][3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
        for (int v : members) {
            const Vector& p = restPose[v];
            const double* x = sequence.point(f, v);
            const double a[3] = {p[0] - restCentroid[0], p[1] - restCentroid[1], p[2] - restCentroid[2]};
            const double b[3] = {x[0] - m[0], x[1] - m[1], x[2] - m[2]};
            for (int r = 0; r < 3; ++r)
                for (int s = 0; s < 3; ++s)
                    h[r][s] = h[r][s] + a[r] * b[s];
        }
        covariance = zeroMatrix3();
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s)
                covariance[r][s] = h[r][s];

        if (!rotationFromCovariance(covariance, restCentroid, makeVector3(m[0], m[1], m[2]), rotation, translation))
            return false;
        bone.rotations[f] = rotation;
        bone.translations[f] = translation;
    }
    return true;
}
