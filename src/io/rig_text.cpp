#include "io/rig_text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "io/number_text.h"

namespace {

struct Line {
    int number;
    std::vector<std::string> tokens;
};

struct RigParser {
    const std::string& fileName;
    std::string& error;

    bool fail(int line, const std::string& what)
    {
        error = fileName + ":" + std::to_string(line) + ": " + what;
        return false;
    }
};

std::vector<std::string> splitTokens(const std::string& text)
{
    std::vector<std::string> tokens;
    std::istringstream in(text);
    std::string t;
    while (in >> t)
        tokens.push_back(t);
    return tokens;
}

bool parseInt(const std::string& s, long& value)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(s.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

bool parseReal(const std::string& s, double& value)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

// A section's first line, "a b" with both values in 0 .. limit; what names
// the section (in the message for a missing line) and then the two counts.
bool parseCounts(RigParser& p, const std::vector<Line>& lines, int headerLine, long limit, long& a, long& b,
                 const char* section, const char* what)
{
    if (lines.empty())
        return p.fail(headerLine, std::string("the ") + section + " section has no count line");
    const Line& line = lines[0];
    if (line.tokens.size() != 2 || !parseInt(line.tokens[0], a) || !parseInt(line.tokens[1], b))
        return p.fail(line.number, std::string("expected the two counts ") + what);
    if (a < 0 || b < 0 || a > limit || b > limit)
        return p.fail(line.number, std::string("counts out of range: ") + what);
    return true;
}

bool parseJoints(RigParser& p, const std::vector<Line>& lines, int headerLine, RigData& rig)
{
    long nB = 0, nJ = 0;
    if (!parseCounts(p, lines, headerLine, 1 << 20, nB, nJ, "joints", "Num_of_Bones Num_of_Joints"))
        return false;
    if (nB < 1)
        return p.fail(lines[0].number, "a rig needs at least one bone");
    rig.numBones = int(nB);
    std::set<std::pair<int, int>> seen;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        const Line& line = lines[k];
        long i = 0, j = 0;
        double c[3];
        if (line.tokens.size() != 5 || !parseInt(line.tokens[0], i) || !parseInt(line.tokens[1], j) ||
            !parseReal(line.tokens[2], c[0]) || !parseReal(line.tokens[3], c[1]) || !parseReal(line.tokens[4], c[2]))
            return p.fail(line.number, "expected a joint row: bone bone x y z");
        if (i < 0 || j < 0 || i >= nB || j >= nB || i == j)
            return p.fail(line.number, "joint links invalid bones " + line.tokens[0] + " and " + line.tokens[1]);
        // Each joint is normally listed once from each side; keep the first.
        std::pair<int, int> key(int(std::min(i, j)), int(std::max(i, j)));
        if (!seen.insert(key).second)
            continue;
        RigJoint joint;
        joint.a = key.first;
        joint.b = key.second;
        for (int r = 0; r < 3; ++r)
            joint.position[r] = c[r];
        rig.joints.push_back(joint);
    }
    if (long(rig.joints.size()) != nJ)
        return p.fail(lines[0].number, "the joint count is " + std::to_string(nJ) + " but " +
                                           std::to_string(rig.joints.size()) + " joints are listed");
    return true;
}

bool parseBones(RigParser& p, const std::vector<Line>& lines, int headerLine, RigData& rig)
{
    long nF = 0, nB = 0;
    if (!parseCounts(p, lines, headerLine, 1 << 24, nF, nB, "bones", "Num_of_Frames Num_of_Bones"))
        return false;
    if (nB != rig.numBones)
        return p.fail(lines[0].number, "the bone count differs from the joints section");
    // Check the line count before allocating anything sized by the header.
    if (long(lines.size()) - 1 != nF * (nB + 1))
        return p.fail(lines[0].number, "expected " + std::to_string(nF) + " frame blocks of " +
                                           std::to_string(nB) + " bones");
    rig.numFrames = int(nF);
    rig.transforms.assign(std::size_t(nF * nB * 12), 0.0);
    std::size_t k = 1;
    for (long f = 0; f < nF; ++f) {
        long index = 0;
        const Line& head = lines[k++];
        if (head.tokens.size() != 1 || !parseInt(head.tokens[0], index) || index != f)
            return p.fail(head.number, "expected the frame number " + std::to_string(f));
        for (long j = 0; j < nB; ++j) {
            const Line& line = lines[k++];
            if (line.tokens.size() != 13 || !parseInt(line.tokens[0], index) || index != j)
                return p.fail(line.number, "expected bone " + std::to_string(j) + " and its 3x4 matrix");
            double* m = rig.transforms.data() + (f * nB + j) * 12;
            // The file lists [R | t] row by row; memory keeps R rows then t.
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 4; ++c) {
                    double value = 0.0;
                    if (!parseReal(line.tokens[std::size_t(1 + r * 4 + c)], value))
                        return p.fail(line.number, "invalid number '" + line.tokens[std::size_t(1 + r * 4 + c)] + "'");
                    if (c < 3)
                        m[r * 3 + c] = value;
                    else
                        m[9 + r] = value;
                }
            }
        }
    }
    return true;
}

bool parseWeights(RigParser& p, const std::vector<Line>& lines, int headerLine, RigData& rig)
{
    long nV = 0, nB = 0;
    if (!parseCounts(p, lines, headerLine, 1L << 30, nV, nB, "weights", "Num_of_Vertices Num_of_Bones"))
        return false;
    if (nB != rig.numBones)
        return p.fail(lines[0].number, "the bone count differs from the joints section");
    if (long(lines.size()) - 1 != nV)
        return p.fail(lines[0].number, "expected " + std::to_string(nV) + " vertex rows");
    rig.numVertices = int(nV);
    rig.weights.assign(std::size_t(nV), {});
    for (long v = 0; v < nV; ++v) {
        const Line& line = lines[std::size_t(v + 1)];
        long index = 0;
        if (line.tokens.empty() || line.tokens.size() % 2 != 1 || !parseInt(line.tokens[0], index) || index != v)
            return p.fail(line.number, "expected vertex " + std::to_string(v) + " and pairs of bone and weight");
        std::vector<RigInfluence>& row = rig.weights[std::size_t(v)];
        for (std::size_t t = 1; t < line.tokens.size(); t += 2) {
            long bone = 0;
            double w = 0.0;
            if (!parseInt(line.tokens[t], bone) || bone < 0 || bone >= nB)
                return p.fail(line.number, "invalid bone '" + line.tokens[t] + "'");
            if (!parseReal(line.tokens[t + 1], w) || w < 0.0)
                return p.fail(line.number, "invalid weight '" + line.tokens[t + 1] + "'");
            if (!row.empty() && row.back().bone >= bone)
                return p.fail(line.number, "bones must be listed in increasing order");
            if (w != 0.0)
                row.push_back({int(bone), w});
        }
    }
    return true;
}

} // namespace

bool readRigFile(const std::string& fileName, RigData& rig, std::string& error)
{
    rig = RigData();
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        error = "cannot open " + fileName;
        return false;
    }
    // Sort the lines into sections by the keyword lines; other comments are free text.
    std::vector<Line> sections[3];
    int headers[3] = {0, 0, 0};
    int current = -1;
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (!text.empty() && text[0] == '#') {
            const char* keys[3] = {"# JOINTS:", "# BONES:", "# WEIGHTS:"};
            for (int s = 0; s < 3; ++s) {
                if (text.rfind(keys[s], 0) == 0) {
                    if (headers[s] != 0 || s <= current) {
                        error = fileName + ":" + std::to_string(number) + ": section out of order";
                        return false;
                    }
                    headers[s] = number;
                    current = s;
                }
            }
            continue;
        }
        Line line{number, splitTokens(text)};
        if (line.tokens.empty())
            continue;
        if (current < 0) {
            error = fileName + ":" + std::to_string(number) + ": data before the joints section";
            return false;
        }
        sections[current].push_back(std::move(line));
    }
    if (in.bad()) {
        error = "cannot read " + fileName;
        return false;
    }
    const char* names[3] = {"JOINTS", "BONES", "WEIGHTS"};
    for (int s = 0; s < 3; ++s) {
        if (headers[s] == 0) {
            error = fileName + ": no # " + std::string(names[s]) + " section (not a rig file)";
            return false;
        }
    }
    RigParser p{fileName, error};
    return parseJoints(p, sections[0], headers[0], rig) && parseBones(p, sections[1], headers[1], rig) &&
           parseWeights(p, sections[2], headers[2], rig);
}

namespace {

// Text appended number by number without a temporary string each; every
// call returns the text, so that a line reads as one chain.
struct RigText {
    std::string out;
    int digits;

    RigText& put(const char* text)
    {
        out += text;
        return *this;
    }
    RigText& put(long long value)
    {
        char buf[kMaxNumberText];
        out.append(buf, formatInteger(buf, value));
        return *this;
    }
    RigText& real(double value)
    {
        char buf[kMaxNumberText];
        out.append(buf, formatReal(buf, value, digits));
        return *this;
    }
    // A section's keyword line and its line of two counts.
    void heading(const char* keyword, long long a, long long b) { put(keyword).put(a).put(" ").put(b).put("\n"); }
};

void formatJoints(RigText& t, const RigData& rig)
{
    t.heading("# JOINTS: Num_of_Bones Num_of_Joints\n", rig.numBones, (long long)rig.joints.size());
    std::vector<std::vector<std::pair<int, const RigJoint*>>> links(std::size_t(rig.numBones));
    for (const RigJoint& j : rig.joints) {
        links[std::size_t(j.a)].push_back({j.b, &j});
        links[std::size_t(j.b)].push_back({j.a, &j});
    }
    for (int i = 0; i < rig.numBones; ++i) {
        std::vector<std::pair<int, const RigJoint*>>& row = links[std::size_t(i)];
        std::sort(row.begin(), row.end());
        for (const auto& [other, joint] : row) {
            const double* p = joint->position;
            t.put(i).put(" ").put(other).put("    ").real(p[0]).put(" ").real(p[1]).put(" ").real(p[2]).put("\n");
        }
    }
}

// Per frame, per bone the 3x4 matrix [R | t] row by row.
void formatBones(RigText& t, const RigData& rig)
{
    t.heading("# BONES: Num_of_Frames Num_of_Bones\n", rig.numFrames, rig.numBones);
    for (int f = 0; f < rig.numFrames; ++f) {
        t.put(f).put("\n");
        for (int j = 0; j < rig.numBones; ++j) {
            const double* m = rig.transforms.data() + (std::size_t(f) * rig.numBones + j) * 12;
            t.put(j).put("  ");
            for (int r = 0; r < 3; ++r)
                t.put("  ").real(m[r * 3]).put(" ").real(m[r * 3 + 1]).put(" ").real(m[r * 3 + 2]).put(" ").real(m[9 + r]);
            t.put("\n");
        }
    }
}

// Only the non-zero weights of a vertex, as pairs "bone weight".
void formatWeights(RigText& t, const RigData& rig)
{
    t.heading("# WEIGHTS: Num_of_Vertices Num_of_Bones\n", rig.numVertices, rig.numBones);
    for (int v = 0; v < rig.numVertices; ++v) {
        t.put(v).put("  ");
        for (const RigInfluence& in : rig.weights[std::size_t(v)])
            if (in.weight != 0.0)
                t.put("  ").put(in.bone).put(" ").real(in.weight);
        t.put("\n");
    }
}

} // namespace

std::string formatRig(const RigData& rig, int digits, const std::string& comment)
{
    const std::string rule(78, '#');
    RigText t{std::string(), digits};
    // About 8 characters a number, 13 numbers a bone and frame.
    t.out.reserve(256 + std::size_t(rig.numFrames) * std::size_t(rig.numBones) * 110 +
                  std::size_t(rig.numVertices) * 48);
    t.out += rule + "\n# Tolvan\n# " + comment + "\n" + rule + "\n";
    formatJoints(t, rig);
    t.out += rule + "\n";
    formatBones(t, rig);
    t.out += rule + "\n";
    formatWeights(t, rig);
    return std::move(t.out);
}
