// The engine core's module registry and life cycle.
#include "engine/drevMain.h"

#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "engine/drevDialogLog.h"
#include "engine/drevMain_Save.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "melos/Sounds.h"
#include "platform/kv_Log.h"
#include "presentation/drevCommentary.h"
#include "presentation/drevControl.h"
#include "presentation/drevMouse.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevRender.h"
#include "presentation/drevText.h"
#include "script/drevLua.h"
#include "std/stdFileUtil.h"
#include "std/stdMemory.h"
#include "vembra/drevTolve.h"

namespace {

// The fixed module table: group A is initialised and started first.
const ModuleTableEntry kGroupA[kModuleGroupSize] = {
    {FileUtil_SysInitialize, "FileUtil_SysInitialize"},
    {Memory_SysInitialize, "Memory_SysInitialize"},
    {drevRoom_Initialize, "drevRoom_Initialize"},
    {drevTime_Initialize, "drevTime_Initialize"},
    {drevLua_Initialize, "drevLua_Initialize"},
    {drevCostume_Initialize, "drevCostume_Initialize"},
    {drevActor_Initialize, "drevActor_Initialize"},
    {drevResource_Initialize, "drevResource_Initialize"},
    {drevCommentary_Initialize, "drevCommentary_Initialize"},
};
const ModuleTableEntry kGroupB[kModuleGroupSize] = {
    {drevControl_Initialize, "drevControl_Initialize"},
    {SoundsInitialize, "SoundsInitialize"},
    {drevRender_Initialize, "drevRender_Initialize"},
    {drevText_Initialize, "drevText_Initialize"},
    {drevPrimitive_Initialize, "drevPrimitive_Initialize"},
    {drevTolve_Initialize, "drevTolve_Initialize"},
    {drevOverlay_Initialize, "drevOverlay_Initialize"},
    {drevDialogLog_Initialize, "drevDialogLog_Initialize"},
    {drevMouse_Initialize, "drevMouse_Initialize"},
};

const ModuleTableEntry* gTable[2] = {kGroupA, kGroupB};
ModuleDescriptor gDescriptors[2][kModuleGroupSize];

HostServices* gServices = nullptr;
int gInitialized = 0;
int gGroupInitialized[2] = {0, 0};
int gStarted = 0;

constexpr int64_t kMegabyte = 1048576;
constexpr int64_t kDefaultMaxMemory = 24 * kMegabyte;
constexpr int64_t kSmallMachine = 16 * kMegabyte;
constexpr int64_t kSystemReserve = 8 * kMegabyte;
int64_t gMaxMemory = kDefaultMaxMemory;

// Uninitialises entries first-1 down to 0 of a group.
void Uninitialize(ModuleDescriptor* group, int first) {
  for (int i = first - 1; i >= 0; i--)
    if (group[i].uninitialize) group[i].uninitialize();
}

int InitializeGroup(int g) {
  gGroupInitialized[g] = 0;
  for (int i = 0; i < kModuleGroupSize; i++) {
    ModuleDescriptor& d = gDescriptors[g][i];
    std::memset(&d, 0, sizeof d);
    d.initialize = gTable[g][i].initialize;
    if (d.initialize && d.initialize(gServices, &d) != 0) {
      Uninitialize(gDescriptors[g], i);
      return 1;
    }
  }
  gGroupInitialized[g] = 1;
  return 0;
}

int StartGroup(int g, int skip) {
  for (int i = 0; i < kModuleGroupSize; i++) {
    if (i == skip) continue;
    ModuleDescriptor& d = gDescriptors[g][i];
    if (d.startup && d.startup() != 0) {
      for (int j = i - 1; j >= 0; j--)
        if (j != skip && gDescriptors[g][j].shutdown) gDescriptors[g][j].shutdown();
      return 1;
    }
  }
  return 0;
}

void ShutdownGroup(int g, int skip) {
  for (int i = kModuleGroupSize - 1; i >= 0; i--)
    if (i != skip && gDescriptors[g][i].shutdown) gDescriptors[g][i].shutdown();
}

void SetBudgets() {
  drevMainCalls& calls = drevMain_Calls();
  const int64_t physical = static_cast<int64_t>(calls.physicalMemory());
  if (physical > kSmallMachine) {
    static const int kConfig[12] = {88000,  44000, 88000, 440000, 44000,  352000,
                                    200000, 1,     48000, 2,      300000, 9};
    calls.soundsSetConfig(kConfig);
    const int64_t available = physical - kSystemReserve;
    calls.resourceSetBudget(gMaxMemory < available ? gMaxMemory : available, 0);
  } else {
    static const int kConfig[12] = {88000,  44000, 88000, 440000, 44000,  352000,
                                    100000, 1,     44100, 2,      300000, 6};
    calls.soundsSetConfig(kConfig);
    calls.resourceSetBudget(10 * kMegabyte, 0);
  }
}

}  // namespace

int drevMain_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  gServices = services;
  if (descriptor) {
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->initialize = drevMain_Initialize;
    descriptor->uninitialize = drevMain_Uninitialize;
    descriptor->startup = drevMain_Startup;
    descriptor->shutdown = drevMain_Shutdown;
  }
  gInitialized = 0;
  if (InitializeGroup(0) != 0) return 1;
  // When group B fails, group A stays initialised; uninitialise still undoes it.
  if (InitializeGroup(1) != 0) return 1;
  gInitialized = 1;
  return 0;
}

void drevMain_Uninitialize(void) {
  gServices = nullptr;
  for (int g = 1; g >= 0; g--) {
    if (!gGroupInitialized[g]) continue;
    Uninitialize(gDescriptors[g], kModuleGroupSize);
    gGroupInitialized[g] = 0;
  }
  gInitialized = 0;
}

int drevMain_Startup(void) {
  if (gStarted) return 1;
  if (StartGroup(0, -1) != 0) return 1;
  SetBudgets();
  if (StartGroup(1, -1) != 0) {
    // Group A was started: take it out of service again so that nothing is
    // left running after a failed start-up.
    ShutdownGroup(0, -1);
    return 1;
  }
  gStarted = 1;
  return 0;
}

void drevMain_Shutdown(void) {
  if (!gStarted) return;
  // A save still being written completes before anything goes down.
  drevMain_JoinDiskThread();
  ShutdownGroup(1, -1);
  ShutdownGroup(0, -1);
  gStarted = 0;
}

void drevMain_SetMaxMemory(int megabytes) {
  if (megabytes <= 0) return;
  gMaxMemory = static_cast<int64_t>(megabytes) * kMegabyte;
}
int64_t drevMain_GetMaxMemory(void) {
  return gMaxMemory;
}

void drevMain_RestartNewGame(void) {
  drevMainCalls& calls = drevMain_Calls();
  drevMain_newGameRequest.store(0, std::memory_order_release);
  calls.renderSetWaitTimerEnabled(0);
  calls.melosStopAllSounds();
  calls.tolveStop();
  calls.tolveUpdate();
  calls.resourceFreeAll();
  calls.forgetShadowMaterial();
  calls.resourceSetRestoring(1);
  calls.luaCollectGarbage();
  // Every module but the resource binding goes through shutdown and startup:
  // its type handlers, budget and scanned archives stay in service.
  ShutdownGroup(1, -1);
  ShutdownGroup(0, kResourceModuleIndex);
  calls.resourcesReleased();
  for (int g = 0; g < 2; g++) {
    for (int i = 0; i < kModuleGroupSize; i++) {
      if (g == 0 && i == kResourceModuleIndex) continue;
      ModuleDescriptor& d = gDescriptors[g][i];
      if (d.startup && d.startup() != 0)
        kv_Log_Printf("[Engine] - restart: %s failed to start", gTable[g][i].name);
    }
  }
  calls.resourceSetRestoring(0);
  calls.renderSetWaitTimerEnabled(1);
  calls.luaRunSystemScript();
  calls.luaCallGlobal("BOOT", nullptr);
}

int drevMain_IsInitialized(void) {
  return gInitialized;
}
int drevMain_IsStarted(void) {
  return gStarted;
}
HostServices* drevMain_GetServices(void) {
  return gServices;
}

const ModuleTableEntry* drevMain_GetModuleTable(int group) {
  return gTable[group ? 1 : 0];
}
ModuleDescriptor* drevMain_GetModuleDescriptor(int group, int index) {
  if (group < 0 || group > 1 || index < 0 || index >= kModuleGroupSize) return nullptr;
  return &gDescriptors[group][index];
}
void drevMain_SetModuleTables(const ModuleTableEntry* groupA, const ModuleTableEntry* groupB) {
  gTable[0] = groupA ? groupA : kGroupA;
  gTable[1] = groupB ? groupB : kGroupB;
}
