// The save game, settings and file script functions: save, load and erase
// requests and their status, the cross-save answers, the save-list search on
// a worker thread, achievements and unlock bits, the settings registry, file
// searches and checks, the CD search and the developer questions. Each is a thin binding
// over the engine's save machinery or a platform service.
#include <atomic>
#include <cstring>

#include "actors/drevTool.h"
#include "engine/Polyglot.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "engine/drevResource.h"
#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "platform/kv_Log.h"
#include "platform/kv_Registry.h"
#include "platform/kv_Save.h"
#include "platform/kv_Steam.h"
#include "platform/kv_Thread.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

namespace {

constexpr int kSaveListMax = 32;
constexpr int kRegistryTextMax = 256;  // 255 characters and the terminator
constexpr int kInputDialogSize = 101;  // 100 characters and the terminator

// The save-list search: the worker fills the entries and the count, then
// sets the state to 1; the main thread reads them only after a join.
struct SaveListSearch {
  std::atomic<int> state{0};
  int count = 0;
  SaveListEntry entries[kSaveListMax] = {};
  kv_Thread* thread = nullptr;
};
SaveListSearch g_list;

struct SaveFilesState {
  uint32_t crossSaveStatus = 0;
  FileSearch* search = nullptr;
  bool searchEnded = false;
};
SaveFilesState g_files;

bool IsNumber(lua_Object value) {
  return lua_isnumber(value) != 0;
}
bool IsString(lua_Object value) {
  return lua_isstring(value) != 0;
}
int ArgInt(int number) {
  return drevLua_ToInt(lua_getnumber(lua_lua2C(number)));
}
void PushFlag(bool on) {
  if (on) {
    lua_pushnumber(1.0f);
  } else {
    lua_pushnil();
  }
}

// ---- Save, load, erase -------------------------------------------------------

// Save(slot, title, value, text): the arguments reach the request by
// position; the text is translated through the text table.
void Save() {
  const lua_Object slot = lua_lua2C(1), title = lua_lua2C(2), value = lua_lua2C(3),
                   text = lua_lua2C(4);
  if (!IsNumber(slot) || !IsString(title) || !IsNumber(value) || !IsString(text)) return;
  drevLua_SetSaveStatus(-1);
  drevMain_RequestSave(drevLua_ToInt(lua_getnumber(slot)), lua_getstring(title),
                       drevLua_ToInt(lua_getnumber(value)),
                       Polyglot_Translate(lua_getstring(text)));
}

// Load(slot, boot on failure): the flag is the truncated number, 0 for nil.
void Load() {
  const lua_Object slot = lua_lua2C(1), boot = lua_lua2C(2);
  if (!IsNumber(slot)) return;
  drevLua_SetSaveStatus(-1);
  drevMain_RequestLoad(drevLua_ToInt(lua_getnumber(slot)),
                       IsNumber(boot) ? drevLua_ToInt(lua_getnumber(boot)) : 0);
}

void Erase() {
  const lua_Object slot = lua_lua2C(1);
  if (!IsNumber(slot)) return;
  drevLua_SetSaveStatus(-1);
  drevMain_RequestErase(drevLua_ToInt(lua_getnumber(slot)));
}

void New() {
  drevMain_RequestNewGame();
}

void GetSaveStatus() {
  lua_pushnumber(static_cast<float>(drevLua_GetSaveStatus()));
}

void JustLoaded() {
  PushFlag(drevMain_TakeJustLoaded() != 0);
}

// ---- Cross saves: no service behind them; every check completes at once ----------

void StartCheckOfCrossSaveStatus() {
  const int mode = ArgInt(1);
  if (mode == 0 || mode == 1) g_files.crossSaveStatus = 0;
}

void GetCrossSaveStatus() {
  if (g_files.crossSaveStatus == 0) g_files.crossSaveStatus = 1;
  lua_pushnumber(static_cast<float>(g_files.crossSaveStatus));
}

void GlobalSaveResolved() {
  lua_pushnumber(1.0f);
}

// ---- Save-list search ----------------------------------------------------------

int FindSaveGamesInternal(void*) {
  g_list.count = kv_Save_ListSlots(g_list.entries, kSaveListMax);
  g_list.state.store(1, std::memory_order_release);
  return 0;
}

void JoinSaveListSearch() {
  if (!g_list.thread) return;
  kv_Thread_Join(g_list.thread);
  g_list.thread = nullptr;
}

// A second search first waits for the one still running.
void InitiateFindSaveGames() {
  JoinSaveListSearch();
  g_list.state.store(0, std::memory_order_release);
  g_list.count = 0;
  g_list.thread = kv_Thread_Create(FindSaveGamesInternal, "FindSaveGamesInternal", nullptr, 0, 1);
  if (!g_list.thread) {
    // The search ends at once with nothing found.
    kv_Log_Printf("[Save] - could not start the save-list search");
    g_list.state.store(1, std::memory_order_release);
  }
}

void GetFindSaveGameStatus() {
  lua_pushnumber(static_cast<float>(g_list.state.load(std::memory_order_acquire)));
}

void FindSaveGames() {
  JoinSaveListSearch();
  const int count = g_list.count;
  if (count <= 0) {
    lua_pushnil();
    return;
  }
  lua_Object list = lua_createtable();
  for (int i = 0; i < count && i < kSaveListMax; ++i) {
    const SaveListEntry& e = g_list.entries[i];
    lua_Object entry = lua_createtable();
    drevLua_SetField(entry, "slot", static_cast<float>(e.slot));
    drevLua_SetField(entry, "title", e.title);
    if (e.date[0]) drevLua_SetField(entry, "timeDateString", e.date);
    drevLua_SetField(entry, "mural_info", e.progress);
    drevLua_SetField(entry, "setIndex", static_cast<float>(e.number));
    lua_pushobject(list);
    lua_pushnumber(static_cast<float>(i));
    lua_pushobject(entry);
    lua_settable();
  }
  lua_pushobject(list);
}

// ---- Achievements and unlock bits ------------------------------------------------

void UnlockAchievement() {
  const lua_Object name = lua_lua2C(1);
  if (IsString(name)) kv_Steam_UnlockAchievement(lua_getstring(name));
}

void ResetAchievements() {}

void AreAchievementsInstalled() {
  kv_Steam_AreAchievementsInstalled();
  lua_pushnumber(1.0f);
}

void UnlockCutscene() {
  kv_Registry_UnlockCutscene(ArgInt(1));
}
void IsCutsceneUnlocked() {
  PushFlag(kv_Registry_IsCutsceneUnlocked(ArgInt(1)) != 0);
}
void UnlockConcept() {
  kv_Registry_UnlockConcept(ArgInt(1));
}
void IsConceptUnlocked() {
  PushFlag(kv_Registry_IsConceptUnlocked(ArgInt(1)) != 0);
}

// ---- Settings registry ----------------------------------------------------------

void WriteRegistryValue() {
  const lua_Object name = lua_lua2C(1), value = lua_lua2C(2);
  if (!IsString(name)) return;
  if (IsNumber(value)) {
    kv_Registry_WriteFloat(lua_getstring(name), lua_getnumber(value));
  } else if (IsString(value)) {
    kv_Registry_WriteString(lua_getstring(name), lua_getstring(value));
  }
}

void ReadRegistryValue() {
  const lua_Object name = lua_lua2C(1);
  if (!IsString(name)) {
    lua_pushnil();
    return;
  }
  const char* key = lua_getstring(name);
  const uint32_t type = kv_Registry_GetType(key);
  if (type == kRegistryTypeNumber) {
    lua_pushnumber(kv_Registry_ReadFloat(key, 0.0f));
  } else if (type == kRegistryTypeString) {
    char text[kRegistryTextMax] = {};
    kv_Registry_ReadString(key, text, sizeof text);
    lua_pushstring(text);
  } else {
    lua_pushnil();
  }
}

void ReadRegistryIntValue() {
  const lua_Object name = lua_lua2C(1);
  if (!IsString(name) || kv_Registry_GetType(lua_getstring(name)) != kRegistryTypeNumber) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(static_cast<float>(kv_Registry_ReadInt(lua_getstring(name), 0)));
}

void SaveRegistryToDisk() {
  kv_Registry_Save();
}

// ---- File searches and checks ----------------------------------------------------

void DisposeSearch() {
  if (g_files.search) stdFileUtil_DisposeFind(g_files.search);
  g_files.search = nullptr;
  g_files.searchEnded = false;
}

// The next file's name of the open search (directories are skipped); nil at
// the end, and after it until a new search starts.
void FileFindNext() {
  FileSearchResult result{};
  while (g_files.search && !g_files.searchEnded) {
    if (!stdFileUtil_FindNext(g_files.search, &result)) {
      g_files.searchEnded = true;
      break;
    }
    if (!result.isDirectory) {
      lua_pushstring(result.name);
      return;
    }
  }
  lua_pushnil();
}

void FileFindFirst() {
  const lua_Object pattern = lua_lua2C(1), directory = lua_lua2C(2);
  DisposeSearch();
  if (!IsString(pattern)) {
    lua_pushnil();
    return;
  }
  g_files.search = stdFileUtil_NewFind(IsString(directory) ? lua_getstring(directory) : "", 3,
                                       lua_getstring(pattern));
  FileFindNext();
}

void FileFindDispose() {
  DisposeSearch();
}

// 1 when the file opens for reading through the services record.
bool FileOpens(const char* name) {
  HostServices* hs = std_pHS;
  if (!name || !hs || !hs->fileOpen) return false;
  const stdFile_t file = hs->fileOpen(name, "r");
  if (!file) return false;
  hs->fileClose(file);
  return true;
}

void CheckForFile() {
  const lua_Object name = lua_lua2C(1);
  PushFlag(IsString(name) && FileOpens(lua_getstring(name)));
}

// There are no drives to walk on this platform: no file is on a CD.
void FindFileOnAnyCD() {
  lua_pushnil();
}

// ---- Developer questions and the CD search -----------------------------------------

// SearchForFileOrSwapCDs(title, message, fileName): 1, nil when the file is
// there; otherwise the music stops and the player is asked once to make the
// data available, the data directories are registered again and the file is
// tried once more: 1, 1 when it opens now, nil, nil when not or on cancel.
void SearchForFileOrSwapCDs() {
  const lua_Object title = lua_lua2C(1), message = lua_lua2C(2), name = lua_lua2C(3);
  if (!IsString(title) || !IsString(message) || !IsString(name)) return;
  if (FileOpens(lua_getstring(name))) {
    lua_pushnumber(1.0f);
    lua_pushnil();
    return;
  }
  Melos_SetState(0);
  Melos_StopAllSounds();
  Sounds_ReleaseVoice();
  if (drevTool_MessageBox(lua_getstring(title), lua_getstring(message), kToolBoxOkCancel) !=
      kToolAnswerCancel) {
    drevResource_DetachPacks();
    drevMain_ScanDataDirectories();
    if (FileOpens(lua_getstring(name))) {
      lua_pushnumber(1.0f);
      lua_pushnumber(1.0f);
      return;
    }
  }
  lua_pushnil();
  lua_pushnil();
}

// QueryDialog(title, text, cancel): yes/no, or yes/no/cancel unless the
// third argument is nil; cancel gives 0, no gives nil, anything else 1.
void QueryDialog() {
  const lua_Object title = lua_lua2C(1), text = lua_lua2C(2), cancel = lua_lua2C(3);
  if (!IsString(title) || !IsString(text)) {
    lua_pushnil();
    return;
  }
  const int style = lua_isnil(cancel) ? kToolBoxYesNo : kToolBoxYesNoCancel;
  const int answer = drevTool_MessageBox(lua_getstring(title), lua_getstring(text), style);
  if (answer == kToolAnswerCancel) {
    lua_pushnumber(0.0f);
  } else if (answer == kToolAnswerNo) {
    lua_pushnil();
  } else {
    lua_pushnumber(1.0f);
  }
}

// InputDialog(title, prompt, default): the entered text (at most 100
// characters), or nil.
void InputDialog() {
  const lua_Object title = lua_lua2C(1), prompt = lua_lua2C(2), fallback = lua_lua2C(3);
  const bool hasDefault = IsString(fallback);
  if (!IsString(title) || !IsString(prompt) || (!hasDefault && !lua_isnil(fallback) && fallback)) {
    lua_pushnil();
    return;
  }
  char text[kInputDialogSize] = {};
  if (!drevTool_InputDialog(lua_getstring(title), lua_getstring(prompt), text, sizeof text,
                            hasDefault ? lua_getstring(fallback) : nullptr)) {
    lua_pushnil();
    return;
  }
  text[sizeof text - 1] = 0;
  lua_pushstring(text);
}

const lua_Reg kRows[] = {
    {"Save", Save},
    {"Load", Load},
    {"Erase", Erase},
    {"New", New},
    {"GetSaveStatus", GetSaveStatus},
    {"JustLoaded", JustLoaded},
    {"StartCheckOfCrossSaveStatus", StartCheckOfCrossSaveStatus},
    {"GetCrossSaveStatus", GetCrossSaveStatus},
    {"GlobalSaveResolved", GlobalSaveResolved},
    {"InitiateFindSaveGames", InitiateFindSaveGames},
    {"GetFindSaveGameStatus", GetFindSaveGameStatus},
    {"FindSaveGames", FindSaveGames},
    {"UnlockAchievement", UnlockAchievement},
    {"ResetAchievements", ResetAchievements},
    {"AreAchievementsInstalled", AreAchievementsInstalled},
    {"UnlockCutscene", UnlockCutscene},
    {"IsCutsceneUnlocked", IsCutsceneUnlocked},
    {"UnlockConcept", UnlockConcept},
    {"IsConceptUnlocked", IsConceptUnlocked},
    {"WriteRegistryValue", WriteRegistryValue},
    {"ReadRegistryValue", ReadRegistryValue},
    {"ReadRegistryIntValue", ReadRegistryIntValue},
    {"SaveRegistryToDisk", SaveRegistryToDisk},
    {"FileFindFirst", FileFindFirst},
    {"FileFindNext", FileFindNext},
    {"FileFindDispose", FileFindDispose},
    {"CheckForFile", CheckForFile},
    {"FindFileOnAnyCD", FindFileOnAnyCD},
    {"SearchForFileOrSwapCDs", SearchForFileOrSwapCDs},
    {"QueryDialog", QueryDialog},
    {"InputDialog", InputDialog},
};

}  // namespace

std::span<const lua_Reg> drevLua_SaveFileRows(void) {
  return kRows;
}

void drevLua_ShutdownSaveFiles(void) {
  JoinSaveListSearch();
  DisposeSearch();
  g_files.crossSaveStatus = 0;
}
