#include "io/number_text.h"

#include <charconv>
#include <system_error>

namespace {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal exponent of the leading non-zero digit of a real already known to
// be valid and non-zero; saturates far beyond the range of a double. Only its
// sign is used: it tells an overflow from an underflow.
long long leadingExponent(const char* p, const char* end)
{
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    while (p < end && *p == '0')
        ++p;
    long long position = 0; // exponent of the leading digit before the written exponent
    if (p < end && isDigit(*p)) {
        while (p < end && isDigit(*p)) {
            if (position < 1000000)
                ++position;
            ++p;
        }
        --position;
        if (p < end && *p == '.')
            ++p;
        while (p < end && isDigit(*p))
            ++p;
    } else {
        if (p < end && *p == '.')
            ++p;
        position = -1;
        while (p < end && *p == '0') {
            if (position > -1000000)
                --position;
            ++p;
        }
        while (p < end && isDigit(*p))
            ++p;
    }
    long long exponent = 0;
    bool negative = false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        while (p < end && isDigit(*p)) {
            if (exponent < 1000000)
                exponent = exponent * 10 + (*p - '0');
            ++p;
        }
    }
    return position + (negative ? -exponent : exponent);
}

} // namespace

const char* scanReal(const char* p, const char* end, double& value, NumberStatus& status)
{
    const char* start = p;
    const char* q = p;
    if (q < end && (*q == '+' || *q == '-'))
        ++q;
    bool mantissa = false;
    bool point = false;
    bool exponent = false;
    while (q < end) {
        char c = *q;
        if (isDigit(c)) {
            mantissa = true;
        } else if (c == '.' && !point && !exponent) {
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
            exponent = true;
            if (q + 1 < end && (q[1] == '+' || q[1] == '-'))
                ++q;
        } else {
            break;
        }
        ++q;
    }
    // from_chars takes no leading '+'; after it the text must not start with
    // a second sign, which the grammar above never lets through.
    const char* digits = (start < q && *start == '+') ? start + 1 : start;
    value = 0.0;
    if (!mantissa) {
        status = NumberStatus::Invalid;
        return q;
    }
    double parsed = 0.0;
    std::from_chars_result r = std::from_chars(digits, q, parsed, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range && r.ptr == q) {
        if (leadingExponent(start, q) < 0) {
            value = (*start == '-') ? -0.0 : 0.0;
            status = NumberStatus::Ok;
        } else {
            status = NumberStatus::OutOfRange;
        }
        return q;
    }
    // "1e", "1e+": the exponent has no digit, so the text is not a number.
    if (r.ec != std::errc() || r.ptr != q) {
        status = NumberStatus::Invalid;
        return q;
    }
    value = parsed;
    status = NumberStatus::Ok;
    return q;
}

const char* scanInteger(const char* p, const char* end, int& value, NumberStatus& status)
{
    const char* q = p;
    if (q < end && (*q == '+' || *q == '-'))
        ++q;
    const char* firstDigit = q;
    while (q < end && isDigit(*q))
        ++q;
    value = 0;
    if (q == firstDigit) {
        status = NumberStatus::Invalid;
        return q;
    }
    const char* digits = (*p == '+') ? p + 1 : p;
    int parsed = 0;
    std::from_chars_result r = std::from_chars(digits, q, parsed, 10);
    if (r.ec == std::errc::result_out_of_range) {
        status = NumberStatus::OutOfRange;
        return q;
    }
    value = parsed;
    status = (r.ec == std::errc() && r.ptr == q) ? NumberStatus::Ok : NumberStatus::Invalid;
    return q;
}

char* formatReal(char* out, double value, int digits)
{
    // to_chars with a precision behaves as printf's %g, which is what the
    // stream uses for its default notation; 17 digits tell every double
    // apart, and more would not fit kMaxNumberText.
    if (digits <= 0)
        return std::to_chars(out, out + kMaxNumberText, value).ptr;
    return std::to_chars(out, out + kMaxNumberText, value, std::chars_format::general, digits < 17 ? digits : 17).ptr;
}

void appendReal(std::string& out, double value, int digits)
{
    char text[kMaxNumberText];
    out.append(text, formatReal(text, value, digits));
}

char* formatInteger(char* out, long long value)
{
    return std::to_chars(out, out + kMaxNumberText, value).ptr;
}
