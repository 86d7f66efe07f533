// Object states: list operations, image binding, preparation and drawing.
#include "engine/ObjectState.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "engine/drevRoom_Internal.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"

namespace {

Bitmap* BitmapOf(const ObjectStateImage& part) {
  return part.bitmapRef.valid ? static_cast<Bitmap*>(part.bitmapRef.object) : nullptr;
}

void ResetPart(ObjectStateImage* part) {
  std::memset(part, 0, sizeof *part);
  part->currentIndex = -1;
}

void FreeSaved(ObjectStateImage* part) {
  stdDisplay_FreeBuffer(part->savedBackground);
  part->savedBackground = nullptr;
}

void BindPart(ObjectStateImage* part) {
  if (!part->bitmapName[0]) {
    Res_ReleaseRef(&part->bitmapRef);
    FreeSaved(part);
    return;
  }
  if (part->bitmapRef.valid) return;
  auto* bitmap = static_cast<Bitmap*>(drevResource_Get("BKND", part->bitmapName));
  if (!bitmap) return;
  RES_ADDREF(&part->bitmapRef, bitmap);
  part->x = bitmap->xOffset;
  part->y = bitmap->yOffset;
  const DisplayBuffer* first =
      bitmap->frames && bitmap->frameCount > 0 ? bitmap->frames[0] : nullptr;
  part->width = first ? first->format.width : 0;
  part->height = first ? first->format.height : 0;
  // A new state starts hidden: the bitmap shows the part's index (-1).
  bitmap->currentFrame = part->currentIndex;
}

void MarkDirty(const ObjectStateImage& part, int flag) {
  const int rect[4] = {part.x, part.y, part.width, part.height};
  drevRoom_Calls().renderInvalidateRect(rect, flag);
}

// What a part draws now: its image, where, and with which flag.
struct PartImage {
  DisplayBuffer* image = nullptr;
  int x = 0;
  int y = 0;
  int flag = 0;
};

PartImage ImageOf(ObjectStateImage* part, DisplayBuffer* target) {
  PartImage out;
  Bitmap* bitmap = BitmapOf(*part);
  if (!part->bitmapName[0] || !target || !bitmap) return out;
  out.flag = part->drawFlag;
  part->currentIndex = bitmap->currentFrame;
  if (part->currentIndex == -1) out.flag = 0;
  if (part->currentIndex < 0) {
    out.image = part->savedBackground;
  } else if (bitmap->frames && bitmap->frameCount > 0) {
    if (part->currentIndex >= bitmap->frameCount) {
      part->currentIndex = bitmap->frameCount - 1;
      bitmap->currentFrame = part->currentIndex;
    }
    out.image = bitmap->frames[part->currentIndex];
  }
  if (out.image && out.image->storage == STDDISPLAY_PACKED) {
    drevRoom_Calls().renderPrepareBackground(out.image);
    out.image = drevRoom_Calls().renderDecompressionBuffer();
  }
  out.x = part->x;
  out.y = part->y;
  return out;
}

int Blit(const PartImage& a, DisplayBuffer* targetA, const PartImage& b, DisplayBuffer* targetB) {
  return kv_RenderHooks_BlitObjectStates(a.image, a.x, a.y, a.flag, targetA, 0, b.image, b.x, b.y,
                                         b.flag, targetB, 0);
}

void SavePart(ObjectStateImage* part, DisplayBuffer* target) {
  FreeSaved(part);
  Bitmap* bitmap = BitmapOf(*part);
  if (bitmap && target && bitmap->frames && bitmap->frameCount > 0 && bitmap->frames[0]) {
    BufferFormat format = bitmap->frames[0]->format;
    part->savedBackground = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
    if (part->savedBackground) {
      const stdRect rect = {part->x, part->y, part->width, part->height};
      kv_RenderHooks_Blit(part->savedBackground, part->savedBackground->surface, target,
                          target->surface, 0, 0, &rect, 0);
    }
  }
  part->currentIndex = -1;
}

}  // namespace

ObjectState* ObjectState_Create(int setupIndex, int kind, const char* bitmapName,
                                const char* zBitmapName, int drawFlag) {
  Room* room = drevRoom_GetCurrent();
  if (!room || !room->setups || setupIndex < 0 ||
      static_cast<uint32_t>(setupIndex) >= room->numSetups) {
    kv_Log_Printf("[ObjectState] - no setup %d in the current set", setupIndex);
    return nullptr;
  }
  auto* state = new (std::nothrow) ObjectState;
  if (!state) return nullptr;
  std::memset(state, 0, sizeof *state);
  ResetPart(&state->stateImage);
  ResetPart(&state->zImage);
  state->setupIndex = -1;
  state->kind = kind;
  Room_CopyName(state->stateImage.bitmapName, sizeof state->stateImage.bitmapName, bitmapName,
                "object-state image name");
  Room_CopyName(state->zImage.bitmapName, sizeof state->zImage.bitmapName, zBitmapName,
                "object-state depth image name");
  RoomSetup& setup = room->setups[setupIndex];
  state->next = setup.objectStates;
  if (setup.objectStates) setup.objectStates->prev = state;
  setup.objectStates = state;
  ObjectState_LoadImages(state);
  state->setupIndex = setupIndex;
  state->room = room;
  ObjectState_SetDrawFlag(state, drawFlag >= 0 ? drawFlag : (kind == 3 ? 1 : 0));
  return state;
}

void ObjectState_Free(ObjectState* state) {
  if (!state) return;
  Room* room = state->room;
  if (room && room->setups && state->setupIndex >= 0 &&
      static_cast<uint32_t>(state->setupIndex) < room->numSetups) {
    RoomSetup& setup = room->setups[state->setupIndex];
    if (setup.objectStates == state) setup.objectStates = state->next;
  }
  if (state->prev) state->prev->next = state->next;
  if (state->next) state->next->prev = state->prev;
  for (ObjectStateImage* part : {&state->stateImage, &state->zImage}) {
    Res_ReleaseRef(&part->bitmapRef);
    FreeSaved(part);
    part->bitmapName[0] = '\0';
    part->currentIndex = -1;
    part->drawFlag = 0;
  }
  delete state;
}

ObjectState* ObjectState_SendToBack(ObjectState* state, ObjectState* head) {
  if (!state || !head || state == head) return head;
  if (state->prev) state->prev->next = state->next;
  if (state->next) state->next->prev = state->prev;
  state->prev = nullptr;
  state->next = head;
  head->prev = state;
  return state;
}

ObjectState* ObjectState_SendToFront(ObjectState* state, ObjectState* head) {
  if (!state || !head) return head;
  if (state == head && !state->next) return head;
  ObjectState* newHead = head;
  if (state == head) {
    newHead = state->next;
    newHead->prev = nullptr;
  } else {
    if (state->prev) state->prev->next = state->next;
    if (state->next) state->next->prev = state->prev;
  }
  ObjectState* tail = newHead;
  while (tail->next) tail = tail->next;
  tail->next = state;
  state->prev = tail;
  state->next = nullptr;
  return newHead;
}

void ObjectState_LoadImages(ObjectState* state) {
  if (!state) return;
  BindPart(&state->stateImage);
  BindPart(&state->zImage);
}

void ObjectState_Prepare(ObjectState* state, DisplayBuffer* cleanBackground,
                         DisplayBuffer* cleanDepth) {
  if (!state || state->kind != 3) return;
  SavePart(&state->stateImage, cleanBackground);
  SavePart(&state->zImage, cleanDepth);
}

void ObjectState_Draw(ObjectState* state, int kind, DisplayBuffer* target,
                      DisplayBuffer* depthTarget) {
  if (!state || state->kind != kind) return;
  ObjectStateImage& image = state->stateImage;
  Bitmap* bitmap = BitmapOf(image);
  if (kind != 3) {
    // Shown before and off now: the rectangle gets its clean background back.
    if ((!bitmap || bitmap->currentFrame == -1) && image.currentIndex != -1) MarkDirty(image, 1);
    const PartImage a = ImageOf(&image, target);
    const PartImage b = ImageOf(&state->zImage, depthTarget);
    Blit(a, target, b, depthTarget);
    return;
  }
  if (!image.bitmapName[0] || (bitmap && bitmap->currentFrame == image.currentIndex)) return;
  Blit(ImageOf(&image, target), target, PartImage{}, nullptr);
  if (Bitmap* zBitmap = BitmapOf(state->zImage); zBitmap && depthTarget) {
    zBitmap->currentFrame = image.currentIndex;
    Blit(ImageOf(&state->zImage, depthTarget), depthTarget, PartImage{}, nullptr);
    MarkDirty(image, 1);
  } else {
    MarkDirty(image, 0);
  }
}

void ObjectState_SetDrawFlag(ObjectState* state, int flag) {
  if (!state) return;
  state->stateImage.drawFlag = flag;
  state->zImage.drawFlag = flag;
}

void ObjectState_ReleaseImages(ObjectState* state) {
  if (!state) return;
  for (ObjectStateImage* part : {&state->stateImage, &state->zImage}) {
    Res_ReleaseRef(&part->bitmapRef);
    FreeSaved(part);
  }
}
