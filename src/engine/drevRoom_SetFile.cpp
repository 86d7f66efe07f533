// Sets: the set file (sections, readers and writer), the ".setx" companion
// file, the "_lca.l3d" cutscene lights and setups made from a scene's camera.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/CLocaleScope.h"
#include "engine/Pathfinder.h"
#include "engine/Scene.h"
#include "engine/WalkPlane.h"
#include "engine/drevRoom.h"
#include "engine/drevRoom_Internal.h"
#include "platform/kv_Log.h"
#include "platform/stdByteOrder.h"
#include "std/stdConffile.h"

namespace {

struct SectionEntry {
  char name[kRoomNameSize];
  SetSectionReader reader;
};

SectionEntry g_sections[kRoomMaxSections];
int g_sectionCount = 0;

// The set being loaded and the state of its read.
Room* g_loading = nullptr;
bool g_colormapsRead = false;
int g_sectionDepth = 0;

// Sections named inside sections nest; a file that names more than this
// many in a row is not a set file.
constexpr int kMaxSectionDepth = 64;
constexpr int kMaxColormaps = 256;
constexpr int kMaxSetups = 1024;

constexpr char kNone[] = "<none>";

bool Blank(const char* line) {
  for (; *line; ++line)
    if (*line != ' ' && *line != '\t' && *line != '\r' && *line != '\n') return false;
  return true;
}

// Runs the reader registered under the name; -1 when none is.
int RunNested(const char* name) {
  const int index = drevRoom_FindSection(name);
  if (index < 0) return -1;
  if (g_sectionDepth >= kMaxSectionDepth) {
    kv_Log_Printf("[Room] - %s(%d): more than %d sections nested", stdConffile_GetFileName(),
                  stdConffile_GetLineNumber(), kMaxSectionDepth);
    return 0;
  }
  ++g_sectionDepth;
  const int result = g_sections[index].reader();
  --g_sectionDepth;
  return result;
}

// The loop every section reader shares: empty lines are skipped; a section
// line runs the reader of that section at once (its 0 fails this section
// too; an unregistered one is skipped and the lines after it stay this
// section's); every other line goes to the section's own keys, whose 0
// fails the section. The end of the file ends the section with 1.
template <typename Keys>
int SectionLoop(Keys keys) {
  while (stdConffile_NextLine()) {
    const char* line = stdConffile_line;
    if (Blank(line)) continue;
    char name[kConffileLineSize];
    if (std::sscanf(line, " section: %1023s", name) == 1) {
      if (RunNested(name) == 0) return 0;
      continue;
    }
    if (!keys(line)) return 0;
  }
  return 1;
}

int Fail(const char* what) {
  kv_Log_Printf("[Room] - %s(%d): %s: \"%s\"", stdConffile_GetFileName(),
                stdConffile_GetLineNumber(), what, stdConffile_line ? stdConffile_line : "");
  return 0;
}

// ---- Companion file ----------------------------------------------------------------

// Reads the fields of a companion file in order; any short read sticks.
class SetxReader {
 public:
  explicit SetxReader(stdFile_t file) : file_(file) {}
  bool ok() const { return ok_; }
  void Bytes(void* out, size_t size) {
    if (ok_ && Room_Services()->fileRead(file_, out, size) != size) ok_ = false;
  }
  uint8_t U8() {
    uint8_t b[1] = {0};
    Bytes(b, 1);
    return ok_ ? b[0] : 0;
  }
  uint16_t U16() {
    uint8_t b[2] = {0, 0};
    Bytes(b, 2);
    return ok_ ? static_cast<uint16_t>(b[0] | b[1] << 8) : 0;
  }
  uint32_t U32() {
    uint8_t b[4] = {0, 0, 0, 0};
    Bytes(b, 4);
    return ok_ ? stdLE_GetU32(b) : 0;
  }
  float F32() {
    const uint32_t bits = U32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  void Floats(float* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = F32();
  }
  qxVector3 Vector() {
    qxVector3 v;
    Floats(&v.x, 1);
    Floats(&v.y, 1);
    Floats(&v.z, 1);
    return v;
  }
  // A counted text into a field of size bytes: a longer text is cut (logged).
  void Text(char* field, size_t size, size_t length, const char* what) {
    std::string text(length, '\0');
    if (length) Bytes(text.data(), length);
    if (!ok_) return;
    Room_CopyName(field, size, text.c_str(), what);
  }

 private:
  stdFile_t file_;
  bool ok_ = true;
};

void ReadColors(SetxReader& in, RoomLightColors* c) {
  in.Floats(c->first, 3);
  in.Floats(c->second, 3);
  c->intensity = in.F32();
}

void ReadDeferredLight(SetxReader& in, int version, DeferredLight* l) {
  std::memset(l, 0, sizeof *l);
  in.Text(l->name, sizeof l->name, in.U8(), "companion light name");
  l->type = in.U8();
  l->position = in.Vector();
  l->rotation = in.Vector();
  l->size = in.Vector();
  in.Floats(l->parameters, 6);
  l->animationMode = in.U8();
  l->animationRate = in.F32();
  l->flag = in.U8();
  l->secondFlag = in.U8();
  in.Floats(l->extra, 4);
  if (version >= 4) {
    l->group = in.U8();
    const uint16_t length = in.U16();
    in.Text(l->filter, sizeof l->filter, length, "setup filter");
    l->filterLength = static_cast<uint16_t>(std::strlen(l->filter));
  }
  ReadColors(in, &l->a);
  if (l->animationMode != 0)
    ReadColors(in, &l->b);
  else
    l->b = l->a;
  l->period = 0.0f;
  l->time = 0.0f;
  l->from = l->a;
  l->to = l->b;
  l->current = l->a;
  l->enabled = 0;
}

void ReadResolvePoint(SetxReader& in, int version, ResolvePoint* p) {
  std::memset(p, 0, sizeof *p);
  in.Text(p->name, sizeof p->name, in.U8(), "resolve point name");
  p->position = in.Vector();
  p->firstVector = in.Vector();
  p->secondVector = in.Vector();
  in.Floats(p->values, 3);
  p->values[3] = version >= 2 ? in.F32() : 0.5f;
}

void ReadShadowCaster(SetxReader& in, ShadowCaster* c) {
  std::memset(c, 0, sizeof *c);
  in.Text(c->name, sizeof c->name, in.U8(), "shadow caster name");
  c->type = in.U8();
  c->position = in.Vector();
  c->rotation = in.Vector();
  c->size = in.Vector();
  c->rotationRate = in.Vector();
  c->currentRotation = c->rotation;
}

void ReadZShape(SetxReader& in, ZShape* z) {
  std::memset(z, 0, sizeof *z);
  in.Text(z->name, sizeof z->name, in.U8(), "Z shape name");
  z->type = in.U8();
  z->position = in.Vector();
  z->rotation = in.Vector();
  z->size = in.Vector();
  z->code = in.U8();
  const uint16_t length = in.U16();
  in.Text(z->filter, sizeof z->filter, length, "setup filter");
  z->filterLength = static_cast<uint16_t>(std::strlen(z->filter));
  z->value = z->type == 1 ? in.U8() : 1u;
}

void EmptyCompanionLists(Room* room) {
  room->numDeferredLights = 0;
  room->numFlaggedLights = 0;
  room->numDynamicLights = 0;
  room->numResolvePoints = 0;
  room->numShadowCasters = 0;
  room->numZShapes = 0;
  std::memset(room->dynamicLights, 0, sizeof room->dynamicLights);
}

// The companion records after the header; false when the file is short or
// a count is out of range.
bool ReadCompanionRecords(SetxReader& in, int version, Room* room) {
  uint32_t counts[4] = {in.U16(), in.U16(), in.U16(), 0};
  if (version >= 3) counts[3] = in.U16();
  if (!in.ok()) return false;
  for (uint32_t count : counts) {
    if (count >= static_cast<uint32_t>(kRoomMaxRecords)) {
      kv_Log_Printf("[Room] - companion file: a count of %u is out of range", count);
      return false;
    }
  }
  for (uint32_t i = 0; i < counts[0] && in.ok(); ++i) {
    DeferredLight* light = &room->deferredLights[room->numDeferredLights];
    ReadDeferredLight(in, version, light);
    if (!in.ok()) break;
    ++room->numDeferredLights;
    if (light->flag) ++room->numFlaggedLights;
  }
  for (uint32_t i = 0; i < counts[1] && in.ok(); ++i) {
    ReadResolvePoint(in, version, &room->resolvePoints[room->numResolvePoints]);
    if (in.ok()) ++room->numResolvePoints;
  }
  for (uint32_t i = 0; i < counts[2] && in.ok(); ++i) {
    ReadShadowCaster(in, &room->shadowCasters[room->numShadowCasters]);
    if (in.ok()) ++room->numShadowCasters;
  }
  for (uint32_t i = 0; i < counts[3] && in.ok(); ++i) {
    ReadZShape(in, &room->zShapes[room->numZShapes]);
    if (in.ok()) ++room->numZShapes;
  }
  return in.ok();
}

// ---- Set file writer ----------------------------------------------------------------

void Append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& text, const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  text += buffer;
}

double D(float value) {
  return static_cast<double>(value);
}

// ---- Setups from a scene's camera ---------------------------------------------------

// The last key of a list whose time lies within 0.0001 of t.
template <typename Key>
const Key* KeyAt(const std::vector<Key>& keys, double t) {
  const Key* found = nullptr;
  for (const Key& k : keys)
    if (std::fabs(static_cast<double>(k.time) - t) <= 0.0001) found = &k;
  return found;
}

// Moves a setup record to a new place; references are taken again there,
// since the resource manager links them by address.
void MoveSetup(RoomSetup* to, RoomSetup* from) {
  *to = *from;
  to->background = ResourceRef{};
  to->zbuffer = ResourceRef{};
  if (from->background.valid) RES_ADDREF(&to->background, from->background.object);
  if (from->zbuffer.valid) RES_ADDREF(&to->zbuffer, from->zbuffer.object);
  Res_ReleaseRef(&from->background);
  Res_ReleaseRef(&from->zbuffer);
}

}  // namespace

// ---- Sections -------------------------------------------------------------------------

int drevRoom_RegisterSection(const char* name, SetSectionReader reader) {
  if (!name) return 0;
  char cut[kRoomNameSize];
  Room_CopyName(cut, sizeof cut, name, "section name");
  const int index = drevRoom_FindSection(cut);
  if (index >= 0) {
    g_sections[index].reader = reader;
    return 1;
  }
  if (g_sectionCount >= kRoomMaxSections) return 0;
  std::strcpy(g_sections[g_sectionCount].name, cut);
  g_sections[g_sectionCount].reader = reader;
  ++g_sectionCount;
  return 1;
}

int drevRoom_FindSection(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < g_sectionCount; ++i)
    if (strcasecmp(g_sections[i].name, name) == 0) return i;
  return -1;
}

int drevRoom_RunSection(const char* name) {
  const int index = drevRoom_FindSection(name);
  if (index < 0 || !g_sections[index].reader) return 1;
  return g_sections[index].reader();
}

Room* drevRoom_GetLoadingRoom(void) {
  return g_loading;
}

void drevRoom_SetLoadingRoom(Room* room) {
  g_loading = room;
}

int drevRoom_ReadColormapsSection(void) {
  Room* room = g_loading;
  if (!room) return 0;
  if (g_colormapsRead || room->apColormaps) return Fail("a second colormaps section");
  g_colormapsRead = true;
  return SectionLoop([room](const char* line) {
    int n;
    char name[kConffileLineSize];
    if (std::sscanf(line, " numcolormaps %d", &n) == 1) {
      if (room->apColormaps) return Fail("a second colormap count");
      if (n > kMaxColormaps) return Fail("too many colormaps");
      room->numColormaps = n > 0 ? static_cast<uint32_t>(n) : 0;
      if (n >= 1) {
        const size_t bytes = sizeof(ResourceRef) * static_cast<size_t>(n);
        room->apColormaps =
            static_cast<ResourceRef*>(Room_Services()->memAlloc(bytes, __FILE__, __LINE__));
        if (!room->apColormaps) {
          room->numColormaps = 0;
          return Fail("no memory for the colormaps");
        }
        std::memset(room->apColormaps, 0, bytes);
      }
      return 1;
    }
    if (room->apColormaps && std::sscanf(line, " colormap %1023s", name) == 1)
      Room_CopyName(room->colormapName, sizeof room->colormapName, name, "colormap name");
    return 1;
  });
}

int drevRoom_ReadSetupsSection(void) {
  Room* room = g_loading;
  if (!room) return 0;
  bool counted = false;
  int cursor = -1;
  return SectionLoop([room, &counted, &cursor](const char* line) {
    int n;
    char name[kConffileLineSize];
    float v[3];
    if (std::sscanf(line, " numsetups %d", &n) == 1) {
      if (counted || room->setups) return Fail("a second setup count");
      if (n > kMaxSetups) return Fail("too many setups");
      counted = true;
      cursor = -1;
      if (n > 0) {
        const size_t bytes = sizeof(RoomSetup) * static_cast<size_t>(n);
        room->setups =
            static_cast<RoomSetup*>(Room_Services()->memAlloc(bytes, __FILE__, __LINE__));
        if (!room->setups) return Fail("no memory for the setups");
        std::memset(room->setups, 0, bytes);
        room->numSetups = static_cast<uint32_t>(n);
      }
      return 1;
    }
    if (!counted) return Fail("a setup key before numsetups");
    if (std::sscanf(line, " setup %1023s", name) == 1) {
      if (cursor + 1 >= static_cast<int>(room->numSetups))
        return Fail("more setups than numsetups");
      ++cursor;
      Room_CopyName(room->setups[cursor].name, kRoomNameSize, name, "setup name");
      return 1;
    }
    if (cursor < 0) return Fail("a setup key before the first setup");
    RoomSetup& s = room->setups[cursor];
    if (std::sscanf(line, " background %1023s", name) == 1) {
      Room_CopyName(s.backgroundName, kRoomNameSize, name, "background name");
    } else if (std::sscanf(line, " zbuffer %1023s", name) == 1) {
      Room_CopyName(s.zbufferName, kRoomNameSize, name, "depth image name");
    } else if (std::sscanf(line, " position %f %f %f", &v[0], &v[1], &v[2]) == 3) {
      s.position = {v[0], v[1], v[2]};
    } else if (std::sscanf(line, " interest %f %f %f", &v[0], &v[1], &v[2]) == 3) {
      s.interest = {v[0], v[1], v[2]};
    } else if (std::sscanf(line, " roll %f", &v[0]) == 1) {
      s.roll = v[0];
    } else if (std::sscanf(line, " fov %f", &v[0]) == 1) {
      s.fov = v[0];
    } else if (std::sscanf(line, " nclip %f", &v[0]) == 1) {
      s.nclip = v[0];
    } else if (std::sscanf(line, " fclip %f", &v[0]) == 1) {
      s.fclip = v[0];
    } else {
      return Fail("unknown setup key");
    }
    return 1;
  });
}

int drevRoom_ReadLightsSection(void) {
  Room* room = g_loading;
  if (!room) return 0;
  room->numLights = 0;
  bool counted = false;
  int cursor = -1;
  RoomLight* light = nullptr;
  return SectionLoop([room, &counted, &cursor, &light](const char* line) {
    int n;
    char word[kConffileLineSize];
    float v[3];
    int rgb[3];
    if (std::sscanf(line, " numlights %d", &n) == 1) {
      if (n > kRoomMaxLights) {
        kv_Log_Printf("[Room] - %s: %d lights announced, %d kept", stdConffile_GetFileName(), n,
                      kRoomMaxLights);
        n = kRoomMaxLights;
      }
      room->numLights = n > 0 ? static_cast<uint32_t>(n) : 0;
      std::memset(room->lights, 0, sizeof room->lights);
      counted = true;
      cursor = -1;
      light = nullptr;
      return 1;
    }
    if (!counted) return 1;
    if (std::sscanf(line, " light %1023s", word) == 1) {
      light = nullptr;
      if (cursor + 1 >= kRoomMaxLights) {
        kv_Log_Printf("[Room] - %s: light %s is beyond %d lights and ignored",
                      stdConffile_GetFileName(), word, kRoomMaxLights);
        return 1;
      }
      light = &room->lights[++cursor];
      std::memset(light, 0, sizeof *light);
      qxLight_NewEntry(&light->light);
      light->light.type = QXLIGHT_POINT;
      light->light.active = 1;
      light->light.color = 0xFFFFFF;
      light->light.intensity = 1.0f;
      Room_CopyName(light->name, sizeof light->name, word, "light name");
      if (strcasecmp(light->name, "flash") == 0) light->light.active = 0;
      return 1;
    }
    if (!light) return 1;
    if (std::sscanf(line, " type %1023s", word) == 1) {
      if (strcasecmp(word, "omni") == 0)
        light->light.type = QXLIGHT_POINT;
      else if (std::strcmp(word, "spot") == 0)
        light->light.type = QXLIGHT_SPOT;
      else
        light->light.type = 0;
    }
    if (std::sscanf(line, " direction %f %f %f", &v[0], &v[1], &v[2]) == 3) {
      light->light.direction = {v[0], v[1], v[2]};
      qxVector3_NormalizeInPlace(&light->light.direction);
    }
    if (std::sscanf(line, " position %f %f %f", &v[0], &v[1], &v[2]) == 3)
      light->position = {v[0], v[1], v[2]};
    if (std::sscanf(line, " intensity %f", &v[0]) == 1) light->light.intensity = v[0];
    if (std::sscanf(line, " umbraangle %f", &v[0]) == 1) light->light.innerAngle = v[0];
    if (std::sscanf(line, " penumbraangle %f", &v[0]) == 1) light->light.outerAngle = v[0];
    if (std::sscanf(line, " color %d %d %d", &rgb[0], &rgb[1], &rgb[2]) == 3) {
      // 8 bits per component: a value outside 0-255 does not spill into the others.
      light->light.color = static_cast<uint32_t>(rgb[0] & 0xFF) << 16 |
                           static_cast<uint32_t>(rgb[1] & 0xFF) << 8 |
                           static_cast<uint32_t>(rgb[2] & 0xFF);
    }
    return 1;
  });
}

int drevRoom_ReadSectorsSection(void) {
  Room* room = g_loading;
  const char* next = WalkPlane_ReadSectors(room ? room->name : "");
  if (next) {
    const std::string name(next);
    RunNested(name.c_str());
  }
  Pathfinder_Construct();
  Pathfinder_Invalidate();
  return 1;
}

// ---- Reading a set file ----------------------------------------------------------------

int drevRoom_ReadSetFile(const char* path) {
  Room* room = g_loading;
  if (!path || !room) return 0;
  if (!stdConffile_Open(path)) return 0;
  const CLocaleScope cLocale;
  g_colormapsRead = false;
  g_sectionDepth = 0;
  int ok = 1;
  while (ok && stdConffile_NextLine()) {
    char name[kConffileLineSize];
    if (std::sscanf(stdConffile_line, "section: %1023s", name) == 1 && RunNested(name) == 0) ok = 0;
  }
  stdConffile_Close();
  if (!ok) return 0;

  // The companion is named after the file-name part's extension.
  std::string companion(path);
  const size_t tail = static_cast<size_t>(Room_FileNamePart(path) - path);
  const size_t dot = companion.rfind('.');
  if (dot == std::string::npos || dot < tail) return 1;
  companion.replace(dot, std::string::npos, ".setx");
  if (!drevRoom_ReadSetx(companion.c_str(), room, nullptr)) {
    companion.replace(dot, std::string::npos, "_lca.l3d");
    drevRoom_ReadL3dLights(companion.c_str(), room);
  }
  return 1;
}

int drevRoom_ReadSetx(const char* path, Room* room, int* readFlag) {
  if (!path || !room) return 0;
  HostServices* hs = Room_Services();
  const stdFile_t file = hs->fileOpen(path, "rb");
  if (!file) return 0;
  SetxReader in(file);
  in.U32();  // not interpreted
  const uint16_t version = in.U16();
  const uint32_t stamp = in.U32();
  int ok = 0;
  if (!in.ok() || version < 1 || version > 4) {
    kv_Log_Printf("[Room] - %s: not a companion file of versions 1 to 4", path);
  } else if (stamp == room->companionStamp) {
    // Read already. A new set's stamp is 0, so a companion of stamp 0 is
    // never read into it (and counts as read: no cutscene-light fallback).
    ok = 1;
  } else {
    EmptyCompanionLists(room);
    if (ReadCompanionRecords(in, version, room)) {
      room->companionStamp = stamp;
      if (readFlag) *readFlag = 1;
      ok = 2;
    } else {
      kv_Log_Printf("[Room] - %s: companion file is short or out of range", path);
      EmptyCompanionLists(room);
    }
  }
  hs->fileClose(file);
  if (ok == 2 && room->companionName[0] == '\0')
    Room_CopyName(room->companionName, sizeof room->companionName, path, "companion name");
  return ok ? 1 : 0;
}

int drevRoom_ReadL3dLights(const char* path, Room* room) {
  if (!path || !room) return 0;
  Scene* scene = Scene_New();
  if (Scene_ReadFile(path, scene) != 0) {
    Scene_Free(scene);
    return 0;
  }
  int records = 0;
  for (const SceneLight* l = scene->lights; l; l = l->next) ++records;
  const int room_left = kRoomMaxLights - static_cast<int>(room->numCutsceneLights);
  const int count = std::min({scene->lightCount, room_left, records});
  if (count <= 0) {
    Scene_Free(scene);
    return 0;
  }
  const SceneLight* l = scene->lights;
  for (int i = 0; i < count; ++i, l = l->next) {
    RoomLight* out = &room->cutsceneLights[room->numCutsceneLights + i];
    std::memset(out, 0, sizeof *out);
    qxLight_NewEntry(&out->light);
    Room_CopyName(out->name, sizeof out->name, l->name.c_str(), "cutscene light name");
    const qxVector3 position = {static_cast<float>(l->position.x * 0.1),
                                static_cast<float>(l->position.y * 0.1),
                                static_cast<float>(l->position.z * 0.1)};
    out->position = position;
    switch (l->type) {
      case kSceneLightInfinite:
        out->light.type = 0;
        out->light.direction = position;
        break;
      case kSceneLightSpot:
        out->light.type = QXLIGHT_SPOT;
        out->light.direction = {static_cast<float>(l->direction.x - l->position.x),
                                static_cast<float>(l->direction.y - l->position.y),
                                static_cast<float>(l->direction.z - l->position.z)};
        qxLight_SetSpotAngles(&out->light, l->innerCone, l->outerCone);
        break;
      case kSceneLightPoint:
        out->light.type = QXLIGHT_POINT;
        break;
      default:
        break;
    }
    out->light.colorR = static_cast<float>(l->color[0]);
    out->light.colorG = static_cast<float>(l->color[1]);
    out->light.colorB = static_cast<float>(l->color[2]);
    uint32_t packed = 0;
    for (int c = 0; c < 3; ++c) {
      // A negative component packs as 0 rather than spilling into the others.
      const double scaled = std::clamp(l->color[c] * 256.0, 0.0, 255.0);
      packed = packed << 8 | static_cast<uint32_t>(scaled);
    }
    out->light.color = packed;
    out->light.intensity = l->endFalloff * 0.2f * 0.1f;
    if (out->light.intensity > 100.0f) out->light.intensity = 1.0f;
    out->light.startFalloff = l->startFalloff * 0.1f;
    out->light.endFalloff = l->endFalloff * 0.1f;
  }
  room->numCutsceneLights += static_cast<uint32_t>(count);
  Scene_Free(scene);
  return count;
}

// ---- Writing a set file ----------------------------------------------------------------

std::string drevRoom_LightsSectionText(const Room* room) {
  const CLocaleScope cLocale;
  std::string text;
  const uint32_t count = std::min(room->numLights, static_cast<uint32_t>(kRoomMaxLights));
  Append(text, "section: lights\n");
  Append(text, "\tnumlights\t%d\n\n", static_cast<int>(count));
  for (uint32_t i = 0; i < count; ++i) {
    const RoomLight& l = room->lights[i];
    const char* type = l.light.type == QXLIGHT_POINT  ? "omni\t"
                       : l.light.type == QXLIGHT_SPOT ? "spot\t"
                                                      : "direct";
    Append(text, "\tlight\t\t%s\n", l.name);
    Append(text, "\ttype\t\t%s\n", type);
    Append(text, "\tposition\t\t%f\t%f\t%f\n", D(l.position.x), D(l.position.y), D(l.position.z));
    Append(text, "\tdirection\t%f\t%f\t%f\n", D(l.light.direction.x), D(l.light.direction.y),
           D(l.light.direction.z));
    Append(text, "\tintensity\t%f\n", D(l.light.intensity));
    Append(text, "\tumbraangle\t\t%f\n", D(l.light.innerAngle));
    Append(text, "\tpenumbraangle\t%f\n", D(l.light.outerAngle));
    Append(text, "\tcolor\t\t\t\t%d %d %d\n", static_cast<int>(l.light.color >> 16 & 0xFF),
           static_cast<int>(l.light.color >> 8 & 0xFF), static_cast<int>(l.light.color & 0xFF));
    Append(text, "\n\n");
  }
  return text;
}

int drevRoom_WriteSetFile(const char* path, Room* room) {
  if (!path || !room) return 0;
  HostServices* hs = Room_Services();
  const stdFile_t file = hs->fileOpen(path, "w");
  if (!file) return 0;
  std::string text;
  {
    const CLocaleScope cLocale;
    Append(text, "section: colormaps\n");
    Append(text, "\tnumcolormaps\t%d\n", static_cast<int>(room->numColormaps));
    for (uint32_t i = 0; i < room->numColormaps; ++i)
      Append(text, "\tcolormap\t%s\n", room->colormapName);
    Append(text, "\n\n");
    Append(text, "section: setups\n");
    Append(text, "\tnumsetups\t%d\n\n", static_cast<int>(room->numSetups));
    for (uint32_t i = 0; room->setups && i < room->numSetups; ++i) {
      const RoomSetup& s = room->setups[i];
      Append(text, "\tsetup\t%s\n", s.name);
      Append(text, "\tbackground\t%s\n", s.backgroundName);
      Append(text, "\tzbuffer\t\t%s\n", s.zbufferName[0] ? s.zbufferName : kNone);
      Append(text, "\tposition\t%f\t%f\t%f\n", D(s.position.x), D(s.position.y), D(s.position.z));
      Append(text, "\tinterest\t%f\t%f\t%f\n", D(s.interest.x), D(s.interest.y), D(s.interest.z));
      Append(text, "\troll\t\t%f\n", D(s.roll));
      Append(text, "\tfov\t\t%f\n", D(s.fov));
      Append(text, "\tnclip\t\t%f\n", D(s.nclip));
      Append(text, "\tfclip\t\t%f\n", D(s.fclip));
      Append(text, "\n\n");
    }
  }
  text += drevRoom_LightsSectionText(room);
  hs->filePrintf(file, "%s", text.c_str());
  WalkPlane_WriteSectors(file);
  hs->filePrintf(file, "\n");
  hs->fileClose(file);
  return 1;
}

// ---- Setups from a scene's camera -------------------------------------------------------

int drevRoom_ImportCameras(const char* path, Room* room) {
  if (!path || !room) return 0;
  Scene* scene = Scene_New();
  const int result = Scene_ReadFile(path, scene);
  const SceneCamera* camera = scene->cameras;
  if (result != 0 || !camera) {
    kv_Log_Printf("[Room] - %s: %s", path,
                  result != 0 ? "the scene cannot be read" : "the scene has no camera");
    Scene_Free(scene);
    return 0;
  }
  constexpr int kMaxFrames = 100000;
  const int frames = std::min(camera->frameCount, kMaxFrames);
  const SceneCameraKeys& k = camera->keys;
  std::vector<RoomSetup> made;
  for (int f = 0; f < frames; ++f) {
    // One frame is one setup at time 0.
    const double t = frames > 1 ? static_cast<double>(f) / (frames - 1) : 0.0;
    const SceneVectorKey* position = KeyAt(k.position, t);
    const SceneVectorKey* interest = KeyAt(k.interest, t);
    const SceneValueKey* roll = KeyAt(k.roll, t);
    const SceneValueKey* fov = KeyAt(k.fov, t);
    const SceneValueKey* nearClip = KeyAt(k.nearClip, t);
    const SceneValueKey* farClip = KeyAt(k.farClip, t);
    if (!position || !interest || !roll || !fov || !nearClip || !farClip) break;
    RoomSetup s{};
    std::strcpy(s.name, "<unnamed>");
    std::strcpy(s.backgroundName, kNone);
    std::strcpy(s.zbufferName, kNone);
    s.position = {static_cast<float>(position->x * 0.1), static_cast<float>(position->y * 0.1),
                  static_cast<float>(position->z * 0.1)};
    s.interest = {static_cast<float>(interest->x * 0.1), static_cast<float>(interest->y * 0.1),
                  static_cast<float>(interest->z * 0.1)};
    s.roll = static_cast<float>(roll->value);
    s.fov = static_cast<float>(fov->value);
    s.nclip = static_cast<float>(nearClip->value * 0.1);
    s.fclip = static_cast<float>(farClip->value * 0.1);
    made.push_back(s);
  }
  Scene_Free(scene);
  if (made.empty()) return 0;
  const size_t total = room->numSetups + made.size();
  auto* setups = static_cast<RoomSetup*>(
      Room_Services()->memAlloc(sizeof(RoomSetup) * total, __FILE__, __LINE__));
  if (!setups) return 0;
  std::memset(setups, 0, sizeof(RoomSetup) * total);
  for (uint32_t i = 0; i < room->numSetups; ++i) MoveSetup(&setups[i], &room->setups[i]);
  for (size_t i = 0; i < made.size(); ++i) setups[room->numSetups + i] = made[i];
  if (room->setups) Room_Services()->memFree(room->setups);
  room->setups = setups;
  room->numSetups = static_cast<uint32_t>(total);
  return static_cast<int>(made.size());
}
