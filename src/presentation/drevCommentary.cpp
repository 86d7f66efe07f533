// The director's commentary: definitions, selection, playback with music
// and movie ducking, the strip overlay, paged subtitles, heard bits, the
// "COMS" block and the seven script functions.
#include "presentation/drevCommentary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/ScriptHandles.h"
#include "melos/Melos.h"
#include "platform/kv_Log.h"
#include "platform/kv_Registry.h"
#include "platform/stdByteOrder.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevText.h"
#include "render/HardwareBackend.h"
#include "std/stdCallTable.h"
#include "std/stdConffile.h"
#include "video/MovieHD.h"

namespace {

constexpr char kDefinitionFile[] = "commentary_def.txt";
constexpr char kStripImage[] = "fadebox-top.png";
constexpr char kSetting[] = "DirectorsCommentary";
constexpr int kSoundPriority = 124;
constexpr int kSoundGroup = 5;
constexpr int kSoundPosition = 6656;  // the sound's play position in milliseconds
constexpr int kMusicGroups = 6;
constexpr int kDuckedVolume = 5;
constexpr int kHeardWords = 8;
// The subtitles' colour: red 230, green 142, blue 40, alpha byte 0.
constexpr uint32_t kSubtitleColor = 0x00288EE6;

struct CommentaryModule {
  HostServices* services = nullptr;
  CommentaryEntry entries[kCommentaryMaxEntries];
  int count = 0;
  int selected = -1;
  int playing = -1;
  int playingFlag = 0;
  uint32_t heard[kHeardWords] = {};
  int lineFinished[kCommentaryMaxLines] = {};
  int strip = -1;
  int ducking = 0;
  int savedVolumes[kMusicGroups] = {};
  // Of the newest subtitle object: its laid-out line count and the
  // characters of its first 20 lines, and the next scroll time (0 = none).
  uint32_t newestLineCount = 0;
  int32_t lineChars[kCommentaryKeptLineCounts] = {};
  uint32_t nextScroll = 0;
};
CommentaryModule g_com;

uint32_t g_colors[kCommentaryColorCount];
TextClip g_subtitleClip;
TextLayout g_subtitleLayout;

stdCallTable<drevCommentaryCalls> g_calls;

// ---- Names and the table -------------------------------------------------------------

int CompareNames(const char* a, const char* b) {
  return std::strncmp(a, b, kCommentaryNameLength);
}

// A script's name as the table keeps it: 32 characters at most, lower case.
void KeyOf(const char* name, char (&key)[kCommentaryNameLength + 1]) {
  std::memset(key, 0, sizeof key);
  std::strncpy(key, name, kCommentaryNameLength);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

CommentaryEntry* PlayingEntry() {
  return g_com.playing >= 0 && g_com.playing < g_com.count ? &g_com.entries[g_com.playing]
                                                           : nullptr;
}

// ---- Script reads ----------------------------------------------------------------------

// 1 when the scripts' game_pauser.is_paused is set (not nil, not 0).
bool GamePaused() {
  lua_beginblock();
  bool paused = false;
  lua_Object pauser = lua_getglobal("game_pauser");
  if (lua_istable(pauser)) {
    lua_pushobject(pauser);
    lua_pushstring("is_paused");
    lua_Object value = lua_gettable();
    paused = value != 0 && !lua_isnil(value) && !(lua_isnumber(value) && lua_getnumber(value) == 0);
  }
  lua_endblock();
  return paused;
}

// The FONT in the scripts' global talk_font, or none.
TextFont* TalkFont() {
  lua_beginblock();
  TextFont* font = nullptr;
  lua_Object value = lua_getglobal("talk_font");
  if (lua_isuserdata(value) && lua_tag(value) == kTagFont) {
    font = static_cast<TextFont*>(lua_getuserdata(value));
  }
  lua_endblock();
  return font;
}

// The template every subtitle is made from.
const TextLayout* SubtitleLayout(uint32_t colour) {
  g_subtitleClip = TextClip{40, 0, 530, 480};
  TextLayout& t = g_subtitleLayout;
  t = TextLayout{};
  t.canvas = drevText_GetCanvas();
  t.clip = &g_subtitleClip;
  t.font = TalkFont();
  t.x = 40;
  t.y = 20;
  t.fgColor = colour;
  t.xScale = t.yScale = TEXTFONT_SCALE_ONE;
  t.flags = TEXTFONT_WRAP | (GamePaused() ? TEXT_LAYER_1 : 0u);
  t.hiIndex = -1;
  t.alpha = 1.0f;
  return &t;
}

// ---- Subtitles ---------------------------------------------------------------------------

// How long the object's pair of lines from firstLine stays: its share of the
// characters of the whole text, of the line's duration. 0 when there is
// nothing to share or no further pair.
uint32_t ScrollInterval(const TextObject* object, const CommentaryLine& line) {
  const int first = object->firstLine;
  if (first < 0 || first + 1 >= kCommentaryKeptLineCounts) return 0;
  const size_t length = std::strlen(object->text);
  if (length == 0) return 0;
  const float share = static_cast<float>(g_com.lineChars[first] + g_com.lineChars[first + 1]) /
                      static_cast<float>(length);
  const float interval = share * static_cast<float>(line.end - line.start);
  return interval > 0.0f ? static_cast<uint32_t>(interval) : 0;
}

void ShowLine(CommentaryLine& line) {
  const uint32_t colour =
      line.colour >= 0 && line.colour < kCommentaryColorCount ? g_colors[line.colour] : g_colors[0];
  TextObject* object =
      g_calls.live.createText(SubtitleLayout(colour), g_calls.live.translate(line.text, nullptr));
  if (!object) return;
  object->savedId = 0;
  g_calls.live.registerText(object, 0, TEXT_PERSISTENT);
  line.textObject = object;
  g_com.newestLineCount = g_calls.live.lineCount(object);
  object->lineCount = 2;
  std::fill(std::begin(g_com.lineChars), std::end(g_com.lineChars), 0);
  g_calls.live.lineValues(object, g_com.lineChars, kCommentaryKeptLineCounts);
  g_com.nextScroll = 0;
  if (g_com.newestLineCount > 2) {
    const uint32_t interval = ScrollInterval(object, line);
    if (interval > 0) g_com.nextScroll = static_cast<uint32_t>(line.start) + interval;
  }
}

// Shows the next pair of lines; scrolling ends at the last laid-out pair.
void ScrollLine(CommentaryLine& line) {
  TextObject* object = line.textObject;
  const int next = object->firstLine + 2;
  const int limit =
      static_cast<int>(std::min<uint32_t>(g_com.newestLineCount, kCommentaryKeptLineCounts));
  if (next >= limit) {
    g_com.nextScroll = 0;
    return;
  }
  object->firstLine = next;
  const uint32_t interval = ScrollInterval(object, line);
  g_com.nextScroll = interval > 0 ? g_com.nextScroll + interval : 0;
}

// ---- Loading -------------------------------------------------------------------------------

enum class Expect { Name, Sound, Count, Line, Skip };

bool FirstWord(const char* text, char* out, int width) {
  char format[16];
  std::snprintf(format, sizeof format, "%%%ds", width);
  return std::sscanf(text, format, out) == 1;
}

// One definition is complete: it is kept while the table has room.
void CloseEntry() {
  ++g_com.count;
  if (g_com.count == kCommentaryMaxEntries) {
    kv_Log_Printf(
        "[Commentary] - _numLoadedCommentaryEntries < DREVCOMMENTARY_MAX_COMMENTARY_ENTRIES: "
        "definitions after the %dth are skipped",
        kCommentaryMaxEntries);
  }
}

void SortAndNumber() {
  std::sort(g_com.entries, g_com.entries + g_com.count,
            [](const CommentaryEntry& a, const CommentaryEntry& b) {
              return CompareNames(a.name, b.name) < 0;
            });
  for (int i = 0; i < g_com.count; ++i) g_com.entries[i].index = i;
}

// ---- Script functions ---------------------------------------------------------------------

void SetCommentary() {
  lua_Object name = lua_lua2C(1);
  if (lua_isstring(name)) drevCommentary_Select(lua_getstring(name));
}

void ClearCommentary() {
  g_com.selected = -1;
}

void PlayCurrentCommentary() {
  drevCommentary_TogglePlay();
}

void EnableCommentary() {
  lua_Object flag = lua_lua2C(1);
  if (lua_isnumber(flag) && lua_getnumber(flag) == 0.0f) drevCommentary_StopImmediately();
}

void StopCommentaryImmediately() {
  drevCommentary_StopImmediately();
}

void HasHeardCommentary() {
  lua_Object name = lua_lua2C(1);
  if (!lua_isstring(name)) return;
  char key[kCommentaryNameLength + 1];
  KeyOf(lua_getstring(name), key);
  const int index = drevCommentary_Find(key);
  if (index >= 0 && drevCommentary_HasHeard(index)) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

void IsPlayingCommentary() {
  if (g_com.playingFlag) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

const lua_Reg kFunctions[] = {
    {"SetCommentary", SetCommentary},
    {"ClearCommentary", ClearCommentary},
    {"PlayCurrentCommentary", PlayCurrentCommentary},
    {"EnableCommentary", EnableCommentary},
    {"StopCommentaryImmediately", StopCommentaryImmediately},
    {"HasHeardCommentary", HasHeardCommentary},
    {"IsPlayingCommentary", IsPlayingCommentary},
};

}  // namespace

// ---- Module ----------------------------------------------------------------------------

int drevCommentary_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g_com.services = services;
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevCommentary_Initialize;
    descriptor->uninitialize = drevCommentary_Uninitialize;
    descriptor->startup = drevCommentary_Startup;
    descriptor->shutdown = drevCommentary_Shutdown;
    descriptor->save = drevCommentary_Save;
    descriptor->restore = drevCommentary_Restore;
  }
  g_com.playingFlag = 0;
  g_com.playing = -1;
  g_com.count = 0;
  std::memset(g_com.entries, 0, sizeof g_com.entries);
  std::fill(std::begin(g_colors), std::end(g_colors), kSubtitleColor);
  return 0;
}

void drevCommentary_Uninitialize(void) {
  g_com.services = nullptr;
}

int drevCommentary_Startup(void) {
  lua_openlib(kFunctions, static_cast<int>(std::size(kFunctions)));
  std::fill(std::begin(g_com.heard), std::end(g_com.heard), 0u);
  return 0;
}

void drevCommentary_Shutdown(void) {
  for (int e = 0; e < g_com.count; ++e) {
    for (CommentaryLine& line : g_com.entries[e].lines) line.textObject = nullptr;
  }
  g_com.playing = -1;
}

int drevCommentary_Save(SaveTransferFn write) {
  uint8_t block[4 + 4 * kHeardWords];
  stdLE_PutU32(block, static_cast<uint32_t>(g_com.selected));
  for (int i = 0; i < kHeardWords; ++i) stdLE_PutU32(block + 4 + 4 * i, g_com.heard[i]);
  if (write(block, sizeof block) != 0) {
    kv_Log_Printf("[Save] - commentary block could not be written");
    return 1;
  }
  return 0;
}

int drevCommentary_Restore(SaveTransferFn read) {
  uint8_t block[4 + 4 * kHeardWords];
  if (read(block, sizeof block) != 0) {
    kv_Log_Printf("[Load] - commentary block could not be read");
    return 1;
  }
  const int32_t selected = stdLE_GetI32(block);
  if (selected < -1 || selected >= g_com.count) {
    kv_Log_Printf("[Load] - commentary selection %d is not a definition; none selected", selected);
    g_com.selected = -1;
  } else {
    g_com.selected = selected;
  }
  for (int i = 0; i < kHeardWords; ++i) g_com.heard[i] = stdLE_GetU32(block + 4 + 4 * i);
  return 0;
}

// ---- Definitions ---------------------------------------------------------------------------

int drevCommentary_LoadDefinitions(void) {
  // The table is read anew: appending again at a second game start would
  // repeat every entry and move the numbers the heard bits are kept under.
  g_com.count = 0;
  std::memset(g_com.entries, 0, sizeof g_com.entries);
  if (!stdConffile_Open(kDefinitionFile)) return -1;
  Expect expect = Expect::Name;
  int line = 0;
  int skip = 0;
  while (g_com.count < kCommentaryMaxEntries && stdConffile_NextLine()) {
    CommentaryEntry& entry = g_com.entries[g_com.count];
    const char* text = stdConffile_line;
    switch (expect) {
      case Expect::Name:
        entry = CommentaryEntry{};
        if (FirstWord(text, entry.name, kCommentaryNameLength)) expect = Expect::Sound;
        break;
      case Expect::Sound:
        if (FirstWord(text, entry.sound, kCommentaryWordLength)) expect = Expect::Count;
        break;
      case Expect::Count: {
        int count = 0;
        std::sscanf(text, "%d", &count);
        if (count < 0 || count > kCommentaryMaxLines) {
          kv_Log_Printf("[Commentary] - %.32s: %d subtitle lines (at most %d); definition dropped",
                        entry.name, count, kCommentaryMaxLines);
          entry = CommentaryEntry{};
          skip = count > 0 ? count : 0;
          expect = skip > 0 ? Expect::Skip : Expect::Name;
        } else if (count == 0) {
          CloseEntry();
          expect = Expect::Name;
        } else {
          entry.lineCount = count;
          line = 0;
          expect = Expect::Line;
        }
        break;
      }
      case Expect::Line: {
        CommentaryLine& l = entry.lines[line];
        char format[32];
        std::snprintf(format, sizeof format, "%%d %%%ds %%d %%d", kCommentaryWordLength);
        std::sscanf(text, format, &l.colour, l.text, &l.start, &l.end);
        if (l.colour < 0 || l.colour >= kCommentaryColorCount) l.colour = 0;
        if (++line == entry.lineCount) {
          CloseEntry();
          expect = Expect::Name;
        }
        break;
      }
      case Expect::Skip:
        if (--skip == 0) expect = Expect::Name;
        break;
    }
  }
  stdConffile_Close();
  SortAndNumber();
  return 0;
}

int drevCommentary_Find(const char* name) {
  int low = 0;
  int high = g_com.count - 1;
  while (low <= high) {
    const int middle = low + (high - low) / 2;
    const int order = CompareNames(name, g_com.entries[middle].name);
    if (order == 0) return middle;
    if (order < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return -1;
}

// ---- Playback ------------------------------------------------------------------------------

void drevCommentary_Select(const char* name) {
  char key[kCommentaryNameLength + 1];
  KeyOf(name, key);
  const int index = drevCommentary_Find(key);
  g_com.selected = index >= 0 ? g_com.entries[index].index : -1;
}

void drevCommentary_TogglePlay(void) {
  if (g_com.playingFlag) {
    drevCommentary_StopImmediately();
    return;
  }
  if (g_com.selected < 0 || g_com.selected >= g_com.count ||
      g_calls.live.readSetting(kSetting, 0) == 0) {
    return;
  }
  drevCommentary_StopImmediately();
  g_com.playing = g_com.selected;
  CommentaryEntry& entry = g_com.entries[g_com.playing];
  if (g_calls.live.startSound(entry.sound, kSoundPriority, kSoundGroup) <= 0) {
    g_com.playing = -1;
    return;
  }
  // The music steps back while the commentary speaks; silent groups stay silent.
  g_com.ducking = 1;
  for (int group = 0; group < kMusicGroups; ++group) {
    g_com.savedVolumes[group] = g_calls.live.groupVolume(group, -1);
  }
  for (int group : {3, 2, 1}) {
    if (g_com.savedVolumes[group] > 0) g_calls.live.groupVolume(group, kDuckedVolume);
  }
  if (g_calls.live.movieActive()) g_calls.live.setMovieDucking(1);
  g_com.playingFlag = 1;
  g_com.strip = g_calls.live.createStrip(kStripImage, GamePaused() ? 20 : 1, 3840, 300);
  g_calls.live.notifyScripts(1);
  const int index = entry.index;
  if (index >= 0 && index < 32 * kHeardWords) g_com.heard[index / 32] |= 1u << (index % 32);
}

void drevCommentary_StopImmediately(void) {
  if (CommentaryEntry* entry = PlayingEntry()) {
    g_calls.live.stopSound(entry->sound);
    for (CommentaryLine& line : entry->lines) {
      if (line.textObject) g_calls.live.destroyText(line.textObject);
      line.textObject = nullptr;
    }
  }
  if (g_com.strip != -1) {
    g_calls.live.destroyOverlay(g_com.strip);
    g_com.strip = -1;
  }
  g_com.playing = -1;
  g_com.playingFlag = 0;
  std::fill(std::begin(g_com.lineFinished), std::end(g_com.lineFinished), 0);
  if (g_com.ducking) {
    g_calls.live.setMovieDucking(0);
    // A group the scripts changed meanwhile keeps their value.
    for (int group = 0; group < kMusicGroups; ++group) {
      if (g_calls.live.groupVolume(group, -1) == kDuckedVolume) {
        g_calls.live.groupVolume(group, g_com.savedVolumes[group]);
      }
      g_com.savedVolumes[group] = 0;
    }
    g_com.ducking = 0;
  }
  g_calls.live.notifyScripts(0);
}

void drevCommentary_Update(void) {
  CommentaryEntry* entry = PlayingEntry();
  if (!entry || !g_com.playingFlag) return;
  const int position = g_calls.live.soundParam(entry->sound, kSoundPosition);
  if (position < 0) {
    drevCommentary_StopImmediately();
    return;
  }
  for (int i = 0; i < entry->lineCount; ++i) {
    CommentaryLine& line = entry->lines[i];
    if (g_com.lineFinished[i] || position < line.start) continue;
    if (!line.textObject) {
      ShowLine(line);
    } else if (position > line.end) {
      g_calls.live.destroyText(line.textObject);
      line.textObject = nullptr;
      g_com.lineFinished[i] = 1;
    } else if (g_com.nextScroll != 0 && static_cast<uint32_t>(position) >= g_com.nextScroll) {
      ScrollLine(line);
    }
  }
}

// ---- State ---------------------------------------------------------------------------------

int drevCommentary_GetEntryCount(void) {
  return g_com.count;
}

const CommentaryEntry* drevCommentary_GetEntry(int index) {
  return index >= 0 && index < g_com.count ? &g_com.entries[index] : nullptr;
}

int drevCommentary_GetSelected(void) {
  return g_com.selected;
}
int drevCommentary_GetPlaying(void) {
  return g_com.playing;
}
int drevCommentary_IsPlaying(void) {
  return g_com.playingFlag;
}

int drevCommentary_HasHeard(int index) {
  if (index < 0 || index >= 32 * kHeardWords) return 0;
  return (g_com.heard[index / 32] >> (index % 32)) & 1u;
}

drevCommentaryCalls& drevCommentary_Calls(void) {
  return g_calls.live;
}
void drevCommentary_SetCalls(const drevCommentaryCalls* calls) {
  g_calls.Install(calls);
}
void drevCommentary_ResetCalls(void) {
  g_calls.Reset();
}
