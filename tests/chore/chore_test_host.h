// What the chore tests give the library: a services record over malloc and an
// in-memory file system, a save buffer with its transfer functions, and a set
// of fake component tags that record every callback. The test executable
// links only libchore.so, so all of this lives here.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "chore/costume.h"

namespace chore_test {

// ---------------------------------------------------------------------------
// Services

struct OpenFile {
  std::string name;
  size_t position = 0;
  bool writing = false;
  bool open = false;
};

inline std::map<std::string, std::string> g_files;
inline std::vector<OpenFile> g_open(1);  // handle = index; 0 is never used
inline std::vector<std::string> g_log;
inline std::vector<std::string> g_asserts;
inline std::vector<std::string> g_opened;  // (mode path) of every open
inline long g_liveBlocks = 0;
inline long g_allocFailAfter = -1;  // fail the allocation after this many more

inline void* TestAlloc(size_t size, const char*, int) {
  if (g_allocFailAfter == 0) return nullptr;
  if (g_allocFailAfter > 0) --g_allocFailAfter;
  ++g_liveBlocks;
  return malloc(size);
}
inline void TestFree(void* block) {
  if (block) --g_liveBlocks;
  free(block);
}
inline void* TestRealloc(void* block, size_t size, const char* file, int line) {
  if (!block) return TestAlloc(size, file, line);
  if (g_allocFailAfter == 0) return nullptr;
  if (g_allocFailAfter > 0) --g_allocFailAfter;
  return realloc(block, size);
}
inline int TestPrint(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  g_log.emplace_back(text);
  return 0;
}
inline void TestAssert(const char* message, const char*, int) {
  g_asserts.emplace_back(message);
}

inline stdFile_t TestOpen(const char* path, const char* mode) {
  g_opened.push_back(std::string(mode) + " " + path);
  const bool writing = mode[0] == 'w';
  if (writing) {
    g_files[path].clear();
  } else if (!g_files.count(path)) {
    return 0;
  }
  g_open.push_back(OpenFile{path, 0, writing, true});
  return stdFile_t(g_open.size() - 1);
}
inline int TestClose(stdFile_t file) {
  g_open.at(size_t(file)).open = false;
  return 0;
}
// One line, ending at LF or CR (CR LF counts as one end); the buffer then
// ends with one line feed.
inline char* TestGets(stdFile_t file, char* buffer, int size) {
  OpenFile& f = g_open.at(size_t(file));
  EXPECT_TRUE(f.open);
  const std::string& text = g_files[f.name];
  if (f.position >= text.size() || size < 2) return nullptr;
  int n = 0;
  while (f.position < text.size() && n < size - 2) {
    const char c = text[f.position++];
    if (c == '\n' || c == '\r') {
      if (c == '\r' && f.position < text.size() && text[f.position] == '\n') ++f.position;
      buffer[n++] = '\n';
      buffer[n] = 0;
      return buffer;
    }
    buffer[n++] = c;
  }
  buffer[n] = 0;
  return buffer;
}
inline int TestPrintf(stdFile_t file, const char* format, ...) {
  OpenFile& f = g_open.at(size_t(file));
  EXPECT_TRUE(f.open && f.writing);
  char text[4096];
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  g_files[f.name] += text;
  return n;
}
inline int g_privateNotices = 0;
inline int TestSetPrivate(stdFile_t) {
  ++g_privateNotices;
  return 0;
}

inline HostServices MakeServices() {
  HostServices hs{};
  hs.ticksPerSecond = 1000.0f;
  hs.printMessage = hs.printStatus = hs.printWarning = hs.printError = &TestPrint;
  hs.assertFail = &TestAssert;
  hs.memAlloc = &TestAlloc;
  hs.memFree = &TestFree;
  hs.memRealloc = &TestRealloc;
  hs.fileOpen = &TestOpen;
  hs.fileClose = &TestClose;
  hs.fileGets = &TestGets;
  hs.filePrintf = &TestPrintf;
  hs.fileSetPrivate = &TestSetPrivate;
  return hs;
}

// ---------------------------------------------------------------------------
// Save buffer

inline std::vector<uint8_t> g_save;
inline size_t g_savePos = 0;
inline int SaveWrite(void* data, uint32_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_save.insert(g_save.end(), bytes, bytes + length);
  return 0;
}
inline int SaveRead(void* data, uint32_t length) {
  if (g_savePos + length > g_save.size()) return 1;
  memcpy(data, g_save.data() + g_savePos, length);
  g_savePos += length;
  return 0;
}
inline void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}
inline uint32_t GetU32(const std::vector<uint8_t>& in, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(in.at(at + size_t(i))) << (8 * i);
  return v;
}

// ---------------------------------------------------------------------------
// Fake tags

constexpr uint32_t kModel = Cos_MakeCode("MMDL");
constexpr uint32_t kMesh = Cos_MakeCode("MESH");
constexpr uint32_t kKeyf = Cos_MakeCode("KEYF");
constexpr uint32_t kFloat = Cos_MakeCode("FLOT");
constexpr uint32_t kNoKeys = Cos_MakeCode("NOKY");
constexpr uint32_t kSaver = Cos_MakeCode("SAVE");

inline std::vector<std::string> g_events;
inline uintptr_t g_nextHash = 100;
inline bool g_addRefuses = false;
inline std::map<std::pair<int, int>, uint32_t> g_saved;  // (instance, component) -> value

inline std::string CodeText(uint32_t code) {
  return std::string(reinterpret_cast<char*>(&code), 4);
}

inline int FakeApply(uint32_t code, uintptr_t data, int mode, int32_t value, int32_t since,
                     int32_t value2, int zero, CosInstHandle instance) {
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(value, value2);
  EXPECT_EQ(zero, 0);
  g_events.push_back("apply " + CodeText(code) + " d" + std::to_string(data) + " v" +
                     std::to_string(value) + " t" + std::to_string(since) + " i" +
                     std::to_string(instance));
  return 1;
}
inline const char* const kStateNames[] = {"Hide", "Show"};
inline const int32_t kStateValues[] = {0, 1};
inline int FakeAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                   uint32_t parentCode, const char* name) {
  g_events.push_back("add " + CodeText(code) + " " + (name ? name : "(null)") + " p" +
                     std::to_string(parentHash));
  if (g_addRefuses || !name) return 0;
  const CosDataBlock block{2, kStateValues, kStateNames, nullptr, nullptr};
  return Cos_RegisterComponent(costume, name, g_nextHash++, code, parentHash, parentCode, &block);
}
inline int FakeFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash) {
  g_events.push_back("free " + CodeText(code) + " c" + std::to_string(costume) + " h" +
                     std::to_string(hash));
  return 1;
}
inline int FakeStop(uintptr_t data) {
  g_events.push_back("stop d" + std::to_string(data));
  return 1;
}
inline int FakeAdjust(uintptr_t* hash, CosComponent* component, int capacity) {
  EXPECT_EQ(capacity, 32);
  const std::string adjusted = std::string(component->name) + "-adj";
  snprintf(component->name, size_t(capacity), "%s", adjusted.c_str());
  *hash += 1;
  return 7;
}
inline uintptr_t FakeInstanceData(CosInstHandle instance, int component, int mode) {
  g_events.push_back("data i" + std::to_string(instance) + " k" + std::to_string(component) + " m" +
                     std::to_string(mode));
  return mode == 1 ? uintptr_t(5000 + component) : 0;
}
inline int FakeSaveData(CosInstHandle instance, int component, int mode, uintptr_t,
                        CosTransferFunc transfer) {
  uint32_t& value = g_saved[{instance, component}];
  g_events.push_back("savedata i" + std::to_string(instance) + " k" + std::to_string(component) +
                     " m" + std::to_string(mode));
  return transfer(&value, 4) == 0;
}

inline const CosTagCallbacks kModelCallbacks{&FakeApply,  &FakeAdd,          &FakeFree, &FakeStop,
                                             &FakeAdjust, &FakeInstanceData, nullptr};
inline const CosTagCallbacks kMeshCallbacks{&FakeApply, &FakeAdd,          &FakeFree, &FakeStop,
                                            nullptr,    &FakeInstanceData, nullptr};
inline const CosTagCallbacks kKeyfCallbacks{&FakeApply, &FakeAdd, &FakeFree, &FakeStop,
                                            nullptr,    nullptr,  nullptr};
inline const CosTagCallbacks kFloatCallbacks{&FakeApply, &FakeAdd, nullptr, nullptr,
                                             nullptr,    nullptr,  nullptr};
inline const CosTagCallbacks kNoKeysCallbacks{nullptr, &FakeAdd, nullptr, nullptr,
                                              nullptr, nullptr,  nullptr};
inline const CosTagCallbacks kSaverCallbacks{&FakeApply, &FakeAdd, nullptr,      nullptr,
                                             nullptr,    nullptr,  &FakeSaveData};

// The library started with the fake tags registered; everything is released
// again after each test, and the memory the library took must all be back.
class ChoreTest : public ::testing::Test {
 protected:
  HostServices hs_ = MakeServices();
  CosModuleDescriptor module_{};

  void SetUp() override {
    g_files.clear();
    g_open.assign(1, OpenFile{});
    g_log.clear();
    g_asserts.clear();
    g_opened.clear();
    g_events.clear();
    g_saved.clear();
    g_save.clear();
    g_savePos = 0;
    g_nextHash = 100;
    g_addRefuses = false;
    g_allocFailAfter = -1;
    g_privateNotices = 0;
    g_liveBlocks = 0;
    ASSERT_EQ(Cos_Initialize(&hs_, &module_), 0);
    ASSERT_EQ(module_.startup(), 0);
    RegisterTags();
  }
  virtual void RegisterTags() {
    ASSERT_EQ(Cos_NewStateBasedTag(kModel, "model", 0, &kModelCallbacks, 1), 1);
    ASSERT_EQ(Cos_NewStateBasedTag(kMesh, "mesh", 0, &kMeshCallbacks, 2), 1);
    ASSERT_EQ(Cos_NewIntTag(kKeyf, "keyframe", 0, &kKeyfCallbacks, 3), 1);
    ASSERT_EQ(Cos_NewFloatTag(kFloat, "float thing", 0, &kFloatCallbacks, 4), 1);
    ASSERT_EQ(Cos_NewIntTag(kNoKeys, "no keys", 0, &kNoKeysCallbacks, 5), 1);
    ASSERT_EQ(Cos_NewIntTag(kSaver, "saver", 0, &kSaverCallbacks, 6), 1);
  }
  void TearDown() override {
    g_allocFailAfter = -1;
    Cos_RegisterInstanceHook(nullptr);
    Cos_RegisterSaveHook(nullptr);
    Cos_RegisterSaveVerify(nullptr);
    CosUtil_RegisterCompNotifier(nullptr);
    CosUtil_RegisterBitmapMunger(nullptr);
    for (CosCostumeHandle h = 1; h <= 4096; ++h) {
      if (Cos_GetCostumeName(h)) Cos_Free(h);
    }
    for (CosInstHandle h = 1; h <= 4096; ++h) Cos_FreeCosInstance(h);
    module_.shutdown();
    module_.uninitialize();
    EXPECT_EQ(g_liveBlocks, 0) << "library memory not returned";
  }

  // Loads a costume text given inline.
  CosCostumeHandle LoadText(const std::string& name, const std::string& text) {
    g_files[name] = text;
    return Cos_Load(name.c_str());
  }
};

// A small costume: a model with two mesh children, a keyframe and a float
// component, two chores.
inline const char* const kSampleCostume =
    "# sample\n"
    "costume v0.1\n"
    "\n"
    "section tags\n"
    "\tnumtags 4\n"
    "#\tID\tTag\t\t\tClass\tName\n"
    "\t0\t'MMDL'\tfs\t\tmodel\n"
    "\t1\t'MESH'\tfs\t\tmesh\n"
    "\t2\t'KEYF'\tint\t\tkeyframe\n"
    "\t3\t'FLOT'\tfloat\t\tfloat thing\n"
    "section components\n"
    "\tnumcomponents 5\n"
    "\t0\t0\t0\t-1\tbody.3do\n"
    "\t1\t1\t0\t0\tmesh0\n"
    "\t2\t1\t0\t0\tmesh1\n"
    "\t3\t2\t0\t0\twalk.key\n"
    "\t4\t3\t0\t-1\tfade\n"
    "section chores\n"
    "\tnumchores 2\n"
    "\t0\t1000\t\t2\t\t\twalk\n"
    "\t1\t500\t\t1\t\t\tfade out\n"
    "section keys\n"
    "chore 0\t# walk\n"
    "\t3\t2\n"
    "\t\t0\t1\n"
    "\t\t1000\t2\n"
    "\t1\t1\n"
    "\t\t250\t1\n"
    "chore 1\n"
    "\t4\t2\n"
    "\t\t0\t1.5\n"
    "\t\t400\t0.25\n";

}  // namespace chore_test
