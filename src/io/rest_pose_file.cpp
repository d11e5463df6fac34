#include "io/rest_pose_file.h"

#include <cerrno>
#include <cstring>

#include "io/text_reader.h"

namespace {

std::string at(const std::string& fileName, const TextReader& r)
{
    return fileName + ": line " + std::to_string(r.line) + ": ";
}

std::string valueProblem(const std::string& fileName, TextReader& r, TokenStatus status, const char* record,
                         const char* expected)
{
    std::string ioProblem = readErrorText(r);
    if (!ioProblem.empty())
        return fileName + ": cannot read: " + ioProblem;
    if (status == TokenStatus::End)
        return fileName + ": the file ends inside a " + record + " record";
    std::string found = describeNextText(r);
    if (status == TokenStatus::OutOfRange)
        return at(fileName, r) + record + " record: " + found + " is out of range";
    return at(fileName, r) + record + " record: expected " + expected + ", found " + found;
}

std::string faceProblem(const std::string& fileName, std::size_t face, long long index, std::size_t numVertices)
{
    return fileName + ": face " + std::to_string(face + 1) + " uses vertex " + std::to_string(index) +
           ", but the file has " + std::to_string(numVertices) + " vertices";
}

} // namespace

bool readRestPose(const std::string& fileName, Matrix& restPose, Triangles& triangles, std::string& error)
{
    restPose.clear();
    triangles.clear();
    TextReader r;
    if (!openTextReader(r, fileName)) {
        error = fileName + ": cannot open: " + std::strerror(errno);
        return false;
    }
    int largestIndex = 0;
    for (;;) {
        std::string_view keyword;
        if (readWord(r, keyword) == TokenStatus::End)
            break;
        if (keyword == "v") {
            double x[3];
            for (double& value : x) {
                TokenStatus status = readReal(r, value);
                if (status != TokenStatus::Ok) {
                    error = valueProblem(fileName, r, status, "vertex", "a number");
                    return false;
                }
            }
            restPose.push_back(makeVector3(x[0], x[1], x[2]));
        } else if (keyword == "f") {
            std::array<int, 3> face;
            for (int& index : face) {
                TokenStatus status = readInteger(r, index);
                if (status != TokenStatus::Ok) {
                    error = valueProblem(fileName, r, status, "face", "a vertex number");
                    return false;
                }
                if (index < 1) {
                    error = at(fileName, r) + "face " + std::to_string(triangles.size() + 1) + " uses vertex " +
                            std::to_string(index) + "; vertices are numbered from 1";
                    return false;
                }
                if (index > largestIndex)
                    largestIndex = index;
                --index;
            }
            triangles.push_back(face);
        } else {
            error = at(fileName, r) + "unexpected " + quoteText(keyword) +
                    " where a record starts (records are \"v x y z\" and \"f a b c\" only)";
            return false;
        }
    }
    std::string ioProblem = readErrorText(r);
    if (!ioProblem.empty()) {
        error = fileName + ": cannot read: " + ioProblem;
        return false;
    }
    // Faces may precede the vertices they use, so the range is known only now.
    std::size_t numVertices = restPose.size();
    if (std::size_t(largestIndex) > numVertices) {
        for (std::size_t t = 0; t < triangles.size(); ++t)
            for (int index : triangles[t])
                if (std::size_t(index) >= numVertices) {
                    error = faceProblem(fileName, t, (long long)index + 1, numVertices);
                    return false;
                }
    }
    return true;
}
