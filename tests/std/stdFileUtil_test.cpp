#include "std/stdFileUtil.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "../TestTempDir.h"
#include "std/std.h"

namespace fs = std::filesystem;

namespace {

class FileUtil : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    stdFileUtil_SetGameFolder("");
    root_ = std::string("fu_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

  static int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
      while (readdir(dir)) ++count;
      closedir(dir);
    }
    return count;
  }

  std::set<std::string> Names(int mode, const char* pattern) {
    std::set<std::string> names;
    FileSearch* search = stdFileUtil_NewFind(root_.c_str(), mode, pattern);
    EXPECT_NE(search, nullptr);
    FileSearchResult result;
    while (stdFileUtil_FindNext(search, &result)) {
      EXPECT_EQ(result.isDirectory != 0, fs::is_directory(root_ + "/" + result.name))
          << result.name;
      names.insert(result.name);
    }
    EXPECT_EQ(stdFileUtil_FindNext(search, &result), 0);  // stays at the end
    stdFileUtil_DisposeFind(search);
    return names;
  }

  HostServices hs_;
  std::string root_;
};

TEST_F(FileUtil, SearchModes) {
  Touch(root_ + "/a.LAB");
  Touch(root_ + "/b.txt");
  fs::create_directory(root_ + "/Sub1");
  fs::create_directory(root_ + "/sub2.d");
  using S = std::set<std::string>;
  EXPECT_EQ(Names(0, ""), (S{".", "..", "a.LAB", "b.txt", "Sub1", "sub2.d"}));
  EXPECT_EQ(Names(1, ""), (S{"a.LAB", "b.txt"}));
  EXPECT_EQ(Names(2, ""), (S{".", "..", "Sub1", "sub2.d"}));
  EXPECT_EQ(Names(3, "lab"), (S{"a.LAB"}));
  EXPECT_EQ(Names(3, "*.TXT"), (S{"b.txt"}));
  EXPECT_EQ(Names(3, "B.txt"), (S{"b.txt"}));

  // The write time is the low word of the Windows file time (100 ns since 1601).
  FileSearchResult found;
  ASSERT_EQ(stdFileUtil_FindFirstMatch(root_.c_str(), 3, "b.txt", &found), 1);
  struct stat st;
  ASSERT_EQ(stat((root_ + "/b.txt").c_str(), &st), 0);
  const uint64_t fileTime =
      (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
      static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  EXPECT_EQ(found.writeTime, static_cast<uint32_t>(fileTime));
  EXPECT_EQ(found.isDirectory, 0);

  FileSearch* search = stdFileUtil_NewFind("ignored", 4, (root_ + "\\SUB*").c_str());
  EXPECT_STREQ(search->pattern, (root_ + "\\SUB*").c_str());
  FileSearchResult result;
  EXPECT_EQ(stdFileUtil_FindNext(search, &result), 1);
  EXPECT_EQ(stdFileUtil_FindNext(search, &result), 1);
  EXPECT_EQ(stdFileUtil_FindNext(search, &result), 0);
  stdFileUtil_ResetFind(search);  // starts again
  EXPECT_EQ(stdFileUtil_FindNext(search, &result), 1);
  stdFileUtil_DisposeFind(search);

  search = stdFileUtil_NewFind("data", 3, "lab");
  EXPECT_STREQ(search->pattern, "data\\*.lab");
  stdFileUtil_DisposeFind(search);
  EXPECT_EQ(stdFileUtil_CountMatches(root_.c_str(), 0, nullptr), 6);
  EXPECT_EQ(stdFileUtil_CountMatches("no_such_folder", 0, nullptr), 0);
}

TEST_F(FileUtil, FileExistsLeavesNoSearchOpen) {
  Touch(root_ + "/Here.txt");
  const int before = OpenDescriptors();
  EXPECT_EQ(stdFileUtil_FileExists((root_ + "\\here.TXT").c_str()), 1);
  EXPECT_EQ(stdFileUtil_FileExists((root_ + "\\*.txt").c_str()), 1);
  EXPECT_EQ(stdFileUtil_FileExists((root_ + "\\nothing.txt").c_str()), 0);
  EXPECT_EQ(stdFileUtil_FileExists("no_folder\\nothing.txt"), 0);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(FileUtil, TooLongPatternFindsNothing) {
  const std::string longPath(kFindPatternSize + 10, 'p');
  FileSearch* search = stdFileUtil_NewFind(longPath.c_str(), 0, nullptr);
  ASSERT_NE(search, nullptr);
  FileSearchResult result;
  EXPECT_EQ(stdFileUtil_FindNext(search, &result), 0);
  stdFileUtil_DisposeFind(search);
}

TEST_F(FileUtil, WildcardsFollowWindowsRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "noext", true},     {"*.*", ".", true},         {"*.lab", "DATA.LAB", true},
      {"*.lab", "x.labx", false}, {"a?c", "ABC", true},       {"a?c", "ac", false},
      {"foo.*", "foo", true},     {"foo.*", "FOO.bar", true}, {"*.", "noext", true},
      {"*.", "a.b", false},       {"*a*b", "xxAyyB", true},   {"*a*b", "xxAyyBc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stdFileUtil_MatchPattern(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
}

TEST_F(FileUtil, MakeRemoveAndDeleteTreeWithoutFollowingLinks) {
  const std::string data = root_ + "\\Tree";
  EXPECT_NE(stdFileUtil_MakeDir(data.c_str()), 0);
  EXPECT_EQ(stdFileUtil_MakeDir(data.c_str()), 0);  // exists already
  fs::create_directories(root_ + "/Tree/a/b/c");
  fs::create_directories(root_ + "/Tree/empty");
  Touch(root_ + "/Tree/a/f1");
  Touch(root_ + "/Tree/a/b/c/f2");
  fs::create_directories(root_ + "/outside");
  Touch(root_ + "/outside/keep.txt");
  fs::create_directory_symlink(fs::absolute(root_ + "/outside"), root_ + "/Tree/a/link");

  EXPECT_EQ(stdFileUtil_RemoveDir((root_ + "\\tree\\EMPTY").c_str()), 1);
  EXPECT_FALSE(fs::exists(root_ + "/Tree/empty"));
  EXPECT_EQ(stdFileUtil_RemoveDir((root_ + "\\tree\\a").c_str()), 0);  // not empty
  EXPECT_EQ(stdFileUtil_DeleteFile((root_ + "\\TREE\\A\\F1").c_str()), 1);
  EXPECT_EQ(stdFileUtil_DeleteFile((root_ + "\\TREE\\A").c_str()), 0);  // a folder

  EXPECT_NE(stdFileUtil_DeleteTree((root_ + "\\tree").c_str()), 0);
  EXPECT_FALSE(fs::exists(root_ + "/Tree"));
  EXPECT_TRUE(fs::exists(root_ + "/outside/keep.txt"));
  EXPECT_EQ(stdFileUtil_DeleteTree((root_ + "\\tree").c_str()), 0);
}

TEST_F(FileUtil, ResolverMatchesEachComponentWithoutCase) {
  fs::create_directories(root_ + "/Data/Sets");
  Touch(root_ + "/Data/Sets/Room.SET");
  const std::string expected = root_ + "/Data/Sets/Room.SET";
  std::string cwd = fs::current_path().string();
  struct Case {
    std::string name;
    int found;
    std::string host;
  } cases[] = {
      {root_ + "\\data\\sets\\room.set", 1, expected},
      {root_ + "/DATA//Sets\\.\\ROOM.set", 1, expected},
      {"\\" + root_ + "\\data\\sets\\room.set", 1, expected},  // leading separator: game folder
      {"C:\\" + root_ + "\\data\\sets\\room.set", 1, expected},
      {cwd + "/" + root_ + "/data/sets/room.set", 1, expected},  // the game folder's own path
      {root_ + "\\data\\SETS\\New.txt", 0, root_ + "/Data/Sets/New.txt"},
      {root_ + "\\nope\\Sets\\room.set", 0, root_ + "/nope/Sets/room.set"},
      {"/etc/passwd", 0, "etc/passwd"},  // never the file-system root
      // ".." goes back within the name, never above the folder names resolve from.
      {root_ + "\\data\\..\\DATA\\sets\\..\\sets\\room.set", 1, expected},
      {"..\\..\\..\\..\\..\\..\\etc\\passwd", 0, ""},
      {root_ + "\\..\\..\\..\\..\\..\\..\\etc\\passwd", 0, ""},
      {"\\..\\etc\\passwd", 0, ""},
      {"C:\\..\\etc\\passwd", 0, ""},
      {"..", 0, ""},
      {"", 1, "."},
  };
  for (const Case& c : cases) {
    std::string host;
    EXPECT_EQ(stdFileUtil_ResolvePath(c.name.c_str(), &host), c.found) << c.name;
    EXPECT_EQ(host, c.host) << c.name;
  }

  // A game folder elsewhere: names resolve from it.
  stdFileUtil_SetGameFolder((root_ + "/Data").c_str());
  std::string host;
  EXPECT_EQ(stdFileUtil_ResolvePath("\\sets\\ROOM.SET", &host), 1);
  EXPECT_EQ(host, root_ + "/Data/Sets/Room.SET");
  EXPECT_EQ(stdFileUtil_ResolvePath("sets\\..\\..\\Data\\sets\\room.set", &host), 0);
  EXPECT_EQ(host, "");
  stdFileUtil_SetGameFolder("");
}

// Links inside the game folder (the working folder) are followed only while
// they stay inside it: a name whose real path leaves it is refused, for
// reading and for writing, and so is a name through a link to nothing.
TEST_F(FileUtil, ResolverRefusesLinksThatLeadOut) {
  const std::string outside = vqtest::TempPath("outside_" + root_);
  fs::create_directories(outside);
  Touch(outside + "/secret.txt");
  fs::create_directories(root_ + "/Data");
  Touch(root_ + "/Data/Room.set");
  fs::create_symlink(outside + "/secret.txt", root_ + "/Data/Secret.txt");
  fs::create_directory_symlink(outside, root_ + "/Out");
  fs::create_symlink(outside + "/missing/new.txt", root_ + "/Dangling");
  fs::create_symlink(fs::absolute(root_ + "/Data/Room.set"), root_ + "/Inside.set");
  struct Case {
    std::string name;
    int found;
    std::string host;
  } cases[] = {
      {root_ + "\\data\\secret.txt", 0, ""},
      {root_ + "\\out\\secret.txt", 0, ""},
      {root_ + "\\out\\new.txt", 0, ""},  // a file that would be made behind the link
      {root_ + "\\out", 0, ""},
      {root_ + "\\dangling", 0, ""},
      {root_ + "\\inside.set", 1, root_ + "/Inside.set"},  // a link that stays inside
      {root_ + "\\data\\room.set", 1, root_ + "/Data/Room.set"},
  };
  for (const Case& c : cases) {
    std::string host = "unchanged";
    EXPECT_EQ(stdFileUtil_ResolvePath(c.name.c_str(), &host), c.found) << c.name;
    EXPECT_EQ(host, c.host) << c.name;
  }
  EXPECT_EQ(stdFileUtil_DeleteFile((root_ + "\\out\\secret.txt").c_str()), 0);
  EXPECT_EQ(stdFileUtil_MakeDir((root_ + "\\out\\made").c_str()), 0);
  EXPECT_EQ(stdFileUtil_CountMatches((root_ + "\\out").c_str(), 0, nullptr), 0);
  EXPECT_TRUE(fs::exists(outside + "/secret.txt"));
  EXPECT_FALSE(fs::exists(outside + "/made"));
  fs::remove_all(outside);
}

// The -p folder is a search root: names that start with its absolute path
// resolve below it (any letter case), links inside it may not lead out of
// it, and nothing is written there; absolute names elsewhere resolve from
// the game folder.
TEST_F(FileUtil, ExtraSearchRootIsReadOnly) {
  const std::string extra = vqtest::TempPath("extra_" + root_);
  fs::create_directories(extra + "/Sets");
  Touch(extra + "/Sets/Room.SET");
  fs::create_symlink("/etc/passwd", extra + "/passwd");
  EXPECT_EQ(stdFileUtil_AddSearchRoot((extra + "/nothing").c_str()), "");
  const std::string root = stdFileUtil_AddSearchRoot(extra.c_str());
  ASSERT_EQ(root, fs::canonical(extra).string());
  std::string host;
  EXPECT_EQ(stdFileUtil_ResolvePath((root + "\\sets\\room.set").c_str(), &host), 1);
  EXPECT_EQ(host, root + "/Sets/Room.SET");
  EXPECT_EQ(stdFileUtil_ResolvePath((root + "/passwd").c_str(), &host), 0);
  EXPECT_EQ(host, "");
  EXPECT_EQ(stdFileUtil_ResolvePath((root + "/sets/../../x").c_str(), &host), 0);
  // Writing: the root is just another absolute name, taken from the game folder.
  EXPECT_EQ(stdFileUtil_ResolveWritePath((root + "/Sets/Room.SET").c_str(), &host), 0);
  EXPECT_EQ(host, root.substr(1) + "/Sets/Room.SET");
  EXPECT_EQ(stdFileUtil_DeleteFile((root + "/Sets/Room.SET").c_str()), 0);
  EXPECT_TRUE(fs::exists(extra + "/Sets/Room.SET"));
  stdFileUtil_ClearSearchRoots();
  EXPECT_EQ(stdFileUtil_ResolvePath((root + "/sets/room.set").c_str(), &host), 0);
  EXPECT_EQ(host, root.substr(1) + "/sets/room.set");
  fs::remove_all(extra);
}

TEST_F(FileUtil, ResolverCacheFollowsChanges) {
  fs::create_directories(root_ + "/Dir");
  Touch(root_ + "/Dir/Old.txt");
  std::string host;
  ASSERT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/old.txt").c_str(), &host), 1);

  // Made by someone else after the folder was cached: a miss reads it again.
  Touch(root_ + "/Dir/Fresh.TXT");
  EXPECT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/fresh.txt").c_str(), &host), 1);
  EXPECT_EQ(host, root_ + "/Dir/Fresh.TXT");

  // Removed by the program: the cached listing is dropped at once.
  EXPECT_EQ(stdFileUtil_DeleteFile((root_ + "\\DIR\\OLD.TXT").c_str()), 1);
  EXPECT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/old.txt").c_str(), &host), 0);

  // Renamed by someone else to another spelling: the stale hit is noticed.
  Touch(root_ + "/Dir/Other.txt");
  ASSERT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/other.txt").c_str(), &host), 1);
  fs::rename(root_ + "/Dir/Other.txt", root_ + "/Dir/OTHER.txt");
  EXPECT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/other.txt").c_str(), &host), 1);
  EXPECT_EQ(host, root_ + "/Dir/OTHER.txt");

  // Replaced by the program with another spelling: the new one is found.
  Touch(root_ + "/Dir/Swap.txt");
  ASSERT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/swap.txt").c_str(), &host), 1);
  fs::rename(root_ + "/Dir/Swap.txt", root_ + "/Dir/SWAP.txt");
  stdFileUtil_NoteEntryChanged(
      (fs::current_path().string() + "/" + root_ + "/Dir/SWAP.txt").c_str());
  EXPECT_EQ(stdFileUtil_ResolvePath((root_ + "/dir/swap.txt").c_str(), &host), 1);
  EXPECT_EQ(host, root_ + "/Dir/SWAP.txt");
}

TEST_F(FileUtil, FileNames) {
  EXPECT_STREQ(stdFileName_GetFileName("a\\b\\c.3do"), "c.3do");
  EXPECT_STREQ(stdFileName_GetFileName("plain"), "plain");
  EXPECT_EQ(stdFileName_GetExtension("dir.v2\\name"), nullptr);
  EXPECT_STREQ(stdFileName_GetExtension("dir\\name."), "");
  EXPECT_STREQ(stdFileName_GetExtension("dir\\name.tar.gz"), "gz");

  char path[16];
  std::strcpy(path, "a\\name");
  EXPECT_EQ(stdFileName_ChangeExtension(path, sizeof path, "bm"), 1);
  EXPECT_STREQ(path, "a\\name.bm");
  EXPECT_EQ(stdFileName_ChangeExtension(path, sizeof path, "zbm"), 1);
  EXPECT_STREQ(path, "a\\name.zbm");
  EXPECT_EQ(stdFileName_ChangeExtension(path, sizeof path, "muchtoolong"), 0);
  EXPECT_STREQ(path, "a\\name.zbm");
  EXPECT_EQ(stdFileName_AddDefaultExtension(path, sizeof path, "x"), 0);
  std::strcpy(path, "a\\name");
  EXPECT_EQ(stdFileName_AddDefaultExtension(path, sizeof path, "toolongext"), 0);
  EXPECT_STREQ(path, "a\\name");
  EXPECT_EQ(stdFileName_AddDefaultExtension(path, sizeof path, "cos"), 1);
  EXPECT_STREQ(path, "a\\name.cos");
  char* old = stdFileName_ClearExtension(path);
  EXPECT_STREQ(path, "a\\name.");
  EXPECT_EQ(old, path + 7);
  EXPECT_NE(stdFileName_StripExtension(path), nullptr);
  EXPECT_STREQ(path, "a\\name");
  EXPECT_EQ(stdFileName_StripExtension(path), nullptr);

  char base[32] = "c:\\x\\y.z\\model.3do";
  stdFileName_MakeBaseName(base);
  EXPECT_STREQ(base, "model");

  char out[8];
  EXPECT_EQ(stdFileName_CopyExtension(out, 4, "x\\name.abcd"), 1);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(stdFileName_CopyExtension(out, sizeof out, "x.y\\name"), 0);
  EXPECT_STREQ(out, "");
  stdFileName_CopyDirectory(out, sizeof out, "file.txt");
  EXPECT_STREQ(out, "file.tx");  // bounded, no backslash: the whole (cut) name
  stdFileName_CopyDirectory(out, sizeof out, "d\\e\\f.txt");
  EXPECT_STREQ(out, "d\\e");
  stdFileName_CopyFileName(out, sizeof out, "d\\longfilename");
  EXPECT_STREQ(out, "longfil");
  stdFileName_CopyBaseName(out, sizeof out, "d\\ab.c.txt");
  EXPECT_STREQ(out, "ab.c");

  char joined[12] = "";
  stdFileName_AppendPath(joined, "data", sizeof joined);
  EXPECT_STREQ(joined, "data");
  stdFileName_AppendPath(joined, "sets", sizeof joined);
  EXPECT_STREQ(joined, "data\\sets");
  stdFileName_AppendPath(joined, "room.set", sizeof joined);
  EXPECT_STREQ(joined, "data\\sets\\r");  // never beyond size - 1
  stdFileName_JoinPath(joined, sizeof joined, "a\\", "b");
  EXPECT_STREQ(joined, "a\\b");
  stdFileName_JoinPath3(joined, sizeof joined, "a", "b", "c.d");
  EXPECT_STREQ(joined, "a\\b\\c.d");
}

}  // namespace
