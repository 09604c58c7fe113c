#include "startup/mod_global.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/gui.h"
#include "startup/batch.h"

namespace {

using startup::Empty;
using startup::ParameterValue;
using startup::ReadParameter;

// Records message boxes and beeps instead of showing them.
struct Recorder : runtime::GuiBackend {
  std::vector<std::string>* messages;
  int* beeps;
  Recorder(std::vector<std::string>* m, int* b) : messages(m), beeps(b) {}
  void Realize(runtime::Form&) override {}
  void Destroy(runtime::Form&) override {}
  void Sync(runtime::Control&, runtime::Prop) override {}
  void Pump(int) override {}
  void Beep() override { ++*beeps; }
  void MsgBox(const std::string& text, runtime::MsgBoxStyle, const std::string&) override { messages->push_back(text); }
  runtime::HWND Handle(const runtime::Control&) override { return 0; }
  void Focus(runtime::Control&) override {}
};

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { runtime::SetGui(std::make_unique<Recorder>(&messages, &beeps)); }
  void TearDown() override { runtime::SetGui(nullptr); }
  std::vector<std::string> messages;
  int beeps = 0;
};

std::string Str(const ParameterValue& v) { return std::get<std::string>(v); }

TEST_F(ReaderTest, CutsValuesAtTheNextParameter) {
  struct Case {
    const char* command;
    const char* key;
    const char* expected;
  } cases[] = {
      {"/WINDOWTEXT=Untitled - Notepad /SAVE=c:\\a.jpg", "/WINDOWTEXT=", "Untitled - Notepad"},
      {"/hwnd=5", "/HWND=", "5"},
      {"/SCREEN /SAVE=", "/SAVE=", ""},              // key at the very end
      {"/SAVE= /PRINT", "/SAVE=", ""},               // the next key follows directly
      {"/SAVE=a.jpg", "/SAVE=", "a.jpg"},            // no further key: the rest of the line
      {"/HWND=1 /HWND=2", "/HWND=", "1"},            // the first occurrence counts
      {"/SAVE=x /save=y", "/SAVE=", "x"},
      {"/SAVE=a.jpg /PRINTER", "/SAVE=", "a.jpg"},   // a longer word still ends the value
      {"/WINDOWTEXT=  Grüße — ✓  /SCREEN", "/WINDOWTEXT=", "Grüße — ✓"},
      {"/SCREEN", "/SAVE=", ""},                      // absent key
      {"/N=1 /X=2", "/N=", "1 /X=2"},                 // only keys end a value
      {"/N=1 /n=2", "/N=", "1"},                      // ... the reader's own among them
  };
  for (const Case& c : cases) EXPECT_EQ(Str(ReadParameter(c.command, c.key, "All")), c.expected) << c.command;
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(beeps, 0);
}

// Keys count only at the start of the line or after a blank, so Linux paths
// whose folders begin with a key's letters stay whole.
TEST_F(ReaderTest, KeysInsideValuesBelongToTheValue) {
  const std::string paths[] = {
      "/tmp/screen.jpg",
      "/home/me/Pictures/Screenshots/c.jpg",
      "/home/me/pictures/SCREENSHOTS/c.jpg",
      "shots/printouts/x.jpg",
      "/srv/Print/PRINTOUTS/x.bmp",
      "/tmp/save=/hwnd=/windowtext=/a.jpg",
      "/tmp/SAVE=/HWND=/WindowText=/a.jpg",
      "/tmp/My Screenshots/print outs/a.jpg",  // blanks not followed by "/"
  };
  for (const std::string& path : paths) {
    const std::string command = "/WINDOWTEXT=Untitled - Notes /SAVE=" + path + " /hwnd=7";
    EXPECT_EQ(Str(ReadParameter(command, "/WINDOWTEXT=", "All")), "Untitled - Notes") << path;
    EXPECT_EQ(Str(ReadParameter(command, "/SAVE=", "All")), path);
    EXPECT_EQ(Str(ReadParameter("/SCREEN /SAVE=" + path, "/SAVE=", "All")), path);
    EXPECT_EQ(Str(ReadParameter("/save=" + path + " /PRINT", "/SAVE=", "All")), path);
    EXPECT_EQ(Str(ReadParameter("/SAVE=" + path + " /HWND=5", "/HWND=", "All")), "5") << path;
    EXPECT_EQ(startup::FindKey("/HWND=5 /SAVE=" + path, "/SCREEN"), std::string::npos) << path;
    EXPECT_EQ(startup::FindKey("/HWND=5 /SAVE=" + path, "/PRINT"), std::string::npos) << path;
  }
  // A key glued to the previous value is part of it.
  EXPECT_EQ(Str(ReadParameter("/HWND=123/SCREEN", "/HWND=", "All")), "123/SCREEN");
  EXPECT_EQ(startup::FindKey("/HWND=123/SCREEN", "/SCREEN"), std::string::npos);
  EXPECT_EQ(Str(ReadParameter("/WINDOWTEXT=x/save=y /SAVE=z", "/SAVE=", "All")), "z");
  // Flags at the start or after a blank, in any case, also as a prefix.
  EXPECT_EQ(startup::FindKey("/screen /SAVE=a", "/SCREEN"), 0u);
  EXPECT_EQ(startup::FindKey("/SAVE=a /Printer", "/PRINT"), 8u);
  EXPECT_EQ(startup::FindKey("/SAVE=a  /print", "/PRINT"), 9u);
}

TEST_F(ReaderTest, NumberTypeGivesTheNumberOrBeepsAndResetsToZero) {
  EXPECT_EQ(std::get<double>(ReadParameter("/N=-42 /SAVE=1", "/N=", "Number")), -42.0);
  EXPECT_EQ(std::get<std::int16_t>(ReadParameter("/X=1", "/N=", "Number")), 0);  // absent key
  EXPECT_TRUE(messages.empty());

  const ParameterValue bad = ReadParameter("/N=12a", "/N=", "Number");
  EXPECT_EQ(std::get<std::int16_t>(bad), 0);
  EXPECT_EQ(beeps, 2);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "12a  is not a valid value for  /N=\r\n\r\nValue has been reset to 0");

  // Every rejected character beeps twice.
  EXPECT_FALSE(startup::IsValidValue("a1b2c", "Number"));
  EXPECT_EQ(beeps, 8);
  EXPECT_TRUE(startup::IsValidValue("", "Number"));
  EXPECT_TRUE(startup::IsValidValue("anything at all", "All"));
  EXPECT_EQ(beeps, 8);
}

TEST_F(ReaderTest, TypesTheReaderDoesNotServe) {
  EXPECT_EQ(ReadParameter("/A=abc", "/A=", "Alpha"), ParameterValue(Empty{}));
  EXPECT_EQ(ReadParameter("/B=1", "/A=", "Whatever"), ParameterValue(Empty{}));
  EXPECT_EQ(messages, (std::vector<std::string>{"wrong isType", "wrong isType"}));
  EXPECT_EQ(beeps, 0);

  messages.clear();
  EXPECT_EQ(std::get<std::int16_t>(ReadParameter("/A=abc", "/A=", "Whatever")), 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("is not a valid value for"), std::string::npos);
  EXPECT_EQ(beeps, 0);  // an unknown type rejects silently
  EXPECT_EQ(Str(ReadParameter("/C=1,2/3", "/C=", "NumericComma")), "1,2/3");
}

TEST_F(ReaderTest, FilterRulesPerType) {
  struct Case {
    const char* type;
    int code;
    bool accepted;
  } cases[] = {
      {"Alpha", 'Q', true},   {"Alpha", '\'', true},         {"Alpha", '1', false},
      {"Number", '-', true},  {"Number", '.', false},        {"Number", 8, true},
      {"BrokenNumbers", '.', true}, {"BrokenNumbers", 'a', false},
      {"Date", '/', true},    {"Date", '-', false},
      {"NumericComma", ',', true}, {"NumericComma", '-', false},
      {"NoPunc", '@', true},  {"NoPunc", '!', false},        {"NoPunc", 200, false},
      {"NoPunc", 300, true},  {"NoPunc", 10, true},          {"NoPunc", '{', false},
  };
  for (const Case& c : cases) {
    std::int16_t code = static_cast<std::int16_t>(c.code);
    EXPECT_EQ(startup::FilterKey(code, c.type) != 0, c.accepted) << c.type << " " << c.code;
  }
  std::int16_t code = 'a';
  EXPECT_EQ(startup::FilterKey(code, "alpha"), 0);  // names are case-sensitive
  EXPECT_EQ(code, 0);
}

TEST(HandleFromText, AcceptsOnly32BitDecimalNumbers) {
  EXPECT_EQ(startup::HandleFromText("4194317"), 4194317);
  EXPECT_EQ(startup::HandleFromText(" -5 "), -5);
  EXPECT_EQ(startup::HandleFromText("12.5"), 12);  // rounds half to even
  EXPECT_EQ(startup::HandleFromText("2147483647"), 2147483647);
  EXPECT_EQ(startup::HandleFromText("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"abc", "", "12a", "0x1f", "99999999999", "2147483648", "-", "1.2.3", "1e5"})
    EXPECT_FALSE(startup::HandleFromText(bad).has_value()) << bad;
}

}  // namespace
