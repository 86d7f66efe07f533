// Loader of the optional debug-output library.
#include "engine/SpewLib.h"

#include <dlfcn.h>

#include "platform/kv_Platform.h"

namespace {

void* gLibrary = nullptr;
bool gTried = false;
void (*gStartup)(void) = nullptr;
void (*gShutdown)(void) = nullptr;

}  // namespace

void SpewLib_Start(void) {
  if (!gTried) {
    gTried = true;
    gLibrary = kv_Platform_OpenLibrary("libspew.so");
    if (gLibrary) {
      gStartup = reinterpret_cast<void (*)(void)>(dlsym(gLibrary, "Spew_Startup"));
      gShutdown = reinterpret_cast<void (*)(void)>(dlsym(gLibrary, "Spew_Shutdown"));
    }
  }
  if (gLibrary && gStartup) gStartup();
}

int SpewLib_Stop(void) {
  if (!gLibrary) return 0;
  if (gShutdown) gShutdown();
  const int result = dlclose(gLibrary);
  gLibrary = nullptr;
  gStartup = nullptr;
  gShutdown = nullptr;
  return result;
}

int SpewLib_IsLoaded(void) {
  return gLibrary != nullptr;
}
