// What the deferred back end reads of the current set and camera: the set's
// deferred lights (static lights of its companion file, then the dynamic
// lights of the frame), the setup lights, the shadow casters, the current
// setup's name and the 3D library's current camera.
//
// The back end reaches them through one table of functions so that tests can
// put a fake set in place; the table starts out with the program's own.
// Main thread only.
#pragma once

#include <cstdint>

#include "render/kv_Math.h"

struct qxMatrix34;

// One deferred light as the set answers for it.
struct DeferredLightInfo {
  kvVector3F position;
  // Three axis rows scaled by the light's half sizes, then the position.
  kvMatrix4F transform;
  kvVector3F innerColour;  // multiplied by the current intensity
  kvVector3F outerColour;
  float shadingBias;
  float shadingEnd;
  float innerRadius;
  float falloffPower;
  float verticalInnerRadius;
  float verticalFalloffPower;
  int castsShadow;
  int shadowQuality;
  float shadowBias;  // multiplied by 8 for types 3 and 4
  float shadowSoftness;
  float sizeX;  // full sizes: twice the half sizes
  float sizeY;
  float sizeZ;
  float shadowNear;
  float shadowRange;
  uint32_t setupFlag;
};

// Deferred-light types: 0 gradient, 1 point, 2 spot, 3 directional with a box
// section, 4 directional with a circular section.
enum : uint32_t {
  DeferredLight_Gradient = 0,
  DeferredLight_Point = 1,
  DeferredLight_Spot = 2,
  DeferredLight_Directional = 3,
  DeferredLight_DirectionalCircular = 4,
};

inline constexpr int DeferredScene_SetupNameSize = 32;

struct DeferredSceneCalls {
  // Static lights, then dynamic ones; 0 without a set.
  int (*countDeferredLights)(void);
  // 1 and the light when light index is of the type, passes the light group
  // and is not black; else 0.
  int (*getDeferredLight)(int index, uint32_t type, DeferredLightInfo* out);
  // Every static light's setup flag := its setup filter names the setup.
  void (*selectSetupLights)(void);
  // Sets a static light's setup flag until the next selectSetupLights.
  void (*setDeferredLightEnabled)(int index, uint32_t value);
  // The current setup's name, at most 31 characters (empty without a set).
  void (*getCurrentSetupName)(char buffer[DeferredScene_SetupNameSize]);
  int (*countShadowCasters)(void);
  // The current camera's identity (null for none) and its camera-to-world
  // matrix, whose fourth row is the camera position.
  const void* (*currentCamera)(void);
  void (*getCameraWorldMatrix)(qxMatrix34* out);
};

// The table in use.
const DeferredSceneCalls& DeferredScene(void);
// Installs a table (every slot must be filled); null restores the program's.
void DeferredScene_Set(const DeferredSceneCalls* calls);
