// A fake set and camera for the deferred back end: lights of given types,
// a setup name, a camera identity and position, shadow casters, and a record
// of what the back end asked. Installed for the object's life.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
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

  std::vector<Light> lights;
  std::string setupName;
  const void* camera = nullptr;
  kvVector3F cameraPosition = {0.0f, 0.0f, 0.0f};
  int shadowCasters = 0;
  int selectCalls = 0;
  std::vector<int> enabledIndices;

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
