#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <locale>
#include <random>
#include <sstream>
#include <string>

#include "io/number_text.h"

namespace {

// What formatted stream extraction makes of text: success, value and the
// number of characters it consumed.
template <typename T>
void streamReads(const std::string& text, bool& ok, T& value, long& consumed)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    value = T();
    in >> value;
    ok = !in.fail();
    in.clear();
    consumed = long(in.tellg());
    if (consumed < 0)
        consumed = long(text.size());
}

void expectSameAsStreamReal(const std::string& text)
{
    bool streamOk;
    double streamValue;
    long streamConsumed;
    streamReads(text, streamOk, streamValue, streamConsumed);
    double value;
    NumberStatus status;
    const char* stop = scanReal(text.data(), text.data() + text.size(), value, status);
    ASSERT_EQ(status == NumberStatus::Ok, streamOk) << "\"" << text << "\"";
    if (streamOk) {
        EXPECT_EQ(std::memcmp(&value, &streamValue, sizeof(double)), 0) << "\"" << text << "\"";
        EXPECT_EQ(stop - text.data(), streamConsumed) << "\"" << text << "\"";
    }
}

void expectSameAsStreamInteger(const std::string& text)
{
    bool streamOk;
    int streamValue;
    long streamConsumed;
    streamReads(text, streamOk, streamValue, streamConsumed);
    int value;
    NumberStatus status;
    const char* stop = scanInteger(text.data(), text.data() + text.size(), value, status);
    ASSERT_EQ(status == NumberStatus::Ok, streamOk) << "\"" << text << "\"";
    if (streamOk) {
        EXPECT_EQ(value, streamValue) << "\"" << text << "\"";
        EXPECT_EQ(stop - text.data(), streamConsumed) << "\"" << text << "\"";
    }
}

} // namespace

TEST(NumberText, RealsReadAsStreamExtractionReadsThem)
{
    const char* cases[] = {
        "0", "-0", "+0", "1", "+1.5", "-2.25", ".5", "5.", "-.5", "+.5", ".", "-", "+", "+-5", "--5", "e5", ".e5",
        "1e", "1E", "1e+", "1e-", "1e+-5", "1e5", "1E-5", "1.e5", "1e5e3", "1..2", "1.5-2", "1.5.3", "0x10", "0X1p3",
        "00012", "000.000", "inf", "-inf", "nan", "infinity", "NaN", "1,5", "1e-400", "-1e-400", "1e999", "-1e999",
        "1e-310", "4.9406564584124654e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
        "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", "0e999999999999",
        "1e-99999999999999999999", "1e99999999999999999999", "0.1", "0.30000000000000004", "123456789012345678901234567890",
        "0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001e90",
        "9007199254740993", "-0.0e-5", "3.14159abc", "12e3.4", "7/8/9"};
    for (const char* text : cases)
        expectSameAsStreamReal(text);
}

TEST(NumberText, RandomTextReadsAsStreamExtractionReadsIt)
{
    // Short strings over the characters that matter to the grammar.
    const char alphabet[] = "0123456789.eE+-x5";
    std::mt19937 random(7);
    for (int n = 0; n < 20000; ++n) {
        std::string text(1 + random() % 9, ' ');
        for (char& c : text)
            c = alphabet[random() % (sizeof(alphabet) - 1)];
        expectSameAsStreamReal(text);
        expectSameAsStreamInteger(text);
    }
    // Long mantissas and exponents near both ends of the range.
    for (int n = 0; n < 2000; ++n) {
        std::string text = (random() % 2 ? "-" : "");
        for (int d = 0, digits = 1 + random() % 25; d < digits; ++d)
            text += char('0' + random() % 10);
        text += "." + std::to_string(random()) + "e" + std::to_string(int(random() % 700) - 350);
        expectSameAsStreamReal(text);
    }
}

TEST(NumberText, IntegersReadAsStreamExtractionReadsThem)
{
    const char* cases[] = {"0",          "-0",          "+12",         "-12",         "007",
                           "2147483647", "2147483648",  "-2147483648", "-2147483649", "99999999999999999999",
                           "0x10",       "1.5",         "1e3",         "-",           "+",
                           "",           "1/2/3",       "+-1",         "12abc",       "000000000000000000000000042"};
    for (const char* text : cases)
        expectSameAsStreamInteger(text);
}

TEST(NumberText, RangeFailuresAreReported)
{
    double real;
    int integer;
    NumberStatus status;
    std::string big = "1e999";
    scanReal(big.data(), big.data() + big.size(), real, status);
    EXPECT_EQ(status, NumberStatus::OutOfRange);
    std::string tiny = "-1e-400";
    scanReal(tiny.data(), tiny.data() + tiny.size(), real, status);
    EXPECT_EQ(status, NumberStatus::Ok);
    EXPECT_TRUE(real == 0.0 && std::signbit(real));
    std::string wide = "2147483648";
    scanInteger(wide.data(), wide.data() + wide.size(), integer, status);
    EXPECT_EQ(status, NumberStatus::OutOfRange);
}

TEST(NumberText, RealsAreWrittenAsTheDefaultStreamFormat)
{
    const double values[] = {0.0,      -0.0,     0.5,      1.0 / 3.0, 1e-5,    1e-20,   123456.5, 1234565.0,
                             999999.5, 9.999995e-5, 1e100, -1e-300,  5e-324,  1.7976931348623157e308,
                             0.0001,   100000.0, 1e6,      -2.5,      3.5e-7,  0.1 + 0.2, std::nan(""), -HUGE_VAL};
    for (double x : values) {
        std::ostringstream stream;
        stream << x;
        char text[kMaxNumberText];
        std::string written(text, formatReal(text, x));
        EXPECT_EQ(written, stream.str());
    }
    char text[kMaxNumberText];
    EXPECT_EQ(std::string(text, formatReal(text, 1e-20)), "1e-20");
    EXPECT_EQ(std::string(text, formatReal(text, -0.0)), "-0");
    EXPECT_EQ(std::string(text, formatInteger(text, -2147483648LL)), "-2147483648");
}
