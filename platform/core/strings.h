#pragma once
// String routines shared by every area. Positions are 0-based; "not found"
// is -1. Text is UTF-16 (String) unless a name says otherwise.
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "platform/core/tset.h"
#include "platform/core/types.h"

// Standard UTF-8 <-> UTF-16 conversion for the platform's own use (file
// names, messages, toolkit boundary). Characters beyond U+FFFF map to
// surrogate pairs; malformed input becomes U+FFFD.
String UTF8ToUTF16(const UTF8String& text);
UTF8String UTF16ToUTF8(const String& text);

// ---- trimming: every character with a code of 32 or less counts as blank
String Trim(const String& s);
String TrimLeft(const String& s);
String TrimRight(const String& s);

// ---- case: the plain routines fold A-Z only; the Ansi ones fold every
// letter that has a simple upper/lower case partner (Cyrillic, Greek,
// accented Latin, ...), independent of the process locale.
String UpperCase(const String& s);
String LowerCase(const String& s);
String AnsiUpperCase(const String& s);
String AnsiLowerCase(const String& s);
char16_t AnsiUpperChar(char16_t c);
char16_t AnsiLowerChar(char16_t c);
// True for a letter or digit of any script (word characters of a text).
bool IsCharAlphaNumeric(char16_t c);

// Comparisons return <0, 0 or >0. CompareStr is by code unit; CompareText
// folds A-Z first. The Ansi forms fold by the full case rules and then
// order by code point, which gives a stable, locale-independent order.
int CompareStr(const String& a, const String& b);
int CompareText(const String& a, const String& b);
bool SameText(const String& a, const String& b);
int AnsiCompareStr(const String& a, const String& b);
int AnsiCompareText(const String& a, const String& b);
bool AnsiSameText(const String& a, const String& b);
bool AnsiSameStr(const String& a, const String& b);
bool StartsText(const String& prefix, const String& s);  // A-Z folded

// ---- integers
String IntToStr(std::int64_t value);
String UIntToStr(std::uint64_t value);
// Upper-case hexadecimal, at least `digits` digits; a negative value is
// written as the two's complement of its own type's width.
String UIntToHexDigits(std::uint64_t value, int digits);
template <std::integral T>
  requires(!std::same_as<T, bool>)
String IntToHex(T value, int digits = 0) {
  return UIntToHexDigits(static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value)), digits);
}

// Decimal with an optional sign, or hexadecimal after "$", "0x", "0X",
// "x" or "X" (also after a sign); leading blanks are skipped, anything
// after the number is an error, as is a value outside the type's range.
// StrToInt raises EConvertError "'<text>' is not a valid integer value".
bool TryStrToInt(const String& s, int& value);
bool TryStrToInt64(const String& s, std::int64_t& value);
int StrToInt(const String& s);
std::int64_t StrToInt64(const String& s);
int StrToIntDef(const String& s, int defaultValue);
std::int64_t StrToInt64Def(const String& s, std::int64_t defaultValue);

// ---- floating point, always with '.' as the decimal separator
// Blanks around the number are allowed; EConvertError
// "'<text>' is not a valid floating point value" otherwise.
bool TryStrToFloat(const String& s, double& value);
double StrToFloat(const String& s);
double StrToFloatDef(const String& s, double defaultValue);
// Up to 15 significant digits, no trailing zeros, scientific ("1.5E20",
// "1E-5") only for very large or small magnitudes.
String FloatToStr(double value);

// ---- Booleans: "True"/"False" in any case, or a number (zero is false).
// StrToBool raises EConvertError "'<text>' is not a valid boolean value".
bool TryStrToBool(const String& s, bool& value);
bool StrToBool(const String& s);
bool StrToBoolDef(const String& s, bool defaultValue);
// "-1"/"0", or "True"/"False" when useBoolStrs is set.
String BoolToStr(bool value, bool useBoolStrs = false);

// ---- Format
// One argument of Format: an integer, a float, text or a pointer.
class TVarRec {
public:
  enum class TKind { Integer, Unsigned, Float, Text, Pointer };

  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char>)
  TVarRec(T v) {
    if constexpr (std::is_signed_v<T>) {
      FKind = TKind::Integer;
      FInt = v;
    } else {
      FKind = TKind::Unsigned;
      FUInt = v;
    }
  }
  TVarRec(double v) : FKind(TKind::Float), FFloat(v) {}
  TVarRec(float v) : FKind(TKind::Float), FFloat(v) {}
  TVarRec(const String& v) : FKind(TKind::Text), FText(v) {}
  TVarRec(std::u16string_view v) : FKind(TKind::Text), FText(v) {}
  TVarRec(const char16_t* v) : FKind(TKind::Text), FText(v ? v : u"") {}
  TVarRec(char16_t v) : FKind(TKind::Text), FText(1, v) {}
  // UTF-8 text.
  TVarRec(const char* v);
  TVarRec(const UTF8String& v);
  TVarRec(const void* v) : FKind(TKind::Pointer), FPointer(v) {}
  TVarRec(bool) = delete;

  TKind Kind() const { return FKind; }
  std::int64_t AsInteger() const { return FInt; }
  std::uint64_t AsUnsigned() const { return FUInt; }
  double AsFloat() const { return FFloat; }
  const String& AsText() const { return FText; }
  const void* AsPointer() const { return FPointer; }

private:
  TKind FKind;
  std::int64_t FInt = 0;
  std::uint64_t FUInt = 0;
  double FFloat = 0;
  String FText;
  const void* FPointer = nullptr;
};

// Format specifiers: "%" [index ":"] ["-"] [width] ["." precision] type,
// where index, width and precision may be "*" (taken from the arguments).
// Types: d (integer; precision = minimum digits), u (unsigned), x
// (hexadecimal in capitals, as is X), s (text; precision = maximum
// characters), p (pointer), f, e, g, n (float; n groups thousands with
// ","), and "%%" for "%". A missing argument or one of the wrong kind
// raises EConvertError "Format '<format>' invalid or incompatible with
// argument".
String Format(const String& format, std::initializer_list<TVarRec> args);
template <typename... A>
String Format(const String& format, const A&... args) {
  return Format(format, {TVarRec(args)...});
}

// ---- searching and editing
// Index of the first occurrence of sub in s at or after offset, or -1.
int Pos(const String& sub, const String& s, int offset = 0);
// Index of the last character of s that is one of delimiters, or -1.
int LastDelimiter(const String& delimiters, const String& s);
// Up to count characters from index; out-of-range parts are simply empty.
String Copy(const String& s, int index, int count);
String StringOfChar(char16_t c, int count);

enum TReplaceFlag { rfReplaceAll, rfIgnoreCase };
using TReplaceFlags = TSet<TReplaceFlag>;
// Replaces the first (or every, with rfReplaceAll) occurrence of oldPattern;
// rfIgnoreCase matches with the full case rules.
String StringReplace(const String& s, const String& oldPattern, const String& newPattern,
                     TReplaceFlags flags);
// s in single quotes, inner quotes doubled.
String QuotedStr(const String& s);
String AnsiQuotedStr(const String& s, char16_t quote);
// Inverse of AnsiQuotedStr: text between the quotes with doubled quotes
// undone; s itself when it does not start with the quote.
String AnsiDequotedStr(const String& s, char16_t quote);
