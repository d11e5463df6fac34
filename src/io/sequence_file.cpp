#include "io/sequence_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "io/text_reader.h"

namespace {

std::string at(const std::string& fileName, const TextReader& r)
{
    return fileName + ": line " + std::to_string(r.line) + ": ";
}

// The reason for a value that could not be read, preferring a read error,
// which would otherwise look like a truncated file.
std::string valueProblem(const std::string& fileName, TextReader& r, TokenStatus status, const std::string& what)
{
    std::string ioProblem = readErrorText(r);
    if (!ioProblem.empty())
        return fileName + ": cannot read: " + ioProblem;
    if (status == TokenStatus::End)
        return fileName + ": the file ends before " + what;
    std::string found = describeNextText(r);
    if (status == TokenStatus::OutOfRange)
        return at(fileName, r) + what + ": " + found + " is out of range";
    return at(fileName, r) + what + ": expected a number, found " + found;
}

bool readCount(const std::string& fileName, TextReader& r, const char* name, int& count, std::string& error)
{
    TokenStatus status = readInteger(r, count);
    if (status != TokenStatus::Ok) {
        error = valueProblem(fileName, r, status, std::string("the ") + name);
        return false;
    }
    if (count < 1) {
        error = at(fileName, r) + "the " + name + " is " + std::to_string(count) + "; it must be at least 1";
        return false;
    }
    return true;
}

std::string coordinateName(std::uint64_t index, int numVertices)
{
    std::uint64_t point = index / 3;
    return "frame " + std::to_string(point / std::uint64_t(numVertices)) + ", vertex " +
           std::to_string(point % std::uint64_t(numVertices)) + ", " + "xyz"[index % 3] + " coordinate";
}

} // namespace

bool readSequence(const std::string& fileName, PointTable& sequence, std::string& error)
{
    sequence = PointTable();
    TextReader r;
    if (!openTextReader(r, fileName)) {
        error = fileName + ": cannot open: " + std::strerror(errno);
        return false;
    }
    int numFrames = 0;
    int numVertices = 0;
    if (!readCount(fileName, r, "frame count", numFrames, error) ||
        !readCount(fileName, r, "vertex count", numVertices, error))
        return false;

    // Every coordinate takes at least one character and one separator (the
    // last may end the file), so a header that promises more than the file
    // can hold is refused before anything is allocated.
    std::uint64_t points = std::uint64_t(numFrames) * std::uint64_t(numVertices);
    std::uint64_t count = points * 3;
    long long size = textFileSize(r);
    if (size >= 0) {
        std::uint64_t rest = std::uint64_t(size - textOffset(r));
        if (points > (rest + 1) / 6) {
            error = fileName + ": the header announces " + std::to_string(numFrames) + " frames of " +
                    std::to_string(numVertices) + " vertices (" + std::to_string(count) +
                    " coordinates), more than the remaining " + std::to_string(rest) + " bytes can hold";
            return false;
        }
    }
    if (points > (std::uint64_t(1) << 40) / 3) {
        error = fileName + ": " + std::to_string(points) + " points are more than a sequence can hold";
        return false;
    }

    std::vector<double> values;
    // A file that is not a regular file has no known size: its table grows
    // with the values actually read.
    values.reserve(size >= 0 ? count : std::min<std::uint64_t>(count, std::uint64_t(1) << 20));
    for (std::uint64_t i = 0; i < count; ++i) {
        double x;
        TokenStatus status = readReal(r, x);
        if (status != TokenStatus::Ok) {
            error = valueProblem(fileName, r, status, coordinateName(i, numVertices));
            return false;
        }
        values.push_back(x);
    }
    std::string ioProblem = readErrorText(r);
    if (!ioProblem.empty()) {
        error = fileName + ": cannot read: " + ioProblem;
        return false;
    }
    sequence.rows = numFrames;
    sequence.columns = numVertices;
    sequence.values.swap(values);
    return true;
}
