// Stream dispatch: resident and streamed sounds behind the test host, with
// Melo files from the writers (DC and ramps make the jumps measurable).
#include <gtest/gtest.h>

#include "MelosTestHost.h"
#include "melos/Melos.h"
#include "melos/MelosInternal.h"
#include "melos/MelosMixer.h"

using namespace melos_fixtures;

namespace {

using MelosDispatchTest = LibraryTest;

constexpr uint32_t kBlockBytes = 1536 * 2;  // one output block of 16-bit mono at 48000 Hz

// Mixes one output block of the sound's track, under the music lock as the
// device fill does; returns the mix result and the first accumulator value.
int MixBlock(int32_t sound, int32_t* first = nullptr) {
  MelosLockGuard lock;
  MelosTrack* t = MelosTracks_Find(sound);
  if (!t) return -100;
  MelosMixer_Clear();
  const int result = MelosDispatch_Mix(t, 1536, 48000);
  if (first) *first = MelosMixer_Accumulator()[0];
  return result;
}

// Two regions of DC 1000 and DC 2000 with a jump back to the start between.
Bytes TwoRegions(uint32_t jumpHook) {
  MeloBuilder m;
  m.Frmt(0, 16, 48000, 1).Regn(0, kBlockBytes).Jump(kBlockBytes, 0, jumpHook, 0);
  m.Regn(kBlockBytes, kBlockBytes).Stop(2 * kBlockBytes);
  std::vector<int16_t> pcm = Constant(1536, 1000);
  const auto second = Constant(1536, 2000);
  pcm.insert(pcm.end(), second.begin(), second.end());
  m.data = Pcm16(pcm, true);
  return m.Build();
}

TEST_F(MelosDispatchTest, HookSelectsTheJump) {
  struct Case {
    uint32_t jumpHook;
    int trackHook;
    int16_t secondDc;
    int hookAfter;
  };
  const int32_t centre = MelosMixer_PanEntry(16, 8);
  for (const Case& c :
       {Case{0, 0, 1000, 0}, Case{0, 128, 2000, 0}, Case{5, 5, 1000, 0}, Case{5, 3, 2000, 3}}) {
    SCOPED_TRACE(c.jumpHook * 1000 + c.trackHook);
    host.resident[100] = TwoRegions(c.jumpHook);
    ASSERT_EQ(Melos_StartSound(100, 50), 0);
    ASSERT_EQ(Melos_SetHook(100, c.trackHook), 0);
    // The jump at the end of the first region is decided within the first
    // block; the second block plays what it chose (the second region is
    // followed by the stop).
    int32_t first = 0;
    ASSERT_EQ(MixBlock(100, &first), 0);
    EXPECT_EQ(first, 1000 * centre);
    EXPECT_EQ(Melos_GetHook(100), c.hookAfter);
    MixBlock(100, &first);
    EXPECT_EQ(first, c.secondDc * centre);
    Melos_StopAllSounds();
  }
}

TEST_F(MelosDispatchTest, ATextTriggerThatStopsTheSoundEndsTheMix) {
  MeloBuilder m;
  m.Frmt(0, 16, 48000, 1).Regn(0, kBlockBytes).Text(kBlockBytes, "bye");
  m.Regn(kBlockBytes, kBlockBytes).Stop(2 * kBlockBytes);
  m.data = Pcm16(Constant(3072, 100), true);
  host.resident[100] = m.Build();
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  const int32_t args[10] = {100};
  ASSERT_EQ(Melos_SetTrigger(100, "bye", 9, args), 0);
  // The marker follows the first region, inside the first block.
  int32_t first = 0;
  EXPECT_EQ(MixBlock(100, &first), -3);
  EXPECT_EQ(first, 100 * MelosMixer_PanEntry(16, 8));
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
}

TEST_F(MelosDispatchTest, BadMapsEndTheSound) {
  // A first event other than FRMT, a map that jumps to itself for ever, and a
  // region past the loaded bytes.
  MeloBuilder noFormat;
  noFormat.Regn(0, 100).Stop(100);
  noFormat.data = Bytes(100, 0);
  host.resident[100] = noFormat.Build();
  EXPECT_EQ(Melos_StartSound(100, 50), -1);
  MeloBuilder loop;
  loop.Frmt(0, 16, 48000, 1).Jump(0, 0, 0, 0);
  loop.data = Bytes(100, 0);
  host.resident[101] = loop.Build();
  EXPECT_EQ(Melos_StartSound(101, 50), -1);
  MeloBuilder past;
  past.Frmt(0, 16, 48000, 1).Regn(0, 100000).Stop(100000);
  past.data = Bytes(100, 0);
  host.resident[102] = past.Build();
  ASSERT_EQ(Melos_StartSound(102, 50), 0);
  EXPECT_EQ(MixBlock(102), -1);
  EXPECT_EQ(Melos_GetParam(102, MELOS_PARAM_PLAYING), 0);
  // A 24-bit format cannot play.
  MeloBuilder wide;
  wide.Frmt(0, 24, 48000, 1).Regn(0, 96).Stop(96);
  wide.data = Bytes(96, 0);
  host.resident[103] = wide.Build();
  EXPECT_EQ(Melos_StartSound(103, 50), -1);
  // One-frame regions at 96000 Hz looping on themselves cover no output
  // frame: the block ends after a bounded number of pieces.
  MeloBuilder tiny;
  tiny.Frmt(0, 16, 96000, 1).Regn(0, 2).Jump(2, 0, 0, 0);
  tiny.data = Bytes(2, 1);
  host.resident[104] = tiny.Build();
  ASSERT_EQ(Melos_StartSound(104, 50), 0);
  EXPECT_EQ(MixBlock(104), 0);
}

// A streamed Melo file of DC at 48000 Hz, one long region.
Bytes StreamedDc(uint32_t frames, int16_t value) {
  MeloBuilder m;
  m.Frmt(0, 16, 48000, 1).Regn(0, frames * 2).Stop(frames * 2);
  m.data = Pcm16(Constant(frames, value), true);
  return m.Build();
}

TEST_F(MelosDispatchTest, AStreamStartedBeforeDataPlaysAfterTheFirstService) {
  const Bytes wave = Wave(48000, 16, 1, Pcm16(Constant(48000, 3000), false));
  for (const Bytes& file : {StreamedDc(48000, 3000), wave}) {
    host.files[10001] = file;
    ASSERT_EQ(Melos_StartStream(10001, 50, 2), 0);
    EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_STREAMED), 1);
    EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_BLOCK), 2);
    EXPECT_TRUE(Silent(FillBlock()));
    EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_PLAYING), 1);
    ASSERT_EQ(Melos_ServiceStreams(), 0);
    const auto block = FillBlock();
    EXPECT_EQ(block[0], MelosMixer_Curve(3000 * 94 >> 7));
    EXPECT_EQ(block[3071], block[0]);
    Melos_StopAllSounds();
  }
  EXPECT_EQ(Melos_StartStream(0, 50, 2), -1);
  EXPECT_EQ(Melos_StartStream(10001, 50, 7), -1);  // no such memory block
}

// A streamed file with one jump; returns the file and the jump's file offset.
Bytes JumpFile(uint32_t jumpAt, uint32_t dest, uint32_t hook, uint32_t fadeMs, uint32_t bytes,
               uint32_t* jumpOffset) {
  MeloBuilder m;
  m.Frmt(0, 16, 48000, 1).Regn(0, jumpAt).Jump(jumpAt, dest, hook, fadeMs);
  m.Regn(jumpAt, bytes - jumpAt).Stop(bytes);
  if (dest != 0 && dest != jumpAt) m.Regn(dest, bytes - dest);
  m.data = Pcm16(Ramp(bytes / 2, 0, 1), true);
  if (jumpOffset) *jumpOffset = m.DataOffset() + jumpAt;
  return m.Build();
}

// Starts the stream, reads it in and loads the map (a mix of 16 frames).
MelosDispatch* StartBuffered(int32_t sound) {
  if (Melos_StartStream(sound, 50, 2) != 0) return nullptr;
  Melos_ServiceStreams();
  MelosTrack* t = MelosTracks_Find(sound);
  MelosMixer_Clear();
  MelosDispatch_Mix(t, 16, 48000);
  return t->dispatch;
}

TEST_F(MelosDispatchTest, AHookChangeUndoesAPreparedJump) {
  uint32_t jumpOffset = 0;
  host.files[10001] = JumpFile(6000, 0, 5, 10, 16000, &jumpOffset);
  ASSERT_EQ(Melos_SetHook(10001, 5), -4);
  MelosDispatch* d = StartBuffered(10001);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(Melos_SetHook(10001, 5), 0);
  MelosDispatch_ProcessJumps();
  ASSERT_NE(d->regions->next, nullptr);
  EXPECT_EQ(d->regions->length, jumpOffset - d->regions->start);
  EXPECT_EQ(d->regions->next->tail, 1);  // 10 ms: 960 bytes
  EXPECT_EQ(d->regions->next->length, 960u);
  EXPECT_EQ(Melos_GetHook(10001), 5);  // the look-ahead used a copy
  ASSERT_EQ(Melos_SetHook(10001, 0), 0);
  MelosDispatch_ProcessJumps();
  EXPECT_EQ(d->regions->next, nullptr);
  EXPECT_EQ(d->stream->filePosition, jumpOffset);
  int32_t size, threshold, buffered, end;
  ASSERT_EQ(Melos_GetStreamInfo(10001, &size, &threshold, &buffered, &end), 0);
  EXPECT_EQ(static_cast<uint32_t>(buffered), jumpOffset - d->regions->start);
}

TEST_F(MelosDispatchTest, JumpsFromBelowByte2000ForwardHaveNoTail) {
  struct Case {
    uint32_t jumpAt, dest;
    bool tail;
  };
  for (const Case& c : {Case{512, 1536, false}, Case{512, 0, true}, Case{2400, 6000, true}}) {
    SCOPED_TRACE(c.jumpAt * 10000 + c.dest);
    host.files[10001] = JumpFile(c.jumpAt, c.dest, 0, 50, 16000, nullptr);
    MelosDispatch* d = StartBuffered(10001);
    ASSERT_NE(d, nullptr);
    MelosDispatch_ProcessJumps();
    ASSERT_NE(d->regions->next, nullptr);
    EXPECT_EQ(d->regions->next->tail, c.tail ? 1 : 0);
    // Playing on through the jump: the destination follows (its data needs a
    // service) and the cross-fade tail, when there is one, is held.
    int32_t first;
    EXPECT_EQ(MixBlock(10001, &first), 0);
    EXPECT_EQ(d->fadeBuffer != nullptr, c.tail);
    Melos_ServiceStreams();
    EXPECT_EQ(MixBlock(10001, &first), 0);
    EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_PLAYING), 1);
    Melos_StopAllSounds();
  }
}

TEST_F(MelosDispatchTest, ASwitchFadesAtMostTwoSeconds) {
  MeloBuilder m;
  m.Frmt(0, 16, 8000, 1).Regn(0, 80000).Stop(80000);
  m.data = Pcm16(Constant(40000, 500), true);
  host.files[10001] = m.Build();
  host.files[10002] = StreamedDc(48000, 700);
  MelosDispatch* d = StartBuffered(10001);
  ASSERT_NE(d, nullptr);
  Melos_ServiceStreams();
  MelosDispatch_ProcessJumps();
  ASSERT_GE(d->regions->length, 32000u);
  ASSERT_EQ(Melos_SwitchStream(10001, 10002, 5000, 0, 0), 0);
  EXPECT_EQ(d->fadeHeld, 32000);  // 2000 ms of 8000 Hz 16-bit mono
  EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_PLAYING), 0);
  EXPECT_EQ(Melos_GetParam(10002, MELOS_PARAM_PLAYING), 1);
  EXPECT_EQ(Melos_SwitchStream(10001, 10002, 100, 0, 0), -1);
  // The new sound fades in under the tail once its data is read.
  Melos_ServiceStreams();
  int32_t first = 0;
  ASSERT_EQ(MixBlock(10002, &first), 0);
  EXPECT_GT(first, 0);
}

TEST_F(MelosDispatchTest, ServiceOrderOfTwoStreams) {
  struct Case {
    bool hungryA, hungryB;
    std::vector<int32_t> reads;
  };
  host.files[10000] = StreamedDc(200000, 1);
  host.files[10001] = StreamedDc(200000, 1);
  for (const Case& c : {Case{true, true, {10001, 10000}}, Case{true, false, {10000}},
                        Case{false, true, {10001}}, Case{false, false, {10001}}}) {
    SCOPED_TRACE(c.hungryA * 10 + c.hungryB);
    host.SetBlock(1, 100000, 1000, c.hungryA ? 1 << 30 : 0);
    host.SetBlock(2, 100000, 1000, c.hungryB ? 1 << 30 : 0);
    ASSERT_EQ(Melos_StartStream(10000, 50, 1), 0);  // A
    ASSERT_EQ(Melos_StartStream(10001, 50, 2), 0);  // B
    host.reads.clear();
    Melos_ServiceStreams();
    EXPECT_EQ(host.reads, c.reads);
    if (c.hungryA && c.hungryB) {  // A was serviced last: A first now
      host.reads.clear();
      Melos_ServiceStreams();
      EXPECT_EQ(host.reads, (std::vector<int32_t>{10000, 10001}));
    }
    if (!c.hungryA && !c.hungryB) {  // B last: B again
      host.reads.clear();
      Melos_ServiceStreams();
      EXPECT_EQ(host.reads, (std::vector<int32_t>{10001}));
    }
    Melos_StopAllSounds();
  }
}

TEST_F(MelosDispatchTest, FeedDropsTwelveByteUnits) {
  host.SetBlock(1, 16384 + 4 + 1000, 1000, 500);  // a ring of 1000 bytes
  ASSERT_EQ(Melos_StartStream(10000, 50, 1), 0);
  const Bytes data(600, 7);
  ASSERT_EQ(Melos_FeedStream(10000, data.data(), 600, 0), 0);
  int32_t size, threshold, buffered, end;
  ASSERT_EQ(Melos_GetStreamInfo(10000, &size, &threshold, &buffered, &end), 0);
  EXPECT_EQ(size, 1000);
  EXPECT_EQ(threshold, 500);
  EXPECT_EQ(buffered, 600);
  ASSERT_EQ(Melos_FeedStream(10000, data.data(), 600, 1), 0);
  ASSERT_EQ(Melos_GetStreamInfo(10000, &size, &threshold, &buffered, &end), 0);
  EXPECT_EQ(buffered, 600 - 216 + 600);  // (600 - 400 + 4) / 12 x 12 + 12 dropped
  EXPECT_EQ(end, 1);
  EXPECT_EQ(Melos_FeedStream(10000, data.data(), 997, 0), -5);
  EXPECT_EQ(Melos_FeedStream(10001, data.data(), 10, 0), -1);
  EXPECT_EQ(Melos_GetStreamInfo(10001, &size, &threshold, &buffered, &end), -1);
}

TEST_F(MelosDispatchTest, StreamsSurviveSaveAndRestore) {
  host.files[10001] = StreamedDc(96000, 3000);
  AddDc(100, 2000, 96000);
  ASSERT_NE(StartBuffered(10001), nullptr);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  ASSERT_EQ(MixBlock(10001), 0);
  ASSERT_EQ(MixBlock(100), 0);
  const int position = Melos_GetParam(10001, MELOS_PARAM_POSITION);
  std::vector<uint8_t> buffer(80000);
  const int length = Melos_Save(buffer.data(), 80000);
  ASSERT_GT(length, 0);
  Melos_StopAllSounds();
  ASSERT_EQ(Melos_Restore(buffer.data(), static_cast<uint32_t>(length)), length);
  EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_STREAMED), 1);
  EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_BLOCK), 2);
  EXPECT_EQ(Melos_GetParam(10001, MELOS_PARAM_POSITION), position);
  Melos_ServiceStreams();
  int32_t first = 0;
  ASSERT_EQ(MixBlock(10001, &first), 0);
  EXPECT_EQ(first, 3000 * MelosMixer_PanEntry(16, 8));
  ASSERT_EQ(MixBlock(100, &first), 0);
  EXPECT_EQ(first, 2000 * MelosMixer_PanEntry(16, 8));
}

}  // namespace
