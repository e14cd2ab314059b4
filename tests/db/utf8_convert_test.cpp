#include "db/utf8_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>


namespace {

UTF8String bytes(std::initializer_list<int> list) {
  UTF8String s;
  for (int b : list) s.push_back(char(b));
  return s;
}

// Decodes from an exactly sized heap copy, so that a sanitizer build catches
// any read past the end.
String decode(const UTF8String& in) {
  std::unique_ptr<char[]> copy(new char[in.size() ? in.size() : 1]);
  std::copy(in.begin(), in.end(), copy.get());
  return Utf8ToUnicodeBuf(copy.get(), in.size());
}

// The buffer routine unrolled into single-character steps: the reference the
// fast paths must agree with.
String decodeByChars(const UTF8String& in) {
  String out;
  size_t i = 0;
  while (i < in.size()) {
    char32_t cp;
    const int k = Utf8DecodeChar(in.data() + i, in.size() - i, cp);
    EXPECT_GE(k, 1);
    EXPECT_LE(size_t(k), in.size() - i);
    i += size_t(k);
    if (cp >= 0x10000) {
      out.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

struct DecodeCase {
  const char* what;
  UTF8String in;
  String out;
};

}  // namespace

TEST(Utf8Decode, WellFormedAndMalformedSequences) {
  const DecodeCase cases[] = {
      {"two-byte", bytes({0xC3, 0xA9}), u"\u00E9"},
      {"overlong slash takes both bytes", bytes({0xC0, 0xAF}), u"\uFFFD"},
      {"overlong NUL is no terminator", bytes({0xC0, 0x80, 'x'}), u"\uFFFDx"},
      {"truncated three-byte before ASCII", bytes({0xE2, 0x82, 'A'}), u"\uFFFDA"},
      {"encoded surrogate", bytes({0xED, 0xA0, 0x80}), u"\uFFFD"},
      {"U+FFFE", bytes({0xEF, 0xBF, 0xBE}), u"\uFFFD"},
      {"U+FFFF", bytes({0xEF, 0xBF, 0xBF}), u"\uFFFD"},
      {"real U+FFFD", bytes({0xEF, 0xBF, 0xBD}), u"\uFFFD"},
      {"overlong three-byte", bytes({0xE0, 0x80, 0x80}), u"\uFFFD"},
      {"four-byte gives a pair", bytes({0xF0, 0x9F, 0x98, 0x80}), u"\U0001F600"},
      {"largest code point", bytes({0xF4, 0x8F, 0xBF, 0xBF}), u"\U0010FFFF"},
      {"above U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80}), u"\uFFFD"},
      {"F7 lead above range", bytes({0xF7, 0xBF, 0xBF, 0xBF}), u"\uFFFD"},
      {"overlong four-byte", bytes({0xF0, 0x8F, 0xBF, 0xBF}), u"\uFFFD"},
      {"five-byte form", bytes({0xF8, 0x88, 0x80, 0x80, 0x80, 'z'}), u"\uFFFDz"},
      {"six-byte form", bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80, 'z'}), u"\uFFFDz"},
      {"FE with six bytes", bytes({0xFE, 0x80, 0x80, 0x80, 0x80, 0x80}), u"\uFFFD"},
      {"FF alone", bytes({0xFF, 'a'}), u"\uFFFDa"},
      {"stray continuation", bytes({0x80, 'a'}), u"\uFFFDa"},
      {"two stray continuations", bytes({0xBF, 0x80}), u"\uFFFD\uFFFD"},
      {"lead then lead", bytes({0xC3, 0xC3, 0xA9}), u"\uFFFD\u00E9"},
      {"truncated four-byte resumes at failure", bytes({0xF0, 0x9F, 0x98, 'q'}), u"\uFFFDq"},
      {"trailing E2", bytes({'a', 0xE2}), u"a\uFFFD"},
      {"trailing E2 82", bytes({0xE2, 0x82}), u"\uFFFD"},
      {"trailing F0 9F 98", bytes({0xF0, 0x9F, 0x98}), u"\uFFFD"},
      {"truncated five-byte", bytes({0xF8, 0x88, 0x80, 0x80}), u"\uFFFD"},
      {"real NUL kept", bytes({'a', 0x00, 'b'}), String(u"a\0b", 3)},
      {"Cyrillic", UTF8String("\xD1\x91\xD0\x81"), u"\u0451\u0401"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(decode(c.in), c.out) << c.what;
    EXPECT_EQ(decodeByChars(c.in), c.out) << c.what;
  }
}

TEST(Utf8Decode, ConsumedByteCounts) {
  struct {
    UTF8String in;
    int consumed;
  } cases[] = {
      {bytes({0x41}), 1},
      {bytes({0x80}), 1},
      {bytes({0xC3}), 1},
      {bytes({0xC3, 0x41}), 1},
      {bytes({0xC1, 0xBF}), 2},
      {bytes({0xE2, 0x82}), 2},
      {bytes({0xE2, 0x82, 0xAC}), 3},
      {bytes({0xF0, 0x9F, 0x98}), 3},
      {bytes({0xF5, 0x80, 0x80, 0x80}), 4},
      {bytes({0xF8, 0x80, 0x80, 0x80}), 4},
      {bytes({0xFB, 0x80, 0x80, 0x80, 0x80}), 5},
      {bytes({0xFD, 0x80, 0x80, 0x80, 0x80}), 5},
      {bytes({0xFD, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}), 6},
  };
  for (const auto& c : cases) {
    char32_t cp = 0;
    EXPECT_EQ(Utf8DecodeChar(c.in.data(), c.in.size(), cp), c.consumed) << c.in.size();
  }
  char32_t cp = 0;
  EXPECT_EQ(Utf8DecodeChar("\xE2\x82\xAC", 3, cp), 3);
  EXPECT_EQ(cp, U'\u20AC');
  // Only the given count is looked at, even when more bytes follow.
  EXPECT_EQ(Utf8DecodeChar("\xE2\x82\xAC", 2, cp), 2);
  EXPECT_EQ(cp, U'\uFFFD');
}

TEST(Utf8Decode, FastPathsAgreeWithTheCharacterDecoder) {
  std::mt19937 rng(12345);
  // Bytes weighted towards the interesting ranges: ASCII runs long enough for
  // the wide path, lead bytes, continuation bytes.
  const int pool[] = {'a', 'b', ' ', 0x00, 0x7F, 0x80, 0xBF, 0xC2, 0xD0, 0xD1, 0xC0,
                      0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xF8, 0xFC, 0xFE, 0xFF};
  for (int round = 0; round < 2000; ++round) {
    UTF8String in;
    const size_t len = rng() % 64;
    for (size_t i = 0; i < len; ++i) {
      if (rng() % 4 == 0)
        in.append(rng() % 12, 'x');
      else
        in.push_back(char(pool[rng() % std::size(pool)]));
    }
    const String out = decode(in);
    ASSERT_EQ(out, decodeByChars(in)) << round;
    // Nothing malformed ever turns into a zero unit.
    size_t zerosIn = std::count(in.begin(), in.end(), '\0');
    ASSERT_EQ(size_t(std::count(out.begin(), out.end(), u'\0')), zerosIn);
  }
}

TEST(Utf8Decode, StrayContinuationBytesOutgrowTheSizeEstimate) {
  // The result is sized for well-formed input; stray continuation bytes each
  // add a unit, wherever they are.
  UTF8String in;
  for (int i = 0; i < 1000; ++i) in += "\xD0\xB6";
  in += UTF8String(3000, '\x80');
  in += "\xF0\x9F\x98\x80";
  const String out = decode(in);
  EXPECT_EQ(out.size(), 1000u + 3000u + 2u);
  EXPECT_EQ(out, decodeByChars(in));
  EXPECT_EQ(decode(UTF8String(5000, '\xBF')), String(5000, u'\uFFFD'));
}

TEST(Utf8Encode, SingleCodePoints) {
  struct {
    char32_t cp;
    UTF8String out;
  } cases[] = {
      {0x00, bytes({0x00})},
      {0x7F, bytes({0x7F})},
      {0x80, bytes({0xC2, 0x80})},
      {0x451, bytes({0xD1, 0x91})},
      {0x7FF, bytes({0xDF, 0xBF})},
      {0x800, bytes({0xE0, 0xA0, 0x80})},
      {0xFFFF, bytes({0xEF, 0xBF, 0xBF})},
      {0x10000, bytes({0xF0, 0x90, 0x80, 0x80})},
      {0x10FFFF, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
      {0xD800, bytes({0xEF, 0xBF, 0xBD})},
      {0xDFFF, bytes({0xEF, 0xBF, 0xBD})},
      {0x110000, bytes({0xEF, 0xBF, 0xBD})},
      {0x7FFFFFFF, bytes({0xEF, 0xBF, 0xBD})},
  };
  for (const auto& c : cases) {
    char buf[8] = {};
    const int n = Utf8EncodeChar(c.cp, buf);
    EXPECT_EQ(UTF8String(buf, size_t(n)), c.out) << std::hex << unsigned(c.cp);
  }
}

TEST(Utf8Encode, PairsAndLoneSurrogates) {
  EXPECT_EQ(UnicodeToUtf8(u"\u0451"), "\xD1\x91");
  EXPECT_EQ(UnicodeToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  const String lone[] = {String(1, char16_t(0xD83D)),                  // high at the end
                         String(1, char16_t(0xDE00)),                  // low alone
                         String({char16_t(0xDE00), char16_t(0xD83D)})};  // reversed pair
  for (const String& s : lone) {
    const UTF8String out = UnicodeToUtf8(s);
    EXPECT_EQ(out.size(), 3 * s.size());
    for (size_t i = 0; i < out.size(); i += 3) EXPECT_EQ(out.substr(i, 3), "\xEF\xBF\xBD");
  }
  // A high surrogate before ASCII does not swallow it.
  EXPECT_EQ(UnicodeToUtf8(String({char16_t(0xD83D), u'A', u'B', u'C', u'D', u'E'})),
            "\xEF\xBF\xBD" "ABCDE");
}

TEST(Utf8RoundTrip, EveryScalarValueSurvives) {
  UTF8String utf8;
  String expected;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF) continue;
    char buf[4];
    utf8.append(buf, size_t(Utf8EncodeChar(cp, buf)));
    if (cp < 0x10000) {
      expected.push_back(char16_t(cp));
    } else {
      expected.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      expected.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  const String decoded = Utf8ToUnicode(utf8);
  ASSERT_EQ(decoded, expected);
  ASSERT_EQ(UnicodeToUtf8(decoded), utf8);
}

TEST(Utf8Convert, EmptyAndNullInput) {
  EXPECT_EQ(Utf8ToUnicode(UTF8String()), String());
  EXPECT_EQ(UnicodeToUtf8(String()), UTF8String());
  EXPECT_EQ(Utf8ToUnicodeBuf(nullptr, 5), String());
  EXPECT_EQ(UnicodeToUtf8Buf(nullptr, 5), UTF8String());
  EXPECT_EQ(Utf16Length(u""), 0u);
  EXPECT_EQ(Utf16Length(u"ab\0cd"), 2u);
  EXPECT_EQ(Utf16Length(nullptr), 0u);
}
