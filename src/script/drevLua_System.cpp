// The system and engine script functions: pause and quit, debug switches,
// memory and resource budgets, font and costume caches, clocks, disk space,
// the language, the text speed and two vector helpers. Each is a thin
// binding over one engine service.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cmath>
#include <ctime>

#include "actors/drevActor.h"
#include "engine/Polyglot.h"
#include "engine/Res.h"
#include "engine/SpewLib.h"
#include "engine/drevMain.h"
#include "engine/drevResource.h"
#include "engine/drevTime.h"
#include "melos/Sounds.h"
#include "platform/kv_Language.h"
#include "presentation/drevMouse.h"
#include "presentation/drevRender.h"
#include "quadrix/qxVector.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"
#include "std/std.h"
#include "std/stdDevice3D.h"
#include "std/stdMath.h"
#include "std/stdMemory.h"
#include "vembra/drevTolve.h"

namespace {

constexpr const char* kLanguageTables[] = {"vosk.en.tab", "vosk.de.tab", "vosk.es.tab",
                                           "vosk.fr.tab", "vosk.it.tab", "vosk.pt.tab"};
constexpr int kLanguageCount = 6;

// A byte count or a clock as a script number (counts of 2 GB and more keep
// their value).
void PushCount(uint64_t count) {
  lua_pushnumber(static_cast<float>(count));
}

// A number read without a type test: anything else counts as 0.
float NumberOrZero(lua_Object value) {
  return lua_isnumber(value) ? lua_getnumber(value) : 0.0f;
}

// A budget in bytes from a script number, saturated so no value converts out
// of range; 0 keeps the stored value.
int64_t BudgetBytes(float number) {
  if (!(number == number) || number <= 0.0f) return 0;
  if (number >= 9.2e18f) return INT64_MAX;
  return static_cast<int64_t>(number);
}

// Reads the fields "x", "y" and "z" of a table; a missing one reads as 0.
qxVector3 ReadVector(lua_Object table) {
  float v[3] = {0.0f, 0.0f, 0.0f};
  const char* names[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    lua_pushobject(table);
    lua_pushstring(names[i]);
    lua_Object field = lua_gettable();
    if (lua_isnumber(field)) v[i] = lua_getnumber(field);
  }
  return qxVector3{v[0], v[1], v[2]};
}

void PushVector(const qxVector3& v) {
  const float xyz[3] = {v.x, v.y, v.z};
  drevMouse_PushVector(3, xyz);
}

qxVector3 Normalized(const qxVector3& v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (length == 0.0f) return v;
  return qxVector3{v.x / length, v.y / length, v.z / length};
}

// ---- Pause, display and quit -------------------------------------------------------

void EnginePause() {
  drevMain_SetPaused(1);
}
void EngineResume() {
  drevMain_SetPaused(0);
}

// EngineDisplay(n): while n is 0 the frame's dirty rectangles are not flushed.
void EngineDisplay() {
  drevRender_SetDirtyFlushEnabled(drevLua_ToInt(NumberOrZero(lua_lua2C(1))));
}

void AnswerOne() {
  lua_pushnumber(1);
}

// exit(code): quits with the code, or with 0 when it is not a number.
void Exit() {
  lua_Object code = lua_lua2C(1);
  drevMain_Quit(lua_isnumber(code) ? drevLua_ToInt(lua_getnumber(code)) : 0);
}

void EnableDebugKeys() {
  drevLua_SetDebugKeysEnabled(1);
  if (void (*hook)(int) = drevLua_GetDebugKeysHook()) hook(1);
}

void GetCurrentScript() {
  lua_pushtask(lua_currenttask());
}

void SpewStartup() {
  SpewLib_Start();
}
void SpewShutdown() {
  SpewLib_Stop();
}

// ---- Backgrounds and textures --------------------------------------------------------

// PreRender(background, depth): nil turns an image off; any other value, an
// absent argument included, turns it on.
void PreRender() {
  const lua_Object background = lua_lua2C(1);
  const lua_Object depth = lua_lua2C(2);
  drevRender_SetBackgroundEnabled(lua_isnil(background) ? 0 : 1, lua_isnil(depth) ? 0 : 1);
}

void EnableBackgroundRender() {
  lua_Object flag = lua_lua2C(1);
  if (!lua_isnumber(flag)) return;
  const int32_t value = drevLua_ToInt(lua_getnumber(flag));
  drevRender_SetBackgroundEnabled(value, value);
}

void ResetTextures() {
  stdDevice3D_FlushTextures();
}

// ---- Memory and resources ------------------------------------------------------------

void GetMemoryUsage() {
  const int64_t bytes = stdMemory_GetAllocatedBytes();
  PushCount(bytes > 0 ? static_cast<uint64_t>(bytes) : 0);
}

void GetPhysicalBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  PushCount(pages > 0 && pageSize > 0
                ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize)
                : 0);
}

void SetMemoryUsage() {
  drevResource_SetBudget(BudgetBytes(NumberOrZero(lua_lua2C(1))),
                         BudgetBytes(NumberOrZero(lua_lua2C(2))));
}

// DumpMemoryLog, NukeResources, UnLockFont, LockSound, UnlockSound,
// LockCostume, UnlockCostume: kept for the scripts, no effect.
void NoEffect() {}

void DetachFromResources() {
  drevTolve_Stop();
  Sounds_ReleaseVoice();
  drevResource_DetachPacks();
}

void AttachToResources() {
  drevResource_DetachPacks();
  drevMain_ScanDataDirectories();
}

// LockFont(name): the font's handle, loading it when it is not loaded yet;
// no reference is taken.
void LockFont() {
  lua_Object name = lua_lua2C(1);
  if (!lua_isstring(name)) {
    lua_pushnil();
    return;
  }
  const char* fontName = lua_getstring(name);
  void* font = Res_FindObject(Res_Tag("FONT"), fontName);
  if (!font) font = drevResource_Get("FONT", fontName);
  if (!font) {
    lua_pushnil();
    return;
  }
  lua_pushusertag(font, kTagFont);
}

void LoadCostume() {
  lua_Object name = lua_lua2C(1);
  if (lua_isstring(name)) drevResource_Get("COST", lua_getstring(name));
}

// ---- Clocks and disk -------------------------------------------------------------------

void GetSystemTime() {
  PushCount(std_GetTicks());
}

// The monotonic clock in milliseconds, cut to 32 bits as the scripts expect.
void GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  PushCount(static_cast<uint32_t>(ms));
}

// Free space of the current directory's file system in megabytes.
void GetDiskFreeSpace() {
  struct statvfs info {};
  if (statvfs(".", &info) != 0) {
    lua_pushnumber(0.0f);
    return;
  }
  lua_pushnumber(static_cast<float>(static_cast<double>(info.f_frsize) / 1024.0 *
                                    static_cast<double>(info.f_bavail) / 1024.0));
}

// PerSecond(rate): the rate times the last frame step in seconds.
void PerSecond() {
  lua_Object rate = lua_lua2C(1);
  if (!lua_isnumber(rate)) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(lua_getnumber(rate) * drevTime_GetFrameSeconds());
}

// ---- Vectors ---------------------------------------------------------------------------

// RotateVector(vector, angles): a new table with the vector rotated by the
// pitch, yaw and roll angles (degrees).
void RotateVector() {
  lua_Object vector = lua_lua2C(1);
  lua_Object angles = lua_lua2C(2);
  if (!lua_istable(vector) || !lua_istable(angles)) {
    lua_pushnil();
    return;
  }
  qxVector3 v = ReadVector(vector);
  const qxVector3 a = ReadVector(angles);
  qxVector3_RotateInPlace(&v, &a);
  PushVector(v);
}

// GetAngleBetweenVectors(a, b): degrees between two directions. Parallel and
// opposite directions both answer 0.
void GetAngleBetweenVectors() {
  lua_Object first = lua_lua2C(1);
  lua_Object second = lua_lua2C(2);
  if (!lua_istable(first) || !lua_istable(second)) {
    lua_pushnil();
    return;
  }
  const qxVector3 a = Normalized(ReadVector(first));
  const qxVector3 b = Normalized(ReadVector(second));
  float d = a.x * b.x + a.y * b.y + a.z * b.z;
  // Rounding may carry the product of two unit vectors past 1.
  if (d > 1.0f) d = 1.0f;
  if (d < -1.0f) d = -1.0f;
  if (std::fabs(std::fabs(d) - 1.0f) < 0.001f) {
    lua_pushnumber(0.0f);
    return;
  }
  lua_pushnumber(90.0f - stdMath_ArcSin3(d));
}

// ---- Language and text speed -------------------------------------------------------------

// SetLanguage(index): only the six languages with a text table; the text
// table is loaded again for the new language (the text module's startup has
// nothing of its own to do).
void SetLanguage() {
  lua_Object argument = lua_lua2C(1);
  if (!lua_isnumber(argument)) return;
  const int32_t index = drevLua_ToInt(lua_getnumber(argument));
  if (index < 0 || index >= kLanguageCount) return;
  Polyglot_Shutdown();
  kv_Language_Set(index);
  Polyglot_LoadTable(kLanguageTables[index]);
}

void GetLanguage() {
  lua_pushnumber(static_cast<float>(kv_Language_Get()));
}
void GetLanguageCount() {
  lua_pushnumber(static_cast<float>(kLanguageCount));
}

void GetTextSpeed() {
  lua_pushnumber(static_cast<float>(drevActor_GetTextSpeed()));
}

void SetTextSpeed() {
  lua_Object speed = lua_lua2C(1);
  if (lua_isnumber(speed)) drevActor_SetTextSpeed(drevLua_ToInt(lua_getnumber(speed)));
}

constexpr lua_Reg kRows[] = {
    {"EnginePause", EnginePause},
    {"EngineResume", EngineResume},
    {"EngineDisplay", EngineDisplay},
    {"GetPlatform", AnswerOne},
    {"Is3DHardwareEnabled", AnswerOne},
    {"exit", Exit},
    {"EnableDebugKeys", EnableDebugKeys},
    {"GetCurrentScript", GetCurrentScript},
    {"SpewStartup", SpewStartup},
    {"SpewShutdown", SpewShutdown},
    {"PreRender", PreRender},
    {"EnableBackgroundRender", EnableBackgroundRender},
    {"ResetTextures", ResetTextures},
    {"GetMemoryUsage", GetMemoryUsage},
    {"GetPhysicalBytes", GetPhysicalBytes},
    {"SetMemoryUsage", SetMemoryUsage},
    {"DumpMemoryLog", NoEffect},
    {"NukeResources", NoEffect},
    {"DetachFromResources", DetachFromResources},
    {"AttachToResources", AttachToResources},
    {"LockFont", LockFont},
    {"UnLockFont", NoEffect},
    {"LockSound", NoEffect},
    {"UnlockSound", NoEffect},
    {"LockCostume", NoEffect},
    {"UnlockCostume", NoEffect},
    {"LoadCostume", LoadCostume},
    {"GetSystemTime", GetSystemTime},
    {"GetTickCount", GetTickCount},
    {"GetDiskFreeSpace", GetDiskFreeSpace},
    {"PerSecond", PerSecond},
    {"RotateVector", RotateVector},
    {"GetAngleBetweenVectors", GetAngleBetweenVectors},
    {"SetLanguage", SetLanguage},
    {"GetLanguage", GetLanguage},
    {"GetLanguageCount", GetLanguageCount},
    {"GetTextSpeed", GetTextSpeed},
    {"SetTextSpeed", SetTextSpeed},
};
static_assert(std::size(kRows) == 38);

}  // namespace

std::span<const lua_Reg> drevLua_SystemRows(void) {
  return kRows;
}
