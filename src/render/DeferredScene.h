// What the deferred back end reads of the current set, its actors and the
// camera: the set's deferred lights (static lights of its companion file,
// then the dynamic lights of the frame), the setup lights, the cutscene
// lights, the shadow casters, Z shapes and resolve points, the current
// setup's name, the actors flagged for occlusion, the render module's actor
// draw list and the 3D library's current camera; and what it does to the
// set's lights every frame (animation, light group, dynamic lights).
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

// One cutscene light of the set's "_lca.l3d" file: type 0 directional,
// 2 omni, 3 spot; colour and the last four values are 0 while it is off.
struct DeferredCutsceneLight {
  int type;
  kvVector3F position;
  kvVector3F direction;
  kvVector3F colour;
  float attenuation1;
  float attenuation2;  // the light's reach
  float cosInner;
  float cosOuter;
};

// The resolve point nearest the camera.
struct DeferredResolveSettings {
  kvVector3F shadowWhite;
  kvVector3F shadowBlack;
  float minimumLuminance;
  float maximumLuminance;
  float power;
  float aoStrength;
};

// A dynamic light added to the set for the current frame, with every
// argument of the set's dynamic-light call.
struct DeferredDynamicLight {
  const char* name;
  uint32_t type;  // 1 point, 2 spot
  kvVector3F position;
  kvVector3F rotation;  // degrees, in the set's light rotation order
  kvVector3F halfSize;
  float shadingBias, shadingEnd, innerRadius, falloffPower, verticalInnerRadius,
      verticalFalloffPower;
  uint32_t animationMode;  // 0 none, 2 random flicker
  float animationRate;
  kvVector3F innerA, outerA;
  float intensityA;
  kvVector3F innerB, outerB;
  float intensityB;
  uint32_t castsShadow;
  uint32_t shadowQuality;
  float shadowBias, shadowSoftness, shadowNear, shadowRange;
};

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

  // The slots below may be left null by a table: the program's own stand
  // in for them.

  // The current camera's world-to-camera matrix and its focal factor (0
  // without a camera).
  void (*getCameraViewMatrix)(qxMatrix34* out);
  float (*getFocalFactor)(void);
  int (*countCutsceneLights)(void);
  int (*getCutsceneLight)(int index, DeferredCutsceneLight* out);
  // Static lights whose shadow flag is set.
  int (*countFlaggedDeferredLights)(void);
  // 1 and the caster's box when caster index is of the type.
  int (*getShadowCaster)(int index, uint32_t type, qxMatrix34* box);
  int (*countZShapes)(void);
  // 1, the value and the box when the shape is of the kind and code and its
  // setup filter (if any) names the current setup.
  int (*getZShape)(int index, uint32_t kind, uint32_t code, uint32_t* value, qxMatrix34* box);
  // 1 and the settings of the resolve point nearest the camera; 0 (out
  // untouched) when the set has none.
  int (*findNearestResolvePoint)(DeferredResolveSettings* out);
  // 1 when the current set's name contains "_inv".
  int (*isInvSet)(void);
  // Actors flagged for occlusion and the placement of the n-th (1 when it is there).
  int (*countFlaggedActors)(void);
  int (*getFlaggedActorTransform)(int n, qxMatrix34* out);
  // The render module's actor draw list: its length and an entry's position
  // and half height.
  int (*getDrawListCount)(void);
  void (*getDrawListActorBounds)(int index, kvVector3F* position, float* halfHeight);
  // The frame's light steps: animate the set's lights (which also empties the
  // dynamic lights), choose the light group, add a dynamic light, ask a set
  // light's on flag by name (1 when the light exists).
  void (*animateLights)(void);
  void (*setLightGroup)(uint32_t group);
  void (*addDynamicLight)(const DeferredDynamicLight& light);
  int (*isLightOnByName)(const char* name, int* on);
};

// The table in use.
const DeferredSceneCalls& DeferredScene(void);
// Installs a table (the slots up to getCameraWorldMatrix must be filled,
// later null slots take the program's); null restores the program's.
void DeferredScene_Set(const DeferredSceneCalls* calls);
// The program's own table, installed at start-up (the table starts empty).
void DeferredScene_SetCalls(const DeferredSceneCalls* calls);
