// All-or-nothing file output, for every file the programs write: the text
// goes to a fresh file beside its target (a unique name from mkstemps, so
// that nothing another user planted in a shared folder is followed or
// overwritten), is flushed to the disk and only then renamed over the
// target. A batch of files is staged first and renamed once all of them
// were written completely. The target keeps the permissions it had; a new
// one gets those that creating it directly would give (0666 less the umask).
#pragma once

#include <string>
#include <utility>
#include <vector>

struct StagedFile {
    std::string target;
    std::string temporary; // hidden name in target's folder; "" once renamed or removed
};

// Writes contents to a temporary file beside target. On failure returns
// false with error naming target and the reason ("cannot create a temporary
// file for T: ...", "cannot write T: ..."); nothing is left behind.
bool stageFile(const std::string& target, const std::string& contents, StagedFile& staged, std::string& error);

// Renames every staged file over its target, in order. On failure the
// remaining temporaries are removed and error says "cannot replace T: ...".
bool commitStagedFiles(std::vector<StagedFile>& files, std::string& error);

// Removes the temporaries of files that will not be committed.
void discardStagedFiles(std::vector<StagedFile>& files);

// Every (target, contents) pair written, or none: all are staged first, then
// renamed in order. On failure error is that of stageFile or
// commitStagedFiles and no temporary is left behind.
bool writeFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files, std::string& error);

// writeFilesAtomically for a single file.
bool writeFileAtomically(const std::string& target, const std::string& contents, std::string& error);
