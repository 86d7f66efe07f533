// Text scene descriptions: the writer.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/CLocaleScope.h"
#include "engine/Scene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void Out(stdFile_t file, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Out(stdFile_t file, const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof buffer) {
    std_pHS->filePrintf(file, "%s", buffer);
    return;
  }
  std::vector<char> large(static_cast<size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(large.data(), large.size(), format, args);
  va_end(args);
  std_pHS->filePrintf(file, "%s", large.data());
}

const char* Text(const std::string& s) {
  return s.c_str();
}

void WriteVectorKeys(stdFile_t file, const char* format, const std::vector<SceneVectorKey>& keys) {
  int n = 1;
  for (const SceneVectorKey& k : keys) {
    Out(file, format, n++, static_cast<double>(k.time), k.x, k.y, k.z);
  }
}

void WriteValueKeys(stdFile_t file, const char* format, const std::vector<SceneValueKey>& keys) {
  int n = 1;
  for (const SceneValueKey& k : keys) Out(file, format, n++, static_cast<double>(k.time), k.value);
}

void WriteOrientation(stdFile_t file, const SceneVector& position, const SceneVector& direction) {
  Out(file, "#Orientation           x:             y:             z:  \n");
  Out(file, " POSITION         %12.5f   %12.5f   %12.5f \n", position.x, position.y, position.z);
  Out(file, " DIRECTION        %12.5f   %12.5f   %12.5f \n", direction.x, direction.y, direction.z);
}

void WriteGeneral(stdFile_t file, const Scene* s) {
  static const char* const kUnits[] = {"un", "in", "cm", "m", "yd", "mi"};
  static const char* const kInputTypes[] = {"Alias", "SoftImage", "3DS MAX"};
  Out(file, "BEGIN GENERAL\n\n");
  Out(file, "SECTION GENERAL:\n\n");
  Out(file, " Version           %d\n", s->version);
  // Values outside the tables are written as words the reader leaves alone.
  Out(file, " Global Axis       %s\n",
      s->globalAxis == 1   ? "rhand-yup"
      : s->globalAxis == 2 ? "rhand-zup"
                           : "unknown");
  Out(file, " Scale             %-4.2f %s\n", static_cast<double>(s->scale),
      s->unit >= 0 && s->unit < 6 ? kUnits[s->unit] : "none");
  Out(file, " Input Type        %s\n",
      s->inputType >= 1 && s->inputType <= 3 ? kInputTypes[s->inputType - 1] : "Unknown");
  Out(file, " Type Version      %d\n", s->typeVersion);
}

void WriteCameras(stdFile_t file, const Scene* s) {
  int count = 0;
  for (const SceneCamera* c = s->cameras; c; c = c->next) ++count;
  if (count == 0) return;
  Out(file, "\n\n");
  Out(file, "SECTION CAMERA:\n\n");
  Out(file, " Total Cameras          %d \n\n", count);
  for (const SceneCamera* c = s->cameras; c; c = c->next) {
    Out(file, "\n");
    Out(file, " Camera ID              %d \n", c->id);
    Out(file, " Camera Name            %s \n", Text(c->name));
    Out(file, " Total Frames           %d \n\n", c->frameCount);
    Out(file, " Field Of View     %12.5f \n", static_cast<double>(c->fov));
    Out(file, " Focal Length      %12.5f \n", static_cast<double>(c->focalLength));
    Out(file, " Near Clipping     %12.5f \n", static_cast<double>(c->nearClip));
    Out(file, " Far Clipping      %12.5f \n", static_cast<double>(c->farClip));
    Out(file, " Roll              %12.5f \n", static_cast<double>(c->roll));
    WriteOrientation(file, c->position, c->direction);
    const SceneCameraKeys& k = c->keys;
    const size_t sizes[6] = {k.position.size(), k.interest.size(), k.roll.size(),
                             k.fov.size(),      k.nearClip.size(), k.farClip.size()};
    bool any = false;
    for (size_t n : sizes) any = any || n != 0;
    if (any) {
      Out(file, "\n");
      Out(file, " Poskeys:   %d   Intkeys:     %d   Rollkeys:    %d\n", static_cast<int>(sizes[0]),
          static_cast<int>(sizes[1]), static_cast<int>(sizes[2]));
      Out(file, " Fovkeys:   %d   Nclipkeys:   %d   Fclipkeys:   %d\n", static_cast<int>(sizes[3]),
          static_cast<int>(sizes[4]), static_cast<int>(sizes[5]));
      Out(file, "#Name:     %s\n", Text(c->name));
      Out(file, "#key:     time:     type:            x:            y:            z:\n");
      WriteVectorKeys(file, " %-4d     %6.4f     P      %12.5f  %12.5f  %12.5f\n", k.position);
      WriteVectorKeys(file, " %-4d     %6.4f     I      %12.5f  %12.5f  %12.5f\n", k.interest);
      WriteValueKeys(file, " %-4d     %6.4f     R      %12.5f\n", k.roll);
      WriteValueKeys(file, " %-4d     %6.4f     V      %12.5f\n", k.fov);
      WriteValueKeys(file, " %-4d     %6.4f     N      %12.5f\n", k.nearClip);
      WriteValueKeys(file, " %-4d     %6.4f     F      %12.5f\n", k.farClip);
    }
    Out(file, "\n\n");
  }
}

void WriteLights(stdFile_t file, const Scene* s) {
  int count = 0;
  for (const SceneLight* l = s->lights; l; l = l->next) ++count;
  if (count == 0) return;
  Out(file, "\n\n");
  Out(file, "SECTION LIGHT:\n\n");
  Out(file, " Total Lights           %d \n", count);
  for (const SceneLight* l = s->lights; l; l = l->next) {
    Out(file, "\n");
    Out(file, " Light ID               %d \n", l->id);
    Out(file, " Light Name             %s \n", Text(l->name));
    Out(file, " Type                   %d   (1=INFINITE 2=POINT 3=SPOT)\n\n", l->type);
    Out(file, " Int Cone Angle    %12.5f \n", static_cast<double>(l->innerCone));
    Out(file, " Ext Cone Angle    %12.5f \n", static_cast<double>(l->outerCone));
    Out(file, " Start Falloff     %12.5f \n", static_cast<double>(l->startFalloff));
    Out(file, " End Falloff       %12.5f \n\n", static_cast<double>(l->endFalloff));
    Out(file, "#Color                 r:             g:             b:             a:\n");
    Out(file, " COLOR            %12.5f   %12.5f   %12.5f   %12.5f\n\n", l->color[0], l->color[1],
        l->color[2], l->color[3]);
    WriteOrientation(file, l->position, l->direction);
    const SceneLightKeys& k = l->keys;
    const size_t sizes[7] = {k.position.size(),  k.interest.size(),  k.color.size(),
                             k.innerCone.size(), k.outerCone.size(), k.startFalloff.size(),
                             k.endFalloff.size()};
    bool any = false;
    for (size_t n : sizes) any = any || n != 0;
    if (any) {
      Out(file, "\n");
      Out(file, " Poskeys:     %3d      Intkeys:     %3d      Rgbkeys:   %3d   \n",
          static_cast<int>(sizes[0]), static_cast<int>(sizes[1]), static_cast<int>(sizes[2]));
      Out(file, " CIangkeys:   %3d      CEangkeys:   %3d\n", static_cast<int>(sizes[3]),
          static_cast<int>(sizes[4]));
      Out(file, " SFallkeys:   %3d      EFallkeys:   %3d\n\n", static_cast<int>(sizes[5]),
          static_cast<int>(sizes[6]));
      Out(file, "#Name:     %s\n", Text(l->name));
      Out(file,
          "#key:     time:     type:             x:            y:            z:             a:\n");
      WriteVectorKeys(file, " %-4d     %6.4f     P           %12.5f  %12.5f  %12.5f\n", k.position);
      WriteVectorKeys(file, " %-4d     %6.4f     I           %12.5f  %12.5f  %12.5f\n", k.interest);
      int n = 1;
      for (const SceneColorKey& c : k.color) {
        Out(file, " %-4d     %6.4f     R           %12.5f  %12.5f  %12.5f   %12.5f\n", n++,
            static_cast<double>(c.time), c.r, c.g, c.b, c.a);
      }
      WriteValueKeys(file, " %-4d     %6.4f     C           %12.5f\n", k.innerCone);
      WriteValueKeys(file, " %-4d     %6.4f     S           %12.5f\n", k.outerCone);
      WriteValueKeys(file, " %-4d     %6.4f     B           %12.5f\n", k.startFalloff);
      WriteValueKeys(file, " %-4d     %6.4f     E           %12.5f\n", k.endFalloff);
    }
    Out(file, "\n\n");
  }
}

void WriteMaterials(stdFile_t file, const SceneModel* m) {
  bool present = false;
  for (const SceneMaterial& mat : m->materials) present = present || !mat.name.empty();
  if (!present) return;
  static const char* const kShading[] = {"FLAT", "LAMBERT", "PHONG", "BLINN"};
  Out(file, "SECTION MATERIAL:\n\n");
  Out(file, " Total Materials   %d \n", m->materialCount);
  for (const SceneMaterial& mat : m->materials) {
    Out(file, " Material Name     %s \n", Text(mat.name));
    Out(file, " Material Id       %d \n", mat.id);
    Out(file, " Shading           %s \n",
        mat.shading >= 0 && mat.shading < 4 ? kShading[mat.shading] : "UNKNOWN");
    Out(file, " Double-sided      %s \n", mat.doubleSided ? "TRUE" : "FALSE");
    Out(file, " Ambient RGBA      %f %f %f %f\n", mat.ambient[0], mat.ambient[1], mat.ambient[2],
        mat.ambient[3]);
    Out(file, " Specular RGBA     %f %f %f %f\n", mat.specular[0], mat.specular[1], mat.specular[2],
        mat.specular[3]);
    Out(file, " Diffuse RGBA      %f %f %f %f\n", mat.diffuseColor[0], mat.diffuseColor[1],
        mat.diffuseColor[2], mat.diffuseColor[3]);
    if (mat.shininess != -1) Out(file, " Shininess         %f \n", mat.shininess);
    if (mat.transparency != -1) Out(file, " Transparency      %f \n", mat.transparency);
    if (mat.selfIllum != -1)
      Out(file, " Self_illum        %f \n", static_cast<double>(mat.selfIllum));
    if (mat.diffuse != -1) Out(file, " Diffuse           %f \n", static_cast<double>(mat.diffuse));
    for (int map = 0; map < 3; ++map) {
      if (!mat.textureMaps[map].empty())
        Out(file, " Textmap%d          %s \n", map + 1, Text(mat.textureMaps[map]));
      if (mat.uvCounts[map][0] > 1 && mat.uvCounts[map][1] > 1)
        Out(file, " Text%dUV Count     %d %d\n", map + 1, mat.uvCounts[map][0],
            mat.uvCounts[map][1]);
    }
    if (!mat.opacityMap.empty()) Out(file, " Opacity           %s \n", Text(mat.opacityMap));
    if (!mat.bumpMap.empty()) Out(file, " Bump map          %s \n", Text(mat.bumpMap));
    if (!mat.specularMap.empty()) Out(file, " Specular map      %s \n", Text(mat.specularMap));
    if (!mat.selfIllumMap.empty()) Out(file, " Self-illum        %s \n", Text(mat.selfIllumMap));
    if (!mat.reflectMap.empty()) Out(file, " Reflect map       %s \n", Text(mat.reflectMap));
    Out(file, "\n");
  }
  Out(file, "\n");
}

void WriteGeometry(stdFile_t file, const SceneModel* m) {
  Out(file, "SECTION GEOMETRY:\n\n");
  Out(file, " Total Geometry    %d \n", static_cast<int>(m->geometries.size()));
  for (const SceneGeometry& g : m->geometries) {
    Out(file, " Geometry Name     %s \n", Text(g.name));
    Out(file, " Geometry Id       %d \n\n", g.id);
    Out(file, " Vertices          %d \n", static_cast<int>(g.vertices.size()));
    Out(file, "#num:              x:           y:           z:    \n");
    int n = 0;
    for (const SceneVector& v : g.vertices)
      Out(file, " %-7d      %12.5f %12.5f %12.5f\n", n++, v.x, v.y, v.z);
    Out(file, "\n");
    if (!g.normals.empty()) {
      Out(file, " Vertex Normal     %d \n", static_cast<int>(g.normals.size()));
      Out(file, "#num:              x:           y:           z:    \n");
      n = 0;
      for (const SceneVector& v : g.normals)
        Out(file, " %-7d      %12.5f %12.5f %12.5f\n", n++, v.x, v.y, v.z);
    }
    Out(file, "\n");
    if (!g.uvs.empty()) {
      Out(file, " Uv                %d \n", static_cast<int>(g.uvs.size()));
      Out(file, "#num:              u:           v:\n");
      n = 0;
      for (const SceneUv& uv : g.uvs) Out(file, " %-7d      %12.5f %12.5f\n", n++, uv.u, uv.v);
    }
    Out(file, "\n");
    if (!g.colors.empty()) {
      Out(file, " Color             %d \n", static_cast<int>(g.colors.size()));
      Out(file, "#num:              r:           g:           b:          a: \n");
      n = 0;
      for (const SceneColor& c : g.colors)
        Out(file, " %-7d      %12.2f %12.2f %12.2f %12.2f\n", n++, c.r, c.g, c.b, c.a);
    }
    Out(file, "\n");
    Out(file, " Polygon Faces     %d \n", static_cast<int>(g.faces.size()));
    Out(file, "#num:     matid:     n-sided:   vertices(v/n/uv/c):  \n");
    n = 0;
    for (const SceneFace& f : g.faces) {
      Out(file, " %-7d  %-4d       %-2d         ", n++, f.materialId,
          static_cast<int>(f.vertices.size()));
      for (const SceneFaceVertex& v : f.vertices)
        Out(file, " %d %d %d %d   ", v.vertex, v.normal, v.uv, -1);
      Out(file, "\n");
    }
    Out(file, "\n");
  }
  Out(file, "\n");
}

double Degrees(double radians) {
  double d = radians * 180.0 / kPi;
  if (std::fabs(d) >= 360.0) d = std::fmod(d, 360.0);
  return d;
}

void WriteTransformation(stdFile_t file, const SceneModel* m) {
  if (m->placements.empty()) return;
  Out(file, "SECTION TRANSFORMATION:\n\n");
  Out(file, " Geometry Nodes   %d \n", static_cast<int>(m->placements.size()));
  Out(file, " Rotation Order    213  (X=1,Y=2,Z=3)\n");
  for (size_t i = 0; i < m->placements.size(); ++i) {
    const ScenePlacement& p = m->placements[i];
    if (i < m->geometries.size() && m->geometries[i].id == p.id)
      Out(file, "#geoname:   %s\n", Text(m->geometries[i].name));
    Out(file, "#geoid:   type:         x:           y:           z:    \n");
    Out(file, " %-7d    T    %12.5f %12.5f %12.5f\n", p.id, p.translation.x, p.translation.y,
        p.translation.z);
    Out(file, " %-7d    R    %12.5f %12.5f %12.5f\n", p.id, Degrees(p.rotation.x),
        Degrees(p.rotation.y), Degrees(p.rotation.z));
    Out(file, " %-7d    S    %12.5f %12.5f %12.5f\n\n", p.id, p.scale.x, p.scale.y, p.scale.z);
  }
}

void WriteHierarchy(stdFile_t file, const SceneModel* m) {
  if (!m->hasHierarchy) return;
  Out(file, "SECTION HIERARCHY:\n\n");
  Out(file, " Geometry Nodes    %d \n", static_cast<int>(m->hierarchy.size()));
  Out(file, "#num:     kidcounts     kidlist:  \n");
  int n = 0;
  for (const SceneHierarchyNode& node : m->hierarchy) {
    Out(file, " %-4d        %4d      ", n++, static_cast<int>(node.children.size()));
    if (node.children.empty()) Out(file, "-1");
    for (int32_t child : node.children) Out(file, "%d  ", child);
    Out(file, "\n");
  }
}

// A kind whose keys all hold the same values is written as one key.
std::vector<SceneVectorKey> Collapsed(const std::vector<SceneVectorKey>& keys) {
  if (keys.size() <= 1) return keys;
  for (const SceneVectorKey& k : keys) {
    if (k.x != keys[0].x || k.y != keys[0].y || k.z != keys[0].z) return keys;
  }
  return {keys[0]};
}

void WriteAnimation(stdFile_t file, const SceneModel* m) {
  if (m->animation.empty()) return;
  Out(file, "\n\n");
  Out(file, "SECTION ANIMATION:\n\n");
  Out(file, " Total Nodes       %d \n", static_cast<int>(m->animation.size()));
  Out(file, " Total Frames      %d \n", m->totalFrames);
  Out(file, " Begin Frame      %d        End Frame       %d\n", m->beginFrame, m->endFrame);
  if (m->frameRate != -1) Out(file, " Frame Rate        %d \n", m->frameRate);
  for (const SceneAnimationNode& node : m->animation) {
    const std::vector<SceneVectorKey> position = Collapsed(node.position);
    const std::vector<SceneVectorKey> rotation = Collapsed(node.rotation);
    const std::vector<SceneVectorKey> scale = Collapsed(node.scale);
    Out(file, "\n");
    Out(file, " Geometry ID       %d \n", node.id);
    Out(file, " Geometry Name     %s \n", Text(node.name));
    Out(file, " Poskeys:   %d      Rotkeys:    %d      Sclkeys:     %d\n",
        static_cast<int>(position.size()), static_cast<int>(rotation.size()),
        static_cast<int>(scale.size()));
    Out(file, "#Name:     %s\n", Text(node.name));
    Out(file, "#key:     time:     type:        x:            y:            z:\n");
    WriteVectorKeys(file, " %-4d     %6.4f     P      %12.5f  %12.5f  %12.5f\n", position);
    WriteVectorKeys(file, " %-4d     %6.4f     R      %12.5f  %12.5f  %12.5f\n", rotation);
    WriteVectorKeys(file, " %-4d     %6.4f     S      %12.5f  %12.5f  %12.5f\n", scale);
  }
}

void WriteModelBody(stdFile_t file, const SceneModel* m, bool withTransformation) {
  WriteMaterials(file, m);
  WriteGeometry(file, m);
  if (withTransformation) WriteTransformation(file, m);
  WriteHierarchy(file, m);
  WriteAnimation(file, m);
}

}  // namespace

void Scene_WriteFile(stdFile_t file, const Scene* scene) {
  if (!file || !scene) return;
  const CLocaleScope cLocale;
  WriteGeneral(file, scene);
  WriteCameras(file, scene);
  WriteLights(file, scene);
  if (scene->model) {
    Out(file, "\n\n");
    Out(file, "BEGIN MODEL\n\n");
    WriteModelBody(file, scene->model, true);
  }
}

void Scene_WriteModel(stdFile_t file, const SceneModel* model) {
  if (!file || !model) return;
  const CLocaleScope cLocale;
  Out(file, "\n\n");
  WriteModelBody(file, model, false);
}
