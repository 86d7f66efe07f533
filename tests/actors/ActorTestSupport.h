// Shared fixture of the actor tests: services with a recording assertion
// report, the actor module started, and its calls restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "engine/drevMain.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
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
inline void StopActors() {
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

inline float Dist(const qxVector3& a, const qxVector3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

}  // namespace actortest
