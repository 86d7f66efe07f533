// Things: the 3D library's drawable instances.
//
// A thing is a typed record that refers to one shared object (a model, a
// camera, a light, a sprite) and carries what one instance needs to draw it:
// its draw modes, its puppet (animation tracks) and, for models, one matrix,
// one angle offset and two flags per hierarchy node. Many things may share
// one model. Drawing dispatches on the type; model things compose their node
// matrices down the hierarchy (qxThing_AccumulateNodeMatrices), which the
// puppet's joint-matrix build calls.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"

struct qxCamera;
struct qxLight;
struct qxModel3;
struct qxModel3Node;
struct qxPuppet;
struct qxSprite;

enum : int32_t {
  QXTHING_NONE = 0,
  QXTHING_MODEL = 1,
  QXTHING_CAMERA = 2,
  QXTHING_LIGHT = 3,
  QXTHING_SPRITE = 4,
  QXTHING_PARTICLES = 5,
  QXTHING_POLYLINE = 6,
};

struct qxThing {
  int32_t type;  // QXTHING_*
  void* object;  // the model, camera, light, sprite or other object; not owned
  // First mode triple (4, 3, 2); the library's drawing does not read it.
  int32_t geometryMode, lightingMode, textureMode;
  qxPuppet* puppet;     // owned: freed with the thing
  int32_t frozen;       // non-zero: the joint-matrix build leaves the node matrices alone
  int32_t matrixFrame;  // frame counter at the last joint-matrix build
  // Model things only, one entry per hierarchy node (indexed by node index).
  qxMatrix34* nodeMatrices;     // local placements, then (composed) world placements
  qxVector3* nodeAngleOffsets;  // extra rotation per node (head turning); zero-filled
  int32_t* hiddenFlags;         // non-zero: the node and its subtree are neither composed nor drawn
  int32_t* drawFlags;           // 0: the node's own mesh is not drawn (its children are)
  int32_t cel;                  // sprite and polyline things: -1 = the material's current cel
  int32_t geoset;               // model things: -1 = the model's default geoset
  // Second mode triple (4, 3, 2): used when the thing is drawn.
  int32_t drawGeometryMode, drawLightingMode, drawTextureMode;
  // Model things: non-zero tests the bounding sphere against the frustum
  // before drawing. Sprite things: the clip state assumed when sprite culling
  // is off.
  int32_t frustumTest;
  int32_t owner;  // the caller's own value, handed to the puppet's track callbacks
};

// Null when the allocation fails.
qxThing* qxThing_New(int32_t owner);
// Sets the creation values; returns 1.
int qxThing_NewEntry(qxThing* thing, int32_t owner);
// Makes a model thing with its per-node arrays (arrays a thing already holds
// are freed first); 1, or 0 when an allocation fails.
int qxThing_SetModel3(qxThing* thing, qxModel3* model);
int qxThing_SetCamera(qxThing* thing, qxCamera* camera);
int qxThing_SetLight(qxThing* thing, qxLight* light);
int qxThing_SetSprite3(qxThing* thing, qxSprite* sprite);
int qxThing_SetParticleCloud(qxThing* thing, void* object);
int qxThing_SetPolyline(qxThing* thing, void* object);
// Draws a model or sprite thing at the world placement; non-zero when
// something was drawn. 0 when the global geometry mode is 0, for typeless,
// camera and light things, and (with one log line) for particle clouds and
// polylines, which the library does not draw. The second thing's model goes
// to the render hooks' model hooks.
int qxThing_Draw(qxThing* thing, const qxMatrix34* placement, qxThing* second);
// A model thing's hierarchy as lines between joints; 0 when nothing is drawn.
int qxThing_DrawSkeleton(qxThing* thing, const qxMatrix34* placement, int colour);
// Composes world matrices from the node down: node world = parent x
// T(-parent pivot) x local x T(pivot). The node matrices hold local
// placements on entry; hidden subtrees keep what they held.
void qxThing_AccumulateNodeMatrices(qxThing* thing, qxModel3Node* node, const qxMatrix34* parent);
// Frees the per-node arrays, removes the puppet's tracks in use (their end
// callbacks run) and frees the puppet; the record and the object stay.
void qxThing_FreeEntry(qxThing* thing);
// Null is ignored.
void qxThing_Free(qxThing* thing);
