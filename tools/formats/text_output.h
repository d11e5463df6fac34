// Number formatting for the text files the tools write, and all-or-nothing
// file output: a file is built in memory, written beside its target under a
// temporary name and renamed over the target only when every file of the
// batch has been written completely.
#pragma once

#include <string>
#include <vector>

// Appends v to out. digits == 0 gives the shortest text that reads back as
// exactly v; otherwise "%.{digits}g".
void appendReal(std::string& out, double v, int digits);

struct StagedFile {
    std::string target;
    std::string temporary;
};

// Writes contents to a temporary file next to target. On failure returns
// false with error naming the file; nothing is left behind.
bool stageFile(const std::string& target, const std::string& contents, StagedFile& staged, std::string& error);

// Renames every staged file over its target, in order. On failure the
// remaining temporaries are removed and error names the file.
bool commitStagedFiles(std::vector<StagedFile>& files, std::string& error);

// Removes the temporaries of files that will not be committed.
void discardStagedFiles(std::vector<StagedFile>& files);

// stageFile and commitStagedFiles for a single file.
bool writeFileAtomically(const std::string& target, const std::string& contents, std::string& error);
