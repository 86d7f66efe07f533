// The editor light manager: the script functions and the editing logic.
#include "engine/LightMgr.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/drevRoom_Internal.h"
#include "platform/kv_Log.h"
#include "platform/kv_PlatformFile.h"
#include "quadrix/qxCamera.h"

namespace {

struct Entry {
  int markerShown;
  qxVector3 angles;  // degrees
};

struct LightManager {
  Room* room = nullptr;
  Entry table[kRoomMaxLights] = {};
  RoomLight backup[kRoomMaxLights] = {};
  uint32_t backupCount = 0;
  RoomLight savedSelected{};
  int selected = -1;
  LightMgrKey lastKey = LightMgrKey::Other;
  bool keyHeld = false;
  float positionStep = 0.01f;
  float angleStep = 1.0f;
};
LightManager g;

// A message box of the Windows dialog: the log on Linux.
void Message(const char* title, const char* text) {
  kv_Log_Printf("[LightMgr] - %s: %s", title, text);
}

uint32_t Count() {
  return g.room ? std::min(g.room->numLights, static_cast<uint32_t>(kRoomMaxLights)) : 0;
}

RoomLight* Selected() {
  if (!g.room || g.selected < 0 || static_cast<uint32_t>(g.selected) >= Count()) return nullptr;
  return &g.room->lights[g.selected];
}

// Every setup camera's light list follows the set's lights.
void SyncCameras() {
  Room* room = g.room;
  if (!room || !room->setups) return;
  for (uint32_t s = 0; s < room->numSetups; ++s) {
    qxCamera* camera = room->setups[s].camera;
    if (!camera) continue;
    qxCamera_ClearLights(camera);
    for (uint32_t i = 0; i < Count(); ++i)
      qxCamera_AddLight(camera, &room->lights[i].light, &room->lights[i].position);
  }
}

void BuildTable() {
  for (uint32_t i = 0; i < Count(); ++i) {
    const qxLight& light = g.room->lights[i].light;
    g.table[i].markerShown = 1;
    g.table[i].angles = {0, 0, 0};
    if (light.type != QXLIGHT_POINT) qxVector3_ExtractAngles(&light.direction, &g.table[i].angles);
  }
}

void ApplyAngles(int index) {
  qxVector3 direction{0, 1, 0};
  qxVector3_RotateInPlace(&direction, &g.table[index].angles);
  g.room->lights[index].light.direction = direction;
}

float WrapAngle(float angle) {
  if (angle > 360.0f) angle -= 360.0f;
  if (angle < -180.0f) angle += 360.0f;
  return angle;
}

bool NameTaken(const char* name, int except) {
  for (uint32_t i = 0; i < Count(); ++i)
    if (static_cast<int>(i) != except && strcasecmp(g.room->lights[i].name, name) == 0) return true;
  return false;
}

// The lines of a text file opened through the services, each whole.
bool ReadLines(const char* name, std::vector<std::string>* lines) {
  HostServices* hs = Room_Services();
  const stdFile_t file = hs->fileOpen(name, "rt");
  if (!file) return false;
  std::string line;
  char buffer[1024];
  while (hs->fileGets(file, buffer, sizeof buffer)) {
    line += buffer;
    if (!line.empty() && line.back() == '\n') {
      lines->push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) lines->push_back(line + "\n");
  hs->fileClose(file);
  return true;
}

bool IsSectionLine(const std::string& line) {
  return line.find("section:") != std::string::npos;
}

}  // namespace

// ---- Script functions -------------------------------------------------------------------

void LightMgrStartup(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[LightMgr] - the light manager's window is not available on Linux");
  }
}

void LightMgrShutdown(void) {}

void LightMgrSetChange(void) {}

// ---- Editing logic ----------------------------------------------------------------------

void LightMgr_Begin(Room* room) {
  g.room = room;
  g.selected = -1;
  g.backupCount = Count();
  if (!room) return;
  std::memcpy(g.backup, room->lights, sizeof g.backup);
  BuildTable();
  if (Count() > 0) LightMgr_Select(0);
}

Room* LightMgr_GetRoom(void) {
  return g.room;
}

int LightMgr_GetSelected(void) {
  return g.selected;
}

void LightMgr_Select(int index) {
  g.selected = index >= 0 && static_cast<uint32_t>(index) < Count() ? index : -1;
  if (RoomLight* light = Selected()) g.savedSelected = *light;
}

int LightMgr_Add(void) {
  Room* room = g.room;
  if (!room) return -1;
  const uint32_t count = Count();
  if (count >= static_cast<uint32_t>(kRoomMaxLights)) {
    Message("Can't Add Light", "Maximum number of lights already in room.  Try deleting a few.");
    return -1;
  }
  char name[kRoomNameSize];
  std::snprintf(name, sizeof name, "newlight%d", static_cast<int>(count));
  for (int n = static_cast<int>(count); n < kRoomMaxLights; ++n) {
    char candidate[kRoomNameSize];
    std::snprintf(candidate, sizeof candidate, "newlight%d", n);
    if (!NameTaken(candidate, -1)) {
      std::strcpy(name, candidate);
      break;
    }
  }
  RoomLight& light = room->lights[count];
  std::memset(&light, 0, sizeof light);
  qxLight_NewEntry(&light.light);
  std::strcpy(light.name, name);
  light.light.type = QXLIGHT_POINT;
  light.light.active = 1;
  light.light.intensity = 1.0f;
  light.light.color = 0xFFFFFF;
  if (room->setups && room->currentSetup < room->numSetups)
    light.position = room->setups[room->currentSetup].interest;
  room->numLights = count + 1;
  g.table[count] = Entry{1, {0, 0, 0}};
  SyncCameras();
  LightMgr_Select(static_cast<int>(count));
  return static_cast<int>(count);
}

void LightMgr_Delete(void) {
  if (!Selected()) return;
  Room* room = g.room;
  const uint32_t count = Count();
  for (uint32_t i = static_cast<uint32_t>(g.selected); i + 1 < count; ++i) {
    room->lights[i] = room->lights[i + 1];
    g.table[i] = g.table[i + 1];
  }
  std::memset(&room->lights[count - 1], 0, sizeof room->lights[count - 1]);
  room->numLights = count - 1;
  SyncCameras();
  LightMgr_Select(static_cast<uint32_t>(g.selected) < count - 1 ? g.selected : g.selected - 1);
}

int LightMgr_Rename(const char* name) {
  RoomLight* light = Selected();
  if (!light || !name) return 0;
  char stored[kRoomNameSize];
  std::snprintf(stored, sizeof stored, "%s", name);
  for (char* c = stored; *c; ++c)
    if (*c == ' ') *c = '_';
  if (NameTaken(stored, g.selected)) {
    Message("Duplicate light name", "That name is already being used.  Enter a different one.");
    return 0;
  }
  std::strcpy(light->name, stored);
  return 1;
}

void LightMgr_RevertAll(void) {
  if (!g.room) return;
  std::memcpy(g.room->lights, g.backup, sizeof g.backup);
  g.room->numLights = g.backupCount;
  BuildTable();
  SyncCameras();
  LightMgr_Select(Count() > 0 ? 0 : -1);
}

void LightMgr_RevertSelected(void) {
  if (RoomLight* light = Selected()) {
    *light = g.savedSelected;
    SyncCameras();
  }
}

void LightMgr_SetType(int type) {
  if (RoomLight* light = Selected()) light->light.type = type;
}

void LightMgr_SetOn(int on) {
  if (RoomLight* light = Selected()) light->light.active = on ? 1 : 0;
}

void LightMgr_SetAllOn(int on) {
  for (uint32_t i = 0; i < Count(); ++i) g.room->lights[i].light.active = on ? 1 : 0;
}

void LightMgr_SetIntensity(float value) {
  if (RoomLight* light = Selected()) light->light.intensity = value;
}

void LightMgr_SetConeAngles(float inner, float outer) {
  if (RoomLight* light = Selected()) qxLight_SetSpotAngles(&light->light, inner, outer);
}

void LightMgr_SetPosition(int axis, float value) {
  RoomLight* light = Selected();
  if (!light || axis < 0 || axis > 2) return;
  (&light->position.x)[axis] = value;
  SyncCameras();
}

void LightMgr_SetAngle(int axis, float value) {
  if (!Selected() || axis < 0 || axis > 2) return;
  (&g.table[g.selected].angles.x)[axis] = value;
  ApplyAngles(g.selected);
}

void LightMgr_GetAngles(qxVector3* angles) {
  if (angles) *angles = Selected() ? g.table[g.selected].angles : qxVector3{0, 0, 0};
}

float LightMgr_UpDown(float value, int step, int direction) {
  if (step == 0) return value;
  return (static_cast<float>(step) * value + static_cast<float>(direction)) /
         static_cast<float>(step);
}

int LightMgr_Key(LightMgrKey key, int down, int alt) {
  RoomLight* light = Selected();
  if (!light || key == LightMgrKey::Other) return 0;
  if (down && g.keyHeld && key == g.lastKey) {
    g.positionStep += 0.005f;
    g.angleStep += 0.5f;
  } else {
    g.positionStep = 0.01f;
    g.angleStep = 1.0f;
    g.lastKey = key;
    g.keyHeld = down != 0;
  }
  if (!down) return 1;  // releases are swallowed
  qxVector3 position = light->position;
  qxVector3 angles = g.table[g.selected].angles;
  const float p = g.positionStep;
  const float a = g.angleStep;
  switch (key) {
    case LightMgrKey::Left:
      position.x -= p;
      break;
    case LightMgrKey::Right:
      position.x += p;
      break;
    case LightMgrKey::Up:
      (alt ? position.z : position.y) += p;
      break;
    case LightMgrKey::Down:
      (alt ? position.z : position.y) -= p;
      break;
    case LightMgrKey::Pad2:
      angles.x = WrapAngle(angles.x + a);
      break;
    case LightMgrKey::Pad8:
      angles.x = WrapAngle(angles.x - a);
      break;
    case LightMgrKey::Pad4:
      (alt ? angles.z : angles.y) = WrapAngle((alt ? angles.z : angles.y) - a);
      break;
    case LightMgrKey::Pad6:
      (alt ? angles.z : angles.y) = WrapAngle((alt ? angles.z : angles.y) + a);
      break;
    case LightMgrKey::Other:
      break;
  }
  for (int axis = 0; axis < 3; ++axis) {
    LightMgr_SetPosition(axis, (&position.x)[axis]);
    LightMgr_SetAngle(axis, (&angles.x)[axis]);
  }
  return 1;
}

float LightMgr_GetPositionStep(void) {
  return g.positionStep;
}

float LightMgr_GetAngleStep(void) {
  return g.angleStep;
}

int LightMgr_SaveLights(const char* setName, const char* outputPath) {
  if (!g.room || !setName || !outputPath) return 0;
  std::vector<std::string> lines;
  if (!ReadLines(setName, &lines)) {
    char text[300];
    std::snprintf(text, sizeof text, "Could not open file \"%s\".", setName);
    Message("Error", text);
    return 0;
  }
  size_t at = 0;
  while (at < lines.size() && !(lines[at].find("section:") != std::string::npos &&
                                lines[at].find("lights") != std::string::npos))
    ++at;
  if (at == lines.size()) {
    kv_Log_Printf("[LightMgr] - %s has no lights section: nothing was written", setName);
    return 0;
  }
  std::string out;
  for (size_t i = 0; i < at; ++i) out += lines[i];
  out += drevRoom_LightsSectionText(g.room);
  // The old section's lines are left out up to the next section, if any.
  size_t rest = at + 1;
  while (rest < lines.size() && !IsSectionLine(lines[rest])) ++rest;
  for (; rest < lines.size(); ++rest) out += lines[rest];
  if (!kv_Platform_WriteFile(out.data(), out.size(), outputPath)) {
    kv_Log_Printf("[LightMgr] - cannot write %s", outputPath);
    return 0;
  }
  return 1;
}
