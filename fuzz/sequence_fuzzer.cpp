// Fuzzes the sequence reader. Besides crashes, leaks and undefined
// behaviour, every input is checked against formatted stream extraction,
// which defines the number grammar: the reader succeeds exactly when the
// stream reads both counts (at least 1 each) and every coordinate, and then
// holds bit for bit the values the stream read.
#include <cstring>
#include <locale>
#include <sstream>

#include "fuzz_input_file.h"
#include "io/sequence_file.h"

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& fileName = fuzzInputFile(data, size);
    PointTable sequence;
    std::string error;
    const bool ok = readSequence(fileName, sequence, error);

    FUZZ_CHECK(ok == error.empty(), error.c_str());
    if (!ok) {
        FUZZ_CHECK(sequence.rows == 0 && sequence.columns == 0 && sequence.values.empty(), error.c_str());
        FUZZ_CHECK(error.rfind(fileName + ": ", 0) == 0, error.c_str());
        FUZZ_CHECK(error.find('\n') == std::string::npos, error.c_str());
    } else {
        FUZZ_CHECK(sequence.rows >= 1 && sequence.columns >= 1, "empty table accepted");
        FUZZ_CHECK(sequence.values.size() == std::size_t(sequence.rows) * std::size_t(sequence.columns) * 3,
                   "table shape differs from its counts");
    }

    // The reader lets the last coordinate end the file; the stream needs one
    // more character to know that the number is complete.
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size) + "\n");
    in.imbue(std::locale::classic());
    int frames = 0, vertices = 0;
    in >> frames >> vertices;
    bool streamOk = !in.fail() && frames >= 1 && vertices >= 1;
    if (streamOk) {
        const std::uint64_t count = std::uint64_t(frames) * std::uint64_t(vertices) * 3;
        for (std::uint64_t i = 0; i < count && streamOk; ++i) {
            double x;
            in >> x;
            streamOk = !in.fail();
            if (streamOk && ok)
                FUZZ_CHECK(sameBits(x, sequence.values[i]), "a coordinate differs from stream extraction");
        }
    }
    FUZZ_CHECK(ok == streamOk, ok ? "accepted what stream extraction refuses" : error.c_str());
    if (ok)
        FUZZ_CHECK(sequence.rows == frames && sequence.columns == vertices, "counts differ from stream extraction");
    return 0;
}
