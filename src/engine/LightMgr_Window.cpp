// The light manager's window: the list of the set's lights and the controls
// of the selected one, drawn with Dear ImGui in the platform's tool window,
// with the rename prompt and the save dialog inside it.
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/LightMgr.h"
#include "platform/kv_Log.h"
#include "platform/kv_ToolWindow.h"

namespace {

constexpr int kWidth = 440;
constexpr int kHeight = 720;
constexpr int kPromptSize = 33;  // "at most 32 characters" and the end
constexpr int kPathSize = 260;

struct Dialogs {
  char newName[kPromptSize] = {};
  char fileName[kPathSize] = {};
  std::vector<std::string> setFiles;  // the game folder's, when the dialog opened
  std::string replacing;              // the chosen file that exists already
  bool openRename = false;
  bool openSave = false;
  bool openReplace = false;
};
Dialogs g;

// A control that is off takes no input and is drawn dimmed.
class Enabled {
 public:
  explicit Enabled(int control) : off_(!LightMgr_IsEnabled(control)) {
    if (off_) ImGui::BeginDisabled();
  }
  ~Enabled() {
    if (off_) ImGui::EndDisabled();
  }
  Enabled(const Enabled&) = delete;
  Enabled& operator=(const Enabled&) = delete;

 private:
  bool off_;
};

bool Button(const char* label, int control) {
  const bool pressed = ImGui::Button(label);
  kv_ToolWindow_NoteControl(control);
  return pressed;
}

// A button of the light table's part, on or off as the selected light says.
bool ControlButton(const char* label, int control) {
  Enabled on(control);
  return Button(label, control);
}

// An edit of the selected light: "%f", a change written by the user is
// handed on.
bool Edit(const char* label, int control, float* value) {
  const bool changed = ImGui::InputFloat(label, value, 0.0f, 0.0f, "%f");
  kv_ToolWindow_NoteControl(control);
  return changed;
}

// The lines a held up-down button counts at once: 1, then 6, 11, 16 and 21
// after 2, 3, 4 and 5 seconds.
int HeldLines() {
  const float seconds = ImGui::GetIO().MouseDownDuration[0];
  if (seconds < 2.0f) return 1;
  if (seconds < 3.0f) return 6;
  if (seconds < 4.0f) return 11;
  if (seconds < 5.0f) return 16;
  return 21;
}

// The up-down control beside an edit: its buttons step the value by a line
// of 1 / step.
bool UpDown(int control, int step, float* value) {
  Enabled on(control);
  bool changed = false;
  ImGui::PushButtonRepeat(true);
  ImGui::PushID(control);
  ImGui::SameLine();
  if (ImGui::ArrowButton("down", ImGuiDir_Down)) {
    *value = LightMgr_UpDown(*value, step, -HeldLines());
    changed = true;
  }
  ImGui::SameLine();
  if (ImGui::ArrowButton("up", ImGuiDir_Up)) {
    *value = LightMgr_UpDown(*value, step, HeldLines());
    changed = true;
  }
  kv_ToolWindow_NoteControl(control);
  ImGui::PopID();
  ImGui::PopButtonRepeat();
  return changed;
}

std::string RowText(const RoomLight& light, int row) {
  if (light.name[0]) return light.name;
  char text[32];
  std::snprintf(text, sizeof text, "<Light %d>", row);
  return text;
}

void List(Room* room) {
  ImGui::SetNextItemWidth(-1.0f);
  if (ImGui::BeginListBox("##lights", ImVec2(-1.0f, 12 * ImGui::GetTextLineHeightWithSpacing()))) {
    const int count =
        room ? static_cast<int>(std::min<uint32_t>(room->numLights, kRoomMaxLights)) : 0;
    for (int row = 0; row < count; ++row) {
      ImGui::PushID(row);
      if (ImGui::Selectable(RowText(room->lights[row], row).c_str(), row == LightMgr_GetSelected()))
        LightMgr_Select(row);
      kv_ToolWindow_NoteControl(kLightMgrRow + row);
      ImGui::PopID();
    }
    ImGui::EndListBox();
  }
  kv_ToolWindow_NoteControl(kLightMgrList);
}

void Type(const RoomLight* light) {
  const int type = light ? light->light.type : 0;
  const struct {
    const char* label;
    int control;
    int type;
    bool shown;
  } radios[] = {{"Direct", kLightMgrDirect, 1, type <= 1},
                {"Omni", kLightMgrOmni, 2, type == 2},
                {"Spot", kLightMgrSpot, 3, type == 3}};
  for (const auto& radio : radios) {
    Enabled on(radio.control);
    if (radio.control != kLightMgrDirect) ImGui::SameLine();
    if (ImGui::RadioButton(radio.label, light && radio.shown)) LightMgr_SetType(radio.type);
    kv_ToolWindow_NoteControl(radio.control);
  }
}

void Values(RoomLight* light) {
  const float fieldWidth = 170.0f;
  float intensity = light ? light->light.intensity : 0.0f;
  float inner = light ? light->light.innerAngle : 0.0f;
  float outer = light ? light->light.outerAngle : 0.0f;
  ImGui::PushItemWidth(fieldWidth);
  {
    Enabled on(kLightMgrIntensity);
    if (Edit("##intensity", kLightMgrIntensity, &intensity)) LightMgr_SetIntensity(intensity);
  }
  if (UpDown(kLightMgrIntensityUpDown, 1000, &intensity)) LightMgr_SetIntensity(intensity);
  ImGui::SameLine();
  ImGui::TextUnformatted("Intensity");
  {
    Enabled on(kLightMgrInner);
    if (Edit("##inner", kLightMgrInner, &inner)) LightMgr_SetConeAngles(inner, outer);
  }
  if (UpDown(kLightMgrInnerUpDown, 100, &inner)) LightMgr_SetConeAngles(inner, outer);
  ImGui::SameLine();
  ImGui::TextUnformatted("Inner cone");
  {
    Enabled on(kLightMgrOuter);
    if (Edit("##outer", kLightMgrOuter, &outer)) LightMgr_SetConeAngles(inner, outer);
  }
  if (UpDown(kLightMgrOuterUpDown, 100, &outer)) LightMgr_SetConeAngles(inner, outer);
  ImGui::SameLine();
  ImGui::TextUnformatted("Outer cone");

  ImGui::Separator();
  static const char* const kPosition[] = {"Position x", "Position y", "Position z"};
  for (int axis = 0; axis < 3; ++axis) {
    Enabled on(kLightMgrPositionX + axis);
    float value = light ? (&light->position.x)[axis] : 0.0f;
    char label[32];
    std::snprintf(label, sizeof label, "%s##position", kPosition[axis]);
    if (Edit(label, kLightMgrPositionX + axis, &value)) LightMgr_SetPosition(axis, value);
  }
  static const char* const kAngle[] = {"Angle x", "Angle y", "Angle z"};
  static const int kAngleControls[] = {kLightMgrAngleX, kLightMgrAngleY, kLightMgrAngleZ};
  qxVector3 angles{};
  LightMgr_GetAngles(&angles);
  for (int axis = 0; axis < 3; ++axis) {
    Enabled on(kAngleControls[axis]);
    float value = (&angles.x)[axis];
    char label[32];
    std::snprintf(label, sizeof label, "%s##angle", kAngle[axis]);
    if (Edit(label, kAngleControls[axis], &value)) LightMgr_SetAngle(axis, value);
  }
  ImGui::PopItemWidth();
}

void Flags(RoomLight* light) {
  {
    Enabled on(kLightMgrOn);
    bool value = light && light->light.active;
    if (ImGui::Checkbox("On", &value)) LightMgr_SetOn(value);
    kv_ToolWindow_NoteControl(kLightMgrOn);
  }
  ImGui::SameLine();
  {
    Enabled on(kLightMgrMarker);
    bool value = LightMgr_GetMarkerShown() != 0;
    if (ImGui::Checkbox("Marker", &value)) LightMgr_SetMarkerShown(value);
    kv_ToolWindow_NoteControl(kLightMgrMarker);
  }
  ImGui::SameLine();
  if (ControlButton("All off", kLightMgrAllOff)) LightMgr_SetAllOn(0);
  ImGui::SameLine();
  if (ControlButton("All on", kLightMgrAllOn)) LightMgr_SetAllOn(1);
}

// Every ".set" file below the game folder, by its path from there.
std::vector<std::string> SetFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(
           ".", std::filesystem::directory_options::skip_permission_denied, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    const std::filesystem::path& path = it->path();
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".set" && it->is_regular_file(error))
      files.push_back(path.lexically_relative(".").generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void Buttons(Room* room) {
  if (ControlButton("Add", kLightMgrAdd)) LightMgr_Add();
  ImGui::SameLine();
  if (ControlButton("Delete", kLightMgrDelete)) LightMgr_Delete();
  ImGui::SameLine();
  if (ControlButton("Rename...", kLightMgrRename)) {
    std::snprintf(g.newName, sizeof g.newName, "%s", room->lights[LightMgr_GetSelected()].name);
    g.openRename = true;
  }
  if (ControlButton("Revert", kLightMgrRevert)) LightMgr_RevertSelected();
  ImGui::SameLine();
  if (ControlButton("Revert all", kLightMgrRevertAll)) LightMgr_RevertAll();
  ImGui::SameLine();
  if (ControlButton("Save...", kLightMgrSave)) {
    std::snprintf(g.fileName, sizeof g.fileName, "%s", room->name);
    g.setFiles = SetFiles();
    g.openSave = true;
  }
}

// Opens a modal popup that a button asked for (this frame or the last) and
// begins it when it is open.
bool BeginModal(const char* name, bool* asked, ImGuiWindowFlags flags) {
  if (*asked) {
    ImGui::OpenPopup(name);
    *asked = false;
  }
  if (!(flags & ImGuiWindowFlags_AlwaysAutoResize))
    ImGui::SetNextWindowSize(ImVec2(kWidth - 40.0f, 0.0f));
  return ImGui::BeginPopupModal(name, nullptr, flags);
}

// A prompt's text field under its prompt, focused with its text selected
// when the popup appears, and its OK and Cancel buttons (the Cancel closes
// the popup). True on OK or Enter.
bool PromptField(const char* prompt, char* text, size_t size, int field, const char* ok, int okId,
                 int cancelId) {
  ImGui::TextUnformatted(prompt);
  if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
  ImGui::SetNextItemWidth(-1.0f);
  bool entered =
      ImGui::InputText("##field", text, size,
                       ImGuiInputTextFlags_AutoSelectAll | ImGuiInputTextFlags_EnterReturnsTrue);
  kv_ToolWindow_NoteControl(field);
  entered = Button(ok, okId) || entered;
  ImGui::SameLine();
  if (Button("Cancel", cancelId)) ImGui::CloseCurrentPopup();
  return entered;
}

void RenamePrompt() {
  if (!BeginModal("Rename light", &g.openRename, ImGuiWindowFlags_NoResize)) return;
  if (PromptField("New light name", g.newName, sizeof g.newName, kLightMgrRenameName, "OK",
                  kLightMgrRenameOk, kLightMgrRenameCancel)) {
    LightMgr_Rename(g.newName);
    ImGui::CloseCurrentPopup();
  }
  ImGui::EndPopup();
}

void Save(const std::string& path) {
  Room* room = LightMgr_GetRoom();
  if (room && LightMgr_SaveLights(room->name, path.c_str()))
    kv_Log_Printf("[LightMgr] - the lights of %s were written to %s", room->name, path.c_str());
}

// The save dialog: "Set Files (*.set)", the default extension "set", and a
// question before a file is replaced.
void SaveDialog() {
  if (BeginModal("Save lights", &g.openSave, ImGuiWindowFlags_NoResize)) {
    ImGui::TextUnformatted("Set Files (*.set)");
    if (ImGui::BeginListBox("##files", ImVec2(-1.0f, 8 * ImGui::GetTextLineHeightWithSpacing()))) {
      for (size_t i = 0; i < g.setFiles.size(); ++i) {
        if (ImGui::Selectable(g.setFiles[i].c_str(), g.setFiles[i] == g.fileName))
          std::snprintf(g.fileName, sizeof g.fileName, "%s", g.setFiles[i].c_str());
        kv_ToolWindow_NoteControl(kLightMgrSaveFile + static_cast<int>(i));
      }
      ImGui::EndListBox();
    }
    if (PromptField("File name", g.fileName, sizeof g.fileName, kLightMgrSaveName, "Save",
                    kLightMgrSaveOk, kLightMgrSaveCancel) &&
        g.fileName[0]) {
      std::filesystem::path path = g.fileName;
      if (!path.has_extension()) path += ".set";
      std::error_code error;
      if (std::filesystem::exists(path, error)) {
        g.replacing = path.string();
        g.openReplace = true;
      } else {
        Save(path.string());
      }
      ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
  }
  if (BeginModal("Replace file", &g.openReplace, ImGuiWindowFlags_AlwaysAutoResize)) {
    ImGui::Text("%s already exists.", g.replacing.c_str());
    ImGui::TextUnformatted("Do you want to replace it?");
    if (Button("Yes", kLightMgrReplaceYes)) {
      Save(g.replacing);
      ImGui::CloseCurrentPopup();
    }
    ImGui::SameLine();
    if (Button("No", kLightMgrReplaceNo)) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
  }
}

void Draw() {
  // A set made current without a word to the tool (a loaded game) is taken
  // up as a set change: the set the tool held may be gone.
  if (LightMgr_GetRoom() != drevRoom_GetCurrent()) LightMgrSetChange();
  Room* room = LightMgr_GetRoom();
  const int selected = LightMgr_GetSelected();
  RoomLight* light = selected >= 0 ? &room->lights[selected] : nullptr;

  const ImGuiViewport* viewport = ImGui::GetMainViewport();
  ImGui::SetNextWindowPos(viewport->Pos);
  ImGui::SetNextWindowSize(viewport->Size);
  ImGui::Begin("Lights", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
  ImGui::Text("Set: %s", room ? room->name : "(none)");
  List(room);
  Type(light);
  Values(light);
  Flags(light);
  ImGui::Separator();
  Buttons(room);
  RenamePrompt();
  SaveDialog();
  ImGui::End();
}

int Key(kvToolKey key, int down, int alt) {
  static constexpr LightMgrKey kKeys[] = {LightMgrKey::Left, LightMgrKey::Right, LightMgrKey::Up,
                                          LightMgrKey::Down, LightMgrKey::Pad2,  LightMgrKey::Pad8,
                                          LightMgrKey::Pad4, LightMgrKey::Pad6,  LightMgrKey::Alt,
                                          LightMgrKey::Other};
  static_assert(sizeof kKeys / sizeof kKeys[0] == static_cast<size_t>(kvToolKey::Other) + 1);
  return LightMgr_Key(kKeys[static_cast<int>(key)], down, alt);
}

}  // namespace

int LightMgr_OpenWindow(void) {
  static const kvToolWindowHooks hooks = {Draw, LightMgrShutdown, Key};
  g = Dialogs{};
  return kv_ToolWindow_Open("Light Manager", kWidth, kHeight, &hooks);
}

void LightMgr_CloseWindow(void) {
  kv_ToolWindow_Close();
}
