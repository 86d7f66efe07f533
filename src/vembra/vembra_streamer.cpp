// The codec library's stream buffer.
#include "vembra/vembra_streamer.h"

#include <algorithm>
#include <cstring>

#include "vembra/vembra_Services.h"

struct VembraStream {
  uint8_t* ring;
  int32_t ringSize;  // whole sectors
  int32_t largest;   // the largest block a caller may ask for
  int32_t write;     // next byte the reader fills (offset in the ring)
  int32_t read;      // start of the next block
  int32_t lastSize;  // the block handed out last, released by the next call
  bool released;
  bool restartPending;
  bool restartArrived;
  int32_t restartPos;
  int32_t skip;  // the start offset's position inside its first sector
  VembraFileHandle file;
  int32_t filePos;  // sector-aligned position read so far
  int32_t fileSize;
  char name[201];
  bool reopen;  // Open was given a path that the next Fill opens
  int32_t startOffset;
  bool openPending;
  bool justOpened;  // the first read after an open takes the largest block
  VembraStreamStatus status;
  bool stopped;
};

namespace {

VembraMemory* g_memory = nullptr;
VembraFilio* g_io = nullptr;

const char kModuleKey[] = "ORNMODULE=vembra_streamer";
const char kStreamerKey[] = "STREAMER=vembra_streamer";

int32_t Available(const VembraStream* s) {
  return (s->write - s->read + s->ringSize) % s->ringSize;
}

void CloseFile(VembraStream* s) {
  if (s->file && g_io) g_io->Close(s->file);
  s->file = nullptr;
}

int Create(VembraStream** out, int32_t size, int32_t largest) {
  if (!out) return -1;
  *out = nullptr;
  if (!g_memory || size < kVembraSector || largest < 8) return -1;
  auto* s = static_cast<VembraStream*>(VEMBRA_ALLOC(g_memory, sizeof(VembraStream)));
  if (!s) return -1;
  memset(s, 0, sizeof *s);
  s->ringSize = size / kVembraSector * kVembraSector;
  s->largest = largest;
  // The extension area also holds the skip count of a first block, which may
  // add up to one sector to the largest block.
  size_t area = size_t(s->ringSize) + size_t(largest) + kVembraSector;
  s->ring = static_cast<uint8_t*>(VEMBRA_ALLOC(g_memory, area));
  if (!s->ring) {
    VEMBRA_FREE(g_memory, s);
    return -1;
  }
  memset(s->ring, 0, area);
  s->released = true;
  *out = s;
  return 0;
}

void Destroy(VembraStream** stream) {
  if (!stream || !*stream) return;
  VembraStream* s = *stream;
  CloseFile(s);
  VEMBRA_FREE(g_memory, s->ring);
  VEMBRA_FREE(g_memory, s);
  *stream = nullptr;
}

int Open(VembraStream* s, const char* path, int32_t offset) {
  if (!s || !g_io || offset < 0) return -1;
  if (path) {
    if (strlen(path) >= sizeof s->name) return -1;
    VembraFileHandle f = g_io->Open(path, "rb");
    if (!f) return -1;
    g_io->Close(f);
    strcpy(s->name, path);
    s->reopen = true;
  } else if (!s->file && !s->reopen) {
    return -1;  // nothing to open again
  }
  s->startOffset = offset;
  s->openPending = true;
  return 0;
}

int PerformOpen(VembraStream* s) {
  s->openPending = false;
  if (s->reopen) {
    s->reopen = false;
    VembraFileHandle f = g_io->Open(s->name, "rb");
    if (!f) return -2;
    CloseFile(s);
    s->file = f;
    g_io->Seek(f, 0, 2);
    s->fileSize = g_io->Tell(f);
  }
  if (!s->file) return -2;
  int32_t aligned = s->startOffset / kVembraSector * kVembraSector;
  g_io->Seek(s->file, aligned, 0);
  s->skip = s->startOffset % kVembraSector;
  s->filePos = aligned;
  s->restartPos = s->write;
  s->restartPending = true;
  s->restartArrived = false;
  s->justOpened = true;
  return 0;
}

int Fill(VembraStream* s, int32_t maxBytes) {
  if (!s || !g_io) return -1;
  if (s->openPending && PerformOpen(s) != 0) return -2;
  if (!s->file || s->filePos >= s->fileSize) return 0;
  int32_t room;
  if (s->write >= s->read) {
    room = s->ringSize - s->write;
    if (s->read == 0) {
      // Stop a sector short so that the writer never lands on the reader.
      if (room <= kVembraSector) return 0;
      room -= kVembraSector;
    }
  } else {
    room = (s->read - s->write - kVembraSector) / kVembraSector * kVembraSector;
    if (room < kVembraSector) return 0;
  }
  int32_t amount =
      std::min({room, s->justOpened ? s->largest : maxBytes, s->fileSize - s->filePos});
  if (amount <= 0) return 0;
  int32_t got = g_io->Read(s->file, s->ring + s->write, amount);
  if (got == amount) {
    s->justOpened = false;
    s->filePos += amount;
    s->write += amount;
    if (s->write >= s->ringSize) s->write -= s->ringSize;
    if (s->restartPending) s->restartArrived = true;
  } else {
    g_io->Seek(s->file, s->filePos, 0);  // the next Fill tries again
    if (s->status) s->status(0, nullptr);
  }
  return 0;
}

uint8_t* GetBlock(VembraStream* s, int32_t n) {
  if (!s || s->stopped || !s->file) return kVembraNotYet;
  if (n > s->largest) {
    OrnShare_GetErrorPrinter()("File Streamer:  Invalid frame size %ld", long(n));
    return kVembraTooLarge;
  }
  if (!s->released) {
    s->read = (s->read + s->lastSize) % s->ringSize;
    s->released = true;
  }
  if (n < 0) {
    if (s->restartPending) s->read = s->restartPos;
    return kVembraNotYet;
  }
  if (s->restartPending) {
    // Everything before the restart point belongs to the previous file.
    s->restartPending = false;
    s->restartArrived = false;
    s->read = s->restartPos;
    return nullptr;
  }
  n += s->skip;
  if (Available(s) < n) return kVembraNotYet;
  s->lastSize = n;
  s->released = false;
  if (s->read + n > s->ringSize)
    memcpy(s->ring + s->ringSize, s->ring, size_t(s->read + n - s->ringSize));
  uint8_t* block = s->ring + s->read + s->skip;
  s->skip = 0;
  return block;
}

int IsRestartReady(VembraStream* s) {
  return s && s->restartPending && s->restartArrived ? 1 : 0;
}

void Reset(VembraStream* s) {
  if (!s) return;
  CloseFile(s);
  s->read = s->write = 0;
  s->lastSize = 0;
  s->released = true;
  s->restartPending = s->restartArrived = false;
  s->openPending = s->reopen = s->justOpened = false;
  s->skip = 0;
  s->filePos = s->fileSize = 0;
}

int FillPercent(VembraStream* s) {
  if (!s || !s->file || s->fileSize - s->filePos < kVembraSector) return 100;
  return int(int64_t(Available(s)) * 100 / s->ringSize);
}

VembraStreamerTable g_table = {Create, Destroy,  Open,  IsRestartReady,
                               Fill,   GetBlock, Reset, FillPercent};

int Startup(void) {
  g_memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  if (!g_memory) {
    OrnShare_GetErrorPrinter()("Streamer Module: Cannot allocate memory services.");
    return -1;
  }
  g_io = static_cast<VembraFilio*>(OrnShare_Subscribe("FILIO.io", nullptr));
  if (!g_io) {
    OrnShare_GetErrorPrinter()("Streamer Module: Cannot allocate filio services.");
    OrnShare_Unsubscribe(g_memory);
    g_memory = nullptr;
    return -1;
  }
  return 0;
}

void Shutdown(void) {
  if (g_memory) OrnShare_Unsubscribe(g_memory);
  if (g_io) OrnShare_Unsubscribe(g_io);
  g_memory = nullptr;
  g_io = nullptr;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kStreamerKey);
}

OrnModuleTable g_module = {vembra_streamer_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_streamer_Register(OrnShareServices* services, const char*) {
  services->Publish(kModuleKey, &g_module);
  services->Publish(kStreamerKey, &g_table);
  return 0;
}

VembraStreamerTable* vembra_streamer_Table(void) {
  return &g_table;
}

int32_t vembra_streamer_RingSize(const VembraStream* stream) {
  return stream ? stream->ringSize : 0;
}
