// The text module's "TEXS" block: any bytes given to drevText_Restore. A
// block that restores is drawn through a pass, read as the hardware renderer
// reads it and saved again.
#include <cstdint>

#include "actors/drevActor.h"
#include "presentation/drevText.h"
#include "save_fuzz_host.h"
#include "script/drevLua.h"
#include "std/std.h"

namespace {

int Discard(void*, size_t) {
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    static ModuleDescriptor lua, actors, text;
    drevLua_Initialize(&hs, &lua);
    lua.startup();
    drevActor_Initialize(&hs, &actors);
    actors.startup();
    drevActor_New(0, 0);
    drevText_Initialize(&hs, &text);
    text.startup();
    ready = true;
  }
  save_fuzz::Serve(data, size);
  if (drevText_Restore(save_fuzz::Read) == 0) {
    for (TextObject* o = drevText_First(); o; o = o->next) {
      drevText_GetTextObjectDrawInfo(o, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
      drevText_LockOverlayBuffer();
      drevText_PointCanvasAt(drevText_GetOverlayBuffer());
      drevText_DrawTextObject(o, 0);
      drevText_ResetCanvas();
      drevText_UnlockOverlayBuffer();
    }
    drevText_DrawPass(1, 0);
    drevText_Save(Discard);
  }
  return 0;
}
