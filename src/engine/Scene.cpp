// Text scene descriptions: the reader.
#include "engine/Scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "engine/CLocaleScope.h"
#include "platform/kv_Log.h"
#include "std/stdConffile.h"

namespace {

std::string g_lastErrorText;
int g_lastErrorCode = 0;

// One read in progress.
struct Reader {
  Scene* scene;
  SceneModel* model;
  SceneCamera* lastCamera = nullptr;
  SceneLight* lastLight = nullptr;
  bool atEnd = false;  // the file ended inside a section
};

int Fail(int code) {
  g_lastErrorCode = code;
  g_lastErrorText = stdConffile_line ? stdConffile_line : "";
  kv_Log_Printf("[Scene] - %s(%d): cannot read \"%s\" (error %d)", stdConffile_GetFileName(),
                stdConffile_GetLineNumber(), g_lastErrorText.c_str(), code);
  return code;
}

// The next line of a section or of a counted block; false at the end of the
// file, which ends the read with what was read so far.
bool NextLine(Reader& r) {
  if (stdConffile_NextLine()) return true;
  r.atEnd = true;
  return false;
}

// Whether the line starts with the key words (blanks before and between
// them are free); on a match *rest points behind the key.
bool Key(const char* line, const char* key, const char** rest) {
  const char* l = line;
  const char* k = key;
  while (*l == ' ' || *l == '\t') ++l;
  while (*k) {
    if (*k == ' ') {
      if (*l != ' ' && *l != '\t') return false;
      while (*l == ' ' || *l == '\t') ++l;
      ++k;
      continue;
    }
    if (*l != *k) return false;
    ++l;
    ++k;
  }
  *rest = l;
  return true;
}

void Trim(std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool Word(const char* rest, std::string* out) {
  char word[kConffileLineSize];
  if (std::sscanf(rest, "%1023s", word) != 1) return false;
  *out = word;
  return true;
}

bool Int(const char* rest, int32_t* out) {
  return std::sscanf(rest, "%d", out) == 1;
}

bool Real(const char* rest, float* out) {
  return std::sscanf(rest, "%f", out) == 1;
}

bool Vector(const char* rest, SceneVector* out) {
  double x, y, z;
  if (std::sscanf(rest, "%lf %lf %lf", &x, &y, &z) != 3) return false;
  *out = {x, y, z};
  return true;
}

bool Rgba(const char* rest, double out[4]) {
  double v[4];
  if (std::sscanf(rest, "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]) != 4) return false;
  for (int i = 0; i < 4; ++i) out[i] = v[i];
  return true;
}

int64_t NonNegative(int32_t count) {
  return count > 0 ? count : 0;
}

// Key lines: index, time, letter, then the letter's values.
struct KeyLine {
  float time;
  char letter;
  const char* values;
};

bool ParseKeyLine(const char* line, KeyLine* key) {
  int index = 0;
  int used = -1;
  if (std::sscanf(line, " %d %f %c%n", &index, &key->time, &key->letter, &used) != 3 || used < 0)
    return false;
  key->values = line + used;
  return true;
}

// Appends a key of one kind unless the kind already holds its announced count.
template <typename T>
bool Append(std::vector<T>& list, int32_t count, const T& key) {
  if (static_cast<int64_t>(list.size()) >= count) return false;
  list.push_back(key);
  return true;
}

bool VectorKey(const KeyLine& k, std::vector<SceneVectorKey>& list, int32_t count) {
  double x, y, z;
  if (std::sscanf(k.values, "%lf %lf %lf", &x, &y, &z) != 3) return false;
  return Append(list, count, SceneVectorKey{x, y, z, k.time});
}

bool ValueKey(const KeyLine& k, std::vector<SceneValueKey>& list, int32_t count) {
  double v;
  if (std::sscanf(k.values, "%lf", &v) != 1) return false;
  return Append(list, count, SceneValueKey{v, k.time});
}

// Reads a counted block of lines with one parser; the parser answers false
// for a line it cannot take, which fails the read with the code.
template <typename Parse>
int ReadBlock(Reader& r, int64_t lines, int code, Parse parse) {
  for (int64_t i = 0; i < lines; ++i) {
    if (!NextLine(r)) return 0;
    if (!parse(stdConffile_line)) return Fail(code);
  }
  return 0;
}

// Reads the key lines announced by the counts of a key record; store takes
// one parsed line and answers false for a line it cannot take.
template <size_t N, typename Store>
int ReadKeyLines(Reader& r, const int32_t (&counts)[N], Store store) {
  int64_t total = 0;
  for (int32_t n : counts) total += NonNegative(n);
  return ReadBlock(r, total, kSceneBadKey, [&store](const char* line) {
    KeyLine key;
    return ParseKeyLine(line, &key) && store(key);
  });
}

// ---- general: ---------------------------------------------------------------------

int ReadGeneral(Reader& r) {
  Scene* s = r.scene;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    std::string word;
    if (Key(l, "version", &rest) && Int(rest, &s->version)) continue;
    if (Key(l, "global axis", &rest) && Word(rest, &word)) {
      if (word == "rhand-yup") s->globalAxis = 1;
      if (word == "rhand-zup") s->globalAxis = 2;
      continue;
    }
    if (Key(l, "scale", &rest)) {
      float scale;
      char unit[kConffileLineSize];
      const int n = std::sscanf(rest, "%f %1023s", &scale, unit);
      if (n >= 1) {
        s->scale = scale;
        static const char* const kUnits[] = {"un", "in", "cm", "m", "yd", "mi"};
        for (int i = 0; n == 2 && i < 6; ++i)
          if (std::strcmp(unit, kUnits[i]) == 0) s->unit = i;
        continue;
      }
    }
    if (Key(l, "input type", &rest)) {
      std::string type(rest);
      Trim(type);
      if (type == "alias") s->inputType = 1;
      if (type == "softimage") s->inputType = 2;
      if (type == "3ds max") s->inputType = 3;
      continue;
    }
    if (Key(l, "type version", &rest) && Int(rest, &s->typeVersion)) continue;
    return 0;
  }
  return 0;
}

// ---- camera: ----------------------------------------------------------------------

int ReadCameraKeys(Reader& r, SceneCamera* c) {
  SceneCameraKeys& k = c->keys;
  return ReadKeyLines(r, k.counts, [&k](const KeyLine& key) {
    switch (key.letter) {
      case 'p':
        return VectorKey(key, k.position, k.counts[0]);
      case 'i':
        return VectorKey(key, k.interest, k.counts[1]);
      case 'r':
        return ValueKey(key, k.roll, k.counts[2]);
      case 'v':
        return ValueKey(key, k.fov, k.counts[3]);
      case 'n':
        return ValueKey(key, k.nearClip, k.counts[4]);
      case 'f':
        return ValueKey(key, k.farClip, k.counts[5]);
      default:
        return true;  // counted, not stored
    }
  });
}

// Keys that camera and light records share: a new record by its id, the
// name, the scalar settings, position and direction. Keys before the first
// record are read and ignored. True when the line was one of them.
template <typename Record>
struct RecordKeys {
  const char* idKey;
  const char* nameKey;
  std::initializer_list<std::pair<const char*, float Record::*>> scalars;
};

template <typename Record>
bool ReadRecordKey(const char* l, const RecordKeys<Record>& keys, Record** head, Record** last) {
  const char* rest;
  int32_t id;
  float f;
  std::string word;
  SceneVector v;
  Record* record = *last;
  if (Key(l, keys.idKey, &rest) && Int(rest, &id)) {
    auto* created = new Record;
    created->id = id;
    (record ? record->next : *head) = created;
    *last = created;
    return true;
  }
  if (Key(l, keys.nameKey, &rest) && Word(rest, &word)) {
    if (record) record->name = word;
    return true;
  }
  for (const auto& [key, field] : keys.scalars) {
    if (Key(l, key, &rest) && Real(rest, &f)) {
      if (record) record->*field = f;
      return true;
    }
  }
  if (Key(l, "position", &rest) && Vector(rest, &v)) {
    if (record) record->position = v;
    return true;
  }
  if (Key(l, "direction", &rest) && Vector(rest, &v)) {
    if (record) record->direction = v;
    return true;
  }
  return false;
}

const RecordKeys<SceneCamera> kCameraKeys = {"camera id",
                                             "camera name",
                                             {{"field of view", &SceneCamera::fov},
                                              {"focal length", &SceneCamera::focalLength},
                                              {"near clipping", &SceneCamera::nearClip},
                                              {"far clipping", &SceneCamera::farClip},
                                              {"roll", &SceneCamera::roll}}};

const RecordKeys<SceneLight> kLightKeys = {"light id",
                                           "light name",
                                           {{"int cone angle", &SceneLight::innerCone},
                                            {"ext cone angle", &SceneLight::outerCone},
                                            {"start falloff", &SceneLight::startFalloff},
                                            {"end falloff", &SceneLight::endFalloff}}};

int ReadCamera(Reader& r) {
  Scene* s = r.scene;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    int32_t i;
    if (Key(l, "total cameras", &rest) && Int(rest, &s->cameraCount)) continue;
    if (ReadRecordKey(l, kCameraKeys, &s->cameras, &r.lastCamera)) continue;
    SceneCamera* c = r.lastCamera;
    if (Key(l, "total frames", &rest) && Int(rest, &i)) {
      if (c) c->frameCount = i;
      continue;
    }
    int32_t n[3];
    if (std::sscanf(l, " poskeys: %d intkeys: %d rollkeys: %d", &n[0], &n[1], &n[2]) == 3) {
      if (c) {
        c->hasKeys = true;
        for (int j = 0; j < 3; ++j) c->keys.counts[j] = n[j];
      }
      continue;
    }
    if (std::sscanf(l, " fovkeys: %d nclipkeys: %d fclipkeys: %d", &n[0], &n[1], &n[2]) == 3) {
      if (!c) continue;
      c->hasKeys = true;
      for (int j = 0; j < 3; ++j) c->keys.counts[3 + j] = n[j];
      if (const int code = ReadCameraKeys(r, c)) return code;
      continue;
    }
    return 0;
  }
  return 0;
}

// ---- light: -----------------------------------------------------------------------

int ReadLightKeys(Reader& r, SceneLight* light) {
  SceneLightKeys& k = light->keys;
  return ReadKeyLines(r, k.counts, [&k](const KeyLine& key) {
    switch (key.letter) {
      case 'p':
        return VectorKey(key, k.position, k.counts[0]);
      case 'i':
        return VectorKey(key, k.interest, k.counts[1]);
      case 'r': {
        double v[4];
        if (std::sscanf(key.values, "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]) != 4)
          return false;
        return Append(k.color, k.counts[2], SceneColorKey{v[0], v[1], v[2], v[3], key.time});
      }
      case 'c':
        return ValueKey(key, k.innerCone, k.counts[3]);
      case 's':
        return ValueKey(key, k.outerCone, k.counts[4]);
      case 'b':
        return ValueKey(key, k.startFalloff, k.counts[5]);
      case 'e':
        return ValueKey(key, k.endFalloff, k.counts[6]);
      default:
        return true;
    }
  });
}

int ReadLight(Reader& r) {
  Scene* s = r.scene;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    int32_t i;
    double rgba[4];
    if (Key(l, "total lights", &rest) && Int(rest, &s->lightCount)) continue;
    if (ReadRecordKey(l, kLightKeys, &s->lights, &r.lastLight)) continue;
    SceneLight* light = r.lastLight;
    if (Key(l, "type", &rest) && Int(rest, &i)) {
      if (light) light->type = i;
      continue;
    }
    if (Key(l, "color", &rest) && Rgba(rest, rgba)) {
      if (light) std::memcpy(light->color, rgba, sizeof rgba);
      continue;
    }
    int32_t n[3];
    if (std::sscanf(l, " poskeys: %d intkeys: %d rgbkeys: %d", &n[0], &n[1], &n[2]) == 3) {
      if (light) {
        light->hasKeys = true;
        for (int j = 0; j < 3; ++j) light->keys.counts[j] = n[j];
      }
      continue;
    }
    if (std::sscanf(l, " ciangkeys: %d ceangkeys: %d", &n[0], &n[1]) == 2) {
      if (light) {
        light->hasKeys = true;
        light->keys.counts[3] = n[0];
        light->keys.counts[4] = n[1];
      }
      continue;
    }
    if (std::sscanf(l, " sfallkeys: %d efallkeys: %d", &n[0], &n[1]) == 2) {
      if (!light) continue;
      light->hasKeys = true;
      light->keys.counts[5] = n[0];
      light->keys.counts[6] = n[1];
      if (const int code = ReadLightKeys(r, light)) return code;
      continue;
    }
    return 0;
  }
  return 0;
}

// ---- material: --------------------------------------------------------------------

int ReadMaterial(Reader& r) {
  SceneModel* m = r.model;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    SceneMaterial* mat = &m->materials.back();
    std::string word;
    int32_t i;
    float f;
    double d;
    if (Key(l, "material name", &rest) && Word(rest, &word)) {
      if (!mat->name.empty()) {
        m->materials.emplace_back();
        mat = &m->materials.back();
      }
      mat->name = word;
      continue;
    }
    if (Key(l, "total materials", &rest) && Int(rest, &m->materialCount)) continue;
    if (Key(l, "material id", &rest) && Int(rest, &i)) {
      mat->id = i;
      continue;
    }
    if (Key(l, "shading", &rest) && Word(rest, &word)) {
      static const char* const kShading[] = {"flat", "lambert", "phong", "blinn"};
      for (int j = 0; j < 4; ++j)
        if (word == kShading[j]) mat->shading = j;
      continue;
    }
    if (Key(l, "double-sided", &rest) && Word(rest, &word)) {
      mat->doubleSided = word == "false" ? 0 : 1;
      continue;
    }
    if (Key(l, "ambient rgba", &rest) && Rgba(rest, mat->ambient)) continue;
    if (Key(l, "specular rgba", &rest) && Rgba(rest, mat->specular)) continue;
    if (Key(l, "diffuse rgba", &rest) && Rgba(rest, mat->diffuseColor)) continue;
    if (Key(l, "shininess", &rest) && std::sscanf(rest, "%lf", &d) == 1) {
      mat->shininess = d;
      continue;
    }
    if (Key(l, "transparency", &rest) && std::sscanf(rest, "%lf", &d) == 1) {
      mat->transparency = d;
      continue;
    }
    if (Key(l, "self_illum", &rest) && Real(rest, &f)) {
      mat->selfIllum = f;
      continue;
    }
    if (Key(l, "diffuse", &rest) && Real(rest, &f)) {
      mat->diffuse = f;
      continue;
    }
    bool matched = false;
    for (int map = 0; map < 3 && !matched; ++map) {
      const std::string textmap = "textmap" + std::to_string(map + 1);
      const std::string uvCount = "text" + std::to_string(map + 1) + "uv count";
      if (Key(l, textmap.c_str(), &rest) && Word(rest, &word)) {
        mat->textureMaps[map] = word;
        matched = true;
      } else if (Key(l, uvCount.c_str(), &rest) &&
                 std::sscanf(rest, "%d %d", &mat->uvCounts[map][0], &mat->uvCounts[map][1]) == 2) {
        matched = true;
      }
    }
    if (matched) continue;
    struct {
      const char* key;
      std::string SceneMaterial::*field;
    } const kMaps[] = {{"opacity", &SceneMaterial::opacityMap},
                       {"bump map", &SceneMaterial::bumpMap},
                       {"specular map", &SceneMaterial::specularMap},
                       {"self-illum", &SceneMaterial::selfIllumMap},
                       {"reflect map", &SceneMaterial::reflectMap}};
    for (const auto& map : kMaps) {
      if (Key(l, map.key, &rest) && Word(rest, &word)) {
        mat->*map.field = word;
        matched = true;
        break;
      }
    }
    if (matched) continue;
    return 0;
  }
  return 0;
}

// ---- geometry: --------------------------------------------------------------------

bool ParseFace(const char* line, SceneFace* face) {
  int index, materialId, count, used = -1;
  if (std::sscanf(line, " %d %d %d%n", &index, &materialId, &count, &used) != 3 || used < 0 ||
      count < 0)
    return false;
  face->materialId = materialId;
  const char* p = line + used;
  for (int i = 0; i < count; ++i) {
    SceneFaceVertex v;
    int n = -1;
    if (std::sscanf(p, " %d %d %d %d%n", &v.vertex, &v.normal, &v.uv, &v.color, &n) != 4 || n < 0)
      return false;
    face->vertices.push_back(v);
    p += n;
  }
  return true;
}

int ReadGeometry(Reader& r) {
  SceneModel* m = r.model;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    SceneGeometry* g = m->geometries.empty() ? nullptr : &m->geometries.back();
    std::string word;
    int32_t n;
    if (Key(l, "total geometry", &rest) && Int(rest, &m->geometryCount)) continue;
    if (Key(l, "geometry name", &rest) && Word(rest, &word)) {
      m->geometries.emplace_back();
      m->geometries.back().name = word;
      continue;
    }
    if (Key(l, "geometry id", &rest) && Int(rest, &n)) {
      if (g) g->id = n;
      continue;
    }
    if (Key(l, "vertices", &rest) && Int(rest, &n)) {
      if (!g) continue;
      if (const int code = ReadBlock(r, n, kSceneBadVertex, [g](const char* line) {
            int index;
            SceneVector v;
            if (std::sscanf(line, " %d %lf %lf %lf", &index, &v.x, &v.y, &v.z) != 4) return false;
            g->vertices.push_back(v);
            return true;
          }))
        return code;
      continue;
    }
    if (Key(l, "vertex normal", &rest) && Int(rest, &n)) {
      if (!g) continue;
      if (const int code = ReadBlock(r, n, kSceneBadNormal, [g](const char* line) {
            int index;
            SceneVector v;
            if (std::sscanf(line, " %d %lf %lf %lf", &index, &v.x, &v.y, &v.z) != 4) return false;
            g->normals.push_back(v);
            return true;
          }))
        return code;
      continue;
    }
    if (Key(l, "uv", &rest) && Int(rest, &n)) {
      if (!g) continue;
      if (const int code = ReadBlock(r, n, kSceneBadUv, [g](const char* line) {
            int index;
            SceneUv uv;
            if (std::sscanf(line, " %d %lf %lf", &index, &uv.u, &uv.v) != 3) return false;
            g->uvs.push_back(uv);
            return true;
          }))
        return code;
      continue;
    }
    if (Key(l, "color", &rest) && Int(rest, &n)) {
      if (!g) continue;
      if (const int code = ReadBlock(r, n, kSceneBadColor, [g](const char* line) {
            int index;
            SceneColor c;
            if (std::sscanf(line, " %d %lf %lf %lf %lf", &index, &c.r, &c.g, &c.b, &c.a) != 5)
              return false;
            g->colors.push_back(c);
            return true;
          }))
        return code;
      continue;
    }
    if (Key(l, "polygon faces", &rest) && Int(rest, &n)) {
      if (!g) continue;
      if (const int code = ReadBlock(r, n, kSceneBadFace, [g](const char* line) {
            SceneFace face;
            if (!ParseFace(line, &face)) return false;
            g->faces.push_back(std::move(face));
            return true;
          }))
        return code;
      continue;
    }
    return 0;
  }
  return 0;
}

// ---- transformation: and hierarchy: -----------------------------------------------

int ReadTransformation(Reader& r) {
  SceneModel* m = r.model;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    int32_t n;
    if (Key(l, "geometry nodes", &rest) && Int(rest, &n)) {
      m->geometryCount = n;
      continue;
    }
    if (Key(l, "rotation order", &rest) && Int(rest, &m->rotationOrder)) {
      // Three lines per node; the placement records are made as their
      // lines arrive, so a count the file cannot back allocates nothing.
      m->placements.clear();
      const int64_t nodes = NonNegative(m->geometryCount);
      int64_t line = 0;
      if (const int code =
              ReadBlock(r, nodes * 3, kSceneBadTransform, [m, &line](const char* text) {
                if (line++ % 3 == 0) m->placements.emplace_back();
                ScenePlacement& p = m->placements.back();
                int id;
                char letter;
                SceneVector v;
                if (std::sscanf(text, " %d %c %lf %lf %lf", &id, &letter, &v.x, &v.y, &v.z) != 5)
                  return false;
                p.id = id;
                switch (letter) {
                  case 't':
                  case 'T':
                    p.translation = v;
                    return true;
                  case 'r':
                  case 'R':
                    p.rotation = v;
                    return true;
                  case 's':
                  case 'S':
                    p.scale = v;
                    return true;
                  default:
                    return false;
                }
              }))
        return code;
      continue;
    }
    return 0;
  }
  return 0;
}

int ReadHierarchy(Reader& r) {
  SceneModel* m = r.model;
  while (NextLine(r)) {
    const char* rest;
    int32_t n;
    if (!Key(stdConffile_line, "geometry nodes", &rest) || !Int(rest, &n)) return 0;
    m->hasHierarchy = true;
    m->hierarchy.clear();
    if (const int code = ReadBlock(r, n, kSceneBadHierarchy, [m, n](const char* line) {
          int index, count, used = -1;
          if (std::sscanf(line, " %d %d%n", &index, &count, &used) != 2 || used < 0 || count < 0)
            return false;
          SceneHierarchyNode node;
          const char* p = line + used;
          for (int i = 0; i < count; ++i) {
            int child, step = -1;
            if (std::sscanf(p, " %d%n", &child, &step) != 1 || step < 0) return false;
            if (child < 0 || child >= n) return false;  // names no node of the hierarchy
            node.children.push_back(child);
            p += step;
          }
          m->hierarchy.push_back(std::move(node));
          return true;
        }))
      return code;
  }
  return 0;
}

// ---- animation: -------------------------------------------------------------------

int ReadAnimation(Reader& r) {
  SceneModel* m = r.model;
  while (NextLine(r)) {
    const char* l = stdConffile_line;
    const char* rest;
    SceneAnimationNode* node = m->animation.empty() ? nullptr : &m->animation.back();
    int32_t i, j;
    std::string word;
    if (Key(l, "total nodes", &rest) && Int(rest, &i)) continue;
    if (Key(l, "total frames", &rest) && Int(rest, &m->totalFrames)) continue;
    if (std::sscanf(l, " begin frame %d end frame %d", &i, &j) == 2) {
      m->beginFrame = i;
      m->endFrame = j;
      continue;
    }
    if (Key(l, "frame rate", &rest) && Int(rest, &m->frameRate)) continue;
    if (Key(l, "geometry id", &rest) && Int(rest, &i)) {
      m->animation.emplace_back();
      m->animation.back().id = i;
      continue;
    }
    if (Key(l, "geometry name", &rest) && Word(rest, &word)) {
      if (node) node->name = word;
      continue;
    }
    int32_t n[3];
    if (std::sscanf(l, " poskeys: %d rotkeys: %d sclkeys: %d", &n[0], &n[1], &n[2]) == 3) {
      if (!node) continue;
      for (int k = 0; k < 3; ++k) node->counts[k] = n[k];
      if (const int code = ReadKeyLines(r, node->counts, [node](const KeyLine& key) {
            switch (key.letter) {
              case 'p':
              case 'P':
                return VectorKey(key, node->position, node->counts[0]);
              case 'r':
              case 'R':
                return VectorKey(key, node->rotation, node->counts[1]);
              case 's':
              case 'S':
                return VectorKey(key, node->scale, node->counts[2]);
              default:
                return true;
            }
          }))
        return code;
      continue;
    }
    return 0;
  }
  return 0;
}

using SectionReader = int (*)(Reader&);
struct Section {
  const char* name;
  SectionReader reader;
};
constexpr Section kSections[] = {
    {"general:", ReadGeneral},     {"material:", ReadMaterial},
    {"geometry:", ReadGeometry},   {"transformation:", ReadTransformation},
    {"hierarchy:", ReadHierarchy}, {"animation:", ReadAnimation},
    {"camera:", ReadCamera},       {"light:", ReadLight},
};

// The reader of a section line ("section light:"), null for any other line
// and for a section of another name.
SectionReader SectionOf(const char* line) {
  char first[16], second[32];
  if (std::sscanf(line, " %15s %31s", first, second) != 2 || std::strcmp(first, "section") != 0)
    return nullptr;
  for (const Section& s : kSections)
    if (std::strcmp(second, s.name) == 0) return s.reader;
  return nullptr;
}

}  // namespace

Scene* Scene_New(void) {
  return new Scene;
}

int Scene_ReadFile(const char* path, Scene* scene) {
  if (!path || !scene) return kSceneCannotOpen;
  g_lastErrorText.clear();
  g_lastErrorCode = 0;
  if (!stdConffile_Open(path)) {
    kv_Log_Printf("[Scene] - cannot open %s", path);
    scene->result = kSceneCannotOpen;
    return kSceneCannotOpen;
  }
  const CLocaleScope cLocale;
  if (!scene->model) scene->model = new SceneModel;
  Reader r{scene, scene->model};
  int result = 0;
  bool more = stdConffile_NextLine() != 0;
  while (more) {
    if (SectionReader reader = SectionOf(stdConffile_line)) {
      result = reader(r);
      if (result != 0 || r.atEnd) break;
      continue;  // the line that ended the section may open the next one
    }
    more = stdConffile_NextLine() != 0;
  }
  stdConffile_Close();
  scene->result = result;
  return result;
}

void Scene_Free(Scene* scene) {
  if (!scene) return;
  for (SceneCamera* c = scene->cameras; c;) {
    SceneCamera* next = c->next;
    delete c;
    c = next;
  }
  for (SceneLight* l = scene->lights; l;) {
    SceneLight* next = l->next;
    delete l;
    l = next;
  }
  delete scene->model;
  delete scene;
}

const char* Scene_GetLastError(int* code) {
  if (code) *code = g_lastErrorCode;
  return g_lastErrorText.c_str();
}
