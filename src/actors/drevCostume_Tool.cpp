// The costume module's part of the chore tool: the requester folders kept in
// the settings, the interactive file choice of the add callbacks, and the
// chore-numbering script written beside every costume file the library
// writes.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "actors/drevCostume.h"
#include "actors/drevCostume_Internal.h"
#include "actors/drevTool.h"
#include "platform/kv_Log.h"
#include "platform/kv_Registry.h"

namespace {

struct RequesterRow {
  const char* setting;
  const char* defaultFolder;
};
// Indexed by CostumeRequester.
const RequesterRow kRequesters[kRequesterCount] = {
    {"KeyframePath", "Animation"}, {"BitmapPath", "Objects"}, {"ColormapPath", "Colormaps"},
    {"MaterialPath", "Materials"}, {"ModelPath", "Models"},   {"SoundPath", "SFX"},
    {"TolvePath", "Movies"},
};

void SettingName(char* out, size_t size, const char* name) {
  std::snprintf(out, size, "Requesters\\%s", name);
}

}  // namespace

const char* drevCostume_FileNamePart(const char* path) {
  const char* part = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') part = p + 1;
  }
  return part;
}

// ---- Requester folders ---------------------------------------------------------------

void drevCostume_LoadRequesterFolder(const char* defaultFolder, char* folder, const char* name) {
  char setting[64];
  SettingName(setting, sizeof setting, name);
  folder[0] = '\0';
  kv_Registry_ReadString(setting, folder, kRequesterFolderSize);
  folder[kRequesterFolderSize - 1] = '\0';
  if (folder[0]) return;
  char dataDirectory[kRequesterFolderSize] = "";
  if (!kv_Registry_ReadString("VoskDataDir", dataDirectory, sizeof dataDirectory)) return;
  const std::string joined = std::string(dataDirectory) + "/" + defaultFolder;
  std::snprintf(folder, kRequesterFolderSize, "%s", joined.c_str());
}

void drevCostume_StoreRequesterFolder(const char* folder, const char* name) {
  if (!folder[0]) return;
  char setting[64];
  SettingName(setting, sizeof setting, name);
  kv_Registry_WriteString(setting, folder);
}

void drevCostume_LoadRequesterFolders(void) {
  static const int kOrder[] = {kRequesterKeyframes, kRequesterColormaps, kRequesterMaterials,
                               kRequesterModels,    kRequesterSounds,    kRequesterCutscenes,
                               kRequesterBitmaps};
  for (int r : kOrder) {
    drevCostume_LoadRequesterFolder(kRequesters[r].defaultFolder, drevCostume_GetRequesterFolder(r),
                                    kRequesters[r].setting);
  }
}

void drevCostume_StoreRequesterFolders(void) {
  static const int kOrder[] = {kRequesterKeyframes, kRequesterBitmaps, kRequesterColormaps,
                               kRequesterMaterials, kRequesterModels,  kRequesterSounds,
                               kRequesterCutscenes};
  for (int r : kOrder) {
    drevCostume_StoreRequesterFolder(drevCostume_GetRequesterFolder(r), kRequesters[r].setting);
  }
}

char* drevCostume_GetRequesterFolder(int requester) {
  return drevCostume_State().requesterFolders[requester];
}

const char* drevCostume_RequestFile(int requester, const char* title, const char* filter) {
  char* folder = drevCostume_GetRequesterFolder(requester);
  if (folder[0]) drevTool_SetRequesterFolder(folder);
  if (!drevTool_OpenFileRequester(title, filter)) return nullptr;
  std::snprintf(folder, 255, "%s", drevTool_GetRequesterFolder());
  return drevTool_GetChosenPath();
}

const char* drevCostume_PickComponentFile(int requester, const char* title, const char* filter,
                                          char* chosen, size_t size) {
  const char* path = drevCostume_RequestFile(requester, title, filter);
  if (path) std::snprintf(chosen, size, "%s", drevCostume_FileNamePart(path));
  return path;
}

void drevCostume_RefuseAdd(const char* what, const char* name) {
  kv_Log_Printf("[Costume] - %s component \"%s\" refused", what, name ? name : "");
}

// ---- The chore-numbering file --------------------------------------------------------

int drevCostume_WriteChoreList(const char* path, CosCostumeHandle costume, const char* comment) {
  const CosCostume* record = Cos_GetCostumeName(costume);
  if (!path || !record) return 0;
  const char* file = drevCostume_FileNamePart(path);
  char* output = drevTool_GetChosenPath();
  if (strcasecmp(file, record->name) != 0) {
    // A costume written under another name asks where its list goes.
    if (!drevTool_SaveFileRequester("Name chore list file...", "Script files (*.lua, *.def)")) {
      kv_Log_Printf("[Costume] - %s: no chore list file was named, the costume is not written",
                    path);
      return 0;
    }
  } else {
    // Beside the costume, its extension replaced by "lua" (added when it has none).
    const char* dot = std::strrchr(file, '.');
    const size_t keep = dot ? static_cast<size_t>(dot - path) : std::strlen(path);
    if (keep + 5 > kToolPathSize) {
      kv_Log_Printf("[Costume] - %s: the chore list's path is too long", path);
      return 0;
    }
    std::memcpy(output, path, keep);
    std::snprintf(output + keep, kToolPathSize - keep, ".lua");
  }
  HostServices* hs = drevCostume_Services();
  stdFile_t out = hs->fileOpen(output, "w");
  if (!out) {
    drevTool_MessageBox("File Error!",
                        "Unable to open chore list file. Check to make sure that the destination "
                        "file is not read-only.",
                        kToolBoxOk);
    return 0;
  }
  hs->filePrintf(out, "-- Chore numbering for %s.\n", file);
  hs->filePrintf(out, "-- %s\n\n", comment ? comment : "");
  // The file-name part without its extension, at most 31 characters.
  const char* dot = std::strrchr(file, '.');
  const int length = static_cast<int>(dot ? dot - file : static_cast<long>(std::strlen(file)));
  char base[32];
  std::snprintf(base, sizeof base, "%.*s", length, file);
  for (int i = 0; i < record->numChores; ++i) {
    hs->filePrintf(out, "%s_%s\t\t=\t%d\n", base, record->chores[i].name, i);
  }
  hs->fileClose(out);
  return 1;
}
