// What the chore library's fuzz targets give it: a services record over
// malloc with an in-memory file system, and a few component tags whose
// callbacks register components the way the game's do.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "chore/costume.h"

namespace chore_fuzz {

struct OpenFile {
  std::string name;
  size_t position = 0;
};

inline std::map<std::string, std::string> files;
inline std::vector<OpenFile> open(1);

inline void* Alloc(size_t size, const char*, int) {
  return malloc(size);
}
inline void Free(void* block) {
  free(block);
}
inline void* Realloc(void* block, size_t size, const char*, int) {
  return realloc(block, size);
}
inline int Print(const char*, ...) {
  return 0;
}
inline void Assert(const char*, const char*, int) {
  abort();
}
inline stdFile_t Open(const char* path, const char* mode) {
  if (mode[0] == 'w') {
    files[path].clear();
  } else if (!files.count(path)) {
    return 0;
  }
  open.push_back(OpenFile{path, 0});
  return stdFile_t(open.size() - 1);
}
inline int Close(stdFile_t) {
  return 0;
}
inline char* Gets(stdFile_t file, char* buffer, int size) {
  OpenFile& f = open.at(size_t(file));
  const std::string& text = files[f.name];
  if (f.position >= text.size() || size < 2) return nullptr;
  int n = 0;
  while (f.position < text.size() && n < size - 2) {
    const char c = text[f.position++];
    if (c == '\n' || c == '\r') {
      buffer[n++] = '\n';
      break;
    }
    buffer[n++] = c;
  }
  buffer[n] = 0;
  return buffer;
}
inline int Printf(stdFile_t file, const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  files[open.at(size_t(file)).name] += text;
  return n;
}

inline uintptr_t nextHash = 1;
inline int AddComponent(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                        uint32_t parentCode, const char* name) {
  static const int32_t values[] = {0, 1};
  static const char* const names[] = {"Hide", "Show"};
  const CosDataBlock block{2, values, names, nullptr, nullptr};
  return name &&
         Cos_RegisterComponent(costume, name, nextHash++, code, parentHash, parentCode, &block);
}
inline int ApplyKey(uint32_t, uintptr_t, int, int32_t, int32_t, int32_t, int, CosInstHandle) {
  return 1;
}
inline uintptr_t InstanceData(CosInstHandle, int component, int mode) {
  return mode ? uintptr_t(1000 + component) : 0;
}
inline int SaveData(CosInstHandle, int, int, uintptr_t, CosTransferFunc transfer) {
  uint32_t word = 0;
  return transfer(&word, 4) == 0;
}

struct Library {
  HostServices hs{};
  CosModuleDescriptor module{};

  Library() {
    hs.printMessage = hs.printStatus = hs.printWarning = hs.printError = &Print;
    hs.assertFail = &Assert;
    hs.memAlloc = &Alloc;
    hs.memFree = &Free;
    hs.memRealloc = &Realloc;
    hs.fileOpen = &Open;
    hs.fileClose = &Close;
    hs.fileGets = &Gets;
    hs.filePrintf = &Printf;
    files.clear();
    open.assign(1, OpenFile{});
    nextHash = 1;
    Cos_Initialize(&hs, &module);
    module.startup();
    const CosTagCallbacks full{&ApplyKey, &AddComponent, nullptr,  nullptr,
                               nullptr,   &InstanceData, &SaveData};
    const CosTagCallbacks noKeys{nullptr, &AddComponent, nullptr, nullptr,
                                 nullptr, nullptr,       nullptr};
    Cos_NewStateBasedTag(Cos_MakeCode("MMDL"), "model", 0, &full, 0);
    Cos_NewStateBasedTag(Cos_MakeCode("MESH"), "mesh", 0, &full, 0);
    Cos_NewIntTag(Cos_MakeCode("KEYF"), "keyframe", 0, &full, 0);
    Cos_NewFloatTag(Cos_MakeCode("FLOT"), "float thing", 0, &full, 0);
    Cos_NewIntTag(Cos_MakeCode("NOKY"), "no keys", 0, &noKeys, 0);
  }
  ~Library() {
    for (CosCostumeHandle h = 1; h <= 4096; ++h) {
      if (Cos_GetCostumeName(h)) Cos_Free(h);
    }
    for (CosInstHandle h = 1; h <= 4096; ++h) Cos_FreeCosInstance(h);
    module.shutdown();
    module.uninitialize();
  }

  // Plays every chore of a costume for a few steps and stops them.
  static void Exercise(CosCostumeHandle costume) {
    const CosInstHandle instance = Cos_CreateCosInstance(costume, 0);
    if (!instance) return;
    for (int c = 0; c < Cos_InstCountChores(instance); ++c) {
      Cos_InstPlayChore(instance, c, c & 1, 0);
    }
    for (int step = 0; step < 4; ++step) Cos_InstUpdateChores(instance, 97);
    Cos_InstCompleteChores(instance);
    Cos_InstStopChores(instance);
    Cos_FreeCosInstance(instance);
  }
};

}  // namespace chore_fuzz
