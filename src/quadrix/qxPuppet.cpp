#include "quadrix/qxPuppet.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#include <emmintrin.h>
#endif

#include "platform/kv_Log.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxThing.h"
#include "std/stdMath.h"

namespace {

qxPuppetTrack* Track(qxPuppet* puppet, int track) {
  if (!puppet || track < 0 || track >= QXPUPPET_MAX_TRACKS) return nullptr;
  return &puppet->tracks[track];
}

int32_t Owner(const qxPuppet* puppet) {
  return puppet->thing ? puppet->thing->owner : 0;
}

const qxModel3* ThingModel(const qxThing* thing) {
  if (!thing || thing->type != QXTHING_MODEL) return nullptr;
  return static_cast<const qxModel3*>(thing->object);
}

int32_t ModelNodeCount(const qxPuppet* puppet) {
  const qxModel3* model = ThingModel(puppet->thing);
  return model && model->nodeCount > 0 ? model->nodeCount : 0;
}

// The stored entry index of node n, or null when the track keeps none for it.
int32_t* FrameIndex(qxPuppetTrack* t, int32_t n) {
  if (n < 0) return nullptr;
  if (n < QXPUPPET_INLINE_NODES) return &t->frameIndices[n];
  n -= QXPUPPET_INLINE_NODES;
  return n < t->moreFrameIndexCount ? &t->moreFrameIndices[n] : nullptr;
}

// Gives the track frame indices for every node of the model. When the
// allocation fails the nodes beyond the inline ones use their first entry.
void EnsureFrameIndices(qxPuppetTrack* t, int32_t nodeCount) {
  const int32_t more = nodeCount - QXPUPPET_INLINE_NODES;
  if (more <= t->moreFrameIndexCount) return;
  qxCore_Free(t->moreFrameIndices);
  t->moreFrameIndexCount = 0;
  t->moreFrameIndices = static_cast<int32_t*>(
      qxCore_Alloc(static_cast<size_t>(more) * sizeof(int32_t), "qxPuppet", __LINE__));
  if (!t->moreFrameIndices) {
    kv_Log_Printf("[Quadrix] - qxPuppet: no memory for the frame indices of %d nodes", nodeCount);
    return;
  }
  t->moreFrameIndexCount = more;
}

void ResetFrameIndices(qxPuppetTrack* t, int32_t nodeCount) {
  for (int32_t n = 0; n < nodeCount; ++n) {
    if (int32_t* index = FrameIndex(t, n)) *index = 0;
  }
}

void Clear(qxPuppetTrack* t) {
  t->status = 0;
  t->keyframe = nullptr;
  t->callback = nullptr;
  ++t->generation;
}

// The end of a track: its callback with 0, then the track is free. The
// callback runs before the clear; when it reused the track, the new use stays.
void EndTrack(qxPuppet* puppet, int track) {
  qxPuppetTrack* t = &puppet->tracks[track];
  const qxPuppetCallback callback = t->callback;
  const uint32_t generation = t->generation;
  t->callback = nullptr;  // a re-entrant removal must not call it again
  if (callback) callback(Owner(puppet), track, 0);
  if (t->generation == generation) Clear(t);
}

void FadeRate(qxPuppetTrack* t, float seconds) {
  t->fadeRate = seconds > 0.0f ? 1.0f / seconds : 1.0f;
}

// One accumulation level of the blend.
struct Level {
  int32_t priority = 0;
  float weight = 0.0f;
  qxVector3 position = {0, 0, 0};
  qxVector3 angles = {0, 0, 0};
};

qxVector3 Plus(const qxVector3& a, const qxVector3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
qxVector3 Minus(const qxVector3& a, const qxVector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
qxVector3 Times(const qxVector3& a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
// The three angles wrapped into (-180, 180] as stdMath_NormalizeAngleSigned
// wraps them, with the same operations, in SSE lanes without branches: the
// angles of a blend fall either side of the circle's ends from node to node.
// For a non-negative angle x it is x - 360 floor(x / 360) (x itself below
// 360), for a negative one 360 less that of -x; 360, and what is not finite,
// give 0.
qxVector3 SignedAngles(const qxVector3& a) {
#if defined(__SSE2__)
  const __m128 x = _mm_setr_ps(a.x, a.y, a.z, 0.0f);
  const __m128 full = _mm_set1_ps(360.0f), zero = _mm_setzero_ps();
  const __m128 negative = _mm_cmplt_ps(x, zero);  // false for -0 and NaN, as x >= 0 is true
  const __m128 m = _mm_or_ps(_mm_andnot_ps(negative, x), _mm_and_ps(negative, _mm_sub_ps(zero, x)));
  // floor(m / 360) as stdMath_FloorPositive takes it (truncated below 2^23,
  // kept from there on); 0 without the division when every lane is within a
  // turn, as a blend's angles nearly always are.
  __m128 whole = zero;
  if (_mm_movemask_ps(_mm_cmplt_ps(m, full)) != 0xF) {
    const __m128 q = _mm_div_ps(m, full);
    const __m128 small = _mm_cmplt_ps(q, _mm_set1_ps(8388608.0f));
    whole = _mm_or_ps(_mm_and_ps(small, _mm_cvtepi32_ps(_mm_cvttps_epi32(q))),
                      _mm_andnot_ps(small, q));
  }
  const __m128 reduced = _mm_sub_ps(m, _mm_mul_ps(full, whole));
  __m128 r = _mm_or_ps(_mm_andnot_ps(negative, reduced),
                       _mm_and_ps(negative, _mm_sub_ps(full, reduced)));
  const __m128 inside = _mm_and_ps(_mm_cmpge_ps(r, zero), _mm_cmplt_ps(r, full));
  r = _mm_and_ps(r, inside);  // 360, NaN and whatever left the circle: 0
  r = _mm_sub_ps(r, _mm_and_ps(_mm_cmpgt_ps(r, _mm_set1_ps(180.0f)), full));
  alignas(16) float out[4];
  _mm_store_ps(out, r);
  return {out[0], out[1], out[2]};
#else
  return {stdMath_NormalizeAngleSigned(a.x), stdMath_NormalizeAngleSigned(a.y),
          stdMath_NormalizeAngleSigned(a.z)};
#endif
}

void AddTo(Level* level, const qxVector3& position, const qxVector3& angles, float weight) {
  level->position = Plus(level->position, position);
  level->angles = Plus(level->angles, angles);
  level->weight += weight;
}

void Scale(Level* level, float s) {
  level->position = Times(level->position, s);
  level->angles = Times(level->angles, s);
}

// Per keyframe node, moves the stored entry index forward to the entry that
// holds the track's current time.
void SearchEntries(qxPuppetTrack* t) {
  const qxKeyframe* kf = t->keyframe;
  for (int32_t j = 0; j < kf->nodeCount; ++j) {
    const qxKeyframeNode& kn = kf->nodes[j];
    if (kn.entryCount <= 0 || !kn.entries) continue;
    const int32_t* from = FrameIndex(t, kn.index);
    int32_t e = from ? *from : 0;
    if (e < 0 || e >= kn.entryCount) e = 0;
    while (e < kn.entryCount - 1 && kn.entries[e + 1].frame <= t->currentTime) ++e;
    if (int32_t* to = FrameIndex(t, j)) *to = e;
  }
}

// The local placement of model node n blended from the playing tracks.
void BlendNode(qxPuppet* puppet, const qxModel3Node& node, int32_t n, const qxVector3& angleOffset,
               qxMatrix34* out) {
  Level top, second;
  for (qxPuppetTrack& t : puppet->tracks) {
    const qxKeyframe* kf = t.keyframe;
    if (!kf || !(t.status & QXTRACK_PLAYING) || n >= kf->nodeCount) continue;
    const qxKeyframeNode& kn = kf->nodes[n];
    if (kn.entryCount <= 0 || !kn.entries) continue;
    const int32_t p = (kf->type & node.type) ? t.highPriority : t.lowPriority;
    if (p < second.priority || (p < top.priority && top.weight >= 1.0f)) continue;
    const int32_t* stored = FrameIndex(&t, n);
    int32_t e = stored ? *stored : 0;
    if (e < 0 || e >= kn.entryCount) e = 0;
    const qxKeyframeEntry& entry = kn.entries[e];
    const float dt = (kf->flags & QXKEYFRAME_HOLD) ? 0.0f : t.currentTime - entry.frame;
    qxVector3 position = entry.position, angles = entry.orientation;
    if (entry.flags & QXKEYFRAME_ENTRY_POSITION_RATE) {
      position = Plus(position, Times(entry.positionRate, dt));
    }
    if (entry.flags & QXKEYFRAME_ENTRY_ORIENTATION_RATE) {
      angles = Plus(angles, Times(entry.orientationRate, dt));
    }
    position = Minus(position, node.position);
    angles = SignedAngles(Minus(angles, node.angles));
    const float w = t.weight;
    if (w < 1.0f) {
      position = Times(position, w);
      angles = Times(angles, w);
    }
    if (p == top.priority) {
      AddTo(&top, position, angles, w);
    } else if (p > top.priority) {
      second = top;
      top = Level{p, w, position, angles};
    } else if (p > second.priority) {
      second = Level{p, w, position, angles};
    } else {  // p == second.priority
      AddTo(&second, position, angles, w);
    }
  }
  if (top.weight < 1.0f && second.weight > 0.0f) {
    if (second.weight > 1.0f) Scale(&second, 1.0f / second.weight);
    Scale(&second, 1.0f - top.weight);
    AddTo(&top, second.position, second.angles, 0.0f);
  } else if (top.weight > 1.0f) {
    Scale(&top, 1.0f / top.weight);
  }
  const qxVector3 angles = Plus(SignedAngles(top.angles), node.angles);
  const qxVector3 position = Plus(node.position, top.position);
  qxMatrix34_Build(out, &angles, &position);
  if (angleOffset.x != 0.0f || angleOffset.y != 0.0f || angleOffset.z != 0.0f) {
    qxMatrix34_PostRotate(out, &angleOffset);
  }
}

}  // namespace

qxPuppet* qxPuppet_New(qxThing* thing) {
  auto* puppet = static_cast<qxPuppet*>(qxCore_Alloc(sizeof(qxPuppet), "qxPuppet", __LINE__));
  if (!puppet) return nullptr;
  std::memset(puppet, 0, sizeof *puppet);
  qxPuppet_NewEntry(puppet, thing);
  if (thing) thing->puppet = puppet;
  return puppet;
}

int qxPuppet_NewEntry(qxPuppet* puppet, qxThing* thing) {
  puppet->disabled = 0;
  puppet->thing = thing;
  for (int i = 0; i < QXPUPPET_MAX_TRACKS; ++i) {
    qxPuppetTrack& t = puppet->tracks[i];
    t.currentTime = t.previousTime = 0.0f;
    if (t.callback) EndTrack(puppet, i);
    Clear(&t);
  }
  return 1;
}

void qxPuppet_Free(qxPuppet* puppet) {
  if (!puppet) return;
  for (qxPuppetTrack& t : puppet->tracks) qxCore_Free(t.moreFrameIndices);
  qxCore_Free(puppet);
}

int qxPuppet_AddTrack(qxPuppet* puppet, qxKeyframe* keyframe, int32_t lowPriority,
                      int32_t highPriority) {
  if (!puppet || !keyframe) return -1;
  int index = -1;
  // An eviction's callback may itself take tracks: look again after each one.
  for (int attempt = 0; index < 0 && attempt <= QXPUPPET_MAX_TRACKS; ++attempt) {
    for (int i = 0; i < QXPUPPET_MAX_TRACKS && index < 0; ++i) {
      if (puppet->tracks[i].status == 0) index = i;
    }
    if (index >= 0) break;
    int evict = -1;
    for (int i = 0; i < QXPUPPET_MAX_TRACKS && evict < 0; ++i) {
      const uint32_t s = puppet->tracks[i].status;
      if ((s & QXTRACK_FADE_OUT) && !(s & (QXTRACK_HOLD_AT_END | QXTRACK_KEEP_AFTER_FADE))) {
        evict = i;
      }
    }
    if (evict < 0) return -1;
    EndTrack(puppet, evict);
  }
  if (index < 0) return -1;
  qxPuppetTrack& t = puppet->tracks[index];
  const int32_t nodes = ModelNodeCount(puppet);
  t.status |= QXTRACK_IN_USE;
  t.rate = keyframe->rate;
  t.keyframe = keyframe;
  t.lowPriority = lowPriority;
  t.highPriority = highPriority;
  t.weight = 0.0f;
  EnsureFrameIndices(&t, nodes);
  ResetFrameIndices(&t, nodes);
  t.currentTime = t.previousTime = 0.0f;
  t.status = QXTRACK_IN_USE | QXTRACK_PLAYING;
  ++t.generation;
  return index;
}

int qxPuppet_RemoveTrack(qxPuppet* puppet, int track) {
  if (!Track(puppet, track)) return 0;
  EndTrack(puppet, track);
  return 1;
}

int qxPuppet_SetTrackFlags(qxPuppet* puppet, int track, uint32_t bits) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->status |= bits;
  return 1;
}

int qxPuppet_SetTrackCallback(qxPuppet* puppet, int track, qxPuppetCallback callback) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->callback = callback;
  return 1;
}

int qxPuppet_PlayTrack(qxPuppet* puppet, int track) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->weight = 1.0f;
  t->status = (t->status & ~uint32_t{QXTRACK_PAUSED}) | QXTRACK_PLAYING;
  return 1;
}

int qxPuppet_FadeInTrack(qxPuppet* puppet, int track, float seconds) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->status = (t->status & ~uint32_t{QXTRACK_FADE_OUT}) | QXTRACK_PLAYING | QXTRACK_FADE_IN;
  FadeRate(t, seconds);
  return 1;
}

int qxPuppet_FadeOutTrack(qxPuppet* puppet, int track, float seconds) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->status = (t->status & ~uint32_t{QXTRACK_FADE_IN}) | QXTRACK_FADE_OUT;
  FadeRate(t, seconds);
  return 1;
}

int qxPuppet_ResetTrack(qxPuppet* puppet, int track) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  const int32_t nodes = ModelNodeCount(puppet);
  EnsureFrameIndices(t, nodes);
  ResetFrameIndices(t, nodes);
  t->currentTime = t->previousTime = 0.0f;
  t->status = QXTRACK_IN_USE | QXTRACK_PLAYING;
  return 1;
}

int qxPuppet_SetTrackRate(qxPuppet* puppet, int track, float rate) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->rate = rate;
  return 1;
}

int qxPuppet_SetTrackPriorities(qxPuppet* puppet, int track, int32_t low, int32_t high) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->lowPriority = low;
  t->highPriority = high;
  return 1;
}

int qxPuppet_SetTrackSecondaryWeight(qxPuppet* puppet, int track, float value) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  t->secondaryWeight = value;
  if (value != 0.0f) {
    t->status |= QXTRACK_SECONDARY_WEIGHT;
  } else {
    t->status &= ~uint32_t{QXTRACK_SECONDARY_WEIGHT};
  }
  return 1;
}

int qxPuppet_AdvanceTrack(qxPuppet* puppet, int track, float frames) {
  qxPuppetTrack* t = Track(puppet, track);
  if (!t) return 0;
  qxKeyframe* kf = t->keyframe;
  if (!kf || frames == 0.0f) return 1;
  const uint32_t generation = t->generation;
  const float prev = t->previousTime;
  const float time = prev + frames;
  const float length = static_cast<float>(kf->frameCount);
  float cur = time;
  float wraps = 0.0f;
  bool stop = false;
  if (time >= length) {
    if (t->status & QXTRACK_STOP_AT_END) {
      cur = length;
      stop = true;
    } else if (t->status & QXTRACK_HOLD_AT_END) {
      cur = length;
      t->status |= QXTRACK_PAUSED;
    } else if (t->status & QXTRACK_FADE_AT_END) {
      cur = length;
      qxPuppet_FadeOutTrack(puppet, track, 0.25f);
      t->status |= QXTRACK_PAUSED;
    } else if (length <= 0.0f) {
      // Nothing to loop over: an empty keyframe holds at its end.
      cur = length;
      t->status |= QXTRACK_PAUSED;
    } else {
      wraps = std::floor(time / length);
      cur = time - length * wraps;
      ResetFrameIndices(t, ModelNodeCount(puppet));
    }
  }
  t->currentTime = cur;

  // Markers, in ascending frame order. A callback may change the track:
  // firing stops as soon as the track is no longer this use of it.
  const int markers = kf->markerCount < kKeyframeMaxMarkers ? kf->markerCount : kKeyframeMaxMarkers;
  for (int i = 0; i < markers && t->callback && t->generation == generation; ++i) {
    const float frame = kf->markerFrames[i];
    bool fire;
    if (wraps == 0.0f) {
      if (frame > cur) break;
      fire = prev < frame || prev == 0.0f;
    } else if (wraps == 1.0f) {
      fire = prev < frame || cur >= frame;
    } else {
      fire = true;
    }
    if (fire) t->callback(Owner(puppet), track, kf->markerValues[i]);
  }
  if (t->generation != generation) return 1;
  if (stop) {
    EndTrack(puppet, track);
  } else {
    t->previousTime = t->currentTime;
  }
  return 1;
}

int qxPuppet_UpdateTracks(qxPuppet* puppet, float seconds) {
  if (!puppet || puppet->disabled) return 0;
  int inUse = 0;
  for (int i = 0; i < QXPUPPET_MAX_TRACKS; ++i) {
    qxPuppetTrack& t = puppet->tracks[i];
    if (t.status == 0) continue;
    ++inUse;
    if (t.status & QXTRACK_FROZEN) continue;
    if (!(t.status & QXTRACK_PAUSED)) qxPuppet_AdvanceTrack(puppet, i, seconds * t.rate);
    // The advance's callbacks may have ended or changed the track.
    if (t.status == 0) continue;
    if (t.status & QXTRACK_FADE_IN) {
      t.weight += t.fadeRate * seconds;
      if (t.weight >= 1.0f) {
        t.weight = 1.0f;
        t.status &= ~uint32_t{QXTRACK_FADE_IN};
      }
    } else if (t.status & QXTRACK_FADE_OUT) {
      t.weight -= t.fadeRate * seconds;
      if (t.weight <= 0.0f) {
        if (t.status & QXTRACK_KEEP_AFTER_FADE) {
          // Kept at no weight, so that a paused track adds nothing to the blend.
          t.weight = 0.0f;
          t.status = (t.status & ~uint32_t{QXTRACK_FADE_OUT}) | QXTRACK_PAUSED;
        } else {
          EndTrack(puppet, i);
        }
      }
    }
  }
  return inUse;
}

void qxPuppet_BuildJointMatrices(qxThing* thing, const qxMatrix34* placement) {
  if (!thing || thing->frozen) return;
  const qxModel3* model = ThingModel(thing);
  if (!model || !model->nodes || !thing->nodeMatrices || !thing->nodeAngleOffsets ||
      !thing->hiddenFlags) {
    return;
  }
  const int32_t count = model->nodeCount;
  qxPuppet* puppet = thing->puppet;
  if (!puppet || puppet->disabled) {
    for (int32_t n = 0; n < count; ++n) thing->nodeMatrices[n] = model->nodes[n].restMatrix;
  } else {
    for (qxPuppetTrack& t : puppet->tracks) {
      if ((t.status & QXTRACK_IN_USE) && t.keyframe) SearchEntries(&t);
    }
    for (int32_t n = 0; n < count; ++n) {
      BlendNode(puppet, model->nodes[n], n, thing->nodeAngleOffsets[n], &thing->nodeMatrices[n]);
    }
  }
  if (count > 0) qxThing_AccumulateNodeMatrices(thing, &model->nodes[0], placement);
  thing->matrixFrame = qxCore_frameCount;
}
