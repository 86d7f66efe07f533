// The cutscene sound engine: voices, chunks, the service table and the
// module's lifecycle. The mix is in vembra_sound_Mix.cpp.
#include <algorithm>
#include <cstring>

#include "vembra/vembra_sound_Internal.h"

namespace {

SoundEngine g_engine;

const char kModuleKey[] = "ORNMODULE=vembra_sound";
const char kSoundKey[] = "SOUND=vembra";

uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
int BE16(const uint8_t* p) {
  return p[0] << 8 | p[1];
}
int LE16(const uint8_t* p) {
  return p[0] | p[1] << 8;
}

bool TagIs(const uint8_t* p, const char (&tag)[5]) {
  return memcmp(p, tag, 4) == 0;
}

int FormatOfTag(const uint8_t* tag) {
  if (TagIs(tag, "SD8S") || TagIs(tag, "SD2S")) return kSample8Stereo;
  if (TagIs(tag, "SD6M")) return kSample16UMono;
  if (TagIs(tag, "SD6S")) return kSample16UStereo;
  if (TagIs(tag, "S6MZ")) return kSample16Mono;
  if (TagIs(tag, "S6SZ")) return kSample16Stereo;
  return kSample8Mono;
}

int VoiceClass(uint32_t flags) {
  return int((flags >> 6) & 3);
}

// A chunk's fields once its header form is known.
struct Chunk {
  int trackId = 0, chunkIndex = 0, chunkCount = 0;
  int volume = 0, pan = 0;
  uint32_t flags = 0;
  const uint8_t* data = nullptr;
  int32_t dataSize = 0;
  bool wholeSound = false;  // SAUD: the chunk is the sound data
};

// Appends sample bytes at the voice's written end, wrapping in the data room.
void Append(SoundVoice& v, const uint8_t* bytes, int32_t n) {
  while (n > 0) {
    const int32_t at = int32_t(v.written % v.dataRoom);
    const int32_t run = std::min(n, v.dataRoom - at);
    memcpy(v.sound + v.dataOffset + at, bytes, size_t(run));
    bytes += run;
    n -= run;
    v.written += run;
  }
}

// The ring size for a new sound: the size nearest to the need among those
// above 2/3 of it and above the data; the largest when none is.
int32_t RingForSound(int64_t needed, int64_t dataSize) {
  const SoundEngine& e = g_engine;
  int64_t bestDistance = INT64_MAX;
  int32_t ring = 0, largest = 0;
  for (int i = 0; i < e.voiceCount; ++i) {
    const int32_t s = e.voices[size_t(i)].size;
    largest = std::max(largest, s);
    const int64_t distance = std::abs(int64_t(s) - needed);
    if (3 * int64_t(s) > 2 * needed && s > dataSize && distance < bestDistance) {
      bestDistance = distance;
      ring = s;
    }
  }
  return ring ? ring : largest;
}

// The best voice of a ring size (0: of any size) for a sound of these flags:
// free voices first, then voices of lower flags, equal flags, waiting voices
// and older ones; the highest index among equal scores; -1 for none.
int ChooseVoice(int32_t ring, uint32_t flags) {
  const SoundEngine& e = g_engine;
  int winner = -1, bestScore = 0;
  for (int i = 0; i < e.voiceCount; ++i) {
    const SoundVoice& v = e.voices[size_t(i)];
    if (ring != 0 && v.size != ring) continue;
    if (v.state != kVoiceFree && v.state != kVoiceWaiting && v.flags > flags) continue;
    const int score = 1 + v.age + (v.state == kVoiceFree ? 4096 : 0) +
                      (v.flags < flags ? 2048 : 0) + (v.flags == flags ? 1024 : 0) +
                      (v.state == kVoiceWaiting ? 512 : 0);
    if (score >= bestScore) {
      bestScore = score;
      winner = i;
    }
  }
  return winner;
}

// Ages every voice and hands the winner to a new sound (state free until it
// is set up).
void Claim(SoundVoice& winner, const Chunk& c, int maxAge) {
  for (int i = 0; i < g_engine.voiceCount; ++i) {
    SoundVoice& v = g_engine.voices[size_t(i)];
    v.age = std::min(v.age + 1, maxAge);
  }
  // A sound that is playing now goes on as a tail while the new one fades in.
  winner.replacedPlaying = winner.previousState == kVoicePlaying && winner.state != kVoiceStarting;
  if (winner.replacedPlaying) Sound_MakeTail(winner, winner.volume);
  winner.chunkIndex = 0;
  winner.age = 0;
  winner.state = kVoiceFree;
  winner.trackId = c.trackId;
  winner.chunkCount = c.chunkCount;
}

void SetVolumePan(SoundVoice& v, int volume, int pan, int maxVolume) {
  if (volume >= 0 && volume <= maxVolume) v.volume = volume;
  if (pan >= -127 && pan <= 127) v.pan = pan;
}

// A sound that no voice takes is dropped with a line in the log.
int Dropped(const char* why, int64_t bytes) {
  OrnShare_GetErrorPrinter()("Sound Module: a sound of %lld bytes is not played: %s.",
                             static_cast<long long>(bytes), why);
  return -1;
}

// Gives the voice a buffer of its own for a whole sound of `bytes` bytes,
// reusing the one it has when that is large enough. False when memory runs
// out; the voice's current buffers are then untouched.
bool TakeWholeBuffer(SoundVoice& v, int32_t bytes) {
  SoundEngine& e = g_engine;
  if (v.whole && v.wholeSize >= bytes) return true;
  auto* buffer = static_cast<uint8_t*>(VEMBRA_ALLOC(e.memory, size_t(bytes)));
  if (!buffer) return false;
  if (v.whole) VEMBRA_FREE(e.memory, v.whole);
  v.whole = buffer;
  v.wholeSize = bytes;
  return true;
}

// A first chunk: the sound data holds a header, the command program, the
// sample tag and length, then the samples. Every field must fit the chunk.
// A sound of several chunks streams through the voice's ring; a single-chunk
// sound (SAUD) is copied whole, into the ring when it fits, else into a
// buffer of its own, and plays from there.
int StartSound(const Chunk& c, int key) {
  SoundEngine& e = g_engine;
  if (c.dataSize < 24) return Dropped("its header is cut", c.dataSize);
  const int64_t needed = c.wholeSound ? c.dataSize : int64_t(BE32(c.data + 4));
  const int64_t k = BE32(c.data + 12);
  if (k < 0 || 24 + k > c.dataSize) return Dropped("its program passes its end", c.dataSize);
  const int32_t program = int32_t(k);
  const int64_t length = BE32(c.data + 20 + program);
  const int cls = VoiceClass(c.flags);
  if (cls == 1 && c.chunkCount > 1 && e.timer) {
    e.clockMark = e.timer->GetTime();
    e.clockMarkSet = true;
  }
  // Class-1 sounds take any voice; others the ring size that fits them
  // (twice the data for a sound of several chunks).
  const int64_t fitData = c.chunkCount > 1 ? 2 * int64_t(c.dataSize) : c.dataSize;
  const int index = ChooseVoice(cls == 1 ? 0 : RingForSound(needed, fitData), c.flags);
  if (index < 0) return -1;  // every voice plays a sound that ranks above it
  SoundVoice& v = e.voices[size_t(index)];
  const bool inRing = c.dataSize <= v.size && 24 + int64_t(program) < v.size;
  if (!inRing) {
    if (!c.wholeSound) return Dropped("its first chunk is larger than the voice", c.dataSize);
    if (c.dataSize - 24 - program < 4) return Dropped("it holds no samples", c.dataSize);
    if (!TakeWholeBuffer(v, c.dataSize)) return Dropped("out of memory", c.dataSize);
  }
  Claim(v, c, 255);
  v.sound = inRing ? v.ring : v.whole;
  memcpy(v.sound, c.data, size_t(24 + program));
  v.programOffset = 16;
  v.programLength = program;
  v.dataOffset = 24 + program;
  v.dataRoom = (inRing ? v.size : c.dataSize) - 24 - program;
  v.written = 0;
  Append(v, c.data + 24 + program, c.dataSize - 24 - program);
  v.key = key;
  v.length = length;
  v.format = FormatOfTag(c.data + 16 + program);
  v.volume = 127;
  v.pan = 0;
  SetVolumePan(v, c.volume, c.pan, 127);
  v.flags = c.flags;
  v.state = kVoiceStarting;
  return 0;
}

// A continuation: the voice that holds the previous chunk of the same track.
int ContinueSound(const Chunk& c) {
  SoundEngine& e = g_engine;
  for (int i = e.voiceCount - 1; i >= 0; --i) {
    SoundVoice& v = e.voices[size_t(i)];
    if (v.state == kVoiceFree || v.trackId != c.trackId || v.chunkCount != c.chunkCount ||
        v.chunkIndex != c.chunkIndex - 1)
      continue;
    if (c.dataSize > v.dataRoom) return -1;  // would overwrite itself
    v.chunkIndex++;
    Append(v, c.data, c.dataSize);
    SetVolumePan(v, c.volume, c.pan, 126);
    return 0;
  }
  return -1;
}

// A Creative Voice file: one 8-bit mono block played by a one-command program.
int StartCreative(const uint8_t* chunk, int32_t size, int key, int volume, int pan,
                  uint32_t flags) {
  SoundEngine& e = g_engine;
  if (size < 22) return -1;
  const int32_t block = LE16(chunk + 20);
  if (block > size - 6) return -1;
  const int32_t blockLength =
      chunk[block + 1] | chunk[block + 2] << 8 | chunk[block + 3] << 16;
  const int32_t samples = std::min(blockLength - 2, size - block - 6);
  if (samples <= 0 || e.voiceCount == 0) return -1;
  // The nearest ring size above the sample length, else the largest.
  int32_t ring = 0, largest = 0;
  for (int i = 0; i < e.voiceCount; ++i) {
    const int32_t s = e.voices[size_t(i)].size;
    largest = std::max(largest, s);
    if (s > samples && (ring == 0 || s < ring)) ring = s;
  }
  const int winner = ChooseVoice(ring ? ring : largest, flags);
  if (winner < 0) return -1;
  Chunk c;
  c.flags = flags;
  c.chunkCount = 1;
  SoundVoice& v = e.voices[size_t(winner)];
  const int32_t kept = std::min(samples, v.size - 12);
  Claim(v, c, 256);
  v.sound = v.ring;
  const uint8_t program[12] = {1, 8, 0, 0, 0, 0, uint8_t(kept >> 24), uint8_t(kept >> 16),
                               uint8_t(kept >> 8), uint8_t(kept), 0, 0};
  memcpy(v.sound, program, sizeof program);
  v.programOffset = 0;
  v.programLength = 12;
  v.dataOffset = 12;
  v.dataRoom = v.size - 12;
  v.written = 0;
  Append(v, chunk + block + 6, kept);
  v.length = kept;
  v.format = kSample8Mono;
  v.key = key;
  v.volume = 127;
  v.pan = 0;
  SetVolumePan(v, volume, pan, 127);
  v.flags = flags;
  v.state = kVoiceStarting;
  return 0;
}

template <typename Fn>
void ForKey(int key, Fn fn) {
  for (int i = 0; i < g_engine.voiceCount; ++i)
    if (g_engine.voices[size_t(i)].key == key) fn(g_engine.voices[size_t(i)]);
}

SoundVoice* FirstWithKey(int key) {
  for (int i = 0; i < g_engine.voiceCount; ++i)
    if (g_engine.voices[size_t(i)].key == key) return &g_engine.voices[size_t(i)];
  return nullptr;
}

int GetDriverVolume(void) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return g_engine.driver && g_engine.driver->GetVolume ? g_engine.driver->GetVolume() : 0;
}
void SetDriverVolume(int volume) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  if (g_engine.driver && g_engine.driver->SetVolume) g_engine.driver->SetVolume(volume);
}
int GetDriverRate(void) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return g_engine.driver && g_engine.driver->GetRate ? g_engine.driver->GetRate() : 0;
}
void SetRate(int rate) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  if (rate > 0) g_engine.defaultRate = rate;
  // The driver's rate is fixed; it has no rate operation to forward to.
}

int GetOption(int type, int* a, int* b) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  SoundEngine& e = g_engine;
  switch (type) {
    case 1:
      if (!a || !b) return -1;
      *b = (*a & 0xFF) == 255 ? e.master : e.variables[size_t(*a & 0xFF)];
      return 0;
    case 2:
      if (a) *a = e.duckFloor;
      if (b) *b = e.duckSpeed;
      return 0;
    case 3:
    case 4:
    case 5:
      if (a) *a = e.outputs[size_t(type - 3)] ? 1 : 0;
      return 0;
    default:
      return -1;
  }
}

int SetOption(int type, int a, int b) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  SoundEngine& e = g_engine;
  switch (type) {
    case 1:
      if ((a & 0xFF) == 255)
        e.master = b & 0xFF;
      else
        e.variables[size_t(a & 0xFF)] = uint8_t(b);
      return 0;
    case 2:
      if (a) e.duckFloor = a;
      if (b) e.duckSpeed = b;
      return 0;
    case 3:
    case 4:
    case 5:
      e.outputs[size_t(type - 3)] = a != 0;
      return 0;
    default:
      return -1;
  }
}

VembraSoundTable g_table = {Sound_Play,      Sound_StopKey,   Sound_Hold,      Sound_Release,
                            Sound_StopAll,   Sound_GetVolume, Sound_SetVolume, Sound_GetPan,
                            Sound_SetPan,    GetDriverVolume, SetDriverVolume, GetDriverRate,
                            SetRate,         Sound_GetPosition, GetOption,     SetOption};

void FreeVoices(void) {
  SoundEngine& e = g_engine;
  for (int i = 0; i < e.voiceCount; ++i) {
    SoundVoice& v = e.voices[size_t(i)];
    if (e.memory) {
      if (v.ring) VEMBRA_FREE(e.memory, v.ring);
      if (v.scratch) VEMBRA_FREE(e.memory, v.scratch);
      if (v.whole) VEMBRA_FREE(e.memory, v.whole);
    }
    v = SoundVoice{};
  }
  e.voiceCount = 0;
}

// A ring that cannot be allocated is tried 10000 bytes smaller while above the
// reserve; a shrunk ring then gives the reserve back, so that it stays free.
uint8_t* AllocateRing(int32_t* size) {
  SoundEngine& e = g_engine;
  int32_t s = *size;
  uint8_t* ring = static_cast<uint8_t*>(VEMBRA_ALLOC(e.memory, size_t(s)));
  while (!ring && s - 10000 > e.reserve) {
    s -= 10000;
    ring = static_cast<uint8_t*>(VEMBRA_ALLOC(e.memory, size_t(s)));
  }
  if (ring && s != *size) {
    VEMBRA_FREE(e.memory, ring);
    s -= e.reserve;
    ring = s > 0 ? static_cast<uint8_t*>(VEMBRA_ALLOC(e.memory, size_t(s))) : nullptr;
  }
  *size = s & ~3;
  return ring;
}

int OpenEngine(void) {
  SoundEngine& e = g_engine;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    e.voiceCount = 0;
    e.master = 127;
    e.variables.fill(0);
    for (int i = 0; i < e.ringSizeCount; ++i) {
      SoundVoice& v = e.voices[size_t(i)];
      v = SoundVoice{};
      int32_t size = e.ringSizes[size_t(i)];
      v.ring = AllocateRing(&size);
      v.scratch = static_cast<uint8_t*>(VEMBRA_ALLOC(e.memory, kSoundTailBytes));
      e.voiceCount = i + 1;
      if (!v.ring || !v.scratch || size < 64) {
        FreeVoices();
        return -1;
      }
      v.size = size;
      memset(v.ring, 0x7F, size_t(size));
    }
    e.defaultRate = e.driver->GetRate ? e.driver->GetRate() : 24000;
    if (e.defaultRate <= 0) e.defaultRate = 24000;
    e.outputs = {true, true, true};
    e.mixCounter = 0;
    e.clockAccumulator = 0;
    e.clockMarkSet = false;
    e.duckLevel = 256;
    e.pauseCount = 0;
    e.resetRequest = false;
  }
  // The driver starts its fill thread, which mixes under the engine mutex.
  const bool opened = e.driver->Open(e.outputRate, e.voiceCount, Sound_Mix) == 0;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    e.open = opened;
  }
  e.timer->Adjust(0);
  return 0;
}

void Unsubscribe(void) {
  SoundEngine& e = g_engine;
  for (void** t : {reinterpret_cast<void**>(&e.memory), reinterpret_cast<void**>(&e.timer),
                   reinterpret_cast<void**>(&e.driver)}) {
    if (*t) OrnShare_Unsubscribe(*t);
    *t = nullptr;
  }
}

int Startup(void) {
  SoundEngine& e = g_engine;
  e.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  const char* message = nullptr;
  if (!e.memory) {
    message = "Sound Module: Cannot allocate memory services.";
  } else if (!(e.timer = static_cast<VembraTimerTable*>(
                   OrnShare_Subscribe("TIMER.external_sync", nullptr)))) {
    message = "Sound Module: Cannot allocate timer services.";
  } else if (!(e.driver = static_cast<VembraSndDriverTable*>(
                   OrnShare_Subscribe("SNDDRIVER.driver", e.driverContext)))) {
    message = "Sound Module: Cannot allocate snddriver services.";
  }
  if (message) {
    OrnShare_GetErrorPrinter()(message);
    Unsubscribe();
    return -1;
  }
  if (OpenEngine() != 0) {
    Unsubscribe();
    return -1;
  }
  return 0;
}

void Shutdown(void) {
  SoundEngine& e = g_engine;
  // The driver's fill thread takes the engine mutex: close it without holding it.
  if (e.open && e.driver && e.driver->Close) e.driver->Close();
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    e.open = false;
    FreeVoices();
  }
  Unsubscribe();
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kSoundKey);
}

OrnModuleTable g_module = {vembra_sound_Register, Unregister, Startup, Shutdown};

}  // namespace

SoundEngine& Sound_Engine(void) {
  return g_engine;
}

int Sound_FrameBytes(int format) {
  const int n = Mixer_FrameBytes(format);
  return n > 0 ? n : 1;
}

void Sound_EndVoice(SoundVoice& v) {
  v.key = kSoundNoKey;
  v.state = kVoiceFree;
}

void Sound_MakeTail(SoundVoice& v, int volume) {
  if (!v.scratch || v.playRoom <= 0) return;
  const int fb = Sound_FrameBytes(v.playFormat);
  // Silence of the format where the data ends: 0x80 bytes for 8-bit
  // unsigned samples, 0x8000 for 16-bit unsigned, 0 for signed.
  const bool unsigned16 = v.playFormat == kSample16UMono || v.playFormat == kSample16UStereo;
  const uint8_t silence = v.playFormat <= kSample8Stereo ? 0x80 : 0;
  const int64_t end = std::min(v.written, v.length);
  const int32_t have = int32_t(std::clamp<int64_t>(end - v.position, 0, kSoundTailBytes));
  const uint8_t* data = v.playSound + v.playData;
  for (int32_t i = 0; i < have; ++i) v.scratch[i] = data[(v.position + i) % v.playRoom];
  for (int32_t i = have; i < kSoundTailBytes; ++i)
    v.scratch[i] = unsigned16 ? uint8_t((i & 1) ? 0x80 : 0) : silence;
  v.tailLeft = kSoundTailBytes / fb * fb;
  v.tailPosition = 0;
  v.tailRate = v.rate;
  v.tailFormat = v.playFormat;
  v.tailVolume = volume;
}

int vembra_sound_Register(OrnShareServices* services, const char*) {
  // The defaults of the registration options.
  SoundEngine& e = g_engine;
  e.driverContext = nullptr;
  e.outputRate = 24000;
  e.reserve = 64000;
  e.ringSizes[0] = kSoundDefaultRing;
  e.ringSizeCount = 1;
  e.ringSizesGiven = false;
  e.reverseStereo = false;
  e.mixCounterOut = nullptr;
  services->Publish(kModuleKey, &g_module);
  services->Publish(kSoundKey, &g_table);
  return 0;
}

int vembra_sound_Configure(const intptr_t* options) {
  SoundEngine& e = g_engine;
  for (const intptr_t* o = options; o && o[0] != 0; o += 2) {
    switch (o[0]) {
      case 1:
        e.driverContext = reinterpret_cast<const char*>(o[1]);
        break;
      case 2:
        e.outputRate = int(o[1]);
        break;
      case 3:
        e.reserve = int32_t(std::max<intptr_t>(o[1], 0));
        break;
      case 4:
        if (o[1] <= 0 || o[1] > INT32_MAX) return -1;
        if (!e.ringSizesGiven) {
          e.ringSizes[0] = int32_t(o[1]);
          e.ringSizeCount = 1;
          e.ringSizesGiven = true;
        } else {
          if (e.ringSizeCount >= kSoundMaxVoices) return -1;
          e.ringSizes[size_t(e.ringSizeCount++)] = int32_t(o[1]);
        }
        break;
      case 5:
        e.reverseStereo = o[1] != 0;
        break;
      case 6:
        e.mixCounterOut = reinterpret_cast<int32_t*>(o[1]);
        break;
      default:
        return -1;
    }
  }
  return 0;
}

VembraSoundTable* vembra_sound_Table(void) {
  return &g_table;
}

int Sound_Play(const uint8_t* chunk, int32_t size, int key, int volume, int pan, uint32_t flags) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  if (!g_engine.open || !chunk || size < 8) return -1;
  const int64_t length = BE32(chunk + 4);
  if (TagIs(chunk, "Crea")) return StartCreative(chunk, size, key, volume, pan, flags);
  if (length + 8 > size) return -1;
  Chunk c;
  c.volume = volume;
  c.pan = pan;
  c.flags = flags;
  if (TagIs(chunk, "SAUD")) {
    c.chunkCount = 1;
    c.data = chunk;
    c.dataSize = int32_t(length + 8);
    c.wholeSound = true;
  } else if (TagIs(chunk, "PSAD") || TagIs(chunk, "PVOC")) {
    if (length < 12) return -1;
    const bool shortForm = !(chunk[8] | chunk[9] | chunk[12] | chunk[13] | chunk[16] | chunk[17]);
    if (shortForm) {
      c.trackId = BE16(chunk + 10);
      c.chunkIndex = BE16(chunk + 14);
      c.chunkCount = BE16(chunk + 18);
      c.data = chunk + 20;
      c.dataSize = int32_t(length - 12);
    } else {
      c.trackId = LE16(chunk + 8);
      c.chunkIndex = LE16(chunk + 10);
      c.chunkCount = LE16(chunk + 12);
      c.flags |= uint32_t(LE16(chunk + 14));
      c.volume = volume * chunk[16] >> 7;
      const int offset = int8_t(chunk[17]);
      c.pan = offset == -128 ? 128 : pan + offset;
      c.data = chunk + 18;
      c.dataSize = int32_t(length - 10);
    }
  } else {
    return -1;
  }
  return c.chunkIndex == 0 ? StartSound(c, key) : ContinueSound(c);
}

void Sound_StopKey(int key) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  ForKey(key, [](SoundVoice& v) { Sound_EndVoice(v); });
}

void Sound_Hold(void) {
  g_engine.pauseCount++;
}

void Sound_Release(void) {
  int n = g_engine.pauseCount.load();
  while (n > 0 && !g_engine.pauseCount.compare_exchange_weak(n, n - 1)) {
  }
}

void Sound_StopAll(void) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  for (int i = 0; i < g_engine.voiceCount; ++i) Sound_EndVoice(g_engine.voices[size_t(i)]);
  // Nothing of the stopped sounds sounds on: no tail, no loop.
  g_engine.resetRequest = true;
}

int Sound_GetVolume(int key) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  if (key == kSoundNoKey) return g_engine.master;
  const SoundVoice* v = FirstWithKey(key);
  return v ? v->volume : -1;
}

void Sound_SetVolume(int key, int value) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  if (key == kSoundNoKey) {
    g_engine.master = value;
    return;
  }
  ForKey(key, [value](SoundVoice& v) { v.volume = value; });
}

int Sound_GetPan(int key) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  const SoundVoice* v = FirstWithKey(key);
  return v ? v->pan : -1;
}

void Sound_SetPan(int key, int value) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  ForKey(key, [value](SoundVoice& v) { v.pan = value; });
}

int32_t Sound_GetPosition(int key) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  SoundEngine& e = g_engine;
  const SoundVoice* v = nullptr;
  if (key == kSoundNoKey) {
    for (int i = 0; i < e.voiceCount && !v; ++i)
      if (e.voices[size_t(i)].state == kVoicePlaying) v = &e.voices[size_t(i)];
    return v ? int32_t(std::min<int64_t>(v->position, INT32_MAX - 1)) + 1 : 0;
  }
  if (key < 0 && -key - 1 < e.voiceCount)
    v = &e.voices[size_t(-key - 1)];
  else
    v = FirstWithKey(key);
  if (!v || v->state != kVoicePlaying) return 0;
  return int32_t(std::min<int64_t>(v->position, INT32_MAX));
}

int32_t Sound_GetVoiceTimeMs(int voice) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  SoundEngine& e = g_engine;
  if (voice < 0 || voice >= e.voiceCount) return 0;
  const SoundVoice& v = e.voices[size_t(voice)];
  const int rate = e.driver && e.driver->GetRate ? e.driver->GetRate() : 24000;
  if (rate <= 0) return 0;
  const int64_t frames = v.history[0] / Sound_FrameBytes(v.playFormat);
  return int32_t(std::min<int64_t>(frames * 1000 / rate, INT32_MAX));
}

int Sound_VoiceState(int voice) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return voice >= 0 && voice < g_engine.voiceCount ? g_engine.voices[size_t(voice)].state : -1;
}

int Sound_VoiceFade(int voice) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return voice >= 0 && voice < g_engine.voiceCount ? g_engine.voices[size_t(voice)].fade : -1;
}

int64_t Sound_VoiceWritten(int voice) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return voice >= 0 && voice < g_engine.voiceCount ? g_engine.voices[size_t(voice)].written : -1;
}

int Sound_DuckLevel(void) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return g_engine.duckLevel;
}

int Sound_VoiceCount(void) {
  std::lock_guard<std::mutex> lock(g_engine.mutex);
  return g_engine.voiceCount;
}
