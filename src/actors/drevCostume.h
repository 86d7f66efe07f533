// The costume module: binds the chore library's component tags to the 3D library.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/Res.h"
#include "engine/drevMain.h"

struct qxThing;
struct qxSprite;
struct qxColormap;
struct qxMatrix34;

int drevCostume_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// The shadow material that costume drawing loads once from "shadow.mat".
extern void* drevCostume_pShadowMaterial;

// A model or sprite of a costume instance, as costume nodes list them.
// Not built yet: the costume stack that makes these records.
struct CostumeThingData {
  ResourceRef rModel;
  qxSprite* sprite;
  int32_t visible;
  int32_t resolveParentOffset;
  qxThing* thing;
  CostumeThingData* parentRecord;
  int32_t parentNode;
  qxColormap* colormap;
  int32_t refCount;
  ResourceRef rTracks[6];
  int32_t instance;
  CostumeThingData* next;
};

// One costume on an actor's costume stack (the fields other modules read).
struct CostumeNode {
  int32_t instance;
  qxThing* mainModel;
  CostumeThingData* attached;
  CostumeNode* next;
};

// Draws the node's costume at the placement. Not built yet: draws nothing
// (logs once).
void drevCostume_Draw(CostumeNode* top, const qxMatrix34* placement);
