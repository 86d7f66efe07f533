// Light probes and the forward shadow light.
//
// When advanced lighting is off, each drawn model is lit by a lattice of
// seven irradiance probes around it (its centre and one point each side along
// each axis), each holding the light arriving from the six axis directions,
// summed on the CPU from the set's deferred lights. Probes live in 32 slots
// keyed by model name (an attached model uses its parent's slot) until the
// camera setup or the camera changes.
//
// One light of the set, the shadow light, lights the models per pixel with a
// shadow map instead: it is chosen at the same changes (the light flagged for
// the setup, else the nearest shadow-casting spot or directional light in
// range), and its shadow-map projection and per-light constants come from
// here.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "gfx/kv_Buffer.h"
#include "render/kv_Layouts.h"
#include "render/kv_Math.h"

inline constexpr int Lightprobe_SlotCount = 32;
inline constexpr int Lightprobe_KeySize = 32;  // 31 characters and a terminating zero
inline constexpr int Lightprobe_PointCount = 7;
inline constexpr int Lightprobe_DirectionCount = 6;
// No light: the shadow-light index and type of the record and the slots.
inline constexpr uint32_t Lightprobe_NoLight = 0xFFFF;

// Slot flags.
enum : uint32_t {
  Lightprobe_SmallOnScreen = 1u << 0,  // size measure below 0.02
  Lightprobe_TinyOnScreen = 1u << 1,   // below 0.01
};

struct LightProbeSlot {
  char key[Lightprobe_KeySize];  // empty = free
  float radius;                  // taken at the first evaluation; 0 = not yet
  // Point-major; directions +x, -x, +y, -y, +z, -z.
  kvVector3F irradiance[Lightprobe_PointCount][Lightprobe_DirectionCount];
  // The centre, then centre +- extent along x, along y and along z.
  kvVector3F latticePoints[Lightprobe_PointCount];
  kvVector3F centre;
  kvVector3F extent;     // (0.25, 0.25, 0.5) x radius
  kvVector3F probeSize;  // extent x 10
  uint32_t flags;
  uint32_t shadowLightIndex;   // the first setup-flagged light met; Lightprobe_NoLight = none
  int32_t forwardProgramKind;  // written by the forward path: 1 spot, 2 directional
  uint8_t inReach;             // the centre lies within the shadow light's reach
  uint8_t constantsBuilt;      // the forward path built constants this frame
  kvConstantBlock constants;   // the forward path's LitMeshFragmentConstants
};

struct ShadowLightRecord {
  uint32_t lightIndex;  // Lightprobe_NoLight = none
  uint32_t lightType;   // 2, 3 or 4; Lightprobe_NoLight = none
  uint32_t probesInReach;
  kvMatrix4F worldToShadowMap;
  kvVector4F shadowParameters;  // bias, softness, quality, enabled
};

// Frame step (when advanced lighting is off): when the current setup's name
// or the current camera differs from the ones remembered, clears the slots,
// re-selects the setup lights and chooses the shadow light; always
// remembers both, restarts the probes-in-reach count and leaves no slot
// current.
void Lightprobe_BeginFrame(void);
// Prepares and makes current the slot of a model about to be drawn (keyed by
// the parent's name when parentName is given). An attached model reuses its
// parent's slot once that has been evaluated since the last rebuild; any
// other draw evaluates. A NaN centre keeps the slot's centre; a NaN or
// infinite radius keeps radius, extent and probe size.
void Lightprobe_BeginLattice(const char* modelName, const kvVector3F& centre, float radius,
                             const char* parentName);
// The current slot, or null.
LightProbeSlot* Lightprobe_GetCurrent(void);
// The model is drawn: no slot is current until the next lattice.
void Lightprobe_EndLattice(void);
// Forgets the remembered setup name and camera: the next frame step rebuilds.
void Lightprobe_Invalidate(void);
// The slot whose key is key (compared on the first 31 characters), else the
// first free slot given key; -1 when all 32 hold other keys.
int Lightprobe_FindOrAddSlot(const char* key);
LightProbeSlot* Lightprobe_GetSlot(int index);
void Lightprobe_Evaluate(int slot);
// Distance from the current camera to centre, and |extent| / (distance + 1).
void Lightprobe_ScreenSize(const kvVector3F& centre, const kvVector3F& extent, float* distance,
                           float* size);
// v := max(0, (v x 1.5 - 0.5) x 1.2 + 0.5).
float Lightprobe_Tone(float v);
// 1 / divisor, and 0 for a divisor of 0 (a light's inverse distances).
inline float Lightprobe_Inverse(float divisor) {
  return divisor == 0.0f ? 0.0f : 1.0f / divisor;
}

// The evaluators add one light to the first n lattice points of a slot.
// worldToLight is the inverse of the light's transform.
struct DeferredLightInfo;
void Lightprobe_Gradient(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                         const DeferredLightInfo& light);
void Lightprobe_Point(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                      const DeferredLightInfo& light, const kvVector3F& lightPosition);
void Lightprobe_Spot(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                     const DeferredLightInfo& light);
void Lightprobe_Directional(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                            const DeferredLightInfo& light, int circular);

// The shadow-light record (index and type Lightprobe_NoLight until chosen).
ShadowLightRecord* Lightprobe_GetShadowLight(void);
// Chooses the shadow light and builds its world-to-shadow-map matrix and
// shadow parameters (bias, softness, quality, enabled).
void ShadowLight_Select(void);
// Fill the light members of a forward block from the shadow light. 0 when
// there is no usable shadow light (nothing written), 1 for a spot light,
// 2 for a directional one.
int Deferred_FillLitMeshFragmentConstants(LitMeshFragmentConstants* block);
int Deferred_FillForwardResolveConstants(CharacterForwardLightResolveConstants* block);

// Tests start from a fresh state (slots, record, remembered setup and camera).
void Lightprobe_ResetForTest(void);
