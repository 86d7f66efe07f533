// The control module: the per-frame input step of a running game.
//
// It opens the input layer, keeps the enabled bits of the controls the
// scripts listen to (the control table of the script interface), and passes
// each frame's input to up to eight control handlers in registration order
// until one of them takes it. The script interface registers the handler that
// calls the scripts' button, axis and input-mode handlers; the render module
// registers its debug keys; the module itself registers a developer key pair
// that changes the camera's field of view. First module of group B; no save
// block. Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

struct qxCamera;

constexpr int kControlHandlerCount = 8;

// The control table: 163 controls in a fixed order (index = position); the
// scripts see name -> index as system.controls (drevControl_Table.cpp).
constexpr int kControlCount = 163;
enum : uint32_t {
  kControlEnabled = 1u << 0,
  kControlAxis = 1u << 1,
  kControlKey = 1u << 2,
  kControlInverted = 1u << 3,
};
struct ControlRecord {
  uint32_t flags;
  uint32_t code;  // key control: input code; axis control: axis index 0..14
  const char* name;
  uint32_t lastDown = 0;   // last reported state of a key control
  float lastValue = 0.0f;  // last reported value of an axis control
};
extern ControlRecord drevControl_Controls[kControlCount];

// Module slots. Initialise answers 0; a second call does nothing (the
// descriptor is not filled again).
int drevControl_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevControl_Uninitialize(void);
// 1 when already started or when the input layer does not open; else resets
// the controls, registers the field-of-view handler and answers 0.
int drevControl_Startup(void);
void drevControl_Shutdown(void);

// Called when a game starts: 0 when the input layer refuses, else 1.
int drevControl_Activate(void);
// Called when a game stops: 0 when not active or the input layer refuses.
int drevControl_Deactivate(void);

// A control handler: takes the frame time in seconds; non-zero = taken.
using ControlHandlerFn = int (*)(float seconds);
// Appends while fewer than eight are registered; a further one is ignored.
void drevControl_AddHandler(ControlHandlerFn handler);
void drevControl_RemoveAllHandlers(void);
int drevControl_GetHandlerCount(void);

// The engine frame's "Controls" step: nothing without a handler (the input is
// not even read); else reads the input and calls the handlers in order until
// one answers non-zero. The milliseconds are not used.
void drevControl_Update(float seconds, uint32_t frameMs);

// Clears the enabled and inverted bits and the last reported value of every
// control, resets the input layer's axes and leaves its mouse flag set.
void drevControl_ResetControls(void);
// Nothing for an index not below the control count. Enabling an axis control
// enables its input axis too; disabling only clears the control's bit.
void drevControl_EnableControl(uint32_t index);
void drevControl_DisableControl(uint32_t index);
// The input axis, negated when negate is non-zero, clamped to -1..1.
float drevControl_GetAxisClamped(int axis, int negate);

// The camera that the field-of-view keys change: the current setup's camera,
// null without a current set. Tests put another query in place; null
// restores the engine's own.
void drevControl_SetCameraQuery(qxCamera* (*query)(void));
