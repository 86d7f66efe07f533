// Keyframe animations: timed positions and orientations for the hierarchy
// nodes of a model, played by puppets on their tracks.
//
// A keyframe holds, per animated node, a list of entries in ascending frame
// order; each entry gives a position, an orientation and their rates of
// change until the next entry. Up to 8 markers name frames whose values the
// puppet's track callback receives when playback passes them.
//
// Two file forms: the binary "FYEK" form and a text form read through the
// configuration reader (sections HEADER, MARKERS, KEYFRAME NODES). Loading
// goes through replaceable loader and unloader hooks. Every count read from a
// file is checked before anything is allocated; a short or malformed file
// fails the load with one log line. Main thread only.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"
#include "std/std.h"

enum : uint32_t {
  QXKEYFRAME_HOLD = 0x100,  // every entry holds its values for its whole span
};

enum : uint32_t {
  QXKEYFRAME_ENTRY_POSITION_RATE = 0x1,     // the position changes at the given rate
  QXKEYFRAME_ENTRY_ORIENTATION_RATE = 0x2,  // the orientation changes at the given rate
};

constexpr int kKeyframeMaxMarkers = 8;
// Joints of a text keyframe (the form allocates them before any node is read).
constexpr int32_t kKeyframeMaxTextJoints = 65536;

// 14 values; 56 bytes in the binary form.
struct qxKeyframeEntry {
  float frame;  // the frame at which the entry starts
  uint32_t flags;
  qxVector3 position;
  qxVector3 orientation;  // pitch, yaw, roll (degrees)
  qxVector3 positionRate;
  qxVector3 orientationRate;  // degrees per frame
};

struct qxKeyframeNode {
  char meshName[32];  // the animated model node's name (for tools)
  int32_t index;      // position in the node array
  int32_t entryCount;
  qxKeyframeEntry* entries;  // owned; null when the count is 0
};

struct qxKeyframe {
  char name[32];      // "UNKNOWN" in a fresh record; the file name after loading
  uint32_t reserved;  // carried by the binary form
  uint32_t flags;     // QXKEYFRAME_HOLD
  int32_t jointCount;
  uint32_t type;  // matched against the model nodes' types (track priority)
  float rate;     // frames per second
  int32_t frameCount;
  int32_t nodeCount;
  qxKeyframeNode* nodes;  // owned
  int32_t markerCount;    // at most 8
  float markerFrames[kKeyframeMaxMarkers];
  int32_t markerValues[kKeyframeMaxMarkers];
};

using qxKeyframeLoaderFn = qxKeyframe* (*)(const char* path);
using qxKeyframeUnloaderFn = void (*)(qxKeyframe* keyframe);

// Through the loader hook when one is installed (its result as is), else from
// the file: "FYEK" binary, anything else text. Null on failure.
qxKeyframe* qxKeyframe_Load(const char* path);
// Through the unloader hook when installed, else FreeEntry and the record. Null is ignored.
void qxKeyframe_Free(qxKeyframe* keyframe);
qxKeyframeLoaderFn qxKeyframe_SetLoader(qxKeyframeLoaderFn hook);
qxKeyframeUnloaderFn qxKeyframe_SetUnloader(qxKeyframeUnloaderFn hook);
// Zeroes the record and names it "UNKNOWN".
void qxKeyframe_NewEntry(qxKeyframe* keyframe);
// The text form by path; 1 / 0. The record is named after the path's last part.
int qxKeyframe_LoadText(const char* path, qxKeyframe* keyframe);
// The binary form from an open file positioned after the magic; 1 / 0. The
// caller closes the file and frees what a failed read built.
int qxKeyframe_LoadBinary(stdFile_t file, qxKeyframe* keyframe);
// Frees every node's entries and the node array (fields set to null).
void qxKeyframe_FreeEntry(qxKeyframe* keyframe);
// Writers; 1 / 0.
int qxKeyframe_WriteText(const char* path, const qxKeyframe* keyframe, const char* sourceName);
int qxKeyframe_WriteBinary(const char* path, const qxKeyframe* keyframe);
// Appends ".key" when the name holds no '.' anywhere, then writes the binary form.
int qxKeyframe_WriteBinaryByName(const char* name, const qxKeyframe* keyframe);
