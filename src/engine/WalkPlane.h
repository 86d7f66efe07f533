// Walk sectors of the sets. Not built yet: a placeholder. No sector list
// exists: the "sectors" section of a set file is skipped, every list is
// empty, and walk frames never find a sector.
#pragma once

#include <cstdint>

#include "std/std.h"

struct Sector {
  char name[32];
  int32_t id;
  uint32_t type;
  int32_t visible;
  int32_t enabled;
  float height;
  Sector* prev;
  Sector* next;
};

struct WalkFrame {
  Sector* sector;
};

// Skips the "sectors" section of the set file open in the configuration
// reader; answers the name of the section that follows, or null at the end.
const char* WalkPlane_ReadSectors(const char* setName);
void WalkPlane_WriteSectors(stdFile_t file);
void WalkPlane_SelectSetSectors(const char* setName);
void WalkPlane_FreeSetSectors(const char* setName);
// The head of the current list: always none.
Sector* WalkPlane_GetSectors(void);
void Sector_SetType(Sector* sector, uint32_t type);
void WalkFrame_AttachToSector(WalkFrame* frame);
