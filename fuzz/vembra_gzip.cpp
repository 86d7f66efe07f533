// Fuzz target for the codec library's gzip layer and vembra_zfilio: the input
// is written to a file named like a movie and read through both, with a
// backward seek that inflates again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "../tests/vembra/VembraTestHost.h"
#include "vembra/OrnShare.h"
#include "vembra/vembra_gzio.h"
#include "vembra/vembra_zfilio.h"

namespace {

int RegisterHost(OrnShareServices* s, const char*) {
  s->Publish("MEMORY=vembra", vembratest::TestMemory());
  s->Publish("FILIO=vembra_stdio", vembratest::TestStdio());
  return 0;
}

const OrnModuleListEntry kModules[] = {
    {RegisterHost, nullptr}, {vembra_zfilio_Register, "FILIO=vembra_stdio"}, {nullptr, nullptr}};

// A plain buffer: it must outlive the exit handler that removes the file.
const char* FilePath() {
  static char path[64];
  if (!path[0]) snprintf(path, sizeof path, "/tmp/vembra_gzip_fuzz_%d.snm", int(getpid()));
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, "FILIO=vembra_zfilio", "");
    static const intptr_t tags[] = {1, reinterpret_cast<intptr_t>(".snm"), 0};
    vembra_zfilio_Configure(tags);
    atexit([] { remove(FilePath()); });
    return OrnShare_Startup() == 0;
  }();
  if (!started) abort();
  FILE* f = fopen(FilePath(), "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  static char buffer[70000];
  if (VembraGzStream* s = vembra_gz_Open(vembratest::TestStdio(), FilePath(), "rb")) {
    int32_t total = 0, n;
    while ((n = vembra_gz_Read(s, buffer, 3000)) > 0 && total < (1 << 22)) total += n;
    if (n < -1) abort();
    if (total > 10) vembra_gz_Seek(s, 5, 0);
    int code;
    vembra_gz_Error(s, &code);
    vembra_gz_Close(s);
  }
  VembraFilio* io = vembra_zfilio_Table();
  if (VembraFileHandle h = io->Open(FilePath(), "rb")) {
    io->Seek(h, 0, 2);
    io->Seek(h, 100, 0);
    io->Read(h, buffer, 1000);
    io->Seek(h, 0, 0);
    io->Read(h, buffer, sizeof buffer);
    io->Close(h);
  }
  return 0;
}
