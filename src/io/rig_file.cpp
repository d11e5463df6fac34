#include "io/rig_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "io/number_text.h"
#include "linalg/dense.h"

namespace {

constexpr std::size_t kBlockSize = std::size_t(1) << 20;
// Room kept free before every item, so an item never overflows the block.
constexpr std::size_t kItemRoom = 64;

// The rig's text, collected in a large block that goes to the file in few writes.
struct RigOutput {
    int fd = -1;
    std::vector<char> block;
    std::size_t used = 0;
    int error = 0; // errno of the first failed write; later text is dropped
};

void flushOutput(RigOutput& out)
{
    const char* p = out.block.data();
    std::size_t left = out.used;
    out.used = 0;
    while (left > 0 && out.error == 0) {
        ssize_t n = ::write(out.fd, p, left);
        if (n < 0) {
            if (errno != EINTR)
                out.error = errno;
            continue;
        }
        p += n;
        left -= std::size_t(n);
    }
}

inline char* itemSpace(RigOutput& out)
{
    if (out.block.size() - out.used < kItemRoom)
        flushOutput(out);
    return out.block.data() + out.used;
}

inline void putText(RigOutput& out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); i += kItemRoom) {
        std::size_t n = text.size() - i < kItemRoom ? text.size() - i : kItemRoom;
        std::memcpy(itemSpace(out), text.data() + i, n);
        out.used += n;
    }
}

inline void putInteger(RigOutput& out, long long value)
{
    char* p = itemSpace(out);
    out.used = std::size_t(formatInteger(p, value) - out.block.data());
}

inline void putReal(RigOutput& out, double value)
{
    char* p = itemSpace(out);
    out.used = std::size_t(formatReal(p, value) - out.block.data());
}

void writeHeader(RigOutput& out)
{
    const std::string rule(78, '#');
    putText(out, rule);
    putText(out, "\n# Tolvan\n# Skeletal rig: joints, bone transformations, skinning weights\n");
    putText(out, rule);
    putText(out, "\n");
}

// Every link appears twice, as (i, j) and as (j, i), with the same position.
void writeJoints(RigOutput& out, const RiggingContext& c)
{
    int numBones = c.numBones;
    putText(out, "# JOINTS: Num_of_Bones Num_of_Joints\n");
    putInteger(out, numBones);
    putText(out, " ");
    putInteger(out, c.skeleton.jointCount);
    putText(out, "\n");
    const std::vector<std::vector<bool>>& adjacency = c.skeleton.adjacency;
    for (int i = 0; i < numBones; ++i) {
        if (std::size_t(i) >= adjacency.size() || adjacency[i].size() < std::size_t(numBones))
            throwSubscriptError();
        for (int j = 0; j < numBones; ++j) {
            if (!adjacency[i][j])
                continue;
            const double* position = c.jointTable.at(i, j);
            putInteger(out, i);
            putText(out, " ");
            putInteger(out, j);
            putText(out, "   ");
            for (int a = 0; a < 3; ++a) {
                putText(out, " ");
                putReal(out, position[a]);
            }
            putText(out, "\n");
        }
    }
}

// Per frame, per bone the 3x4 matrix [R | t] row by row.
void writeBones(RigOutput& out, const RiggingContext& c)
{
    int numBones = c.numBones;
    int numFrames = c.numFrames;
    putText(out, "# BONES: Num_of_Frames Num_of_Bones\n");
    putInteger(out, numFrames);
    putText(out, " ");
    putInteger(out, numBones);
    putText(out, "\n");
    if (numFrames > 0 && c.bones.size() < std::size_t(numBones))
        throwSubscriptError();
    for (int f = 0; f < numFrames; ++f) {
        putInteger(out, f);
        putText(out, "\n");
        for (int j = 0; j < numBones; ++j) {
            const Bone& bone = c.bones[j];
            if (bone.rotations.size() <= std::size_t(f) || bone.translations.size() <= std::size_t(f))
                throwSubscriptError();
            const Matrix& rotation = bone.rotations[f];
            const Vector& translation = bone.translations[f];
            putInteger(out, j);
            putText(out, "  ");
            for (int r = 0; r < 3; ++r) {
                const Vector& row = rotation[r];
                putText(out, "  ");
                putReal(out, row[0]);
                putText(out, " ");
                putReal(out, row[1]);
                putText(out, " ");
                putReal(out, row[2]);
                putText(out, " ");
                putReal(out, translation[r]);
            }
            putText(out, "\n");
        }
    }
}

// Only the non-zero weights of a vertex, as pairs "bone weight".
void writeWeights(RigOutput& out, const RiggingContext& c)
{
    int numBones = c.numBones;
    int numVertices = c.numVertices;
    putText(out, "# WEIGHTS: Num_of_Vertices Num_of_Bones\n");
    putInteger(out, numVertices);
    putText(out, " ");
    putInteger(out, numBones);
    putText(out, "\n");
    for (int v = 0; v < numVertices; ++v) {
        putInteger(out, v);
        putText(out, "  ");
        if (numBones > 0) {
            const Vector& row = c.weights[v];
            if (row.size() < std::size_t(numBones))
                throwSubscriptError();
            const double* w = row.data();
            for (int j = 0; j < numBones; ++j) {
                if (w[j] == 0.0)
                    continue;
                putText(out, "  ");
                putInteger(out, j);
                putText(out, " ");
                putReal(out, w[j]);
            }
        }
        putText(out, "\n");
    }
}

// The temporary file: closed and removed unless it was renamed over the target.
struct TemporaryFile {
    std::string path;
    int fd = -1;
    bool renamed = false;

    ~TemporaryFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!path.empty() && !renamed)
            ::unlink(path.c_str());
    }
};

// The mode that creating fileName directly would leave: an existing file
// keeps its permissions, a new one gets 0666 less the umask.
mode_t targetMode(const std::string& fileName)
{
    struct stat st;
    if (::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string systemProblem(const std::string& what, int code)
{
    return what + ": " + std::strerror(code);
}

} // namespace

bool writeRig(const RiggingContext& context, const std::string& fileName, std::string& error)
{
    // A hidden name that does not end in ".rig.txt", beside the target so
    // that the rename stays within one file system.
    std::size_t slash = fileName.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    if (base.size() > 100)
        base.resize(100);
    mode_t mode = targetMode(fileName);

    TemporaryFile temporary;
    std::string pattern = folder + "." + base + ".XXXXXX.tmp";
    temporary.fd = ::mkstemps(pattern.data(), 4);
    if (temporary.fd < 0) {
        error = systemProblem("cannot create a temporary file for " + fileName, errno);
        return false;
    }
    temporary.path = pattern;
    if (::fchmod(temporary.fd, mode) != 0) {
        error = systemProblem("cannot set the mode of " + temporary.path, errno);
        return false;
    }

    RigOutput out;
    out.fd = temporary.fd;
    out.block.resize(kBlockSize);
    writeHeader(out);
    writeJoints(out, context);
    putText(out, std::string(78, '#'));
    putText(out, "\n");
    writeBones(out, context);
    putText(out, std::string(78, '#'));
    putText(out, "\n");
    writeWeights(out, context);
    flushOutput(out);
    if (out.error != 0) {
        error = systemProblem("cannot write " + fileName, out.error);
        return false;
    }
    int fd = temporary.fd;
    temporary.fd = -1;
    if (::close(fd) != 0) {
        error = systemProblem("cannot write " + fileName, errno);
        return false;
    }
    if (::rename(temporary.path.c_str(), fileName.c_str()) != 0) {
        error = systemProblem("cannot replace " + fileName, errno);
        return false;
    }
    temporary.renamed = true;
    return true;
}
