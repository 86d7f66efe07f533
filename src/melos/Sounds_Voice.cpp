// The music host's stream files (10000 the voice, 10001..10004 the music
// script's files), the voice stream, the lip-sync tables read from ".lip"
// files beside the sounds, and the voice-effect setting (stored and saved,
// never applied).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "melos/Melos.h"
#include "melos/MelosBytes.h"
#include "melos/SoundsInternal.h"
#include "platform/kv_Log.h"

namespace {

// ---- stream files ---------------------------------------------------------------

struct StreamFile {
  McmpHandle handle;
  // The whole name as opened: a later open of the same name shares the file
  // (a name cut to a fixed size would never match again).
  std::string name;
  int32_t references = 0;
};
StreamFile g_files[SOUNDS_STREAM_FILES];

StreamFile* FileOf(int32_t id) {
  const int32_t i = id - SOUNDS_VOICE;
  return i >= 0 && i < SOUNDS_STREAM_FILES && g_files[i].handle.IsOpen() ? &g_files[i] : nullptr;
}

void CloseFile(StreamFile& f) {
  Mcmp_Close(f.handle);
  f = StreamFile{};
}

bool OpenInto(StreamFile& f, const char* name) {
  const McmpHandle h = Mcmp_Open(name, "rb");
  if (!h.IsOpen()) return false;
  f.handle = h;
  f.name = name;
  f.references = 1;
  return true;
}

// ---- lip sync ----------------------------------------------------------------------

constexpr int kBindings = 4;
constexpr int kLipBytes = 2000;
constexpr uint32_t kNoShape = 95;

struct LipBinding {
  int32_t id;  // 0 = free
  int entries;
  uint8_t table[kLipBytes];
};
LipBinding g_lips[kBindings];

// ---- voice -------------------------------------------------------------------------

char g_voiceName[260];
char g_effectName[40] = "OFF";

// The lip file's table into binding b; false when it is not a usable ".lip".
bool ReadLip(McmpHandle file, LipBinding& b) {
  const int64_t length = Mcmp_Size(file);
  if (length < 12 || length > kLipBytes) return false;
  if (Mcmp_Read(file, b.table, static_cast<uint32_t>(length)) != length) return false;
  if (std::memcmp(b.table, "LIP!", 4) != 0) return false;
  b.entries = static_cast<int>((length - 8) / 4);
  // The count word is replaced in memory by the entry count.
  Melos_PutLE32(b.table + 4, static_cast<uint32_t>(b.entries));
  return b.entries >= 1;
}

// The play position in ms of a bound id's sound, or false when none plays it.
bool BoundPosition(const LipBinding& b, int32_t* position) {
  int32_t sound = 0;
  if (b.id == SOUNDS_VOICE) {
    sound = SOUNDS_VOICE;
  } else {
    for (int i = 0; i < SOUNDS_SLOTS && !sound; ++i)
      if (Sounds_Slot(i)->name[0] && Sounds_Slot(i)->scriptId == b.id) sound = i + SOUNDS_SLOT_ID;
    if (!sound) return false;
  }
  *position = Melos_GetParam(sound, MELOS_PARAM_POSITION);
  return true;
}

bool MusicHungry(int32_t music) {
  int32_t refill = 0, buffered = 0, end = 0;
  if (Melos_GetStreamInfo(music, nullptr, &refill, &buffered, &end) != 0) return false;
  return !end && buffered <= refill;
}

}  // namespace

// ---- stream files ---------------------------------------------------------------------

int32_t Sounds_StreamFileOpen(const char* name, int32_t hint) {
  if (!name || !name[0]) return 0;
  if (hint >= SOUNDS_VOICE && hint < SOUNDS_VOICE + SOUNDS_STREAM_FILES) {
    StreamFile& f = g_files[hint - SOUNDS_VOICE];
    if (f.handle.IsOpen()) CloseFile(f);
    return OpenInto(f, name) ? hint : 0;
  }
  for (int i = 1; i < SOUNDS_STREAM_FILES; ++i) {
    StreamFile& f = g_files[i];
    if (!f.handle.IsOpen()) return OpenInto(f, name) ? SOUNDS_VOICE + i : 0;
    if (f.name == name) {
      ++f.references;
      return SOUNDS_VOICE + i;
    }
  }
  return 0;
}

int Sounds_StreamFileClose(int32_t id) {
  StreamFile* f = FileOf(id);
  if (!f) return 1;
  if (f->references > 1)
    --f->references;
  else
    CloseFile(*f);
  return 0;
}

int32_t Sounds_StreamFileSeek(int32_t id, int32_t offset, int32_t whence) {
  StreamFile* f = FileOf(id);
  if (!f || Mcmp_Seek(f->handle, offset, whence) != 0) return 0;
  const int64_t at = Mcmp_Tell(f->handle);
  return at < 0 || at > INT32_MAX ? 0 : static_cast<int32_t>(at);
}

int32_t Sounds_StreamFileRead(int32_t id, void* buffer, int32_t count) {
  StreamFile* f = FileOf(id);
  if (!f || count <= 0) return 0;
  return Mcmp_Read(f->handle, buffer, static_cast<uint32_t>(count));
}

void Sounds_CloseStreamFiles(void) {
  for (StreamFile& f : g_files)
    if (f.handle.IsOpen()) CloseFile(f);
  Sounds_UnbindLipSync(SOUNDS_VOICE);
}

int Sounds_StreamFileIsOpen(int32_t id) {
  return FileOf(id) ? 1 : 0;
}

// ---- lip sync ---------------------------------------------------------------------------

void Sounds_LipName(const char* name, char* out, size_t room) {
  if (!out || room == 0) return;
  out[0] = 0;
  if (!name) return;
  const char* slash = std::strrchr(name, '/');
  const char* backslash = std::strrchr(name, '\\');
  const char* tail = std::max(slash ? slash + 1 : name, backslash ? backslash + 1 : name);
  const char* dot = std::strrchr(tail, '.');
  const int stem = static_cast<int>(dot ? dot - name : static_cast<long>(std::strlen(name)));
  std::snprintf(out, room, "%.*s.lip", stem, name);
}

void Sounds_BindLipSync(const char* lipFile, int32_t id) {
  if (!lipFile || id == 0) return;
  McmpHandle file = Mcmp_Open(lipFile, "rb");
  const size_t length = std::strlen(lipFile);
  if (!file.IsOpen() && length > 2 && lipFile[2] == '_') {
    // A language prefix ("de_") falls back to the English file.
    char english[260];
    std::snprintf(english, sizeof english, "en%s", lipFile + 2);
    file = Mcmp_Open(english, "rb");
  }
  if (!file.IsOpen()) {
    Sounds_UnbindLipSync(id);
    return;
  }
  LipBinding* b = nullptr;
  if (id == SOUNDS_VOICE) {
    b = &g_lips[0];
  } else {
    for (int i = 1; i < kBindings; ++i) {
      if (g_lips[i].id == id) {  // already bound: it keeps its table
        Mcmp_Close(file);
        return;
      }
    }
    for (int i = 1; i < kBindings && !b; ++i)
      if (g_lips[i].id == 0) b = &g_lips[i];
  }
  if (b) {
    b->id = id;
    if (!ReadLip(file, *b)) {
      kv_Log_Printf("[Sounds] - %s: not a usable lip-sync file", lipFile);
      *b = LipBinding{};
    }
  }
  Mcmp_Close(file);
}

void Sounds_UnbindLipSync(int32_t id) {
  for (LipBinding& b : g_lips)
    if (b.id == id) b = LipBinding{};
}

uint32_t Sounds_GetLipSyncShape(int sound, int offset) {
  if (sound == 0) return 0;
  const LipBinding* b = nullptr;
  for (const LipBinding& lip : g_lips)
    if (lip.id == sound && !b) b = &lip;
  if (!b) return 0;
  int32_t position = 0;
  if (!BoundPosition(*b, &position)) return 0;
  const int64_t u = (static_cast<int64_t>(offset) + position) >> 4;
  for (int i = 0; i + 1 < b->entries; ++i) {
    const uint8_t* e = b->table + 8 + 4 * i;
    if (u < Melos_LE16(e)) break;
    if (u < Melos_LE16(e + 4)) return Melos_LE16(e + 2);
  }
  return kNoShape;
}

// ---- voice ------------------------------------------------------------------------------

int Sounds_StartVoice(const char* file, int volume, int pan) {
  Melos_StopSound(SOUNDS_VOICE);
  Sounds_ReleaseVoice();
  if (!file) return 1;
  std::snprintf(g_voiceName, sizeof g_voiceName, "%s", file);
  char lip[260];
  Sounds_LipName(file, lip, sizeof lip);
  Sounds_BindLipSync(lip, SOUNDS_VOICE);
  StreamFile& f = g_files[0];
  if (!OpenInto(f, file)) {
    Sounds_UnbindLipSync(SOUNDS_VOICE);
    return 1;
  }
  // The music is topped up first, so the voice's reads do not starve it.
  if (const int32_t music = Sounds_MusicStream(); music && MusicHungry(music)) {
    Sounds_ServiceWhile(MusicHungry, music);
    for (int i = 0; i < 5; ++i) Melos_ServiceStreams();
  }
  Melos_StartStream(SOUNDS_VOICE, 127, 1);
  Melos_SetParam(SOUNDS_VOICE, MELOS_PARAM_GROUP, 2);
  Melos_SetParam(SOUNDS_VOICE, MELOS_PARAM_VOLUME, volume);
  Melos_SetParam(SOUNDS_VOICE, MELOS_PARAM_PAN, pan);
  Melos_ServiceStreams();
  Melos_ServiceStreams();
  return 0;
}

void Sounds_StopVoice(void) {
  Melos_StopSound(SOUNDS_VOICE);
  Sounds_StreamFileClose(SOUNDS_VOICE);
}

int Sounds_ReleaseVoice(void) {
  StreamFile& f = g_files[0];
  if (!f.handle.IsOpen()) return 0;
  CloseFile(f);
  Sounds_UnbindLipSync(SOUNDS_VOICE);
  return SOUNDS_VOICE;
}

int Sounds_RestartVoice(void) {
  Sounds_ReleaseVoice();
  if (!g_voiceName[0]) return 1;
  return OpenInto(g_files[0], g_voiceName) ? 0 : 1;
}

int Sounds_GetVoicePosition(void) {
  return Melos_GetParam(SOUNDS_VOICE, MELOS_PARAM_POSITION);
}

int Sounds_VoiceEffectDone(void) {
  return 1;
}

void Sounds_SetVoiceEffect(const char* name) {
  // No effect is ever switched on: "OFF", an unknown effect and a zero
  // permission word all leave the voice as it is recorded.
  std::snprintf(g_effectName, sizeof g_effectName, "%s", name ? name : "OFF");
}

const char* Sounds_VoiceEffectName(void) {
  // The effect is always off, and an effect that is off saves as "OFF".
  std::snprintf(g_effectName, sizeof g_effectName, "OFF");
  return g_effectName;
}

void Sounds_ForgetVoiceName(void) {
  g_voiceName[0] = 0;
}
