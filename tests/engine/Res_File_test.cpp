// The file layer: packs, LABN archives and the file slots.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "../TestTempDir.h"
#include "LabnWriter.h"
#include "ResTestSupport.h"
#include "platform/kv_Log.h"

namespace {

std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xFF);
  return s;
}

std::string ReadHostFile(const char* path) {
  std::string out;
  if (FILE* f = std::fopen(path, "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, n);
    std::fclose(f);
  }
  return out;
}

using FileLayer = ResTest;

TEST_F(FileLayer, NameHashIsExplicitAsciiWithSignExtension) {
  EXPECT_EQ(Res_NameHash("A"), 0x02020243u);
  EXPECT_EQ(Res_NameHash("a"), 0x02020243u);
  EXPECT_EQ(Res_NameHash("\xE9"), 0xFDFDFDEBu);  // byte 0xE9 sign-extended, not upper-cased
  EXPECT_EQ(Res_NameHash(""), 0u);
}

TEST_F(FileLayer, NearerPackShadowsAndMoveToFrontReorders) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"Shared.TXT", "archived"}, {"only.txt", "in lab"}}));
  std::filesystem::create_directories(Path("loose"));
  WriteWhole(Path("loose/shared.txt"), "loose");
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  ASSERT_NE(Res_OpenPack((Path("loose") + "\\").c_str()), nullptr);
  EXPECT_EQ(ReadAll("SHARED.txt"), "loose");
  EXPECT_EQ(ReadAll("ONLY.TXT"), "in lab");
  Res_MovePackToFront(lab.c_str());
  EXPECT_EQ(ReadAll("shared.txt"), "archived");
  EXPECT_EQ(hs_.fileSize("shared.txt"), 8);
  char found[512];
  ASSERT_EQ(Res_FindLooseFile("SHARED.TXT", found, sizeof found), 1);
  EXPECT_EQ(std::string(found), Path("loose/shared.txt"));
  EXPECT_EQ(Res_FindLooseFile("only.txt", found, sizeof found), 0);  // archives are not loose
}

TEST_F(FileLayer, NamesWithSeparatorsBypassThePacksAndResolveAnyCase) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"a.txt", "archived"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  std::filesystem::create_directories(Path("Sub"));
  WriteWhole(Path("Sub/A.txt"), "loose");
  const std::string relative = std::filesystem::path(dir_).filename().string();
  EXPECT_EQ(ReadAll((relative + "\\SUB\\a.TXT").c_str()), "loose");
  EXPECT_EQ(ReadAll((relative + "/sub/A.TXT").c_str()), "loose");
  EXPECT_EQ(ReadAll((dir_ + "\\sub\\a.txt").c_str()), "loose");
  EXPECT_EQ(ReadAll("a.txt"), "archived");
}

TEST_F(FileLayer, WritingAlwaysCreatesARealFile) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"out.txt", "archived"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  const std::string target = Path("out.txt");
  stdFile_t f = hs_.fileOpen(target.c_str(), "wb");
  ASSERT_NE(f, 0);
  EXPECT_EQ(hs_.fileWrite(f, "real", 4), 4u);
  EXPECT_GT(hs_.filePrintf(f, "%d", 42), 0);
  hs_.fileClose(f);
  EXPECT_EQ(ReadAll(target.c_str()), "real42");
  // A window refuses writes.
  f = hs_.fileOpen("out.txt", "rb");
  ASSERT_NE(f, 0);
  EXPECT_EQ(hs_.fileWrite(f, "x", 1), 0u);
  EXPECT_EQ(hs_.filePrintf(f, "x"), 0);
  hs_.fileClose(f);
}

TEST_F(FileLayer, ChunkedReadsEqualOneReadAndEndWithEof) {
  const std::string big = Pattern(10500, 1);
  const std::string lab = Path("data.lab");
  WriteWhole(lab,
             LabnBuild({{"before.bin", Pattern(300, 2)}, {"big.bin", big}, {"after.bin", "zz"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  for (size_t chunk : {size_t{1000}, size_t{1}, size_t{4096}, size_t{5000}, size_t{20000}}) {
    SCOPED_TRACE(chunk);
    const stdFile_t f = hs_.fileOpen("big.bin", "rb");
    ASSERT_NE(f, 0);
    std::string got;
    std::vector<char> buffer(chunk);
    size_t n = 0, last = 0;
    while ((n = hs_.fileRead(f, buffer.data(), chunk)) > 0) {
      got.append(buffer.data(), n);
      last = n;
      EXPECT_EQ(hs_.fileEof(f), 0);
    }
    EXPECT_EQ(got, big);
    EXPECT_EQ(last, big.size() % chunk == 0 ? std::min(chunk, big.size()) : big.size() % chunk);
    EXPECT_EQ(hs_.fileEof(f), 1);
    EXPECT_EQ(hs_.fileTell(f), static_cast<int64_t>(big.size()));
    hs_.fileClose(f);
  }
}

TEST_F(FileLayer, LinesFoldCrLfAndCr) {
  const std::string lab = Path("data.lab");
  const std::string longLine(5000, 'x');
  WriteWhole(lab, LabnBuild({{"crlf.txt", "one\r\ntwo\r\n\r\nthree"},
                             {"cr.txt", "a\rb\n"},
                             {"long.txt", longLine + "\r\nend"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  struct Case {
    const char* name;
    int size;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"crlf.txt", 64, {"one\n", "two\n", "\n", "three"}},
      {"cr.txt", 64, {"a\n", "b\n"}},
      {"crlf.txt", 3, {"on", "e\n", "tw", "o\n", "\n", "th", "re", "e"}},
      {"long.txt", 8192, {longLine + "\n", "end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const stdFile_t f = hs_.fileOpen(c.name, "rb");
    ASSERT_NE(f, 0);
    std::vector<char> buffer(c.size);
    std::vector<std::string> lines;
    while (hs_.fileGets(f, buffer.data(), c.size)) lines.emplace_back(buffer.data());
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(hs_.fileEof(f), 1);
    hs_.fileClose(f);
  }
}

TEST_F(FileLayer, GetsWithSizeZeroOrOne) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"t.txt", "abc\n"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  const stdFile_t f = hs_.fileOpen("t.txt", "rb");
  char buffer[4] = {'q', 'q', 'q', 'q'};
  EXPECT_EQ(hs_.fileGets(f, buffer, 0), nullptr);
  EXPECT_EQ(buffer[0], 'q');
  EXPECT_EQ(hs_.fileGets(f, buffer, 1), buffer);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(hs_.fileGets(f, buffer, 4), buffer);
  EXPECT_STREQ(buffer, "abc");
  hs_.fileClose(f);
}

TEST_F(FileLayer, SeeksStayInsideTheEntry) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"first", "AAAAAAAAAA"}, {"second", "0123456789"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  const stdFile_t f = hs_.fileOpen("second", "rb");
  ASSERT_NE(f, 0);
  char buffer[16] = {};
  EXPECT_EQ(hs_.fileSeek(f, 10, 0), 0);
  EXPECT_EQ(hs_.fileRead(f, buffer, 4), 0u);
  EXPECT_EQ(hs_.fileEof(f), 1);
  EXPECT_EQ(hs_.fileSeek(f, -3, 2), 0);
  EXPECT_EQ(hs_.fileRead(f, buffer, 16), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(hs_.fileSeek(f, 2, 0), 0);
  EXPECT_EQ(hs_.fileRead(f, buffer, 2), 2u);
  EXPECT_EQ(hs_.fileSeek(f, -1, 1), 0);  // back inside the buffer
  EXPECT_EQ(hs_.fileRead(f, buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "345");
  // Before the entry: refused, the position stays.
  EXPECT_EQ(hs_.fileSeek(f, -1, 0), 1);
  EXPECT_EQ(hs_.fileSeek(f, -20, 1), 1);
  EXPECT_EQ(hs_.fileSeek(f, 0, 7), 1);
  EXPECT_EQ(hs_.fileTell(f), 6);
  EXPECT_EQ(hs_.fileSeek(f, 100, 0), 0);  // past the end reads nothing
  EXPECT_EQ(hs_.fileRead(f, buffer, 4), 0u);
  hs_.fileClose(f);
}

TEST_F(FileLayer, WideLinesFromWindowsAndRealFiles) {
  const std::string wide("a\0b\0\n\0c\0", 8);
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"w.txt", wide}}));
  WriteWhole(Path("w.txt"), wide);
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  for (const std::string& name : {std::string("w.txt"), Path("w.txt")}) {
    SCOPED_TRACE(name);
    const stdFile_t f = hs_.fileOpen(name.c_str(), "rb");
    ASSERT_NE(f, 0);
    char16_t line[8];
    ASSERT_EQ(hs_.fileGetws(f, line, 8), line);
    EXPECT_EQ(std::u16string(line), u"ab\n");
    ASSERT_EQ(hs_.fileGetws(f, line, 8), line);
    EXPECT_EQ(std::u16string(line), u"c");
    EXPECT_EQ(hs_.fileGetws(f, line, 8), nullptr);
    hs_.fileClose(f);
  }
}

TEST_F(FileLayer, DuplicateNamesLaterWins) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"same.txt", "first"}, {"SAME.TXT", "second"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  EXPECT_EQ(ReadAll("Same.Txt"), "second");
}

TEST_F(FileLayer, BadArchivesAreRefused) {
  const std::string good = LabnBuild({{"a.txt", "hello"}, {"b.txt", "world"}});
  // Entries start at 16; the name table at 48 ("a.txt\0b.txt\0", 12 bytes).
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::vector<Case> cases;
  auto patched = [&](size_t offset, uint32_t v) {
    std::string s = good;
    LabnPatch32(&s, offset, v);
    return s;
  };
  cases.push_back({"version 65537", LabnBuild({{"a.txt", "x"}}, 65537)});
  cases.push_back({"bad magic", "LABM" + good.substr(4)});
  cases.push_back({"short header", good.substr(0, 10)});
  cases.push_back({"entry count past the end", patched(8, 0x10000000)});
  cases.push_back({"name offset outside the table", patched(32, 12)});
  cases.push_back({"name table not terminated", [&] {
                     std::string s = good;
                     s[48 + 11] = 'x';
                     return s;
                   }()});
  cases.push_back({"data past the end", patched(16 + 8, 1000)});
  cases.push_back({"data offset past the end", patched(16 + 4, 0xFFFFFFF0u)});
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("refused.log"), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string lab = Path("bad.lab");
    WriteWhole(lab, c.bytes);
    EXPECT_EQ(Res_OpenPack(lab.c_str()), nullptr);
    EXPECT_EQ(Res_PackCount(), 0);
  }
  EXPECT_EQ(Res_OpenPack(Path("missing.lab").c_str()), nullptr);
  // One line for each refusal, and no blank line after it.
  kv_Log_ResetForTest();
  const std::string log = ReadHostFile("refused.log");
  size_t refusals = 0;
  for (size_t at = log.find("refused: "); at != std::string::npos;
       at = log.find("refused: ", at + 1))
    ++refusals;
  EXPECT_EQ(refusals, cases.size()) << log;
  EXPECT_NE(log.find("missing.lab could not be opened"), std::string::npos) << log;
  EXPECT_EQ(log.find("\n\n"), std::string::npos) << log;
  WriteWhole(Path("good.lab"), good);
  EXPECT_NE(Res_OpenPack(Path("good.lab").c_str()), nullptr);
  EXPECT_EQ(ReadAll("b.txt"), "world");
  LabnBuild({{"a.txt", "x"}}, 65536);  // the highest version still read
  WriteWhole(Path("v.lab"), LabnBuild({{"v.txt", "x"}}, 65536));
  EXPECT_NE(Res_OpenPack(Path("v.lab").c_str()), nullptr);
}

TEST_F(FileLayer, TwoThreadsReadWindowsOfOneArchive) {
  const std::string one = Pattern(50000, 3), two = Pattern(40000, 4);
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"one", one}, {"two", two}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  auto reader = [this](const char* name, const std::string& expected, bool* ok) {
    *ok = true;
    for (int round = 0; round < 20 && *ok; ++round) {
      const stdFile_t f = hs_.fileOpen(name, "rb");
      if (!f) {
        *ok = false;
        return;
      }
      std::string got;
      char buffer[6000];
      size_t chunk = 100 + round * 300;
      for (size_t n; (n = hs_.fileRead(f, buffer, std::min(chunk, sizeof buffer))) > 0;) {
        got.append(buffer, n);
      }
      hs_.fileClose(f);
      *ok = got == expected;
    }
  };
  bool ok1 = false, ok2 = false;
  std::thread t1(reader, "one", one, &ok1);
  std::thread t2(reader, "two", two, &ok2);
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}

TEST_F(FileLayer, SlotsRunOutAndFreeSlotsAreHarmless) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"x", "1"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  std::vector<stdFile_t> open;
  for (stdFile_t f; (f = hs_.fileOpen("x", "rb")) != 0;) open.push_back(f);
  EXPECT_EQ(open.size(), static_cast<size_t>(kResMaxOpenFiles));
  for (stdFile_t f : open) EXPECT_EQ(hs_.fileClose(f), 0);
  char buffer[4];
  const stdFile_t freeSlot = open.front();
  EXPECT_EQ(hs_.fileRead(freeSlot, buffer, 4), 0u);
  EXPECT_EQ(hs_.fileGets(freeSlot, buffer, 4), nullptr);
  EXPECT_EQ(hs_.fileTell(freeSlot), -1);
  EXPECT_EQ(hs_.fileEof(freeSlot), 1);
  EXPECT_EQ(hs_.fileSeek(freeSlot, 0, 0), 1);
  EXPECT_EQ(hs_.fileClose(freeSlot), 1);
  EXPECT_EQ(hs_.fileOpen("missing.file", "rb"), 0);
}

TEST_F(FileLayer, WindowsOutliveClosedPacks) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"x.txt", "still here"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  const stdFile_t f = hs_.fileOpen("x.txt", "rb");
  Res_ClosePacks();
  char buffer[32] = {};
  EXPECT_EQ(hs_.fileRead(f, buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "still here");
  hs_.fileClose(f);
  EXPECT_EQ(hs_.fileOpen("x.txt", "rb"), 0);
}

// Names never reach files outside the game folder (the working folder): not
// by an absolute path, nor through a link in a data folder; writing to an
// absolute path stays inside the game folder too.
TEST_F(FileLayer, NamesStayInsideTheGameFolder) {
  const std::string outside = vqtest::TempPath("res_outside");
  std::filesystem::create_directories(outside);
  WriteWhole(outside + "/secret.txt", "secret");
  std::filesystem::create_directories(Path("Data"));
  std::filesystem::create_symlink(outside + "/secret.txt", Path("Data/linked.txt"));
  ASSERT_NE(Res_OpenPack((dir_ + "/Data/").c_str()), nullptr);
  for (const std::string& name : {outside + "/secret.txt", std::string("/etc/passwd"),
                                  std::string("/proc/self/environ"), std::string("linked.txt"),
                                  dir_ + "/data/linked.txt"}) {
    EXPECT_EQ(ReadAll(name.c_str()), "<none>") << name;
    EXPECT_EQ(hs_.fileSize(name.c_str()), 0) << name;
  }
  const stdFile_t out = hs_.fileOpen((outside + "/written.txt").c_str(), "wb");
  if (out) hs_.fileClose(out);
  EXPECT_FALSE(std::filesystem::exists(outside + "/written.txt"));
  std::filesystem::remove_all(outside);
}

// Only regular files are read: a pipe (even one with a writer, which would
// otherwise open at once) or a device would block the reader or never end.
TEST_F(FileLayer, OnlyRegularFilesAreRead) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  const int writer = open(Path("pipe").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  std::filesystem::create_symlink("/dev/zero", Path("zero"));
  for (const std::string& name : {Path("pipe"), Path("zero"), std::string("/dev/zero"), dir_}) {
    const stdFile_t f = hs_.fileOpen(name.c_str(), "rb");
    EXPECT_EQ(f, 0) << name;
    if (f) hs_.fileClose(f);
  }
  close(writer);
}

TEST_F(FileLayer, InstallAndRestoreTheServices) {
  EXPECT_EQ(hs_.fileOpen, Res_FileOpen);
  Res_InstallFileServices(&hs_);  // a second install keeps the platform copy
  Res_RestoreFileServices(&hs_);
  EXPECT_NE(hs_.fileOpen, Res_FileOpen);
  EXPECT_NE(hs_.fileRead, Res_FileRead);
  WriteWhole(Path("plain.txt"), "plain");
  EXPECT_EQ(ReadAll(Path("plain.txt").c_str()), "plain");
  Res_InstallFileServices(&hs_);
}

}  // namespace

namespace {

// Writes the seed corpus of the archive fuzz target into the folder named by
// VQ_WRITE_LABN_CORPUS (run by hand; the seeds are committed).
TEST(LabnCorpus, WriteSeeds) {
  const char* folder = std::getenv("VQ_WRITE_LABN_CORPUS");
  if (!folder) GTEST_SKIP() << "VQ_WRITE_LABN_CORPUS not set";
  const std::string dir(folder);
  WriteWhole(dir + "/two_entries.lab",
             LabnBuild({{"a.txt", "line one\r\nline two\r\nlast"}, {"B.TXT", "b\rc\n"}}));
  WriteWhole(dir + "/duplicates.lab", LabnBuild({{"a.txt", "first"}, {"A.TXT", "second"}}));
  WriteWhole(dir + "/big_entry.lab",
             LabnBuild({{"c.bin", std::string(9000, 'z')}, {"a.txt", "after"}}));
  WriteWhole(dir + "/empty.lab", LabnBuild({}));
  std::string bad = LabnBuild({{"a.txt", "x"}, {"b.txt", "y"}});
  LabnPatch32(&bad, 16 + 16 + 8, 1000);  // the second entry runs past the end
  WriteWhole(dir + "/data_past_end.lab", bad);
}

}  // namespace
