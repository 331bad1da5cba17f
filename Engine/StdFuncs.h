#pragma once
// The engine's own small library on zero-terminated UTF-16 texts: length, copy, search, widening
// of 8-bit text, a wide printf with its own format engine, and the shortest decimal conversion of
// doubles that the printf's floating-point forms use. Code units are char16_t everywhere, so a
// text means the same on every host whatever the size of wchar_t.

#include <cstdarg>
#include <cstddef>

// Code units before the terminator; 0 for a null text.
size_t WStrLen(const char16_t* text);

// Copies src up to and including its terminator; a null src copies nothing. Returns dest.
char16_t* WStrCpy(char16_t* dest, const char16_t* src);

// Copies exactly `count` code units (terminators included, none added). Returns dest.
char16_t* WStrNCpy(char16_t* dest, const char16_t* src, size_t count);

// The first unit equal to c, or null when c does not occur. The terminator is never found.
const char16_t* WStrChr(const char16_t* text, char16_t c);
char16_t* WStrChr(char16_t* text, char16_t c);

// Widening takes every byte as one code unit of the same value (zero-extended); no code page.
// WidenN converts exactly `count` bytes and writes no terminator; Widen converts a terminated
// text, terminator included, and returns dest.
void WidenN(char16_t* dest, const char* src, size_t count);
char16_t* Widen(char16_t* dest, const char* src);

// ASCII-only case folding of one code unit; every other unit is returned unchanged.
char16_t WCharToLower(char16_t c);
char16_t WCharToUpper(char16_t c);

// printf into a buffer of `capacity` code units. The output is cut to fit and always terminated
// when capacity > 0; the result is the length of the whole text, terminator not counted, however
// much of it fitted (so capacity 0, where the buffer may be null, only measures). %n stores the
// length so far in the same sense.
// Conversions: d i u o x X p c s e f g E G n and %%; flags - + space # 0; width and precision
// (digits or *); sizes h, l, ll, I64, and t or w before c and s. %s takes a const char16_t*,
// %p prints the pointer in capitals at native width (16 digits on a 64-bit build). Floating-point
// values are narrowed to float precision before conversion.
int WVsprintf(char16_t* buffer, size_t capacity, const char16_t* format, va_list args);
int WSprintf(char16_t* buffer, size_t capacity, const char16_t* format, ...);
// WVsprintf that also sends the specifiers that are probably mistakes to the assertion handler:
// a negative '*' width ("Negative field width in format specifier") or precision ("Negative field
// precision in format specifier"), a conversion letter it does not convert ("Unknown formatting
// option in format specifier").
int WVsprintfChecked(char16_t* buffer, size_t capacity, const char16_t* format, va_list args);

// Room DoubleToShortest needs for its digits and terminator ("Infinity" is the longest text).
constexpr size_t kShortestDigitsSize = 20;

// The shortest string of decimal digits that reads back as exactly `value`; among equally short
// strings, the one nearest to the value (ties to an even last digit). The value is
// 0.DIGITS x 10^decimalPoint; *negative gets the sign bit. Zero gives "0" with point 1; infinity
// gives "Infinity" and NaN "NaN", both with point 9999. `digits` must hold kShortestDigitsSize
// chars; the count of characters written (terminator not counted) is returned.
int DoubleToShortest(double value, int* decimalPoint, int* negative, char* digits);
