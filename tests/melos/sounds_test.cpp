// The music host module: name resolution, the by-name operations, the MELS
// save block and the heartbeat thread's start and end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SoundsTestHost.h"
#include "melos/MelosBytes.h"
#include "melos/MelosScript.h"
#include "platform/kv_Thread.h"

using namespace melos_fixtures;

namespace {

// The engine's save transfer over a byte vector.
std::vector<uint8_t> g_save;
size_t g_readAt = 0;
int WriteSave(void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  g_save.insert(g_save.end(), p, p + length);
  return 0;
}
int ReadSave(void* data, size_t length) {
  if (length > g_save.size() - g_readAt) return 1;
  std::memcpy(data, g_save.data() + g_readAt, length);
  g_readAt += length;
  return 0;
}

class Host : public SoundsTest {
 protected:
  std::vector<uint8_t> Save() {
    g_save.clear();
    EXPECT_EQ(Sounds_Save(WriteSave), 0);
    return g_save;
  }
  int Restore(const std::vector<uint8_t>& bytes) {
    g_save = bytes;
    g_readAt = 0;
    return Sounds_Restore(ReadSave);
  }
  // The count N of saved resident sounds in a MELS block.
  static uint32_t SavedSounds(const std::vector<uint8_t>& b) {
    size_t at = 40;
    at += 4 + Melos_LE32(b.data() + at);
    at += 4 + Melos_LE32(b.data() + at);
    return Melos_LE32(b.data() + at);
  }
};

TEST_F(Host, NamesAndNumbersResolve) {
  WriteFile("a.wav", ToneWave(100));
  Sounds_SetScriptIdCounter(1200 - SOUNDS_FIRST_SCRIPT_ID);
  const int32_t a = Resolve("a.wav");
  ASSERT_NE(a, 0);
  ASSERT_EQ(SlotOf(a)->scriptId, 1200);
  struct Case {
    SoundName name;
    int32_t id;
  };
  const Case cases[] = {
      {SoundName(1200), a},     // a script id names its slot
      {SoundName("1200"), 0},   // a short text in 1111..1366 names nothing
      {SoundName("A.WAV"), a},  // names ignore case
      {SoundName(1201), 0},     // no slot holds it
      {SoundName(10000), SOUNDS_VOICE},
      {SoundName("10000"), SOUNDS_VOICE},
      {SoundName(10001), 0},
      {SoundName(5), 0},
      {SoundName(), 0},
      {SoundName(""), 0},
      {SoundName("12"), 0},  // a file name, and no such file
      {SoundName("a_name_longer_than_31_characters.wav"), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Resolve(c.name), c.id) << (c.name.text ? c.name.text : std::to_string(c.name.number));
  }
  // A named slot without data is loaded again in place, keeping its id.
  SoundSlot* s = SlotOf(a);
  hs_.memFree(s->buffer);
  s->buffer = nullptr;
  s->header = s->sampleBase = nullptr;
  EXPECT_EQ(Resolve("a.wav"), a);
  EXPECT_NE(s->buffer, nullptr);
  EXPECT_EQ(s->scriptId, 1200);
}

TEST_F(Host, ThirtyTwoSlotsThenEvictionThenNothing) {
  // Sixteen tracks, so that all 32 sounds can be busy: 16 playing, 8 started
  // by triggers and 8 by deferred commands to come.
  module_.shutdown();
  Sounds_SetConfig(88000, 44000, 88000, 440000, 44000, 352000, 200000, 1, 48000, 2, 300000, 16);
  ASSERT_EQ(SoundsInitialize(&hs_, &module_), 0);
  ASSERT_EQ(module_.startup(), 0);
  Melos_Pause();
  for (int i = 0; i < SOUNDS_SLOTS + 2; ++i)
    WriteFile("s" + std::to_string(i) + ".wav", ToneWave(50));
  int32_t ids[SOUNDS_SLOTS];
  for (int i = 0; i < SOUNDS_SLOTS; ++i) {
    ids[i] = Resolve(("s" + std::to_string(i) + ".wav").c_str());
    ASSERT_NE(ids[i], 0) << i;
    SlotOf(ids[i])->lastUse = 1000 + static_cast<uint32_t>(i);
  }
  SlotOf(ids[7])->lastUse = 10;
  // Full: the least recently used idle sound gives its slot.
  EXPECT_EQ(Resolve("s32.wav"), ids[7]);
  EXPECT_STREQ(SlotOf(ids[7])->name, "s32.wav");
  for (int i = 0; i < SOUNDS_SLOTS; ++i) {
    int32_t args[10] = {SOUNDS_SLOT_ID + i};
    if (i < 16) {
      ASSERT_EQ(Melos_StartSound(SOUNDS_SLOT_ID + i, 10), 0) << i;
    } else if (i < 24) {
      ASSERT_EQ(Melos_SetTrigger(SOUNDS_SLOT_ID, "go", 8, args), 0) << i;
    } else {
      ASSERT_EQ(Melos_DeferCommand(1000, 8, args), 0) << i;
    }
  }
  EXPECT_EQ(Resolve("s33.wav"), 0);
  EXPECT_EQ(Sounds_StartSound("s33.wav", 50, 1), 0);
}

TEST_F(Host, ByNameOperations) {
  WriteFile("hit.wav", ToneWave(2000));
  const int id = Sounds_StartSound("hit.wav", 125, 1);
  ASSERT_GE(id, SOUNDS_FIRST_SCRIPT_ID);
  ASSERT_LE(id, SOUNDS_LAST_SCRIPT_ID);
  EXPECT_EQ(Sounds_GetParam(id, MELOS_PARAM_PRIORITY), 124);
  EXPECT_EQ(SlotOf(Resolve(id))->priority, 124);
  EXPECT_EQ(Sounds_GetParam(id, MELOS_PARAM_GROUP), 1);
  EXPECT_EQ(Sounds_IsSoundPlaying(id), 1);
  EXPECT_EQ(Sounds_IsLoaded("hit.wav"), 1);
  EXPECT_EQ(Sounds_SetParam("hit.wav", MELOS_PARAM_VOLUME, 90), 0);
  EXPECT_EQ(Sounds_GetParam(id, MELOS_PARAM_VOLUME), 90);
  EXPECT_EQ(Sounds_SetHook(id, 7), 0);
  EXPECT_EQ(Sounds_GetHook("hit.wav"), 7);
  EXPECT_EQ(Sounds_FadeParam(id, MELOS_PARAM_PAN, 0, 1000), 0);
  EXPECT_EQ(Sounds_StopSound(id), 0);
  EXPECT_EQ(Sounds_IsSoundPlaying(id), 0);
  EXPECT_EQ(Sounds_IsLoaded(id), 0);
  // Unresolved names give the fixed answers and change nothing.
  const SoundName missing("missing.wav");
  EXPECT_EQ(Sounds_StartSound(missing, 50, 1), 0);
  EXPECT_EQ(Sounds_GetParam(missing, MELOS_PARAM_PLAYING), 1);
  EXPECT_EQ(Sounds_SetParam(missing, MELOS_PARAM_VOLUME, 1), 0);
  EXPECT_EQ(Sounds_FadeParam(missing, MELOS_PARAM_VOLUME, 0, 100), 1);
  EXPECT_EQ(Sounds_StopSound(missing), 0);
  EXPECT_EQ(Sounds_SetHook(missing, 1), -1);
  EXPECT_EQ(Sounds_GetHook(missing), -1);
  EXPECT_EQ(Sounds_IsSoundPlaying(missing), 0);
  EXPECT_EQ(Sounds_IsLoaded(missing), 0);
  EXPECT_EQ(Sounds_GetMemoryFootprint(), 0u);
  EXPECT_EQ(Sounds_GetSoundCacheSize(), 0u);
}

TEST_F(Host, SaveAndRestoreRestartTheResidentMeloSounds) {
  WriteFile("loop.mlu", ToneMelo(40000));
  WriteFile("fx.wav", ToneWave(40000));
  Sounds_SetScriptIdCounter(20);
  const int loop = Sounds_StartSound("loop.mlu", 60, 1);
  ASSERT_EQ(loop, 1131);
  ASSERT_NE(Sounds_StartSound("fx.wav", 60, 1), 0);
  Sounds_SetParam(loop, MELOS_PARAM_VOLUME, 90);
  Sounds_SetParam(loop, MELOS_PARAM_PAN, 20);
  Sounds_SetHook(loop, 5);
  Melos_SetAttribute(40, 9);
  const std::vector<uint8_t> saved = Save();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data())), "OFF");
  ASSERT_EQ(SavedSounds(saved), 1u);  // the converted WAVE is not kept

  Melos_StopAllSounds();
  Melos_SetAttribute(40, 0);
  Sounds_FreeAllSlots();
  ASSERT_EQ(Restore(saved), 0);
  EXPECT_EQ(g_readAt, saved.size());
  EXPECT_EQ(Sounds_IsSoundPlaying(loop), 1);
  EXPECT_EQ(Sounds_GetParam(loop, MELOS_PARAM_VOLUME), 90);
  EXPECT_EQ(Sounds_GetParam(loop, MELOS_PARAM_PAN), 20);
  EXPECT_EQ(Sounds_GetParam(loop, MELOS_PARAM_GROUP), 1);
  EXPECT_EQ(Sounds_GetHook(loop), 5);
  EXPECT_EQ(MelosScript_Attribute(40), 9);
  EXPECT_EQ(Sounds_IsSoundPlaying("fx.wav"), 0);
  // The same state saves to the same bytes.
  EXPECT_EQ(Save().size(), saved.size());
}

TEST_F(Host, OnlyConvertedSoundsPlayingSavesNone) {
  WriteFile("fx.wav", ToneWave(40000));
  ASSERT_NE(Sounds_StartSound("fx.wav", 60, 1), 0);
  EXPECT_EQ(SavedSounds(Save()), 0u);
}

TEST_F(Host, ABadLibraryBlockFailsTheRestoreAndStartsNothing) {
  WriteFile("loop.mlu", ToneMelo(40000));
  const int loop = Sounds_StartSound("loop.mlu", 60, 1);
  ASSERT_NE(loop, 0);
  std::vector<uint8_t> saved = Save();
  std::vector<uint8_t> bad = saved;
  bad[44] = 48;  // the library block's version word
  EXPECT_EQ(Restore(bad), 1);
  EXPECT_EQ(Melos_GetParam(SOUNDS_SLOT_ID, MELOS_PARAM_PLAYING), 0);
  for (int i = 0; i < SOUNDS_SLOTS; ++i) EXPECT_EQ(Sounds_Slot(i)->buffer, nullptr);
  // A block longer than the work buffer, and a cut stream, fail too.
  bad = saved;
  Melos_PutLE32(bad.data() + 40, 131073);
  EXPECT_EQ(Restore(bad), 1);
  EXPECT_EQ(Restore(std::vector<uint8_t>(saved.begin(), saved.begin() + 30)), 1);
  // More than 32 saved sounds end the reading there, as a good restore.
  bad = saved;
  size_t at = 40;
  at += 4 + Melos_LE32(bad.data() + at);
  at += 4 + Melos_LE32(bad.data() + at);
  Melos_PutLE32(bad.data() + at, 33);
  EXPECT_EQ(Restore(bad), 0);
  EXPECT_EQ(Melos_GetParam(SOUNDS_SLOT_ID, MELOS_PARAM_PLAYING), 0);
}

TEST(HostModule, StartAndShutdownJoinTheHeartbeat) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0);
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  ModuleDescriptor d{};
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(SoundsInitialize(&hs, &d), 0);
    EXPECT_EQ(d.initialize, SoundsInitialize);
    EXPECT_EQ(d.uninitialize, nullptr);
    EXPECT_TRUE(d.startup && d.shutdown && d.save && d.restore && d.pause && d.resume);
    ASSERT_EQ(d.startup(), 0);
    EXPECT_EQ(Sounds_IsStarted(), 1);
    // The music script runs: its commands answer.
    EXPECT_EQ(Melos_SetCuePoint(0), 0);
    while (Sounds_HeartbeatCount() < 3) kv_Platform_Delay(1);
    EXPECT_EQ(d.pause(), 0);
    EXPECT_EQ(Melos_GroupVolume(0, -1), 0);
    EXPECT_EQ(d.resume(), 0);
    EXPECT_EQ(Melos_GroupVolume(0, -1), 127);
    Sounds_Update();
    d.shutdown();
    EXPECT_EQ(Sounds_IsStarted(), 0);
    const uint32_t beats = Sounds_HeartbeatCount();
    kv_Platform_Delay(40);
    EXPECT_EQ(Sounds_HeartbeatCount(), beats);  // the thread has ended
  }
  SDL_Quit();
}

}  // namespace
