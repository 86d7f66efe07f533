// Stream dispatch: plays a track's sound by following the event map of its
// Melo data. Resident sounds are read from the host's memory; streamed sounds
// are read ahead into rings, cut at coming jumps with a cross-fade tail that
// is held in a region buffer and faded out while the destination fades in.
#include <algorithm>
#include <cstring>
#include <vector>

#include "melos/MelosBytes.h"
#include "melos/MelosFormats.h"
#include "melos/MelosInternal.h"
#include "melos/MelosMixer.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"

namespace {

constexpr int kStreams = 3;
constexpr int kRegionNodes = 50;
constexpr int32_t kReserve = 16384;
constexpr int32_t kLevelFull = 127 << 16;
// A map that jumps to itself could loop for ever inside one map step.
constexpr int kMaxJumpsPerStep = 64;
constexpr int kMaxPiecesPerMix = 4096;

constexpr uint32_t FourCC(const char* t) {
  return static_cast<uint32_t>(static_cast<uint8_t>(t[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 8 | static_cast<uint8_t>(t[3]);
}
constexpr uint32_t kMap = FourCC("MAP ");
constexpr uint32_t kFrmt = FourCC("FRMT");
constexpr uint32_t kRegn = FourCC("REGN");
constexpr uint32_t kSync = FourCC("SYNC");
constexpr uint32_t kText = FourCC("TEXT");
constexpr uint32_t kJump = FourCC("JUMP");

MelosDispatch g_dispatch[MELOS_MAX_TRACKS];
MelosStream g_streams[kStreams];
MelosRegion g_nodes[kRegionNodes];
MelosStream* g_lastServiced = nullptr;
kv_Mutex g_dispatchMutex = nullptr;

// Region buffers: the large ones first, then the small ones.
struct RegionBuffers {
  std::vector<uint8_t> memory;
  std::vector<int32_t> inUse;
  std::vector<size_t> offset;
  std::vector<int32_t> size;
  int large = 0;
  int32_t largeSize = 0;
  int32_t smallSize = 0;
};
RegionBuffers g_buffers;

// --- host-order map access ---------------------------------------------------

uint32_t Word(const uint8_t* map, size_t at) {
  uint32_t v;
  std::memcpy(&v, map + at, 4);
  return v;
}
void SetWord(uint8_t* map, size_t at, uint32_t v) {
  std::memcpy(map + at, &v, 4);
}

bool MapValid(const MelosDispatch* d) {
  return Word(d->map, 0) == kMap;
}
uint32_t MapEnd(const uint8_t* map) {
  return Word(map, 4) + 8;
}

// Length of the event at `at` (host order), or 0 when it runs past the end.
uint32_t EventSize(const uint8_t* map, uint32_t at, uint32_t end) {
  if (at + 12 > end) return 0;
  if (Word(map, at) == kText) {
    const uint8_t* text = map + at + 12;
    const void* zero = std::memchr(text, 0, end - (at + 12));
    if (!zero) return 0;
    return 13 + static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - text);
  }
  const uint64_t size = static_cast<uint64_t>(Word(map, at + 4)) + 8;
  return size < 12 || at + size > end ? 0 : static_cast<uint32_t>(size);
}

// The map check of a host-order copy: every event inside, ending exactly at
// the map's end.
bool MapCheck(const uint8_t* map) {
  if (Word(map, 0) != kMap) return false;
  const uint64_t end = static_cast<uint64_t>(Word(map, 4)) + 8;
  if (end > MELOS_MAP_SIZE) return false;
  uint32_t at = 8;
  while (at < end) {
    const uint32_t size = EventSize(map, at, static_cast<uint32_t>(end));
    if (size == 0) return false;
    at += size;
  }
  return at == end;
}

// Copies a big-endian "MAP " chunk (src holds available bytes) into d->map.
int MapCopy(MelosDispatch* d, const uint8_t* src, uint32_t available) {
  SetWord(d->map, 0, 0);
  if (available < 8 || !Melos_Tag(src, "MAP ")) return -1;
  const uint64_t total = static_cast<uint64_t>(Melos_BE32(src + 4)) + 8;
  if (total > MELOS_MAP_SIZE || total > available) return -1;
  uint8_t copy[MELOS_MAP_SIZE];
  std::memcpy(copy, src, total);
  SetWord(copy, 0, kMap);
  SetWord(copy, 4, static_cast<uint32_t>(total - 8));
  uint32_t at = 8;
  while (at < total) {
    if (at + 12 > total) return -1;
    const uint32_t tag = Melos_BE32(src + at);
    SetWord(copy, at, tag);
    SetWord(copy, at + 4, Melos_BE32(src + at + 4));
    SetWord(copy, at + 8, Melos_BE32(src + at + 8));
    uint32_t size = 0;
    if (tag == kText) {
      const void* zero = std::memchr(src + at + 12, 0, total - (at + 12));
      if (!zero) return -1;
      size = 13 + static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - (src + at + 12));
    } else {
      const uint64_t s = static_cast<uint64_t>(Melos_BE32(src + at + 4)) + 8;
      if (s < 12 || at + s > total) return -1;
      size = static_cast<uint32_t>(s);
      for (uint32_t w = 12; w + 4 <= size; w += 4) SetWord(copy, at + w, Melos_BE32(src + at + w));
    }
    at += size;
  }
  if (at != total) return -1;
  std::memcpy(d->map, copy, total);
  return 0;
}

// Field k (after the position) of an event; 0 when the event is too short.
uint32_t Field(const uint8_t* map, uint32_t at, int k) {
  const uint32_t length = Word(map, at + 4);
  if (4 + 4u * static_cast<uint32_t>(k + 1) > length) return 0;
  return Word(map, at + 12 + 4 * static_cast<uint32_t>(k));
}
bool HasFields(const uint8_t* map, uint32_t at, int count) {
  return Word(map, at + 4) >= 4 + 4u * static_cast<uint32_t>(count);
}

bool FormatOk(uint32_t bits, uint32_t rate, uint32_t channels) {
  return (bits == 8 || bits == 16) && (channels == 1 || channels == 2) && rate > 0 &&
         rate <= 1000000;
}

// Hook match: event hook 0 is taken unless the hook is 128 (which is then used
// up); another event hook only when equal (and the hook is used up).
bool HookMatch(int32_t* hook, uint32_t eventHook) {
  if (eventHook == 0) {
    if (*hook == 128) {
      *hook = 0;
      return false;
    }
    return true;
  }
  if (static_cast<uint32_t>(*hook) == eventHook) {
    *hook = 0;
    return true;
  }
  return false;
}
bool TrackHookMatch(MelosTrack* t, uint32_t eventHook) {
  int32_t h = t->hook.load();
  const bool match = HookMatch(&h, eventHook);
  t->hook = h;
  return match;
}

// --- region nodes and buffers ------------------------------------------------

MelosRegion* NodeTake(uint32_t start, uint32_t length, int32_t tail) {
  for (MelosRegion& n : g_nodes) {
    if (!n.inUse) {
      n = MelosRegion{nullptr, nullptr, 1, start, length, tail};
      return &n;
    }
  }
  return nullptr;
}
void NodeFree(MelosRegion* n) {
  *n = MelosRegion{};
}

void NodeUnlink(MelosDispatch* d, MelosRegion* n) {
  if (n->prev)
    n->prev->next = n->next;
  else
    d->regions = n->next;
  if (n->next) n->next->prev = n->prev;
  NodeFree(n);
}
void NodeLinkAfter(MelosRegion* at, MelosRegion* n) {
  n->prev = at;
  n->next = at->next;
  if (at->next) at->next->prev = n;
  at->next = n;
}
void FreeAfter(MelosRegion* n) {
  MelosRegion* at = n->next;
  n->next = nullptr;
  while (at) {
    MelosRegion* next = at->next;
    NodeFree(at);
    at = next;
  }
}
void FreeAllNodes(MelosDispatch* d) {
  if (!d->regions) return;
  FreeAfter(d->regions);
  NodeFree(d->regions);
  d->regions = nullptr;
}
MelosRegion* LastNode(MelosDispatch* d) {
  MelosRegion* n = d->regions;
  while (n && n->next) n = n->next;
  return n;
}
uint64_t LengthBefore(const MelosDispatch* d, const MelosRegion* n) {
  uint64_t sum = 0;
  for (const MelosRegion* at = d->regions; at && at != n; at = at->next) sum += at->length;
  return sum;
}

// A region buffer of up to `request` bytes; returns its index (or -1) and the
// granted size.
int BufferTake(int32_t request, int32_t* granted) {
  RegionBuffers& b = g_buffers;
  request = std::min(request, b.largeSize);
  int found = -1;
  if (request > b.smallSize) {
    for (int i = 0; i < b.large; ++i)
      if (!b.inUse[static_cast<size_t>(i)]) {
        found = i;
        break;
      }
    if (found < 0) request = b.smallSize;
  }
  if (found < 0) {
    for (size_t i = static_cast<size_t>(b.large); i < b.inUse.size(); ++i)
      if (!b.inUse[i]) {
        found = static_cast<int>(i);
        break;
      }
  }
  if (found < 0) return -1;
  b.inUse[static_cast<size_t>(found)] = 1;
  *granted = request;
  return found;
}

void FadeFree(MelosDispatch* d) {
  if (d->fadeBufferIndex >= 0 && static_cast<size_t>(d->fadeBufferIndex) < g_buffers.inUse.size())
    g_buffers.inUse[static_cast<size_t>(d->fadeBufferIndex)] = 0;
  d->fadeBufferIndex = -1;
  d->fadeBuffer = nullptr;
  d->fadeHeld = 0;
  d->fadeOffset = 0;
}

// A fade buffer of `bytes` for the tail; false when none is free.
bool FadeTake(MelosDispatch* d, int32_t bytes, int32_t* granted) {
  FadeFree(d);
  const int index = BufferTake(bytes, granted);
  if (index < 0) return false;
  d->fadeBufferIndex = index;
  d->fadeBuffer = g_buffers.memory.data() + g_buffers.offset[static_cast<size_t>(index)];
  d->fadeOffset = 0;
  d->fadeHeld = 0;
  d->fadeBits = d->bits;
  d->fadeRate = d->rate;
  d->fadeChannels = d->channels;
  d->keep = 0;
  d->skipped = 0;
  d->fadeLevel = kLevelFull;
  d->fadeStep = 0;
  return true;
}

// --- streams -----------------------------------------------------------------

int32_t Buffered(const MelosStream* s) {
  int32_t n = s->write - s->read;
  if (n < 0) n += s->ringSize;
  return n;
}

MelosStream* StreamOpen(int32_t sound, int32_t block, int32_t reserve) {
  for (const MelosStream& s : g_streams)
    if (s.open && s.block == block) return nullptr;
  MelosMemoryBlock* m = MelosHost_Block(block);
  if (!m || !m->buffer || m->size <= reserve + 4 + 16) return nullptr;
  for (MelosStream& s : g_streams) {
    if (s.open) continue;
    s.open = 1;
    s.sound = sound;
    s.filePosition = 0;
    s.fileSize = 0;
    s.block = block;
    s.ring = m->buffer;
    s.ringSize = m->size - reserve - 4;
    s.readChunk = m->readChunk;
    s.refill = m->refill;
    s.reserve = reserve;
    s.write = s.read = 0;
    s.endOfFile = 0;
    s.reset = 1;
    return &s;
  }
  return nullptr;
}

void StreamClose(MelosStream* s) {
  if (!s) return;
  if (g_lastServiced == s) g_lastServiced = nullptr;
  s->open = 0;
  s->sound = 0;
  s->reset = 1;
}

void StreamReposition(MelosStream* s, int32_t sound, uint32_t position) {
  s->sound = sound;
  s->filePosition = position;
  s->fileSize = 0;
  s->endOfFile = 0;
  s->reset = 1;
}

// Pointer to n contiguous buffered bytes at offset from the read position.
uint8_t* StreamPeek(MelosStream* s, int32_t offset, int32_t n) {
  if (n < 0 || offset < 0 || n > s->reserve || static_cast<int64_t>(offset) + n > Buffered(s))
    return nullptr;
  int32_t at = s->read + offset;
  if (at >= s->ringSize) at -= s->ringSize;
  if (at + n > s->ringSize) {
    // Make the wrapped part contiguous behind the ring's end.
    std::memmove(s->ring + s->ringSize, s->ring, static_cast<size_t>(at + n - s->ringSize));
  }
  return s->ring + at;
}

uint8_t* StreamConsume(MelosStream* s, int32_t n) {
  uint8_t* p = StreamPeek(s, 0, n);
  if (!p) return nullptr;
  s->read += n;
  if (s->read >= s->ringSize) s->read -= s->ringSize;
  return p;
}

int StreamSkip(MelosStream* s, int32_t n) {
  if (n < 0 || n > Buffered(s)) return -1;
  s->read = (s->read + n) % s->ringSize;
  s->reset = 1;
  return 0;
}

int StreamTruncate(MelosStream* s, int64_t n) {
  if (n < 0 || n > Buffered(s)) return -1;
  s->write = static_cast<int32_t>((s->read + n) % s->ringSize);
  s->reset = 1;
  return 0;
}

// --- map load and processing -------------------------------------------------

int FirstEventCheck(MelosDispatch* d) {
  const uint32_t end = MapEnd(d->map);
  if (end < 20 || Word(d->map, 8) != kFrmt || Word(d->map, 16) != d->position) {
    SetWord(d->map, 0, 0);
    return -1;
  }
  return 0;
}

int Prepare(MelosDispatch* d) {
  if (MapValid(d) && (!d->stream || d->regions)) return 0;
  if (d->position != 0) return -1;
  MelosTrack* t = d->track;
  if (!d->stream) {
    uint32_t size = 0;
    const uint8_t* h = MelosHost_Header(t->sound, &size);
    if (!h || size < 16 || !Melos_Tag(h, "Melo") || !Melos_Tag(h + 8, "MAP ")) return -1;
    d->position = Melos_BE32(h + 12) + 24;
    if (MapCopy(d, h + 8, size - 8) != 0) return -1;
    return FirstEventCheck(d);
  }
  MelosStream* s = d->stream;
  const uint8_t* p = StreamPeek(s, 0, 64);
  if (!p) return -3;
  SoundHeader wave{};
  uint8_t built[80];
  const uint8_t* header = nullptr;
  uint32_t headerSize = 0;
  if (Melos_Tag(p, "RIFF") && std::memcmp(p + 8, "WAVEfmt ", 8) == 0) {
    if (Sound_ReadHeader(p, 64, &wave) != SOUND_WAVE) return -1;
    const int32_t dataOffset = static_cast<int32_t>(wave.samples - p);
    const uint32_t dataSize = Melos_LE32(wave.samples - 4);
    if (!StreamConsume(s, dataOffset)) return -1;
    d->position = static_cast<uint32_t>(dataOffset);
    MeloHeader_Write(built, SOUND_MELO, wave.rate, 16, wave.channels, dataSize);
    built[31] = 1;  // little-endian samples
    Melos_PutBE32(built + 24, d->position);
    Melos_PutBE32(built + 52, d->position);
    Melos_PutBE32(built + 68, d->position + dataSize);
    header = built;
    headerSize = 80;
  } else {
    if (!Melos_Tag(p, "Melo") || !Melos_Tag(p + 8, "MAP ")) return -1;
    const uint64_t length = static_cast<uint64_t>(Melos_BE32(p + 12)) + 24;
    if (length > MELOS_MAP_SIZE + 16) return -1;
    header = StreamPeek(s, 0, static_cast<int32_t>(length));
    if (!header) return -3;
    headerSize = static_cast<uint32_t>(length);
    // Copy the map before consuming, as the bytes may be overwritten later.
    if (MapCopy(d, header + 8, headerSize - 8) != 0) return -1;
    if (!StreamConsume(s, static_cast<int32_t>(length))) return -1;
    d->position = static_cast<uint32_t>(length);
    header = nullptr;
  }
  if (header && MapCopy(d, header + 8, headerSize - 8) != 0) return -1;
  if (FirstEventCheck(d) != 0) return -1;
  if (d->regions) return -1;
  d->regions = NodeTake(d->position, static_cast<uint32_t>(Buffered(s)), 0);
  return d->regions ? 0 : -1;
}

// Prepares a jump from node n at p to dest; forced from the map step.
void PrepareJump(MelosDispatch* d, MelosRegion* n, uint32_t p, uint32_t dest, uint32_t fadeMs,
                 bool forced) {
  MelosStream* s = d->stream;
  if (!s || p < n->start) return;
  if (p == n->start + n->length && n->next) {
    const MelosRegion* next = n->next;
    if ((!next->tail && next->start == dest) ||
        (next->tail && next->start == p && next->next && next->next->start == dest))
      return;
  }
  const int64_t frameBytes = static_cast<int64_t>(d->bits) * d->channels / 8;
  int64_t t = (static_cast<int64_t>(d->rate) * fadeMs / 1000) * d->bits * d->channels >> 3;
  if (t < 0) t = 0;
  if (!forced && static_cast<int64_t>(n->length) < static_cast<int64_t>(p - n->start) + t) return;
  t = std::min<int64_t>(t, static_cast<int64_t>(n->start) + n->length - p);
  if (t < 0) t = 0;
  if (frameBytes > 0) t -= t % frameBytes;
  if ((p < 2000 && dest > p) || d->fadeHeld > 0) t = 0;
  MelosRegion* tail = nullptr;
  if (t > 0) {
    tail = NodeTake(p, static_cast<uint32_t>(t), 1);
    if (!tail) return;
  }
  MelosRegion* target = NodeTake(dest, 0, 0);
  if (!target) {
    if (tail) NodeFree(tail);
    return;
  }
  n->length = p - n->start;
  StreamTruncate(s, t + n->length + static_cast<int64_t>(LengthBefore(d, n)));
  FreeAfter(n);
  StreamReposition(s, d->track->sound, dest);
  if (tail) {
    NodeLinkAfter(n, tail);
    NodeLinkAfter(tail, target);
  } else {
    NodeLinkAfter(n, target);
  }
}

// Takes the tail node at the head of the list into the fade buffer.
void TakeTail(MelosDispatch* d) {
  MelosRegion* tail = d->regions;
  int32_t granted = 0;
  const int32_t want = static_cast<int32_t>(std::min<uint32_t>(tail->length, 0x7FFFFFFF));
  if (FadeTake(d, want, &granted)) {
    int32_t done = 0;
    while (done < granted) {
      const int32_t piece = std::min(granted - done, kReserve);
      const uint8_t* p = StreamConsume(d->stream, piece);
      if (!p) {
        done = 0;
        break;
      }
      std::memcpy(d->fadeBuffer + done, p, static_cast<size_t>(piece));
      done += piece;
    }
    d->fadeHeld = done;
    // Bytes of the tail that found no room are dropped from the stream.
    if (done == granted && tail->length > static_cast<uint32_t>(granted))
      StreamSkip(d->stream, static_cast<int32_t>(tail->length) - granted);
    if (d->fadeHeld == 0) FadeFree(d);
  } else {
    StreamSkip(d->stream, want);
  }
  d->jumpReady = 1;
  NodeUnlink(d, tail);
}

int ProcessMapLocked(MelosDispatch* d) {
  int result = Prepare(d);
  if (result != 0) return result;
  result = -1;
  if (d->regionLeft > 0) return -1;
  if (d->stream && (!d->regions || d->position != d->regions->start)) return -1;
  MelosTrack* t = d->track;
  const uint32_t end = MapEnd(d->map);
  for (int jumps = 0; jumps <= kMaxJumpsPerStep; ++jumps) {
    uint32_t at = 8;
    while (at < end) {
      const uint32_t size = EventSize(d->map, at, end);
      if (size == 0) return -1;
      if (Word(d->map, at + 8) == d->position) break;
      at += size;
    }
    bool jumped = false;
    while (at < end && !jumped) {
      const uint32_t size = EventSize(d->map, at, end);
      if (size == 0 || Word(d->map, at + 8) != d->position) return result;
      const uint32_t tag = Word(d->map, at);
      if (tag == kFrmt && HasFields(d->map, at, 4)) {
        // Only 8- or 16-bit mono or stereo data at a sane rate can play.
        if (!FormatOk(Field(d->map, at, 1), Field(d->map, at, 2), Field(d->map, at, 3))) {
          kv_Log_Printf("[Melos] - sound %d: unusable format, the sound ends", t->sound);
          return -1;
        }
        d->swap = Field(d->map, at, 0) == 0 ? 1 : 0;
        d->bits = static_cast<int32_t>(Field(d->map, at, 1));
        d->rate = static_cast<int32_t>(Field(d->map, at, 2));
        d->channels = static_cast<int32_t>(Field(d->map, at, 3));
      } else if (tag == kRegn && HasFields(d->map, at, 1)) {
        d->regionLeft = static_cast<int32_t>(std::min<uint32_t>(Field(d->map, at, 0), 0x7FFFFFFF));
        return 0;
      } else if (tag == kSync) {
      } else if (tag == kText) {
        const int32_t sound = t->sound;
        char text[MELOS_MAP_SIZE];
        std::memcpy(text, d->map + at + 12, size - 12);
        Melos_FireTriggers(sound, text);
        if (t->sound != sound) return -3;
        if (d->regionLeft > 0) return 0;
      } else if (tag == kJump && HasFields(d->map, at, 3)) {
        if (TrackHookMatch(t, Field(d->map, at, 1))) {
          const uint32_t dest = Field(d->map, at, 0);
          d->position = dest;
          if (d->stream && d->regions) {
            MelosRegion* first = d->regions;
            if (first->length > 0 || !first->next)
              PrepareJump(d, first, first->start, dest, Field(d->map, at, 2), true);
            if (!first->next) {
              result = -1;
            } else {
              NodeUnlink(d, first);
              if (d->regions->tail) TakeTail(d);
            }
          }
          jumped = true;
          continue;
        }
      } else {
        return result;
      }
      at += size;
    }
    if (!jumped) return result;
  }
  kv_Log_Printf("[Melos] - sound %d: its map jumps without playing, the sound ends", t->sound);
  return -1;
}

int ProcessMap(MelosDispatch* d) {
  if (!g_dispatchMutex) g_dispatchMutex = kv_Mutex_Create();
  kv_Mutex_Lock(g_dispatchMutex);
  const int result = ProcessMapLocked(d);
  kv_Mutex_Unlock(g_dispatchMutex);
  return result;
}

// --- look-ahead --------------------------------------------------------------

// The first JUMP in (start, start + length] whose hook matches *hook.
bool FindJump(const MelosDispatch* d, const MelosRegion* n, int32_t* hook, uint32_t* p,
              uint32_t* dest, uint32_t* fade) {
  const uint32_t end = MapEnd(d->map);
  uint32_t at = 8;
  while (at < end) {
    const uint32_t size = EventSize(d->map, at, end);
    if (size == 0) return false;
    const uint32_t pos = Word(d->map, at + 8);
    if (Word(d->map, at) == kJump && HasFields(d->map, at, 3) && pos > n->start &&
        static_cast<uint64_t>(pos) <= static_cast<uint64_t>(n->start) + n->length &&
        HookMatch(hook, Field(d->map, at, 1))) {
      *p = pos;
      *dest = Field(d->map, at, 0);
      *fade = Field(d->map, at, 2);
      return true;
    }
    at += size;
  }
  return false;
}

void LookAhead(MelosDispatch* d) {
  MelosStream* s = d->stream;
  if (!s || !d->regions || !MapValid(d)) return;
  MelosRegion* last = LastNode(d);
  const int64_t grown = static_cast<int64_t>(last->length) + Buffered(s) -
                        static_cast<int64_t>(LengthBefore(d, nullptr));
  last->length = static_cast<uint32_t>(std::clamp<int64_t>(grown, 0, 0x7FFFFFFF));
  int32_t hook = d->track->hook.load();
  for (MelosRegion* n = d->regions; n; n = n->next) {
    if (n->tail) continue;
    uint32_t p = 0, dest = 0, fade = 0;
    if (FindJump(d, n, &hook, &p, &dest, &fade)) {
      PrepareJump(d, n, p, dest, fade, false);
    } else if (n->next) {
      StreamTruncate(s, static_cast<int64_t>(LengthBefore(d, n)) + n->length);
      FreeAfter(n);
      StreamReposition(s, d->track->sound, n->start + n->length);
      break;
    }
  }
}

// --- mixing ------------------------------------------------------------------

// Plays up to `frames` output frames of the tail at offset.
void MixTail(MelosDispatch* d, int frames, int rate, int offset) {
  MelosTrack* t = d->track;
  const int64_t frameBits = static_cast<int64_t>(d->fadeBits) * d->fadeChannels;
  const int64_t sourceRate = static_cast<int64_t>(d->fadeRate) * t->pitch >> 8;
  if (frameBits <= 0 || frameBits % 8 || sourceRate <= 0 || rate <= 0 || frames <= 0) {
    FadeFree(d);
    return;
  }
  const int64_t held = static_cast<int64_t>(d->fadeHeld) * 8 / frameBits;
  const int64_t needed = static_cast<int64_t>(frames) * sourceRate / rate;
  if (held == 0) {
    FadeFree(d);
    return;
  }
  if (needed == 0) return;
  const int64_t take = std::min(held, needed);
  const int out = take == needed ? frames : static_cast<int>(take * rate / sourceRate);
  const int32_t bytes = static_cast<int32_t>(take * frameBits / 8);
  const int volume = ((d->fadeLevel >> 16) + 1) * t->effectiveVolume >> 7;
  const int64_t level =
      static_cast<int64_t>(d->fadeLevel) + static_cast<int64_t>(bytes) * d->fadeStep;
  d->fadeLevel = static_cast<int32_t>(std::clamp<int64_t>(level, 0, kLevelFull));
  MelosMixer_Mix(d->fadeBuffer + d->fadeOffset, static_cast<int>(take), d->fadeBits,
                 d->fadeChannels, d->swap, out, offset, volume, t->pan);
  d->fadeOffset += bytes;
  d->fadeHeld -= bytes;
  if (d->fadeHeld <= 0) FadeFree(d);
}

}  // namespace

// --- module entry points -----------------------------------------------------

int MelosDispatch_Init(void) {
  const int32_t* cfg = Melos_Config();
  RegionBuffers& b = g_buffers;
  b = RegionBuffers{};
  const int large = cfg[MELOS_CFG_LARGE_REGIONS];
  const int small = cfg[MELOS_CFG_SMALL_REGIONS];
  const int32_t largeSize = cfg[MELOS_CFG_LARGE_REGION_SIZE];
  const int32_t smallSize = cfg[MELOS_CFG_SMALL_REGION_SIZE];
  if (large < 0 || small < 0 || large + small > 64 || largeSize < 0 || smallSize < 0 ||
      static_cast<int64_t>(large) * largeSize + static_cast<int64_t>(small) * smallSize >
          (1ll << 30))
    return -1;
  b.large = large;
  b.largeSize = largeSize;
  b.smallSize = smallSize;
  size_t at = 0;
  for (int i = 0; i < large + small; ++i) {
    const int32_t size = i < large ? largeSize : smallSize;
    b.offset.push_back(at);
    b.size.push_back(size);
    b.inUse.push_back(0);
    at += static_cast<size_t>(size);
  }
  b.memory.assign(at, 0);
  for (MelosStream& s : g_streams) {
    s.open = 0;
    s.sound = 0;
  }
  for (MelosRegion& n : g_nodes) NodeFree(&n);
  for (MelosDispatch& d : g_dispatch) {
    std::memset(static_cast<void*>(&d), 0, sizeof d);
    d.fadeBufferIndex = -1;
  }
  g_lastServiced = nullptr;
  if (!g_dispatchMutex) g_dispatchMutex = kv_Mutex_Create();
  return 0;
}

void MelosDispatch_Free(void) {
  g_buffers = RegionBuffers{};
  for (MelosDispatch& d : g_dispatch) {
    d.fadeBuffer = nullptr;
    d.fadeBufferIndex = -1;
  }
}

MelosDispatch* MelosDispatch_Get(int index) {
  return &g_dispatch[index];
}

int MelosDispatch_Start(MelosTrack* track, int32_t block) {
  MelosDispatch* d = track->dispatch;
  FadeFree(d);
  SetWord(d->map, 0, 0);
  d->regionLeft = 0;
  d->position = 0;
  d->bits = d->rate = d->channels = d->swap = 0;
  d->stream = nullptr;
  d->streamBlock = block;
  d->jumpReady = 0;
  if (block) {
    d->stream = StreamOpen(track->sound, block, kReserve);
    if (!d->stream) {
      kv_Log_Printf("[Melos] - sound %d: no stream for memory block %d", track->sound, block);
      return -1;
    }
    FreeAllNodes(d);
    d->end = 0;
  }
  const int result = ProcessMap(d);
  if (result == 0 || result == -3) return 0;
  MelosDispatch_Release(d);
  return -1;
}

void MelosDispatch_Release(MelosDispatch* d) {
  StreamClose(d->stream);
  d->stream = nullptr;
  FreeAllNodes(d);
  FadeFree(d);
}

int MelosDispatch_Mix(MelosTrack* track, int frames, int rate) {
  MelosDispatch* d = track->dispatch;
  const int32_t pitch = track->pitch;
  if (d->stream && d->regions) LookAhead(d);
  if (d->fadeBuffer) MixTail(d, frames, rate, 0);
  int s = 0;
  // A map of tiny regions that jump back on themselves can play pieces that
  // cover no output frame; the block ends after so many pieces.
  for (int pieces = 0; pieces < kMaxPiecesPerMix; ++pieces) {
    if (d->regionLeft <= 0) {
      d->jumpReady = 0;
      const int result = ProcessMap(d);
      if (result != 0) {
        if (d->fadeBuffer && d->keep) d->skipped += frames - s;
        if (result == -1) MelosTracks_Release(track);
        return result;
      }
      if (d->jumpReady && d->fadeBuffer) MixTail(d, frames - s, rate, s);
    }
    if (s >= frames) return 0;
    const int64_t frameBits = static_cast<int64_t>(d->bits) * d->channels;
    const int64_t sourceRate = static_cast<int64_t>(d->rate) * pitch >> 8;
    if (frameBits <= 0 || frameBits % 8) {
      MelosTracks_Release(track);
      return -1;
    }
    // A pitch of 0 or below gives silence rather than a division by zero.
    if (sourceRate <= 0 || rate <= 0) return 0;
    const int64_t available = static_cast<int64_t>(d->regionLeft) * 8 / frameBits;
    const int64_t needed = static_cast<int64_t>(frames - s) * sourceRate / rate;
    if (available == 0) {
      MelosTracks_Release(track);
      return -1;
    }
    // Fewer output frames left than one source frame covers: the block is done.
    if (needed == 0) return 0;
    const int64_t take = std::min(available, needed);
    const int out = take == needed ? frames - s : static_cast<int>(take * rate / sourceRate);
    const int32_t bytes = static_cast<int32_t>(take * frameBits / 8);
    const uint8_t* src = nullptr;
    if (d->stream) {
      src = StreamConsume(d->stream, bytes);
      if (!src) {
        d->end = 1;
        if (d->fadeBuffer && d->keep) d->skipped += frames - s;
        MelosDispatch_ProcessJumps();
        return 0;
      }
      if (d->regions) {
        d->regions->start += static_cast<uint32_t>(bytes);
        d->regions->length -= std::min(d->regions->length, static_cast<uint32_t>(bytes));
      }
    } else {
      uint32_t loaded = 0;
      const uint8_t* base = MelosHost_SampleBase(track->sound, &loaded);
      if (!base || static_cast<uint64_t>(d->position) + static_cast<uint64_t>(bytes) > loaded) {
        MelosTracks_Release(track);
        return -1;
      }
      src = base + d->position;
    }
    int volume = track->effectiveVolume;
    int drop = 0;
    int64_t dropSource = 0;
    if (d->fadeBuffer) {
      if (d->keep && d->skipped > 0) {
        drop = std::min(d->skipped, out);
        d->skipped -= drop;
        dropSource = out > 0 ? take * drop / out : 0;
      }
      volume = (128 - (d->fadeLevel >> 16)) * track->effectiveVolume >> 7;
      if (d->fadeStep == 0) d->fadeStep = -(kLevelFull / std::max(d->fadeHeld, 2));
    }
    MelosMixer_Mix(src + dropSource * frameBits / 8, static_cast<int>(take - dropSource), d->bits,
                   d->channels, d->swap, out - drop, s, volume, track->pan);
    d->position += static_cast<uint32_t>(bytes);
    d->regionLeft -= bytes;
    s += out;
  }
  return 0;
}

void MelosDispatch_ProcessJumps(void) {
  MelosLockGuard lock;
  for (int i = 0; i < MelosTracks_Count(); ++i) {
    MelosDispatch* d = &g_dispatch[i];
    if (d->track && d->track->sound && d->stream && d->regions) LookAhead(d);
  }
}

// --- stream service, switch, feed, info ----------------------------------------

namespace {

void ServiceOne(MelosStream* s) {
  if (s->fileSize == 0) {
    const int32_t size = MelosHost_Seek(s->sound, 0, 2);
    s->fileSize = size > 0 ? static_cast<uint32_t>(size) : 0;
  }
  int32_t room = s->read - s->write;
  if (room <= 0) room += s->ringSize;
  room -= 4;
  const int64_t left = static_cast<int64_t>(s->fileSize) - s->filePosition;
  if (left <= 0) s->endOfFile = 1;
  int64_t amount = std::min<int64_t>({s->readChunk, room, left});
  while (amount > 0) {
    const int32_t piece = static_cast<int32_t>(std::min<int64_t>(amount, s->ringSize - s->write));
    if (MelosHost_Seek(s->sound, static_cast<int32_t>(s->filePosition), 0) !=
        static_cast<int32_t>(s->filePosition)) {
      s->endOfFile = 1;
      return;
    }
    s->reset = 0;
    const int32_t sound = s->sound;
    uint8_t* target = s->ring + s->write;
    MelosLock_Leave();
    int32_t n = MelosHost_Read(sound, target, piece);
    MelosLock_Enter();
    if (s->reset.load() || !s->open) return;
    n = std::clamp(n, 0, piece);
    s->write += n;
    if (s->write >= s->ringSize) s->write -= s->ringSize;
    s->filePosition += static_cast<uint32_t>(n);
    g_lastServiced = s;
    amount -= n;
    if (n < piece) {
      g_lastServiced = nullptr;
      return;
    }
  }
}

bool Hungry(const MelosStream* s) {
  return Buffered(s) < s->refill;
}

MelosTrack* StreamTrack(int32_t sound) {
  for (MelosTrack* t = MelosTracks_Head(); t; t = t->next)
    if (t->sound == sound && t->dispatch->stream) return t;
  return nullptr;
}

}  // namespace

int Melos_ServiceStreams(void) {
  if (!Melos_IsStarted()) return -1;
  MelosLockGuard lock;
  MelosDispatch_ProcessJumps();
  MelosStream* a = nullptr;
  MelosStream* b = nullptr;
  for (MelosStream& s : g_streams) {
    if (!s.open || s.endOfFile) continue;
    if (!a)
      a = &s;
    else if (!b)
      b = &s;
  }
  if (!a) return 0;
  if (!b) {
    ServiceOne(a);
    return 0;
  }
  const bool hungryA = Hungry(a);
  const bool hungryB = Hungry(b);
  const bool aLast = g_lastServiced == a;
  if (hungryA && hungryB) {
    MelosStream* first = aLast ? a : b;
    MelosStream* second = aLast ? b : a;
    ServiceOne(first);
    if (second->open) ServiceOne(second);
  } else if (hungryA) {
    ServiceOne(a);
  } else if (hungryB) {
    ServiceOne(b);
  } else {
    ServiceOne(aLast ? a : b);
  }
  return 0;
}

int Melos_SwitchStream(int32_t oldSound, int32_t newSound, int32_t fadeMs, int32_t keepA,
                       int32_t keepB) {
  if (!Melos_IsStarted()) return -1;
  fadeMs = std::clamp(fadeMs, 0, 2000);
  MelosLockGuard lock;
  MelosTrack* t = StreamTrack(oldSound);
  if (!t) return -1;
  MelosDispatch* d = t->dispatch;
  MelosStream* s = d->stream;
  if (d->regions && (d->bits == 0 || d->channels == 0)) return -1;
  FadeFree(d);
  const int64_t frameBytes = static_cast<int64_t>(d->bits) * d->channels / 8;
  int64_t tail = static_cast<int64_t>(d->channels) * d->bits *
                     (static_cast<int64_t>(d->rate) * fadeMs / 1000) >>
                 3;
  if (d->regions) tail = std::min<int64_t>(tail, d->regions->length);
  if (frameBytes > 0) tail -= tail % frameBytes;
  int32_t granted = 0;
  if (tail > 0 && FadeTake(d, static_cast<int32_t>(tail), &granted)) {
    const int32_t have = std::min(granted, Buffered(s));
    int32_t done = 0;
    while (done < have) {
      const int32_t piece = std::min(have - done, kReserve);
      const uint8_t* p = StreamPeek(s, done, piece);
      if (!p) break;
      std::memcpy(d->fadeBuffer + done, p, static_cast<size_t>(piece));
      done += piece;
    }
    std::memset(d->fadeBuffer + done, 0, static_cast<size_t>(granted - done));
    d->fadeHeld = granted;
    d->keep = (keepA || keepB) ? 1 : 0;
  }
  Melos_RemoveFades(oldSound, -1);
  Melos_RemoveTriggers(oldSound);
  t->sound = newSound;
  StreamSkip(s, Buffered(s));
  if ((keepA || keepB) && d->regions) {
    StreamReposition(s, newSound, d->position);
    FreeAfter(d->regions);
    d->regions->length = 0;
    d->regions->start = d->position;
    return 0;
  }
  StreamReposition(s, newSound, 0);
  FreeAllNodes(d);
  SetWord(d->map, 0, 0);
  d->regionLeft = 0;
  d->position = 0;
  const int result = ProcessMap(d);
  if (result == 0 || result == -3) return 0;
  MelosTracks_Release(t);
  return -1;
}

int Melos_FeedStream(int32_t sound, const uint8_t* data, int32_t length, int32_t end) {
  if (!Melos_IsStarted()) return -1;
  MelosLockGuard lock;
  MelosTrack* t = StreamTrack(sound);
  if (!t || !data || length < 0) return -1;
  MelosStream* s = t->dispatch->stream;
  if (length + 4 > s->ringSize) return -5;
  const int32_t free = s->ringSize - Buffered(s);
  if (free < length + 4) {
    // Drop the oldest data in units of 12 bytes.
    const int32_t drop = (length - free + 4) / 12 * 12 + 12;
    if (drop <= Buffered(s)) {
      s->read = (s->read + drop) % s->ringSize;
      s->reset = 1;
    }
  }
  for (int32_t done = 0; done < length;) {
    const int32_t piece = std::min(length - done, s->ringSize - s->write);
    std::memcpy(s->ring + s->write, data + done, static_cast<size_t>(piece));
    s->write = (s->write + piece) % s->ringSize;
    done += piece;
  }
  s->filePosition += static_cast<uint32_t>(length);
  s->endOfFile = end ? 1 : 0;
  return 0;
}

int Melos_GetStreamInfo(int32_t sound, int32_t* size, int32_t* threshold, int32_t* buffered,
                        int32_t* end) {
  if (!Melos_IsStarted()) return -1;
  MelosLockGuard lock;
  MelosDispatch_ProcessJumps();
  MelosTrack* t = StreamTrack(sound);
  if (!t) return -1;
  const MelosStream* s = t->dispatch->stream;
  if (size) *size = s->ringSize;
  if (threshold) *threshold = s->refill;
  if (buffered) *buffered = Buffered(s);
  if (end) *end = s->endOfFile;
  return 0;
}

// --- save and restore ----------------------------------------------------------

namespace {

// Restored records, read before the tracks are relinked.
struct SavedRecord {
  bool stream;
  bool valid;
};
SavedRecord g_saved[MELOS_MAX_TRACKS];

}  // namespace

int MelosDispatch_Save(uint8_t* buffer, int32_t room) {
  if (room < MELOS_DISPATCH_BLOCK) return -5;
  for (int i = 0; i < MELOS_MAX_TRACKS; ++i) {
    uint8_t* p = buffer + i * MELOS_DISPATCH_RECORD;
    const MelosDispatch& d = g_dispatch[i];
    std::memset(p, 0, MELOS_DISPATCH_RECORD);
    const int32_t head[6] = {
        d.bits, d.rate, d.channels, d.swap, static_cast<int32_t>(d.position), d.regionLeft};
    for (int k = 0; k < 6; ++k) Melos_PutLE32(p + 8 + 4 * k, static_cast<uint32_t>(head[k]));
    std::memcpy(p + 32, d.map, MELOS_MAP_SIZE);
    Melos_PutLE64(p + 2080, d.stream ? 1 : 0);
    Melos_PutLE32(p + 2088, static_cast<uint32_t>(d.streamBlock));
    Melos_PutLE32(p + 2100, static_cast<uint32_t>(d.end));
    const int32_t fade[9] = {d.fadeOffset, d.fadeHeld, d.fadeBits,  d.fadeRate, d.fadeChannels,
                             d.keep,       d.skipped,  d.fadeLevel, d.fadeStep};
    for (int k = 0; k < 9; ++k) Melos_PutLE32(p + 2112 + 4 * k, static_cast<uint32_t>(fade[k]));
  }
  return MELOS_DISPATCH_BLOCK;
}

int MelosDispatch_Restore(const uint8_t* buffer, uint32_t size) {
  if (size < static_cast<uint32_t>(MELOS_DISPATCH_BLOCK)) return -1;
  for (MelosDispatch& d : g_dispatch) {
    StreamClose(d.stream);
    d.stream = nullptr;
    d.regions = nullptr;
    d.fadeBuffer = nullptr;
    d.fadeBufferIndex = -1;
  }
  std::fill(g_buffers.inUse.begin(), g_buffers.inUse.end(), 0);
  for (MelosRegion& n : g_nodes) NodeFree(&n);
  for (int i = 0; i < MELOS_MAX_TRACKS; ++i) {
    const uint8_t* p = buffer + i * MELOS_DISPATCH_RECORD;
    MelosDispatch& d = g_dispatch[i];
    d.bits = static_cast<int32_t>(Melos_LE32(p + 8));
    d.rate = static_cast<int32_t>(Melos_LE32(p + 12));
    d.channels = static_cast<int32_t>(Melos_LE32(p + 16));
    d.swap = static_cast<int32_t>(Melos_LE32(p + 20));
    d.position = Melos_LE32(p + 24);
    d.regionLeft = static_cast<int32_t>(Melos_LE32(p + 28));
    std::memcpy(d.map, p + 32, MELOS_MAP_SIZE);
    const bool stream = (Melos_LE32(p + 2080) | Melos_LE32(p + 2084)) != 0;
    d.streamBlock = static_cast<int32_t>(Melos_LE32(p + 2088));
    d.end = static_cast<int32_t>(Melos_LE32(p + 2100));
    d.fadeOffset = d.fadeHeld = 0;
    d.keep = static_cast<int32_t>(Melos_LE32(p + 2132));
    d.skipped = 0;
    d.fadeLevel = kLevelFull;
    d.fadeStep = 0;
    d.jumpReady = 0;
    const bool formatSet = d.bits != 0 || d.rate != 0 || d.channels != 0;
    const bool formatOk =
        !formatSet || FormatOk(static_cast<uint32_t>(d.bits), static_cast<uint32_t>(d.rate),
                               static_cast<uint32_t>(d.channels));
    const bool mapOk = Word(d.map, 0) == 0 || MapCheck(d.map);
    const bool blockOk = !stream || d.streamBlock == 1 || d.streamBlock == 2;
    g_saved[i] = {stream, formatOk && mapOk && blockOk && d.regionLeft >= 0};
    if (!g_saved[i].valid) {
      SetWord(d.map, 0, 0);
      d.regionLeft = 0;
    }
  }
  return MELOS_DISPATCH_BLOCK;
}

bool MelosDispatch_RecordSound(int index) {
  return g_saved[index].valid;
}

void MelosDispatch_Reopen(void) {
  for (int i = 0; i < MelosTracks_Count(); ++i) {
    MelosDispatch& d = g_dispatch[i];
    FadeFree(&d);
    FreeAllNodes(&d);
    MelosTrack* t = d.track;
    if (!t || !t->sound || !g_saved[i].stream) {
      d.stream = nullptr;
      continue;
    }
    d.stream = StreamOpen(t->sound, d.streamBlock, kReserve);
    if (!d.stream) continue;
    StreamReposition(d.stream, t->sound, d.position);
    if (d.regionLeft > 0) d.regions = NodeTake(d.position, 0, 0);
  }
}
