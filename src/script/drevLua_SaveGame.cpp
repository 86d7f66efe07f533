// The scripts' two blocks of a save game: their own data block, filled by
// the save callback through SubmitSaveGameData and read back from a file by
// GetSaveGameData, and the runtime's user-data hooks, which keep object
// states by their place in the current set and fonts by their resource's
// saved identity.
//
// Data block body (between "LCBS" and "LCBE"): u32 N, the byte count of the
// records that follow (0 = no data), then records of u32 L (text length + 1)
// and L bytes of text ending in a zero byte.
#include <cstring>
#include <string>
#include <vector>

#include "engine/ObjectState.h"
#include "engine/Res.h"
#include "engine/drevRoom.h"
#include "platform/stdByteOrder.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"
#include "std/std.h"

namespace {

// The save callback in progress: its writer while the callback runs, and
// whether the scripts' data was submitted in it.
struct SaveCallbackState {
  SaveTransferFn writer = nullptr;
  uint32_t total = 0;
  bool submitted = false;
};
SaveCallbackState g_save;

constexpr size_t kMaxSaveDataText = 127;
constexpr int kSetupShift = 16;

bool WriteU32(uint32_t value) {
  uint8_t bytes[4];
  stdLE_PutU32(bytes, value);
  return g_save.writer(bytes, 4) == 0;
}

// t[i] as a string, or null when it is no string (nil ends the walk).
const char* Element(lua_Object table, int index, bool* isNil) {
  lua_pushobject(table);
  lua_pushnumber(static_cast<float>(index));
  lua_Object value = lua_gettable();
  *isNil = value == 0 || lua_isnil(value);
  // As everywhere in the script functions, a number is taken as its text.
  return lua_isstring(value) ? lua_getstring(value) : nullptr;
}

// SubmitSaveGameData(t): writes t[0], t[1], ... (up to the first nil) as the
// scripts' data block. Only once, and only inside saveGameCallback.
void SubmitSaveGameData() {
  if (!g_save.writer || g_save.submitted) return;
  g_save.submitted = true;
  g_save.total = 0;
  lua_Object table = lua_lua2C(1);
  if (!lua_istable(table)) return;
  std::vector<std::string> texts;
  uint64_t total = 0;
  for (int i = 0;; ++i) {
    bool isNil = false;
    const char* text = Element(table, i, &isNil);
    if (isNil) break;
    if (!text) return;  // a non-string element: nothing is written
    texts.emplace_back(text);
    total += 4 + texts.back().size() + 1;
    if (total > UINT32_MAX) return;
  }
  if (total == 0) return;
  g_save.total = static_cast<uint32_t>(total);
  if (!WriteU32(g_save.total)) return;
  for (const std::string& text : texts) {
    if (!WriteU32(static_cast<uint32_t>(text.size() + 1)) ||
        g_save.writer(const_cast<char*>(text.c_str()), text.size() + 1) != 0) {
      return;
    }
  }
}

// GetSaveGameData(fileName): the texts of a data block stored in a file, as
// a table indexed from 0; nothing when the file does not open. Each text
// keeps at most 127 characters; a record longer than the rest of the block,
// or a file that ends early, ends the table.
void GetSaveGameData() {
  lua_Object name = lua_lua2C(1);
  HostServices* hs = std_pHS;
  if (!lua_isstring(name) || !hs || !hs->fileOpen) return;
  const stdFile_t file = hs->fileOpen(lua_getstring(name), "rb");
  if (!file) return;
  lua_Object table = lua_createtable();
  uint8_t word[4];
  if (hs->fileRead(file, word, 4) == 4) {
    uint32_t remaining = stdLE_GetU32(word);
    for (int index = 0; remaining >= 4; ++index) {
      if (hs->fileRead(file, word, 4) != 4) break;
      const uint32_t length = stdLE_GetU32(word);
      if (length > remaining - 4) break;
      std::string text;
      uint32_t left = length;
      char chunk[4096];
      bool complete = true;
      while (left > 0) {
        const size_t want = left < sizeof chunk ? left : sizeof chunk;
        if (hs->fileRead(file, chunk, want) != want) {
          complete = false;
          break;
        }
        if (text.size() < kMaxSaveDataText + 1) text.append(chunk, want);
        left -= static_cast<uint32_t>(want);
      }
      if (!complete) break;
      text = text.c_str();  // up to the terminator
      if (text.size() > kMaxSaveDataText) text.resize(kMaxSaveDataText);
      lua_pushobject(table);
      lua_pushnumber(static_cast<float>(index));
      lua_pushstring(text.c_str());
      lua_settable();
      remaining -= 4 + length;
    }
  }
  hs->fileClose(file);
  lua_pushobject(table);
}

const lua_Reg kRows[] = {
    {"SubmitSaveGameData", SubmitSaveGameData},
    {"GetSaveGameData", GetSaveGameData},
};

}  // namespace

std::span<const lua_Reg> drevLua_SaveGameDataRows(void) {
  return kRows;
}

void drevLua_SaveGameCallback(SaveTransferFn writer) {
  g_save.writer = writer;
  g_save.total = 0;
  g_save.submitted = false;
  drevLua_CallSaveGameCallbackHandler();
  if (g_save.total == 0) WriteU32(0);
  g_save.writer = nullptr;
}

// ---- Runtime hooks ------------------------------------------------------------------

// STAT: setup index x 65536 + place in that setup's object-state list of the
// current set, -1 when it is in none. FONT: its resource's saved identity.
// Every other tag keeps its value: actor indexes, colours, and the serials of
// text objects and cached rectangles, which their modules look up when used.
int64_t drevLua_SaveHook(int32_t tag, void* value) {
  if (tag == kTagObjectState) {
    const Room* room = drevRoom_GetCurrent();
    for (uint32_t s = 0; room && s < room->numSetups; ++s) {
      int64_t place = 0;
      for (const ObjectState* state = room->setups[s].objectStates; state; state = state->next) {
        if (state == value) return static_cast<int64_t>(s) * 65536 + place;
        ++place;
      }
    }
    return -1;
  }
  if (tag == kTagFont) return Res_SavedIdOf(value);
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(value));
}

void* drevLua_RestoreHook(int32_t tag, uint32_t low, uint32_t high) {
  if (tag == kTagObjectState) {
    if (low == 0xFFFFFFFFu && high == 0) return nullptr;
    const uint64_t stored = static_cast<uint64_t>(high) << 32 | low;
    const uint64_t setup = stored >> kSetupShift;
    uint32_t place = low & 0xFFFF;
    const Room* room = drevRoom_GetCurrent();
    if (!room || setup >= room->numSetups) return nullptr;
    ObjectState* state = room->setups[setup].objectStates;
    while (state && place-- > 0) state = state->next;
    return state;
  }
  if (tag == kTagFont) return low == 0 && high == 0 ? nullptr : Res_FindBySavedId(low, high);
  // Text objects and cached rectangles are named by serials that their
  // modules restore before the script state and look up at every use: both
  // words are kept.
  if (tag == kTagText || tag == kTagCachedRect) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(uint64_t{high} << 32 | low));
  }
  // An image buffer's value is an address and images are not saved.
  if (tag == kTagImage) return nullptr;
  return reinterpret_cast<void*>(static_cast<intptr_t>(low));
}
