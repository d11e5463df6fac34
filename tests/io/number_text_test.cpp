#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <locale>
#include <random>
#include <sstream>

#include "io/number_text.h"

namespace {

// The scanner must agree with formatted stream extraction in the classic
// locale: same success, same value bit for bit, same characters consumed.
template <typename T, typename Scan>
void expectSameAsStream(const std::string& text, Scan scan)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    T expected{};
    in >> expected;
    bool expectedOk = !in.fail();
    in.clear();
    long consumed = in.tellg() < 0 ? long(text.size()) : long(in.tellg());
    T value;
    NumberStatus status;
    const char* stop = scan(text.data(), text.data() + text.size(), value, status);
    ASSERT_EQ(status == NumberStatus::Ok, expectedOk) << "\"" << text << "\"";
    if (expectedOk) {
        EXPECT_EQ(std::memcmp(&value, &expected, sizeof(T)), 0) << "\"" << text << "\"";
        EXPECT_EQ(stop - text.data(), consumed) << "\"" << text << "\"";
    }
}

void expectBoth(const std::string& text)
{
    expectSameAsStream<double>(text, scanReal);
    expectSameAsStream<int>(text, scanInteger);
}

} // namespace

TEST(NumberText, ReadsAsStreamExtractionReads)
{
    for (const char* text :
         {"0", "-0", "+0", "+1.5", ".5", "5.", "-.5", "+.5", ".", "-", "+", "+-5", "", "e5", ".e5", "1e", "1E", "1e+",
          "1e-", "1e+-5", "1E-5", "1.e5", "1e5e3", "1..2", "1.5-2", "0x10", "00012", "inf", "-inf", "nan", "infinity",
          "1,5", "1e-400", "-1e-400", "1e999", "-1e999", "1e-310", "2.4703282292062327e-324", "2.4703282292062328e-324",
          "1.7976931348623158e308", "1.7976931348623159e308", "0e999999999999", "1e-99999999999999999999",
          "1e99999999999999999999", "0.30000000000000004", "123456789012345678901234567890", "9007199254740993",
          "2147483647", "2147483648", "-2147483648", "-2147483649", "1/2/3", "000000000000000000000000042"})
        expectBoth(text);

    std::mt19937 random(7);
    const char alphabet[] = "0123456789.eE+-x5";
    for (int n = 0; n < 20000; ++n) {
        std::string text(1 + random() % 9, ' ');
        for (char& c : text)
            c = alphabet[random() % (sizeof(alphabet) - 1)];
        expectBoth(text);
    }
    // Long mantissas, exponents towards both ends of the range.
    for (int n = 0; n < 2000; ++n) {
        std::string text = random() % 2 ? "-" : "";
        for (int d = 0, digits = 1 + random() % 25; d < digits; ++d)
            text += char('0' + random() % 10);
        expectBoth(text + "." + std::to_string(random()) + "e" + std::to_string(int(random() % 700) - 350));
    }
}

TEST(NumberText, WritesAsTheDefaultStreamFormat)
{
    for (double x : {0.0, -0.0, 0.5, 1.0 / 3.0, 1e-5, 1e-20, 123456.5, 1234565.0, 999999.5, 9.999995e-5, 1e100,
                     5e-324, 1.7976931348623157e308, 100000.0, 1e6, 0.1 + 0.2, std::nan(""), -HUGE_VAL}) {
        std::ostringstream stream;
        stream << x;
        char text[kMaxNumberText];
        EXPECT_EQ(std::string(text, formatReal(text, x)), stream.str());
    }
}
