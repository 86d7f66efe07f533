// The camera and light script functions.
//
// The render camera is the current setup of the current set: its position,
// interest point, roll and field of view, the 3D library camera it drives and
// its camera matrix. Without a current set there is no camera and every
// camera function answers nil and changes nothing.
//
// A light argument is the index of one of the current set's lights or its
// name (ignoring case). The set's lights are shared by the cameras of all
// its setups; each setup's camera keeps its own copy of every light's
// position and of the ranges derived from the light's intensity, so the
// setters marked "all setups" write those copies too.
#include <strings.h>

#include <cstring>

#include "actors/drevActor.h"
#include "engine/drevRoom.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxLight.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxVector.h"
#include "script/drevLua.h"
#include "script/drevLua_Calls.h"
#include "script/drevLua_Rows.h"

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

// The render camera, or null.
RoomSetup* Camera() {
  Room* room = drevRoom_GetCurrent();
  if (!room || !room->setups || room->currentSetup >= room->numSetups) return nullptr;
  return &room->setups[room->currentSetup];
}

// Builds the camera matrix from the stored position, interest point and roll
// and hands it to the 3D library when the setup's camera is the one in use
// (the render module hands it over when it selects the setup).
void Rebuild(RoomSetup* setup) {
  qxMatrix34_BuildLookAt(&setup->viewMatrix, &setup->position, &setup->interest, setup->roll);
  if (setup->camera && setup->camera == qxCore_pCurrentCamera) qxCamera_Update(&setup->viewMatrix);
}

void GetCameraPosition() {
  if (const RoomSetup* camera = Camera()) {
    drevLua_PushPoint(camera->position);
  } else {
    lua_pushnil();
  }
}

void GetCameraInterest() {
  if (const RoomSetup* camera = Camera()) {
    drevLua_PushPoint(camera->interest);
  } else {
    lua_pushnil();
  }
}

void GetCameraFOV() {
  if (const RoomSetup* camera = Camera()) {
    lua_pushnumber(camera->fov);
  } else {
    lua_pushnil();
  }
}

void GetCameraRoll() {
  if (const RoomSetup* camera = Camera()) {
    lua_pushnumber(camera->roll);
  } else {
    lua_pushnil();
  }
}

// The three coordinates of a camera setter: numbers, none of them NaN.
bool StoredPointArgs(qxVector3* out) {
  return drevLua_StoredNumberArg(1, &out->x) && drevLua_StoredNumberArg(2, &out->y) &&
         drevLua_StoredNumberArg(3, &out->z);
}

void SetCameraPosition() {
  RoomSetup* camera = Camera();
  qxVector3 p{};
  if (!camera || !StoredPointArgs(&p)) {
    lua_pushnil();
    return;
  }
  camera->position = p;
  Rebuild(camera);
}

void SetCameraInterest() {
  RoomSetup* camera = Camera();
  qxVector3 p{};
  if (!camera || !StoredPointArgs(&p)) {
    lua_pushnil();
    return;
  }
  camera->interest = p;
  Rebuild(camera);
}

void SetCameraRoll() {
  RoomSetup* camera = Camera();
  float roll = 0.0f;
  if (!camera || !drevLua_StoredNumberArg(1, &roll)) {
    lua_pushnil();
    return;
  }
  camera->roll = roll;
  Rebuild(camera);
}

// The field of view goes to the render camera and its 3D library camera; the
// camera matrix is not rebuilt.
void SetCameraFOV() {
  RoomSetup* camera = Camera();
  float fov = 0.0f;
  if (!camera || !drevLua_StoredNumberArg(1, &fov)) {
    lua_pushnil();
    return;
  }
  camera->fov = fov;
  if (camera->camera) qxCamera_SetFOV(camera->camera, fov);
}

// GetCameraLookVector(setup): the look direction of a setup of the current
// set (default the current one) as a point table.
void GetCameraLookVector() {
  const Room* room = drevRoom_GetCurrent();
  if (!room || !room->setups) {
    lua_pushnil();
    return;
  }
  uint32_t index = room->currentSetup;
  float number = 0.0f;
  if (drevLua_NumberArg(1, &number)) index = drevLua_ToIndex(number);
  if (index >= room->numSetups) {
    lua_pushnil();
    return;
  }
  const RoomSetup& setup = room->setups[index];
  qxVector3 look{setup.interest.x - setup.position.x, setup.interest.y - setup.position.y,
                 setup.interest.z - setup.position.z};
  qxVector3_NormalizeInPlace(&look);
  drevLua_PushPointTable(&look);
}

void WorldToScreen() {
  qxVector3 point{};
  if (!Camera() || !drevLua_PointArgs(1, &point)) {
    lua_pushnil();
    return;
  }
  qxScreenPoint screen{};
  if (!qxPrimitive_ProjectPoint3(&point, &screen)) {
    lua_pushnil();
    lua_pushnil();
    return;
  }
  lua_pushnumber(static_cast<float>(screen.x));
  lua_pushnumber(static_cast<float>(screen.y));
}

// ScreenToWorld(x, y): the world point under a pixel of the 640x480 screen,
// from the clean depth image.
void ScreenToWorld() {
  float x = 0.0f, y = 0.0f;
  if (!Camera() || !drevLua_NumberArg(1, &x) || !drevLua_NumberArg(2, &y)) return;
  const int column = drevLua_ToInt(x), row = drevLua_ToInt(y);
  if (column < 0 || column >= kScreenWidth || row < 0 || row >= kScreenHeight) return;
  qxVector3 point{};
  if (!drevLua_Calls().renderPickWorldPoint(column, row, &point)) return;
  drevLua_PushPoint(point);
}

void SetAmbientLight() {
  RoomSetup* camera = Camera();
  float level = 0.0f;
  if (!camera || !camera->camera || !drevLua_StoredNumberArg(1, &level)) return;
  qxCamera_SetAmbientLight(camera->camera, level);
}

// ---- Lights ------------------------------------------------------------------------

struct LightArgument {
  Room* room = nullptr;
  RoomLight* light = nullptr;
  int index = -1;
};

// The current set's light named by argument n; light null for none.
LightArgument LightArg(int n) {
  LightArgument a;
  a.room = drevRoom_GetCurrent();
  if (!a.room) return a;
  const lua_Object o = lua_lua2C(n);
  int index = -1;
  if (lua_tag(o) == LUA_T_NUMBER) {
    const uint32_t i = drevLua_ToIndex(lua_getnumber(o));
    index = i < a.room->numLights ? static_cast<int>(i) : -1;
  } else if (lua_tag(o) == LUA_T_STRING) {
    index = drevRoom_FindLight(a.room, lua_getstring(o));
  }
  a.light = index >= 0 ? drevRoom_GetLight(a.room, index) : nullptr;
  a.index = a.light ? index : -1;
  return a;
}

// Calls f(camera, slot) for every setup camera that holds the light.
template <typename F>
void ForEachSetupCopy(const LightArgument& a, F f) {
  if (!a.room->setups) return;
  for (uint32_t i = 0; i < a.room->numSetups; ++i) {
    qxCamera* camera = a.room->setups[i].camera;
    if (!camera) continue;
    for (int slot = 0; slot < camera->lightCount; ++slot) {
      if (camera->lights[slot] == &a.light->light) f(camera, slot);
    }
  }
}

void FindLight() {
  Room* room = drevRoom_GetCurrent();
  const lua_Object name = lua_lua2C(1);
  const int index = room && lua_isstring(name) ? drevRoom_FindLight(room, lua_getstring(name)) : -1;
  if (index < 0) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(static_cast<float>(index));
}

void TurnLightOn() {
  const LightArgument a = LightArg(1);
  if (a.light) a.light->light.active = lua_isnil(lua_lua2C(2)) ? 0 : 1;
}

void IsLightOn() {
  const LightArgument a = LightArg(1);
  if (a.light && a.light->light.active) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

// The type from a text: "parallel" or "global" first, then "spot", else omni.
void SetLightType() {
  const LightArgument a = LightArg(1);
  const lua_Object text = lua_lua2C(2);
  if (!a.light || !lua_isstring(text)) return;
  const char* t = lua_getstring(text);
  int32_t type = QXLIGHT_POINT;
  if (std::strstr(t, "parallel") || std::strstr(t, "global")) {
    type = QXLIGHT_DIRECTIONAL;
  } else if (std::strstr(t, "spot")) {
    type = QXLIGHT_SPOT;
  }
  a.light->light.type = type;
}

void GetLightType() {
  const LightArgument a = LightArg(1);
  const char* name = nullptr;
  if (a.light) {
    switch (a.light->light.type) {
      case QXLIGHT_DIRECTIONAL:
        name = "parallel";
        break;
      case QXLIGHT_POINT:
        name = "omni";
        break;
      case QXLIGHT_SPOT:
        name = "spot";
        break;
      default:
        break;
    }
  }
  lua_pushstring(name);  // nil for none
}

void SetLightPosition() {
  const LightArgument a = LightArg(1);
  qxVector3 p{};
  if (!a.light || !drevLua_StoredNumberArg(2, &p.x) || !drevLua_StoredNumberArg(3, &p.y) ||
      !drevLua_StoredNumberArg(4, &p.z))
    return;
  a.light->position = p;
  ForEachSetupCopy(a, [&](qxCamera* camera, int slot) { camera->lightPositions[slot] = p; });
}

void GetLightPosition() {
  const LightArgument a = LightArg(1);
  if (!a.light) {
    lua_pushnil();
    return;
  }
  drevLua_PushPoint(a.light->position);
}

// A stored number of argument n, 0 when it is not a number (or NaN).
float StoredNumberOrZero(int n) {
  float value = 0.0f;
  return drevLua_StoredNumberArg(n, &value) ? value : 0.0f;
}

void SetLightRotation() {
  const LightArgument a = LightArg(1);
  if (!a.light) return;
  const qxVector3 angles{StoredNumberOrZero(2), StoredNumberOrZero(3), StoredNumberOrZero(4)};
  qxVector3 direction{0.0f, 1.0f, 0.0f};
  qxVector3_RotateInPlace(&direction, &angles);
  a.light->light.direction = direction;
}

void GetLightRotation() {
  const LightArgument a = LightArg(1);
  if (!a.light) {
    lua_pushnil();
    return;
  }
  qxVector3 angles{};
  qxVector3_ExtractAngles(&a.light->light.direction, &angles);
  drevLua_PushPoint(angles);
}

// PointLightAt(light, actor or x, y, z): the set light only.
void PointLightAt() {
  const LightArgument a = LightArg(1);
  if (!a.light) return;
  qxVector3 target{};
  if (Actor* actor = drevLua_ActorArg(2)) {
    target = actor->position;
  } else if (drevLua_StoredNumberArg(2, &target.x)) {
    target.y = StoredNumberOrZero(3);
    target.z = StoredNumberOrZero(4);
  } else {
    return;
  }
  qxVector3 direction{target.x - a.light->position.x, target.y - a.light->position.y,
                      target.z - a.light->position.z};
  qxVector3_NormalizeInPlace(&direction);
  a.light->light.direction = direction;
}

void SetLightAngles() {
  const LightArgument a = LightArg(1);
  if (!a.light) return;
  qxLight_SetSpotAngles(&a.light->light, StoredNumberOrZero(2), StoredNumberOrZero(3));
}

void GetLightAngles() {
  const LightArgument a = LightArg(1);
  if (!a.light) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(a.light->light.innerAngle);
  lua_pushnumber(a.light->light.outerAngle);
}

// The intensity, and every setup camera's ranges derived from it (the
// current setup's camera last, so its ranges are the ones in use).
void SetLightIntensity() {
  const LightArgument a = LightArg(1);
  float intensity = 0.0f;
  if (!a.light || !drevLua_StoredNumberArg(2, &intensity)) return;
  a.light->light.intensity = intensity;
  ForEachSetupCopy(a, [](qxCamera* camera, int) {
    qxCamera_SetAttenuation(camera, camera->attenuation1, camera->attenuation2);
  });
  if (RoomSetup* current = Camera(); current && current->camera)
    qxCamera_SetAttenuation(current->camera, current->camera->attenuation1,
                            current->camera->attenuation2);
}

void GetLightIntensity() {
  const LightArgument a = LightArg(1);
  if (!a.light) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(a.light->light.intensity);
}

constexpr lua_Reg kRows[] = {
    {"GetCameraPosition", GetCameraPosition},
    {"GetCameraInterest", GetCameraInterest},
    {"GetCameraFOV", GetCameraFOV},
    {"GetCameraRoll", GetCameraRoll},
    {"SetCameraPosition", SetCameraPosition},
    {"SetCameraInterest", SetCameraInterest},
    {"SetCameraRoll", SetCameraRoll},
    {"SetCameraFOV", SetCameraFOV},
    {"GetCameraLookVector", GetCameraLookVector},
    {"WorldToScreen", WorldToScreen},
    {"ScreenToWorld", ScreenToWorld},
    {"SetAmbientLight", SetAmbientLight},
    {"FindLight", FindLight},
    {"TurnLightOn", TurnLightOn},
    {"IsLightOn", IsLightOn},
    {"SetLightType", SetLightType},
    {"GetLightType", GetLightType},
    {"SetLightPosition", SetLightPosition},
    {"GetLightPosition", GetLightPosition},
    {"SetLightRotation", SetLightRotation},
    {"GetLightRotation", GetLightRotation},
    {"PointLightAt", PointLightAt},
    {"SetLightAngles", SetLightAngles},
    {"GetLightAngles", GetLightAngles},
    {"SetLightIntensity", SetLightIntensity},
    {"GetLightIntensity", GetLightIntensity},
};

}  // namespace

std::span<const lua_Reg> drevLua_CameraRows(void) {
  return kRows;
}
