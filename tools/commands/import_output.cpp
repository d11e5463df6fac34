#include "commands/import_output.h"

#include "io/atomic_file.h"
#include "io/number_text.h"

bool writeImportedAnimation(const ObjMesh& rest, const std::vector<double>& frames, std::size_t numFrames,
                            const std::string& sequenceOut, const std::string& restOut, std::string& error)
{
    const std::size_t count = rest.positions.size() / 3;
    std::string sequence = std::to_string(numFrames) + " " + std::to_string(count) + "\n";
    sequence.reserve(frames.size() * 20);
    for (std::size_t i = 0; i < numFrames * count * 3; i += 3) {
        appendReal(sequence, frames[i], 0);
        sequence += ' ';
        appendReal(sequence, frames[i + 1], 0);
        sequence += ' ';
        appendReal(sequence, frames[i + 2], 0);
        sequence += '\n';
    }
    std::vector<StagedFile> staged(2);
    if (!stageFile(sequenceOut, sequence, staged[0], error))
        return false;
    if (!stageFile(restOut, formatRestPose(rest, 0), staged[1], error)) {
        staged.resize(1);
        discardStagedFiles(staged);
        return false;
    }
    return commitStagedFiles(staged, error);
}

bool optionValue(int argc, char** argv, int& i, std::string& value, std::string& error)
{
    if (i + 1 >= argc) {
        error = std::string(argv[i]) + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}
