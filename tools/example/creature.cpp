#include "example/creature.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "example/creature_geometry.h"
#include "example/seeded_random.h"
#include "example/soft_motion.h"
#include "io/number_text.h"

namespace {

using namespace creature_geometry;

const double kPi = 3.14159265358979323846;
const int kNumBones = 11;

// The body's centre line: a smooth curve in the x-y plane from the tail tip
// to the nose, sampled densely and measured by arc length.
struct CentreLine {
    std::vector<Vec3> points;
    std::vector<double> arc;
    std::vector<double> keyArc; // arc length at each control point

    Vec3 at(double s) const
    {
        std::size_t i = std::size_t(std::upper_bound(arc.begin(), arc.end(), s) - arc.begin());
        i = std::clamp<std::size_t>(i, 1, arc.size() - 1);
        double u = (s - arc[i - 1]) / (arc[i] - arc[i - 1]);
        return add(points[i - 1], scale(u, sub(points[i], points[i - 1])));
    }
    Vec3 tangent(double s) const
    {
        const double h = 1e-3;
        Vec3 d = sub(at(std::min(s + h, arc.back())), at(std::max(s - h, 0.0)));
        return scale(1.0 / length(d), d);
    }
};

const int kNumControl = 8;
const double kControl[kNumControl][2] = {{-1.10, 0.06}, {-0.80, 0.00}, {0.00, 0.00}, {0.80, 0.02},
                                         {1.08, 0.24}, {1.25, 0.55}, {1.55, 0.64}, {1.82, 0.58}};
// Vertical radius at each control point; the sideways radius is 0.85 of it.
const double kRadius[kNumControl] = {0.10, 0.27, 0.31, 0.28, 0.15, 0.14, 0.19, 0.12};

CentreLine makeCentreLine()
{
    CentreLine line;
    const int perSegment = 200;
    for (int k = 0; k + 1 < kNumControl; ++k) {
        // Catmull-Rom segment between control points k and k + 1.
        const double* p0 = kControl[std::max(k - 1, 0)];
        const double* p1 = kControl[k];
        const double* p2 = kControl[k + 1];
        const double* p3 = kControl[std::min(k + 2, kNumControl - 1)];
        if (k == 0)
            line.keyArc.push_back(0.0);
        for (int i = (k == 0 ? 0 : 1); i <= perSegment; ++i) {
            double u = double(i) / perSegment, u2 = u * u, u3 = u2 * u;
            Vec3 p = {0.0, 0.0, 0.0};
            for (int c = 0; c < 2; ++c)
                p[std::size_t(c)] = 0.5 * (2.0 * p1[c] + (-p0[c] + p2[c]) * u + (2.0 * p0[c] - 5.0 * p1[c] + 4.0 * p2[c] - p3[c]) * u2 +
                                           (-p0[c] + 3.0 * p1[c] - 3.0 * p2[c] + p3[c]) * u3);
            double s = line.points.empty() ? 0.0 : line.arc.back() + length(sub(p, line.points.back()));
            line.points.push_back(p);
            line.arc.push_back(s);
        }
        line.keyArc.push_back(line.arc.back());
    }
    return line;
}

double radiusAt(const CentreLine& line, double s)
{
    for (int k = 0; k + 1 < kNumControl; ++k) {
        if (s <= line.keyArc[std::size_t(k + 1)] || k + 2 == kNumControl) {
            double u = (s - line.keyArc[std::size_t(k)]) / (line.keyArc[std::size_t(k + 1)] - line.keyArc[std::size_t(k)]);
            return kRadius[k] + (kRadius[k + 1] - kRadius[k]) * smoothStep(u);
        }
    }
    return kRadius[kNumControl - 1];
}

// Rounds the radius off towards a tip at either end of a tube.
double capFactor(double distanceToEnd, double capLength)
{
    if (distanceToEnd >= capLength)
        return 1.0;
    double u = 1.0 - distanceToEnd / capLength;
    return std::sqrt(std::max(0.0, 1.0 - u * u));
}

struct Builder {
    std::vector<Vec3> vertices;
    std::vector<std::array<int, 3>> triangles;
    // Per vertex: bone pairs (bone, weight) before compaction.
    std::vector<std::vector<RigInfluence>> weights;
    std::vector<Vec3> pivots = std::vector<Vec3>(kNumBones);

    int addVertex(const Vec3& p, std::vector<RigInfluence> w)
    {
        vertices.push_back(p);
        weights.push_back(std::move(w));
        return int(vertices.size()) - 1;
    }
    // Quad a b c d, counter-clockwise seen from outside.
    void addQuad(int a, int b, int c, int d)
    {
        triangles.push_back({a, b, c});
        triangles.push_back({a, c, d});
    }
};

// Blend between bone `below` and bone `above` around a joint: t = 0 below
// the window, 1 above it, smooth in between.
std::vector<RigInfluence> blend(int below, int above, double t)
{
    if (t <= 0.0)
        return {{below, 1.0}};
    if (t >= 1.0)
        return {{above, 1.0}};
    return {{below, 1.0 - t}, {above, t}};
}

// Merges two weight lists bone by bone (used where the neck and head windows meet).
std::vector<RigInfluence> bodyWeights(double s, double neckJoint, double headJoint, double window)
{
    if (s < 0.5 * (neckJoint + headJoint))
        return blend(0, 1, smoothStep((s - (neckJoint - window)) / (2.0 * window)));
    return blend(1, 2, smoothStep((s - (headJoint - window)) / (2.0 * window)));
}

struct Body {
    int ringSize = 0;
    int numRings = 0;
    std::vector<int> ringStart; // first vertex of each ring
    std::vector<double> ringArc;
    int tailTip = 0, noseTip = 0;
};

Body buildBody(Builder& b, const Resolution& res, const CentreLine& line, double neckJoint, double headJoint)
{
    Body body;
    body.ringSize = res.ringSize;
    const double total = line.arc.back();
    const double spacing = 0.075 / res.along;
    body.numRings = int(std::lround(total / spacing)) - 1;
    const double window = 0.12;
    const double capLength = 0.16;
    body.tailTip = b.addVertex(line.at(0.0), bodyWeights(0.0, neckJoint, headJoint, window));
    for (int i = 0; i < body.numRings; ++i) {
        double s = total * double(i + 1) / double(body.numRings + 1);
        Vec3 c = line.at(s), t = line.tangent(s);
        Vec3 n = {-t[1], t[0], 0.0}; // z x t: up in the body's plane
        double r = radiusAt(line, s) * capFactor(std::min(s, total - s), capLength);
        body.ringStart.push_back(int(b.vertices.size()));
        body.ringArc.push_back(s);
        for (int k = 0; k < body.ringSize; ++k) {
            double theta = 2.0 * kPi * k / body.ringSize;
            Vec3 p = add(c, add(scale(r * std::cos(theta), n), Vec3{0.0, 0.0, 0.85 * r * std::sin(theta)}));
            b.addVertex(p, bodyWeights(s, neckJoint, headJoint, window));
        }
    }
    body.noseTip = b.addVertex(line.at(total), bodyWeights(total, neckJoint, headJoint, window));
    return body;
}

int ringVertex(const Body& body, int ring, int k)
{
    return body.ringStart[std::size_t(ring)] + (k % body.ringSize + body.ringSize) % body.ringSize;
}

// True when the body cell (ring i .. i + 1, angle k .. k + 1) is a leg opening.
struct Opening {
    int ring;  // first ring of the opening
    int angle; // first angle step
};

bool inOpening(const std::vector<Opening>& openings, int cells, int i, int k)
{
    for (const Opening& o : openings)
        if (i >= o.ring && i < o.ring + cells && k >= o.angle && k < o.angle + cells)
            return true;
    return false;
}

void buildBodyFaces(Builder& b, const Body& body, const std::vector<Opening>& openings, int cells)
{
    for (int k = 0; k < body.ringSize; ++k)
        b.triangles.push_back({body.tailTip, ringVertex(body, 0, k + 1), ringVertex(body, 0, k)});
    for (int i = 0; i + 1 < body.numRings; ++i)
        for (int k = 0; k < body.ringSize; ++k)
            if (!inOpening(openings, cells, i, k))
                b.addQuad(ringVertex(body, i, k), ringVertex(body, i, k + 1), ringVertex(body, i + 1, k + 1), ringVertex(body, i + 1, k));
    int last = body.numRings - 1;
    for (int k = 0; k < body.ringSize; ++k)
        b.triangles.push_back({ringVertex(body, last, k), ringVertex(body, last, k + 1), body.noseTip});
}

// A leg grows out of an opening: its first ring is the opening's rim,
// walked counter-clockwise seen from outside; the next rings are circles
// straight below, closed by a tip at the foot.
void buildLeg(Builder& b, const Resolution& res, const Body& body, const Opening& o, int upper, int lower)
{
    const int cells = res.holeCells, rings = res.legRings;
    std::vector<int> rim;
    for (int k = 0; k < cells; ++k)
        rim.push_back(ringVertex(body, o.ring, o.angle + k));
    for (int i = 0; i < cells; ++i)
        rim.push_back(ringVertex(body, o.ring + i, o.angle + cells));
    for (int k = cells; k > 0; --k)
        rim.push_back(ringVertex(body, o.ring + cells, o.angle + k));
    for (int i = cells; i > 0; --i)
        rim.push_back(ringVertex(body, o.ring + i, o.angle));
    Vec3 centre = {0.0, 0.0, 0.0};
    double top = 1e9;
    for (int v : rim) {
        centre = add(centre, b.vertices[std::size_t(v)]);
        top = std::min(top, b.vertices[std::size_t(v)][1]);
    }
    centre = scale(1.0 / double(rim.size()), centre);
    const double legRadius = 0.085, spacing = 0.05 * (16.0 / double(rings));
    const double firstRing = top - 0.04;
    const double foot = firstRing - spacing * rings;
    const double hip = firstRing - 0.06, knee = 0.5 * (hip + foot) - 0.02;
    b.pivots[std::size_t(upper)] = {centre[0], hip, centre[2]};
    b.pivots[std::size_t(lower)] = {centre[0], knee, centre[2]};
    auto legWeights = [&](double y) -> std::vector<RigInfluence> {
        if (y > knee + 0.5 * (hip - knee))
            return blend(0, upper, smoothStep((top - y) / (top - (hip - 0.08))));
        return blend(upper, lower, smoothStep((knee + 0.08 - y) / 0.16));
    };
    std::vector<Vec3> directions;
    for (int v : rim) {
        Vec3 d = sub(b.vertices[std::size_t(v)], centre);
        d[1] = 0.0;
        directions.push_back(scale(1.0 / length(d), d));
    }
    const int n = int(rim.size());
    std::vector<int> previous = rim;
    for (int j = 0; j < rings; ++j) {
        double y = firstRing - spacing * j;
        // Wider where the leg meets the body, rounded at the foot.
        double r = legRadius * (1.0 + 0.35 * std::exp(-3.0 * (j / res.legAlong))) * capFactor(y - foot, 0.12);
        std::vector<int> ring;
        for (int q = 0; q < n; ++q)
            ring.push_back(b.addVertex(add(Vec3{centre[0], y, centre[2]}, scale(r, directions[std::size_t(q)])), legWeights(y)));
        for (int q = 0; q < n; ++q)
            b.addQuad(previous[std::size_t(q)], previous[std::size_t((q + 1) % n)], ring[std::size_t((q + 1) % n)], ring[std::size_t(q)]);
        previous = ring;
    }
    int tip = b.addVertex({centre[0], foot, centre[2]}, legWeights(foot));
    for (int q = 0; q < n; ++q)
        b.triangles.push_back({previous[std::size_t(q)], previous[std::size_t((q + 1) % n)], tip});
}

// Drops the vertices that no triangle uses (the inside of the openings) and
// renumbers the rest in their old order.
void compact(Builder& b, Creature& creature)
{
    std::vector<int> newIndex(b.vertices.size(), -1);
    for (const auto& t : b.triangles)
        for (int v : t)
            newIndex[std::size_t(v)] = 0;
    int next = 0;
    RigData& rig = creature.rig;
    for (std::size_t v = 0; v < b.vertices.size(); ++v) {
        if (newIndex[v] < 0)
            continue;
        newIndex[v] = next++;
        creature.rest.positions.insert(creature.rest.positions.end(), b.vertices[v].begin(), b.vertices[v].end());
        std::vector<RigInfluence> w = b.weights[v];
        std::sort(w.begin(), w.end(), [](const RigInfluence& x, const RigInfluence& y) { return x.bone < y.bone; });
        rig.weights.push_back(w);
    }
    for (const auto& t : b.triangles)
        for (int v : t)
            creature.rest.triangles.push_back(newIndex[std::size_t(v)]);
    rig.numVertices = next;
}

// Per-frame transformation of every bone: each bone turns about its pivot
// relative to its parent; the trunk also walks forward and bobs.
void animate(const CreatureOptions& options, const std::vector<Vec3>& pivots, Creature& creature)
{
    Random random{options.seed};
    auto jitter = [&](double base) { return base * (0.85 + 0.3 * random.next()); };
    auto phase = [&]() { return 2.0 * kPi * random.next(); };
    const double trunkPitch = jitter(0.06), trunkRoll = jitter(0.05), trunkYaw = jitter(0.12), bob = jitter(0.04);
    const double p0 = phase(), p1 = phase(), p2 = phase(), p3 = phase();
    const double neckAmp = jitter(0.30), headYaw = jitter(0.5), headPitch = jitter(0.2);
    const double p4 = phase(), p5 = phase(), p6 = phase();
    double legSwing[4], kneeBend[4], legPhase[4];
    const double gait[4] = {0.0, kPi, 0.5 * kPi, 1.5 * kPi};
    for (int l = 0; l < 4; ++l) {
        legSwing[l] = jitter(0.45);
        kneeBend[l] = jitter(0.7);
        legPhase[l] = gait[l] + 0.3 * (random.next() - 0.5);
    }
    RigData& rig = creature.rig;
    rig.numFrames = options.numFrames;
    rig.transforms.assign(std::size_t(rig.numFrames) * kNumBones * 12, 0.0);
    for (int f = 0; f < rig.numFrames; ++f) {
        double w = 2.0 * kPi * f / rig.numFrames;
        Rigid local[kNumBones];
        Rigid trunk = compose(axisRotation(1, trunkYaw * std::sin(w + p2)),
                              compose(axisRotation(0, trunkRoll * std::sin(w + p1)), axisRotation(2, trunkPitch * std::sin(w + p0))));
        local[0] = aboutPivot(trunk, pivots[0]);
        local[0].t[0] += 0.6 * f / rig.numFrames;
        local[0].t[1] += bob * std::sin(2.0 * w + p3);
        local[1] = aboutPivot(axisRotation(2, 0.1 + neckAmp * std::sin(w + p4)), pivots[1]);
        local[2] = aboutPivot(compose(axisRotation(1, headYaw * std::sin(w + p5)), axisRotation(2, headPitch * std::sin(w + p6))), pivots[2]);
        for (int l = 0; l < 4; ++l) {
            double a = w + legPhase[l];
            local[3 + 2 * l] = aboutPivot(axisRotation(2, legSwing[l] * std::sin(a)), pivots[std::size_t(3 + 2 * l)]);
            local[4 + 2 * l] = aboutPivot(axisRotation(2, -kneeBend[l] * 0.5 * (1.0 - std::cos(a + 0.5))), pivots[std::size_t(4 + 2 * l)]);
        }
        Rigid global[kNumBones];
        for (int j = 0; j < kNumBones; ++j) {
            int p = creature.parent[std::size_t(j)];
            global[j] = p < 0 ? local[j] : compose(global[p], local[j]);
            double* m = rig.transforms.data() + (std::size_t(f) * kNumBones + std::size_t(j)) * 12;
            std::copy(global[j].r, global[j].r + 9, m);
            std::copy(global[j].t, global[j].t + 3, m + 9);
        }
    }
}

} // namespace

void buildCreature(const CreatureOptions& options, Creature& creature)
{
    creature = Creature();
    creature.parent = {-1, 0, 1, 0, 3, 0, 5, 0, 7, 0, 9};
    CentreLine line = makeCentreLine();
    // The neck starts where the trunk bends upwards, the head where the neck levels out.
    const double neckJoint = line.keyArc[3] + 0.12, headJoint = line.keyArc[5] + 0.02;
    Builder b;
    b.pivots[0] = line.at(line.keyArc[2]);
    b.pivots[1] = line.at(neckJoint);
    b.pivots[2] = line.at(headJoint);
    const Resolution res = makeResolution(options.detail);
    Body body = buildBody(b, res, line, neckJoint, headJoint);
    // Leg openings under the trunk, front and back, left (+z) and right (-z).
    auto ringNear = [&](double x) {
        int best = 0;
        for (int i = 0; i < body.numRings; ++i)
            if (std::abs(line.at(body.ringArc[std::size_t(i)])[0] - x) < std::abs(line.at(body.ringArc[std::size_t(best)])[0] - x))
                best = i;
        return best - 1;
    };
    const int front = ringNear(0.52), back = ringNear(-0.52);
    const int a = res.ringSize / 24;
    std::vector<Opening> openings = {{front, 8 * a}, {front, 13 * a}, {back, 8 * a}, {back, 13 * a}};
    buildBodyFaces(b, body, openings, res.holeCells);
    for (int l = 0; l < 4; ++l)
        buildLeg(b, res, body, openings[std::size_t(l)], 3 + 2 * l, 4 + 2 * l);
    compact(b, creature);
    RigData& rig = creature.rig;
    rig.numBones = kNumBones;
    for (int j = 1; j < kNumBones; ++j) {
        RigJoint joint;
        joint.a = creature.parent[std::size_t(j)];
        joint.b = j;
        for (int r = 0; r < 3; ++r)
            joint.position[r] = b.pivots[std::size_t(j)][std::size_t(r)];
        rig.joints.push_back(joint);
    }
    animate(options, b.pivots, creature);
    const int nV = rig.numVertices;
    creature.frames.assign(std::size_t(rig.numFrames) * std::size_t(nV) * 3, 0.0);
    for (int f = 0; f < rig.numFrames; ++f)
        for (int v = 0; v < nV; ++v)
            skinPoint(rig, f, v, &creature.rest.positions[std::size_t(v) * 3], &creature.frames[(std::size_t(f) * nV + std::size_t(v)) * 3]);
    if (options.soft != 0.0)
        addSoftMotion(options, creature);
}

std::string formatSequence(const std::vector<double>& frames, int numFrames, int numVertices, int digits)
{
    std::string out = std::to_string(numFrames) + " " + std::to_string(numVertices) + "\n";
    out.reserve(frames.size() * 12);
    for (std::size_t i = 0; i + 2 < frames.size(); i += 3) {
        appendReal(out, frames[i], digits);
        out += ' ';
        appendReal(out, frames[i + 1], digits);
        out += ' ';
        appendReal(out, frames[i + 2], digits);
        out += '\n';
    }
    return out;
}
