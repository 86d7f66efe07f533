// The cutscene glue's host layer (see TolveHost.h).
#include "vembra/TolveHost.h"

#include <algorithm>
#include <cstring>

#include "platform/kv_Log.h"
#include "vembra/OrnShare.h"
#include "vembra/drevTolve.h"
#include "vembra/vembra_animframe.h"
#include "vembra/vembra_animplay.h"
#include "vembra/vembra_bitmap.h"
#include "vembra/vembra_blocky16.h"
#include "vembra/vembra_dsnd.h"
#include "vembra/vembra_sound.h"
#include "vembra/vembra_streamer.h"
#include "vembra/vembra_timer.h"
#include "vembra/vembra_wave.h"
#include "vembra/vembra_zfilio.h"

namespace {

constexpr int32_t kHeaderOffset = 16;      // the file header and SHDR's block header
constexpr int32_t kHeaderBytes = 1048;     // the SHDR payload the header reads
constexpr uint32_t kPlayerFlags = 0x600D;  // audio hold, no clearing, own rate and palette
constexpr int kPlayerRate = 15;
// A frame size beyond this is damage, not a movie: the ring would not fit.
constexpr uint32_t kLargestFrameLimit = 64u << 20;

struct HostState {
  HostServices* services = nullptr;
  bool registryCreated = false;
  bool started = false;
  bool movieOpen = false;
  VembraFile* file = nullptr;
  VembraSoundTable* sound = nullptr;
  VembraAnimPlayTable* player = nullptr;
  TolveDisplayCallbacks display{};
  VembraAnimPlay* handle = nullptr;
  uint32_t playFlags = 0;
  char path[256] = {};
  TolveRect rect{};
  TolveFileHeader header{};
  const uint16_t* remap = nullptr;
  const VembraBitmap* decoded = nullptr;
  VembraBitmap target{};
  uint8_t palette[1024] = {};
  int32_t ringSize = 0, largestBlock = 0;
};

HostState g_host;

// ---- The host's own modules: MEMORY=vembra and FILIO=vembra_stdio ------------------

void* MemoryAlloc(size_t size, const char* file, int line) {
  return g_host.services->memAlloc(size, file, line);
}
void MemoryFree(void* pointer, const char*, int) {
  g_host.services->memFree(pointer);
}
void* MemoryRealloc(void* pointer, size_t size, const char* file, int line) {
  return g_host.services->memRealloc(pointer, size, file, line);
}
VembraMemory g_memory = {MemoryAlloc, MemoryFree, MemoryRealloc};

VembraFileHandle StdioOpen(const char* path, const char* mode) {
  return reinterpret_cast<VembraFileHandle>(g_host.services->fileOpen(path, mode));
}
int StdioClose(VembraFileHandle h) {
  return g_host.services->fileClose(reinterpret_cast<stdFile_t>(h));
}
int32_t StdioRead(VembraFileHandle h, void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return int32_t(g_host.services->fileRead(reinterpret_cast<stdFile_t>(h), buffer, size_t(count)));
}
int32_t StdioWrite(VembraFileHandle h, const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return int32_t(
      g_host.services->fileWrite(reinterpret_cast<stdFile_t>(h), buffer, size_t(count)));
}
int32_t StdioTell(VembraFileHandle h) {
  return int32_t(g_host.services->fileTell(reinterpret_cast<stdFile_t>(h)));
}
int32_t StdioSeek(VembraFileHandle h, int32_t offset, int origin) {
  return g_host.services->fileSeek(reinterpret_cast<stdFile_t>(h), offset, origin);
}
int StdioFlush(VembraFileHandle) {
  return 0;
}
VembraFilio g_stdio = {StdioOpen, StdioClose, StdioRead, StdioWrite,
                       StdioTell, StdioSeek,  StdioFlush};

int Nothing(void) {
  return 0;
}
void NothingVoid(void) {}

int RegisterMemory(OrnShareServices* services, const char*);
int RegisterStdio(OrnShareServices* services, const char*);
OrnModuleTable g_memoryModule = {RegisterMemory,
                                 [] {
                                   OrnShare_Unpublish("ORNMODULE=vembra_memory");
                                   OrnShare_Unpublish("MEMORY=vembra");
                                 },
                                 Nothing, NothingVoid};
OrnModuleTable g_stdioModule = {RegisterStdio,
                                [] {
                                  OrnShare_Unpublish("ORNMODULE=vembra_stdio");
                                  OrnShare_Unpublish("FILIO=vembra_stdio");
                                },
                                Nothing, NothingVoid};

int RegisterMemory(OrnShareServices* services, const char*) {
  services->Publish("ORNMODULE=vembra_memory", &g_memoryModule);
  services->Publish("MEMORY=vembra", &g_memory);
  return 0;
}
int RegisterStdio(OrnShareServices* services, const char*) {
  services->Publish("ORNMODULE=vembra_stdio", &g_stdioModule);
  services->Publish("FILIO=vembra_stdio", &g_stdio);
  return 0;
}

// The library's modules in their order of startup.
const OrnModuleListEntry kModules[] = {
    {RegisterMemory, nullptr},
    {vembra_timer_Register, nullptr},
    {vembra_bitmap_Register, nullptr},
    {RegisterStdio, nullptr},
    {vembra_stdfile_Register, nullptr},
    {vembra_zfilio_Register, "FILIO=vembra_stdio"},
    {vembra_directory_Register, nullptr},
    {vembra_blocky16_Register, nullptr},
    {vembra_wave_Register, nullptr},
    {vembra_dsnd_Register, nullptr},
    {vembra_sound_Register, nullptr},
    {vembra_streamer_Register, nullptr},
    {vembra_animframe_Register, nullptr},
    {vembra_animplay_Register, nullptr},
    {nullptr, nullptr},
};

// The batch fills untyped slots; the host's typed pointers are taken from
// them after each subscribe and unsubscribe.
void* g_tables[3] = {};
OrnBatchItem g_batch[] = {
    {&g_tables[0], "FILE.app", nullptr},
    {&g_tables[1], "SOUND.app", nullptr},
    {&g_tables[2], "ANIMPLAY.app", nullptr},
    {nullptr, nullptr, nullptr},
};

void TakeTables() {
  g_host.file = static_cast<VembraFile*>(g_tables[0]);
  g_host.sound = static_cast<VembraSoundTable*>(g_tables[1]);
  g_host.player = static_cast<VembraAnimPlayTable*>(g_tables[2]);
}

uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t LE16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}

// The target the player is given: 640x480 16-bit direct colour without
// pixels (the decoder hands its picture to the host instead), 5-6-5 or 5-5-5.
void BuildTarget(int use555) {
  VembraBitmap& t = g_host.target;
  t = VembraBitmap{};
  t.width = 640;
  t.height = 480;
  t.bytesPerPixel = 2;
  t.bitsPerPixel = 16;
  t.pitch = 1280;
  t.mode = 1;
  t.redBits = 5;
  t.greenBits = use555 ? 5 : 6;
  t.blueBits = 5;
  t.redShift = use555 ? 10 : 11;
  t.greenShift = 5;
  t.blueShift = 0;
  t.redLoss = 3;
  t.greenLoss = use555 ? 3 : 2;
  t.blueLoss = 3;
}

int OpenPlayer(void) {
  return g_host.player->Open(&g_host.handle, g_host.path, kPlayerRate, g_host.ringSize,
                             g_host.largestBlock, kPlayerFlags);
}

uint32_t OnDecodedFrame(VembraBitmap*, const VembraRect*, int32_t, int32_t, VembraBitmap* picture,
                        uint8_t*, const uint16_t* remap) {
  g_host.decoded = picture;
  if (!g_host.remap) g_host.remap = remap;
  return 0;
}

void RouteDecodedFrames(bool on) {
  const intptr_t tags[] = {1, on ? reinterpret_cast<intptr_t>(&OnDecodedFrame) : 0, 0};
  vembra_blocky16_Configure(tags);
}

int HostInitialize(HostServices* services, TolveHostLifecycle* lifecycle) {
  return TolveHost_Initialize(services, lifecycle);
}

}  // namespace

int TolveHost_Initialize(HostServices* services, TolveHostLifecycle* lifecycle) {
  if (g_host.registryCreated || !services) return 1;
  g_host.services = services;
  if (!OrnShare_Init(nullptr, kModules, "FILIO=vembra_zfilio", "")) return 1;
  g_host.registryCreated = true;
  if (lifecycle)
    *lifecycle = {HostInitialize, TolveHost_Uninitialize, TolveHost_Startup, TolveHost_Shutdown,
                  {}};
  return 0;
}

void TolveHost_Uninitialize(void) {
  OrnShare_UnregisterAll();
  g_host.registryCreated = false;
}

int TolveHost_Startup(void) {
  if (!g_host.registryCreated || g_host.started) {
    drevTolve_Calls().movieOnPlayerStart();
    return 1;
  }
  // Movies open through the decompressing file layer when their name says so.
  const intptr_t extensions[] = {1, intptr_t(".snm"), 1, intptr_t(".SNM"), 1,
                                 intptr_t(".GZ"),     1, intptr_t(".gz"),  0};
  vembra_zfilio_Configure(extensions);
  if (OrnShare_Startup() != 0) {
    kv_Log_Printf("[Tolve] - the cutscene library did not start; no classic cutscene plays");
    drevTolve_Calls().movieOnPlayerStart();
    return 1;
  }
  const int subscribed = OrnShare_BatchSubscribe(g_batch, nullptr);
  TakeTables();
  if (subscribed != 0) {
    kv_Log_Printf("[Tolve] - the cutscene library lacks its file, sound or player services");
    OrnShare_BatchUnsubscribe(g_batch);
    TakeTables();
    OrnShare_Shutdown();
    return 1;
  }
  g_host.started = true;
  drevTolve_Calls().movieOnPlayerStart();
  return 0;
}

void TolveHost_Shutdown(void) {
  drevTolve_Calls().movieOnPlayerStop();
  if (!g_host.started) return;
  OrnShare_BatchUnsubscribe(g_batch);
  TakeTables();
  OrnShare_Shutdown();
  g_host.started = false;
}

void TolveHost_SetDisplayCallbacks(const TolveDisplayCallbacks* callbacks) {
  g_host.display = callbacks ? *callbacks : TolveDisplayCallbacks{};
}

void TolveHost_SetRemap(const uint16_t* remap) {
  g_host.remap = remap;
}

int TolveHost_IsMovieOpen(void) {
  return g_host.movieOpen ? 1 : 0;
}

int TolveHost_IsStarted(void) {
  return g_host.started ? 1 : 0;
}

TolveRect TolveHost_MovieRect(void) {
  return g_host.rect;
}

int Tolve_ParseFileHeader(const uint8_t* b, size_t size, TolveFileHeader* h) {
  if (!b || !h || size < size_t(kHeaderBytes)) return -2;
  h->byte0 = b[0];
  h->byte1 = b[1];
  h->frameCount = int16_t(LE16(b + 2));
  h->x = int16_t(LE16(b + 4));
  h->y = int16_t(LE16(b + 6));
  h->width = int16_t(LE16(b + 8));
  h->height = int16_t(LE16(b + 10));
  h->word12 = LE16(b + 12);
  h->periodUs = LE32(b + 14);
  h->largestFrame = LE32(b + 18);
  memcpy(h->palette, b + 22, sizeof h->palette);
  h->word1046 = LE16(b + 1046);
  if (h->width < 1 || h->height < 1 || int32_t(h->largestFrame) < 1) return -2;
  return 0;
}

int Tolve_ReadFileHeader(const VembraFilio* io, VembraFileHandle file, TolveFileHeader* header) {
  if (!io || !file) return -2;
  const int32_t position = io->Tell(file);
  io->Seek(file, kHeaderOffset, 0);
  uint8_t bytes[kHeaderBytes];
  if (io->Read(file, bytes, kHeaderBytes) != kHeaderBytes) return -2;
  if (Tolve_ParseFileHeader(bytes, sizeof bytes, header) != 0) return -2;
  io->Seek(file, position, 0);
  return 0;
}

float Tolve_GetFileLength(const char* path) {
  if (!g_host.file || !path) return 0.0f;
  VembraFileHandle f = g_host.file->io.Open(path, "rb");
  if (!f) return 0.0f;
  TolveFileHeader header;
  const int result = Tolve_ReadFileHeader(&g_host.file->io, f, &header);
  g_host.file->io.Close(f);
  if (result != 0) return 0.0f;
  return float(header.frameCount) * 66.666664f;
}

int TolveHost_PlayStart(const char* path, uint32_t flags, int32_t x, int32_t y, int32_t width,
                        int32_t height, int use555) {
  if (!g_host.display.CheckMode || !g_host.started || !path) return 1;
  if (strlen(path) >= sizeof g_host.path) {
    kv_Log_Printf("[Tolve] - cutscene name too long: %s", path);
    return 1;
  }
  VembraFileHandle f = g_host.file->io.Open(path, "rb");
  if (!f) {
    kv_Log_Printf("[Tolve] - cannot open cutscene %s", path);
    return 1;
  }
  strcpy(g_host.path, path);
  g_host.file->io.Seek(f, 0, 1);
  const int header = Tolve_ReadFileHeader(&g_host.file->io, f, &g_host.header);
  g_host.file->io.Close(f);
  if (header != 0 || g_host.header.largestFrame > kLargestFrameLimit) {
    kv_Log_Printf("[Tolve] - %s has no valid movie header", path);
    return 1;
  }
  if (g_host.display.Clear) g_host.display.Clear();
  BuildTarget(use555);
  if (g_host.display.CheckMode(width, height, 16) != 0) {
    kv_Log_Printf("[Tolve] - %s: the display is not a %dx%d 16-bit one", path, width, height);
    return 1;
  }
  g_host.playFlags = flags & 0x0FFFFFFFu;
  g_host.ringSize = int32_t(g_host.header.largestFrame) + 500000;
  g_host.largestBlock = int32_t(g_host.header.largestFrame) + 10000;
  if (OpenPlayer() != 0) {
    kv_Log_Printf("[Tolve] - the player cannot open %s", path);
    if (g_host.display.Idle) g_host.display.Idle();
    return 1;
  }
  g_host.rect = {x < 0 ? g_host.header.x : x, y < 0 ? g_host.header.y : y, g_host.header.width,
                 g_host.header.height};
  g_host.movieOpen = true;
  return 0;
}

void TolveHost_Blit(const TolveFrame* frame, const VembraBitmap* decoded, const TolveRect* rect,
                    const uint16_t* remap) {
  if (!frame || !frame->pixels || !decoded || !decoded->pixels || !rect) return;
  const int32_t bpp = frame->bytesPerPixel;
  if (bpp < 1 || bpp != decoded->bytesPerPixel) return;
  // The rectangle clipped to the picture, then to the frame on all four sides.
  int32_t w = std::min(rect->width, decoded->width);
  int32_t h = std::min(rect->height, decoded->height);
  int32_t sx = 0, sy = 0, dx = rect->x, dy = rect->y;
  if (dx < 0) {
    sx = -dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy = -dy;
    h += dy;
    dy = 0;
  }
  w = std::min(w, frame->width - dx);
  h = std::min(h, frame->height - dy);
  if (w <= 0 || h <= 0) return;
  const auto* source = static_cast<const uint8_t*>(decoded->pixels);
  auto* target = static_cast<uint8_t*>(frame->pixels);
  for (int32_t row = 0; row < h; ++row) {
    const uint8_t* from = source + size_t(sy + row) * decoded->pitch + size_t(sx) * bpp;
    uint8_t* to = target + size_t(dy + row) * frame->pitch + size_t(dx) * bpp;
    if (remap && bpp == 2) {
      const auto* s = reinterpret_cast<const uint16_t*>(from);
      auto* d = reinterpret_cast<uint16_t*>(to);
      for (int32_t i = 0; i < w; ++i) d[i] = remap[s[i]];
    } else {
      memcpy(to, from, size_t(w) * size_t(bpp));
    }
  }
}

int TolveHost_PlayStep(int* ended) {
  if (ended) *ended = 0;
  if (!g_host.movieOpen || !g_host.handle) {
    if (ended) *ended = 1;
    return 0;
  }
  RouteDecodedFrames(true);
  uint32_t frameFlags = 0, paletteFlags = 0;
  const int result = g_host.player->Step(g_host.handle, &g_host.target, nullptr, 0, 0,
                                         g_host.palette, &frameFlags, &paletteFlags, 1, 0);
  TolveFrame frame{};
  TolveRect lockRect{};
  if (g_host.display.Lock && g_host.display.Lock(&frame, &lockRect)) {
    TolveHost_Blit(&frame, g_host.decoded, &g_host.rect, g_host.remap);
    if (g_host.display.Unlock) g_host.display.Unlock();
  }
  if (result < 0 || result == kAnimLastFrame) {
    g_host.player->Close(&g_host.handle);
    g_host.decoded = nullptr;
    if ((g_host.playFlags & kTolvePlayLoop) && OpenPlayer() == 0) {
      // Looping: the same file again from its beginning.
    } else {
      if (ended) *ended = 1;
      g_host.movieOpen = false;
    }
  }
  RouteDecodedFrames(false);
  return 0;
}

int TolveHost_PlayStop(void) {
  if (g_host.movieOpen) {
    g_host.player->Close(&g_host.handle);
    if (g_host.sound) g_host.sound->StopAll();
    g_host.decoded = nullptr;
  }
  drevTolve_Calls().movieStop();
  g_host.movieOpen = false;
  if (g_host.display.Idle) g_host.display.Idle();
  return 0;
}

int TolveHost_PlayFile(const char* path, uint32_t flags, int32_t x, int32_t y, int32_t width,
                       int32_t height, int use555, int (*abort)(void)) {
  if (TolveHost_PlayStart(path, flags, x, y, width, height, use555) != 0) return 1;
  int ended = 0;
  while (!ended && !(abort && abort())) TolveHost_PlayStep(&ended);
  return TolveHost_PlayStop();
}

void TolveHost_Pause(int flag) {
  if (g_host.movieOpen && g_host.handle) g_host.player->SetPauseMode(g_host.handle, flag ? 1 : 0);
}
