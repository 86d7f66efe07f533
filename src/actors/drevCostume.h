// The costume module: binds the chore library's component tags to the 3D
// library and keeps every actor's costume stack.
//
// Not built yet: the module's initialise function answers 0 and fills no
// operation, so the registry skips the module. The records below are the
// ones the actor module reads; the stack operations are placeholders that
// log "not built yet" once and do nothing.
#pragma once

#include <cstdint>

#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "quadrix/qxMatrix.h"

struct ShadowSlot;
struct qxColormap;
struct qxSprite;
struct qxThing;

constexpr int kCostumeTalkChores = 16;

// A model or sprite of a costume instance ('MMDL', 'MODL', 'sprt'); the
// records a costume node draws, linked through `next`.
struct CostumeThingData {
  ResourceRef rModel;
  qxSprite* sprite;
  int32_t visible;
  int32_t resolveParentOffset;
  qxThing* thing;
  CostumeThingData* parentRecord;  // the model this one hangs from, null for a root
  int32_t parentNode;              // node of that parent model, -1 for a root
  qxColormap* colormap;
  int32_t refCount;
  ResourceRef rTracks[6];
  CosInstHandle instance;
  CostumeThingData* next;
};

// One costume on an actor's stack: its instance plus the actor's head and
// chore settings for it.
struct CostumeNode {
  CosInstHandle instance;
  qxThing* mainModel;  // thing of the instance's first 'MMDL' component
  CostumeThingData* attached;
  int32_t headJoints[3];  // model node indexes, -1 none
  float lookRate;         // degrees per second
  float headLimitA;       // pitch limit, degrees
  float headLimitB;       // yaw limit, degrees
  float viewConeCos;      // cosine of half the view cone
  int32_t walkChore;
  int32_t turnChores[2];
  int32_t restChore;
  int32_t talkChores[kCostumeTalkChores];
  int32_t mumbleChore;
  ResourceRef rCostume;  // its object is the CosCostumeHandle
  CostumeNode* next;     // the node below
};

int drevCostume_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// The shadow material that costume drawing loads once from "shadow.mat".
extern void* drevCostume_pShadowMaterial;

// ---- Costume stack (not built yet) ------------------------------------------------

CostumeNode* drevCostume_PushNode(CostumeNode* below, CosCostumeHandle costume,
                                  CosInstHandle instance);
CostumeNode* drevCostume_PopNode(CostumeNode* top, int freeInstance);
CostumeNode* drevCostume_ReplaceNode(CostumeNode* top, CosCostumeHandle costume,
                                     CosInstHandle instance);
void drevCostume_FreeNodes(CostumeNode* node, int freeInstance);
void drevCostume_ResetInstance(CosInstHandle instance);
void drevCostume_UpdateChores(CostumeNode* top, float seconds);
void drevCostume_Draw(CostumeNode* top, const qxMatrix34* placement);
void drevCostume_DrawShadow(CostumeNode* top, const ShadowSlot* shadow);
qxColormap* drevCostume_SetShadowColor(int red, int green, int blue);
