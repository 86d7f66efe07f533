// The actors' "ACTS" save block: round trips through a byte stream, the
// block's exact layout for the simple cases, and every corrupt field the
// restore must refuse without asserting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ActorTestSupport.h"
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"

namespace {

using actortest::ActorTable;
using actortest::NewActor;

std::vector<uint8_t> g_stream;
size_t g_readAt = 0;

int Write(void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_stream.insert(g_stream.end(), bytes, bytes + length);
  return 0;
}
int Read(void* data, size_t length) {
  if (length > g_stream.size() - g_readAt) return 1;
  std::memcpy(data, g_stream.data() + g_readAt, length);
  g_readAt += length;
  return 0;
}

std::vector<uint8_t> SaveBlock() {
  g_stream.clear();
  EXPECT_EQ(0, drevActor_Save(Write));
  return g_stream;
}
int RestoreBlock(const std::vector<uint8_t>& block) {
  g_stream = block;
  g_readAt = 0;
  const int result = drevActor_Restore(Read);
  if (result == 0) {
    EXPECT_EQ(g_readAt, g_stream.size());
  }
  return result;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

// Offsets inside the block of one in-use actor with an extra block and no
// costume: table size, count, then the entry.
constexpr size_t kEntry = 8;
constexpr size_t kHasExtra = kEntry + 4 + 8 + 30 * 4 + 32;
constexpr size_t kDepth = kHasExtra + 4;
constexpr size_t kExtra = kDepth + 4;
constexpr size_t kPathCount = kExtra + 17 * 4;
constexpr size_t kPathIndex = kExtra + 18 * 4 + 1536;
constexpr size_t kFirstShadow = kPathIndex + 4 + 8 + 4 * 4 + 8 + 4 + 12 + 15 + 8 + 2 * 4 + 13 * 4;

using ActorSave = ActorTable;

TEST_F(ActorSave, NoActorsWriteTheTableSizeZeroAndTheSelection) {
  const std::vector<uint8_t> block = SaveBlock();
  ASSERT_EQ(12u, block.size());
  EXPECT_EQ(static_cast<uint32_t>(ACTOR_TABLE_START), U32At(block, 0));
  EXPECT_EQ(0u, U32At(block, 4));
  EXPECT_EQ(0xFFFFFFFFu, U32At(block, 8));
  EXPECT_EQ(0, RestoreBlock(block));
  EXPECT_EQ(0, drevActor_GetInUseCount());
}

TEST_F(ActorSave, RecordsExtrasAndTheSelectionComeBack) {
  Actor* walker = NewActor();
  Actor* plain = drevActor_FromIndex(drevActor_New(0, 1));
  Actor* talker = NewActor();
  walker->position = {1, 2, 3};
  walker->rotation = {0, 90, 0};
  walker->flags |= ACTOR_HIDDEN;
  walker->state = ACTOR_MOVING;
  ActorExtra* e = walker->pExtra;
  e->pathCount = 3;
  e->path[2] = {7, 8, 9};
  e->pathIndex = 1;
  e->walkRate = 1.25f;
  e->turnRate = 90.0f;
  e->instantTurn = true;  // stored as a rate of -90
  std::strcpy(e->lineId, "line7");
  std::strcpy(e->speechName, "hello.wav");
  e->shadows[2].active = 1;
  e->shadows[2].plane[3] = -4.5f;
  e->shadows[2].light = {1, 1, 5};
  talker->pExtra->talking = 1;
  drevActor_SetSelected(drevActor_ToIndex(talker));
  const int walkerIndex = drevActor_ToIndex(walker);
  const int plainIndex = drevActor_ToIndex(plain);
  const std::vector<uint8_t> block = SaveBlock();
  uint8_t negative[4];
  const float storedRate = -90.0f;
  std::memcpy(negative, &storedRate, 4);
  EXPECT_NE(std::search(block.begin(), block.end(), negative, negative + 4), block.end());

  // Everything goes; the restore makes it again from the block alone.
  drevActor_Free(walker);
  drevActor_Free(talker);
  drevActor_SetSelected(0);
  ASSERT_EQ(0, RestoreBlock(block));
  EXPECT_EQ(3, drevActor_GetInUseCount());
  Actor* w = drevActor_FromIndex(walkerIndex);
  ASSERT_TRUE(w->inUse);
  EXPECT_EQ(3.0f, w->position.z);
  EXPECT_EQ(0, w->transformValid);  // rebuilt when next asked for
  EXPECT_EQ(ACTOR_HIDDEN, w->flags & ACTOR_HIDDEN);
  ASSERT_NE(nullptr, w->pExtra);
  EXPECT_EQ(3, w->pExtra->pathCount);
  EXPECT_EQ(9.0f, w->pExtra->path[2].z);
  EXPECT_EQ(1.25f, w->pExtra->walkRate);
  EXPECT_EQ(90.0f, w->pExtra->turnRate);
  EXPECT_TRUE(w->pExtra->instantTurn);
  EXPECT_STREQ("hello.wav", w->pExtra->speechName);
  // No set was current at the save: the shadows were written empty.
  EXPECT_EQ(0, w->pExtra->shadows[2].active);
  EXPECT_EQ(nullptr, drevActor_FromIndex(plainIndex)->pExtra);
  EXPECT_EQ(drevActor_ToIndex(talker), drevActor_GetSelected());
  EXPECT_EQ(drevActor_ToIndex(talker), drevActor_GetTalkingSlot(0));
  EXPECT_EQ(1, drevActor_State().talkingCount);
  // Saved again, the block differs only in the transforms to rebuild, and
  // from then on it is stable.
  const std::vector<uint8_t> again = SaveBlock();
  ASSERT_EQ(block.size(), again.size());
  ASSERT_EQ(0, RestoreBlock(again));
  EXPECT_EQ(again, SaveBlock());
}

TEST_F(ActorSave, TalkersBeyondTheFourSlotsAreCountedWithoutASlot) {
  for (int i = 0; i < 5; ++i) NewActor()->pExtra->talking = 1;
  ASSERT_EQ(0, RestoreBlock(SaveBlock()));
  EXPECT_EQ(5, drevActor_State().talkingCount);
  for (int slot = 0; slot < ACTOR_TALK_SLOTS; ++slot)
    EXPECT_EQ(slot, drevActor_GetTalkingSlot(slot));
}

TEST_F(ActorSave, ASmallerSavedTableKeepsTheLargerOne) {
  for (int i = 0; i < ACTOR_TABLE_START + 1; ++i) drevActor_New(0, 0);
  const int grown = drevActor_GetRecordCount();
  ASSERT_GT(grown, ACTOR_TABLE_START);
  std::vector<uint8_t> block(12, 0);
  PutU32(block, 0, 16);
  PutU32(block, 8, 0xFFFFFFFFu);
  ASSERT_EQ(0, RestoreBlock(block));
  EXPECT_EQ(grown, drevActor_GetRecordCount());
  EXPECT_EQ(0, drevActor_GetInUseCount());
  // A larger saved table grows it.
  PutU32(block, 0, static_cast<uint32_t>(grown + 40));
  ASSERT_EQ(0, RestoreBlock(block));
  EXPECT_GE(drevActor_GetRecordCount(), grown + 40);
}

TEST_F(ActorSave, CorruptFieldsFailTheRestore) {
  NewActor();
  const std::vector<uint8_t> good = SaveBlock();
  ASSERT_EQ(kFirstShadow + 6 * 40 + 4, good.size());
  const struct {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"table size above 4096", 0, 4097},
      {"more in use than records", 4, 5000},
      {"index beyond the table", kEntry, ACTOR_TABLE_START},
      {"costume depth above 32", kDepth, 33},
      {"costume identity of no costume", kDepth, 1},
      {"path count above 128", kPathCount, 129},
      {"path count below 0", kPathCount, 0xFFFFFFFFu},
      {"path index beyond the path", kPathIndex, 129},
      {"more than twelve shadow clips", kFirstShadow + 36, 13},
      {"selected beyond the table", good.size() - 4, 5000},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bad = good;
    PutU32(bad, c.at, c.value);
    EXPECT_EQ(1, RestoreBlock(bad)) << c.what;
  }
  // A block short by four bytes, and one cut anywhere.
  for (size_t cut = 0; cut < good.size(); cut += good.size() / 40 + 1) {
    EXPECT_EQ(1, RestoreBlock(std::vector<uint8_t>(good.begin(), good.begin() + cut))) << cut;
  }
  EXPECT_EQ(1, RestoreBlock(std::vector<uint8_t>(good.begin(), good.end() - 4)));
  // The good block still restores after all of them.
  EXPECT_EQ(0, RestoreBlock(good));
  EXPECT_EQ(1, drevActor_GetInUseCount());
}

TEST_F(ActorSave, ATableAboveTheLimitFailsTheSave) {
  while (drevActor_GetRecordCount() <= 4096) drevActor_New(0, 0);
  g_stream.clear();
  EXPECT_EQ(1, drevActor_Save(Write));
}

}  // namespace
