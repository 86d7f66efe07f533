// Walk sectors. Not built yet (placeholder): no sector list exists.
#include "engine/WalkPlane.h"

#include <cstdio>
#include <string>

#include "platform/kv_Log.h"
#include "std/stdConffile.h"

namespace {
std::string g_nextSection;
}  // namespace

const char* WalkPlane_ReadSectors(const char*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[WalkPlane] - sectors: not built yet, the section is skipped");
  }
  while (stdConffile_NextLine()) {
    char name[kConffileLineSize];
    if (std::sscanf(stdConffile_line, " section: %1023s", name) == 1) {
      g_nextSection = name;
      return g_nextSection.c_str();
    }
  }
  return nullptr;
}

void WalkPlane_WriteSectors(stdFile_t) {}
void WalkPlane_SelectSetSectors(const char*) {}
void WalkPlane_FreeSetSectors(const char*) {}
Sector* WalkPlane_GetSectors(void) {
  return nullptr;
}
void Sector_SetType(Sector* sector, uint32_t type) {
  if (sector) sector->type = type;
}
void WalkFrame_AttachToSector(WalkFrame*) {}
