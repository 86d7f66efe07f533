// The codec library's frame parser.
#include "vembra/vembra_animframe.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "vembra/vembra_Services.h"

namespace {

constexpr int32_t kPaletteBytes = 1024;

struct DecoderSlot {
  VembraFlobdec* table;
  uint32_t tag;
  uint32_t flags;
};

// Display operations of a VIDEO.display table (no module of the engine
// publishes one).
struct VembraVideoDisplay {
  void (*Picture)(VembraBitmap* bitmap, int32_t x, int32_t y);
  void (*Palette)(const uint8_t* palette, uint32_t paletteFlags);
};

struct FrameState {
  std::array<DecoderSlot, kVembraMaxDecoders> slots{};
  int count = 0;
  int32_t storeSize = 0;  // configured
  int32_t preloadSize = 0;
  uint8_t* store = nullptr;
  int32_t storedSize = 0;
  int storedDecoder = -1;
  bool storeMark = false;
  uint8_t* preload = nullptr;
  int32_t preloadFill = 0;
  int32_t preloadCursor = 8;
  int32_t lastPart = -1;
  std::array<uint8_t, kPaletteBytes> fadeTarget{};
  int32_t fadeSteps = 0;
  uint32_t debugFlags = 0;
  VembraBitmapTable* bitmap = nullptr;
  VembraMemory* memory = nullptr;
  VembraDebugPrint* debug = nullptr;
  VembraVideoDisplay* display = nullptr;
};

FrameState g_frame;

const char kModuleKey[] = "ORNMODULE=vembra_animframe";
const char kFrameKey[] = "ANIMFRAME=vembra";
const char kDebugKey[] = "DEBUG=animframe";

uint32_t BigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int32_t Little16(const uint8_t* p) {
  return int16_t(uint16_t(p[0] | p[1] << 8));
}

uint32_t Little32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

template <typename... Args>
void Debug(uint32_t flag, const char* format, Args... args) {
  if ((g_frame.debugFlags & flag) && g_frame.debug && g_frame.debug->Print)
    g_frame.debug->Print(format, args...);
}

char TagChar(uint32_t tag, int i) {
  return char((tag >> (24 - 8 * i)) & 0xFF);
}

void ApplyResult(uint32_t r, uint32_t* frameFlags, uint32_t* paletteFlags) {
  if (r & kVembraDecodePicture) *frameFlags |= 1;
  if (r & kVembraDecodePalette) *paletteFlags |= 1;
  if (r & kVembraDecodePalette2) *paletteFlags |= 2;
}

// `npal`: an immediate change, or the target of a fade of N frames. Entries
// beyond the payload or the 1024-byte palette are dropped.
void PaletteChange(const uint8_t* p, int32_t size, uint8_t* palette, uint32_t* paletteFlags) {
  if (size < 20 || !palette) return;
  int32_t steps = Little16(p + 12);
  int32_t first = int32_t(uint16_t(p[14] | p[15] << 8));
  int32_t count = int32_t(uint16_t(p[16] | p[17] << 8));
  count = std::min(count, (size - 20) / 4);
  int32_t offset = 16 * first;
  int32_t bytes = std::max(0, std::min(count * 4, kPaletteBytes - offset));
  if (steps <= 0) {
    if (bytes > 0) memcpy(palette + offset, p + 20, size_t(bytes));
    *paletteFlags |= Little32(p + 8);
    g_frame.fadeSteps = 0;
    return;
  }
  memcpy(g_frame.fadeTarget.data(), palette, kPaletteBytes);
  if (bytes > 0) memcpy(g_frame.fadeTarget.data() + offset, p + 20, size_t(bytes));
  g_frame.fadeSteps = steps;
}

void FadeStep(uint8_t* palette, uint32_t* paletteFlags) {
  if (g_frame.fadeSteps <= 0 || !palette) return;
  *paletteFlags |= 1;
  for (int i = 0; i < kPaletteBytes; ++i) {
    int diff = int(g_frame.fadeTarget[size_t(i)]) - int(palette[i]);
    palette[i] = uint8_t(palette[i] + diff / g_frame.fadeSteps);
  }
  g_frame.fadeSteps--;
}

void ResetDecoders(void) {
  for (int i = 0; i < g_frame.count; ++i)
    if (g_frame.slots[size_t(i)].table->Reset) g_frame.slots[size_t(i)].table->Reset();
}

void Preparse(const uint8_t* payload, int32_t size) {
  int32_t pos = 0;
  while (payload && size - pos > 4) {
    if (size - pos < 8) break;
    uint32_t tag = BigEndian(payload + pos);
    uint32_t len = BigEndian(payload + pos + 4);
    if (len > uint32_t(size - pos - 8)) break;
    for (int i = 0; i < g_frame.count; ++i) {
      const DecoderSlot& d = g_frame.slots[size_t(i)];
      if (tag != 0 && d.tag == tag && d.table->Preparse)
        d.table->Preparse(payload + pos + 8, int32_t(len));
    }
    pos += 8 + int32_t(len) + int32_t(len & 1);
  }
}

int32_t Load(const uint8_t* payload, int32_t size) {
  if (!payload || size < 10) return g_frame.preloadFill;  // too short to hold a part
  int32_t part = Little16(payload + 2);
  if (part == 0) {
    g_frame.preloadFill = 0;
    g_frame.preloadCursor = 8;
    g_frame.lastPart = -1;
  }
  if (part == g_frame.lastPart + 1) {
    int32_t n = size - 10;
    if (g_frame.preload && g_frame.preloadFill + size < g_frame.preloadSize) {
      memcpy(g_frame.preload + g_frame.preloadFill, payload + 10, size_t(n));
      g_frame.preloadFill += n;
    }
    g_frame.lastPart = part;
  }
  return g_frame.preloadFill;
}

const uint8_t* GetPreload(int32_t n) {
  if (!g_frame.preload) return nullptr;
  if (n >= 0) {
    if (g_frame.preloadFill >= g_frame.preloadCursor + n) {
      const uint8_t* p = g_frame.preload + g_frame.preloadCursor;
      g_frame.preloadCursor += n;
      return p;
    }
    g_frame.preloadCursor = 8;
    return nullptr;
  }
  return g_frame.preloadFill >= g_frame.preloadCursor - n ? g_frame.preload + g_frame.preloadCursor
                                                          : nullptr;
}

int32_t ParseFrame(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                   uint8_t* palette, uint32_t* frameFlags, uint32_t* paletteFlags, uint32_t,
                   int32_t word1, int32_t word2, const uint8_t* block, int32_t size) {
  uint32_t localFrame = 0, localPalette = 0;
  if (!frameFlags) frameFlags = &localFrame;
  if (!paletteFlags) paletteFlags = &localPalette;
  const uint32_t decoderFlags = ((*frameFlags & 0x8000) ? 4u : 0u) | (*frameFlags & 0x30);
  int32_t result = 0;
  int32_t pos = 0;
  while (block && size - pos > 4) {
    if (size - pos < 8) break;
    const uint32_t tag = BigEndian(block + pos);
    const uint32_t len = BigEndian(block + pos + 4);
    Debug(0x80000, "Parsing Block '%c%c%c%c' (%ld)\n", TagChar(tag, 0), TagChar(tag, 1),
          TagChar(tag, 2), TagChar(tag, 3), long(len));
    // A sub-block running past the frame ends the parse.
    if (len > uint32_t(size - pos - 8)) break;
    const uint8_t* payload = block + pos + 8;
    const int32_t n = int32_t(len);
    int slot = -1;
    for (int i = 0; tag != 0 && i < g_frame.count; ++i) {
      if (g_frame.slots[size_t(i)].tag == tag) {
        slot = i;
        break;
      }
    }
    if (slot >= 0) {
      const DecoderSlot& d = g_frame.slots[size_t(slot)];
      if (g_frame.storeMark && g_frame.store && (d.flags & kVembraDecoderStorable)) {
        if (n + 8 < g_frame.storeSize) {
          memcpy(g_frame.store, block + pos, size_t(n) + 8);
          g_frame.storedSize = n;
          g_frame.storedDecoder = slot;
        } else {
          g_frame.storedDecoder = -1;
        }
        g_frame.storeMark = false;
      }
      uint32_t r =
          d.table->Decode(target, clip, x, y, palette, payload, n, decoderFlags, word1, word2);
      ApplyResult(r, frameFlags, paletteFlags);
      if (r & kVembraDecodeResetSync) result = 2;
    } else if (tag == VembraTag("npal")) {
      PaletteChange(payload, n, palette, paletteFlags);
    } else if (tag == VembraTag("ftch")) {
      if (g_frame.store && g_frame.storedDecoder >= 0) {
        const DecoderSlot& d = g_frame.slots[size_t(g_frame.storedDecoder)];
        uint32_t r = d.table->Decode(target, clip, x, y, palette, g_frame.store + 8,
                                     g_frame.storedSize, decoderFlags, word1, word2);
        ApplyResult(r, frameFlags, paletteFlags);
      }
    } else if (tag == VembraTag("load")) {
      Load(payload, n);
    } else if (tag == VembraTag("stor")) {
      g_frame.storeMark = true;
    } else {
      char c[4] = {TagChar(tag, 0), TagChar(tag, 1), TagChar(tag, 2), TagChar(tag, 3)};
      Debug(0x40000, "Found Unknown Block '%c%c%c%c'\n", c[0], c[1], c[2], c[3]);
      if (std::any_of(c, c + 4, [](char ch) { return ch < '0' || ch > 'z'; })) {
        Debug(0x20000, "Bad Header Found '%c%c%c%c'\n", c[0], c[1], c[2], c[3]);
        return result | 0x8000;
      }
    }
    pos += 8 + n + int32_t(len & 1);
  }
  FadeStep(palette, paletteFlags);
  return result;
}

void Display(VembraBitmap* bitmap, int32_t x, int32_t y, uint8_t* palette, uint32_t frameFlags,
             uint32_t paletteFlags, uint32_t flags) {
  if (!g_frame.display) return;
  if ((frameFlags & 1) && !(flags & 0x4000) && g_frame.display->Picture)
    g_frame.display->Picture(bitmap, x, y);
  if ((paletteFlags & 1) && !(flags & 0x2000) && g_frame.display->Palette)
    g_frame.display->Palette(palette, paletteFlags);
}

VembraAnimFrameTable g_table = {ResetDecoders, Preparse, ParseFrame, Display, Load, GetPreload};

const char* Describe(int kind) {
  switch (kind) {
    case 0:
      return "Vembra AnimFrame";
    case 1:
      return "Vembra AnimFrame Debug Interface";
    case 2:
      return "This is the debugging interface for the Vembra Animation Frame module.";
    default:
      return "";
  }
}

OrnDebugTable g_debugTable = {Describe, vembra_animframe_SetDebugFlags,
                              vembra_animframe_DebugFlags};

void Shutdown(void);

int Fail(const char* message, long bytes = 0) {
  OrnShare_GetErrorPrinter()(message, bytes);
  Shutdown();
  return -1;
}

int Startup(void) {
  g_frame.bitmap = static_cast<VembraBitmapTable*>(OrnShare_Subscribe("BITMAP.buffers", nullptr));
  if (!g_frame.bitmap) return Fail("AnimFrame Module: Cannot allocate bitmap services.");
  g_frame.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  if (!g_frame.memory) return Fail("AnimFrame Module: Cannot allocate memory services.");
  g_frame.debug = static_cast<VembraDebugPrint*>(OrnShare_Subscribe("VIRTHERC.debug", nullptr));
  g_frame.display = static_cast<VembraVideoDisplay*>(OrnShare_Subscribe("VIDEO.display", nullptr));
  if (g_frame.storeSize > 0) {
    g_frame.store = static_cast<uint8_t*>(VEMBRA_ALLOC(g_frame.memory, size_t(g_frame.storeSize)));
    if (!g_frame.store)
      return Fail("AnimFrame Module: Can't allocate overlay buffer (%ld bytes)", g_frame.storeSize);
  }
  if (g_frame.preloadSize > 0) {
    g_frame.preload =
        static_cast<uint8_t*>(VEMBRA_ALLOC(g_frame.memory, size_t(g_frame.preloadSize)));
    if (!g_frame.preload)
      return Fail("AnimFrame Module: Can't allocate preload buffer (%ld bytes)",
                  g_frame.preloadSize);
  }
  g_frame.storedDecoder = -1;
  g_frame.storeMark = false;
  g_frame.preloadFill = 0;
  g_frame.preloadCursor = 8;
  g_frame.lastPart = -1;
  // Every published decoder, each selected exactly by its own key.
  int n = std::min(OrnShare_Count("FLOBDEC"), kVembraMaxDecoders);
  g_frame.count = 0;
  for (int i = 0; i < n; ++i) {
    const char* key = OrnShare_Enumerate("FLOBDEC", i);
    auto* table = static_cast<VembraFlobdec*>(OrnShare_Subscribe("FLOBDEC.temp", key));
    if (!table) continue;
    DecoderSlot& d = g_frame.slots[size_t(g_frame.count++)];
    d.table = table;
    d.tag = table->GetTag ? table->GetTag() : 0;
    d.flags = table->GetFlags ? table->GetFlags() : 0;
  }
  return 0;
}

void Shutdown(void) {
  for (int i = 0; i < g_frame.count; ++i) OrnShare_Unsubscribe(g_frame.slots[size_t(i)].table);
  g_frame.count = 0;
  OrnShare_Release(g_frame.bitmap);
  OrnShare_Release(g_frame.debug);
  OrnShare_Release(g_frame.display);
  if (g_frame.memory) {
    if (g_frame.store) VEMBRA_FREE(g_frame.memory, g_frame.store);
    if (g_frame.preload) VEMBRA_FREE(g_frame.memory, g_frame.preload);
    OrnShare_Unsubscribe(g_frame.memory);
  }
  g_frame.store = g_frame.preload = nullptr;
  g_frame.memory = nullptr;
  g_frame.storedDecoder = -1;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kFrameKey);
  OrnShare_Unpublish(kDebugKey);
}

OrnModuleTable g_module = {vembra_animframe_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_animframe_Register(OrnShareServices* services, const char*) {
  services->Publish(kModuleKey, &g_module);
  services->Publish(kFrameKey, &g_table);
  services->Publish(kDebugKey, &g_debugTable);
  return 0;
}

int vembra_animframe_Configure(const intptr_t* tags) {
  for (const intptr_t* t = tags; t && t[0] != 0; t += 2) {
    if (t[0] == 1)
      g_frame.storeSize = int32_t(std::clamp<intptr_t>(t[1], 0, INT32_MAX));
    else if (t[0] == 2)
      g_frame.preloadSize = int32_t(std::clamp<intptr_t>(t[1], 0, INT32_MAX));
    else
      return -1;
  }
  return 0;
}

VembraAnimFrameTable* vembra_animframe_Table(void) {
  return &g_table;
}

uint32_t vembra_animframe_DebugFlags(void) {
  return g_frame.debugFlags;
}

void vembra_animframe_SetDebugFlags(uint32_t flags) {
  g_frame.debugFlags = flags;
}
