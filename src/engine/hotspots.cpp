// Hotspots: the ".hot" reader, the point query, moving and linking, save and
// restore, and the debug view.
#include "engine/hotspots.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/ActorRecord.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxPrimitive.h"
#include "script/runtime/lua31.h"
#include "std/stdConffile.h"

namespace {

HotspotSet* g_set = nullptr;

// Debug colours (5-6-5 pixels): special, file and script hotspots.
constexpr int kColourSpecial = 0xF800;  // red
constexpr int kColourFile = 0xFFE0;     // yellow
constexpr int kColourScript = 0x07E0;   // green

// The same colour packed for text (red in the low byte).
constexpr uint32_t PackedColour(int rgb565) {
  const uint32_t v = static_cast<uint32_t>(rgb565);
  return ((v >> 11) & 0x1F) << 3 | ((v >> 5) & 0x3F) << 2 << 8 | (v & 0x1F) << 3 << 16;
}

void CopyField(char* field, size_t size, const char* text) {
  std::strncpy(field, text ? text : "", size - 1);
  field[size - 1] = '\0';
}

void RemoveAt(HotspotSet* set, int index) {
  delete set->hotspots[index];
  set->hotspots[index] = set->hotspots[--set->numHotspots];
  set->hotspots[set->numHotspots] = nullptr;
}

bool IdInUse(const HotspotSet* set, int id) {
  for (int i = 0; i < set->numHotspots; ++i) {
    if (set->hotspots[i]->id == id) return true;
  }
  return false;
}

// ---- The ".hot" reader ------------------------------------------------------------

// A reading failure: the message names what is wrong.
struct Malformed {
  const char* what;
};

// Reads lines until one that starts (after blanks) with the keyword, a blank
// and more text; answers that text without its surrounding blanks.
bool ParseLine(const char* keyword, std::string& text) {
  const size_t length = std::strlen(keyword);
  while (stdConffile_NextLine()) {
    const char* line = stdConffile_line;
    while (*line == ' ' || *line == '\t') ++line;
    if (std::strncmp(line, keyword, length) != 0) continue;
    const char* rest = line + length;
    if (*rest != ' ' && *rest != '\t') continue;
    while (*rest == ' ' || *rest == '\t') ++rest;
    std::string value = rest;
    while (!value.empty() && std::strchr(" \t\r\n", value.back())) value.pop_back();
    if (value.empty()) continue;
    text = value;
    return true;
  }
  return false;
}

std::string Expect(const char* keyword, const char* what) {
  std::string text;
  if (!ParseLine(keyword, text)) throw Malformed{what};
  return text;
}

int TypeFromWord(const std::string& word) {
  static const char* const kWords[] = {"object", "walk", "dynamic", "special", "dialog", "options"};
  for (int i = 0; i < 6; ++i) {
    if (word == kWords[i]) return i + 1;
  }
  return 0;
}

int CursorFromWord(const std::string& word) {
  static const char* const kWords[] = {"hotspot",    "walk",     "arrow_right",
                                       "arrow_left", "arrow_up", "arrow_down"};
  for (int i = 0; i < 6; ++i) {
    if (word == kWords[i]) return i + 1;
  }
  return 0;
}

void hotspots_ReadEntry(Hotspot* h) {
  h->wait = 0;
  h->overlay = -1;
  h->scriptAdded = 0;
  h->linkedActor = -1;
  CopyField(h->name, sizeof h->name, Expect("hotspot", "missing \"hotspot\"").c_str());
  CopyField(h->idString, sizeof h->idString, Expect("id", "missing \"id\"").c_str());
  h->type = TypeFromWord(Expect("type", "missing \"type\""));
  h->cursor = CursorFromWord(Expect("cursor", "missing \"cursor\""));

  if (h->type == HOTSPOT_DYNAMIC) {
    h->pathLen = 0;
    const std::string offset = Expect("offset", "invalid hotspot file: offset");
    if (std::sscanf(offset.c_str(), " (%f %f %f)", &h->offset.x, &h->offset.y, &h->offset.z) != 3) {
      throw Malformed{"invalid hotspot file: offset"};
    }
  } else {
    h->offset = {0, 0, 0};
    const std::string path = Expect("path", "invalid hotspot file: path");
    const char* text = path.c_str();
    int count = 0, used = 0;
    if (std::sscanf(text, "%d:%n", &count, &used) != 1 || used == 0 || count < 0) {
      throw Malformed{"invalid hotspot file: path"};
    }
    if (count > HOTSPOT_MAX_PATH) throw Malformed{"path too long, increase threshold"};
    text += used;
    for (int i = 0; i < count; ++i) {
      qxVector3& p = h->path[i];
      used = 0;
      if (std::sscanf(text, " (%f %f %f)%n", &p.x, &p.y, &p.z, &used) != 3 || used == 0) {
        throw Malformed{"invalid hotspot file: fewer path points than announced"};
      }
      text += used;
    }
    h->pathLen = count;
    std::sscanf(text, " wait %f", &h->wait);
  }

  const std::string region = Expect("region", "invalid hotspot file: region");
  const char* text = region.c_str();
  int count = 0, used = 0;
  if (std::sscanf(text, "%d:%n", &count, &used) != 1 || used == 0 || count < 0) {
    throw Malformed{"invalid hotspot file: region"};
  }
  if (count > HOTSPOT_MAX_REGION)
    throw Malformed{"too many vertices in polygon, increase threshold"};
  text += used;
  for (int i = 0; i < count; ++i) {
    HotspotPoint& p = h->points[i];
    used = 0;
    if (std::sscanf(text, " (%d %d)%n", &p.x, &p.y, &used) != 2 || used == 0) {
      throw Malformed{"invalid hotspot file: fewer region points than announced"};
    }
    text += used;
    // Game space to the 1440 x 1080 area.
    drevMain_Calls().overlayGameToScreen(&p.x, &p.y, 0, 0);
    drevMain_Calls().overlayScreenToGame(&p.x, &p.y, 1, 0);
  }
  h->num = count;
  h->mode = 1;
}

// Reads one setup block into the list; room is what the slots still take.
void hotspots_ReadSetup(int setup, std::vector<std::unique_ptr<Hotspot>>& list, int room) {
  const std::string number = Expect("num_hotspots:", "invalid hotspot file");
  int n = 0;
  if (std::sscanf(number.c_str(), "%d", &n) != 1 || n < 0) throw Malformed{"invalid hotspot file"};
  for (int i = 0; i < n; ++i) {
    if (static_cast<int>(list.size()) >= room) throw Malformed{"too many hotspots"};
    auto h = std::make_unique<Hotspot>();
    h->setup = setup;
    hotspots_ReadEntry(h.get());
    list.push_back(std::move(h));
  }
}

bool MakeHotName(const char* setFileName, std::string& hot) {
  hot = setFileName;
  for (size_t i = 0; i + 4 <= hot.size(); ++i) {
    if (strncasecmp(hot.c_str() + i, ".set", 4) == 0) {
      hot.replace(i, 4, ".hot");
      return true;
    }
  }
  return false;
}

}  // namespace

// ---- The set ------------------------------------------------------------------------

HotspotSet* hotspots_Init(void) {
  if (!g_set) g_set = new HotspotSet{};
  return g_set;
}

void hotspots_LoadForSet(const char* setFileName) {
  HotspotSet* set = hotspots_Init();
  if (!setFileName || std::strncmp(set->source, setFileName, sizeof set->source - 1) == 0) return;
  std::string hotName;
  if (!MakeHotName(setFileName, hotName) || !stdConffile_Open(hotName.c_str())) return;

  CopyField(set->source, sizeof set->source, setFileName);
  for (int i = set->numHotspots - 1; i >= 0; --i) {
    if (!set->hotspots[i]->scriptAdded) RemoveAt(set, i);
  }

  // The whole file is read before any hotspot joins the set.
  std::vector<std::unique_ptr<Hotspot>> list;
  const int room = HOTSPOT_MAX - set->numHotspots;
  try {
    const std::string total = Expect("hotspots_total:", "invalid hotspot file");
    int declared = 0;
    if (std::sscanf(total.c_str(), "%d", &declared) != 1) throw Malformed{"invalid hotspot file"};
    if (declared >= HOTSPOT_MAX || declared < 0) throw Malformed{"too many hotspots"};
    while (stdConffile_NextLine()) {
      int setup = 0;
      char colon = 0;
      if (std::sscanf(stdConffile_line, "setup %d%c", &setup, &colon) == 2 && colon == ':') {
        hotspots_ReadSetup(setup, list, room);
      }
    }
  } catch (const Malformed& bad) {
    kv_Log_Printf("[Hotspots] - %s refused (line %d): %s", hotName.c_str(),
                  stdConffile_GetLineNumber(), bad.what);
    stdConffile_Close();
    return;
  }
  stdConffile_Close();
  for (auto& h : list) {
    h->id = hotspots_NextId();
    set->hotspots[set->numHotspots++] = h.release();
  }
  kv_Log_Printf("[Hotspots] - %s: %d hotspots loaded", hotName.c_str(),
                static_cast<int>(list.size()));
}

int hotspots_NextId(void) {
  HotspotSet* set = hotspots_Init();
  do {
    set->idCounter = (set->idCounter + 1) % HOTSPOT_MAX_ID;
  } while (IdInUse(set, set->idCounter));
  return set->idCounter;
}

int hotspots_Add(Hotspot* hotspot) {
  HotspotSet* set = hotspots_Init();
  if (!hotspot) return -1;
  if (!(set->numHotspots + 1 < HOTSPOT_MAX)) {
    kv_Log_Printf("[Hotspots] - too many hotspots: \"%s\" not added", hotspot->idString);
    delete hotspot;
    return -1;
  }
  hotspot->id = hotspots_NextId();
  set->hotspots[set->numHotspots++] = hotspot;
  set->idCounter = (set->idCounter + 1) % HOTSPOT_MAX_ID;
  return hotspot->id;
}

void hotspots_Remove(int id) {
  HotspotSet* set = hotspots_Init();
  for (int i = 0; i < set->numHotspots; ++i) {
    if (set->hotspots[i]->id != id) continue;
    if (set->hotspots[i]->overlay >= 0)
      drevMain_Calls().overlayDestroy(set->hotspots[i]->overlay);
    RemoveAt(set, i);
    return;
  }
}

void hotspots_FreeAll(void) {
  HotspotSet* set = hotspots_Init();
  while (set->numHotspots > 0) RemoveAt(set, set->numHotspots - 1);
}

int hotspots_PointInPolygon(const Hotspot* h, const HotspotPoint* point) {
  int32_t x = point->x, y = point->y;
  drevMain_Calls().overlayScreenToGame(&x, &y, h->mode, 0);
  bool inside = false;
  const int n = std::min<int>(h->num, HOTSPOT_MAX_REGION);
  for (int i = 0; i < n; ++i) {
    const HotspotPoint& p = h->points[i];
    const HotspotPoint& q = h->points[(i + n - 1) % n];
    if ((y < p.y) == (y < q.y)) continue;
    const int64_t cross =
        int64_t{p.x} + (int64_t{q.x} - p.x) * (int64_t{y} - p.y) / (int64_t{q.y} - p.y);
    if (x < cross) inside = !inside;
  }
  return inside;
}

void hotspots_Recentre(Hotspot* h, const HotspotPoint* point, int mode) {
  const int n = std::min<int>(h->num, HOTSPOT_MAX_REGION);
  if (n <= 0) return;
  int32_t x = point->x, y = point->y;
  drevMain_Calls().overlayGameToScreen(&x, &y, mode, 0);
  drevMain_Calls().overlayScreenToGame(&x, &y, h->mode, 0);
  int64_t sumX = 0, sumY = 0;
  for (int i = 0; i < n; ++i) {
    sumX += h->points[i].x;
    sumY += h->points[i].y;
  }
  const int64_t dx = x - sumX / n, dy = y - sumY / n;
  for (int i = 0; i < n; ++i) {
    h->points[i].x = static_cast<int32_t>(h->points[i].x + dx);
    h->points[i].y = static_cast<int32_t>(h->points[i].y + dy);
  }
}

void hotspots_MoveTo(const char* idString, int x, int y, int mode) {
  HotspotSet* set = hotspots_Init();
  const HotspotPoint point{x, y};
  for (int i = 0; i < set->numHotspots; ++i) {
    if (std::strcmp(set->hotspots[i]->idString, idString) == 0) {
      hotspots_Recentre(set->hotspots[i], &point, mode);
    }
  }
}

void hotspots_Link(const char* idString, int actor) {
  HotspotSet* set = hotspots_Init();
  for (int i = 0; i < set->numHotspots; ++i) {
    if (std::strcmp(set->hotspots[i]->idString, idString) == 0)
      set->hotspots[i]->linkedActor = actor;
  }
}

int hotspots_PassesFilter(int mode, int type, int cursor) {
  switch (mode) {
    case 0:
      return type != HOTSPOT_SPECIAL && type != HOTSPOT_SCRIPT_8;
    case 1:
      return type == HOTSPOT_SPECIAL || type == HOTSPOT_SCRIPT;
    case 2:
      return type == HOTSPOT_SCRIPT_8;
    case 3:
      return type == HOTSPOT_WALK || type == HOTSPOT_SPECIAL || type == HOTSPOT_SCRIPT ||
             (type == HOTSPOT_OBJECT && cursor == 2);
    case 5:
      return type == HOTSPOT_SCRIPT_9;
    default:
      return 0;
  }
}

int hotspots_QueryAtPoint(const HotspotPoint* point, Hotspot** list, int capacity, int mode) {
  HotspotSet* set = hotspots_Init();
  const Room* room = drevMain_Calls().roomGetCurrent();
  if (!room) return 0;
  const int setup = static_cast<int>(room->currentSetup);
  int listed = 0;
  auto special = [](const Hotspot* h) {
    return h->type == HOTSPOT_SPECIAL || h->type == HOTSPOT_SCRIPT;
  };
  // Special hotspots first; every overlay starts hidden.
  for (int i = 0; i < set->numHotspots; ++i) {
    Hotspot* h = set->hotspots[i];
    const bool hasOverlay = h->overlay >= 0;
    if (hasOverlay) drevMain_Calls().overlaySetVisibility(h->overlay, 2);
    if ((h->setup != setup && h->setup != -1) || !special(h)) continue;
    if (!hotspots_PassesFilter(mode, h->type, h->cursor) || !hotspots_PointInPolygon(h, point)) {
      continue;
    }
    if (listed < capacity) list[listed++] = h;
    if (hasOverlay) drevMain_Calls().overlaySetVisibility(h->overlay, 1);
  }
  for (int i = 0; i < set->numHotspots && listed < capacity; ++i) {
    Hotspot* h = set->hotspots[i];
    if ((h->setup != setup && h->setup != -1) || special(h)) continue;
    if (!hotspots_PassesFilter(mode, h->type, h->cursor)) continue;
    if (h->type == HOTSPOT_DYNAMIC) {
      // Follow the linked actor: its offset projected through the camera.
      const Actor* actor =
          h->linkedActor >= 0 ? drevMain_Calls().actorFromIndex(h->linkedActor) : nullptr;
      if (!actor) continue;
      qxVector3 world;
      qxMatrix34_TransformPoint(&world, &h->offset, &actor->transform);
      qxScreenPoint screen{};
      if (!drevMain_Calls().projectPoint3(&world, &screen)) continue;
      const HotspotPoint centre{screen.x, screen.y};
      hotspots_Recentre(h, &centre, 0);
    }
    if (!hotspots_PointInPolygon(h, point)) continue;
    list[listed++] = h;
    if (h->overlay >= 0) drevMain_Calls().overlayRaiseLayer(h->overlay, 2);
  }
  return listed;
}

// ---- Save and restore ---------------------------------------------------------------

namespace {

const uint8_t kPad[20] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

bool Put(SaveTransferFn write, const void* data, size_t size) {
  return write(const_cast<void*>(data), size) == 0;
}

bool Get(SaveTransferFn read, void* data, size_t size) {
  return read(data, size) == 0;
}

}  // namespace

int hotspots_Save(SaveTransferFn write) {
  HotspotSet* set = hotspots_Init();
  if (!write) return 0;
  if (!Put(write, &set->numHotspots, 4) || !Put(write, &set->idCounter, 4)) return 0;
  bool ok = Put(write, kPad, 20) && Put(write, set->source, HOTSPOT_SOURCE_SIZE);
  for (int i = 0; i < set->numHotspots && ok; ++i) {
    const Hotspot* h = set->hotspots[i];
    ok = Put(write, &h->scriptAdded, 4) && Put(write, &h->id, 4) && Put(write, &h->setup, 4) &&
         Put(write, h->name, HOTSPOT_NAME_SIZE) &&
         Put(write, h->idString, HOTSPOT_ID_STRING_SIZE) && Put(write, &h->type, 4) &&
         Put(write, &h->cursor, 4) && Put(write, &h->linkedActor, 4) &&
         Put(write, &h->offset, 12) && Put(write, &h->pathLen, 4) &&
         Put(write, h->path, 12 * static_cast<size_t>(h->pathLen)) && Put(write, &h->num, 4) &&
         Put(write, &h->mode, 4) && Put(write, h->points, 8 * static_cast<size_t>(h->num)) &&
         Put(write, &h->wait, 4) && Put(write, kPad, 16);
  }
  return ok ? 1 : 0;
}

int hotspots_Restore(SaveTransferFn read) {
  HotspotSet* set = hotspots_Init();
  hotspots_FreeAll();
  set->source[0] = '\0';
  if (!read) return 0;
  int32_t count = 0, counter = 0;
  if (!Get(read, &count, 4) || !Get(read, &counter, 4)) return 0;
  uint8_t pad[20];
  char source[HOTSPOT_SOURCE_SIZE];
  const char* bad = nullptr;
  if (count < 0 || count > HOTSPOT_MAX) bad = "hotspot count out of range";
  if (counter < 0 || counter >= HOTSPOT_MAX_ID) bad = "id counter out of range";
  if (!bad && (!Get(read, pad, 20) || !Get(read, source, sizeof source))) bad = "short block";
  std::vector<std::unique_ptr<Hotspot>> list;
  for (int i = 0; i < count && !bad; ++i) {
    auto h = std::make_unique<Hotspot>();
    if (!Get(read, &h->scriptAdded, 4) || !Get(read, &h->id, 4) || !Get(read, &h->setup, 4) ||
        !Get(read, h->name, HOTSPOT_NAME_SIZE) || !Get(read, h->idString, HOTSPOT_ID_STRING_SIZE) ||
        !Get(read, &h->type, 4) || !Get(read, &h->cursor, 4) || !Get(read, &h->linkedActor, 4) ||
        !Get(read, &h->offset, 12) || !Get(read, &h->pathLen, 4)) {
      bad = "short block";
      break;
    }
    if (h->pathLen < 0 || h->pathLen > HOTSPOT_MAX_PATH) {
      bad = "path length out of range";
      break;
    }
    if (!Get(read, h->path, 12 * static_cast<size_t>(h->pathLen)) || !Get(read, &h->num, 4) ||
        !Get(read, &h->mode, 4)) {
      bad = "short block";
      break;
    }
    if (h->num < 0 || h->num > HOTSPOT_MAX_REGION) {
      bad = "polygon point count out of range";
      break;
    }
    uint8_t tail[16];
    if (!Get(read, h->points, 8 * static_cast<size_t>(h->num)) || !Get(read, &h->wait, 4) ||
        !Get(read, tail, 16)) {
      bad = "short block";
      break;
    }
    if (h->id < 0 || h->id >= HOTSPOT_MAX_ID) {
      bad = "hotspot id out of range";
      break;
    }
    h->name[HOTSPOT_NAME_SIZE - 1] = '\0';
    h->idString[HOTSPOT_ID_STRING_SIZE - 1] = '\0';
    h->overlay = -1;
    list.push_back(std::move(h));
  }
  if (bad) {
    kv_Log_Printf("[Load] - hotspots: %s", bad);
    return 0;
  }
  source[sizeof source - 1] = '\0';
  std::memcpy(set->source, source, sizeof source);
  set->idCounter = counter;
  for (auto& h : list) set->hotspots[set->numHotspots++] = h.release();
  return 1;
}

// ---- Debug view ---------------------------------------------------------------------

void hotspots_DrawDebug(void) {
  HotspotSet* set = hotspots_Init();
  const Room* room = drevMain_Calls().roomGetCurrent();
  if (!room) return;
  const int setup = static_cast<int>(room->currentSetup);
  qxCanvas* canvas = qxCore_pCurrentCamera ? qxCore_pCurrentCamera->canvas : nullptr;
  lua_beginblock();
  TextFont* font = static_cast<TextFont*>(lua_getuserdata(lua_getglobal("computer_font")));
  for (int i = 0; i < set->numHotspots; ++i) {
    const Hotspot* h = set->hotspots[i];
    if ((h->setup != setup && h->setup != -1) || h->num <= 0) continue;
    const int colour = h->type == HOTSPOT_SPECIAL ? kColourSpecial
                                                  : (h->scriptAdded ? kColourScript : kColourFile);
    const int n = std::min<int>(h->num, HOTSPOT_MAX_REGION);
    int32_t gx[HOTSPOT_MAX_REGION], gy[HOTSPOT_MAX_REGION];
    int64_t sumX = 0, sumY = 0;
    for (int k = 0; k < n; ++k) {
      gx[k] = h->points[k].x;
      gy[k] = h->points[k].y;
      drevMain_Calls().overlayGameToScreen(&gx[k], &gy[k], h->mode, 0);
      drevMain_Calls().overlayScreenToGame(&gx[k], &gy[k], 0, 0);
      sumX += gx[k];
      sumY += gy[k];
    }
    for (int k = 0; k < n && canvas; ++k) {
      const int prev = (k + n - 1) % n;
      kv_RenderHooks_DrawLine(0, canvas, gx[prev], gy[prev], gx[k], gy[k], colour, -1);
    }
    drevMain_Calls().textDrawStringImmediate(h->idString, PackedColour(colour), static_cast<int>(sumX / n),
                                 static_cast<int>(sumY / n), 1, font);
  }
  lua_endblock();
}
