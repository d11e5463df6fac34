#include "io/text_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "io/number_text.h"

namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;
// A number shorter than this never needs a second look at the buffer.
constexpr std::size_t kNumberWindow = 128;
constexpr std::size_t kMaxWord = 256;

// Makes at least want bytes available from begin (fewer only at the end of
// the file): keeps the unread bytes, moves them to the front, grows the
// buffer when they do not fit and reads more.
void fill(TextReader& r, std::size_t want)
{
    if (r.end - r.begin >= want || r.atEnd)
        return;
    std::size_t held = r.end - r.begin;
    if (r.begin > 0) {
        std::memmove(r.buffer.data(), r.buffer.data() + r.begin, held);
        r.bufferOffset += (long long)r.begin;
        r.begin = 0;
        r.end = held;
    }
    if (r.buffer.size() < want + kChunk / 2)
        r.buffer.resize(std::max(want + kChunk / 2, std::max(kChunk, 2 * r.buffer.size())));
    while (r.end < r.buffer.size() && !r.atEnd) {
        errno = 0;
        std::size_t n = std::fread(r.buffer.data() + r.end, 1, r.buffer.size() - r.end, r.file);
        r.end += n;
        if (n == 0) {
            if (std::ferror(r.file))
                r.readError = errno != 0 ? errno : EIO;
            r.atEnd = true;
        }
    }
}

// Skips white space, counting line breaks. False when nothing else is left.
bool skipSpace(TextReader& r)
{
    for (;;) {
        const char* base = r.buffer.data();
        const char* p = base + r.begin;
        const char* e = base + r.end;
        long long lines = 0;
        while (p < e && isTextSpace(*p)) {
            lines += (*p == '\n');
            ++p;
        }
        r.line += lines;
        r.begin = std::size_t(p - base);
        if (p < e)
            return true;
        if (r.atEnd)
            return false;
        fill(r, 1);
    }
}

TokenStatus toTokenStatus(NumberStatus s)
{
    return s == NumberStatus::Ok ? TokenStatus::Ok : s == NumberStatus::OutOfRange ? TokenStatus::OutOfRange : TokenStatus::Invalid;
}

// Runs scan over the text at the position; when the number reaches the end
// of the held bytes it may go on in the file, so the window is widened and
// the number scanned again.
template <typename T, typename Scan>
TokenStatus readNumber(TextReader& r, T& value, Scan scan)
{
    if (!skipSpace(r))
        return TokenStatus::End;
    fill(r, kNumberWindow);
    for (;;) {
        const char* p = r.buffer.data() + r.begin;
        const char* e = r.buffer.data() + r.end;
        NumberStatus status;
        const char* stop = scan(p, e, value, status);
        if (stop < e || r.atEnd) {
            if (status == NumberStatus::Ok)
                r.begin += std::size_t(stop - p);
            return toTokenStatus(status);
        }
        fill(r, 2 * std::size_t(e - p));
    }
}

} // namespace

TextReader::~TextReader()
{
    if (file)
        std::fclose(file);
}

bool openTextReader(TextReader& reader, const std::string& fileName)
{
    reader.file = std::fopen(fileName.c_str(), "rb");
    return reader.file != nullptr;
}

long long textFileSize(const TextReader& reader)
{
    struct stat st;
    if (fstat(fileno(reader.file), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return (long long)st.st_size;
}

TokenStatus readReal(TextReader& reader, double& value)
{
    return readNumber(reader, value, scanReal);
}

TokenStatus readInteger(TextReader& reader, int& value)
{
    return readNumber(reader, value, scanInteger);
}

TokenStatus readWord(TextReader& reader, std::string_view& word)
{
    if (!skipSpace(reader))
        return TokenStatus::End;
    fill(reader, kMaxWord);
    const char* p = reader.buffer.data() + reader.begin;
    const char* e = p + std::min(reader.end - reader.begin, kMaxWord);
    const char* q = p;
    while (q < e && !isTextSpace(*q))
        ++q;
    word = std::string_view(p, std::size_t(q - p));
    reader.begin += word.size();
    return TokenStatus::Ok;
}

std::string quoteText(std::string_view text, std::size_t shown)
{
    std::string quoted = "\"";
    for (std::size_t n = 0; n < text.size() && n < shown; ++n) {
        unsigned char c = (unsigned char)text[n];
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            quoted += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            quoted += hex;
        }
    }
    if (text.size() > shown)
        quoted += "...";
    return quoted + "\"";
}

std::string describeNextText(TextReader& reader)
{
    if (!skipSpace(reader))
        return "the end of the file";
    const std::size_t shown = 24;
    fill(reader, shown + 1);
    const char* p = reader.buffer.data() + reader.begin;
    std::size_t held = reader.end - reader.begin;
    std::size_t n = 0;
    while (n < held && n <= shown && !isTextSpace(p[n]))
        ++n;
    return quoteText(std::string_view(p, n), shown);
}

std::string readErrorText(const TextReader& reader)
{
    return reader.readError != 0 ? std::string(std::strerror(reader.readError)) : std::string();
}
