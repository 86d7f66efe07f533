// Text scene descriptions (".l3d"): cameras, lights and one model with its
// materials, geometry, placement, hierarchy and animation, as modelling tools
// export them.
//
// The reader takes its lines from the configuration reader (lower-cased,
// remarks gone). A file is a sequence of sections ("section light:" and so
// on); within a section every line is a key with values, matched as scanf
// patterns, and several keys announce a counted block of data lines that
// follow at once. A line that matches no key ends its section. The game
// itself only uses the lights (a set's "_lca.l3d" cutscene lights) and, for
// tools, the cameras; the writer is tool code.
//
// Reals are kept as doubles, except the single settings (the scale, the
// scalar settings of cameras and lights, a material's self-illumination and
// diffuse factors) and every key time, which are floats. Rotations are kept
// as read; the writer turns the placement rotations with 180 / pi, as the
// exporters expect, so a read-then-write does not give back those rotations.
//
// Main thread only (the configuration reader has one state).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "std/std.h"

// Result codes of Scene_ReadFile (besides 0 for success).
enum : int {
  kSceneCannotOpen = 3,
  kSceneBadVertex = 6,
  kSceneBadNormal = 7,
  kSceneBadUv = 8,
  kSceneBadColor = 9,
  kSceneBadFace = 10,
  kSceneBadHierarchy = 11,  // a hierarchy line that cannot be read or names no node
  kSceneBadTransform = 12,
  kSceneBadKey = 13,
};

struct SceneVector {
  double x, y, z;
};

struct SceneVectorKey {
  double x, y, z;
  float time;
};

struct SceneValueKey {
  double value;
  float time;
};

struct SceneColorKey {
  double r, g, b, a;
  float time;
};

struct SceneCameraKeys {
  int32_t counts[6];  // position, interest, roll, fov, near, far as announced
  std::vector<SceneVectorKey> position;
  std::vector<SceneVectorKey> interest;
  std::vector<SceneValueKey> roll;
  std::vector<SceneValueKey> fov;
  std::vector<SceneValueKey> nearClip;
  std::vector<SceneValueKey> farClip;
};

struct SceneCamera {
  std::string name;
  int32_t id = 0;
  SceneVector position{};
  SceneVector direction{};
  float roll = 0, nearClip = 0, farClip = 0, fov = 0, focalLength = 0;
  int32_t frameCount = 0;
  bool hasKeys = false;
  SceneCameraKeys keys{};
  SceneCamera* next = nullptr;
};

struct SceneLightKeys {
  // position, interest, colour, inner cone, outer cone, start and end falloff
  int32_t counts[7];
  std::vector<SceneVectorKey> position;
  std::vector<SceneVectorKey> interest;
  std::vector<SceneColorKey> color;
  std::vector<SceneValueKey> innerCone;
  std::vector<SceneValueKey> outerCone;
  std::vector<SceneValueKey> startFalloff;
  std::vector<SceneValueKey> endFalloff;
};

enum : int32_t { kSceneLightInfinite = 1, kSceneLightPoint = 2, kSceneLightSpot = 3 };

struct SceneLight {
  std::string name;
  int32_t id = 0;
  int32_t type = 0;
  double color[4] = {0, 0, 0, 0};
  SceneVector position{};
  SceneVector direction{};  // for spot lights the point aimed at
  float innerCone = 0, outerCone = 0, startFalloff = 0, endFalloff = 0;
  bool hasKeys = false;
  SceneLightKeys keys{};
  SceneLight* next = nullptr;
};

struct SceneMaterial {
  std::string name;
  int32_t id = 0;
  int32_t shading = 0;  // 0 flat, 1 lambert, 2 phong, 3 blinn
  int32_t doubleSided = 0;
  double ambient[4] = {0, 0, 0, 0};
  double specular[4] = {0, 0, 0, 0};
  double diffuseColor[4] = {0, 0, 0, 0};
  double shininess = -1, transparency = -1;
  float selfIllum = -1, diffuse = -1;
  std::string textureMaps[3];
  int32_t uvCounts[3][2] = {{0, 0}, {0, 0}, {0, 0}};
  std::string opacityMap, bumpMap, specularMap, selfIllumMap, reflectMap;
};

struct SceneUv {
  double u, v;
};

struct SceneColor {
  double r, g, b, a;
};

struct SceneFaceVertex {
  int32_t vertex, normal, uv, color;
};

struct SceneFace {
  int32_t materialId = 0;
  std::vector<SceneFaceVertex> vertices;
};

struct SceneGeometry {
  std::string name;
  int32_t id = 0;
  std::vector<SceneVector> vertices;
  std::vector<SceneVector> normals;
  std::vector<SceneUv> uvs;
  std::vector<SceneColor> colors;
  std::vector<SceneFace> faces;
};

struct ScenePlacement {
  int32_t id = 0;
  SceneVector translation{};
  SceneVector rotation{};
  SceneVector scale{};
};

struct SceneHierarchyNode {
  std::vector<int32_t> children;
};

struct SceneAnimationNode {
  int32_t id = 0;
  std::string name;
  int32_t counts[3] = {0, 0, 0};  // position, rotation, scale keys as announced
  std::vector<SceneVectorKey> position;
  std::vector<SceneVectorKey> rotation;
  std::vector<SceneVectorKey> scale;
};

struct SceneModel {
  int32_t geometryCount = 0;
  int32_t materialCount = 0;
  std::vector<SceneMaterial> materials{SceneMaterial{}};  // the first record exists from the start
  std::vector<SceneGeometry> geometries;
  std::vector<ScenePlacement> placements;
  int32_t rotationOrder = 0;
  bool hasHierarchy = false;
  std::vector<SceneHierarchyNode> hierarchy;
  std::vector<SceneAnimationNode> animation;
  int32_t totalFrames = 0;
  int32_t beginFrame = 1, endFrame = 1;
  int32_t frameRate = -1;
};

struct Scene {
  int32_t version = 100;
  int32_t globalAxis = 1;  // 1 "rhand-yup", 2 "rhand-zup"
  int32_t unit = 0;        // 0 un, 1 in, 2 cm, 3 m, 4 yd, 5 mi
  float scale = 0;
  int32_t inputType = -1;  // 1 alias, 2 softimage, 3 3ds max
  int32_t typeVersion = 0;
  int32_t result = 0;
  int32_t cameraCount = 0;  // "total cameras"
  int32_t lightCount = 0;   // "total lights"
  SceneModel* model = nullptr;
  SceneCamera* cameras = nullptr;
  SceneLight* lights = nullptr;
};

Scene* Scene_New(void);
// 0 on success, 3 when the file cannot be opened, else the code of the line
// that failed (the scene keeps what was read; the caller frees it). A file
// that ends inside a counted block answers 0 with what was read.
int Scene_ReadFile(const char* path, Scene* scene);
void Scene_Free(Scene* scene);
// The text of the line that failed the last read and its code ("" and 0 when
// none failed).
const char* Scene_GetLastError(int* code);

// The writer: the whole scene, or one model without the "BEGIN MODEL" line
// and the transformation section. Writes through the services record.
void Scene_WriteFile(stdFile_t file, const Scene* scene);
void Scene_WriteModel(stdFile_t file, const SceneModel* model);
