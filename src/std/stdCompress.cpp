// LZ packing and unpacking, and the decompression cache.
#include "std/stdCompress.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWindow = 4096;   // ring size
constexpr int kLookahead = 18;  // longest match
constexpr int kThreshold = 2;   // matches of this length or less are literals
constexpr int kNone = kWindow;  // "no node" in the tree links

// ---------------------------------------------------------------------------
// Encoder state, rebuilt on every call.
struct Encoder {
  // The ring plus a mirror of its first 17 bytes, so that a string starting
  // near the end compares without wrapping.
  uint8_t window[kWindow + kLookahead - 1];
  int left[kWindow + 1];
  int right[kWindow + 257];  // 256 extra roots, one per first byte
  int parent[kWindow + 1];
  int matchLength;
  int matchPosition;

  // Flag word being filled and its bits still free; the data bytes that
  // belong after it.
  uint32_t flagWord;
  int flagBitsFree;
  uint8_t pending[16 * 3];
  int pendingCount;

  uint8_t* out;
  int capacity;
  int length;
  bool stopped;

  const uint8_t* in;
  int inSize;
  int inPos;
};

Encoder g_enc;

int stdCompress_GetByte(Encoder& e) {
  return e.inPos < e.inSize ? e.in[e.inPos++] : -1;
}

// Writes n bytes when x + n stays below the capacity; otherwise marks the
// output as too long and stops emitting.
void Write(Encoder& e, const uint8_t* bytes, int n) {
  if (e.stopped) return;
  if (e.length + n >= e.capacity) {
    e.length = e.capacity + 1;
    e.stopped = true;
    return;
  }
  std::memcpy(e.out + e.length, bytes, static_cast<size_t>(n));
  e.length += n;
}

void stdCompress_FlushPending(Encoder& e, uint32_t word) {
  uint8_t block[2 + sizeof e.pending];
  block[0] = static_cast<uint8_t>(word & 0xFF);
  block[1] = static_cast<uint8_t>((word >> 8) & 0xFF);
  std::memcpy(block + 2, e.pending, static_cast<size_t>(e.pendingCount));
  Write(e, block, 2 + e.pendingCount);
  e.pendingCount = 0;
}

// A bit goes in at the top of the flag word, which shifts right; after the
// 16th bit the first one put is bit 0 and the word goes out with its data.
void stdCompress_PutBit(Encoder& e, int bit) {
  e.flagWord = (e.flagWord >> 1) | (bit ? 0x8000u : 0u);
  if (--e.flagBitsFree == 0) {
    stdCompress_FlushPending(e, e.flagWord);
    e.flagWord = 0;
    e.flagBitsFree = 16;
  }
}

void stdCompress_PutByte(Encoder& e, int byte) {
  e.pending[e.pendingCount++] = static_cast<uint8_t>(byte);
}

void stdCompress_InsertNode(Encoder& e, int r) {
  const uint8_t* key = &e.window[r];
  int cmp = 1;
  int p = kWindow + 1 + key[0];
  e.right[r] = e.left[r] = kNone;
  e.matchLength = 0;
  for (;;) {
    if (cmp >= 0) {
      if (e.right[p] != kNone) {
        p = e.right[p];
      } else {
        e.right[p] = r;
        e.parent[r] = p;
        return;
      }
    } else {
      if (e.left[p] != kNone) {
        p = e.left[p];
      } else {
        e.left[p] = r;
        e.parent[r] = p;
        return;
      }
    }
    int i = 1;
    for (; i < kLookahead; ++i) {
      cmp = key[i] - e.window[p + i];
      if (cmp != 0) break;
    }
    if (i > e.matchLength) {
      e.matchPosition = p;
      e.matchLength = i;
      if (i >= kLookahead) break;
    }
  }
  // An 18-byte match: r takes p's place in the tree.
  e.parent[r] = e.parent[p];
  e.left[r] = e.left[p];
  e.right[r] = e.right[p];
  e.parent[e.left[p]] = r;
  e.parent[e.right[p]] = r;
  if (e.right[e.parent[p]] == p) {
    e.right[e.parent[p]] = r;
  } else {
    e.left[e.parent[p]] = r;
  }
  e.parent[p] = kNone;
}

void stdCompress_DeleteNode(Encoder& e, int p) {
  if (e.parent[p] == kNone) return;  // not in the tree
  int q;
  if (e.right[p] == kNone) {
    q = e.left[p];
  } else if (e.left[p] == kNone) {
    q = e.right[p];
  } else {
    // Replace by the rightmost node of the left subtree.
    q = e.left[p];
    if (e.right[q] != kNone) {
      do q = e.right[q];
      while (e.right[q] != kNone);
      e.right[e.parent[q]] = e.left[q];
      e.parent[e.left[q]] = e.parent[q];
      e.left[q] = e.left[p];
      e.parent[e.left[p]] = q;
    }
    e.right[q] = e.right[p];
    e.parent[e.right[p]] = q;
  }
  e.parent[q] = e.parent[p];
  if (e.right[e.parent[p]] == p) {
    e.right[e.parent[p]] = q;
  } else {
    e.left[e.parent[p]] = q;
  }
  e.parent[p] = kNone;
}

void stdCompress_Encode(Encoder& e) {
  for (int i = kWindow + 1; i <= kWindow + 256; ++i) e.right[i] = kNone;
  for (int i = 0; i < kWindow; ++i) e.parent[i] = kNone;
  std::memset(e.window, 0, sizeof e.window);
  e.flagWord = 0;
  e.flagBitsFree = 16;
  e.pendingCount = 0;
  e.matchLength = 0;
  e.matchPosition = 0;

  int r = 0;
  int s = kLookahead;
  int len = 0;
  for (int c; len < kLookahead && (c = stdCompress_GetByte(e)) != -1; ++len) {
    e.window[r + len] = static_cast<uint8_t>(c);
  }
  // Keep the mirror in step with the first bytes of the ring.
  for (int i = 0; i < kLookahead - 1 && i < len; ++i) e.window[kWindow + i] = e.window[i];
  if (len > 0) stdCompress_InsertNode(e, r);

  while (len > 0 && !e.stopped) {
    if (e.matchLength > len) e.matchLength = len;
    if (e.matchLength <= kThreshold) {
      e.matchLength = 1;
      stdCompress_PutBit(e, 1);
      stdCompress_PutByte(e, e.window[r]);
    } else {
      const int d = (r - e.matchPosition) & (kWindow - 1);
      const int n = e.matchLength;
      if (d < 256 && n <= 6) {
        stdCompress_PutBit(e, 0);
        stdCompress_PutBit(e, 0);
        stdCompress_PutBit(e, ((n - 3) >> 1) & 1);
        stdCompress_PutBit(e, (n - 3) & 1);
        stdCompress_PutByte(e, (256 - d) & 0xFF);
      } else {
        const int back = kWindow - d;
        stdCompress_PutBit(e, 0);
        stdCompress_PutBit(e, 1);
        stdCompress_PutByte(e, back & 0xFF);
        if (n == 3) {
          stdCompress_PutByte(e, ((back >> 8) & 0x0F) << 4);
          stdCompress_PutByte(e, 2);
        } else {
          stdCompress_PutByte(e, (((back >> 8) & 0x0F) << 4) | (n - 3));
        }
      }
    }
    const int advance = e.matchLength;
    int i = 0;
    for (int c; i < advance && (c = stdCompress_GetByte(e)) != -1; ++i) {
      stdCompress_DeleteNode(e, s);
      e.window[s] = static_cast<uint8_t>(c);
      if (s < kLookahead - 1) e.window[s + kWindow] = static_cast<uint8_t>(c);
      s = (s + 1) & (kWindow - 1);
      r = (r + 1) & (kWindow - 1);
      stdCompress_InsertNode(e, r);
    }
    for (; i < advance; ++i) {
      stdCompress_DeleteNode(e, s);
      s = (s + 1) & (kWindow - 1);
      r = (r + 1) & (kWindow - 1);
      if (--len) stdCompress_InsertNode(e, r);
    }
  }

  // End token, then the last flag word and what belongs after it.
  stdCompress_PutBit(e, 0);
  stdCompress_PutBit(e, 1);
  stdCompress_PutByte(e, 0);
  stdCompress_PutByte(e, 0);
  stdCompress_PutByte(e, 0);
  const int used = 16 - e.flagBitsFree;
  stdCompress_FlushPending(e, used == 0 ? 0u : (e.flagWord >> (16 - used)));
}

// ---------------------------------------------------------------------------
// Decompression cache.
constexpr int kCacheEntries = 100;

struct CacheEntry {
  int32_t age;
  uintptr_t address;  // 0 = free
  int size;
  uint8_t* copy;  // general heap, not the tracked allocator
  int length;
};

CacheEntry g_cache[kCacheEntries];
bool g_cacheNeedsClear = true;

void ClearEntry(CacheEntry& entry) {
  std::free(entry.copy);
  entry = CacheEntry{};
}

// -1 on a miss (0 is the length of an empty result); on a hit the cached
// length (the bytes are copied only when they fit the output; a hit that does
// not fit gives -2).
int stdCompress_CacheLookup(const void* packed, int size, void* output, size_t capacity) {
  if (g_cacheNeedsClear) {
    for (auto& entry : g_cache) ClearEntry(entry);
    g_cacheNeedsClear = false;
  }
  for (auto& entry : g_cache) {
    if (entry.address != 0) ++entry.age;
  }
  const auto address = reinterpret_cast<uintptr_t>(packed);
  for (auto& entry : g_cache) {
    if (entry.address == address && entry.size == size) {
      entry.age = 0;
      if (static_cast<size_t>(entry.length) > capacity) return -2;
      std::memcpy(output, entry.copy, static_cast<size_t>(entry.length));
      return entry.length;
    }
  }
  return -1;
}

void stdCompress_CacheInsert(const void* packed, int size, const void* bytes, int length) {
  CacheEntry* slot = nullptr;
  for (auto& entry : g_cache) {
    if (entry.address == 0) {
      slot = &entry;
      break;
    }
  }
  if (slot == nullptr) {
    slot = &g_cache[0];
    for (auto& entry : g_cache) {
      if (entry.age > slot->age) slot = &entry;
    }
  }
  ClearEntry(*slot);
  auto* copy = static_cast<uint8_t*>(std::malloc(length > 0 ? static_cast<size_t>(length) : 1));
  if (copy == nullptr) return;  // no copy: the result is simply not cached
  std::memcpy(copy, bytes, static_cast<size_t>(length));
  slot->address = reinterpret_cast<uintptr_t>(packed);
  slot->size = size;
  slot->age = 0;
  slot->copy = copy;
  slot->length = length;
}

}  // namespace

int stdCompress_Compress(void* output, const void* input, int size) {
  Encoder& e = g_enc;
  e.out = static_cast<uint8_t*>(output);
  e.capacity = size > 0 ? size : 0;
  e.length = 0;
  e.stopped = false;
  e.in = static_cast<const uint8_t*>(input);
  e.inSize = size > 0 ? size : 0;
  e.inPos = 0;
  stdCompress_Encode(e);
  return e.length;
}

int stdCompress_Decode(void* output, size_t capacity, const void* packed, size_t packedSize) {
  auto* out = static_cast<uint8_t*>(output);
  const auto* in = static_cast<const uint8_t*>(packed);
  if (packed == nullptr || packedSize < 2) return -1;
  size_t inPos = 2;
  uint32_t flags = in[0] | (in[1] << 8);
  int bitsLeft = 16;
  size_t o = 0;

  // Takes one flag bit; emptying the word loads the next one at once.
  auto takeBit = [&](int& bit) -> bool {
    bit = static_cast<int>(flags & 1);
    flags >>= 1;
    if (--bitsLeft == 0) {
      if (packedSize - inPos < 2) return false;
      flags = in[inPos] | (in[inPos + 1] << 8);
      inPos += 2;
      bitsLeft = 16;
    }
    return true;
  };

  for (;;) {
    int bit;
    if (!takeBit(bit)) return -1;
    if (bit) {
      if (inPos >= packedSize || o >= capacity) return -1;
      out[o++] = in[inPos++];
      continue;
    }
    if (!takeBit(bit)) return -1;
    size_t length;
    size_t distance;
    if (bit == 0) {
      int h, l;
      if (!takeBit(h) || !takeBit(l)) return -1;
      if (inPos >= packedSize) return -1;
      const int b = in[inPos++];
      length = static_cast<size_t>(2 * h + l + 3);
      distance = static_cast<size_t>(256 - b);
    } else {
      if (packedSize - inPos < 2) return -1;
      const int b0 = in[inPos];
      const int b1 = in[inPos + 1];
      inPos += 2;
      distance = static_cast<size_t>(kWindow - (b0 + 256 * (b1 >> 4)));
      if ((b1 & 0x0F) != 0) {
        length = static_cast<size_t>((b1 & 0x0F) + 3);
      } else {
        if (inPos >= packedSize) return -1;
        const int extra = in[inPos++];
        if (extra == 0) return o > static_cast<size_t>(INT32_MAX) ? -1 : static_cast<int>(o);
        length = static_cast<size_t>(extra + 1);
      }
    }
    if (distance > o || length > capacity - o) return -1;
    // Byte by byte: a distance shorter than the length repeats the last bytes.
    uint8_t* dst = out + o;
    const uint8_t* src = dst - distance;
    for (size_t i = 0; i < length; ++i) dst[i] = src[i];
    o += length;
  }
}

int stdCompress_Decompress(void* output, size_t capacity, const void* packed, int packedSize) {
  if (packed == nullptr || packedSize < 0) return -1;
  const int hit = stdCompress_CacheLookup(packed, packedSize, output, capacity);
  if (hit >= 0) return hit;
  if (hit == -2) return -1;
  const int length = stdCompress_Decode(output, capacity, packed, static_cast<size_t>(packedSize));
  if (length >= 0) stdCompress_CacheInsert(packed, packedSize, output, length);
  return length;
}

void stdCompress_FlushCache(void) {
  for (auto& entry : g_cache) ClearEntry(entry);
  g_cacheNeedsClear = false;
}

void stdCompress_DropCached(const void* packed) {
  const auto address = reinterpret_cast<uintptr_t>(packed);
  if (address == 0) return;
  for (auto& entry : g_cache) {
    if (entry.address == address) ClearEntry(entry);
  }
}

int stdCompress_CacheCount(void) {
  int count = 0;
  for (const auto& entry : g_cache) count += entry.address != 0;
  return count;
}
