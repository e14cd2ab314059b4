// tools/tamrix-probe as outside checks call it, over program folders built
// here: its report is one JSON object in valid UTF-8 whatever the
// dictionaries hold, and a folder with pieces missing is handled as the
// program handles it (a message, then on), not as a failure of the probe.

#include <filesystem>

#include "tests/app/app_test_util.h"
#include "tests/tool_run.h"
#include "tools/common/json_text.h"

namespace {

namespace fs = std::filesystem;
using apptest::ProgramFolder;

struct ProbeRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

using tooltest::shellQuote;

ProbeRun runProbe(const fs::path& data, const std::vector<std::string>& args) {
  const fs::path errFile = data / "probe-stderr.txt";
  std::string cmd = shellQuote(tooltest::builtTool("tamrix-probe").string()) + " --data " + shellQuote(data.string());
  for (const std::string& a : args) cmd += " " + shellQuote(a);
  cmd += " 2>" + shellQuote(errFile.string());
  const tooltest::CommandRun run = tooltest::runCommand(cmd);
  ProbeRun r;
  r.ExitCode = run.ExitCode;
  r.Out = run.Out;
  r.Err = apptest::readFile(errFile);
  return r;
}

bool isValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

class ProbeTool : public ProgramFolder {};

}  // namespace

TEST(JsonText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  EXPECT_EQ(JsonString("a\"b\\\n\x01"), "\"a\\\"b\\\\\\n\\u0001\"");
  EXPECT_EQ(JsonString("\xD0\x94\xE2\x80\xA2\xF0\x9F\x98\x80"), "\"\xD0\x94\xE2\x80\xA2\xF0\x9F\x98\x80\"");
  // A Windows-1251 word, a cut sequence, an overlong slash, a surrogate.
  EXPECT_EQ(JsonString("\xC4\xEE"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("x\xE2\x80"), "\"x\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xF4\x90\x80\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST_F(ProbeTool, ADictionaryInAnotherCodePageStillGivesValidJson) {
  Dict("cp").Properties("Plain", "en ru").Word({1, "BEAR", "plain"});
  apptest::Exec(Dir / "dictionaries/cp.tamrix",
                "INSERT INTO words(ROWID, word) VALUES(5, CAST(X'4245415246FF' AS TEXT));"
                "INSERT INTO descriptions(ROWID, description) VALUES(5, CAST(X'C4EEEC' AS TEXT));"
                "UPDATE properties SET c1_full_caption = CAST(X'C4EEEC' AS TEXT);");
  List("cp 1\r\n");
  const ProbeRun r = runProbe(Dir, {"--search", "bear%", "--select", "0/1"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(isValidUtf8(r.Out)) << r.Out;
  EXPECT_NE(r.Out.find("\"caption\": \"BEARF\xEF\xBF\xBD\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\"page\": "), std::string::npos);
}

TEST_F(ProbeTool, MissingPiecesOfTheFolderAreReportedAndTheProbeGoesOn) {
  Dict("good").Properties("Good", "en ru").Word({1, "BEAR", "a bear"});
  List("good 1\r\n");
  // No help pages at all: start-up shows its message and the search works.
  ProbeRun r = runProbe(Dir, {"--search", "bear", "--select", "0/0"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"caption\": \"BEAR\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("a bear"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("message:"), std::string::npos) << r.Err;

  // No dictionary list: the activation's input/output error is shown, then
  // the search runs over no dictionary and says so.
  fs::remove(Dir / "dictionaries/dictionaries._");
  r = runProbe(Dir, {"--search", "bear"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"status\": "), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("message:"), std::string::npos) << r.Err;

  // No nothing-found template: the page is missing, the report is not.
  List("good 1\r\n");
  fs::remove(Dir / "other/nothing.html");
  r = runProbe(Dir, {"--search", "zzz", "--select", "0"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"kind\": 3"), std::string::npos) << r.Out;
}

TEST_F(ProbeTool, PicturesAskedForAreListedEvenWhenTheirAnswerFails) {
  Dict("pics").Properties("Pics", "en ru").Word({4, "OWL", "an owl <5>owl.png</5> <5>none.png</5>"}).Media(4, "owl.png", "12345");
  Dict("nomedia").Properties("No media", "en ru").Word({1, "OWL", "<5>owl.png</5>"});
  apptest::Exec(Dir / "dictionaries/nomedia.tamrix", "DROP TABLE multimedia;");
  List("pics 1\r\nnomedia 1\r\n");
  ProbeRun r = runProbe(Dir, {"--search", "owl", "--select", "0/0"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("{\"src\": \"*0/owl.png\", \"bytes\": 5}"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("{\"src\": \"*0/none.png\", \"bytes\": 0}"), std::string::npos) << r.Out;
  // The second dictionary has no media table: the program shows its
  // message, the picture is still reported as asked for.
  r = runProbe(Dir, {"--search", "owl", "--select", "1/0"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("{\"src\": \"*1/owl.png\", \"bytes\": 0}"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("message:"), std::string::npos) << r.Err;
}
