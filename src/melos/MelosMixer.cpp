// The music mixer, recorder and output glue (see MelosMixer.h).
#include "melos/MelosMixer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "melos/MelosBytes.h"
#include "melos/MelosFormats.h"
#include "melos/MelosMixCore.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Log.h"
#include "std/stdFileUtil.h"

namespace {

mixcore::PanTable g_pan;
std::vector<int32_t> g_accumulator;
std::vector<int16_t> g_curve;

// --- recorder state; the main thread starts and stops, the heartbeat writes,
// both under the recorder's mutex.
struct Recorder {
  std::mutex mutex;
  FILE* file = nullptr;
  std::atomic<MelosRecorderState> state{MelosRecorderState::Off};
  uint32_t bytes = 0;
};
Recorder g_recorder;

bool g_outputClosed = true;
bool g_blockLocked = false;

bool IsSilent(const uint8_t* block, int bytes) {
  for (int i = 0; i < bytes; ++i)
    if (block[i]) return false;
  return true;
}

void WriteHeaderAndClose() {
  uint8_t header[44];
  MeloHeader_Write(header, SOUND_WAVE, AudioDevice_GetSampleRate(), 16, 2, g_recorder.bytes);
  std::fseek(g_recorder.file, 0, SEEK_SET);
  std::fwrite(header, 1, sizeof header, g_recorder.file);
  std::fclose(g_recorder.file);
  g_recorder.file = nullptr;
  g_recorder.state = MelosRecorderState::Off;
}

void Record(const uint8_t* block, int bytes) {
  std::lock_guard<std::mutex> lock(g_recorder.mutex);
  const MelosRecorderState state = g_recorder.state.load();
  if (state == MelosRecorderState::Off || !g_recorder.file) return;
  const bool silent = IsSilent(block, bytes);
  if (state == MelosRecorderState::Armed) {
    if (silent) return;
    g_recorder.state = MelosRecorderState::Recording;
  } else if (state == MelosRecorderState::Finishing && silent) {
    WriteHeaderAndClose();
    return;
  }
  // A WAV file cannot pass 4 GB: finish before the header's sizes overflow.
  if (static_cast<uint64_t>(g_recorder.bytes) + static_cast<uint64_t>(bytes) + 36 > 0xFFFFFFFFu) {
    WriteHeaderAndClose();
    return;
  }
  if (std::fwrite(block, 1, static_cast<size_t>(bytes), g_recorder.file) !=
      static_cast<size_t>(bytes)) {
    kv_Log_Printf("[Melos] - recording: write failed, recording ends");
    WriteHeaderAndClose();
    return;
  }
  g_recorder.bytes += static_cast<uint32_t>(bytes);
}

}  // namespace

int MelosMixer_Init(int tracks) {
  mixcore::BuildPanTable(g_pan);
  if (tracks < 1 || tracks > 16) return -1;
  g_accumulator.assign(MELOS_BLOCK_FRAMES * 2, 0);
  g_curve.resize(static_cast<size_t>(tracks) * 32768);
  for (size_t n = 0; n < g_curve.size(); ++n) {
    const uint64_t v = (n * 524272u / (7 * n + 262136u) + 1) / 2;
    g_curve[n] = static_cast<int16_t>(std::min<uint64_t>(v, 32767));
  }
  return 0;
}

void MelosMixer_Free(void) {
  g_accumulator = std::vector<int32_t>();
  g_curve = std::vector<int16_t>();
}

void MelosMixer_Clear(void) {
  std::fill(g_accumulator.begin(), g_accumulator.end(), 0);
}

int32_t* MelosMixer_Accumulator(void) {
  return g_accumulator.empty() ? nullptr : g_accumulator.data();
}

int MelosMixer_PanEntry(int g, int j) {
  return g_pan[g][j];
}
int MelosMixer_Curve(int n) {
  if (g_curve.empty()) return 0;
  return g_curve[std::min<size_t>(static_cast<size_t>(n), g_curve.size() - 1)];
}

void MelosMixer_Mix(const uint8_t* source, int sourceFrames, int bits, int channels, int swap,
                    int outputFrames, int outputOffset, int volume, int pan) {
  if (g_accumulator.empty() || !source || sourceFrames <= 0 || bits != 16 || volume < 1) return;
  if (channels != 1 && channels != 2) return;
  if (outputOffset < 0 || outputFrames <= 0 || outputOffset >= MELOS_BLOCK_FRAMES) return;
  outputFrames = std::min(outputFrames, MELOS_BLOCK_FRAMES - outputOffset);
  const uint32_t ratio = static_cast<uint32_t>(static_cast<uint64_t>(sourceFrames) * 65536u /
                                               static_cast<uint64_t>(outputFrames));
  int left, right;
  if (channels == 1)
    mixcore::MonoMultipliers(g_pan, volume, pan, &left, &right);
  else
    left = right = volume + 1;
  int32_t* acc = g_accumulator.data() + 2 * outputOffset;
  using mixcore::MixPiece;
  if (channels == 1) {
    if (swap)
      MixPiece<1, mixcore::Signed16BE>(source, sourceFrames, outputFrames, acc, left, right, ratio);
    else
      MixPiece<1, mixcore::Signed16LE>(source, sourceFrames, outputFrames, acc, left, right, ratio);
  } else {
    if (swap)
      MixPiece<2, mixcore::Signed16BE>(source, sourceFrames, outputFrames, acc, left, right, ratio);
    else
      MixPiece<2, mixcore::Signed16LE>(source, sourceFrames, outputFrames, acc, left, right, ratio);
  }
}

int MelosMixer_Output(uint8_t* block, int frames) {
  if (g_accumulator.empty() || !block || frames <= 0) return -1;
  frames = std::min(frames, MELOS_BLOCK_FRAMES);
  const int32_t* acc = g_accumulator.data();
  const int16_t* curve = g_curve.data();
  const uint32_t last = static_cast<uint32_t>(g_curve.size() - 1);
  int16_t* out = reinterpret_cast<int16_t*>(block);
  for (int i = 0; i < frames * 2; ++i) {
    const int32_t a = acc[i];
    int16_t v;
    if (a >= 0) {
      v = curve[std::min(static_cast<uint32_t>(a) >> 7, last)];
    } else {
      v = static_cast<int16_t>(-curve[std::min(static_cast<uint32_t>(-(a + 1)) >> 7, last)]);
    }
    out[i] = v;  // the host is little-endian, like the device's format
  }
  Record(block, frames * 4);
  return 0;
}

int MelosMixer_IsAvailable(void) {
  return 1;
}

int Melos_StartRecording(const char* path, int wait) {
  std::lock_guard<std::mutex> lock(g_recorder.mutex);
  if (g_recorder.file) WriteHeaderAndClose();
  g_recorder.bytes = 0;
  // The name comes from a script: the recording is made inside the game folder.
  std::string host;
  if (path) stdFileUtil_ResolveWritePath(path, &host);
  g_recorder.file = host.empty() ? nullptr : std::fopen(host.c_str(), "wb");
  if (g_recorder.file) stdFileUtil_NoteEntryChanged(host.c_str());
  if (!g_recorder.file) {
    kv_Log_Printf("[Melos] - recording: cannot open \"%s\"", path ? path : "");
    g_recorder.state = MelosRecorderState::Off;
    return -1;
  }
  std::fseek(g_recorder.file, 44, SEEK_SET);
  g_recorder.state = wait ? MelosRecorderState::Armed : MelosRecorderState::Recording;
  return 0;
}

void Melos_StopRecording(void) {
  std::lock_guard<std::mutex> lock(g_recorder.mutex);
  if (g_recorder.state.load() != MelosRecorderState::Off) {
    g_recorder.state = MelosRecorderState::Finishing;
  }
}

int Melos_RecordingState(void) {
  return static_cast<int>(g_recorder.state.load());
}

void MelosRecorder_Finish(void) {
  std::lock_guard<std::mutex> lock(g_recorder.mutex);
  if (g_recorder.file) WriteHeaderAndClose();
  g_recorder.state = MelosRecorderState::Off;
}

int MelosOutput_Open(int) {
  g_outputClosed = false;
  AudioChannel_Open(0, MELOS_BLOCK_BYTES, MELOS_BLOCK_COUNT);
  return 0;
}

void MelosOutput_Close(void) {
  g_outputClosed = true;
  AudioChannel_Close(0);
}

int MelosOutput_IsClosed(void) {
  return g_outputClosed ? 1 : 0;
}

void MelosOutput_GetBlock(uint8_t** block, int* frames, int* rate) {
  *block = nullptr;
  *frames = 0;
  if (g_outputClosed || !AudioChannel_GetBuffer(0)) return;
  AudioChannel_Lock(0);
  g_blockLocked = true;
  *block = AudioChannel_GetBuffer(0) + AudioChannel_GetWriteBlock(0) * MELOS_BLOCK_BYTES;
  *frames = MELOS_BLOCK_FRAMES;
  if (rate) *rate = AudioDevice_GetSampleRate();
}

void MelosOutput_ReleaseBlock(void) {
  if (!g_blockLocked) return;
  g_blockLocked = false;
  AudioChannel_Unlock(0);
}

void MelosOutput_Suspend(void) {}
void MelosOutput_Resume(void) {}
