#include "io/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string systemProblem(const std::string& what, int code)
{
    return what + ": " + std::strerror(code);
}

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

// Writes all of text to fd; returns 0 or the errno of the failed write.
int writeAll(int fd, const std::string& text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= std::size_t(n);
    }
    return 0;
}

// Fills the open temporary fd and closes it; returns 0 or the errno.
int fillAndClose(int fd, mode_t mode, const std::string& contents)
{
    int code = ::fchmod(fd, mode) != 0 ? errno : 0;
    if (code == 0)
        code = writeAll(fd, contents);
    // On the disk before the rename, so that a crash never leaves the
    // target replaced by a file whose contents were not yet written.
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    return code;
}

} // namespace

bool stageFile(const std::string& target, const std::string& contents, StagedFile& staged, std::string& error)
{
    // A hidden name that keeps no ending of the target's, beside it so that
    // the rename stays within one file system.
    std::size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > 100)
        base.resize(100);
    mode_t mode = targetMode(target);
    staged.target = target;
    staged.temporary = folder + "." + base + ".XXXXXX.tmp";
    int fd = ::mkstemps(staged.temporary.data(), 4);
    if (fd < 0) {
        staged.temporary.clear();
        error = systemProblem("cannot create a temporary file for " + target, errno);
        return false;
    }
    int code = fillAndClose(fd, mode, contents);
    if (code != 0) {
        ::unlink(staged.temporary.c_str());
        staged.temporary.clear();
        error = systemProblem("cannot write " + target, code);
        return false;
    }
    return true;
}

bool commitStagedFiles(std::vector<StagedFile>& files, std::string& error)
{
    for (StagedFile& file : files) {
        if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
            error = systemProblem("cannot replace " + file.target, errno);
            discardStagedFiles(files);
            return false;
        }
        file.temporary.clear();
    }
    return true;
}

void discardStagedFiles(std::vector<StagedFile>& files)
{
    for (StagedFile& file : files) {
        if (!file.temporary.empty())
            ::unlink(file.temporary.c_str());
        file.temporary.clear();
    }
}

bool writeFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files, std::string& error)
{
    std::vector<StagedFile> staged(files.size());
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (!stageFile(files[k].first, files[k].second, staged[k], error)) {
            discardStagedFiles(staged);
            return false;
        }
    }
    return commitStagedFiles(staged, error);
}

bool writeFileAtomically(const std::string& target, const std::string& contents, std::string& error)
{
    return writeFilesAtomically({{target, contents}}, error);
}
