// Loader of the optional debug-output library.
#include "engine/SpewLib.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>

namespace {

void* gLibrary = nullptr;
bool gTried = false;
void (*gStartup)(void) = nullptr;
void (*gShutdown)(void) = nullptr;

std::string BesideProgram(const char* name) {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return name;
  exe[n] = '\0';
  std::string path(exe);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(name) : path.substr(0, slash + 1) + name;
}

}  // namespace

void SpewLib_Start(void) {
  if (!gTried) {
    gTried = true;
    gLibrary = dlopen(BesideProgram("libspew.so").c_str(), RTLD_NOW | RTLD_LOCAL);
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
