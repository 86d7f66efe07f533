// The editor light manager: the script functions, the marker actor and the
// editing logic behind the window's controls.
#include "engine/LightMgr.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "engine/drevRoom_Internal.h"
#include "platform/kv_Log.h"
#include "platform/kv_ToolWindow.h"
#include "quadrix/qxCamera.h"
#include "std/stdDisplay.h"

namespace {

struct Entry {
  int markerShown;
  qxVector3 angles;  // degrees
};

struct LightManager {
  bool open = false;
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
  // The marker actor, made once and kept across openings, and the actor
  // table it was made in.
  int marker = -1;
  uint32_t markerTable = 0;
};
LightManager g;

constexpr char kMarkerCostume[] = "x_spot.cos";

void Message(const char* title, const char* text) {
  kv_Log_Printf("[LightMgr] - %s: %s", title, text);
  kv_ToolWindow_MessageBox(title, text);
}

uint32_t Count() {
  return g.room ? std::min(g.room->numLights, static_cast<uint32_t>(kRoomMaxLights)) : 0;
}

RoomLight* Selected() {
  if (!g.room || g.selected < 0 || static_cast<uint32_t>(g.selected) >= Count()) return nullptr;
  return &g.room->lights[g.selected];
}

bool WearsMarkerCostume(const Actor* actor) {
  if (!actor || !actor->inUse || !actor->costumeTop) return false;
  const CosCostume* costume = Cos_InstGetCostume(actor->costumeTop->instance, nullptr);
  return costume && strcasecmp(costume->name, kMarkerCostume) == 0;
}

// The marker actor. A game restart makes a new actor table: a loaded game
// brings the marker back at its index when it was saved with it, else the
// index means another actor or none, and the marker is forgotten.
Actor* Marker() {
  if (g.marker < 0) return nullptr;
  Actor* actor = drevActor_FromIndex(g.marker);
  if (g.markerTable != drevActor_GetTableSerial()) {
    if (!WearsMarkerCostume(actor)) {
      g.marker = -1;
      return nullptr;
    }
    g.markerTable = drevActor_GetTableSerial();
  }
  return actor && actor->inUse ? actor : nullptr;
}

void MakeMarker() {
  const int index = drevActor_New(0, 0);
  Actor* actor = drevActor_FromIndex(index);
  if (!actor) {
    kv_Log_Printf("[LightMgr] - the marker actor could not be made");
    return;
  }
  if (!drevActor_SetCostume(actor, kMarkerCostume, 0))
    kv_Log_Printf("[LightMgr] - the marker's costume %s did not load", kMarkerCostume);
  drevActor_SetFollowBoxes(actor, 0);
  actor->flags |= ACTOR_HIDDEN;
  g.marker = index;
  g.markerTable = drevActor_GetTableSerial();
}

// Takes the marker out of its set's roster (and forgets the set's name, so
// that it can be put back), then into the named set when there is one.
void PutMarkerInSet(const char* setName) {
  Actor* actor = Marker();
  if (!actor) return;
  if (actor->setName[0]) {
    char old[sizeof actor->setName];
    std::memcpy(old, actor->setName, sizeof old);
    drevRoom_RemoveActorFromSet(old, actor);
    actor->setName[0] = '\0';
  }
  if (setName && *setName) drevRoom_PutActorInSet(setName, actor);
}

// The marker stands at the selected light, turned by its angles, shown as
// its entry's flag says; hidden while no light is selected or the window is
// closed.
void UpdateMarker() {
  Actor* actor = Marker();
  if (!actor) return;
  const RoomLight* light = Selected();
  if (!g.open || !light) {
    actor->flags |= ACTOR_HIDDEN;
    return;
  }
  drevActor_SetPosition(actor, &light->position, 1);
  drevActor_SetRotation(actor, &g.table[g.selected].angles, 1);
  if (g.table[g.selected].markerShown) {
    actor->flags &= ~static_cast<uint32_t>(ACTOR_HIDDEN);
  } else {
    actor->flags |= ACTOR_HIDDEN;
  }
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

// ---- Saving -------------------------------------------------------------------------

// One whole line of a file opened through the services (its '\n' kept).
bool ReadLine(HostServices* hs, stdFile_t file, std::string* line) {
  line->clear();
  char buffer[1024];
  while (hs->fileGets(file, buffer, sizeof buffer)) {
    *line += buffer;
    if (line->back() == '\n') return true;
  }
  return !line->empty();
}

bool HasSection(const std::string& line) {
  return line.find("section:") != std::string::npos;
}

// A new file "set..." in the system's temporary folder, opened for writing
// and reading; its path in *path. It is the tool's own file outside the game
// folder, where the services write nothing, so it is a host file.
std::FILE* OpenTempFile(std::string* path) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return nullptr;
  std::string name = (folder / "setXXXXXX").string();
  const int fd = mkstemp(name.data());
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "w+");
  if (!file) {
    close(fd);
    std::remove(name.c_str());
    return nullptr;
  }
  *path = name;
  return file;
}

bool WriteTemp(std::FILE* temp, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), temp) == text.size();
}

// Copies the temporary file, from its start, line by line into a new file
// written through the services.
bool CopyLines(HostServices* hs, std::FILE* temp, const char* to) {
  if (std::fflush(temp) != 0 || std::fseek(temp, 0, SEEK_SET) != 0) return false;
  const stdFile_t out = hs->fileOpen(to, "wt");
  if (!out) {
    char text[300];
    std::snprintf(text, sizeof text, "Could not open file \"%s\".", to);
    Message("Error", text);
    return false;
  }
  bool ok = true;
  char buffer[1024];
  size_t got = 0;
  while (ok && (got = std::fread(buffer, 1, sizeof buffer, temp)) > 0)
    ok = hs->fileWrite(out, buffer, got) == got;
  ok = !std::ferror(temp) && hs->fileClose(out) == 0 && ok;
  if (!ok) kv_Log_Printf("[LightMgr] - %s could not be written whole", to);
  return ok;
}

}  // namespace

// ---- Script functions -------------------------------------------------------------------

void LightMgrStartup(void) {
  const DisplayDevice* device = stdDisplay_GetOpenDevice();
  if (device && device->has3DDevice) {
    // The tool does not open over a 3D device; the beep is this log line.
    kv_Log_Printf("[LightMgr] - beep: the light manager does not open over a 3D device");
    return;
  }
  if (g.open) {
    LightMgrShutdown();
    return;
  }
  if (!LightMgr_OpenWindow()) return;
  g.open = true;
  LightMgrSetChange();
}

void LightMgrShutdown(void) {
  if (g.open) LightMgr_CloseWindow();
  g.open = false;
  PutMarkerInSet(nullptr);
  UpdateMarker();
  g.room = nullptr;
  g.selected = -1;
}

void LightMgrSetChange(void) {
  if (!g.open) return;
  // Made on first use, and again when a game restart took the actor table
  // it was made in.
  if (!Marker()) MakeMarker();
  PutMarkerInSet(drevRoom_GetCurrentName());
  LightMgr_Begin(drevRoom_GetCurrent());
}

int LightMgr_IsOpen(void) {
  return g.open ? 1 : 0;
}

int LightMgr_GetMarker(void) {
  return Marker() ? g.marker : -1;
}

int LightMgr_IsEnabled(int control) {
  switch (control) {
    case kLightMgrList:
    case kLightMgrAdd:
    case kLightMgrRevertAll:
      return 1;
    default:
      break;
  }
  const bool known = (control >= kLightMgrDirect && control <= kLightMgrAngleX) ||
                     control == kLightMgrAngleY || control == kLightMgrAngleZ ||
                     control == kLightMgrDelete ||
                     (control >= kLightMgrSave && control <= kLightMgrRename);
  const RoomLight* light = Selected();
  if (!known || !light) return 0;
  const int type = light->light.type;
  switch (control) {
    case kLightMgrAngleX:
    case kLightMgrAngleY:
    case kLightMgrAngleZ:
      return type != QXLIGHT_POINT;
    case kLightMgrInner:
    case kLightMgrOuter:
      return type == QXLIGHT_SPOT;
    default:
      return 1;
  }
}

// ---- Editing logic ----------------------------------------------------------------------

void LightMgr_Begin(Room* room) {
  g.room = room;
  g.selected = -1;
  g.backupCount = Count();
  if (room) {
    std::memcpy(g.backup, room->lights, sizeof g.backup);
    BuildTable();
  }
  LightMgr_Select(Count() > 0 ? 0 : -1);
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
  UpdateMarker();
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
  LightMgr_Select(g.selected);
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
    UpdateMarker();
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
  UpdateMarker();
}

void LightMgr_SetAngle(int axis, float value) {
  if (!Selected() || axis < 0 || axis > 2) return;
  (&g.table[g.selected].angles.x)[axis] = value;
  ApplyAngles(g.selected);
  UpdateMarker();
}

void LightMgr_GetAngles(qxVector3* angles) {
  if (angles) *angles = Selected() ? g.table[g.selected].angles : qxVector3{0, 0, 0};
}

void LightMgr_SetMarkerShown(int shown) {
  if (!Selected()) return;
  g.table[g.selected].markerShown = shown ? 1 : 0;
  UpdateMarker();
}

int LightMgr_GetMarkerShown(void) {
  return Selected() ? g.table[g.selected].markerShown : 0;
}

float LightMgr_UpDown(float value, int step, int lines) {
  if (step == 0) return value;
  return (static_cast<float>(step) * value + static_cast<float>(lines)) / static_cast<float>(step);
}

int LightMgr_Key(LightMgrKey key, int down, int alt) {
  RoomLight* light = Selected();
  if (!light) return 0;
  if (down && g.keyHeld && key == g.lastKey) {
    g.positionStep += 0.005f;
    g.angleStep += 0.5f;
  } else {
    g.positionStep = 0.01f;
    g.angleStep = 1.0f;
    g.lastKey = key;
    g.keyHeld = down != 0;
  }
  if (key == LightMgrKey::Other) return 0;
  if (key == LightMgrKey::Alt || !down) return 1;  // swallowed
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
    default:
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
  HostServices* hs = Room_Services();
  stdFile_t set = hs->fileOpen(setName, "rt");
  if (!set) {
    char text[300];
    std::snprintf(text, sizeof text, "Could not open file \"%s\".", setName);
    Message("Error", text);
    return 0;
  }
  std::string tempPath;
  std::FILE* temp = OpenTempFile(&tempPath);
  if (!temp) {
    hs->fileClose(set);
    Message("Error", "Could not create temp file.");
    return 0;
  }
  // The lines before the lights section, the edited lights, then the old
  // section's lines are left out up to the next section, which is kept with
  // the rest.
  bool ok = true;
  bool lights = false;
  bool next = false;
  std::string line;
  while (ok && ReadLine(hs, set, &line)) {
    if (HasSection(line) && line.find("lights") != std::string::npos) {
      lights = true;
      break;
    }
    ok = WriteTemp(temp, line);
  }
  if (ok && lights) {
    ok = WriteTemp(temp, drevRoom_LightsSectionText(g.room));
    while (ok && ReadLine(hs, set, &line)) {
      if (HasSection(line)) {
        next = true;
        ok = WriteTemp(temp, line);
        break;
      }
    }
    while (ok && next && ReadLine(hs, set, &line)) ok = WriteTemp(temp, line);
  }
  hs->fileClose(set);
  ok = std::fflush(temp) == 0 && ok;
  int written = 0;
  if (!ok) {
    kv_Log_Printf("[LightMgr] - the temporary copy of %s could not be written", setName);
  } else if (!next) {
    // Neither a file without a lights section nor one that ends with it is
    // rewritten.
    kv_Log_Printf(
        "[LightMgr] - %s has no lights section followed by another section: "
        "%s was not written",
        setName, outputPath);
  } else {
    written = CopyLines(hs, temp, outputPath) ? 1 : 0;
  }
  std::fclose(temp);
  std::remove(tempPath.c_str());
  return written;
}
