// Actor chores: the chore slot lookup through the costume stack, faded play
// and stop, the walk, turn and rest chore setters and the per-frame motion
// chore switch (walk before turn before rest).
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"

namespace {

// Chore status bits of the chore library.
constexpr int kChorePlaying = 1;
constexpr int kChoreLooping = 2;
constexpr int kChoreClocked = 4;

// Head start of a chore started by the motion switch, and of a walk chore
// swapped in while the old one played.
constexpr int kMotionHeadStart = 70;
constexpr int kSwapHeadStart = 100;

int Status(const CostumeNode* node, int chore) {
  return chore >= 0 ? Cos_InstChoreStatus(node->instance, chore) : 0;
}

// Starts the new chore of a slot on the node that played the old one, as the
// old one played: its loop flag, and clocked by the costume when it was.
void StartLike(const CostumeNode* node, int chore, int oldStatus) {
  Cos_InstPlayChore(node->instance, chore, (oldStatus & kChoreLooping) ? 1 : 0,
                    (oldStatus & kChoreClocked) ? 0 : 1);
}

// The walk and rest setters: the walk chore fades, the rest chore does not.
void SetMotionChore(Actor* actor, int slot, int chore, CostumeNode* target) {
  if (!actor) return;
  if (!target) target = actor->costumeTop;
  int old = -1;
  CostumeNode* holder = drevActor_FindChore(actor, slot, &old);
  if (!holder) {
    if (target) *drevActor_ChoreSlot(target, slot) = chore;
    return;
  }
  if (chore == old) return;
  const int status = Status(holder, old);
  const int fade = drevActor_State().walkFadeTime;
  if (status) {
    if (slot == kActorChoreWalk) {
      drevActor_StopChoreFaded(holder->instance, old, fade);
    } else {
      Cos_InstStopChore(holder->instance, old);
    }
    if (chore != -1) {
      StartLike(holder, chore, status);
      if (slot == kActorChoreWalk) {
        Cos_InstUpdateChore(holder->instance, chore, kSwapHeadStart);
        drevCostume_FadeInChore(holder->instance, chore, fade);
      }
    }
  }
  *drevActor_ChoreSlot(holder, slot) = -1;
  if (target) *drevActor_ChoreSlot(target, slot) = chore;
}

// One side of the motion switch: plays the chore while it is wanted and
// stops it when it is not.
void Follow(const CostumeNode* node, int chore, bool wanted, Actor* actor) {
  if (!node || chore < 0) return;
  const int status = Status(node, chore);
  const int fade = drevActor_State().walkFadeTime;
  if (wanted && !(status & kChorePlaying)) {
    actor->pExtra->resting = 0;
    drevActor_PlayChoreFaded(node->instance, chore, fade);
  } else if (!wanted && (status & kChorePlaying)) {
    drevActor_StopChoreFaded(node->instance, chore, fade);
  }
}

}  // namespace

int32_t* drevActor_ChoreSlot(CostumeNode* node, int slot) {
  switch (slot) {
    case kActorChoreWalk:
      return &node->walkChore;
    case kActorChoreTurnFirst:
      return &node->turnChores[0];
    case kActorChoreTurnSecond:
      return &node->turnChores[1];
    case kActorChoreRest:
      return &node->restChore;
    case kActorChoreMumble:
      return &node->mumbleChore;
    default:
      break;
  }
  const int talk = slot - kActorChoreTalk(1);
  if (talk < 0 || talk >= kCostumeTalkChores) {
    drevActor_Assert("bad chore slot", __LINE__);
    return &node->walkChore;
  }
  return &node->talkChores[talk];
}

CostumeNode* drevActor_FindChore(const Actor* actor, int slot, int* chore) {
  if (chore) *chore = -1;
  const CostumeNode* top = actor ? actor->costumeTop : nullptr;
  if (!top) return nullptr;
  for (CostumeNode* n = actor->costumeTop; n && n->mainModel == top->mainModel; n = n->next) {
    const int32_t value = *drevActor_ChoreSlot(n, slot);
    if (value >= 0) {
      if (chore) *chore = value;
      return n;
    }
  }
  return nullptr;
}

void drevActor_PlayChoreFaded(CosInstHandle instance, int chore, int fadeMs) {
  Cos_InstPlayChore(instance, chore, 1, 0);
  Cos_InstUpdateChore(instance, chore, kMotionHeadStart);
  drevCostume_FadeInChore(instance, chore, fadeMs);
}

void drevActor_StopChoreFaded(CosInstHandle instance, int chore, int fadeMs) {
  if (chore == -1) {
    const int count = Cos_InstCountChores(instance);
    for (int c = 0; c < count; ++c) drevActor_StopChoreFaded(instance, c, fadeMs);
    return;
  }
  drevCostume_FadeOutChore(instance, chore, fadeMs);
  Cos_InstStopChore(instance, chore);
}

void drevActor_SetWalkChore(Actor* actor, int chore, CostumeNode* target) {
  SetMotionChore(actor, kActorChoreWalk, chore, target);
}

void drevActor_SetRestChore(Actor* actor, int chore, CostumeNode* target) {
  SetMotionChore(actor, kActorChoreRest, chore, target);
}

void drevActor_SetTurnChores(Actor* actor, int first, int second, CostumeNode* target) {
  if (!actor) return;
  if (!target) target = actor->costumeTop;
  CostumeNode* holder = drevActor_FindChore(actor, kActorChoreTurnFirst, nullptr);
  if (!holder) {
    if (target) {
      target->turnChores[0] = first;
      target->turnChores[1] = second;
    }
    return;
  }
  const int wanted[2] = {first, second};
  for (int side = 0; side < 2; ++side) {
    const int old = holder->turnChores[side];
    if (wanted[side] == old) {
      if (side == 0) continue;
      return;
    }
    const int status = Status(holder, old);
    if (status) {
      Cos_InstStopChore(holder->instance, old);
      if (wanted[side] != -1) StartLike(holder, wanted[side], status);
    }
    holder->turnChores[side] = -1;
    if (target) target->turnChores[side] = wanted[side];
  }
}

void drevActor_SetWalkFadeTime(int milliseconds) {
  drevActor_State().walkFadeTime = milliseconds;
}

void drevActor_UpdateMotionChores(Actor* actor) {
  if (!actor || !actor->pExtra) return;
  ActorExtra* x = actor->pExtra;
  if (actor->costumeTop) {
    const int fade = drevActor_State().walkFadeTime;
    // Walking.
    int walk = -1;
    if (const CostumeNode* n = drevActor_FindChore(actor, kActorChoreWalk, &walk)) {
      const int status = Status(n, walk);
      if (x->walkRequested && !(status & kChorePlaying)) {
        x->resting = 0;
        drevActor_PlayChoreFaded(n->instance, walk, fade);
      } else if (!x->walkRequested && (status & kChorePlaying) && !(actor->state & ACTOR_MOVING)) {
        drevActor_StopChoreFaded(n->instance, walk, fade);
      }
    }
    // Walking takes precedence over turning.
    if (x->walkRequested) x->turnRequested = 0;
    // Turning: the first turn chore turns one way (+1), the second the other.
    int first = -1;
    if (const CostumeNode* n = drevActor_FindChore(actor, kActorChoreTurnFirst, &first)) {
      Follow(n, first, x->turnRequested == 1, actor);
      Follow(n, n->turnChores[1], x->turnRequested == -1, actor);
    }
    if (!x->walkRequested && !x->turnRequested) x->resting = 1;
    // Resting.
    int rest = -1;
    if (const CostumeNode* n = drevActor_FindChore(actor, kActorChoreRest, &rest)) {
      const int status = Status(n, rest);
      if (x->resting && !(status & kChorePlaying)) {
        drevActor_PlayChoreFaded(n->instance, rest, fade);
      } else if (!x->resting && status) {
        drevActor_StopChoreFaded(n->instance, rest, fade);
      }
    }
  } else if (!x->walkRequested && !x->turnRequested) {
    x->resting = 1;
  }
  // The requests last one frame; an actor without a costume drops them too,
  // so a single request never moves it for good.
  x->walkRequested = 0;
  x->turnRequested = 0;
}
