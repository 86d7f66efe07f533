// Test stand-ins for the engine's memory and plain file modules
// (MEMORY=vembra, FILIO=vembra_stdio) over malloc and stdio.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "vembra/OrnShare.h"
#include "vembra/vembra_Services.h"

namespace vembratest {

inline VembraMemory* TestMemory() {
  static VembraMemory table = {
      [](size_t size, const char*, int) { return malloc(size); },
      [](void* p, const char*, int) { free(p); },
      [](void* p, size_t size, const char*, int) { return realloc(p, size); }};
  return &table;
}

inline VembraFilio* TestStdio() {
  static VembraFilio table = {
      [](const char* path, const char* mode) -> VembraFileHandle { return fopen(path, mode); },
      [](VembraFileHandle h) { return fclose(static_cast<FILE*>(h)); },
      [](VembraFileHandle h, void* b, int32_t n) {
        return int32_t(fread(b, 1, size_t(n), static_cast<FILE*>(h)));
      },
      [](VembraFileHandle h, const void* b, int32_t n) {
        return int32_t(fwrite(b, 1, size_t(n), static_cast<FILE*>(h)));
      },
      [](VembraFileHandle h) { return int32_t(ftell(static_cast<FILE*>(h))); },
      [](VembraFileHandle h, int32_t o, int w) {
        return int32_t(fseek(static_cast<FILE*>(h), o, w));
      },
      [](VembraFileHandle h) { return fflush(static_cast<FILE*>(h)); }};
  return &table;
}

inline int RegisterTestMemory(OrnShareServices* s, const char*) {
  static OrnModuleTable module = {RegisterTestMemory,
                                  [] {
                                    OrnShare_Unpublish("ORNMODULE=vembra_memory");
                                    OrnShare_Unpublish("MEMORY=vembra");
                                  },
                                  nullptr, nullptr};
  s->Publish("ORNMODULE=vembra_memory", &module);
  s->Publish("MEMORY=vembra", TestMemory());
  return 0;
}

inline int RegisterTestStdio(OrnShareServices* s, const char*) {
  static OrnModuleTable module = {RegisterTestStdio,
                                  [] {
                                    OrnShare_Unpublish("ORNMODULE=vembra_stdio");
                                    OrnShare_Unpublish("FILIO=vembra_stdio");
                                  },
                                  nullptr, nullptr};
  s->Publish("ORNMODULE=vembra_stdio", &module);
  s->Publish("FILIO=vembra_stdio", TestStdio());
  return 0;
}

}  // namespace vembratest
