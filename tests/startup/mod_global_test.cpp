#include "startup/mod_global.h"

#include <gtest/gtest.h>

#include "infowindows/window_test_support.h"

namespace {

using startup::FindKey;
using startup::ParameterValue;

struct Reader : ::testing::Test {
  window_test::QuietGui* gui = nullptr;
  void SetUp() override {
    auto owned = std::make_unique<window_test::QuietGui>();
    gui = owned.get();
    runtime::SetGui(std::move(owned));
  }
  void TearDown() override { runtime::SetGui(nullptr); }
  static std::string Str(const std::string& command, const std::string& key) {
    return std::get<std::string>(startup::ReadParameter(command, key, "All"));
  }
};

TEST_F(Reader, ValuesEndOneCharacterBeforeTheNextKeyAndKeysInsidePathsBelongToThem) {
  const char* const cases[][3] = {
      {"/WINDOWTEXT=Untitled - Notepad /SAVE=c:\\a.jpg", "/WINDOWTEXT=", "Untitled - Notepad"},
      {"/hwnd=5", "/HWND=", "5"},
      {"/SCREEN /SAVE=", "/SAVE=", ""},             // key at the very end
      {"/SAVE= /PRINT", "/SAVE=", ""},              // the next key follows directly
      {"/SAVE=ab/ /PRINT", "/SAVE=", "ab/"},        // the blank before the key is what is cut
      {"/HWND=1 /HWND=2", "/HWND=", "1"},           // the first occurrence counts
      {"/SAVE=x /save=y", "/SAVE=", "x"},
      {"/SAVE=a.jpg /PRINTER", "/SAVE=", "a.jpg"},  // a longer word still ends the value
      {"/WINDOWTEXT=  Grüße — ✓  /SCREEN", "/WINDOWTEXT=", "Grüße — ✓"},
      {"/SCREEN", "/SAVE=", ""},                     // absent key
      {"/N=1 /X=2", "/N=", "1 /X=2"},                // only keys end a value
      {"/N=1 /n=2", "/N=", "1"},                     // ... the reader's own among them
      {"/HWND=123/SCREEN", "/HWND=", "123/SCREEN"},  // a key glued to a value is part of it
      {"/WINDOWTEXT=x/save=y /SAVE=z", "/SAVE=", "z"},
  };
  for (const auto& c : cases) EXPECT_EQ(Str(c[0], c[1]), c[2]) << c[0];
  // Linux folders that begin with a key's letters, in any case, with blanks.
  for (const std::string path : {"/home/me/Pictures/Screenshots/c.jpg", "/srv/Print/PRINTOUTS/x.bmp",
                                 "/tmp/SAVE=/hwnd=/WindowText=/a.jpg", "/tmp/My Screenshots/print outs/a.jpg"}) {
    const std::string command = "/WINDOWTEXT=Untitled - Notes /SAVE=" + path + " /hwnd=7";
    EXPECT_EQ(Str(command, "/WINDOWTEXT="), "Untitled - Notes") << path;
    EXPECT_EQ(std::make_tuple(Str(command, "/SAVE="), Str(command, "/HWND=")), std::make_tuple(path, std::string("7")));
    EXPECT_EQ(Str("/SCREEN /SAVE=" + path, "/SAVE="), path);
    EXPECT_EQ(std::make_tuple(FindKey(command, "/SCREEN"), FindKey(command, "/PRINT")),
              std::make_tuple(std::string::npos, std::string::npos));
  }
  EXPECT_EQ(FindKey("/HWND=123/SCREEN", "/SCREEN"), std::string::npos);
  // Flags at the start or after a blank, in any case, also as a prefix (/PRINTER prints).
  EXPECT_EQ(FindKey("/screen /SAVE=a", "/SCREEN"), 0u);
  EXPECT_EQ(FindKey("/SAVE=a /Printer", "/PRINT"), 8u);
  EXPECT_EQ(FindKey("/SAVE=a  /print", "/PRINT"), 9u);
  EXPECT_EQ(std::make_tuple(gui->messages.size(), gui->beeps), std::make_tuple(std::size_t{0}, 0));
}

TEST_F(Reader, NumberBeepsPerRejectedCharacterAndResetsToZeroAndOtherTypesAreRefused) {
  EXPECT_EQ(std::get<double>(startup::ReadParameter("/N=-42 /SAVE=1", "/N=", "Number")), -42.0);
  EXPECT_EQ(std::get<std::int16_t>(startup::ReadParameter("/X=1", "/N=", "Number")), 0);  // absent key
  EXPECT_TRUE(gui->messages.empty());
  EXPECT_EQ(std::get<std::int16_t>(startup::ReadParameter("/N=12a", "/N=", "Number")), 0);
  EXPECT_EQ(gui->beeps, 2);
  EXPECT_EQ(gui->messages, std::vector<std::string>{"12a  is not a valid value for  /N=\r\n\r\nValue has been reset to 0"});
  EXPECT_FALSE(startup::IsValidValue("a1b2c", "Number"));
  EXPECT_EQ(gui->beeps, 8);
  EXPECT_TRUE(startup::IsValidValue("", "Number") && startup::IsValidValue("anything at all", "All"));
  EXPECT_EQ(std::get<std::string>(startup::ReadParameter("/C=1,2/3", "/C=", "NumericComma")), "1,2/3");

  gui->messages.clear();
  EXPECT_EQ(startup::ReadParameter("/A=abc", "/A=", "Alpha"), ParameterValue(startup::Empty{}));
  EXPECT_EQ(startup::ReadParameter("/B=1", "/A=", "Whatever"), ParameterValue(startup::Empty{}));
  EXPECT_EQ(gui->messages, (std::vector<std::string>{"wrong isType", "wrong isType"}));
  EXPECT_EQ(std::get<std::int16_t>(startup::ReadParameter("/A=abc", "/A=", "Whatever")), 0);
  ASSERT_EQ(gui->messages.size(), 3u);
  EXPECT_NE(gui->messages[2].find("is not a valid value for"), std::string::npos);
  EXPECT_EQ(gui->beeps, 8) << "an unknown type rejects silently";
}

TEST_F(Reader, FilterRulesPerType) {
  const std::tuple<const char*, int, bool> cases[] = {
      {"Alpha", 'Q', true},   {"Alpha", '\'', true},  {"Alpha", '1', false},   {"Number", '-', true},
      {"Number", '.', false}, {"Number", 8, true},    {"BrokenNumbers", '.', true}, {"BrokenNumbers", 'a', false},
      {"Date", '/', true},    {"Date", '-', false},   {"NumericComma", ',', true},  {"NumericComma", '-', false},
      {"NoPunc", '@', true},  {"NoPunc", '!', false}, {"NoPunc", 200, false},  {"NoPunc", 300, true},
      {"NoPunc", 10, true},   {"NoPunc", '{', false}, {"alpha", 'a', false},  // names are case-sensitive
  };
  for (const auto& [type, original, accepted] : cases) {
    auto code = static_cast<std::int16_t>(original);
    EXPECT_EQ(startup::FilterKey(code, type) != 0, accepted) << type << " " << original;
  }
}

// Under the key rule, which words of a command line no parameter takes.
TEST(StrayWord, WordsBeforeTheFirstKeyOrApartFromAFlagBelongToNoParameter) {
  const std::pair<const char*, const char*> cases[] = {
      {"/SCREEN /SAVEE=x.jpg", "/SAVEE=x.jpg"},      // a mistyped key after a flag
      {"/SCREEN /SAVE=a.jpg", ""},
      {"shot.jpg /SCREEN", "shot.jpg"},               // before the first key
      {"--verbose", "--verbose"},
      {"/SCREEN extra /SAVE=a.jpg", "extra"},
      {"/PRINT now", "now"},
      {"/PRINTER /SCREEN", ""},                       // glued letters belong to the flag
      {"/SCREENSHOT /SAVE=a.jpg", ""},
      {"/SCREEN/SAVE=a.jpg", ""},                     // glued, so part of the flag's word
      {"/WINDOWTEXT=Untitled - Notepad /SAVE=a b.jpg /PRINT", ""},  // values keep their blanks
      {"/SAVE=a.jpg /SAVEE=b.jpg", ""},               // inside a value: the value's business
      {"/save=x /Screen   /print", ""},
      {"/SCREEN /SAVE=a.jpg /SCREEN junk", "junk"},   // a repeated flag is still a flag
      {"/HWND=0x1f /SCREEN -h", "-h"},
      {"/?", "/?"},
  };
  for (const auto& [command, stray] : cases) EXPECT_EQ(startup::StrayWord(command), stray) << command;
}

}  // namespace
