#include "std/stdConffile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/kv_Log.h"

namespace {

int g_closes = 0;
HostServices* g_real = nullptr;
int CountingClose(stdFile_t file) {
  ++g_closes;
  return g_real->fileClose(file);
}

class Conffile : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    real_ = hs_;
    g_real = &real_;
    hs_.fileClose = CountingClose;
    g_closes = 0;
  }
  void TearDown() override {
    // Nothing may stay open between tests.
    for (int i = 0; i <= kConffileMaxDepth && stdConffile_GetFileName()[0]; ++i)
      stdConffile_Close();
    stdConffile_CloseWrite();
  }

  static std::string WriteFile(const std::string& name, const std::string& text) {
    std::ofstream out(name, std::ios::binary);
    out << text;
    return name;
  }

  // Every line the reader delivers, with its line number.
  static std::vector<std::pair<std::string, int>> ReadAll(const std::string& path) {
    std::vector<std::pair<std::string, int>> lines;
    EXPECT_EQ(stdConffile_Open(path.c_str()), 1) << path;
    while (stdConffile_NextLine())
      lines.emplace_back(stdConffile_line, stdConffile_GetLineNumber());
    stdConffile_Close();
    return lines;
  }

  HostServices hs_;
  HostServices real_;
};

std::string ToCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

using Lines = std::vector<std::pair<std::string, int>>;

struct ReaderCase {
  const char* what;
  std::string text;  // LF form; the CRLF form is made from it
  Lines expected;
};

TEST_F(Conffile, LineRulesInLfAndCrLfForm) {
  const std::string longLine(1500, 'q');
  const ReaderCase cases[] = {
      {"comments, empty and CR-only lines are skipped but counted",
       ";c\n#c\n\nabc\n\r\n  \nx\n",
       {{"abc", 4}, {"  ", 6}, {"x", 7}}},
      {"a remark is cut before '#', the blank kept, letters lower-cased",
       "Keyword Name #Remark\n",
       {{"keyword name ", 1}}},
      {"leading blanks are kept", "  Lead\n", {{"  lead", 1}}},
      {"a backslash joins the next line",
       "first \\\nSecond\nthird\n",
       {{"first second", 2}, {"third", 3}}},
      {"comment and empty lines inside a join are skipped", "a\\\n;c\n\nb\n", {{"ab", 4}}},
      {"a backslash on the last line loses the joined text", "x\ny\\\n", {{"x", 1}}},
      {"a last line without newline is delivered whole", "abc\ndef", {{"abc", 1}, {"def", 2}}},
      {"one blank between backslash and remark still joins", "a \\ #r\nb\n", {{"a b", 2}}},
      {"a backslash right before a remark is the last character",
       "a\\#r\nb\n",
       {{"a\\", 1}, {"b", 2}}},
      {"a line longer than the buffer comes in parts",
       longLine + "\nz\n",
       {{std::string(1022, 'q'), 1}, {std::string(478, 'q'), 2}, {"z", 3}}},
  };
  int n = 0;
  for (const ReaderCase& c : cases) {
    for (bool crlf : {false, true}) {
      const std::string name = "conf_case" + std::to_string(n++) + ".txt";
      WriteFile(name, crlf ? ToCrLf(c.text) : c.text);
      EXPECT_EQ(ReadAll(name), c.expected) << c.what << (crlf ? " (CRLF)" : " (LF)");
    }
  }
}

TEST_F(Conffile, LostAndSplitLinesAreLoggedWithTheFileName) {
  WriteFile("conf_lost.txt",
            "a\n" + std::string(1100, 'x') + "\n" + std::string(1100, 'y') + "\nlast \\\n");
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("conffile_test.log"), 1);
  EXPECT_EQ(ReadAll("conf_lost.txt").size(), 5u);
  kv_Log_ResetForTest();
  std::ifstream in("conffile_test.log");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("conf_lost.txt(2): line longer than"), std::string::npos) << log;
  EXPECT_EQ(log.find("conf_lost.txt(4)"), std::string::npos) << log;  // once per file
  EXPECT_NE(log.find("conf_lost.txt: the last line ends in a continuation"), std::string::npos)
      << log;
}

TEST_F(Conffile, ReadArgsSplitsPairs) {
  WriteFile("conf_args.txt", "   \nWidth=640, height=480 depth=16\nname= Bare\n");
  ASSERT_EQ(stdConffile_Open("conf_args.txt"), 1);
  ASSERT_EQ(stdConffile_ReadArgs(), 1);  // the line of blanks is passed over
  const ConffileArgBlock* args = stdConffile_GetArgs();
  ASSERT_EQ(args->count, 3);
  const char* expected[3][2] = {{"width", "640"}, {"height", "480"}, {"depth", "16"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(args->pairs[i].name, expected[i][0]);
    EXPECT_STREQ(args->pairs[i].value, expected[i][1]);
  }
  ASSERT_EQ(stdConffile_ReadArgs(), 1);
  ASSERT_EQ(args->count, 2);
  EXPECT_STREQ(args->pairs[0].name, "name");
  EXPECT_STREQ(args->pairs[0].value, "");
  EXPECT_STREQ(args->pairs[1].name, "bare");
  EXPECT_STREQ(args->pairs[1].value, "bare");
  EXPECT_EQ(stdConffile_ReadArgs(), 0);
  stdConffile_Close();
}

TEST_F(Conffile, SplitStopsAt128Pairs) {
  ASSERT_EQ(stdConffile_Open("none"), 1);
  std::string text;
  for (int i = 0; i < 300; ++i) text += "t" + std::to_string(i) + "=" + std::to_string(i) + " ";
  EXPECT_EQ(stdConffile_SplitArgs(text.data()), kConffileMaxArgs);
  const ConffileArgBlock* args = stdConffile_GetArgs();
  EXPECT_STREQ(args->pairs[127].name, "t127");
  EXPECT_STREQ(args->pairs[127].value, "127");
  EXPECT_EQ(stdConffile_SplitArgs(nullptr), 0);
  stdConffile_Close();
}

TEST_F(Conffile, NoneOpensWithoutAFile) {
  ASSERT_EQ(stdConffile_Open("none"), 1);
  EXPECT_EQ(stdConffile_GetFile(), 0);
  EXPECT_EQ(stdConffile_NextLine(), 0);
  char byte;
  EXPECT_EQ(stdConffile_Read(&byte, 1), 0);
  stdConffile_Close();
  EXPECT_EQ(g_closes, 0);
  EXPECT_EQ(stdConffile_line, nullptr);
}

TEST_F(Conffile, NestedFilesResumeAndFailedOpenLeavesOuterCurrent) {
  WriteFile("conf_outer.txt", "a1\na2\na3\n");
  WriteFile("conf_inner.txt", "b1\n\nb2\n");
  ASSERT_EQ(stdConffile_Open("conf_outer.txt"), 1);
  ASSERT_EQ(stdConffile_NextLine(), 1);
  EXPECT_STREQ(stdConffile_line, "a1");
  ASSERT_EQ(stdConffile_SplitArgs(stdConffile_line), 1);

  EXPECT_EQ(stdConffile_Open("conf_missing.txt"), 0);
  EXPECT_STREQ(stdConffile_GetFileName(), "conf_outer.txt");
  EXPECT_STREQ(stdConffile_line, "a1");
  EXPECT_EQ(stdConffile_GetLineNumber(), 1);
  EXPECT_EQ(stdConffile_GetArgs()->count, 1);

  ASSERT_EQ(stdConffile_Open("conf_inner.txt"), 1);
  EXPECT_EQ(stdConffile_GetLineNumber(), 0);
  ASSERT_EQ(stdConffile_NextLine(), 1);
  ASSERT_EQ(stdConffile_NextLine(), 1);
  EXPECT_STREQ(stdConffile_line, "b2");
  EXPECT_EQ(stdConffile_GetLineNumber(), 3);
  EXPECT_EQ(stdConffile_NextLine(), 0);
  stdConffile_Close();

  ASSERT_EQ(stdConffile_NextLine(), 1);
  EXPECT_STREQ(stdConffile_line, "a2");
  EXPECT_EQ(stdConffile_GetLineNumber(), 2);
  stdConffile_Close();
  EXPECT_EQ(g_closes, 2);
  EXPECT_EQ(stdConffile_NextLine(), 0);
}

TEST_F(Conffile, OpenBeyondTwentySuspendedFilesFails) {
  WriteFile("conf_nest.txt", "line\n");
  for (int i = 0; i <= kConffileMaxDepth; ++i) ASSERT_EQ(stdConffile_Open("conf_nest.txt"), 1) << i;
  ASSERT_EQ(stdConffile_NextLine(), 1);
  EXPECT_EQ(stdConffile_Open("conf_nest.txt"), 0);
  EXPECT_STREQ(stdConffile_line, "line");  // the innermost file is still current
  EXPECT_EQ(stdConffile_GetLineNumber(), 1);
  for (int i = 0; i <= kConffileMaxDepth; ++i) stdConffile_Close();
  EXPECT_EQ(g_closes, kConffileMaxDepth + 1);
  EXPECT_EQ(stdConffile_NextLine(), 0);
}

TEST_F(Conffile, WriteSide) {
  EXPECT_STREQ(stdConffile_GetWriteFileName(), "NOT_OPEN");
  EXPECT_EQ(stdConffile_WriteString("x"), 0);
  ASSERT_EQ(stdConffile_OpenWrite("conf_out.txt"), 1);
  EXPECT_EQ(stdConffile_OpenWrite("conf_other.txt"), 0);
  EXPECT_STREQ(stdConffile_GetWriteFileName(), "conf_out.txt");
  EXPECT_EQ(stdConffile_WriteString("head "), 1);
  EXPECT_EQ(stdConffile_Write("ab", 2), 1);
  EXPECT_EQ(stdConffile_Printf(" %d-%s\n", 42, "z"), 1);
  EXPECT_EQ(stdConffile_WriteString(nullptr), 0);
  EXPECT_EQ(stdConffile_Write(nullptr, 3), 0);
  const std::string big(2000, 'w');
  EXPECT_EQ(stdConffile_Printf("%s", big.c_str()), 0);  // cut to the buffer: reported
  stdConffile_CloseWrite();
  EXPECT_STREQ(stdConffile_GetWriteFileName(), "NOT_OPEN");

  std::ifstream in("conf_out.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "head ab 42-z\n" + std::string(kConffileLineSize - 1, 'w'));
  std::ifstream other("conf_other.txt");
  EXPECT_FALSE(other.good());
}

}  // namespace
