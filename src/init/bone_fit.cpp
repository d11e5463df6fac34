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
    // The rest-pose offsets a = p − p̄ are the same in every frame: formed once.
    if (params.numFrames > 0 && (sequence.rows < params.numFrames))
        throwSubscriptError();
    std::vector<double> offsets(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vector& p = restPose[members[i]];
        if (params.numFrames > 0 && (members[i] < 0 || members[i] >= sequence.columns))
            throwSubscriptError();
        for (int a = 0; a < 3; ++a)
            offsets[3 * i + a] = p[a] - restCentroid[a];
    }

    bone.rotations.resize(params.numFrames);
    bone.translations.resize(params.numFrames);
    const double p[3] = {restCentroid[0], restCentroid[1], restCentroid[2]};
    for (int f = 0; f < params.numFrames; ++f) {
        const double* row = sequence.point(f, 0);
        double s0 = 0.0, s1 = 0.0, s2 = 0.0;
        for (int v : members) {
            const double* x = row + 3 * std::size_t(v);
            s0 = s0 + x[0];
            s1 = s1 + x[1];
            s2 = s2 + x[2];
        }
        const double m0 = s0 / count, m1 = s1 / count, m2 = s2 / count;

        // Rows follow the rest-pose offset, columns the frame offset.
        double h00 = 0.0, h01 = 0.0, h02 = 0.0, h10 = 0.0, h11 = 0.0, h12 = 0.0, h20 = 0.0, h21 = 0.0, h22 = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double* x = row + 3 * std::size_t(members[i]);
            const double* a = offsets.data() + 3 * i;
            const double b0 = x[0] - m0, b1 = x[1] - m1, b2 = x[2] - m2;
            h00 = h00 + a[0] * b0, h01 = h01 + a[0] * b1, h02 = h02 + a[0] * b2;
            h10 = h10 + a[1] * b0, h11 = h11 + a[1] * b1, h12 = h12 + a[1] * b2;
            h20 = h20 + a[2] * b0, h21 = h21 + a[2] * b1, h22 = h22 + a[2] * b2;
        }
        const double covariance[3][3] = {{h00, h01, h02}, {h10, h11, h12}, {h20, h21, h22}};
        const double m[3] = {m0, m1, m2};
        double R[3][3], t[3];
        if (!rotationFromCovariance3(covariance, p, m, R, t))
            return false;
        Matrix& rotation = bone.rotations[f];
        resizeMatrix(rotation, 3, 3);
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                rotation[a][b] = R[a][b];
        bone.translations[f] = makeVector3(t[0], t[1], t[2]);
    }
    return true;
}
