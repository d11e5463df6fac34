#include "formats/obj_mesh.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "io/number_text.h"

namespace {

struct ObjReader {
    const std::string& fileName;
    std::string& error;
    int line = 0;

    bool fail(const std::string& what)
    {
        error = fileName + ":" + std::to_string(line) + ": " + what;
        return false;
    }
};

// Splits one logical line into tokens at blanks and tabs.
void splitTokens(const std::string& text, std::vector<std::string>& tokens)
{
    tokens.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r'))
            ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r')
            ++i;
        if (i > start)
            tokens.push_back(text.substr(start, i - start));
    }
}

bool parseReal(const std::string& s, double& value)
{
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0' && std::isfinite(value);
}

bool parseIndex(const char* begin, const char* end, long& value)
{
    if (begin == end)
        return false;
    std::string s(begin, end);
    char* stop = nullptr;
    errno = 0;
    value = std::strtol(s.c_str(), &stop, 10);
    return *stop == '\0' && errno == 0;
}

// Resolves one face corner ("v", "v/vt", "v/vt/vn" or "v//vn") to a 0-based
// index. Positive indices may refer to vertices defined later; they are
// checked against the final count by the caller.
bool parseCorner(ObjReader& r, const std::string& token, long vertexCount, long& index)
{
    const char* s = token.c_str();
    const char* slash = std::strchr(s, '/');
    const char* end = slash ? slash : s + token.size();
    long value = 0;
    if (!parseIndex(s, end, value))
        return r.fail("invalid face vertex '" + token + "'");
    if (slash) {
        // Texture and normal indices are skipped but must be well formed.
        const char* part = slash + 1;
        int parts = 1;
        while (true) {
            const char* next = std::strchr(part, '/');
            const char* stop = next ? next : s + token.size();
            long ignored = 0;
            if (stop != part && !parseIndex(part, stop, ignored))
                return r.fail("invalid face vertex '" + token + "'");
            if (!next)
                break;
            part = next + 1;
            if (++parts > 2)
                return r.fail("invalid face vertex '" + token + "'");
        }
    }
    if (value == 0)
        return r.fail("face vertex index 0 (indices start at 1)");
    if (value > 2147483647L)
        return r.fail("face vertex index " + std::to_string(value) + " is too large");
    if (value < 0) {
        if (-value > vertexCount)
            return r.fail("face vertex " + std::to_string(value) + " reaches before the first vertex");
        index = vertexCount + value;
    } else {
        index = value - 1;
    }
    return true;
}

bool isSkipped(const std::string& keyword)
{
    static const char* const skipped[] = {"vt", "vn", "vp", "g", "o", "s", "usemtl", "mtllib", "l", "p"};
    for (const char* k : skipped)
        if (keyword == k)
            return true;
    return keyword[0] == '#';
}

} // namespace

bool readObjMesh(const std::string& fileName, bool keepFaces, ObjMesh& mesh, std::string& error)
{
    mesh = ObjMesh();
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        error = "cannot open " + fileName + ": " + std::strerror(errno);
        return false;
    }
    ObjReader r{fileName, error};
    std::vector<std::string> tokens;
    std::vector<long> corners;
    std::string text, part;
    int nextLine = 0;
    long largest = -1; // largest positive index seen, checked at the end
    int largestLine = 0;
    while (std::getline(in, part)) {
        ++nextLine;
        r.line = nextLine;
        text = part;
        // A trailing backslash joins the next physical line.
        while (true) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            if (text.empty() || text.back() != '\\' || !std::getline(in, part))
                break;
            ++nextLine;
            text.back() = ' ';
            text += part;
        }
        splitTokens(text, tokens);
        if (tokens.empty() || isSkipped(tokens[0]))
            continue;
        if (tokens[0] == "v") {
            if (tokens.size() < 4)
                return r.fail("a vertex needs three coordinates");
            double value[3];
            for (std::size_t k = 1; k < tokens.size(); ++k) {
                double x = 0.0;
                if (!parseReal(tokens[k], x))
                    return r.fail("invalid number '" + tokens[k] + "'");
                if (k <= 3)
                    value[k - 1] = x;
            }
            mesh.positions.insert(mesh.positions.end(), value, value + 3);
        } else if (tokens[0] == "f") {
            if (tokens.size() < 4)
                return r.fail("a face needs at least three vertices");
            long count = long(mesh.positions.size() / 3);
            corners.clear();
            for (std::size_t k = 1; k < tokens.size(); ++k) {
                long index = 0;
                if (!parseCorner(r, tokens[k], count, index))
                    return false;
                if (index > largest) {
                    largest = index;
                    largestLine = r.line;
                }
                corners.push_back(index);
            }
            if (!keepFaces)
                continue;
            for (std::size_t k = 1; k + 1 < corners.size(); ++k) {
                mesh.triangles.push_back(int(corners[0]));
                mesh.triangles.push_back(int(corners[k]));
                mesh.triangles.push_back(int(corners[k + 1]));
            }
        } else {
            return r.fail("unsupported record '" + tokens[0] + "'");
        }
    }
    if (in.bad()) {
        error = "cannot read " + fileName;
        return false;
    }
    long count = long(mesh.positions.size() / 3);
    if (largest >= count) {
        r.line = largestLine;
        return r.fail("face refers to vertex " + std::to_string(largest + 1) + " but the file has " +
                      std::to_string(count) + " vertices");
    }
    return true;
}

std::string formatRestPose(const ObjMesh& mesh, int digits)
{
    std::string out;
    out.reserve(mesh.positions.size() * 12 + mesh.triangles.size() * 8);
    for (std::size_t v = 0; v + 2 < mesh.positions.size(); v += 3) {
        out += 'v';
        for (int k = 0; k < 3; ++k) {
            out += ' ';
            appendReal(out, mesh.positions[v + std::size_t(k)], digits);
        }
        out += '\n';
    }
    for (std::size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        out += 'f';
        for (int k = 0; k < 3; ++k) {
            out += ' ';
            out += std::to_string(long(mesh.triangles[t + std::size_t(k)]) + 1);
        }
        out += '\n';
    }
    return out;
}
