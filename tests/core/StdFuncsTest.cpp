#include "Engine/StdFuncs.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "Engine/Assert.h"
#include "tests/support/TempDir.h"

namespace {

// Formats into a roomy buffer and returns the text as 8-bit characters (units above 0xFF show
// as '?', which no case here expects).
std::string F(const char16_t* format, ...) {
  char16_t buffer[1024];
  va_list args;
  va_start(args, format);
  int n = WVsprintf(buffer, 1024, format, args);
  va_end(args);
  std::string out;
  for (int i = 0; i < n; ++i) out += buffer[i] < 0x100 ? static_cast<char>(buffer[i]) : '?';
  EXPECT_EQ(buffer[n], 0) << "terminator";
  EXPECT_EQ(static_cast<size_t>(n), WStrLen(buffer));
  return out;
}

std::u16string U(const char16_t* text) { return std::u16string(text, WStrLen(text)); }

struct Shortest {
  std::string digits;
  int point = 0;
  int negative = 0;
};

Shortest Convert(double v) {
  char digits[kShortestDigitsSize];
  Shortest s;
  int n = DoubleToShortest(v, &s.point, &s.negative, digits);
  s.digits.assign(digits, n);
  EXPECT_EQ(digits[n], 0);
  return s;
}

}  // namespace

TEST(StdFuncsText, LengthCopySearchAndWidening) {
  EXPECT_EQ(WStrLen(u"hello"), 5u);
  EXPECT_EQ(WStrLen(u""), 0u);
  EXPECT_EQ(WStrLen(nullptr), 0u);

  char16_t dest[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
  EXPECT_EQ(WStrCpy(dest, u"abc"), dest);
  EXPECT_EQ(U(dest), u"abc");
  EXPECT_EQ(dest[4], u'x');  // nothing past the terminator
  WStrCpy(dest, nullptr);
  EXPECT_EQ(U(dest), u"abc");

  // Exactly n units: no terminator added, and a terminator inside is copied like any unit.
  char16_t fill[6] = {u'-', u'-', u'-', u'-', u'-', 0};
  WStrNCpy(fill, u"ab\0cd", 2);
  EXPECT_EQ(U(fill), u"ab---");
  WStrNCpy(fill, u"x\0y", 3);
  EXPECT_EQ(fill[0], u'x');
  EXPECT_EQ(fill[1], 0);
  EXPECT_EQ(fill[2], u'y');

  const char16_t* text = u"banana";
  EXPECT_EQ(WStrChr(text, u'n'), text + 2);
  EXPECT_EQ(WStrChr(text, u'z'), nullptr);
  EXPECT_EQ(WStrChr(text, 0), nullptr);

  // Every byte becomes the unit of the same value, bytes above 0x7F included.
  char16_t wide[8];
  for (char16_t& c : wide) c = u'#';
  WidenN(wide, "A\xE9\xFF", 3);
  EXPECT_EQ(wide[0], 0x41);
  EXPECT_EQ(wide[1], 0xE9);
  EXPECT_EQ(wide[2], 0xFF);
  EXPECT_EQ(wide[3], u'#');
  EXPECT_EQ(Widen(wide, "Hi\x80"), wide);
  EXPECT_EQ(wide[2], 0x80);
  EXPECT_EQ(wide[3], 0);

  // Only A..Z and a..z change, up to their last letters; accented letters stay.
  for (char16_t c : {u'@', u'A', u'Q', u'Z', u'[', u'`', u'a', u'q', u'z', u'{', char16_t(0xC0),
                     char16_t(0xE0)}) {
    const bool upper = c >= u'A' && c <= u'Z', lower = c >= u'a' && c <= u'z';
    EXPECT_EQ(WCharToLower(c), upper ? c + 32 : c) << int(c);
    EXPECT_EQ(WCharToUpper(c), lower ? c - 32 : c) << int(c);
  }
}

TEST(StdFuncsFormat, IntegerFieldFilling) {
  EXPECT_EQ(F(u"%5d", 42), "   42");
  EXPECT_EQ(F(u"%-5d|", 42), "42   |");
  EXPECT_EQ(F(u"%05d", -42), "-0042");
  EXPECT_EQ(F(u"%+d % d %d", 5, 5, -5), "+5  5 -5");
  EXPECT_EQ(F(u"%.3d", 7), "007");
  EXPECT_EQ(F(u"%08.3d", 7), "     007");  // a precision cancels the zero flag
  EXPECT_EQ(F(u"[%.0d]", 0), "[]");
  EXPECT_EQ(F(u"%d", INT_MIN), "-2147483648");
  EXPECT_EQ(F(u"%u", -1), "4294967295");
  EXPECT_EQ(F(u"%i", 123), "123");
  EXPECT_EQ(F(u"%*d|", -4, 9), "9   |");  // a negative * width left-justifies
  EXPECT_EQ(F(u"%*d", 4, 9), "   9");
  EXPECT_EQ(F(u"%.*d", -1, 9), "9");  // a negative * precision is none
  EXPECT_EQ(F(u"%.*d", 4, 9), "0009");
  EXPECT_EQ(F(u"%-05d|", 3), "3    |");
}

TEST(StdFuncsFormat, HexOctalPointerAndSizes) {
  EXPECT_EQ(F(u"%x", 255), "ff");
  EXPECT_EQ(F(u"%#X", 255), "0XFF");
  EXPECT_EQ(F(u"%#x", 255), "0xff");
  EXPECT_EQ(F(u"%#06x", 255), "0x00ff");
  EXPECT_EQ(F(u"%X", 0xABCDEF), "ABCDEF");
  EXPECT_EQ(F(u"%#o", 8), "010");
  EXPECT_EQ(F(u"%o", 8), "10");
  EXPECT_EQ(F(u"%#o", 0), "0");
  EXPECT_EQ(F(u"%#.3o", 8), "010");  // digits already begin with 0

  // %p: capitals at native width.
  std::string pointer = F(u"%p", reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(pointer, std::string(2 * sizeof(void*) - 4, '0') + "1234");
  EXPECT_EQ(F(u"%p", reinterpret_cast<void*>(0xABCDEF)).size(), 2 * sizeof(void*));

  EXPECT_EQ(F(u"%hd", 65535), "-1");
  EXPECT_EQ(F(u"%hu", 65535), "65535");
  EXPECT_EQ(F(u"%hu", 65536), "0");
  EXPECT_EQ(F(u"%hx", 0x12345), "2345");
  EXPECT_EQ(F(u"%I64d", int64_t{1} << 40), "1099511627776");
  EXPECT_EQ(F(u"%I64u", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(F(u"%I64d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(F(u"%I64X", uint64_t{0xFEDCBA9876543210}), "FEDCBA9876543210");
  EXPECT_EQ(F(u"%lld %ld", -5LL, 7L), "-5 7");
  // An 'I' that is not I64 is plain text and takes no argument.
  EXPECT_EQ(F(u"%Id %d", 3), "Id 3");
}

TEST(StdFuncsFormat, CharactersTextsAndPercent) {
  EXPECT_EQ(F(u"%.3s", u"abcdef"), "abc");
  EXPECT_EQ(F(u"%s", static_cast<const char16_t*>(nullptr)), "Null String");
  EXPECT_EQ(F(u"%.4s", static_cast<const char16_t*>(nullptr)), "Null");
  EXPECT_EQ(F(u"%-6s|%6s", u"ab", u"cd"), "ab    |    cd");
  EXPECT_EQ(F(u"%ws %ts %wc", u"wide", u"t", u'Z'), "wide t Z");
  EXPECT_EQ(F(u"%c%c", u'o', u'k'), "ok");
  EXPECT_EQ(F(u"%3c|", u'x'), "  x|");

  // %c keeps the low 16 bits of its int.
  char16_t buffer[8];
  WSprintf(buffer, 8, u"%c", 0x1263A);
  EXPECT_EQ(buffer[0], 0x263A);
  EXPECT_EQ(buffer[1], 0);

  // A %.Ns text need not be terminated within N units.
  const char16_t unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(F(u"%.3s", unterminated), "abc");

  EXPECT_EQ(F(u"100%%"), "100%");
  EXPECT_EQ(F(u"%q!"), "q!");  // an unknown letter is copied and takes no argument
  EXPECT_EQ(F(u"end%"), "end");
  EXPECT_EQ(F(u"%wd", 5), "d");  // after w only c and s convert
}

TEST(StdFuncsFormat, CountStoredByPercentN) {
  int count = -1;
  EXPECT_EQ(F(u"abc%nde", &count), "abcde");
  EXPECT_EQ(count, 3);
  short shortCount = -1;
  EXPECT_EQ(F(u"%5d%hn", 1, &shortCount), "    1");
  EXPECT_EQ(shortCount, 5);
  long long longCount = -1;
  EXPECT_EQ(F(u"%I64n", &longCount), "");
  EXPECT_EQ(longCount, 0);

  // After the output was cut, %n still counts the whole text so far, as the result does.
  char16_t small[4];
  count = -1;
  EXPECT_EQ(WSprintf(small, 4, u"abcdef%n", &count), 6);
  EXPECT_EQ(count, 6);
}

TEST(StdFuncsFormat, OutputIsCutAtCapacity) {
  char16_t buffer[16];
  for (char16_t& c : buffer) c = u'#';
  // The result is the whole length, however much fitted.
  EXPECT_EQ(WSprintf(buffer, 5, u"abcdefgh"), 8);
  EXPECT_EQ(U(buffer), u"abcd");
  EXPECT_EQ(buffer[5], u'#');  // nothing written past the capacity

  EXPECT_EQ(WSprintf(buffer, 6, u"%10d", 5), 10);
  EXPECT_EQ(U(buffer), u"     ");
  EXPECT_EQ(WSprintf(buffer, 4, u"%s", u"wxyz"), 4);
  EXPECT_EQ(U(buffer), u"wxy");
  EXPECT_EQ(WSprintf(buffer, 1, u"abc"), 3);
  EXPECT_EQ(buffer[0], 0);

  // Capacity 0 only measures: nothing is written, and the buffer may be null.
  buffer[0] = u'#';
  EXPECT_EQ(WSprintf(buffer, 0, u"a%5db", 7), 7);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(WSprintf(nullptr, 0, u"%-4s|", u"ab"), 5);

  // A huge width is cut too, without running for ever.
  EXPECT_GT(WSprintf(buffer, 16, u"%2000000000d", 1), 15);
  EXPECT_GT(WSprintf(buffer, 16, u"%.2000000000f", 1.0), 15);
  EXPECT_EQ(U(buffer), u"1.0000000000000");
}

class StdFuncsAssertTest : public TempDirTest {
 protected:
  static void Hook(const char* expression, const char*, int) { s_last = expression; }
  void SetUp() override { m_previous = SetAssertHook(&Hook); }
  void TearDown() override { SetAssertHook(m_previous); }
  static inline std::string s_last;
  AssertHook m_previous = nullptr;
};

TEST_F(StdFuncsAssertTest, NullArgumentsAreReported) {
  s_last.clear();
  EXPECT_EQ(WSprintf(nullptr, 10, u"abc"), 0);
  EXPECT_EQ(s_last, "pBuffer is NULL in WVsprintf");

  s_last.clear();
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(WSprintf(buffer, 4, nullptr), 0);
  EXPECT_EQ(s_last, "FormatString is NULL in WVsprintf");
  EXPECT_EQ(buffer[0], 0);

  s_last.clear();
  F(u"%w0");
  EXPECT_EQ(s_last, "ch!='0'");
}

TEST(StdFuncsFormat, FloatingPointForms) {
  EXPECT_EQ(F(u"%f", 1.5), "1.500000");
  EXPECT_EQ(F(u"%.2f", 3.14159), "3.14");
  EXPECT_EQ(F(u"%f", 0.1), "0.100000");
  EXPECT_EQ(F(u"%f", -2.5), "-2.500000");
  EXPECT_EQ(F(u"%010.3f", -1.5), "-00001.500");
  EXPECT_EQ(F(u"%+.1f|%-8.2f|", 2.0, 0.25), "+2.0|0.25    |");
  EXPECT_EQ(F(u"%.0f %#.0f", 7.0, 7.0), "7 7.");
  EXPECT_EQ(F(u"%f", 16777216.0), "16777216.000000");
  EXPECT_EQ(F(u"%f %e %g", 0.0, 0.0, 0.0), "0.000000 0.000000e+00 0");
  EXPECT_EQ(F(u"%f", -0.0), "-0.000000");
  EXPECT_EQ(F(u"%.3f", 0.0004), "0.000");
  EXPECT_EQ(F(u"%.3f", 0.0006), "0.001");

  EXPECT_EQ(F(u"%e", 12345.0), "1.234500e+04");
  EXPECT_EQ(F(u"%E", 0.00012), "1.200000E-04");
  EXPECT_EQ(F(u"%.3e", 9.9996), "1.000e+01");  // rounding carries into the exponent
  EXPECT_EQ(F(u"%.0e", 3.0), "3e+00");
  EXPECT_EQ(F(u"%e", 1e-40), "9.999946e-41");  // a float denormal

  EXPECT_EQ(F(u"%g", 0.0001), "0.0001");
  EXPECT_EQ(F(u"%g", 0.00001), "1e-05");
  EXPECT_EQ(F(u"%g", 100000.0), "100000");
  EXPECT_EQ(F(u"%g", 1000000.0), "1e+06");
  EXPECT_EQ(F(u"%G", 1e-10), "1E-10");
  EXPECT_EQ(F(u"%g", 2.5), "2.5");
  EXPECT_EQ(F(u"%#g", 2.5), "2.50000");
  EXPECT_EQ(F(u"%.3g", 1234.0), "1.23e+03");

  // The value is taken at float precision: 0.1 becomes 0.100000001490116...
  EXPECT_EQ(F(u"%.10f", 0.1), "0.1000000015");
  // Beyond float range the narrowed value is infinite.
  EXPECT_EQ(F(u"%f", 1e300), "Infinity");
  EXPECT_EQ(F(u"%e", -HUGE_VAL), "-Infinity");
  EXPECT_EQ(F(u"%12f|", HUGE_VAL), "    Infinity|");
  EXPECT_EQ(F(u"%012f|", HUGE_VAL), "    Infinity|");
  EXPECT_EQ(F(u"%g", std::numeric_limits<double>::quiet_NaN()), "NaN");
}

// For any float, the e, f and g forms agree with the C library wherever the shortest digits carry
// the digit being rounded: rounding the shortest string and rounding the exact value can only
// differ when the cut falls beyond the shortest digits or exactly on a trailing 5.
TEST(StdFuncsFormat, FloatingPointFormsAgreeWithCLibrary) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<uint32_t> bitsDist;
  int compared = 0;
  for (int i = 0; i < 20000; ++i) {
    uint32_t bits = bitsDist(rng);
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    if (!std::isfinite(f)) continue;
    double v = f;
    Shortest s = Convert(v);
    int count = s.digits == "0" ? 0 : static_cast<int>(s.digits.size());
    for (int precision = 0; precision <= 9; ++precision) {
      struct Case {
        char conversion;
        int keep;  // digits the form keeps
      };
      int gKeep = precision == 0 ? 1 : precision;
      Case cases[] = {{'e', precision + 1}, {'f', s.point + precision}, {'g', gKeep}};
      for (const Case& c : cases) {
        if (c.keep >= count && count != 0) continue;
        if (count != 0 && c.keep >= 0 && c.keep + 1 == count && s.digits[c.keep] == '5') continue;
        if (c.conversion == 'f' && std::fabs(v) > 1e12) continue;
        char cFormat[16];
        std::snprintf(cFormat, sizeof(cFormat), "%%.%d%c", precision, c.conversion);
        char expected[128];
        std::snprintf(expected, sizeof(expected), cFormat, v);
        char16_t wFormat[16];
        Widen(wFormat, cFormat);
        std::string got = F(wFormat, v);
        ASSERT_EQ(got, expected) << cFormat << " of " << v;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 100000);
}

TEST(StdFuncsShortest, KnownValues) {
  struct Known {
    double value;
    const char* digits;
    int point;
  };
  const Known known[] = {
      {0.1, "1", 0},
      {1.5, "15", 1},
      {1e-7, "1", -6},
      {123456789.0, "123456789", 9},
      {0.0, "0", 1},
      {1.0, "1", 1},
      {100.0, "1", 3},
      {0.3, "3", 0},
      {2.0 / 3.0, "6666666666666666", 0},
      {1e23, "1", 24},
      {9007199254740992.0, "9007199254740992", 16},
      {9223372036854775808.0, "9223372036854776", 19},
      {DBL_MAX, "17976931348623157", 309},
      {DBL_MIN, "22250738585072014", -307},
      // Denormals: the smallest, the largest and one in between.
      {4.9406564584124654e-324, "5", -323},
      {2.2250738585072009e-308, "2225073858507201", -307},
      {1e-320, "1", -319},
      {5e-324 * 3, "15", -322},
  };
  for (const Known& k : known) {
    Shortest s = Convert(k.value);
    EXPECT_EQ(s.digits, k.digits) << k.value;
    EXPECT_EQ(s.point, k.point) << k.value;
    EXPECT_EQ(s.negative, 0);
  }

  Shortest negative = Convert(-1.5);
  EXPECT_EQ(negative.digits, "15");
  EXPECT_EQ(negative.negative, 1);
  EXPECT_EQ(Convert(-0.0).negative, 1);

  Shortest inf = Convert(HUGE_VAL);
  EXPECT_EQ(inf.digits, "Infinity");
  EXPECT_EQ(inf.point, 9999);
  EXPECT_EQ(Convert(-HUGE_VAL).negative, 1);
  Shortest nan = Convert(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(nan.digits, "NaN");
  EXPECT_EQ(nan.point, 9999);
}
