#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../TestTempDir.h"
#include "VembraTestHost.h"
#include "VembraTestSupport.h"
#include "std/stdFileUtil.h"
#include "vembra/vembra_gzio.h"
#include "vembra/vembra_zfilio.h"

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = char('a' + (x >> 16) % 7);
  }
  return s;
}

void WriteRaw(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string ReadRaw(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  char b[4096];
  size_t n;
  while ((n = fread(b, 1, sizeof b, f)) > 0) out.append(b, n);
  fclose(f);
  return out;
}

// A gzip member made by zlib's own writer.
std::string GzipBytes(const std::string& text) {
  std::string path = vqtest::TempDir() + "/member.gz";
  gzFile g = gzopen(path.c_str(), "wb");
  gzwrite(g, text.data(), unsigned(text.size()));
  gzclose(g);
  return ReadRaw(path);
}

const OrnModuleListEntry kModules[] = {
    {vembratest::RegisterTestMemory, nullptr}, {vembratest::RegisterTestStdio, nullptr},
    {vembra_stdfile_Register, nullptr},        {vembra_zfilio_Register, "FILIO=vembra_stdio"},
    {vembra_directory_Register, nullptr},      {nullptr, nullptr}};

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OrnShare_Init(vembratest::RecordingPrinter, kModules, "FILIO=vembra_zfilio", "");
    ASSERT_EQ(OrnShare_Startup(), 0);
    static const intptr_t tags[] = {1, reinterpret_cast<intptr_t>(".snm"), 0};
    static bool configured = false;
    if (!configured) vembra_zfilio_Configure(tags);
    configured = true;
    io = static_cast<VembraFilio*>(OrnShare_Subscribe("FILIO.io", nullptr));
    file = static_cast<VembraFile*>(OrnShare_Subscribe("FILE", nullptr));
    ASSERT_EQ(io, vembra_zfilio_Table());
  }
  void TearDown() override {
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  std::string Path(const char* name) { return vqtest::TempDir() + "/" + name; }
  std::string ReadAll(VembraFileHandle h) {
    std::string out;
    char b[1000];
    int32_t n;
    while ((n = io->Read(h, b, sizeof b)) > 0) out.append(b, size_t(n));
    return out;
  }
  VembraFilio* io = nullptr;
  VembraFile* file = nullptr;
};

TEST_F(FilesTest, SnmOpensGzipOrPlainAndUpdateModeNeverDecompresses) {
  const std::string text = Pattern(70000);
  const std::string gz = GzipBytes(text);
  WriteRaw(Path("intro.snm"), gz);
  VembraFileHandle h = io->Open(Path("intro.snm").c_str(), "rb");
  ASSERT_TRUE(h);
  EXPECT_EQ(io->Seek(h, 0, 2), 70000);
  EXPECT_EQ(io->Tell(h), 70000);  // the trailer's size
  io->Seek(h, 0, 0);
  EXPECT_EQ(ReadAll(h), text);
  io->Close(h);

  h = io->Open(Path("intro.snm").c_str(), "r+b");
  ASSERT_TRUE(h);
  EXPECT_EQ(ReadAll(h), gz);
  io->Close(h);

  WriteRaw(Path("intro.snm"), text);
  h = io->Open(Path("intro.snm").c_str(), "rb");
  ASSERT_TRUE(h);
  EXPECT_EQ(ReadAll(h), text);
  io->Close(h);
  EXPECT_EQ(io->Open(Path("missing.snm").c_str(), "rb"), nullptr);
}

TEST_F(FilesTest, LazySeeksReinflateBackward) {
  const std::string text = Pattern(100000);
  WriteRaw(Path("seek.gz"), GzipBytes(text));
  VembraFileHandle h = io->Open(Path("seek.gz").c_str(), "rb");
  ASSERT_TRUE(h);
  char b[100];
  const int32_t offsets[] = {90000, 10, 50000, 49000};
  for (int32_t off : offsets) {
    EXPECT_EQ(io->Seek(h, off, 0), off);
    ASSERT_EQ(io->Read(h, b, 100), 100);
    EXPECT_EQ(std::string(b, 100), text.substr(size_t(off), 100)) << off;
    EXPECT_EQ(io->Tell(h), off + 100);
  }
  EXPECT_EQ(io->Seek(h, -100, 1), 0);  // origin 1 answers 0, as the callers expect
  EXPECT_EQ(io->Seek(h, 0, 7), 5);
  io->Close(h);
}

TEST_F(FilesTest, StdFileSizeGetsEofPrintfGetcPutc) {
  WriteRaw(Path("text.txt"), "abcdefgh\nxy");
  VembraFileHandle h = file->io.Open(Path("text.txt").c_str(), "rb");
  ASSERT_TRUE(h);
  EXPECT_EQ(file->Size(h), 11);
  char line[16];
  memset(line, 'Z', sizeof line);
  EXPECT_EQ(file->Gets(h, line, 5), line);
  EXPECT_STREQ(line, "abcd");
  EXPECT_STREQ(file->Gets(h, line, 16), "efgh\n");
  EXPECT_EQ(file->Getc(h), 'x');
  EXPECT_EQ(file->Eof(h), 0);
  EXPECT_STREQ(file->Gets(h, line, 16), "y");
  EXPECT_EQ(file->Eof(h), 1);
  EXPECT_EQ(file->Gets(h, line, 16), nullptr);
  EXPECT_EQ(file->Getc(h), -1);
  file->io.Close(h);

  h = file->io.Open(Path("out.txt").c_str(), "wb");
  ASSERT_TRUE(h);
  EXPECT_EQ(file->Printf(h, "%s-%d", "n", 42), 4);
  EXPECT_EQ(file->Putc(h, 0x141), 0x41);
  file->io.Close(h);
  EXPECT_EQ(ReadRaw(Path("out.txt")), "n-42A");
}

TEST_F(FilesTest, DirectoryPaths) {
  VembraDirectory* d = static_cast<VembraDirectory*>(OrnShare_Subscribe("DIRECTORY", nullptr));
  ASSERT_TRUE(d);
  char out[256];
  EXPECT_EQ(d->MakePath(out, "D:\\game\\", "..\\data\\.x\\movies", sizeof out), 0);
  EXPECT_STREQ(out, "D:\\data\\movies\\");
  EXPECT_EQ(d->MakePath(out, "D:\\game\\", "\\top\\a", sizeof out), 0);
  EXPECT_STREQ(out, "D:\\top\\a\\");
  EXPECT_EQ(d->MakePath(out, "D:\\game\\", "long\\name", 8), -1);
  EXPECT_EQ(d->ParentDir(out, "D:\\game\\"), 0);
  EXPECT_STREQ(out, "D:\\");
  EXPECT_EQ(d->ParentDir(out, "D:\\"), -1);
  EXPECT_EQ(d->GetCurrentDir(out, sizeof out), 0);
  EXPECT_EQ(out[strlen(out) - 1], '\\');
  // Relative names: the platform resolves them below the working folder.
  WriteRaw("vembra_a.txt", "x");
  stdFileUtil_NoteEntryChanged("vembra_a.txt");  // made behind the resolver's back
  EXPECT_EQ(d->Exists("vembra_a.txt"), 1);
  EXPECT_EQ(d->Rename("vembra_a.txt", "vembra_b.txt"), 0);
  EXPECT_EQ(d->Exists("vembra_a.txt"), 0);
  EXPECT_EQ(d->Exists("vembra_b.txt"), 1);
  EXPECT_EQ(d->Remove("vembra_b.txt"), 0);
  EXPECT_EQ(d->Exists("vembra_b.txt"), 0);
}

// The gzip layer alone, over the test's plain file table.
class GzTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) { return vqtest::TempDir() + "/" + name; }
  const VembraFilio* io = vembratest::TestStdio();
};

TEST_F(GzTest, NonGzipIsRefused) {
  WriteRaw(Path("plain.bin"), "plain text, not gzip");
  EXPECT_EQ(vembra_gz_Open(io, Path("plain.bin").c_str(), "rb"), nullptr);
  WriteRaw(Path("one.bin"), "\x1f");
  EXPECT_EQ(vembra_gz_Open(io, Path("one.bin").c_str(), "rb"), nullptr);
  // A header whose name field runs to the end of the file is a data error.
  WriteRaw(Path("name.bin"), std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03name", 14));
  EXPECT_EQ(vembra_gz_Open(io, Path("name.bin").c_str(), "rb"), nullptr);
}

TEST_F(GzTest, TwoMembersInOneRead) {
  WriteRaw(Path("two.gz"), GzipBytes("first member|") + GzipBytes("second member"));
  VembraGzStream* s = vembra_gz_Open(io, Path("two.gz").c_str(), "rb");
  ASSERT_TRUE(s);
  int code = 99;
  EXPECT_STREQ(vembra_gz_Error(s, &code), "");
  EXPECT_EQ(code, Z_OK);
  char b[100];
  EXPECT_EQ(vembra_gz_Read(s, b, sizeof b), 26);
  EXPECT_EQ(std::string(b, 26), "first member|second member");
  EXPECT_EQ(vembra_gz_Read(s, b, sizeof b), 0);
  EXPECT_EQ(vembra_gz_Close(s), 0);
  EXPECT_STREQ(vembra_gz_Error(nullptr, &code), "stream error");
}

TEST_F(GzTest, WrongCrcGivesTheBytesThenMinusOne) {
  std::string gz = GzipBytes("checked text");
  gz[gz.size() - 8] ^= 0x55;  // first CRC byte of the trailer
  WriteRaw(Path("crc.gz"), gz);
  VembraGzStream* s = vembra_gz_Open(io, Path("crc.gz").c_str(), "rb");
  ASSERT_TRUE(s);
  char b[100];
  EXPECT_EQ(vembra_gz_Read(s, b, sizeof b), 12);
  EXPECT_EQ(vembra_gz_Read(s, b, sizeof b), -1);
  int code = 0;
  std::string text = vembra_gz_Error(s, &code);
  EXPECT_EQ(code, Z_DATA_ERROR);
  EXPECT_EQ(text.rfind(Path("crc.gz") + ": ", 0), 0u);
  EXPECT_EQ(vembra_gz_Seek(s, 0, 0), -1);
  vembra_gz_Close(s);
}

TEST_F(GzTest, TruncatedMemberIsAnErrorNotTheEnd) {
  std::string gz = GzipBytes(Pattern(5000));
  WriteRaw(Path("cut.gz"), gz.substr(0, gz.size() / 2));
  VembraGzStream* s = vembra_gz_Open(io, Path("cut.gz").c_str(), "rb");
  ASSERT_TRUE(s);
  std::vector<char> b(10000);
  int32_t n = vembra_gz_Read(s, b.data(), 10000);
  EXPECT_LT(n, 5000);
  if (n > 0) {
    EXPECT_EQ(vembra_gz_Read(s, b.data(), 10000), -1);
  }
  vembra_gz_Close(s);
}

TEST_F(GzTest, WrittenFileHasFixedHeaderAndZlibReadsIt) {
  const std::string text = Pattern(40000);
  VembraGzStream* s = vembra_gz_Open(io, Path("written.gz").c_str(), "wb9");
  ASSERT_TRUE(s);
  EXPECT_EQ(vembra_gz_Write(s, text.data(), 30000), 30000);
  EXPECT_EQ(vembra_gz_Seek(s, 5, 1), 30005);  // a gap of zero bytes
  EXPECT_EQ(vembra_gz_Seek(s, 0, 0), -1);     // never backward
  EXPECT_EQ(vembra_gz_Write(s, text.data() + 30005, 9995), 9995);
  char b[4];
  EXPECT_EQ(vembra_gz_Read(s, b, 4), -2);
  EXPECT_EQ(vembra_gz_Close(s), 0);
  std::string bytes = ReadRaw(Path("written.gz"));
  const unsigned char header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 0x0B};
  ASSERT_GE(bytes.size(), 18u);
  EXPECT_EQ(memcmp(bytes.data(), header, 10), 0);

  std::string expected = text;
  memset(expected.data() + 30000, 0, 5);
  gzFile g = gzopen(Path("written.gz").c_str(), "rb");
  std::vector<char> back(50000);
  int n = gzread(g, back.data(), 50000);
  EXPECT_EQ(gzclose(g), Z_OK);
  ASSERT_EQ(n, 40000);
  EXPECT_EQ(std::string(back.data(), 40000), expected);
}

}  // namespace
