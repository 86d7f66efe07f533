// The control module: input open and activation, the control handler list,
// the per-frame update, the controls' enabled bits and the developer
// field-of-view keys.
#include "presentation/drevControl.h"

#include "engine/drevRoom.h"
#include "platform/kv_Platform.h"
#include "quadrix/qxCamera.h"
#include "std/stdInput.h"

namespace {

struct ControlModule {
  HostServices* services = nullptr;
  int initialized = 0;
  int started = 0;
  int active = 0;
  ControlHandlerFn handlers[kControlHandlerCount] = {};
  int handlerCount = 0;
};
ControlModule g_control;

// The developer keys: hold code 224, then 87 widens and 86 narrows the view.
constexpr int32_t kFovModifierKey = 224;
constexpr int32_t kFovWiderKey = 87;
constexpr int32_t kFovNarrowerKey = 86;
constexpr float kFovStep = 0.5f;

qxCamera* CurrentSetupCamera() {
  Room* room = drevRoom_GetCurrent();
  if (!room || !room->setups || room->currentSetup >= room->numSetups) return nullptr;
  return room->setups[room->currentSetup].camera;
}

qxCamera* (*g_cameraQuery)(void) = CurrentSetupCamera;

// The scripts' debug-keys switch, asked through the engine key hooks that
// the program installs.
bool DebugKeysEnabled() {
  const kvEngineKeyHooks* hooks = kv_Platform_GetEngineKeyHooks();
  return hooks && hooks->debugKeysEnabled && hooks->debugKeysEnabled();
}

bool KeyHeld(int32_t code) {
  return stdInput_ReadKey(code, nullptr, nullptr, nullptr) != 0;
}

// The module's own handler: the field of view of the current setup's camera
// follows the developer keys while the scripts enabled the debug keys.
int FieldOfViewKeys(float) {
  if (!DebugKeysEnabled() || !KeyHeld(kFovModifierKey)) return 0;
  qxCamera* camera = g_cameraQuery();
  if (!camera) return 0;
  if (KeyHeld(kFovWiderKey)) {
    qxCamera_SetFOV(camera, camera->fov + kFovStep);
    return 1;
  }
  if (KeyHeld(kFovNarrowerKey)) {
    qxCamera_SetFOV(camera, camera->fov - kFovStep);
    return 1;
  }
  return 0;
}

}  // namespace

int drevControl_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  if (g_control.initialized) return 0;
  g_control.services = services;
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevControl_Initialize;
    descriptor->uninitialize = drevControl_Uninitialize;
    descriptor->startup = drevControl_Startup;
    descriptor->shutdown = drevControl_Shutdown;
  }
  g_control.initialized = 1;
  return 0;
}

void drevControl_Uninitialize(void) {
  g_control.services = nullptr;
  g_control.initialized = 0;
}

int drevControl_Startup(void) {
  if (g_control.started) return 1;
  if (!stdInput_IsOpen() && !stdInput_Open()) return 1;
  drevControl_ResetControls();
  drevControl_AddHandler(FieldOfViewKeys);
  g_control.started = 1;
  return 0;
}

void drevControl_Shutdown(void) {
  stdInput_CloseGameControllers();
  g_control.started = 0;
}

int drevControl_Activate(void) {
  if (!stdInput_Startup()) return 0;
  g_control.active = 1;
  return 1;
}

int drevControl_Deactivate(void) {
  if (!g_control.active || !stdInput_Shutdown()) return 0;
  g_control.active = 0;
  return 1;
}

void drevControl_AddHandler(ControlHandlerFn handler) {
  if (g_control.handlerCount >= kControlHandlerCount) return;
  g_control.handlers[g_control.handlerCount++] = handler;
}

void drevControl_RemoveAllHandlers(void) {
  for (ControlHandlerFn& handler : g_control.handlers) handler = nullptr;
  g_control.handlerCount = 0;
}

int drevControl_GetHandlerCount(void) {
  return g_control.handlerCount;
}

void drevControl_Update(float seconds, uint32_t) {
  if (g_control.handlerCount == 0) return;
  stdInput_ReadControls();
  for (int i = 0; i < g_control.handlerCount; ++i) {
    ControlHandlerFn handler = g_control.handlers[i];
    if (handler && handler(seconds) != 0) break;
  }
}

void drevControl_ResetControls(void) {
  for (ControlRecord& control : drevControl_Controls) {
    control.flags &= ~(kControlEnabled | kControlInverted);
    control.lastDown = 0;
    control.lastValue = 0.0f;
  }
  stdInput_ResetState();
  stdInput_ToggleMouse();
}

void drevControl_EnableControl(uint32_t index) {
  if (index >= static_cast<uint32_t>(kControlCount)) return;
  ControlRecord& control = drevControl_Controls[index];
  if (control.flags & kControlAxis) stdInput_EnableAxis(static_cast<int>(control.code));
  control.flags |= kControlEnabled;
}

void drevControl_DisableControl(uint32_t index) {
  if (index >= static_cast<uint32_t>(kControlCount)) return;
  drevControl_Controls[index].flags &= ~kControlEnabled;
}

float drevControl_GetAxisClamped(int axis, int negate) {
  float value = stdInput_GetAxis(axis);
  if (negate) value = -value;
  if (value > 1.0f) return 1.0f;
  if (value < -1.0f) return -1.0f;
  return value;
}

void drevControl_SetCameraQuery(qxCamera* (*query)(void)) {
  g_cameraQuery = query ? query : CurrentSetupCamera;
}
