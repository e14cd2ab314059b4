// Format: printf-style text building over UTF-16.
#include <algorithm>
#include <cstdint>

#include "platform/core/exception.h"
#include "platform/core/strings.h"
#include "platform/core/strings_private.h"

TVarRec::TVarRec(const char* v) : FKind(TKind::Text), FText(UTF8ToUTF16(v ? v : "")) {}
TVarRec::TVarRec(const UTF8String& v) : FKind(TKind::Text), FText(UTF8ToUTF16(v)) {}

namespace {

class Formatter {
public:
  Formatter(const String& format, std::initializer_list<TVarRec> args)
      : FFormat(format), FArgs(args) {}

  String Run() {
    size_t i = 0;
    const size_t n = FFormat.size();
    while (i < n) {
      const char16_t c = FFormat[i++];
      if (c != u'%') {
        FOut.push_back(c);
        continue;
      }
      if (i < n && FFormat[i] == u'%') {
        FOut.push_back(u'%');
        ++i;
        continue;
      }
      i = spec(i);
    }
    return FOut;
  }

private:
  [[noreturn]] void fail() const {
    throw EConvertError(u"Format '" + FFormat + u"' invalid or incompatible with argument");
  }

  const TVarRec& nextArg() {
    if (FNext >= FArgs.size()) fail();
    return FArgs.begin()[FNext++];
  }

  // A run of digits or "*" (an integer argument); -1 when neither is there.
  int number(size_t& i) {
    const size_t n = FFormat.size();
    if (i < n && FFormat[i] == u'*') {
      ++i;
      const TVarRec& a = nextArg();
      if (a.Kind() != TVarRec::TKind::Integer && a.Kind() != TVarRec::TKind::Unsigned) fail();
      const std::int64_t v = a.Kind() == TVarRec::TKind::Integer ? a.AsInteger() : std::int64_t(a.AsUnsigned());
      return int(std::clamp<std::int64_t>(v, -1, 1 << 20));
    }
    if (i >= n || FFormat[i] < u'0' || FFormat[i] > u'9') return -1;
    std::int64_t v = 0;
    while (i < n && FFormat[i] >= u'0' && FFormat[i] <= u'9') {
      v = std::min<std::int64_t>(v * 10 + (FFormat[i] - u'0'), 1 << 20);
      ++i;
    }
    return int(v);
  }

  size_t spec(size_t i) {
    const size_t n = FFormat.size();
    // An index ("%1:s") picks the argument and the next ones follow it.
    int width = number(i);
    if (i < n && FFormat[i] == u':') {
      ++i;
      if (width < 0) width = 0;
      FNext = size_t(width);
      width = -1;
    } else if (width >= 0) {
      return finish(i, false, width);
    }
    bool left = false;
    if (i < n && FFormat[i] == u'-') {
      left = true;
      ++i;
    }
    width = number(i);
    return finish(i, left, width);
  }

  size_t finish(size_t i, bool left, int width) {
    const size_t n = FFormat.size();
    int precision = -1;
    if (i < n && FFormat[i] == u'.') {
      ++i;
      precision = number(i);
      if (precision < 0) precision = 0;
    }
    if (i >= n) fail();
    const char16_t type = AnsiLowerChar(FFormat[i++]);
    String text = convert(type, precision);
    if (width > 0 && text.size() < size_t(width)) {
      const String pad(size_t(width) - text.size(), u' ');
      text = left ? text + pad : pad + text;
    }
    FOut += text;
    return i;
  }

  static bool isInteger(const TVarRec& a) {
    return a.Kind() == TVarRec::TKind::Integer || a.Kind() == TVarRec::TKind::Unsigned;
  }

  // Digits of an integer argument with the precision as minimum length.
  static String padDigits(String digits, int precision) {
    if (precision > 0 && digits.size() < size_t(precision))
      digits.insert(0, size_t(precision) - digits.size(), u'0');
    return digits;
  }

  String convert(char16_t type, int precision) {
    const TVarRec& a = nextArg();
    switch (type) {
      case u'd': {
        if (!isInteger(a)) fail();
        if (a.Kind() == TVarRec::TKind::Unsigned) return padDigits(UIntToStr(a.AsUnsigned()), precision);
        const std::int64_t v = a.AsInteger();
        const std::uint64_t magnitude = v < 0 ? 0 - std::uint64_t(v) : std::uint64_t(v);
        const String digits = padDigits(UIntToStr(magnitude), precision);
        return v < 0 ? u"-" + digits : digits;
      }
      case u'u': {
        if (!isInteger(a)) fail();
        return padDigits(UIntToStr(unsignedValue(a)), precision);
      }
      case u'x':
        if (!isInteger(a)) fail();
        return UIntToHexDigits(unsignedValue(a), precision);
      case u's': {
        if (a.Kind() != TVarRec::TKind::Text) fail();
        const String& t = a.AsText();
        return precision >= 0 && size_t(precision) < t.size() ? t.substr(0, size_t(precision)) : t;
      }
      case u'p':
        if (a.Kind() != TVarRec::TKind::Pointer) fail();
        return UIntToHexDigits(reinterpret_cast<std::uintptr_t>(a.AsPointer()), int(sizeof(void*) * 2));
      case u'e':
      case u'f':
      case u'g':
      case u'n': {
        double v = 0;
        if (a.Kind() == TVarRec::TKind::Float)
          v = a.AsFloat();
        else if (a.Kind() == TVarRec::TKind::Integer)
          v = double(a.AsInteger());
        else if (a.Kind() == TVarRec::TKind::Unsigned)
          v = double(a.AsUnsigned());
        else
          fail();
        if (precision < 0) precision = (type == u'e' || type == u'g') ? 15 : 2;
        return FormatFloatSpec(v, type, std::min(precision, type == u'e' || type == u'g' ? 18 : 40));
      }
      default:
        fail();
    }
  }

  // A negative integer seen as unsigned takes the width of a 32-bit value
  // when it fits there, so "%x" of -1 gives FFFFFFFF.
  static std::uint64_t unsignedValue(const TVarRec& a) {
    if (a.Kind() == TVarRec::TKind::Unsigned) return a.AsUnsigned();
    const std::int64_t v = a.AsInteger();
    if (v < 0 && v >= INT32_MIN) return std::uint32_t(std::int32_t(v));
    return std::uint64_t(v);
  }

  const String& FFormat;
  std::initializer_list<TVarRec> FArgs;
  size_t FNext = 0;
  String FOut;
};

}  // namespace

String Format(const String& format, std::initializer_list<TVarRec> args) {
  return Formatter(format, args).Run();
}
