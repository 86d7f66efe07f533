// Fuzz target of the LABN archive reader: the input is opened as an archive
// pack, and the entries named a.txt, b.txt and c.bin (the names the seeds
// use) are read through the file layer with reads, lines and seeks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/Res.h"
#include "std/std.h"

namespace {

HostServices* Services() {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    Res_Initialize(&hs, nullptr);
    Res_Startup();
    Res_InstallFileServices(&hs);
    ready = true;
  }
  return &hs;
}

void Exercise(HostServices* hs, const char* name) {
  const stdFile_t f = hs->fileOpen(name, "rb");
  if (!f) return;
  char buffer[5000];
  hs->fileRead(f, buffer, 7);
  hs->fileGets(f, buffer, 64);
  hs->fileSeek(f, -3, 2);
  hs->fileRead(f, buffer, 4096);
  hs->fileSeek(f, 1, 0);
  while (hs->fileGets(f, buffer, 3)) {
  }
  hs->fileSeek(f, 0, 0);
  while (hs->fileRead(f, buffer, sizeof buffer) > 0) {
  }
  hs->fileEof(f);
  hs->fileTell(f);
  hs->fileClose(f);
  hs->fileSize(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HostServices* hs = Services();
  // In the working folder: the file layer reads nothing outside the game folder.
  static const std::string path = "vq_fuzz_labn_" + std::to_string(getpid()) + ".lab";
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return 0;
  if (size > 0) std::fwrite(data, 1, size, out);
  std::fclose(out);
  if (Res_OpenPack(path.c_str())) {
    for (const char* name : {"a.txt", "b.txt", "c.bin"}) Exercise(hs, name);
  }
  Res_ClosePacks();
  std::remove(path.c_str());
  return 0;
}
