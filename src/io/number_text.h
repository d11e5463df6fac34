// Numbers in text: the grammar that formatted stream extraction of int and
// double follows in the classic locale, and the one formatter of reals of
// every file the programs write (the stream's default %g with six
// significant digits, other digit counts, or the shortest exact text). All
// work on memory buffers, with no locale or stream object per number.
#pragma once

#include <cstddef>
#include <string>

enum class NumberStatus {
    Ok,         // value holds the number
    Invalid,    // the characters do not form a number ("", "-", ".", "1e", "1e+", "inf")
    OutOfRange, // the magnitude exceeds the type (1e999 for a double, 2147483648 for an int)
};

// White space of the classic locale: blank, \t, \n, \v, \f, \r.
inline bool isTextSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a real at p (no white space is skipped): optional sign, digits, an
// optional fraction after ".", an optional exponent after "e" or "E" (only
// once a digit was seen). Returns the end of the characters this grammar
// takes, which is exactly what stream extraction consumes: "1.5-2" stops
// before "-2", "0x10" before "x". A magnitude below the smallest subnormal
// reads as zero of the same sign.
const char* scanReal(const char* p, const char* end, double& value, NumberStatus& status);

// Reads an int at p: optional sign and decimal digits; returns the end of them.
const char* scanInteger(const char* p, const char* end, int& value, NumberStatus& status);

// Room that formatReal and formatInteger may need.
constexpr std::size_t kMaxNumberText = 32;

// Writes value at out and returns the end of the text. digits 1 to 17: as
// "%.{digits}g" writes it; the default 6 is the stream's default format
// (0.5, 0.333333, 1e-05, -0, 1.23457e+06). digits 0: the shortest text that
// reads back as exactly value (0.30000000000000004). Larger counts act as 17.
char* formatReal(char* out, double value, int digits = 6);
char* formatInteger(char* out, long long value);

// formatReal appended to out.
void appendReal(std::string& out, double value, int digits);
