// Numbers in style sheets and attributes read the same under any locale.
// The GUI library switches the C library to the user's locale at start-up,
// and Russian or German ones write decimals with a comma.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "html/parse/style_model.h"
#include "html/parse/style_parser.h"
#include "tests/html/token_driver.h"

namespace {

// Switches LC_NUMERIC to a locale with a decimal comma for the scope, and
// back afterwards. Builds one from the system's sources when none is
// installed.
class CommaLocale {
public:
  CommaLocale() {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    FPrevious = previous ? previous : "C";
    if (tryNames()) return;
    namespace fs = std::filesystem;
    if (!fs::exists("/usr/share/i18n/locales/de_DE") || !fs::exists("/usr/bin/localedef")) return;
    const fs::path dir = fs::temp_directory_path() / ("tamrix-locale-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string cmd = "/usr/bin/localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() +
                            "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !fs::exists(dir / "de_DE.UTF-8")) return;
    if (const char* old = std::getenv("LOCPATH")) FOldLocPath = old;
    ::setenv("LOCPATH", dir.c_str(), 1);
    FDir = dir;
    tryNames();
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, FPrevious.c_str());
    if (!FDir.empty()) {
      if (FOldLocPath) ::setenv("LOCPATH", FOldLocPath->c_str(), 1);
      else ::unsetenv("LOCPATH");
      std::error_code ec;
      std::filesystem::remove_all(FDir, ec);
    }
  }
  bool Active() const { return FActive; }

private:
  bool tryNames() {
    for (const char* name : {"de_DE.UTF-8", "ru_RU.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "ru_RU.utf8"})
      if (std::setlocale(LC_NUMERIC, name) && std::strtod("1.5", nullptr) == 1.0) return FActive = true;
    std::setlocale(LC_NUMERIC, FPrevious.c_str());
    return false;
  }
  std::string FPrevious;
  std::filesystem::path FDir;
  std::optional<std::string> FOldLocPath;
  bool FActive = false;
};

TEST(DecimalPoint, LengthsFontSizesAndAttributesUnderACommaLocale) {
  CommaLocale locale;
  if (!locale.Active()) GTEST_SKIP() << "no locale with a decimal comma available";

  EXPECT_EQ(ConvertLength(u"1.5em", false, 0, 10, 5, -1), 15);
  EXPECT_EQ(ConvertLength(u"0.5in", false, 0, 0, 0, -1), ConvertLength(u"36pt", false, 0, 0, 0, -1));
  EXPECT_EQ(ConvertLength(u"12.5%", false, 400, 0, 0, -1), 50);

  // A unitless line height multiplies the normal one.
  TProperties props;
  ParsePropertyString(u"font: bold 12px/1.5 arial", props);
  EXPECT_EQ(props.GetLineHeight(20), 30);

  // Attribute numbers with a fraction round, they do not stop at the ".".
  const std::string stream = tokendriver::run("<td width=\"2.6\" height=7.5>");
  EXPECT_NE(stream.find("WIDTH=2.6#3"), std::string::npos) << stream;
  EXPECT_NE(stream.find("HEIGHT=7.5#8"), std::string::npos) << stream;
}

}  // namespace
