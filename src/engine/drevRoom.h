// Sets: the set record, the set module and set switching.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

// The leading fields of a set record that the engine core reads; the rest of
// the record is not built yet.
struct Actor;

// The actors placed in one set name, newest first.
struct RosterNode {
  uint32_t actor;  // actor index
  RosterNode* prev;
  RosterNode* next;
};

struct Room {
  char name[256];
  void* apColormaps;
  uint32_t numColormaps;
  uint32_t currentColormap;
  char colormapName[32];
  void* setups;
  uint32_t numSetups;
  uint32_t currentSetup;
};

int drevRoom_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevRoom_MakeCurrent(Room* room, const char* name);
Room* drevRoom_GetCurrent(void);
void drevRoom_SetSoundParameters(Room* room, float range, int minVolume, int maxVolume,
                                 float panFactor, float nearDistance);
void drevRoom_UpdatePositionalSounds(void);

// Rosters. Not built yet: no set has actors (none, and nothing is removed).
void drevRoom_RemoveActorFromSet(const char* setName, Actor* actor);
RosterNode* drevRoom_GetSetActors(const char* setName);
