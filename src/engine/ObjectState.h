// Object states: changeable pieces of a pre-rendered background (a door that
// opens, a lamp that is lit).
//
// A state belongs to one camera setup of a set and has two image parts: the
// state image, a "BKND" bitmap whose frames are the object's states, and an
// optional z-image with the matching depth frames. Which frame shows is the
// bitmap resource's own current frame; frame -1 means "not shown", and the
// part then draws back the clean background it saved. Kinds 1 and 2 are
// drawn every frame (before and after the actors), kind 3 is baked into the
// setup's clean background and depth copies.
//
// The setup's list is doubly linked; its head is drawn first. Each state
// keeps its set and setup, so it can always be unlinked from its own list.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/Res.h"

struct DisplayBuffer;
struct Room;

// One image part of a state.
struct ObjectStateImage {
  int32_t x, y, width, height;  // placement, set when the bitmap is bound
  char bitmapName[32];          // empty = no such part
  ResourceRef bitmapRef;
  DisplayBuffer* savedBackground;  // clean background under the placement
  int32_t currentIndex;            // frame drawn last; -1 none or off
  int32_t drawFlag;
};

struct ObjectState {
  int32_t kind;        // 1, 2 every frame (before, after the actors), 3 baked
  int32_t setupIndex;  // -1 until created in a setup
  ObjectStateImage stateImage;
  ObjectStateImage zImage;
  ObjectState* prev;  // toward the head
  ObjectState* next;  // toward the tail
  Room* room;         // the set whose setup list holds the state
};

// A new state at the head of the setup's list of the current set; null when
// there is no current set, no such setup, or no memory. A negative draw flag
// means the default: 1 for kind 3, else 0.
ObjectState* ObjectState_Create(int setupIndex, int kind, const char* bitmapName,
                                const char* zBitmapName, int drawFlag);
// Unlinks the state from its own list and deletes it; null is ignored.
void ObjectState_Free(ObjectState* state);
// Both answer the list's new head, which the caller stores.
ObjectState* ObjectState_SendToBack(ObjectState* state, ObjectState* head);
ObjectState* ObjectState_SendToFront(ObjectState* state, ObjectState* head);
void ObjectState_LoadImages(ObjectState* state);
void ObjectState_Prepare(ObjectState* state, DisplayBuffer* cleanBackground,
                         DisplayBuffer* cleanDepth);
void ObjectState_Draw(ObjectState* state, int kind, DisplayBuffer* target,
                      DisplayBuffer* depthTarget);
void ObjectState_SetDrawFlag(ObjectState* state, int flag);
void ObjectState_ReleaseImages(ObjectState* state);
