// Light probes: the 32 slots, the frame step, the lattice of each drawn model
// and the CPU evaluation of the set's lights at its points.
#include "render/Lightprobe.h"

#include <cmath>
#include <cstring>

#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"

namespace {

struct ProbeState {
  LightProbeSlot slots[Lightprobe_SlotCount];
  int current;
  char setupName[DeferredScene_SetupNameSize];
  const void* camera;
  bool rebuildRequested;
  ShadowLightRecord shadowLight;
};

ProbeState* NewState(void) {
  auto* state = new ProbeState();  // zeroed
  state->current = -1;
  state->shadowLight.lightIndex = Lightprobe_NoLight;
  state->shadowLight.lightType = Lightprobe_NoLight;
  return state;
}

// Created on first use of any accessor.
ProbeState& State(void) {
  static ProbeState* state = NewState();
  return *state;
}

constexpr kvVector3F kAxes[Lightprobe_DirectionCount] = {
    {1.0f, 0.0f, 0.0f},  {-1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
    {0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, 1.0f},  {0.0f, 0.0f, -1.0f},
};

float Dot(const kvVector3F& a, const kvVector3F& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
// Clamp to [0, 1]; NaN gives 0.
float Clamp01(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v < 1.0f ? v : 1.0f;
}
float Length(const kvVector3F& v) {
  return std::sqrt(Dot(v, v));
}
// normalise(a - b): the unit direction from b to a.
kvVector3F UnitDirection(const kvVector3F& a, const kvVector3F& b) {
  kvVector3F out;
  kv_Vector3_Normalize({a.x - b.x, a.y - b.y, a.z - b.z}, &out);
  return out;
}
kvVector3F Lerp(const kvVector3F& a, const kvVector3F& b, float t) {
  return {a.x * (1.0f - t) + b.x * t, a.y * (1.0f - t) + b.y * t, a.z * (1.0f - t) + b.z * t};
}
void Accumulate(kvVector3F* destination, const kvVector3F& source, float k) {
  destination->x += k * source.x;
  destination->y += k * source.y;
  destination->z += k * source.z;
}
// x row0 + y row1 + z row2 + w row3.
kvVector3F Transform(const kvVector3F& p, float w, const kvMatrix4F& m) {
  return {p.x * m[0].x + p.y * m[1].x + p.z * m[2].x + w * m[3].x,
          p.x * m[0].y + p.y * m[1].y + p.z * m[2].y + w * m[3].y,
          p.x * m[0].z + p.y * m[1].z + p.z * m[2].z + w * m[3].z};
}
// Index 0..5: +x, -x, +y, -y, +z, -z of v.
float AxisComponent(const kvVector3F& v, int i) {
  const float c = v[i / 2];
  return (i & 1) ? -c : c;
}
// clamp(pow(clamp((v - r) x inverse), power)).
float Ramp(float v, float r, float inverse, float power) {
  return Clamp01(std::pow(Clamp01((v - r) * inverse), power));
}
bool InUnitBox(const kvVector3F& l) {
  return l.x >= -1.0f && l.x <= 1.0f && l.y >= -1.0f && l.y <= 1.0f && l.z >= -1.0f && l.z <= 1.0f;
}

// The inverse distances of a light.
struct LightShape {
  float innerInverse;
  float verticalInverse;
  float shadeInverse;
};
LightShape ShapeOf(const DeferredLightInfo& light) {
  return {Lightprobe_Inverse(1.0f - light.innerRadius),
          Lightprobe_Inverse(1.0f - light.verticalInnerRadius),
          Lightprobe_Inverse(light.shadingEnd - light.shadingBias)};
}

// Ramp of the vertical falloff at local height z (1 at the bottom face, 0 at the top).
float VerticalFalloff(float z, const DeferredLightInfo& light, const LightShape& shape) {
  return Ramp(Clamp01((1.0f - z) * 0.5f), light.verticalInnerRadius, shape.verticalInverse,
              light.verticalFalloffPower);
}

// Adds the light falling along the light's local z axis direction-wise: the
// spot (sign -1, from its apex) and the directional lights (sign +1).
void AddShadedDirections(LightProbeSlot* slot, int k, const kvMatrix4F& worldToLight,
                         const DeferredLightInfo& light, const LightShape& shape, float atten,
                         const kvVector3F* spotDirection) {
  const kvVector3F colour = Lerp(light.innerColour, light.outerColour, atten);
  for (int i = 0; i < Lightprobe_DirectionCount; ++i) {
    kvVector3F l;
    kv_Vector3_Normalize(Transform(kAxes[i], 0.0f, worldToLight), &l);
    const float facing = spotDirection ? -Dot(l, *spotDirection) : l.z;
    const float s = Clamp01((facing - light.shadingBias) * shape.shadeInverse);
    const float w = s * atten;
    if (w > 0.0f) Accumulate(&slot->irradiance[k][i], colour, w);
  }
}

}  // namespace

// Slots ---------------------------------------------------------------------------------

LightProbeSlot* Lightprobe_GetSlot(int index) {
  if (index < 0 || index >= Lightprobe_SlotCount) return nullptr;
  return &State().slots[index];
}

LightProbeSlot* Lightprobe_GetCurrent(void) {
  return Lightprobe_GetSlot(State().current);
}

void Lightprobe_EndLattice(void) {
  State().current = -1;
}

int Lightprobe_FindOrAddSlot(const char* key) {
  ProbeState& state = State();
  const char* k = key ? key : "";
  // Keys are compared on what a slot keeps (31 characters), so a longer key
  // finds its own slot again.
  constexpr size_t kKept = Lightprobe_KeySize - 1;
  for (int i = 0; i < Lightprobe_SlotCount; ++i) {
    if (std::strncmp(state.slots[i].key, k, kKept) == 0) return i;
  }
  for (int i = 0; i < Lightprobe_SlotCount; ++i) {
    LightProbeSlot& slot = state.slots[i];
    if (slot.key[0] != 0) continue;
    std::strncpy(slot.key, k, kKept);
    slot.key[kKept] = 0;
    slot.radius = 0.0f;
    slot.flags = 0;
    return i;
  }
  return -1;
}

void Lightprobe_Invalidate(void) {
  ProbeState& state = State();
  state.camera = nullptr;
  std::memset(state.setupName, 0, sizeof state.setupName);
  state.rebuildRequested = true;
}

void Lightprobe_ResetForTest(void) {
  ProbeState& state = State();
  state = ProbeState{};
  state.current = -1;
  state.shadowLight.lightIndex = Lightprobe_NoLight;
  state.shadowLight.lightType = Lightprobe_NoLight;
}

ShadowLightRecord* Lightprobe_GetShadowLight(void) {
  return &State().shadowLight;
}

// Frame and lattice -----------------------------------------------------------------------

void Lightprobe_BeginFrame(void) {
  ProfileScope scope("Lightprobe_BeginFrame");
  ProbeState& state = State();
  const DeferredSceneCalls& scene = DeferredScene();
  char name[DeferredScene_SetupNameSize] = {};
  scene.getCurrentSetupName(name);
  name[DeferredScene_SetupNameSize - 1] = 0;
  const void* camera = scene.currentCamera();
  if (state.rebuildRequested || std::strcmp(name, state.setupName) != 0 || camera != state.camera) {
    state.rebuildRequested = false;
    std::memset(state.slots, 0, sizeof state.slots);
    scene.selectSetupLights();
    ShadowLight_Select();
  }
  std::memcpy(state.setupName, name, sizeof name);
  state.camera = camera;
  state.shadowLight.probesInReach = 0;
  state.current = -1;
}

void Lightprobe_BeginLattice(const char* modelName, const kvVector3F& centre, float radius,
                             const char* parentName) {
  ProfileScope scope("Lightprobe_BeginLattice");
  ProbeState& state = State();
  const int index = Lightprobe_FindOrAddSlot(parentName ? parentName : modelName);
  if (index < 0) return;
  LightProbeSlot& slot = state.slots[index];
  // An attached model shares its parent's probe as last evaluated.
  if (parentName && slot.radius >= 0.00001f) {
    slot.constantsBuilt = 0;
    state.current = index;
    return;
  }
  if (!std::isnan(centre.x) && !std::isnan(centre.y) && !std::isnan(centre.z)) {
    slot.centre = centre;
  }
  if (std::isfinite(radius)) {
    if (slot.radius < 0.0001f) slot.radius = radius;
    slot.extent = {0.25f * slot.radius, 0.25f * slot.radius, 0.5f * slot.radius};
    slot.probeSize = {slot.extent.x * 10.0f, slot.extent.y * 10.0f, slot.extent.z * 10.0f};
  }
  Lightprobe_Evaluate(index);
  if (slot.inReach) state.shadowLight.probesInReach += 1;
  state.current = index;
}

void Lightprobe_ScreenSize(const kvVector3F& centre, const kvVector3F& extent, float* distance,
                           float* size) {
  qxMatrix34 world = {};
  DeferredScene().getCameraWorldMatrix(&world);
  const kvVector3F camera = {world.t.x, world.t.y, world.t.z};
  const float d = Length({camera.x - centre.x, camera.y - centre.y, camera.z - centre.z});
  if (distance) *distance = d;
  if (size) *size = Length(extent) / (d + 1.0f);
}

float Lightprobe_Tone(float v) {
  const float t = (v * 1.5f - 0.5f) * 1.2f + 0.5f;
  return t > 0.0f ? t : 0.0f;
}

// Evaluation ------------------------------------------------------------------------------

void Lightprobe_Evaluate(int index) {
  LightProbeSlot* slot = Lightprobe_GetSlot(index);
  if (!slot) return;
  std::memset(slot->irradiance, 0, sizeof slot->irradiance);
  slot->shadowLightIndex = Lightprobe_NoLight;
  slot->forwardProgramKind = 0;
  slot->inReach = 0;
  slot->constantsBuilt = 0;
  slot->constants = kvConstantBlock{};

  const kvVector3F c = slot->centre;
  const kvVector3F e = slot->extent;
  slot->latticePoints[0] = c;
  slot->latticePoints[1] = {c.x + e.x, c.y, c.z};
  slot->latticePoints[2] = {c.x - e.x, c.y, c.z};
  slot->latticePoints[3] = {c.x, c.y + e.y, c.z};
  slot->latticePoints[4] = {c.x, c.y - e.y, c.z};
  slot->latticePoints[5] = {c.x, c.y, c.z + e.z};
  slot->latticePoints[6] = {c.x, c.y, c.z - e.z};

  float distance = 0.0f, size = 0.0f;
  Lightprobe_ScreenSize(c, e, &distance, &size);
  slot->flags = 0;
  if (size < 0.02f) slot->flags |= Lightprobe_SmallOnScreen;
  if (size < 0.01f) slot->flags |= Lightprobe_TinyOnScreen;
  if (slot->flags && std::strstr(slot->key, "tobin")) slot->flags = 0;
  const int n = (slot->flags & Lightprobe_SmallOnScreen) ? 1 : Lightprobe_PointCount;

  const DeferredSceneCalls& scene = DeferredScene();
  const int count = scene.countDeferredLights();
  for (uint32_t type = DeferredLight_Gradient; type <= DeferredLight_DirectionalCircular; ++type) {
    for (int i = 0; i < count; ++i) {
      DeferredLightInfo light = {};
      if (!scene.getDeferredLight(i, type, &light)) continue;
      const kvMatrix4F& m = light.transform;
      kvMatrix4F worldToLight;
      kv_Matrix4_Invert(m, &worldToLight);
      const kvVector3F position = {m[3].x, m[3].y, m[3].z};
      if (light.setupFlag && slot->shadowLightIndex == Lightprobe_NoLight) {
        slot->shadowLightIndex = static_cast<uint32_t>(i);
        float longest = 0.0f;
        for (int row = 0; row < 3; ++row) {
          const float l = Length({m[row].x, m[row].y, m[row].z});
          if (l > longest) longest = l;
        }
        const float reach = std::sqrt(2.0f * longest * longest) + slot->radius;
        // In reach, the shadow light lights the model through the forward shader.
        if (kv_Vector3_DistanceSquared(position, c) <= reach * reach) {
          slot->inReach = 1;
          continue;
        }
      }
      switch (type) {
        case DeferredLight_Gradient:
          Lightprobe_Gradient(slot, n, worldToLight, light);
          break;
        case DeferredLight_Point:
          Lightprobe_Point(slot, n, worldToLight, light, position);
          break;
        case DeferredLight_Spot:
          Lightprobe_Spot(slot, n, worldToLight, light);
          break;
        default:
          Lightprobe_Directional(slot, n, worldToLight, light,
                                 type == DeferredLight_DirectionalCircular ? 1 : 0);
          break;
      }
    }
  }

  for (int k = 0; k < n; ++k) {
    for (kvVector3F& v : slot->irradiance[k]) {
      v = {Lightprobe_Tone(v.x), Lightprobe_Tone(v.y), Lightprobe_Tone(v.z)};
    }
  }
  for (int k = n; k < Lightprobe_PointCount; ++k) {
    std::memcpy(slot->irradiance[k], slot->irradiance[0], sizeof slot->irradiance[0]);
  }
}

void Lightprobe_Gradient(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                         const DeferredLightInfo& light) {
  ProfileScope scope("Lightprobe_Gradient");
  const LightShape shape = ShapeOf(light);
  const float s = n > 1 ? 1.0f : 0.5f;
  for (int k = 0; k < n; ++k) {
    const kvVector3F l = Transform(slot->latticePoints[k], 1.0f, worldToLight);
    const float hv = VerticalFalloff(l.z, light, shape);
    const float hr = Ramp(std::sqrt(l.x * l.x + l.y * l.y), light.innerRadius, shape.innerInverse,
                          light.falloffPower);
    const float w = (1.0f - hr) * (1.0f - hv);
    const kvVector3F colour = Lerp(light.innerColour, light.outerColour, w);
    for (kvVector3F& direction : slot->irradiance[k]) Accumulate(&direction, colour, s);
  }
}

void Lightprobe_Point(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                      const DeferredLightInfo& light, const kvVector3F& lightPosition) {
  ProfileScope scope("Lightprobe_Point");
  const LightShape shape = ShapeOf(light);
  for (int k = 0; k < n; ++k) {
    const kvVector3F l = Transform(slot->latticePoints[k], 1.0f, worldToLight);
    if (!InUnitBox(l)) continue;
    const float f = Ramp(Length(l), light.innerRadius, shape.innerInverse, light.falloffPower);
    const float atten = 1.0f - f;
    if (!(atten > 0.0f)) continue;
    const kvVector3F u = UnitDirection(lightPosition, slot->latticePoints[k]);
    const kvVector3F colour = Lerp(light.innerColour, light.outerColour, f);
    for (int i = 0; i < Lightprobe_DirectionCount; ++i) {
      const float s = Clamp01((AxisComponent(u, i) - light.shadingBias) * shape.shadeInverse);
      const float w = s * atten;
      if (w > 0.0f) Accumulate(&slot->irradiance[k][i], colour, w);
    }
  }
}

void Lightprobe_Spot(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                     const DeferredLightInfo& light) {
  ProfileScope scope("Lightprobe_Spot");
  const LightShape shape = ShapeOf(light);
  for (int k = 0; k < n; ++k) {
    const kvVector3F l = Transform(slot->latticePoints[k], 1.0f, worldToLight);
    if (!InUnitBox(l)) continue;
    kvVector3F q;  // from the apex (0, 0, 1) to the point
    kv_Vector3_Normalize({l.x, l.y, l.z - 1.0f}, &q);
    // 0 on the axis, 1 at and beyond 22.5 degrees from it.
    const float a = 1.0f - Clamp01((-0.92387953251f - q.z) * 13.13707118432f);
    const float f1 = Ramp(a, light.innerRadius, shape.innerInverse, light.falloffPower);
    const float f2 = VerticalFalloff(l.z, light, shape);
    const float atten = (1.0f - f1) * (1.0f - f2);
    if (atten > 0.0f) AddShadedDirections(slot, k, worldToLight, light, shape, atten, &q);
  }
}

void Lightprobe_Directional(LightProbeSlot* slot, int n, const kvMatrix4F& worldToLight,
                            const DeferredLightInfo& light, int circular) {
  ProfileScope scope("Lightprobe_Directional");
  const LightShape shape = ShapeOf(light);
  for (int k = 0; k < n; ++k) {
    const kvVector3F l = Transform(slot->latticePoints[k], 1.0f, worldToLight);
    if (!InUnitBox(l)) continue;
    const float fv = VerticalFalloff(l.z, light, shape);
    const float r =
        circular ? std::sqrt(l.x * l.x + l.y * l.y) : std::fmax(std::fabs(l.x), std::fabs(l.y));
    const float fr = Ramp(r, light.innerRadius, shape.innerInverse, light.falloffPower);
    const float atten = (1.0f - fr) * (1.0f - fv);
    if (atten > 0.0f) AddShadedDirections(slot, k, worldToLight, light, shape, atten, nullptr);
  }
}
