// A fake set and camera for the deferred back end: lights of given types,
// a setup name, a camera identity and position, shadow casters, and a record
// of what the back end asked. Installed for the object's life.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "quadrix/qxMatrix.h"
#include "render/DeferredScene.h"

class FakeDeferredScene {
 public:
  struct Light {
    uint32_t type;
    DeferredLightInfo info;
    bool black = false;
  };

  struct ZShape {
    uint32_t kind;  // 0 box, 1 grid
    uint32_t code;
    uint32_t value;
    qxMatrix34 box;
  };
  struct DrawListActor {
    kvVector3F position;
    float halfHeight;
  };

  std::vector<Light> lights;
  std::string setupName;
  const void* camera = nullptr;
  kvVector3F cameraPosition = {0.0f, 0.0f, 0.0f};
  // World to camera (x right, y forward, z up); identity by default.
  qxMatrix34 cameraView = Identity();
  float focal = 0.0f;
  int shadowCasters = 0;
  std::vector<qxMatrix34> casterBoxes;  // casters of type 0, by index
  std::vector<DeferredCutsceneLight> cutsceneLights;
  int flaggedDeferredLights = 0;
  std::vector<ZShape> zShapes;
  bool hasResolvePoint = false;
  DeferredResolveSettings resolvePoint{};
  int invSet = 0;
  std::vector<qxMatrix34> flaggedActors;
  std::vector<DrawListActor> drawList;
  std::map<std::string, int> namedLights;  // set lights by name: their on flag
  int selectCalls = 0;
  int animateCalls = 0;
  std::vector<int> enabledIndices;
  std::vector<uint32_t> lightGroups;
  std::vector<DeferredDynamicLight> dynamicLights;  // names point into dynamicLightNames
  std::vector<std::string> dynamicLightNames;

  static qxMatrix34 Identity() {
    qxMatrix34 m{};
    m.x.x = m.y.y = m.z.z = 1.0f;
    return m;
  }

  FakeDeferredScene() {
    current_ = this;
    const DeferredSceneCalls calls = {
        [] { return static_cast<int>(current_->lights.size()); },
        [](int index, uint32_t type, DeferredLightInfo* out) {
          if (index < 0 || static_cast<size_t>(index) >= current_->lights.size()) return 0;
          const Light& light = current_->lights[static_cast<size_t>(index)];
          if (light.type != type || light.black) return 0;
          *out = light.info;
          return 1;
        },
        [] {
          current_->selectCalls += 1;
          for (Light& light : current_->lights) light.info.setupFlag = 0;
        },
        [](int index, uint32_t value) {
          current_->enabledIndices.push_back(index);
          if (index >= 0 && static_cast<size_t>(index) < current_->lights.size()) {
            current_->lights[static_cast<size_t>(index)].info.setupFlag = value;
          }
        },
        [](char buffer[DeferredScene_SetupNameSize]) {
          std::memset(buffer, 0, DeferredScene_SetupNameSize);
          std::strncpy(buffer, current_->setupName.c_str(), DeferredScene_SetupNameSize - 1);
        },
        [] { return current_->shadowCasters; },
        []() -> const void* { return current_->camera; },
        [](qxMatrix34* out) {
          *out = qxMatrix34{};
          out->x.x = out->y.y = out->z.z = 1.0f;
          out->t = {current_->cameraPosition.x, current_->cameraPosition.y,
                    current_->cameraPosition.z};
        },
        [](qxMatrix34* out) { *out = current_->cameraView; },
        [] { return current_->focal; },
        [] { return static_cast<int>(current_->cutsceneLights.size()); },
        [](int index, DeferredCutsceneLight* out) {
          if (index < 0 || static_cast<size_t>(index) >= current_->cutsceneLights.size()) return 0;
          *out = current_->cutsceneLights[static_cast<size_t>(index)];
          return 1;
        },
        [] { return current_->flaggedDeferredLights; },
        [](int index, uint32_t type, qxMatrix34* box) {
          if (type != 0 || index < 0 || static_cast<size_t>(index) >= current_->casterBoxes.size())
            return 0;
          *box = current_->casterBoxes[static_cast<size_t>(index)];
          return 1;
        },
        [] { return static_cast<int>(current_->zShapes.size()); },
        [](int index, uint32_t kind, uint32_t code, uint32_t* value, qxMatrix34* box) {
          if (index < 0 || static_cast<size_t>(index) >= current_->zShapes.size()) return 0;
          const ZShape& z = current_->zShapes[static_cast<size_t>(index)];
          if (z.kind != kind || z.code != code) return 0;
          *value = z.value;
          *box = z.box;
          return 1;
        },
        [](DeferredResolveSettings* out) {
          if (!current_->hasResolvePoint) return 0;
          *out = current_->resolvePoint;
          return 1;
        },
        [] { return current_->invSet; },
        [] { return static_cast<int>(current_->flaggedActors.size()); },
        [](int n, qxMatrix34* out) {
          if (n < 0 || static_cast<size_t>(n) >= current_->flaggedActors.size()) return 0;
          *out = current_->flaggedActors[static_cast<size_t>(n)];
          return 1;
        },
        [] { return static_cast<int>(current_->drawList.size()); },
        [](int index, kvVector3F* position, float* halfHeight) {
          if (index < 0 || static_cast<size_t>(index) >= current_->drawList.size()) return;
          *position = current_->drawList[static_cast<size_t>(index)].position;
          *halfHeight = current_->drawList[static_cast<size_t>(index)].halfHeight;
        },
        [] { current_->animateCalls += 1; },
        [](uint32_t group) { current_->lightGroups.push_back(group); },
        [](const DeferredDynamicLight& light) {
          current_->dynamicLightNames.emplace_back(light.name ? light.name : "");
          current_->dynamicLights.push_back(light);
        },
        [](const char* name, int* on) {
          const auto it = current_->namedLights.find(name ? name : "");
          if (it == current_->namedLights.end()) return 0;
          *on = it->second;
          return 1;
        },
    };
    DeferredScene_Set(&calls);
  }
  ~FakeDeferredScene() {
    DeferredScene_Set(nullptr);
    current_ = nullptr;
  }
  FakeDeferredScene(const FakeDeferredScene&) = delete;
  FakeDeferredScene& operator=(const FakeDeferredScene&) = delete;

  // A light whose box is its axes scaled by the half sizes (hx, hy, hz) at
  // position p (no rotation); white inner and outer colours, no falloff.
  static Light MakeLight(uint32_t type, kvVector3F p, float hx, float hy, float hz) {
    Light light{};
    light.type = type;
    DeferredLightInfo& info = light.info;
    info.position = p;
    info.transform = {};
    info.transform[0] = {hx, 0.0f, 0.0f, 0.0f};
    info.transform[1] = {0.0f, hy, 0.0f, 0.0f};
    info.transform[2] = {0.0f, 0.0f, hz, 0.0f};
    info.transform[3] = {p.x, p.y, p.z, 1.0f};
    info.innerColour = {1.0f, 1.0f, 1.0f};
    info.outerColour = {1.0f, 1.0f, 1.0f};
    info.shadingEnd = 1.0f;
    info.falloffPower = 1.0f;
    info.verticalInnerRadius = 1.0f;
    info.verticalFalloffPower = 1.0f;
    info.sizeX = 2.0f * hx;
    info.sizeY = 2.0f * hy;
    info.sizeZ = 2.0f * hz;
    info.shadowNear = 0.1f;
    info.shadowRange = 10.0f;
    return light;
  }

 private:
  static inline FakeDeferredScene* current_ = nullptr;
};
