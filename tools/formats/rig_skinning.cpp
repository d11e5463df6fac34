#include "formats/rig_skinning.h"

void skinPoint(const RigData& rig, int f, int v, const double* p, double* out)
{
    out[0] = out[1] = out[2] = 0.0;
    for (const RigInfluence& in : rig.weights[std::size_t(v)]) {
        const double* m = rig.transforms.data() + (std::size_t(f) * rig.numBones + in.bone) * 12;
        for (int r = 0; r < 3; ++r) {
            double s = 0.0;
            s += m[r * 3 + 0] * p[0];
            s += m[r * 3 + 1] * p[1];
            s += m[r * 3 + 2] * p[2];
            out[r] += in.weight * (s + m[9 + r]);
        }
    }
}
