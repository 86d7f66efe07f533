// The audio decoder.
#include "vembra/vembra_wave.h"

#include <algorithm>
#include <cstring>

#include "melos/MelosVima.h"
#include "platform/kv_Registry.h"
#include "vembra/vembra_Services.h"
#include "vembra/vembra_sound.h"

namespace {

struct WaveState {
  VembraSoundTable* sound = nullptr;
  VembraMemory* memory = nullptr;
  uint8_t* work = nullptr;
  uint16_t chunkCounter = 0;
  uint32_t totalAudio = 0;
  int64_t lastStream = -1;
};

WaveState g_wave;

const char kModuleKey[] = "ORNMODULE=vembra_wave_flobdec";
const char kDecoderKey[] = "FLOBDEC=vembra_wave";

uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// The chunk header: the first chunk of a stream also carries the sound's
// data header (ring size, a command program that plays the whole sound, the
// sample tag and length). Returns the header's length.
int32_t ChunkHeader(uint8_t* c, int32_t sampleBytes, int channels) {
  const bool first = g_wave.chunkCounter == 0;
  memcpy(c, "PSAD", 4);
  PutBE32(c + 4, uint32_t(sampleBytes + (first ? 46 : 10)));
  PutLE16(c + 8, kWaveTrackId);
  PutLE16(c + 10, g_wave.chunkCounter);
  PutLE16(c + 12, 100);  // chunk count
  PutLE16(c + 14, 0);    // extra flags
  c[16] = 127;           // volume scale
  c[17] = 0;             // pan offset
  if (!first) return kWaveLaterChunkHeader;
  PutBE32(c + 18, 0);
  PutBE32(c + 22, g_wave.totalAudio + 36);
  PutBE32(c + 26, 0);
  PutBE32(c + 30, 12);
  const uint8_t program[12] = {0x01, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x00};
  memcpy(c + 34, program, sizeof program);
  PutBE32(c + 40, g_wave.totalAudio);
  memcpy(c + 46, channels == 2 ? "S6SZ" : "S6MZ", 4);
  PutBE32(c + 50, g_wave.totalAudio);
  return kWaveFirstChunkHeader;
}

const char* Describe(int kind) {
  switch (kind) {
    case 0:
      return "Audio";
    case 1:
      return "Decompresses VBR-ADPCM 16-bit audio.";
    case 2:
      return "Decompresses Variable Bit Rate ADPCM 16-bit audio.";
    default:
      return "";
  }
}

uint32_t GetTag(void) {
  return VembraTag("Wave");
}

uint32_t GetFlags(void) {
  return 4;
}

void Reset(void) {
  g_wave.chunkCounter = 0;
}

void Preparse(const uint8_t* payload, int32_t size) {
  if (!payload || size < 12) return;
  g_wave.totalAudio = uint32_t(payload[8]) | uint32_t(payload[9]) << 8 |
                      uint32_t(payload[10]) << 16 | uint32_t(payload[11]) << 24;
  g_wave.chunkCounter = 0;
}

uint32_t Decode(VembraBitmap*, const VembraRect*, int32_t, int32_t, uint8_t*,
                const uint8_t* payload, int32_t size, uint32_t, int32_t, int32_t) {
  const auto result = [] {
    return g_wave.chunkCounter != 0 && g_wave.totalAudio > 100000 ? 0u : kVembraDecodeResetSync;
  };
  if (!payload || size < 4) return result();
  int32_t at = 4;
  uint32_t samples = BE32(payload);
  if (samples & 0x80000000u) {
    if (size < 12) return result();
    const uint32_t stream = BE32(payload + 4);
    if (stream != g_wave.lastStream) {
      g_wave.lastStream = stream;
      g_wave.chunkCounter = 0;
    }
    samples = BE32(payload + 8);
    at = 12;
  }
  // The coding header: index (complemented for stereo) and predictor per channel.
  VimaState states[2]{};
  int channels = 1;
  if (size - at < 3) return result();
  int index = payload[at];
  if (index & 0x80) {
    index = ~index & 0xFF;
    channels = 2;
  }
  if (size - at < 3 * channels) return result();
  for (int c = 0; c < channels; ++c) {
    if (c == 1) index = payload[at];
    // An index beyond the step table is a damaged block: the nearest one serves.
    states[c].index = std::clamp(index, 0, VIMA_MAX_INDEX);
    states[c].predictor = int16_t(uint16_t(payload[at + 1] << 8 | payload[at + 2]));
    at += 3;
  }
  if (!g_wave.sound || !g_wave.work) return result();
  // The work buffer holds the chunk: a block too large for it is not decoded.
  const int32_t header = g_wave.chunkCounter == 0 ? kWaveFirstChunkHeader : kWaveLaterChunkHeader;
  if (samples > uint32_t(kWaveWorkBytes - header) / uint32_t(2 * channels)) return result();
  const int32_t sampleBytes = int32_t(samples) * 2 * channels;
  uint8_t* chunk = g_wave.work;
  ChunkHeader(chunk, sampleBytes, channels);
  // The samples go straight into the chunk (the host is little-endian, as
  // the chunk's samples are).
  auto* pcm = reinterpret_cast<int16_t*>(chunk + header);
  Vima_Decode(payload + at, size_t(size - at), states, channels, int(samples), pcm, true);
  const int volume = int(kv_Registry_ReadFloat("SfxVolume", 127.0f));
  g_wave.sound->Play(chunk, header + sampleBytes, -1, volume, 0, kWaveSoundFlags);
  g_wave.chunkCounter++;
  return result();
}

int Unsupported(void) {
  return -1;
}

int NoInfo(void*, int, int32_t*, int32_t*, int32_t*, int32_t*) {
  return -1;
}

VembraFlobdec g_table = {Describe, GetTag, GetFlags, Reset, Preparse, Decode, Unsupported, NoInfo};

void Shutdown(void) {
  if (g_wave.work && g_wave.memory) VEMBRA_FREE(g_wave.memory, g_wave.work);
  g_wave.work = nullptr;
  if (g_wave.sound) OrnShare_Unsubscribe(g_wave.sound);
  if (g_wave.memory) OrnShare_Unsubscribe(g_wave.memory);
  g_wave.sound = nullptr;
  g_wave.memory = nullptr;
}

int Startup(void) {
  g_wave.sound = static_cast<VembraSoundTable*>(OrnShare_Subscribe("SOUND", nullptr));
  if (!g_wave.sound) {
    OrnShare_GetErrorPrinter()("D_WAVE: Cannot allocate sound services.");
    return -1;
  }
  g_wave.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY", nullptr));
  if (!g_wave.memory) {
    OrnShare_GetErrorPrinter()("D_WAVE: Cannot allocate memory services.");
    Shutdown();
    return -1;
  }
  g_wave.work = static_cast<uint8_t*>(VEMBRA_ALLOC(g_wave.memory, kWaveWorkBytes));
  if (!g_wave.work) {
    Shutdown();
    return -1;
  }
  g_wave.chunkCounter = 0;
  g_wave.lastStream = -1;
  return 0;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kDecoderKey);
}

OrnModuleTable g_module = {vembra_wave_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_wave_Register(OrnShareServices* services, const char*) {
  services->Publish(kModuleKey, &g_module);
  services->Publish(kDecoderKey, &g_table);
  return 0;
}

VembraFlobdec* vembra_wave_Table(void) {
  return &g_table;
}

int vembra_wave_ChunkCounter(void) {
  return g_wave.chunkCounter;
}
