// The whole load path of a saved game: any bytes as the uncompressed game
// state, compressed into a slot's file as a save does, then read by the load
// thread and deserialised by the frame with its checks and rollback. The
// actor block and the scripting runtime's state are read by the real
// modules; the other modules keep no state here (their blocks are empty).
#include <SDL.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "actors/drevActor.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "platform/kv_Save.h"
#include "script/drevLua.h"
#include "std/std.h"

namespace {

int NoSlots(HostServices*, ModuleDescriptor*) {
  return 0;
}

constexpr ModuleTableEntry kEmpty = {NoSlots, "empty"};
const ModuleTableEntry kGroupA[kModuleGroupSize] = {
    kEmpty, kEmpty, kEmpty, kEmpty, kEmpty, kEmpty, {drevActor_Initialize, "actors"},
    kEmpty, kEmpty};
const ModuleTableEntry kGroupB[kModuleGroupSize] = {kEmpty, kEmpty, kEmpty, kEmpty, kEmpty,
                                                    kEmpty, kEmpty, kEmpty, kEmpty};

void Setup(HostServices* hs) {
  HostServices_CopyDefaults(hs);
  std_DefaultServices(hs);
  std_Startup(hs);
  SDL_Init(0);
  static ModuleDescriptor lua;
  drevLua_Initialize(hs, &lua);
  lua.startup();
  drevMain_SetModuleTables(kGroupA, kGroupB);
  drevMain_Initialize(hs, nullptr);
  drevActor_Startup();
  drevMainCalls& c = drevMain_Calls();
  c.renderSetWaitTimerEnabled = [](int) {};
  c.renderDrawProgressBar = [](float) {};
  c.melosStopAllSounds = [] {};
  c.tolveStop = [] {};
  c.tolveUpdate = [] { return 0; };
  c.resourceFreeAll = [] {};
  c.forgetShadowMaterial = [] {};
  c.resourceSetRestoring = [](int) {};
  c.resourcesReleased = [] {};
  c.roomGetCurrent = []() -> Room* { return nullptr; };
  c.renderPrepareSetup = [](Room*, int) {};
  c.renderInvalidateRectAllBuffers = [](const int*, int) {};
  c.overlaySetVirtualScreenAspect = [](float) {};
  c.luaCallGlobal = [](const char*, const char*) {};
  c.luaDoFile = [](const char*) { return 0; };
  c.cosSave = [](SaveTransferFn) { return 0; };
  c.cosRestore = [](SaveTransferFn) { return 0; };
  c.luaRunSystemScript = [] { return 1; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    Setup(&hs);
    ready = true;
  }
  if (!data || size > kSaveBufferSize) return 0;
  std::vector<uint8_t> packed(compressBound(size));
  uLongf packedSize = packed.size();
  if (compress(packed.data(), &packedSize, data, size) != Z_OK ||
      packedSize > kSaveCompressedSize) {
    return 0;
  }
  if (kv_Save_WriteSlot(1, packed.data(), static_cast<uint32_t>(packedSize), "fuzz", 0, "") != 0) {
    return 0;
  }
  drevMain_RequestLoad(1, 0);
  // The frame's dispatch until the load has finished (the load thread reads
  // the slot meanwhile).
  for (;;) {
    drevMain_SaveDispatch();
    if (drevMain_saveIoState.load() == kSaveIoIdle && !drevMain_loadRequest.load()) break;
    SDL_Delay(1);
  }
  drevMain_SaveDispatch();
  drevMain_newGameRequest.store(0);
  // The load thread has ended; it is joined, as the engine's shutdown would.
  drevMain_JoinDiskThread();
  return 0;
}
