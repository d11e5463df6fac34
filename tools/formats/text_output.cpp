#include "formats/text_output.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unistd.h>

void appendReal(std::string& out, double v, int digits)
{
    char buf[64];
    if (digits == 0) {
        std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, r.ptr);
        return;
    }
    int n = std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    out.append(buf, std::size_t(n));
}

bool stageFile(const std::string& target, const std::string& contents, StagedFile& staged, std::string& error)
{
    // The temporary lives in the target's folder so that the rename stays on
    // one file system; the process id keeps concurrent runs apart.
    staged.target = target;
    staged.temporary = target + ".tmp" + std::to_string(long(getpid()));
    std::FILE* f = std::fopen(staged.temporary.c_str(), "wb");
    if (!f) {
        error = "cannot create " + target + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    int writeErrno = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        writeErrno = errno;
    }
    if (!ok) {
        std::remove(staged.temporary.c_str());
        error = "cannot write " + target + ": " + std::strerror(writeErrno);
        return false;
    }
    return true;
}

bool commitStagedFiles(std::vector<StagedFile>& files, std::string& error)
{
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (std::rename(files[i].temporary.c_str(), files[i].target.c_str()) != 0) {
            error = "cannot write " + files[i].target + ": " + std::strerror(errno);
            std::vector<StagedFile> rest(files.begin() + long(i), files.end());
            discardStagedFiles(rest);
            return false;
        }
    }
    return true;
}

void discardStagedFiles(std::vector<StagedFile>& files)
{
    for (const StagedFile& f : files)
        std::remove(f.temporary.c_str());
}

bool writeFileAtomically(const std::string& target, const std::string& contents, std::string& error)
{
    std::vector<StagedFile> files(1);
    if (!stageFile(target, contents, files[0], error))
        return false;
    return commitStagedFiles(files, error);
}
