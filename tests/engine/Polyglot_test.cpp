// The localised text table, from plain and scrambled files written here.
#include "engine/Polyglot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "std/std.h"

namespace {

void WriteFile(const char* name, const std::string& bytes) {
  FILE* f = std::fopen(name, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string Scramble(const std::string& body) {
  std::string out = "RCNE";
  for (char c : body) out += static_cast<char>(c ^ kPolyglotScrambleKey);
  return out;
}

const std::string kBody =
    "# a comment\r\n"
    "\r\n"
    "greeting\tHello there\r\n"
    "FAREWELL\tGoodbye\r\n"
    "notab\r\n"
    "lf_only\tUnix line\n"
    "Zed\tLast line without end";

class Text : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    ModuleDescriptor d{};
    ASSERT_EQ(Polyglot_Initialize(&hs_, &d), 0);
    EXPECT_EQ(d.uninitialize, nullptr);
    EXPECT_EQ(d.startup(), 0);
  }
  void TearDown() override { Polyglot_Shutdown(); }
  void Lookups() {
    struct Case {
      const char* in;
      const char* out;
    };
    const Case cases[] = {
        {"/GREETING/hi", "Hello there"},  // keys compare without regard to case
        {"/greeting/hi", "Hello there"},
        {"/farewell/bye", "Goodbye"},
        {"/MISSING/fallback text", "fallback text"},
        {"/NOTAB/x", "/NOTAB/x"},  // a key without text answers the input
        {"/LF_ONLY/x", "Unix line"},
        {"/ZED/x", "Last line without end"},
        {"no slash", "no slash"},
        {"", ""},
        {"/no second slash", "/no second slash"},
        {"//empty key", "empty key"},
    };
    for (const Case& c : cases) EXPECT_STREQ(Polyglot_Translate(c.in), c.out) << c.in;
    EXPECT_EQ(Polyglot_Translate(nullptr), nullptr);
  }
  HostServices hs_;
};

TEST_F(Text, PlainTable) {
  WriteFile("plain.tab", kBody);
  ASSERT_EQ(Polyglot_LoadTable("plain.tab"), 1);
  EXPECT_EQ(Polyglot_GetCount(), 5);  // comments and empty lines do not count
  Lookups();
}

TEST_F(Text, ScrambledTableAndReload) {
  WriteFile("scrambled.tab", Scramble(kBody));
  ASSERT_EQ(Polyglot_LoadTable("scrambled.tab"), 1);
  Lookups();
  // A second load replaces the table rather than adding to it.
  WriteFile("other.tab", "ONLY\tone\r\n");
  ASSERT_EQ(Polyglot_LoadTable("other.tab"), 1);
  EXPECT_EQ(Polyglot_GetCount(), 1);
  EXPECT_STREQ(Polyglot_Translate("/GREETING/hi"), "hi");
  EXPECT_STREQ(Polyglot_Translate("/only/x"), "one");
}

TEST_F(Text, MissingFileAndNoTable) {
  EXPECT_EQ(Polyglot_LoadTable("does-not-exist.tab"), 0);
  EXPECT_EQ(Polyglot_GetCount(), 0);
  EXPECT_STREQ(Polyglot_Translate("/GREETING/hi"), "hi");
  // Odd files load without reading past their end.
  const std::string odd[] = {"", "RCNE", "K\tv\r", "\r", "K", "#only a comment"};
  for (const std::string& bytes : odd) {
    WriteFile("odd.tab", bytes);
    EXPECT_EQ(Polyglot_LoadTable("odd.tab"), 1);
    Polyglot_Translate("/K/x");
  }
  EXPECT_STREQ(Polyglot_Translate("/K/x"), "x");
}

}  // namespace
