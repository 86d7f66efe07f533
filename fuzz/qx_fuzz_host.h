// The services of the 3D library's fuzz targets: every open for reading
// serves the fuzz input from memory, every open for writing goes to
// /dev/null, and the library is started once. Model targets install a
// material loader that answers a textured material for names starting with
// "t", an untextured one for other names, and null for "missing".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "std/std.h"

namespace qxfuzz {

inline std::vector<char>& Input() {
  static std::vector<char> input;
  return input;
}

inline stdFile_t Open(const char*, const char* mode) {
  if (mode[0] != 'r') return reinterpret_cast<stdFile_t>(std::fopen("/dev/null", "wb"));
  std::vector<char>& in = Input();
  if (in.empty()) return 0;
  return reinterpret_cast<stdFile_t>(fmemopen(in.data(), in.size(), "rb"));
}

inline void Start(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    hs.fileOpen = Open;
    std_Startup(&hs);
    qxCore_Startup(&hs);
    qxCore_Open(0);
    ready = true;
  }
  Input().assign(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
}

inline qxMaterial* MaterialHook(const char* name, int, int) {
  static qxMaterial textured = [] {
    qxMaterial m{};
    m.flags = QXMATERIAL_TEXTURED;
    return m;
  }();
  static qxMaterial plain{};
  if (std::strcmp(name, "missing") == 0) return nullptr;
  return name[0] == 't' ? &textured : &plain;
}

inline void MaterialUnhook(qxMaterial*) {}

inline void HookMaterials() {
  qxMaterial_SetLoader(MaterialHook);
  qxMaterial_SetUnloader(MaterialUnhook);
}

}  // namespace qxfuzz
