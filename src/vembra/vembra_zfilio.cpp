// vembra_zfilio: the decompressing file module of the codec library.
#include "vembra/vembra_zfilio.h"

#include <cstring>
#include <initializer_list>

#include "vembra/vembra_gzio.h"

namespace {

struct ZHandle {
  void* inner;  // a gzip stream or a handle of the chained table
  bool compressed;
  int32_t size;       // uncompressed size (from the gzip trailer)
  int32_t actual;     // where the gzip stream is
  int32_t requested;  // where the caller wants to be
};

struct ZState {
  const char* context = nullptr;
  VembraFilio* chain = nullptr;
  VembraMemory* memory = nullptr;
  VembraDebugPrint* debug = nullptr;
  const char* extensions[kVembraZfilioMaxExtensions] = {".gz"};
  int extensionCount = 1;
  uint32_t debugFlags = 1;
};

ZState g_z;

const char kModuleKey[] = "ORNMODULE=vembra_zfilio";
const char kFilioKey[] = "FILIO=vembra_zfilio";

int32_t TrailerSize(const char* path) {
  VembraFileHandle f = g_z.chain->Open(path, "rb");
  if (!f) return 0;
  unsigned char b[4] = {};
  int32_t size = 0;
  if (g_z.chain->Seek(f, -4, 2) == 0 && g_z.chain->Read(f, b, 4) == 4)
    size =
        int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  g_z.chain->Close(f);
  return size;
}

VembraFileHandle Open(const char* path, const char* mode) {
  if (!g_z.chain || !g_z.memory || !path || !mode) return nullptr;
  auto* h = static_cast<ZHandle*>(VEMBRA_ALLOC(g_z.memory, sizeof(ZHandle)));
  if (!h) {
    if ((g_z.debugFlags & 1) && g_z.debug) g_z.debug->Print("Zfile Memory Alloc fail");
    return nullptr;
  }
  *h = ZHandle{nullptr, false, 0, 0, 0};
  size_t len = strlen(mode);
  bool update = (len > 1 && mode[1] == '+') || (len > 2 && mode[2] == '+');
  if ((mode[0] == 'r' || mode[0] == 'R') && !update) {
    for (int i = 0; i < g_z.extensionCount; ++i) {
      if (!strstr(path, g_z.extensions[i])) continue;
      // The first fragment found decides; a failed gzip open is not retried.
      VembraGzStream* gz = vembra_gz_Open(g_z.chain, path, mode);
      if (gz) {
        h->inner = gz;
        h->compressed = true;
        h->size = TrailerSize(path);
        return h;
      }
      break;
    }
  }
  h->inner = g_z.chain->Open(path, mode);
  if (!h->inner) {
    VEMBRA_FREE(g_z.memory, h);
    return nullptr;
  }
  return h;
}

int Close(VembraFileHandle handle) {
  auto* h = static_cast<ZHandle*>(handle);
  if (!h) return -1;
  int result = 0;
  if (h->inner)
    result = h->compressed ? vembra_gz_Close(static_cast<VembraGzStream*>(h->inner))
                           : g_z.chain->Close(h->inner);
  VEMBRA_FREE(g_z.memory, h);
  return result;
}

int32_t Read(VembraFileHandle handle, void* buffer, int32_t count) {
  auto* h = static_cast<ZHandle*>(handle);
  if (!h || !h->inner) return -1;
  if (!h->compressed) return g_z.chain->Read(h->inner, buffer, count);
  auto* gz = static_cast<VembraGzStream*>(h->inner);
  if (h->requested != h->actual) {
    int32_t r = vembra_gz_Seek(gz, h->requested, 0);
    if (r < 0) return r;
    h->actual = h->requested;
  }
  int32_t n = vembra_gz_Read(gz, buffer, count);
  // The positions follow what was really read, so that a short read at the
  // end of the data keeps them in step with the stream.
  if (n > 0) {
    h->actual += n;
    h->requested += n;
  }
  return n;
}

int32_t Write(VembraFileHandle handle, const void* buffer, int32_t count) {
  auto* h = static_cast<ZHandle*>(handle);
  if (!h || !h->inner) return -1;
  if (!h->compressed) return g_z.chain->Write(h->inner, buffer, count);
  int32_t n = vembra_gz_Write(static_cast<VembraGzStream*>(h->inner), buffer, count);
  if (n > 0) {
    h->actual += n;
    h->requested += n;
  }
  return n;
}

int32_t Tell(VembraFileHandle handle) {
  auto* h = static_cast<ZHandle*>(handle);
  if (!h || !h->inner) return 0;
  return h->compressed ? h->requested : g_z.chain->Tell(h->inner);
}

int32_t Seek(VembraFileHandle handle, int32_t offset, int origin) {
  auto* h = static_cast<ZHandle*>(handle);
  if (!h || !h->inner) return -1;
  if (!h->compressed) return g_z.chain->Seek(h->inner, offset, origin);
  // Lazy: only the requested position moves; the next Read seeks the stream.
  switch (origin) {
    case 0:
      h->requested = offset;
      return offset;
    case 1:
      h->requested += offset;
      return 0;
    case 2:
      h->requested = h->size + offset;
      return h->requested;
    default:
      return origin - 2;
  }
}

int Flush(VembraFileHandle handle) {
  auto* h = static_cast<ZHandle*>(handle);
  if (!h || !h->inner) return -1;
  if (h->compressed) return vembra_gz_Flush(static_cast<VembraGzStream*>(h->inner), 4);
  return g_z.chain->Flush(h->inner);
}

VembraFilio g_table = {Open, Close, Read, Write, Tell, Seek, Flush};

int Startup(void) {
  g_z.chain = static_cast<VembraFilio*>(OrnShare_Subscribe("FILIO.chainto", g_z.context));
  if (!g_z.chain) {
    OrnShare_GetErrorPrinter()("Zfile Module: Cannot allocate filio services.");
    return -1;
  }
  g_z.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.buffers", g_z.context));
  if (!g_z.memory) {
    OrnShare_GetErrorPrinter()("Zfile Module: Cannot allocate memory services.");
    OrnShare_Unsubscribe(g_z.chain);
    g_z.chain = nullptr;
    return -1;
  }
  g_z.debug = static_cast<VembraDebugPrint*>(OrnShare_Subscribe("VIRTHERC.debug", g_z.context));
  return 0;
}

void Shutdown(void) {
  OrnShare_Release(g_z.chain);
  OrnShare_Release(g_z.memory);
  OrnShare_Release(g_z.debug);
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kFilioKey);
}

OrnModuleTable g_module = {vembra_zfilio_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_zfilio_Register(OrnShareServices* services, const char* context) {
  g_z.context = context;
  services->Publish(kModuleKey, &g_module);
  services->Publish(kFilioKey, &g_table);
  return 0;
}

int vembra_zfilio_Configure(const intptr_t* tags) {
  for (const intptr_t* t = tags; t && t[0] != 0; t += 2) {
    if (t[0] != 1) return -1;
    if (g_z.extensionCount >= kVembraZfilioMaxExtensions) {
      if (g_z.debug) g_z.debug->Print("Too many zfilio extension set");
      continue;
    }
    if (t[1]) g_z.extensions[g_z.extensionCount++] = reinterpret_cast<const char*>(t[1]);
  }
  return 0;
}

VembraFilio* vembra_zfilio_Table(void) {
  return &g_table;
}
