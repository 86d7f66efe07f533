// The script interface module: runtime start and stop, the system table,
// boot, the per-frame update, handler calls and the recognised functions.
#include "script/drevLua.h"

#include <cstring>
#include <string>
#include <type_traits>

#include "actors/drevActor.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "presentation/drevControl.h"
#include "quadrix/qxModel3.h"
#include "script/drevLua_Rows.h"
#include "std/std.h"
#include "std/stdInput.h"
#include "vembra/drevTolve.h"

namespace {

struct LuaModule {
  HostServices* services = nullptr;
  bool runtimeInitialized = false;
  bool started = false;
  lua_Descriptor runtime{};
  int systemRef = -1;
  int typeRef = -1;
  int concatRef = -1;
  uint32_t gcFrames = 0;
  int32_t movieTime = 0;
  // Kept across restarts.
  int saveStatus = 0;
  int inputMode = 0;
  int pingCounter = 0;
  uint32_t debugKeys = 0;  // the debug-keys flag that EnableDebugKeys sets
  void (*debugKeysHook)(int) = nullptr;
};

LuaModule g_lua;

constexpr uint32_t kGcInterval = 600;
constexpr char kSystemScript[] = "_system.lua";

// ---- Recognised functions (installed as values) ------------------------------

void DefaultCamera() {}
void DefaultControl() {}

// type(): engine handles of actors, sets, keyframes and costumes answer their
// own name and tag; everything else answers as the runtime's own type.
void TypeOverride() {
  lua_Object value = lua_lua2C(1);
  const char* name = nullptr;
  if (lua_isuserdata(value)) {
    const int32_t tag = lua_tag(value);
    if (tag == kTagActor) name = "actor";
    if (tag == kTagSet) name = "set";
    if (tag == kTagKeyframe) name = "keyframe";
    if (tag == kTagCostume) name = "costume";
  }
  lua_pushobject(value);
  if (lua_callfunction(lua_getref(g_lua.typeRef)) != 0) return;
  lua_Object builtinName = lua_lua2C(1);
  lua_Object tag = lua_lua2C(2);
  if (name) {
    lua_pushstring(name);
  } else {
    lua_pushobject(builtinName);
  }
  lua_pushobject(tag);  // the tag exactly as the runtime states it
}

// The "concat" fallback: strings and numbers verbatim, nil as "(nil)", actor
// handles as "(actor<index>:<main model name>)"; any other operand goes to
// the previous fallback with both operands, whose first result is answered.
void ConcatFallback() {
  lua_Object operands[2] = {lua_lua2C(1), lua_lua2C(2)};
  std::string text;
  for (lua_Object o : operands) {
    if (lua_isnil(o)) {
      text += "(nil)";
    } else if (lua_isstring(o)) {
      text += lua_getstring(o);
    } else if (lua_isuserdata(o) && lua_tag(o) == kTagActor) {
      // The main model of the actor's top costume names it; the name is empty
      // when the actor wears no costume or it has no main model.
      const intptr_t index = reinterpret_cast<intptr_t>(lua_getuserdata(o));
      const qxModel3* model = drevActor_MainModel(drevActor_FromIndex(static_cast<int>(index)));
      const std::string name =
          model ? std::string(model->name, strnlen(model->name, sizeof model->name))
                : std::string();
      text += "(actor" + std::to_string(index) + ":" + name + ")";
    } else {
      lua_Object previous = lua_getref(g_lua.concatRef);
      lua_pushobject(operands[0]);
      lua_pushobject(operands[1]);
      if (lua_callfunction(previous) == 0) lua_pushobject(lua_lua2C(1));
      return;
    }
  }
  lua_pushstring(text.c_str());
}

const lua_Reg kRecognized[] = {
    {"  concatfallback", ConcatFallback},
    {"  typeoverride", TypeOverride},
    {"  dfltcamera", DefaultCamera},
    {"  dfltcontrol", DefaultControl},
};

// ---- Handler calls -----------------------------------------------------------

enum class Form { FunctionOrTable, FunctionOnly };

struct CallResult {
  bool called = false;
  bool firstResultSet = false;
};

// A handler found in the system table: the function to call (0 for none) and
// the table passed as self (0 for none).
struct Handler {
  lua_Object function = 0;
  lua_Object self = 0;
};

// Looks up system[name] in the given form; the objects live until the
// enclosing block ends.
Handler FindHandler(const char* name, Form form) {
  Handler found;
  lua_Object system = lua_getref(g_lua.systemRef);
  lua_pushobject(system);
  lua_pushstring(name);
  lua_Object handler = lua_gettable();
  if (lua_isfunction(handler)) {
    found.function = handler;
  } else if (form == Form::FunctionOrTable && lua_istable(handler)) {
    lua_pushobject(handler);
    lua_pushstring(name);
    lua_Object member = lua_gettable();
    if (lua_isfunction(member)) {
      found.function = member;
      found.self = handler;
    }
  }
  return found;
}

// Looks up system[name] and calls it in the given form with the arguments
// that `pushArguments` pushes.
template <typename Push>
CallResult CallHandler(const char* name, Form form, Push pushArguments) {
  CallResult result;
  if (!g_lua.started || g_lua.systemRef < 0) return result;
  lua_beginblock();
  const Handler handler = FindHandler(name, form);
  if (handler.function) {
    if (handler.self) lua_pushobject(handler.self);
    pushArguments();
    result.called = true;
    if (lua_callfunction(handler.function) == 0) {
      lua_Object first = lua_lua2C(1);
      result.firstResultSet = first != 0 && !lua_isnil(first);
    }
  }
  lua_endblock();
  return result;
}

// Calls a handler found by FindHandler inside a block of its own, so that its
// results are released at once.
template <typename Push>
void CallFound(const Handler& handler, Push pushArguments) {
  if (!handler.function) return;
  lua_beginblock();
  if (handler.self) lua_pushobject(handler.self);
  pushArguments();
  lua_callfunction(handler.function);
  lua_endblock();
}

void PushActor(int actor) {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(actor)), kTagActor);
}

void PushVector(const float v[3]) {
  for (int i = 0; i < 3; ++i) lua_pushnumber(v ? v[i] : 0.0f);
}

// Stores a number into the system table.
void SetSystemNumber(const char* field, float value) {
  lua_pushobject(lua_getref(g_lua.systemRef));
  lua_pushstring(field);
  lua_pushnumber(value);
  lua_settable();
}

void BuildSystemTable() {
  lua_beginblock();
  lua_Object system = lua_createtable();
  lua_pushobject(system);
  lua_setglobal("system");
  lua_pushobject(system);
  g_lua.systemRef = lua_ref(1);
  // controls: name -> index; a repeated name keeps the later index.
  lua_Object controls = lua_createtable();
  for (int i = 0; i < kControlCount; ++i) {
    lua_pushobject(controls);
    lua_pushstring(drevControl_Controls[i].name);
    lua_pushnumber(static_cast<float>(i));
    lua_settable();
  }
  lua_pushobject(system);
  lua_pushstring("controls");
  lua_pushobject(controls);
  lua_settable();
  const struct {
    const char* field;
    lua_CFunc function;
  } handlers[] = {{"camChangeHandler", DefaultCamera},
                  {"axisHandler", DefaultControl},
                  {"inputModeHandler", DefaultControl},
                  {"buttonHandler", DefaultControl}};
  for (const auto& h : handlers) {
    lua_pushobject(system);
    lua_pushstring(h.field);
    lua_pushCclosure(h.function, 0);
    lua_settable();
  }
  lua_endblock();
}

}  // namespace

// ---- Module operations ------------------------------------------------------------

namespace {

// Fills a descriptor slot with an operation whose result the registry
// ignores, whether the slot answers a result or not.
template <auto Operation, typename Slot>
void SetSlot(Slot& slot) {
  using Result = std::invoke_result_t<Slot>;
  if constexpr (std::is_void_v<Result>) {
    slot = Operation;
  } else {
    slot = []() -> Result {
      Operation();
      return Result{};
    };
  }
}

}  // namespace

int drevLua_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g_lua.services = services;
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevLua_Initialize;
    SetSlot<drevLua_Uninitialize>(descriptor->uninitialize);
    descriptor->startup = drevLua_Startup;
    SetSlot<drevLua_Shutdown>(descriptor->shutdown);
  }
  if (lua_Initialize(services, &g_lua.runtime) != 0) {
    g_lua.runtimeInitialized = false;
    return 1;
  }
  g_lua.runtimeInitialized = true;
  return 0;
}

void drevLua_Uninitialize(void) {
  g_lua.services = nullptr;
  if (g_lua.runtimeInitialized) {
    if (g_lua.runtime.uninitialize) g_lua.runtime.uninitialize();
    g_lua.runtimeInitialized = false;
  }
}

int drevLua_Startup(void) {
  if (!g_lua.runtimeInitialized || !g_lua.runtime.startup) return 1;
  g_lua.runtime.startup();
  g_lua.started = true;
  g_lua.gcFrames = 0;
  lua_assume_binary = 0;
  lua_iolibopen();
  lua_strlibopen();
  lua_mathlibopen();
  lua_openlib(drevLua_GetCoreTable(), kCoreFunctionCount);
  lua_recognizelib(kRecognized, static_cast<int>(std::size(kRecognized)));
  BuildSystemTable();
  lua_beginblock();
  lua_pushobject(lua_getglobal("type"));
  g_lua.typeRef = lua_ref(1);
  lua_pushCclosure(TypeOverride, 0);
  lua_setglobal("type");
  const struct {
    const char* name;
    float value;
  } sectorTypes[] = {
      {"NONE", 0}, {"WALK", 4096}, {"CAMERA", 8192}, {"SPECIAL", 16384}, {"HOT", 32768}};
  for (const auto& s : sectorTypes) {
    lua_pushnumber(s.value);
    lua_setglobal(s.name);
  }
  lua_pushobject(lua_setfallback("concat", ConcatFallback));
  g_lua.concatRef = lua_ref(1);
  lua_endblock();
  lua_savehook = drevLua_SaveHook;
  lua_restorehook = drevLua_RestoreHook;
  drevControl_AddHandler(drevLua_ControlHandler);
  return 0;
}

void drevLua_Shutdown(void) {
  drevControl_RemoveAllHandlers();
  drevLua_ShutdownSaveFiles();
  if (g_lua.systemRef >= 0) lua_unref(g_lua.systemRef);
  g_lua.systemRef = -1;
  g_lua.typeRef = -1;
  g_lua.concatRef = -1;
  lua_savehook = nullptr;
  lua_restorehook = nullptr;
  g_lua.started = false;
  if (g_lua.runtimeInitialized && g_lua.runtime.shutdown) g_lua.runtime.shutdown();
}

// ---- Registration, boot and update ---------------------------------------------------

void drevLua_OpenLibrary(const lua_Reg* table, int count) {
  lua_openlib(table, count);
}

int drevLua_RunSystemScript(void) {
  const int result = lua_dofile(kSystemScript);
  if (result == 0) return 1;
  if (result == 2) {
    std_DebugPrintf("Unable to find '%s'.\n", kSystemScript);
  } else {
    std_DebugPrintf("Unknown error from lua_dofile: %i\n", result);
  }
  return 0;
}

int drevLua_CallBoot(int resume, const char* bootParameter) {
  if (!g_lua.started) return 0;
  lua_beginblock();
  if (resume) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
  if (bootParameter) {
    lua_pushstring(bootParameter);
  } else {
    lua_pushnil();
  }
  kv_Log_Printf("[Lua] - calling LUA_BOOTSCRIPT");
  const int result = lua_callfunction(lua_getglobal("BOOT"));
  lua_endblock();
  return result == 0 ? 1 : 0;
}

void drevLua_Update(void) {
  if (!g_lua.started) return;
  ++g_lua.gcFrames;
  g_lua.movieTime = drevTolve_GetMovieTime();
  const uint32_t frameMs = drevTime_GetFrameMs();
  if (g_lua.gcFrames >= kGcInterval) {
    lua_collectgarbage(0);
    g_lua.gcFrames = 0;
  }
  lua_beginblock();
  SetSystemNumber("frameTime", static_cast<float>(frameMs));
  SetSystemNumber("movieTime", static_cast<float>(g_lua.movieTime));
  lua_endblock();
  lua_updatetasks(0);
}

// ---- Handler calls ---------------------------------------------------------------------

int drevLua_CallCamChangeHandler(int oldSetup, int newSetup) {
  CallHandler("camChangeHandler", Form::FunctionOnly, [&] {
    lua_pushnumber(static_cast<float>(oldSetup));
    lua_pushnumber(static_cast<float>(newSetup));
  });
  return 0;
}

int drevLua_CallPostCamChangeHandler(int setup) {
  CallHandler("postCamChangeHandler", Form::FunctionOnly,
              [&] { lua_pushnumber(static_cast<float>(setup)); });
  return 0;
}

int drevLua_CallCollisionHandler(int actor, int otherActor, const float oldPosition[3],
                                 const float contact[3], const float newPosition[3]) {
  CallHandler("collisionHandler", Form::FunctionOrTable, [&] {
    PushActor(actor);
    PushActor(otherActor);
    PushVector(oldPosition);
    PushVector(contact);
    PushVector(newPosition);
  });
  return 0;
}

int drevLua_CallCostumeOverrideHandler(int actor, int flag) {
  CallHandler("costumeOverrideHandler", Form::FunctionOrTable, [&] {
    PushActor(actor);
    if (flag) {
      lua_pushnumber(1);
    } else {
      lua_pushnil();
    }
  });
  return 0;
}

int drevLua_CallCostumeMarkerHandler(int actor, int marker) {
  if (marker == 0) return 0;
  CallHandler("costumeMarkerHandler", Form::FunctionOrTable, [&] {
    PushActor(actor);
    lua_pushnumber(static_cast<float>(marker));
  });
  return 0;
}

int drevLua_CallUserPaintHandler(void) {
  CallHandler("userPaintHandler", Form::FunctionOrTable, [] {});
  return 0;
}

int drevLua_CallExitHandler(void) {
  return CallHandler("exitHandler", Form::FunctionOrTable, [] {}).called ? 1 : 0;
}

int drevLua_CallPauseHandler(void) {
  return CallHandler("pauseHandler", Form::FunctionOrTable, [] {}).called ? 1 : 0;
}

int drevLua_CallCharacterHandler(int character) {
  const char text[2] = {static_cast<char>(character), 0};
  return CallHandler("characterHandler", Form::FunctionOrTable, [&] { lua_pushstring(text); })
                 .firstResultSet
             ? 1
             : 0;
}

// NotifyCommentary and NotifyKeyMapped are called only when they are
// functions: the scripts define them, and a script without one must not
// raise an error in the engine's call.
void drevLua_CallNotifyCommentary(int number) {
  CallHandler("NotifyCommentary", Form::FunctionOnly,
              [&] { lua_pushnumber(static_cast<float>(number)); });
}

void drevLua_CallNotifyKeyMapped(int result) {
  CallHandler("NotifyKeyMapped", Form::FunctionOnly,
              [&] { lua_pushnumber(static_cast<float>(result)); });
}

void drevLua_CallSaveGameCallbackHandler(void) {
  CallHandler("saveGameCallback", Form::FunctionOrTable, [] {});
}

// ---- Control handler and module state ------------------------------------------------

// ---- Control dispatch ------------------------------------------------------------------

namespace {

constexpr uint32_t kMouseLongCode = 0x120;
constexpr uint32_t kMousePingCode = 0x121;
constexpr int kPingInterval = 5;
constexpr int kFirstMouseAxis = 12;

enum InputMode : int { kInputNone = 0, kInputJoystick = 1, kInputKeyboard = 2, kInputMouse = 3 };

int KeyInputMode(uint32_t code) {
  if (code >= 0x100 && code <= 0x11B) return kInputJoystick;
  if (code >= 0x11C && code <= 0x121) return kInputMouse;
  return kInputKeyboard;
}

struct DispatchHandlers {
  Handler button;
  Handler axis;
  Handler inputMode;
};

// A different input mode is reported to inputModeHandler(new, old) and
// becomes current whether or not the scripts have that handler.
void ChangeInputMode(const DispatchHandlers& h, int mode) {
  if (mode == g_lua.inputMode) return;
  const int old = g_lua.inputMode;
  g_lua.inputMode = mode;
  CallFound(h.inputMode, [&] {
    lua_pushnumber(static_cast<float>(mode));
    lua_pushnumber(static_cast<float>(old));
  });
}

void CallButton(const DispatchHandlers& h, int index, bool down, int presses, int doublePress) {
  CallFound(h.button, [&] {
    lua_pushnumber(static_cast<float>(index));
    if (down) {
      lua_pushnumber(1);
    } else {
      lua_pushnil();
    }
    lua_pushnumber(static_cast<float>(presses));
    lua_pushnumber(static_cast<float>(doublePress));
  });
}

void DispatchKey(const DispatchHandlers& h, int index, ControlRecord& control) {
  int presses = 0, doublePress = 0, held = 0;
  const uint32_t down =
      stdInput_ReadKey(static_cast<int32_t>(control.code), &presses, &doublePress, &held) != 0;
  if (control.code == kMouseLongCode) {
    // Once per hold, after the input layer's long-press time.
    if (down && h.button.function && held) CallButton(h, index, false, presses, 0);
    return;
  }
  if (control.code == kMousePingCode) {
    if (g_lua.pingCounter == 0 && h.button.function) CallButton(h, index, true, presses, 0);
    return;
  }
  if (down == control.lastDown || !h.button.function) return;
  if (down) ChangeInputMode(h, KeyInputMode(control.code));
  CallButton(h, index, down, presses, doublePress);
  control.lastDown = down;
}

void DispatchAxis(const DispatchHandlers& h, int index, ControlRecord& control) {
  float value = stdInput_GetAxis(static_cast<int>(control.code));
  if (control.flags & kControlInverted) value = -value;
  if (value == control.lastValue || !h.axis.function) return;
  ChangeInputMode(h,
                  static_cast<int>(control.code) < kFirstMouseAxis ? kInputJoystick : kInputMouse);
  CallFound(h.axis, [&] {
    lua_pushnumber(static_cast<float>(index));
    lua_pushnumber(value);
  });
  control.lastValue = value;
}

}  // namespace

// Once per engine frame: every enabled control whose state changed reaches
// the scripts' buttonHandler or axisHandler (one call per change), the long
// press once per hold, the ping every fifth frame; a change of input device
// is reported to inputModeHandler before the button or axis call.
int drevLua_ControlHandler(float) {
  if (!g_lua.started || g_lua.systemRef < 0) return 0;
  lua_beginblock();
  DispatchHandlers h;
  h.button = FindHandler("buttonHandler", Form::FunctionOrTable);
  h.axis = FindHandler("axisHandler", Form::FunctionOrTable);
  h.inputMode = FindHandler("inputModeHandler", Form::FunctionOnly);
  g_lua.pingCounter = (g_lua.pingCounter + 1) % kPingInterval;
  for (int i = 0; i < kControlCount; ++i) {
    ControlRecord& control = drevControl_Controls[i];
    if (!(control.flags & kControlEnabled)) continue;
    if (control.flags & kControlKey) {
      DispatchKey(h, i, control);
    } else if (control.flags & kControlAxis) {
      DispatchAxis(h, i, control);
    }
  }
  lua_endblock();
  return 0;
}

void drevLua_SetDebugKeysEnabled(int enabled) {
  g_lua.debugKeys = enabled ? 1u : 0u;
}
int drevLua_IsDebugKeysEnabled(void) {
  return g_lua.debugKeys != 0 ? 1 : 0;
}

void drevLua_SetSaveStatus(int code) {
  g_lua.saveStatus = code;
}
int drevLua_GetSaveStatus(void) {
  return g_lua.saveStatus;
}
void drevLua_SetInputMode(int mode) {
  g_lua.inputMode = mode;
}
int drevLua_GetInputMode(void) {
  return g_lua.inputMode;
}
void drevLua_SetDebugKeysHook(void (*hook)(int on)) {
  g_lua.debugKeysHook = hook;
}
void (*drevLua_GetDebugKeysHook(void))(int on) {
  return g_lua.debugKeysHook;
}
