// The resource manager with fake type handlers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "LabnWriter.h"
#include "ResTestSupport.h"
#include "platform/kv_Log.h"

namespace {

constexpr uint32_t kFake = Res_Tag("FAKE");
constexpr uint32_t kSet = Res_Tag("SET ");
constexpr uint32_t kCmap = Res_Tag("CMAP");

// A fake resource: a block of a size taken from the name ("name:size");
// a set-like one holds a reference on the colormap named in it.
struct FakeObject {
  std::string name;
  uint32_t size;
  ResourceRef colormap;
};
int gFrees = 0;
std::vector<std::string> gFailNames;

uint32_t SizeFromName(const char* name) {
  const char* colon = std::strchr(name, ':');
  return colon ? static_cast<uint32_t>(std::atoi(colon + 1)) : 10;
}

int FakeHandler(ResourceRequest* r) {
  switch (r->operation) {
    case kResOpLoad: {
      for (const std::string& fail : gFailNames)
        if (fail == r->name) return 0;
      auto* object = new FakeObject{r->name, SizeFromName(r->name), {}};
      if (r->tag == kSet) {
        void* cmap = Res_Get(kCmap, "room.cmp:100");
        RES_ADDREF(&object->colormap, cmap);
      }
      const int status = Res_Add(r->tag, r->name, object);
      if (status != kResLoaded) delete object;
      return status;
    }
    case kResOpFree: {
      auto* object = static_cast<FakeObject*>(r->object);
      Res_ReleaseRef(&object->colormap);
      delete object;
      ++gFrees;
      return 1;
    }
    case kResOpSize:
      r->size = static_cast<FakeObject*>(r->object)->size;
      return 1;
  }
  return 0;
}

class ResourceManager : public ResTest {
 protected:
  void SetUp() override {
    ResTest::SetUp();
    gFrees = 0;
    gFailNames.clear();
    for (uint32_t tag : {kFake, kSet, kCmap}) ASSERT_EQ(Res_RegisterHandler(tag, FakeHandler), 1);
  }
};

TEST_F(ResourceManager, HandlersAndRegistration) {
  EXPECT_EQ(Res_RegisterHandler(kFake, FakeHandler), kResHandlerExists);
  void* a = Res_Get(kFake, "a.bin");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Res_Add(kFake, "other.bin", a), kResCached);  // already registered object
  EXPECT_EQ(Res_Lookup(kFake, "other.bin"), nullptr);
  // Names compare upper-cased.
  EXPECT_EQ(Res_Get(kFake, "A.BIN"), a);
  EXPECT_EQ(Res_FindObject(kFake, "a.Bin"), a);
  int status = 0;
  EXPECT_NE(Res_FindOrLoad(kFake, "a.bin", &status), nullptr);
  EXPECT_EQ(status, kResCached);
  // Same name, other tag: another resource.
  EXPECT_NE(Res_Get(kCmap, "a.bin"), a);
  // A handler that cannot load: null, nothing registered.
  gFailNames.push_back("bad.bin");
  EXPECT_EQ(Res_FindOrLoad(kFake, "bad.bin", &status), nullptr);
  EXPECT_EQ(status, kResFailed);
  EXPECT_EQ(Res_Lookup(kFake, "bad.bin"), nullptr);
  // Serials are distinct.
  EXPECT_NE(Res_SavedIdOf(a), 0u);
  EXPECT_NE(Res_SavedIdOf(a), Res_SavedIdOf(Res_FindObject(kCmap, "a.bin")));
}

TEST_F(ResourceManager, ReferencesAndFree) {
  void* a = Res_Get(kFake, "a.bin");
  ResourceRef r1{}, r2{}, unknown{};
  RES_ADDREF(&r1, a);
  RES_ADDREF(&r2, a);
  EXPECT_EQ(r1.valid, 1u);
  EXPECT_STREQ(r1.holderFile, "/Res_test.cpp");
  EXPECT_EQ(Res_RefCount(a), 2);
  int dummy;
  RES_ADDREF(&unknown, &dummy);  // not a resource: stays invalid
  EXPECT_EQ(unknown.valid, 0u);
  Res_ReleaseRef(&r2);
  Res_ReleaseRef(&r2);  // twice: harmless
  Res_ReleaseRef(&unknown);
  EXPECT_EQ(Res_RefCount(a), 1);
  Res_FreeAll();
  EXPECT_EQ(r1.valid, 0u);
  EXPECT_EQ(gFrees, 1);
  Res_ReleaseRef(&r1);  // after the free: harmless
  EXPECT_EQ(Res_First(0), nullptr);
}

TEST_F(ResourceManager, HolderFileIsTerminatedWhenLong) {
  void* a = Res_Get(kFake, "a.bin");
  ResourceRef ref{};
  Res_AddRef(&ref, a, "src\\a_very_long_holder_source_file_name_that_fills.cpp", 7);
  EXPECT_EQ(std::strlen(ref.holderFile), sizeof ref.holderFile - 1);
  EXPECT_EQ(ref.holderFile[0], '\\');
  Res_ReleaseRef(&ref);
}

TEST_F(ResourceManager, PurgeSparesLockedAndReferenced) {
  void* locked = Res_Get(kFake, "locked:100");
  void* held = Res_Get(kFake, "held:100");
  void* loose = Res_Get(kFake, "loose:100");
  ASSERT_TRUE(locked && held && loose);
  EXPECT_EQ(Res_Lock(locked), 1);
  EXPECT_EQ(Res_Lock(locked), 0);
  ResourceRef ref{};
  RES_ADDREF(&ref, held);
  uint32_t freed = 0;
  EXPECT_EQ(Res_PurgeUnreferenced(1000, &freed), 0);  // cannot reach the target
  EXPECT_EQ(freed, 100u);
  EXPECT_EQ(Res_FindObject(kFake, "loose:100"), nullptr);
  EXPECT_EQ(Res_FindObject(kFake, "locked:100"), locked);
  EXPECT_EQ(Res_FindObject(kFake, "held:100"), held);
  EXPECT_EQ(Res_PurgeUnreferenced(0, &freed), 1);
  Res_ReleaseRef(&ref);
  EXPECT_EQ(Res_Unlock(locked), 0);
}

TEST_F(ResourceManager, PurgeFreesLeastRecentlyUsedFirst) {
  void* oldest = Res_Get(kFake, "old:50");
  Res_Get(kFake, "newer:50");
  Res_Get(kFake, "newest:50");
  Res_Touch(oldest);
  uint32_t freed = 0;
  EXPECT_EQ(Res_PurgeUnreferenced(50, &freed), 1);
  EXPECT_EQ(freed, 50u);
  EXPECT_EQ(Res_FindObject(kFake, "newer:50"), nullptr);
  EXPECT_NE(Res_FindObject(kFake, "old:50"), nullptr);
}

TEST_F(ResourceManager, PurgeReachesColormapsInASecondPass) {
  ASSERT_NE(Res_Get(kSet, "room.set:300"), nullptr);
  ASSERT_NE(Res_FindObject(kCmap, "room.cmp:100"), nullptr);
  // The set is the most recent; its colormap is held by it.
  uint32_t freed = 0;
  EXPECT_EQ(Res_PurgeUnreferenced(400, &freed), 1);
  EXPECT_EQ(freed, 400u);
  EXPECT_EQ(Res_First(0), nullptr);
}

TEST_F(ResourceManager, FreeAllTakesLockedLast) {
  void* locked = Res_Get(kSet, "room.set");
  Res_Lock(locked);
  Res_FreeAll();
  EXPECT_EQ(Res_First(0), nullptr);
  EXPECT_EQ(gFrees, 2);
}

// The save transfer function over a byte buffer.
std::string gStream;
size_t gReadAt = 0;
int Write(void* data, size_t length) {
  gStream.append(static_cast<const char*>(data), length);
  return 0;
}
int Read(void* data, size_t length) {
  if (gReadAt + length > gStream.size()) return 1;
  std::memcpy(data, gStream.data() + gReadAt, length);
  gReadAt += length;
  return 0;
}

TEST_F(ResourceManager, RessRoundTrip) {
  void* held = Res_Get(kFake, "held.bin");
  void* temp = Res_Get(kFake, "my_temp_file.bin");
  void* locked = Res_Get(kFake, "lockedtemp.bin");
  Res_Get(kFake, "unheld.bin");
  Res_Lock(locked);
  ResourceRef r1{}, r2{};
  RES_ADDREF(&r1, held);
  RES_ADDREF(&r2, temp);
  const uint32_t heldId = Res_SavedIdOf(held);
  const uint32_t lockedId = Res_SavedIdOf(locked);
  gStream.clear();
  ASSERT_EQ(Res_Save(Write), 0);
  uint32_t count;
  std::memcpy(&count, gStream.data(), 4);
  EXPECT_EQ(count, 2u);  // held and locked; not the TEMP one, not the unheld one
  Res_ReleaseRef(&r1);
  Res_ReleaseRef(&r2);
  Res_FreeAll();

  gReadAt = 0;
  ASSERT_EQ(Res_Restore(Read), 0);
  EXPECT_EQ(gReadAt, gStream.size());
  void* heldAgain = Res_FindObject(kFake, "held.bin");
  ASSERT_NE(heldAgain, nullptr);
  // Reloaded under the name it was asked for, not the upper-cased one.
  EXPECT_EQ("held.bin", static_cast<FakeObject*>(heldAgain)->name);
  EXPECT_EQ(Res_FindBySavedId(heldId, 0), heldAgain);
  EXPECT_NE(Res_FindBySavedId(lockedId, 0), nullptr);
  EXPECT_EQ(Res_FindObject(kFake, "unheld.bin"), nullptr);
  ResourceRef again{};
  Res_RefBySavedId(&again, heldId, 0, __FILE__, __LINE__);
  EXPECT_EQ(again.valid, 1u);
  Res_ReleaseRef(&again);
}

// A saved resource whose file no longer loads is named in the log and left
// out; the rest of the block is restored and the restore succeeds, so an old
// save still loads after a file was renamed.
TEST_F(ResourceManager, RessRestoreGoesOnAfterAFailedLoad) {
  gStream.clear();
  auto entry = [](const std::string& name, uint32_t id) {
    uint32_t length = static_cast<uint32_t>(name.size()), tag = kFake, zero = 0;
    Write(&length, 4);
    Write(const_cast<char*>(name.data()), length);
    Write(&tag, 4);
    Write(&id, 4);
    Write(&zero, 4);
  };
  uint32_t count = 2;
  Write(&count, 4);
  entry("gone.bin", 77);
  entry("fine.bin", 78);
  uint32_t next = 0xABCD;
  Write(&next, 4);
  gFailNames.push_back("gone.bin");
  gReadAt = 0;
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("res_restore_test.log"), 1);
  EXPECT_EQ(Res_Restore(Read), 0);
  kv_Log_ResetForTest();
  std::ifstream in("res_restore_test.log");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t lines = 0;
  for (size_t at = log.find("gone.bin"); at != std::string::npos; at = log.find("gone.bin", at + 1))
    ++lines;
  EXPECT_EQ(lines, 1u) << log;
  EXPECT_EQ(log.find("fine.bin"), std::string::npos) << log;
  EXPECT_EQ(gReadAt, gStream.size() - 4);  // the whole block read, nothing more
  EXPECT_NE(Res_FindBySavedId(78, 0), nullptr);
  EXPECT_EQ(Res_FindBySavedId(77, 0), nullptr);

  // A corrupt entry stops the block.
  gStream.clear();
  count = 1;
  Write(&count, 4);
  uint32_t length = 256;
  Write(&length, 4);
  gReadAt = 0;
  EXPECT_EQ(Res_Restore(Read), 1);
  gStream.resize(6);  // a short read
  gReadAt = 0;
  EXPECT_EQ(Res_Restore(Read), 1);
}

TEST_F(ResourceManager, DefaultHandlerReadsFilesAndTellsMissingApart) {
  const std::string lab = Path("data.lab");
  WriteWhole(lab, LabnBuild({{"notes.txt", "some notes"}}));
  ASSERT_NE(Res_OpenPack(lab.c_str()), nullptr);
  int status = 0;
  ResourceRecord* r = Res_FindOrLoad(Res_Tag("TEXT"), "notes.txt", &status);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(status, kResLoaded);
  EXPECT_EQ(r->size, 10u);
  EXPECT_EQ(r->pack != nullptr, true);  // the name came from the archive's table
  EXPECT_EQ(r->flags & kResFlagOwnedName, 0);
  EXPECT_EQ(Res_FindOrLoad(Res_Tag("TEXT"), "absent.txt", &status), nullptr);
  EXPECT_EQ(status, 4);  // the default loader's answer for a file it cannot open
  // Closing the packs gives a locked resource its own name and frees the rest.
  void* notes = r->object;
  Res_Lock(notes);
  Res_Get(Res_Tag("TEXT"), "notes.txt");
  Res_ClosePacks();
  ResourceRecord* kept = Res_RecordOf(notes);
  ASSERT_NE(kept, nullptr);
  EXPECT_STREQ(kept->name, "NOTES.TXT");
  EXPECT_EQ(kept->pack, nullptr);
  EXPECT_NE(kept->flags & kResFlagOwnedName, 0);
}

TEST_F(ResourceManager, ReportAndLog) {
  ASSERT_EQ(Res_OpenLog(Path("resource.log").c_str()), 1);
  void* a = Res_Get(kFake, "a.bin:1234");
  ResourceRef ref{};
  RES_ADDREF(&ref, a);
  Res_Get(kCmap, "b.cmp:5");
  ASSERT_EQ(Res_Report(Path("Vosk.res").c_str(), nullptr), 1);
  Res_FreeAll();
  EXPECT_EQ(ref.valid, 0u);
  Res_OpenLog(nullptr);
  EXPECT_EQ(ReadAll(Path("Vosk.res").c_str()),
            "Resource B.CMP:5     ,\t\tsize =       5\t\n"
            "Resource A.BIN:1234  ,\t\tsize =    1234\tREFERENCED\n"
            "Total: 2 items, 1239 bytes\n");
  const std::string log = ReadAll(Path("resource.log").c_str());
  EXPECT_NE(log.find("Resource <A.BIN:1234  > allocated:     1234 bytes\n"), std::string::npos);
  EXPECT_NE(log.find("Resource <A.BIN:1234  > freed (1 references)\n"), std::string::npos);
}

}  // namespace
