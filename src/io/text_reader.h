// Buffered reading of a text file as a series of white-space separated
// tokens, keeping the line number of the current position for messages.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct TextReader {
    std::FILE* file = nullptr;
    std::vector<char> buffer;
    std::size_t begin = 0;         // next unread byte of buffer
    std::size_t end = 0;           // end of the bytes held in buffer
    long long bufferOffset = 0;    // file offset of buffer[0]
    bool atEnd = false;            // no bytes beyond end
    int readError = 0;             // errno of a failed read, 0 if none
    long long line = 1;            // line of buffer[begin]

    TextReader() = default;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader();
};

enum class TokenStatus {
    Ok,
    Invalid,    // the text at the position is not the value asked for
    OutOfRange, // a number too large for its type
    End,        // nothing but white space is left
};

// Opens fileName for reading. Returns false (errno set) when it cannot.
bool openTextReader(TextReader& reader, const std::string& fileName);

// Size of the open file in bytes, or -1 when it is not a regular file.
long long textFileSize(const TextReader& reader);

// File offset of the next unread byte.
inline long long textOffset(const TextReader& reader) { return reader.bufferOffset + (long long)reader.begin; }

// Each read skips white space first. A read that is not Ok leaves the
// position at the start of the offending text (see describeNextText).
TokenStatus readReal(TextReader& reader, double& value);
TokenStatus readInteger(TextReader& reader, int& value);

// Next run of non-space characters; at most 256 of a longer run are returned
// (and consumed). The view stays valid until the next read.
TokenStatus readWord(TextReader& reader, std::string_view& word);

// The text at the current position for a message: quoted, at most a few
// dozen characters, control bytes escaped; "the end of the file" when none.
std::string describeNextText(TextReader& reader);

// text in double quotes for a message: at most shown characters (then
// "..."), bytes outside printable ASCII written as \xNN.
std::string quoteText(std::string_view text, std::size_t shown = 24);

// "strerror" of a failed read, or an empty string when all reads succeeded.
std::string readErrorText(const TextReader& reader);
