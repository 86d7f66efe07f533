// Models: the 3D library's polygon objects.
//
// A model holds named meshes grouped into up to four alternative geometry
// sets (geosets), a material list, and a hierarchy of nodes that places one
// mesh each. Models load from the binary "LDOM" form or from the "3DO" text
// form through replaceable loader and unloader hooks; after every load the
// derived data is computed: bounding boxes (from a hierarchy walk from node
// 0), mesh radii, face and vertex normals, node depths and shadow boxes.
//
// In memory the records hold real pointers; the binary form stores a 76-byte
// face record and a 184-byte node record with 32-bit markers in the pointer
// places, read and written field by field. Neither reader trusts its file:
// every count is checked against the bytes left before anything is
// allocated, every index is range-checked, a hierarchy with a cycle or a node
// reached twice is refused, and a bad file fails the load with one log line.
//
// Drawing (qxModel3_DrawMesh and its companions) is a module of its own:
// qxModel3_Draw.h.
// Main thread only.
#pragma once

#include <cstdint>

#include "quadrix/qxFace.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"
#include "std/std.h"

struct qxMaterial;

constexpr int kModelMaxGeosets = 4;
constexpr int kModelShadowPoints = 16;
// The binary writer writes at most this many distinct materials; the text
// form holds fewer.
constexpr int kModelMaxMaterials = 128;
// Limits of the text form.
constexpr int kModelTextMaxVertices = 512;
constexpr int kModelTextMaxTexVertices = 768;
constexpr int kModelTextMaxFaces = 512;
constexpr int kModelTextMaxFaceVertices = 24;

enum : uint32_t {
  // The node's mesh takes the mesh intensity of the nearest ancestor without this mark.
  QXNODE_INHERIT_INTENSITY = 0x2,
};

struct qxModel3Mesh {
  char name[32];
  int32_t meshIndex;  // position within its geoset
  int32_t geometryMode;
  int32_t lightingMode;
  int32_t textureMode;
  qxVector3* vertices;       // vertexCount points in the node's local space
  qxVector2* texVertices;    // texVertexCount (u, v) pairs
  float* vertexIntensities;  // vertexCount stored lights (0..1)
  float* litIntensities;     // vertexCount lights of the last lit draw
  qxFace* faces;             // faceCount faces
  qxVector3* vertexNormals;  // vertexCount unit vectors (derived on load)
  int32_t vertexCount;
  int32_t texVertexCount;
  int32_t faceCount;
  int32_t shadow;        // non-zero asks for a shadow box
  qxVector3* shadowBox;  // null or 16 points (four quadrilaterals) from the box
  float meshIntensity;   // mean lit intensity after the last lit draw
  float radius;          // 1.1 x the farthest vertex (derived for geoset 0)
  qxVector3 boxMin;      // over the vertices (derived on load)
  qxVector3 boxMax;
  // Every face's index lists in one allocation (the binary reader's), or
  // null when each face owns its own.
  int32_t* indexBlock;
};

struct qxModel3Geoset {
  int32_t meshCount;
  qxModel3Mesh* meshes;
};

struct qxModel3Node {
  char name[64];      // qxModel3_FindNode ignores case
  uint32_t flags;     // QXNODE_INHERIT_INTENSITY
  int32_t index;      // its own position in the node array
  uint32_t type;      // keyframe tracks take high priority where this shares a bit with theirs
  int32_t meshIndex;  // mesh of the drawn geoset, -1 for none
  int32_t depth;      // number of ancestors (derived on load)
  qxModel3Node* parent;
  int32_t childCount;     // a hint: the chain below ends at a null sibling
  qxModel3Node* child;    // first child
  qxModel3Node* sibling;  // next sibling
  qxVector3 pivot;
  qxVector3 position;
  qxVector3 angles;  // pitch, yaw, roll (degrees)
  // The local placement when no animation drives the node; rebuilt from the
  // angles and position when the model is given to a thing.
  qxMatrix34 restMatrix;
};

struct qxModel3 {
  char name[32];  // "UNKNOWN" in a fresh record
  uint32_t reserved;
  qxModel3Geoset geosets[kModelMaxGeosets];
  int32_t geosetCount;
  qxMaterial** materials;  // materialCount entries, each may be null
  uint32_t materialCount;
  int32_t defaultGeoset;  // drawn for a thing whose geoset choice is -1
  int32_t nodeCount;
  qxModel3Node* nodes;
  float radius;  // half the box diagonal (derived on load)
  qxVector3 boxMin;
  qxVector3 boxMax;
  qxVector3 boxCentre;
  qxVector3 insertOffset;  // carried by both forms, read by the actor drawing
};

using qxModel3LoaderFn = qxModel3* (*)(const char* path, int value);
using qxModel3UnloaderFn = void (*)(qxModel3* model);

// Through the loader hook when installed, else from the file; then the
// derivations. Null on failure (nothing kept).
qxModel3* qxModel3_Load(const char* path);
// Through the unloader hook when installed, else FreeEntry and the record. Null is ignored.
void qxModel3_Free(qxModel3* model);
qxModel3LoaderFn qxModel3_SetLoader(qxModel3LoaderFn hook);
qxModel3UnloaderFn qxModel3_SetUnloader(qxModel3UnloaderFn hook);
// Zeroes the record, names it "UNKNOWN", default geoset 0.
void qxModel3_NewEntry(qxModel3* model);
// Opens the file: "LDOM" -> the binary form, else the text form by name; 1 / 0.
int qxModel3_LoadEntry(const char* path, qxModel3* model);
// The binary form from an open file positioned after the magic; 1 / 0.
int qxModel3_LoadBinary(stdFile_t file, qxModel3* model);
// The text form by path; 1 / 0. The model is named after the path's last part.
int qxModel3_LoadText(const char* path, qxModel3* model);
// The derivations after a load, in order: boxes, radii, face normals, vertex
// normals, node depths, shadow boxes.
void qxModel3_PostLoad(qxModel3* model);
void qxModel3_CalcBoundingBoxes(qxModel3* model);
void qxModel3_CalcRadii(qxModel3* model);
void qxModel3_CalcFaceNormals(qxModel3* model);
void qxModel3_CalcVertexNormals(qxModel3* model);
void qxModel3_CalcNodeDepths(qxModel3* model);
void qxModel3_BuildShadowBoxes(qxModel3* model);
// Frees the contents (not the record), telling the render hooks about every
// array, and releases the materials.
void qxModel3_FreeEntry(qxModel3* model);
// Frees the geometry without notifications and without releasing the
// materials (only their pointer array).
void qxModel3_FreeGeometry(qxModel3* model);
// Writers; 1 / 0. The binary writer refuses more than 128 distinct materials.
int qxModel3_Write(const char* path, const qxModel3* model);
int qxModel3_WriteBinary(const char* path, const qxModel3* model);
int qxModel3_WriteText(const char* path, const qxModel3* model, const char* sourceName);
// The first node whose name equals the given one ignoring case; null when none.
qxModel3Node* qxModel3_FindNode(const char* name, qxModel3* model);
// Copies a whole mesh record into place; 0 when the geoset or index is outside the model.
int qxModel3_SetMesh(qxModel3* model, int geoset, int meshIndex, const qxModel3Mesh* mesh);
// 0 when a face has geometry mode above 0 without a material, or above 3 with
// an untextured material; else 1.
int qxModel3_CheckFaceModes(const qxModel3* model);
