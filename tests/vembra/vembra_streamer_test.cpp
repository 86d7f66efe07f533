#include "vembra/vembra_streamer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "VembraTestHost.h"
#include "VembraTestSupport.h"

namespace {

// An in-memory FILIO whose every other read comes back one byte short.
struct MemFile {
  const std::string* data;
  int32_t pos;
};
std::map<std::string, std::string> g_files;
int g_reads = 0;

VembraFilio g_memio = {[](const char* path, const char*) -> VembraFileHandle {
                         auto it = g_files.find(path);
                         return it == g_files.end() ? nullptr : new MemFile{&it->second, 0};
                       },
                       [](VembraFileHandle h) {
                         delete static_cast<MemFile*>(h);
                         return 0;
                       },
                       [](VembraFileHandle h, void* b, int32_t n) {
                         auto* f = static_cast<MemFile*>(h);
                         int32_t left = int32_t(f->data->size()) - f->pos;
                         int32_t got = std::min(n, left);
                         if (++g_reads % 2 == 0 && got > 0) --got;  // a short read
                         memcpy(b, f->data->data() + f->pos, size_t(got));
                         f->pos += got;
                         return got;
                       },
                       [](VembraFileHandle, const void*, int32_t) { return int32_t(-1); },
                       [](VembraFileHandle h) { return static_cast<MemFile*>(h)->pos; },
                       [](VembraFileHandle h, int32_t o, int w) {
                         auto* f = static_cast<MemFile*>(h);
                         f->pos = w == 0 ? o : w == 1 ? f->pos + o : int32_t(f->data->size()) + o;
                         return 0;
                       },
                       [](VembraFileHandle) { return 0; }};

int RegisterMemIo(OrnShareServices* s, const char*) {
  s->Publish("FILIO=memory", &g_memio);
  return 0;
}

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {RegisterMemIo, nullptr},
                                       {vembra_streamer_Register, nullptr},
                                       {nullptr, nullptr}};

std::string Numbered(size_t n, char salt) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + size_t(salt)) & 0xFF);
  return s;
}

class StreamerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vembratest::Messages().clear();
    OrnShare_Init(vembratest::RecordingPrinter, kModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    st = vembra_streamer_Table();
  }
  void TearDown() override {
    st->Destroy(&s);
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  // Fills until a block of n comes (or gives up).
  uint8_t* Block(int32_t n) {
    for (int i = 0; i < 2000; ++i) {
      uint8_t* b = st->GetBlock(s, n);
      if (b != kVembraNotYet) return b;
      st->Fill(s, 12 * kVembraSector);
    }
    return kVembraNotYet;
  }
  VembraStreamerTable* st = nullptr;
  VembraStream* s = nullptr;
};

TEST_F(StreamerTest, RingIsWholeSectorsAndRefusesTinySizes) {
  ASSERT_EQ(st->Create(&s, 500001, 100000), 0);
  EXPECT_EQ(vembra_streamer_RingSize(s), 244 * 2048);
  VembraStream* t = nullptr;
  EXPECT_EQ(st->Create(&t, 2047, 100), -1);
  EXPECT_EQ(st->Create(&t, 4096, 7), -1);
  EXPECT_EQ(t, nullptr);
}

TEST_F(StreamerTest, BlocksFromOffsetEightAcrossTheRingEnd) {
  g_files["a.snm"] = Numbered(60000, 1);
  const std::string& data = g_files["a.snm"];
  ASSERT_EQ(st->Create(&s, 8192, 1000), 0);
  EXPECT_EQ(st->FillPercent(s), 100);  // no file yet
  EXPECT_EQ(st->GetBlock(s, 8), kVembraNotYet);
  ASSERT_EQ(st->Open(s, "a.snm", 8), 0);
  EXPECT_EQ(st->Open(s, "missing.snm", 0), -1);
  st->Fill(s, 12 * kVembraSector);
  EXPECT_EQ(Block(8), nullptr);  // the restart point comes first
  size_t pos = 8;
  // Blocks of varying sizes wrap around the 8192-byte ring many times and
  // always come back contiguous and in order.
  for (int i = 0; pos + 1000 <= data.size(); ++i) {
    int32_t n = 8 + (i * 37) % 993;
    uint8_t* b = Block(n);
    ASSERT_NE(b, kVembraNotYet) << pos;
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(memcmp(b, data.data() + pos, size_t(n)), 0) << "block " << i << " at " << pos;
    pos += size_t(n);
  }
}

TEST_F(StreamerTest, TooLargeBlockAndReopen) {
  g_files["a.snm"] = Numbered(20000, 1);
  g_files["b.snm"] = Numbered(20000, 2);
  ASSERT_EQ(st->Create(&s, 16384, 512), 0);
  ASSERT_EQ(st->Open(s, "a.snm", 0), 0);
  EXPECT_EQ(Block(8), nullptr);
  uint8_t* b = Block(100);
  ASSERT_NE(b, kVembraNotYet);
  EXPECT_EQ(b[99], uint8_t(g_files["a.snm"][99]));
  EXPECT_EQ(st->GetBlock(s, 513), kVembraTooLarge);
  ASSERT_EQ(vembratest::Messages().size(), 1u);
  EXPECT_EQ(vembratest::Messages()[0], "File Streamer:  Invalid frame size 513");

  ASSERT_EQ(st->Open(s, "b.snm", 0), 0);
  for (int i = 0; i < 4 && !st->IsRestartReady(s); ++i) st->Fill(s, 4096);
  EXPECT_TRUE(st->IsRestartReady(s));
  EXPECT_EQ(Block(8), nullptr);  // once
  b = Block(8);
  ASSERT_NE(b, kVembraNotYet);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(memcmp(b, g_files["b.snm"].data(), 8), 0);
  EXPECT_LT(st->FillPercent(s), 100);
  st->Reset(s);
  EXPECT_EQ(st->GetBlock(s, 8), kVembraNotYet);
  EXPECT_EQ(st->FillPercent(s), 100);
}

}  // namespace
