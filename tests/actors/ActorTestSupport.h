// Shared fixture of the actor tests: services with a recording assertion
// report, the actor module started, and its calls restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "../quadrix/qxTestLibrary.h"
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "engine/drevMain.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxThing.h"
#include "std/std.h"

namespace actortest {

inline std::vector<std::string>& Assertions() {
  static std::vector<std::string> messages;
  return messages;
}
inline void RecordAssert(const char* message, const char*, int) {
  Assertions().push_back(message);
}

// Starts the actor module on the services (with the recording assertion
// report) and stops it again.
inline void StartActors(HostServices* hs) {
  hs->assertFail = RecordAssert;
  std_Startup(hs);
  Assertions().clear();
  drevActor_ResetCalls();
  ModuleDescriptor descriptor{};
  ASSERT_EQ(drevActor_Initialize(hs, &descriptor), 0);
  ASSERT_EQ(drevActor_Startup(), 0);
  drevTime_SetFrameMs(50);
}
// The actors that wear a Figure's node (see below); that node is not the
// costume module's, so it is taken off before the actor module frees stacks.
inline std::vector<std::pair<Actor*, CostumeNode*>>& WornFigures() {
  static std::vector<std::pair<Actor*, CostumeNode*>> worn;
  return worn;
}
inline void TakeOffFigures(const CostumeNode* only = nullptr) {
  auto& worn = WornFigures();
  for (auto it = worn.begin(); it != worn.end();) {
    if (only && it->second != only) {
      ++it;
      continue;
    }
    if (it->first->costumeTop == it->second) it->first->costumeTop = nullptr;
    it = worn.erase(it);
  }
}

inline void StopActors() {
  TakeOffFigures();
  drevActor_Shutdown();
  drevActor_Uninitialize();
  drevActor_ResetCalls();
  EXPECT_TRUE(Assertions().empty()) << Assertions().front();
}

// A new actor with its extra block.
inline Actor* NewActor(int occlusion = 0, int sectorWalker = 0) {
  Actor* a = drevActor_FromIndex(drevActor_New(occlusion, sectorWalker));
  drevActor_CreateExtra(a);
  return a;
}

class ActorTable : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    StartActors(&hs_);
  }
  void TearDown() override { StopActors(); }

  HostServices hs_;
};

// A costume's main model built in memory: a chain of four nodes standing up
// along z (hip at the origin, then 1, 0.5 and 0.2 higher; the last three
// are the head joints), its box and bounding sphere, as the top costume node
// of an actor.
struct Figure {
  qxModel3 model{};
  qxModel3Node nodes[4]{};
  qxThing* thing = nullptr;
  CostumeNode node{};

  explicit Figure(float radius = 0.4f, qxVector3 boxMin = {-0.2f, -0.2f, 0},
                  qxVector3 boxMax = {0.2f, 0.2f, 1.8f}, qxVector3 centre = {0, 0, 0}) {
    const float heights[4] = {0, 1, 0.5f, 0.2f};
    for (int i = 0; i < 4; ++i) {
      qxModel3Node& n = nodes[i];
      std::snprintf(n.name, sizeof n.name, "joint%d", i);
      n.index = i;
      n.meshIndex = -1;
      n.position = {0, 0, heights[i]};
      n.parent = i > 0 ? &nodes[i - 1] : nullptr;
      n.child = i < 3 ? &nodes[i + 1] : nullptr;
      n.childCount = i < 3 ? 1 : 0;
      n.depth = i;
    }
    std::snprintf(model.name, sizeof model.name, "figure");
    model.nodeCount = 4;
    model.nodes = nodes;
    model.radius = radius;
    model.boxMin = boxMin;
    model.boxMax = boxMax;
    model.boxCentre = centre;
    node.headJoints[0] = 1;
    node.headJoints[1] = 2;
    node.headJoints[2] = 3;
    node.lookRate = 360;
    node.headLimitA = 30;
    node.headLimitB = 90;
    node.viewConeCos = -0.35f;
    for (int32_t& c : node.talkChores) c = -1;
    node.walkChore = node.restChore = node.mumbleChore = -1;
    node.turnChores[0] = node.turnChores[1] = -1;
  }
  ~Figure() {
    TakeOffFigures(&node);
    qxThing_Free(thing);
  }
  Figure(const Figure&) = delete;
  Figure& operator=(const Figure&) = delete;

  // Makes the model thing (the services are started by then) on first wear.
  void Wear(Actor* actor) {
    if (!thing) {
      qxTest_StartLibrary();
      thing = qxThing_New(0);
      qxThing_SetModel3(thing, &model);
      node.mainModel = thing;
    }
    actor->costumeTop = &node;
    WornFigures().emplace_back(actor, &node);
  }
};

inline float Dist(const qxVector3& a, const qxVector3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

}  // namespace actortest
