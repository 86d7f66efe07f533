// Puppets: keyframe animation of one model thing.
//
// A puppet has six tracks; each plays one keyframe with its own time, rate,
// priorities, weight, fade and end behaviour, and reports markers and its
// end through a callback. The engine advances the tracks every frame
// (qxPuppet_UpdateTracks); qxPuppet_BuildJointMatrices blends the playing
// tracks per model node by priority and weight into the node's local
// placement and composes the hierarchy into the thing's node matrices.
//
// A track index outside 0..5 does nothing (0, or -1 where the result is a
// track). Callbacks may call the track operations of the same puppet.
// Main thread only.
#pragma once

#include <cstdint>

struct qxKeyframe;
struct qxMatrix34;
struct qxThing;

constexpr int QXPUPPET_MAX_TRACKS = 6;
// Frame indices kept in the track itself; models with more nodes get an
// array of their own on the track.
constexpr int QXPUPPET_INLINE_NODES = 64;

enum : uint32_t {
  QXTRACK_IN_USE = 0x1,
  QXTRACK_PLAYING = 0x2,  // contributes to the blend
  QXTRACK_FADE_IN = 0x4,
  QXTRACK_FADE_OUT = 0x8,
  QXTRACK_PAUSED = 0x10,  // time stands; fades go on
  QXTRACK_STOP_AT_END = 0x20,
  QXTRACK_HOLD_AT_END = 0x40,
  QXTRACK_FADE_AT_END = 0x80,
  QXTRACK_KEEP_AFTER_FADE = 0x100,  // a finished fade-out pauses instead of removing
  QXTRACK_FROZEN = 0x200,           // neither time nor fade advance
  QXTRACK_SECONDARY_WEIGHT = 0x1000,
};

// callback(owner value of the thing, track index, marker value or 0 at the end).
using qxPuppetCallback = void (*)(int32_t owner, int32_t track, int32_t value);

struct qxPuppetTrack {
  uint32_t status;        // QXTRACK_*; 0 = free
  int32_t lowPriority;    // for nodes whose type shares no bit with the keyframe's
  int32_t highPriority;   // for nodes whose type does
  float rate;             // frames per second
  float secondaryWeight;  // stored, not used by the blend
  float weight;           // 0..1, the fade amount
  float fadeRate;         // per second
  int32_t frameIndices[QXPUPPET_INLINE_NODES];  // per node, the current entry
  int32_t* moreFrameIndices;                    // nodes from QXPUPPET_INLINE_NODES on, or null
  int32_t moreFrameIndexCount;
  float currentTime;  // frames
  float previousTime;
  qxKeyframe* keyframe;  // not owned
  qxPuppetCallback callback;
  // Bumped whenever the track is started or cleared, so that an operation
  // whose callback reused the track does not clear the new use.
  uint32_t generation;
};

struct qxPuppet {
  int32_t disabled;  // non-zero: time stands and the thing shows its rest pose
  qxThing* thing;
  qxPuppetTrack tracks[QXPUPPET_MAX_TRACKS];
};

// Allocates a puppet and attaches it to the thing; null when the allocation fails.
qxPuppet* qxPuppet_New(qxThing* thing);
int qxPuppet_NewEntry(qxPuppet* puppet, qxThing* thing);
// Gives the memory back (null ignored); the thing's free does this.
void qxPuppet_Free(qxPuppet* puppet);
// Takes a free track, or evicts the first one fading out that is neither
// held nor kept; -1 when none. The track plays at weight 0 until played or
// faded in.
int qxPuppet_AddTrack(qxPuppet* puppet, qxKeyframe* keyframe, int32_t lowPriority,
                      int32_t highPriority);
// End callback with 0, then the track is free.
int qxPuppet_RemoveTrack(qxPuppet* puppet, int track);
int qxPuppet_SetTrackFlags(qxPuppet* puppet, int track, uint32_t bits);
int qxPuppet_SetTrackCallback(qxPuppet* puppet, int track, qxPuppetCallback callback);
int qxPuppet_PlayTrack(qxPuppet* puppet, int track);
int qxPuppet_FadeInTrack(qxPuppet* puppet, int track, float seconds);
int qxPuppet_FadeOutTrack(qxPuppet* puppet, int track, float seconds);
int qxPuppet_ResetTrack(qxPuppet* puppet, int track);
int qxPuppet_SetTrackRate(qxPuppet* puppet, int track, float rate);
int qxPuppet_SetTrackPriorities(qxPuppet* puppet, int track, int32_t low, int32_t high);
int qxPuppet_SetTrackSecondaryWeight(qxPuppet* puppet, int track, float value);
// Advances one track by a number of frames: end behaviours, looping, markers.
int qxPuppet_AdvanceTrack(qxPuppet* puppet, int track, float frames);
// Advances every track by the seconds and steps the fades; the number of
// tracks in use (0 for a disabled puppet).
int qxPuppet_UpdateTracks(qxPuppet* puppet, float seconds);
// Fills a model thing's node matrices (world placements) from its puppet's
// tracks, or from the rest pose without a puppet or with a disabled one; a
// frozen thing keeps its matrices.
void qxPuppet_BuildJointMatrices(qxThing* thing, const qxMatrix34* placement);
