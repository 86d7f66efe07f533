// Sets: light animation and the light queries of the renderer, the scripts
// and the light manager.
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"

namespace {

constexpr float kIntensityThreshold = 0.0019607844f;

// The animation's random source; tests seed it.
std::minstd_rand g_random(1);

float R() {
  return static_cast<float>(g_random() % 10001) / 10000.0f;
}

void Blend(RoomLightColors* out, const RoomLightColors& from, const RoomLightColors& to, float f) {
  for (int i = 0; i < 3; ++i) {
    out->first[i] = (1.0f - f) * from.first[i] + f * to.first[i];
    out->second[i] = (1.0f - f) * from.second[i] + f * to.second[i];
  }
  out->intensity = (1.0f - f) * from.intensity + f * to.intensity;
}

void AnimateLight(DeferredLight* l, float step) {
  if (l->animationMode == 0) return;
  float f = 0.0f;
  if (l->animationMode == 1) {
    l->time += step;
    f = (std::sin(l->time * l->animationRate) + 1.0f) * 0.5f;
  } else if (l->animationMode == 2) {
    l->time += step;
    if (l->period < l->time) {
      // A new glide from the last target to a random mix of A and B.
      l->time = 0.0f;
      const float period = l->animationRate != 0.0f ? 1.0f / l->animationRate : 0.0f;
      const float r = R();
      l->from = l->to;
      l->period = (1.0f - r) * period * 0.75f + r * period * 1.25f;
      const float r2 = R();
      const float r3 = R();
      const float r4 = R();
      l->to.intensity = (1.0f - r2) * l->a.intensity + r2 * l->b.intensity;
      for (int i = 0; i < 3; ++i) {
        l->to.first[i] = (1.0f - r3) * l->a.first[i] + r3 * l->b.first[i];
        l->to.second[i] = (1.0f - r4) * l->a.second[i] + r4 * l->b.second[i];
      }
    }
    // A light without a period holds its "from" set.
    f = l->period > 0.0f ? l->time / l->period : 0.0f;
  }
  Blend(&l->current, l->from, l->to, f);
}

// Keeps an angle in [0, 360] as repeated steps of 360 would, without
// looping over huge values.
float WrapDegrees(float angle) {
  if (!std::isfinite(angle)) return 0.0f;
  if (angle > 360.0f) {
    angle = std::fmod(angle, 360.0f);
    if (angle == 0.0f) angle = 360.0f;
  } else if (angle < 0.0f) {
    angle = std::fmod(angle, 360.0f);
    if (angle < 0.0f) angle += 360.0f;
  }
  return angle;
}

void OrientedBox(qxMatrix34* box, const qxVector3& rotation, const qxVector3& size,
                 const qxVector3& position) {
  qxMatrix34_BuildRotate(box, &rotation);
  qxVector3_ScaleInPlace(&box->x, size.x);
  qxVector3_ScaleInPlace(&box->y, size.y);
  qxVector3_ScaleInPlace(&box->z, size.z);
  box->t = position;
}

// Whether a setup filter names the current setup (a substring test).
bool FilterNamesCurrentSetup(const char* filter) {
  char setup[kRoomNameSize];
  if (!drevRoom_GetCurrentSetupName(setup)) return false;
  return std::strstr(filter, setup) != nullptr;
}

void FillDynamic(DeferredLight* l, const char* name, uint32_t type, const qxVector3* position,
                 const qxVector3* rotation, const qxVector3* size, const float parameters[6],
                 uint32_t animationMode, float animationRate, const qxVector3* aFirst,
                 const qxVector3* aSecond, float aIntensity, const qxVector3* bFirst,
                 const qxVector3* bSecond, float bIntensity, uint32_t flag, uint32_t secondFlag,
                 const float extra[4]) {
  std::memset(l, 0, sizeof *l);
  std::snprintf(l->name, sizeof l->name, "%s", name);
  l->type = type;
  if (position) l->position = *position;
  if (rotation) l->rotation = *rotation;
  if (size) l->size = *size;
  for (int i = 0; parameters && i < 6; ++i) l->parameters[i] = parameters[i];
  l->animationMode = animationMode;
  l->animationRate = animationRate;
  l->flag = flag;
  l->secondFlag = secondFlag;
  for (int i = 0; extra && i < 4; ++i) l->extra[i] = extra[i];
  const qxVector3 zero{0, 0, 0};
  const qxVector3* colors[4] = {aFirst ? aFirst : &zero, aSecond ? aSecond : &zero,
                                bFirst ? bFirst : &zero, bSecond ? bSecond : &zero};
  RoomLightColors* sets[2] = {&l->a, &l->b};
  for (int s = 0; s < 2; ++s) {
    const qxVector3& first = *colors[2 * s];
    const qxVector3& second = *colors[2 * s + 1];
    sets[s]->first[0] = first.x;
    sets[s]->first[1] = first.y;
    sets[s]->first[2] = first.z;
    sets[s]->second[0] = second.x;
    sets[s]->second[1] = second.y;
    sets[s]->second[2] = second.z;
  }
  l->a.intensity = aIntensity;
  l->b.intensity = bIntensity;
  l->from = l->a;
  l->to = l->b;
  l->current = l->a;
}

}  // namespace

void drevRoom_SeedLightRandom(uint32_t seed) {
  g_random.seed(seed);
}

// ---- Set-file lights -------------------------------------------------------------------

RoomLight* drevRoom_GetLight(Room* room, int index) {
  if (!room) room = drevRoom_GetCurrent();
  if (!room || index < 0 || static_cast<uint32_t>(index) >= room->numLights ||
      index >= kRoomMaxLights)
    return nullptr;
  return &room->lights[index];
}

int drevRoom_FindLight(Room* room, const char* name) {
  if (!room) room = drevRoom_GetCurrent();
  if (!room || !name) return -1;
  for (uint32_t i = 0; i < room->numLights && i < static_cast<uint32_t>(kRoomMaxLights); ++i)
    if (strcasecmp(room->lights[i].name, name) == 0) return static_cast<int>(i);
  return -1;
}

int drevRoom_IsLightOnByName(const char* name, int* on) {
  Room* room = drevRoom_GetCurrent();
  const int index = drevRoom_FindLight(room, name);
  if (!room || index < 0) return 0;
  if (on) *on = room->lights[index].light.active;
  return 1;
}

// ---- Cutscene lights ---------------------------------------------------------------------

int drevRoom_CountCutsceneLights(void) {
  Room* room = drevRoom_GetCurrent();
  return room ? static_cast<int>(room->numCutsceneLights) : 0;
}

int drevRoom_GetCutsceneLight(int index, int* type, qxVector3* position, qxVector3* direction,
                              qxVector3* color, float* value1, float* value2, float* cosInner,
                              float* cosOuter) {
  Room* room = drevRoom_GetCurrent();
  if (!room || index < 0 || static_cast<uint32_t>(index) >= room->numCutsceneLights ||
      index >= kRoomMaxLights)
    return 0;
  const RoomLight& l = room->cutsceneLights[index];
  if (type) *type = l.light.type;
  if (position) *position = l.position;
  if (direction) *direction = l.light.direction;
  const bool on = l.light.active != 0;
  if (color) *color = on ? qxVector3{l.light.colorR, l.light.colorG, l.light.colorB} : qxVector3{};
  if (value1) *value1 = on ? l.light.startFalloff : 0.0f;
  if (value2) *value2 = on ? l.light.endFalloff : 0.0f;
  if (cosInner) *cosInner = on ? l.light.cosInner : 0.0f;
  if (cosOuter) *cosOuter = on ? l.light.cosOuter : 0.0f;
  return 1;
}

// ---- Deferred lights ---------------------------------------------------------------------

int drevRoom_CountDeferredLights(void) {
  Room* room = drevRoom_GetCurrent();
  return room ? static_cast<int>(room->numDeferredLights + room->numDynamicLights) : 0;
}

int drevRoom_CountFlaggedDeferredLights(void) {
  Room* room = drevRoom_GetCurrent();
  return room ? static_cast<int>(room->numFlaggedLights) : 0;
}

int drevRoom_GetDeferredLight(int index, uint32_t type, qxVector3* position, qxMatrix34* box,
                              qxVector3* firstColor, qxVector3* secondColor, float parameters[6],
                              uint32_t* flag, uint32_t* secondFlag, float* extra1, float* extra2,
                              float* sizeX2, float* sizeY2, float* sizeZ2, float* extra3,
                              float* extra4, uint32_t* enabled) {
  Room* room = drevRoom_GetCurrent();
  if (!room || index < 0) return 0;
  const uint32_t i = static_cast<uint32_t>(index);
  const DeferredLight* l = nullptr;
  if (i < room->numDeferredLights)
    l = &room->deferredLights[i];
  else if (i - room->numDeferredLights < room->numDynamicLights)
    l = &room->dynamicLights[i - room->numDeferredLights];
  if (!l || l->type != type) return 0;
  if (room->lightGroup != 0 && l->group != 0 && l->group != room->lightGroup) return 0;
  const RoomLightColors& c = l->current;
  if (position) *position = l->position;
  if (box) OrientedBox(box, l->rotation, l->size, l->position);
  if (firstColor)
    *firstColor = {c.first[0] * c.intensity, c.first[1] * c.intensity, c.first[2] * c.intensity};
  if (secondColor)
    *secondColor = {c.second[0] * c.intensity, c.second[1] * c.intensity,
                    c.second[2] * c.intensity};
  for (int p = 0; parameters && p < 6; ++p) parameters[p] = l->parameters[p];
  if (flag) *flag = l->flag;
  if (secondFlag) *secondFlag = l->secondFlag;
  if (extra1) *extra1 = l->extra[0] * (l->type == 3 || l->type == 4 ? 8.0f : 1.0f);
  if (extra2) *extra2 = l->extra[1];
  if (sizeX2) *sizeX2 = l->size.x * 2.0f;
  if (sizeY2) *sizeY2 = l->size.y * 2.0f;
  if (sizeZ2) *sizeZ2 = l->size.z * 2.0f;
  if (extra3) *extra3 = l->extra[2];
  if (extra4) *extra4 = l->extra[3];
  if (enabled) *enabled = l->enabled;
  return std::fabs(c.intensity) > kIntensityThreshold ? 1 : 0;
}

void drevRoom_AddDynamicLight(const char* name, uint32_t type, const qxVector3* position,
                              const qxVector3* rotation, const qxVector3* size,
                              const float parameters[6], uint32_t animationMode,
                              float animationRate, const qxVector3* aFirst,
                              const qxVector3* aSecond, float aIntensity, const qxVector3* bFirst,
                              const qxVector3* bSecond, float bIntensity, uint32_t flag,
                              uint32_t secondFlag, const float extra[4]) {
  Room* room = drevRoom_GetCurrent();
  if (!room || !name || room->numDynamicLights >= static_cast<uint32_t>(kRoomMaxDynamicLights))
    return;
  char key[kRoomNameSize];
  std::snprintf(key, sizeof key, "%s", name);
  const uint32_t n = room->numDynamicLights;
  // Slots from n on hold the lights of earlier frames not re-added yet.
  for (uint32_t j = n; j < static_cast<uint32_t>(kRoomMaxDynamicLights); ++j) {
    DeferredLight& slot = room->dynamicLights[j];
    if (std::strcmp(slot.name, key) != 0) continue;
    if (j != n) {
      room->dynamicLights[n] = slot;
      std::memset(&slot, 0, sizeof slot);
    }
    DeferredLight& kept = room->dynamicLights[n];
    if (position) kept.position = *position;
    if (rotation) kept.rotation = *rotation;
    if (size) kept.size = *size;
    room->numDynamicLights = n + 1;
    return;
  }
  FillDynamic(&room->dynamicLights[n], key, type, position, rotation, size, parameters,
              animationMode, animationRate, aFirst, aSecond, aIntensity, bFirst, bSecond,
              bIntensity, flag, secondFlag, extra);
  room->numDynamicLights = n + 1;
}

void drevRoom_AddDynamicLightDefault(const char* name, uint32_t type, const qxVector3* position,
                                     const qxVector3* rotation, const qxVector3* size,
                                     const float parameters[6], uint32_t animationMode,
                                     float animationRate, const qxVector3* aFirst,
                                     const qxVector3* aSecond, float aIntensity,
                                     const qxVector3* bFirst, const qxVector3* bSecond,
                                     float bIntensity) {
  static const float kExtra[4] = {1.0f, 4.0f, 0.1f, 1.0f};
  drevRoom_AddDynamicLight(name, type, position, rotation, size, parameters, animationMode,
                           animationRate, aFirst, aSecond, aIntensity, bFirst, bSecond, bIntensity,
                           0, 0, kExtra);
}

void drevRoom_SetLightGroup(uint32_t group) {
  if (Room* room = drevRoom_GetCurrent()) room->lightGroup = group;
}

void drevRoom_SelectSetupLights(void) {
  Room* room = drevRoom_GetCurrent();
  if (!room) return;
  for (uint32_t i = 0; i < room->numDeferredLights; ++i) {
    DeferredLight& l = room->deferredLights[i];
    l.enabled = 0;
    if (l.filterLength != 0) l.enabled = FilterNamesCurrentSetup(l.filter) ? 1 : 0;
  }
}

void drevRoom_SetDeferredLightEnabled(int index, uint32_t value) {
  Room* room = drevRoom_GetCurrent();
  if (!room || index < 0 || static_cast<uint32_t>(index) >= room->numDeferredLights) return;
  room->deferredLights[index].enabled = value;
}

int drevRoom_AnimateLights(void) {
  Room* room = drevRoom_GetCurrent();
  if (!room) return 0;
  const float step = drevTime_GetFrameSeconds() * 10.0f;
  for (uint32_t i = 0; i < room->numDeferredLights; ++i)
    AnimateLight(&room->deferredLights[i], step);
  for (uint32_t i = 0; i < room->numDynamicLights; ++i) AnimateLight(&room->dynamicLights[i], step);
  room->numDynamicLights = 0;
  for (uint32_t i = 0; i < room->numShadowCasters; ++i) {
    ShadowCaster& c = room->shadowCasters[i];
    c.currentRotation.x = WrapDegrees(c.currentRotation.x + c.rotationRate.x * 90.0f * step);
    c.currentRotation.y = WrapDegrees(c.currentRotation.y + c.rotationRate.y * 90.0f * step);
    c.currentRotation.z = WrapDegrees(c.currentRotation.z + c.rotationRate.z * 90.0f * step);
  }
  return 0;
}

int drevRoom_DebugQuery1(void) {
  return 0;
}
int drevRoom_DebugQuery2(void) {
  return 0;
}
int drevRoom_DebugQuery3(void) {
  return 0;
}

// ---- Resolve points, shadow casters, Z shapes --------------------------------------------

int drevRoom_FindNearestResolvePoint(qxVector3* firstVector, qxVector3* secondVector, float* value1,
                                     float* value2, float* value3, float* value4) {
  Room* room = drevRoom_GetCurrent();
  if (!room || !qxCore_pCurrentCamera || room->numResolvePoints == 0) return 0;
  qxMatrix34 world;
  qxCamera_GetWorldMatrix(&world);
  const ResolvePoint* best = nullptr;
  float bestDistance = 0.0f;
  for (uint32_t i = 0; i < room->numResolvePoints; ++i) {
    const ResolvePoint& p = room->resolvePoints[i];
    qxVector3 d;
    qxVector3_Sub(&d, &p.position, &world.t);
    const float distance = qxVector3_Dot(&d, &d);
    if (!best || distance < bestDistance) {
      best = &p;
      bestDistance = distance;
    }
  }
  if (firstVector) *firstVector = best->firstVector;
  if (secondVector) *secondVector = best->secondVector;
  if (value1) *value1 = best->values[0];
  if (value2) *value2 = best->values[1];
  if (value3) *value3 = best->values[2];
  if (value4) *value4 = best->values[3];
  return 1;
}

int drevRoom_CountShadowCasters(void) {
  Room* room = drevRoom_GetCurrent();
  return room ? static_cast<int>(room->numShadowCasters) : 0;
}

int drevRoom_CountZShapes(void) {
  Room* room = drevRoom_GetCurrent();
  return room ? static_cast<int>(room->numZShapes) : 0;
}

int drevRoom_GetShadowCaster(int index, uint32_t type, qxVector3* position, qxMatrix34* box) {
  Room* room = drevRoom_GetCurrent();
  if (!room || index < 0 || static_cast<uint32_t>(index) >= room->numShadowCasters) return 0;
  const ShadowCaster& c = room->shadowCasters[index];
  if (c.type != type) return 0;
  if (position) *position = c.position;
  if (box) OrientedBox(box, c.currentRotation, c.size, c.position);
  return 1;
}

int drevRoom_GetZShape(int index, uint32_t type, uint32_t code, uint32_t* value,
                       qxVector3* position, qxMatrix34* box) {
  Room* room = drevRoom_GetCurrent();
  if (!room || index < 0 || static_cast<uint32_t>(index) >= room->numZShapes) return 0;
  const ZShape& z = room->zShapes[index];
  if (z.type != type || z.code != code) return 0;
  if (z.filterLength != 0 && !FilterNamesCurrentSetup(z.filter)) return 0;
  if (value) *value = z.value;
  if (position) *position = z.position;
  if (box) OrientedBox(box, z.rotation, z.size, z.position);
  return 1;
}

int drevRoom_IsInvSet(void) {
  return drevRoom_GetCurrent() && std::strstr(drevRoom_GetCurrentName(), "_inv") ? 1 : 0;
}
