// Display format, numeric key filter and tolerant number reading.
#include "platform/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ixoral;

TEST(FormatNumber, FixedWithThreeDecimalsAfterSevenSignificantDigits) {
  EXPECT_EQ(FormatNumber(0.5), "0,500");
  EXPECT_EQ(FormatNumber(1.23456789), "1,235");
  EXPECT_EQ(FormatNumber(-12.34567), "-12,346");
  EXPECT_EQ(FormatNumber(12345.678), "12345,680");  // seventh digit decides, then padded
  EXPECT_EQ(FormatNumber(1234567.891), "1234568,000");
  EXPECT_EQ(FormatNumber(0), "0,000");
  EXPECT_EQ(FormatNumber(-0.0001), "0,000");  // no negative zero
  EXPECT_EQ(FormatNumber(0.5, '.'), "0.500");
}

TEST(FormatNumber, HalvesRoundAwayFromZeroOnTheDecimalDigits) {
  EXPECT_EQ(FormatNumber(0.0625), "0,063");
  EXPECT_EQ(FormatNumber(-0.0625), "-0,063");
  EXPECT_EQ(FormatNumber(2.5e-4), "0,000");  // 0.00025 is below the half of the last decimal
  EXPECT_EQ(FormatNumber(9.9996), "10,000");
}

TEST(FormatNumber, ExponentFormBeyondSevenIntegerDigits) {
  EXPECT_EQ(FormatNumber(123456789.0), "1,234568E+008");
  EXPECT_EQ(FormatNumber(9999999.6), "1,000000E+007");  // rounding carries into an eighth digit
  EXPECT_EQ(FormatNumber(-4.2e7), "-4,200000E+007");
}

TEST(FormatNumber, RoundsToSevenDigitsFirstThenToThreeDecimals) {
  EXPECT_EQ(FormatNumber(0.9995f), "1,000");  // 0.99949997… : 0,9995000, then 1,000
  EXPECT_EQ(FormatNumber(-0.9995f), "-1,000");
  EXPECT_EQ(FormatNumber(static_cast<float>(12345.678)), "12345,680");
  EXPECT_EQ(FormatNumber(0.0014999999), "0,002");  // 0,001500000 then 0,002
  EXPECT_EQ(FormatNumber(0.00149999), "0,001");    // the seven digits keep it below the half
  EXPECT_EQ(FormatNumber(2.0004999999, '.'), "2.001");
}

TEST(FormatNumber, NeverWritesSomethingAReaderRefuses) {
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN()), "0,000");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "3,402823E+038");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity(), '.'), "-3.402823E+038");
  const auto back = ParseNumber(FormatNumber(std::numeric_limits<float>::infinity()));
  ASSERT_TRUE(back);
  EXPECT_TRUE(std::isfinite(static_cast<float>(*back)));
}

TEST(IsNumberEntry, EmptyAndLoneMinusAreNotNumbers) {
  EXPECT_FALSE(IsNumberEntry(""));
  EXPECT_FALSE(IsNumberEntry("-"));
  EXPECT_TRUE(IsNumberEntry("-0"));
  EXPECT_TRUE(IsNumberEntry(","));
}

namespace {
TFieldEdit Field(const std::string& text, int start, int len = 0) { return {text, start, len}; }
}  // namespace

TEST(NumericKeyFilter, DigitsPointAndComma) {
  auto f = Field("12", 2);
  EXPECT_EQ(NumericKeyFilter(f, '.'), ',');
  EXPECT_EQ(f.Text, "12,");
  EXPECT_EQ(NumericKeyFilter(f, '5'), '5');
  EXPECT_EQ(f.Text, "12,5");
  EXPECT_EQ(NumericKeyFilter(f, ','), 0);  // a second separator is refused
  EXPECT_EQ(NumericKeyFilter(f, 'a'), 0);
  EXPECT_EQ(f.Text, "12,5");
}

TEST(NumericKeyFilter, MinusOnlyAtTheStartAndOnce) {
  auto f = Field("12", 1);
  EXPECT_EQ(NumericKeyFilter(f, '-'), 0);
  f = Field("12", 0);
  EXPECT_EQ(NumericKeyFilter(f, '-'), '-');
  EXPECT_EQ(f.Text, "-12");
  f.SelStart = 0;
  EXPECT_EQ(NumericKeyFilter(f, '-'), 0);
  EXPECT_EQ(NumericKeyFilter(f, '7'), 0);  // nothing in front of the leading minus
  EXPECT_EQ(f.Text, "-12");
}

TEST(NumericKeyFilter, WholeSelectionIsReplaced) {
  auto f = Field("-3,25", 0, 5);
  EXPECT_EQ(NumericKeyFilter(f, '-'), '-');  // the field was emptied first, so '-' may start it
  EXPECT_EQ(f.Text, "-");
  f = Field("42", 0, 2);
  EXPECT_EQ(NumericKeyFilter(f, 'x'), 0);
  EXPECT_EQ(f.Text, "");  // emptied even when the key is refused
}

TEST(NumericKeyFilter, ForeignTextIsResetToZero) {
  auto f = Field("ab", 2);
  EXPECT_EQ(NumericKeyFilter(f, '5'), '5');
  EXPECT_EQ(f.Text, "05");
  f = Field("1/2", 3);
  NumericKeyFilter(f, kBackspace);
  EXPECT_EQ(f.Text, "");  // "1/2" became "0", then the backspace removed it
}

TEST(NumericKeyFilter, BackspaceAndOutOfRangeSelection) {
  auto f = Field("123", 2);
  EXPECT_EQ(NumericKeyFilter(f, kBackspace), kBackspace);
  EXPECT_EQ(f.Text, "13");
  EXPECT_EQ(f.SelStart, 1);
  f = Field("9", 50, 7);  // a caret past the end is brought back, never read out of range
  EXPECT_EQ(NumericKeyFilter(f, '1'), '1');
  EXPECT_EQ(f.Text, "91");
}

TEST(ParseNumber, AcceptsCommaOrPoint) {
  EXPECT_EQ(ParseNumber("1,5"), 1.5);
  EXPECT_EQ(ParseNumber("1.5"), 1.5);
  EXPECT_EQ(ParseNumber(" -2 "), -2.0);
  EXPECT_EQ(ParseNumber("+3,25e2"), 325.0);
  EXPECT_EQ(ParseNumber(",5"), 0.5);
}

TEST(ParseNumber, RefusesWhatIsNotANumber) {
  for (const char* bad : {"", "-", ",", "abc", "1,2,3", "--1", "1e", "1 2", "0x10", "nan", "inf", "1e999"})
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
  EXPECT_FALSE(ParseNumber(std::string(1000, '1')).has_value());
}
