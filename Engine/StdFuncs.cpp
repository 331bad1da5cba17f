#include "Engine/StdFuncs.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "Engine/Assert.h"

// ---------------------------------------------------------------------------------------------
// Text functions

size_t WStrLen(const char16_t* text) {
  if (!text) return 0;
  const char16_t* p = text;
  while (*p) ++p;
  return static_cast<size_t>(p - text);
}

char16_t* WStrCpy(char16_t* dest, const char16_t* src) {
  if (!src || !dest) return dest;
  char16_t* d = dest;
  while ((*d++ = *src++) != 0) {
  }
  return dest;
}

char16_t* WStrNCpy(char16_t* dest, const char16_t* src, size_t count) {
  // memmove: callers shift text inside their own buffers with it.
  if (dest && src && count) std::memmove(dest, src, count * sizeof(char16_t));
  return dest;
}

const char16_t* WStrChr(const char16_t* text, char16_t c) {
  if (!text || c == 0) return nullptr;
  for (; *text; ++text)
    if (*text == c) return text;
  return nullptr;
}

char16_t* WStrChr(char16_t* text, char16_t c) {
  return const_cast<char16_t*>(WStrChr(static_cast<const char16_t*>(text), c));
}

void WidenN(char16_t* dest, const char* src, size_t count) {
  if (!dest || !src) return;
  for (size_t i = 0; i < count; ++i) dest[i] = static_cast<unsigned char>(src[i]);
}

char16_t* Widen(char16_t* dest, const char* src) {
  if (!dest || !src) return dest;
  size_t i = 0;
  do {
    dest[i] = static_cast<unsigned char>(src[i]);
  } while (src[i++] != 0);
  return dest;
}

char16_t WCharToLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

char16_t WCharToUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

// ---------------------------------------------------------------------------------------------
// Shortest decimal conversion

namespace {

int CopyText(char* out, const char* text) {
  int n = 0;
  while ((out[n] = text[n]) != 0) ++n;
  return n;
}

}  // namespace

int DoubleToShortest(double value, int* decimalPoint, int* negative, char* digits) {
  if (negative) *negative = std::signbit(value) ? 1 : 0;
  int point = 9999;
  int n = 0;
  if (std::isnan(value)) {
    n = CopyText(digits, "NaN");
  } else if (std::isinf(value)) {
    n = CopyText(digits, "Infinity");
  } else {
    // The standard library's shortest form, d.ddde±x, is exactly the digits and exponent wanted.
    char text[32];
    const char* end =
        std::to_chars(text, text + sizeof(text), std::fabs(value), std::chars_format::scientific)
            .ptr;
    const char* p = text;
    for (; p < end && *p != 'e'; ++p)
      if (*p != '.') digits[n++] = *p;
    digits[n] = 0;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    point = exponent + 1;
  }
  if (decimalPoint) *decimalPoint = point;
  return n;
}

// ---------------------------------------------------------------------------------------------
// Wide printf

namespace {

// The text goes to the buffer as far as it has room (the last unit kept for the terminator);
// `length` counts all of it, so that one pass both writes and measures.
struct Output {
  char16_t* buffer;
  size_t capacity;
  size_t written;
  uint64_t length;

  bool Room() const { return written + 1 < capacity; }
  void Put(char16_t c) {
    ++length;
    if (Room()) buffer[written++] = c;
  }
  void Repeat(char16_t c, int64_t count) {
    if (count <= 0) return;
    length += static_cast<uint64_t>(count);
    for (; count > 0 && Room(); --count) buffer[written++] = c;
  }
  void Put(const char16_t* text, size_t count) {
    length += count;
    for (size_t i = 0; i < count && Room(); ++i) buffer[written++] = text[i];
  }
  void Put(const char* text, size_t count) {
    length += count;
    for (size_t i = 0; i < count && Room(); ++i)
      buffer[written++] = static_cast<unsigned char>(text[i]);
  }
};

enum SizeKind { kSizeInt, kSizeShort, kSizeLong, kSizeLongLong, kSizeI64 };

struct Spec {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  bool zero = false;
  int64_t width = 0;
  int64_t precision = -1;  // -1: none
  SizeKind size = kSizeInt;
};

// Huge widths and precisions are capped: the output is cut at the buffer anyway.
constexpr int64_t kMaxField = 1 << 24;

// The field filling shared by every conversion: spaces, prefix, zeros up to the width, the
// converted text (itself possibly behind zeros of the precision), then spaces for '-'.
template <class Unit>
void EmitField(Output& out, const Spec& spec, const char* prefix, size_t prefixLength,
               int64_t precisionZeros, const Unit* text, size_t textLength, bool zeroFill) {
  int64_t n = static_cast<int64_t>(prefixLength + textLength) + precisionZeros;
  int64_t pad = spec.width > n ? spec.width - n : 0;
  bool zeros = zeroFill && spec.zero && !spec.left;
  if (!spec.left && !zeros) out.Repeat(u' ', pad);
  out.Put(prefix, prefixLength);
  if (zeros) out.Repeat(u'0', pad);
  out.Repeat(u'0', precisionZeros);
  out.Put(text, textLength);
  if (spec.left) out.Repeat(u' ', pad);
}

void FormatInteger(Output& out, Spec spec, uint64_t magnitude, bool negative, bool isSigned,
                   unsigned radix, bool capitals, bool hexPrefix) {
  char prefix[2];
  size_t prefixLength = 0;
  if (isSigned) {
    if (negative)
      prefix[prefixLength++] = '-';
    else if (spec.plus)
      prefix[prefixLength++] = '+';
    else if (spec.space)
      prefix[prefixLength++] = ' ';
  }
  if (hexPrefix && spec.alternate) {
    prefix[prefixLength++] = '0';
    prefix[prefixLength++] = capitals ? 'X' : 'x';
  }
  if (spec.precision < 0)
    spec.precision = 1;
  else
    spec.zero = false;

  char digits[24];  // 64 bits in octal
  char* end = digits + sizeof(digits);
  char* p = end;
  const char* set = capitals ? "0123456789ABCDEF" : "0123456789abcdef";
  while (magnitude) {
    *--p = set[magnitude % radix];
    magnitude /= radix;
  }
  size_t count = static_cast<size_t>(end - p);
  int64_t zeros = spec.precision > static_cast<int64_t>(count) ? spec.precision - count : 0;
  if (radix == 8 && spec.alternate && zeros == 0 && (count == 0 || *p != '0')) zeros = 1;
  EmitField(out, spec, prefix, prefixLength, zeros, p, count, true);
}

// Rounds the digit string to `keep` digits (half up), carrying into the point position.
// A value that rounds away entirely leaves no digits.
void RoundDigits(char* digits, int& count, int& point, int keep) {
  if (keep >= count) return;
  if (keep < 0) {
    count = 0;
    return;
  }
  bool up = digits[keep] >= '5';
  count = keep;
  if (!up) return;
  int i = keep - 1;
  while (i >= 0 && digits[i] == '9') --i;
  if (i < 0) {
    digits[0] = '1';
    count = 1;
    ++point;
  } else {
    ++digits[i];
    count = i + 1;
  }
}

char DigitAt(const char* digits, int count, int index) {
  return (index >= 0 && index < count) ? digits[index] : '0';
}

// Writes the fixed form of 0.DIGITS x 10^point with `decimals` places into text.
size_t LayoutFixed(char* text, const char* digits, int count, int point, int decimals,
                   bool alternate) {
  size_t n = 0;
  if (count == 0 || point <= 0) {
    text[n++] = '0';
  } else {
    for (int i = 0; i < point; ++i) text[n++] = DigitAt(digits, count, i);
  }
  if (decimals > 0 || alternate) text[n++] = '.';
  for (int i = 0; i < decimals; ++i) text[n++] = count ? DigitAt(digits, count, point + i) : '0';
  return n;
}

size_t LayoutExponent(char* text, const char* digits, int count, int point, int decimals,
                      bool alternate, bool capitals) {
  size_t n = 0;
  text[n++] = DigitAt(digits, count, 0);
  if (decimals > 0 || alternate) text[n++] = '.';
  for (int i = 1; i <= decimals; ++i) text[n++] = DigitAt(digits, count, i);
  int exponent = count ? point - 1 : 0;
  text[n++] = capitals ? 'E' : 'e';
  text[n++] = exponent < 0 ? '-' : '+';
  if (exponent < 0) exponent = -exponent;
  if (exponent >= 100) text[n++] = static_cast<char>('0' + exponent / 100);
  text[n++] = static_cast<char>('0' + exponent / 10 % 10);
  text[n++] = static_cast<char>('0' + exponent % 10);
  return n;
}

// Floating-point precision is capped so that the text always fits the local buffer: a float has
// at most 39 integer digits, and nothing past the 9th significant digit carries information.
constexpr int kMaxFloatPrecision = 300;

void FormatFloat(Output& out, const Spec& spec, char16_t conversion, double argument) {
  // The engine prints floats: the value is taken at single precision.
  double value = static_cast<double>(static_cast<float>(argument));
  char digits[kShortestDigitsSize];
  int point = 0, negative = 0;
  int count = DoubleToShortest(value, &point, &negative, digits);

  char prefix[1];
  size_t prefixLength = 0;
  if (negative)
    prefix[prefixLength++] = '-';
  else if (spec.plus)
    prefix[prefixLength++] = '+';
  else if (spec.space)
    prefix[prefixLength++] = ' ';

  if (point == 9999) {
    EmitField(out, spec, prefix, prefixLength, 0, digits, static_cast<size_t>(count), false);
    return;
  }
  if (point == 1 && count == 1 && digits[0] == '0') count = 0;  // zero: no significant digits

  int precision = spec.precision < 0 ? 6
                  : spec.precision > kMaxFloatPrecision
                      ? kMaxFloatPrecision
                      : static_cast<int>(spec.precision);
  bool capitals = conversion == u'E' || conversion == u'G';
  char text[kMaxFloatPrecision + 64];
  size_t n = 0;
  if (conversion == u'f') {
    RoundDigits(digits, count, point, point + precision);
    n = LayoutFixed(text, digits, count, point, precision, spec.alternate);
  } else if (conversion == u'e' || conversion == u'E') {
    RoundDigits(digits, count, point, precision + 1);
    n = LayoutExponent(text, digits, count, point, precision, spec.alternate, capitals);
  } else {
    if (precision == 0) precision = 1;
    RoundDigits(digits, count, point, precision);
    int exponent = count ? point - 1 : 0;
    if (exponent >= -4 && exponent < precision)
      n = LayoutFixed(text, digits, count, point, precision - 1 - exponent, spec.alternate);
    else
      n = LayoutExponent(text, digits, count, point, precision - 1, spec.alternate, capitals);
    if (!spec.alternate) {
      // %g drops the trailing zeros of the fraction, and the point when nothing is left.
      size_t mantissaEnd = n;
      for (size_t i = 0; i < n; ++i)
        if (text[i] == 'e' || text[i] == 'E') mantissaEnd = i;
      size_t dot = mantissaEnd;
      for (size_t i = 0; i < mantissaEnd; ++i)
        if (text[i] == '.') dot = i;
      if (dot < mantissaEnd) {
        size_t cut = mantissaEnd;
        while (cut > dot + 1 && text[cut - 1] == '0') --cut;
        if (cut == dot + 1) cut = dot;
        std::memmove(text + cut, text + mantissaEnd, n - mantissaEnd);
        n -= mantissaEnd - cut;
      }
    }
  }
  EmitField(out, spec, prefix, prefixLength, 0, text, n, true);
}

void FormatText(Output& out, const Spec& spec, const char16_t* text) {
  static const char16_t kNull[] = u"Null String";
  if (!text) text = kNull;
  size_t n = 0;
  // Never read past the precision: the text need not be terminated within it.
  while ((spec.precision < 0 || static_cast<int64_t>(n) < spec.precision) && text[n]) ++n;
  EmitField(out, spec, "", 0, 0, text, n, true);
}

// Reads digits into a capped number.
int64_t ReadNumber(const char16_t*& p) {
  int64_t v = 0;
  while (*p >= u'0' && *p <= u'9') {
    v = v * 10 + (*p - u'0');
    if (v > kMaxField) v = kMaxField;
    ++p;
  }
  return v;
}

}  // namespace

namespace {

// The one format engine. `reportMistakes` sends the specifiers that are probably mistakes (a
// negative '*' width or precision, a conversion letter it does not know) to the assertion handler.
int Format(char16_t* buffer, size_t capacity, const char16_t* format, va_list args,
           bool reportMistakes) {
  if (!buffer && capacity != 0) {
    AssertReport("pBuffer is NULL in WVsprintf", __FILE__, __LINE__);
    return 0;
  }
  if (!format) {
    AssertReport("FormatString is NULL in WVsprintf", __FILE__, __LINE__);
    if (capacity) buffer[0] = 0;
    return 0;
  }
  // The va_list is used through a copy so that callers may pass theirs on by value or by array.
  va_list ap;
  va_copy(ap, args);
  Output out{buffer, capacity, 0, 0};
  const char16_t* p = format;
  while (*p) {
    if (*p != u'%') {
      out.Put(*p++);
      continue;
    }
    ++p;
    Spec spec;
    // Flags.
    for (;; ++p) {
      if (*p == u'-')
        spec.left = true;
      else if (*p == u'+')
        spec.plus = true;
      else if (*p == u' ')
        spec.space = true;
      else if (*p == u'#')
        spec.alternate = true;
      else if (*p == u'0')
        spec.zero = true;
      else
        break;
    }
    // Width.
    if (*p == u'*') {
      ++p;
      int w = va_arg(ap, int);
      if (w < 0) {
        if (reportMistakes)
          AssertReport("Negative field width in format specifier", __FILE__, __LINE__);
        spec.left = true;
        spec.width = w == INT_MIN ? kMaxField : -static_cast<int64_t>(w);
      } else {
        spec.width = w;
      }
      if (spec.width > kMaxField) spec.width = kMaxField;
    } else {
      spec.width = ReadNumber(p);
    }
    // Precision.
    if (*p == u'.') {
      ++p;
      if (*p == u'*') {
        ++p;
        int v = va_arg(ap, int);
        if (v < 0 && reportMistakes)
          AssertReport("Negative field precision in format specifier", __FILE__, __LINE__);
        spec.precision = v < 0 ? -1 : (v > kMaxField ? kMaxField : v);
      } else {
        spec.precision = ReadNumber(p);
      }
    }
    // Size.
    bool literalI = false;
    for (bool more = true; more;) {
      switch (*p) {
        case u'h':
          spec.size = kSizeShort;
          ++p;
          break;
        case u'l':
          ++p;
          if (*p == u'l') {
            spec.size = kSizeLongLong;
            ++p;
          } else {
            spec.size = kSizeLong;
          }
          break;
        case u'I':
          if (p[1] == u'6' && p[2] == u'4') {
            spec.size = kSizeI64;
            p += 3;
          } else {
            literalI = true;
            more = false;
          }
          break;
        default:
          more = false;
          break;
      }
    }
    if (literalI) {
      // Not a size after all: the 'I' and what follows are plain text.
      out.Put(*p++);
      continue;
    }
    bool wide = false;
    if (*p == u't' || *p == u'w') {
      wide = *p == u'w';
      ++p;
      if (*p == u'0') AssertReport("ch!='0'", __FILE__, __LINE__);
    }
    char16_t conversion = *p;
    if (conversion == 0) break;
    ++p;
    if (wide && conversion != u'c' && conversion != u's') {
      if (reportMistakes)
        AssertReport("Unknown formatting option in format specifier", __FILE__, __LINE__);
      out.Put(conversion);
      continue;
    }

    switch (conversion) {
      case u'd':
      case u'i': {
        int64_t v;
        switch (spec.size) {
          case kSizeShort:
            v = static_cast<int16_t>(va_arg(ap, int));
            break;
          case kSizeLong:
            v = va_arg(ap, long);
            break;
          case kSizeLongLong:
          case kSizeI64:
            v = va_arg(ap, long long);
            break;
          default:
            v = va_arg(ap, int);
            break;
        }
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        FormatInteger(out, spec, magnitude, v < 0, true, 10, false, false);
        break;
      }
      case u'u':
      case u'o':
      case u'x':
      case u'X':
      case u'p': {
        uint64_t v;
        if (conversion == u'p') {
          v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
          spec.precision = 2 * sizeof(void*);
        } else {
          switch (spec.size) {
            case kSizeShort:
              v = static_cast<uint16_t>(va_arg(ap, unsigned));
              break;
            case kSizeLong:
              v = va_arg(ap, unsigned long);
              break;
            case kSizeLongLong:
            case kSizeI64:
              v = va_arg(ap, unsigned long long);
              break;
            default:
              v = va_arg(ap, unsigned);
              break;
          }
        }
        unsigned radix = conversion == u'u' ? 10 : conversion == u'o' ? 8 : 16;
        bool capitals = conversion != u'x';
        FormatInteger(out, spec, v, false, false, radix, capitals, radix == 16);
        break;
      }
      case u'c': {
        char16_t c = static_cast<char16_t>(va_arg(ap, int));
        EmitField(out, spec, "", 0, 0, &c, 1, true);
        break;
      }
      case u's':
        FormatText(out, spec, va_arg(ap, const char16_t*));
        break;
      case u'e':
      case u'E':
      case u'f':
      case u'g':
      case u'G':
        FormatFloat(out, spec, conversion, va_arg(ap, double));
        break;
      case u'n': {
        void* target = va_arg(ap, void*);
        if (!target) break;
        if (spec.size == kSizeShort)
          *static_cast<short*>(target) = static_cast<short>(out.length);
        else if (spec.size == kSizeLong)
          *static_cast<long*>(target) = static_cast<long>(out.length);
        else if (spec.size == kSizeLongLong || spec.size == kSizeI64)
          *static_cast<long long*>(target) = static_cast<long long>(out.length);
        else
          *static_cast<int*>(target) = static_cast<int>(out.length);
        break;
      }
      default:
        // "%%" and any letter the engine does not convert are copied as they stand.
        if (conversion != u'%' && reportMistakes)
          AssertReport("Unknown formatting option in format specifier", __FILE__, __LINE__);
        out.Put(conversion);
        break;
    }
  }
  va_end(ap);
  if (capacity) buffer[out.written] = 0;
  return out.length > INT_MAX ? INT_MAX : static_cast<int>(out.length);
}

}  // namespace

int WVsprintf(char16_t* buffer, size_t capacity, const char16_t* format, va_list args) {
  return Format(buffer, capacity, format, args, false);
}

int WVsprintfChecked(char16_t* buffer, size_t capacity, const char16_t* format, va_list args) {
  return Format(buffer, capacity, format, args, true);
}

int WSprintf(char16_t* buffer, size_t capacity, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = WVsprintf(buffer, capacity, format, args);
  va_end(args);
  return n;
}
