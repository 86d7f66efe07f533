// The actors' "ACTS" save block: any bytes given to drevActor_Restore. A
// block that restores is saved again.
#include <cstdint>

#include "actors/drevActor.h"
#include "save_fuzz_host.h"
#include "std/std.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    static ModuleDescriptor actors;
    drevActor_Initialize(&hs, &actors);
    actors.startup();
    ready = true;
  }
  save_fuzz::Serve(data, data ? size : 0);
  if (drevActor_Restore(save_fuzz::Read) == 0) {
    save_fuzz::g_written.clear();
    drevActor_Save(save_fuzz::Write);
  }
  return 0;
}
