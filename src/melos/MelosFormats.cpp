// Sound file formats (see MelosFormats.h).
#include "melos/MelosFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "melos/MelosBytes.h"
#include "melos/MelosVima.h"

namespace {

uint32_t Remaining(uint64_t size, uint64_t at) {
  return at >= size ? 0 : static_cast<uint32_t>(std::min<uint64_t>(size - at, UINT32_MAX));
}

// The readers of the inner files parse the size bytes at p; the data size is
// cut to streamSize, the length of the whole stream p starts (the file's own
// size, or an MCMP file's decoded length when p is its first block).
int ReadMelo(const uint8_t* p, uint32_t size, SoundHeader* h, uint64_t streamSize) {
  if (size < 16 || !Melos_Tag(p, "Melo") || !Melos_Tag(p + 8, "MAP ")) return 0;
  const uint64_t mapLength = Melos_BE32(p + 12);
  const uint64_t dataTag = 16 + mapLength;
  if (mapLength < 28 || dataTag + 8 > size || !Melos_Tag(p + dataTag, "DATA")) return 0;
  const uint8_t* frmt = p + 16;
  if (!Melos_Tag(frmt, "FRMT")) return 0;
  h->bits = static_cast<int>(Melos_BE32(frmt + 16));
  h->rate = static_cast<int>(Melos_BE32(frmt + 20));
  h->channels = static_cast<int>(Melos_BE32(frmt + 24));
  h->littleEndian = 0;
  h->samples = p + dataTag + 8;
  h->dataSize = std::min(Melos_BE32(p + dataTag + 4), Remaining(streamSize, dataTag + 8));
  return SOUND_MELO;
}

int ReadWave(const uint8_t* p, uint32_t size, SoundHeader* h, uint64_t streamSize) {
  if (size < 36 || !Melos_Tag(p, "RIFF") || std::memcmp(p + 8, "WAVEfmt ", 8) != 0) return 0;
  if (Melos_LE16(p + 20) != 1) return 0;
  h->channels = Melos_LE16(p + 22);
  h->rate = static_cast<int>(Melos_LE32(p + 24));
  h->bits = Melos_LE16(p + 34);
  h->littleEndian = 1;
  const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(Melos_LE32(p + 4)) + 8, size);
  uint64_t at = 12;
  while (at + 8 <= end) {
    const uint32_t length = Melos_LE32(p + at + 4);
    if (Melos_Tag(p + at, "data")) {
      h->samples = p + at + 8;
      h->dataSize = std::min(length, Remaining(streamSize, at + 8));
      return SOUND_WAVE;
    }
    at += static_cast<uint64_t>(length) + 8;
  }
  return 0;
}

int ReadAiff(const uint8_t* p, uint32_t size, SoundHeader* h) {
  if (size < 30 || !Melos_Tag(p, "FORM") || std::memcmp(p + 8, "AIFFCOMM", 8) != 0) return 0;
  h->channels = p[21];
  h->bits = p[27];
  h->rate = p[29] == 14 ? 44100 : (p[29] == 12 ? 11025 : 22050);
  h->littleEndian = 0;
  uint64_t at = 12;
  while (at + 8 <= size) {
    const uint32_t length = Melos_BE32(p + at + 4);
    if (Melos_Tag(p + at, "SSND")) {
      if (length < 8 || at + 16 > size) return 0;
      h->samples = p + at + 16;
      h->dataSize = std::min(length - 8, Remaining(size, at + 16));
      return SOUND_AIFF;
    }
    at += static_cast<uint64_t>(length) + 8;
  }
  return 0;
}

// The bytes of an MCMP file's first block (the inner file's header, stored),
// and the length of the decoded stream (every block's decoded size).
bool McmpFirstBlock(const uint8_t* p, uint32_t size, const uint8_t** inner, uint32_t* innerSize,
                    uint64_t* streamSize) {
  if (size < 8 || !Melos_Tag(p, "MCMP")) return false;
  const uint32_t n = Melos_BE16(p + 4);
  const uint64_t table = 6 + 9ull * n;
  if (n == 0 || table + 2 > size) return false;
  const uint64_t names = Melos_BE16(p + table);
  const uint64_t first = table + 2 + names;
  if (first > size) return false;
  *inner = p + first;
  *innerSize = std::min(Melos_BE32(p + 6 + 5), Remaining(size, first));
  *streamSize = 0;
  for (uint32_t k = 0; k < n; ++k) *streamSize += Melos_BE32(p + 6 + 9 * k + 1);
  return true;
}

}  // namespace

int Sound_ReadHeader(const uint8_t* buffer, uint32_t size, SoundHeader* header) {
  *header = SoundHeader{};
  if (!buffer || size < 4) return 0;
  SoundHeader h{};
  int type = 0;
  if (Melos_Tag(buffer, "MCMP")) {
    const uint8_t* inner = nullptr;
    uint32_t innerSize = 0;
    uint64_t streamSize = 0;
    if (McmpFirstBlock(buffer, size, &inner, &innerSize, &streamSize)) {
      if (ReadMelo(inner, innerSize, &h, streamSize))
        type = SOUND_MCMP_MELO;
      else if (ReadWave(inner, innerSize, &h, streamSize))
        type = SOUND_MCMP_WAVE;
    }
  } else if (Melos_Tag(buffer, "Melo")) {
    type = ReadMelo(buffer, size, &h, size);
  } else if (Melos_Tag(buffer, "RIFF")) {
    type = ReadWave(buffer, size, &h, size);
  } else if (Melos_Tag(buffer, "FORM")) {
    type = ReadAiff(buffer, size, &h);
  } else {
    const RawGuess g = Sound_GuessRawFormat(buffer, size);
    if (g.bits == 16) {
      type = g.littleEndian ? SOUND_RAW_LE : SOUND_RAW_BE;
      h = SoundHeader{type, 44100, 16, g.channels, g.littleEndian, size, buffer};
    }
  }
  if (type == 0) return 0;
  h.type = type;
  *header = h;
  return type;
}

int MeloHeader_Write(uint8_t* out, int type, int rate, int bits, int channels, uint32_t dataSize) {
  const auto u = [](int v) { return static_cast<uint32_t>(v); };
  if (type == SOUND_MELO) {
    std::memcpy(out, "Melo", 4);
    Melos_PutBE32(out + 4, dataSize + 80);
    std::memcpy(out + 8, "MAP ", 4);
    Melos_PutBE32(out + 12, 56);
    std::memcpy(out + 16, "FRMT", 4);
    const uint32_t frmt[6] = {20, 80, 0, u(bits), u(rate), u(channels)};
    for (int i = 0; i < 6; ++i) Melos_PutBE32(out + 20 + 4 * i, frmt[i]);
    std::memcpy(out + 44, "REGN", 4);
    Melos_PutBE32(out + 48, 8);
    Melos_PutBE32(out + 52, 80);
    Melos_PutBE32(out + 56, dataSize);
    std::memcpy(out + 60, "STOP", 4);
    Melos_PutBE32(out + 64, 4);
    Melos_PutBE32(out + 68, dataSize + 80);
    std::memcpy(out + 72, "DATA", 4);
    Melos_PutBE32(out + 76, dataSize);
    return 80;
  }
  if (type == SOUND_WAVE) {
    std::memcpy(out, "RIFF", 4);
    Melos_PutLE32(out + 4, dataSize + 36);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    Melos_PutLE32(out + 16, 16);
    Melos_PutLE16(out + 20, 1);
    Melos_PutLE16(out + 22, static_cast<uint16_t>(channels));
    Melos_PutLE32(out + 24, u(rate));
    Melos_PutLE32(out + 28, u(rate * (bits / 8) * channels));
    Melos_PutLE16(out + 32, static_cast<uint16_t>(channels * (bits / 8)));
    Melos_PutLE16(out + 34, static_cast<uint16_t>(bits));
    std::memcpy(out + 36, "data", 4);
    Melos_PutLE32(out + 40, dataSize);
    return 44;
  }
  if (type == SOUND_AIFF) {
    std::memcpy(out, "FORM", 4);
    Melos_PutBE32(out + 4, dataSize + 54);
    std::memcpy(out + 8, "AIFFCOMM", 8);
    Melos_PutBE32(out + 16, 18);
    Melos_PutBE16(out + 20, static_cast<uint16_t>(channels));
    const int frameBytes = channels * bits / 8;
    Melos_PutBE32(out + 22, frameBytes > 0 ? dataSize / u(frameBytes) : 0);
    Melos_PutBE16(out + 26, static_cast<uint16_t>(bits));
    const uint8_t exponent = rate == 11025 ? 0x0C : (rate == 44100 ? 0x0E : 0x0D);
    const uint8_t extended[10] = {0x40, exponent, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    std::memcpy(out + 28, extended, 10);
    std::memcpy(out + 38, "SSND", 4);
    Melos_PutBE32(out + 42, dataSize + 8);
    Melos_PutBE32(out + 46, 0);
    Melos_PutBE32(out + 50, 0);
    return 54;
  }
  return 0;
}

RawGuess Sound_GuessRawFormat(const uint8_t* data, uint32_t size) {
  const uint32_t n = std::min<uint32_t>(size, 8192);
  // Sums, in the order in which they are tried: 16-bit BE stereo, 16-bit LE
  // stereo, 16-bit LE mono, 8-bit stereo, 8-bit mono, 16-bit BE mono.
  uint64_t sum[6] = {};
  const auto le = [&](uint32_t i) { return static_cast<int16_t>(data[i] | data[i + 1] << 8); };
  const auto be = [&](uint32_t i) { return static_cast<int16_t>(data[i] << 8 | data[i + 1]); };
  const auto u8 = [&](uint32_t i) { return (static_cast<int>(data[i]) - 128) * 256; };
  for (uint32_t i = 2; i + 1 < n; i += 2) {
    sum[2] += static_cast<uint64_t>(std::abs(le(i) - le(i - 2)));
    sum[5] += static_cast<uint64_t>(std::abs(be(i) - be(i - 2)));
  }
  for (uint32_t i = 4; i + 1 < n; i += 2) {
    sum[1] += static_cast<uint64_t>(std::abs(le(i) - le(i - 4)));
    sum[0] += static_cast<uint64_t>(std::abs(be(i) - be(i - 4)));
  }
  for (uint32_t i = 1; i < n; ++i) sum[4] += static_cast<uint64_t>(std::abs(u8(i) - u8(i - 1)));
  for (uint32_t i = 2; i < n; ++i) sum[3] += static_cast<uint64_t>(std::abs(u8(i) - u8(i - 2)));
  static const RawGuess kReadings[6] = {{16, 2, 0}, {16, 2, 1}, {16, 1, 1},
                                        {8, 2, 1},  {8, 1, 1},  {16, 1, 0}};
  for (int r = 0; r < 5; ++r) {
    bool below = true;
    for (int later = r + 1; later < 6; ++later) below = below && sum[r] < sum[later];
    if (below) return kReadings[r];
  }
  return kReadings[5];
}

const uint8_t* Melo_FindEvent(const uint8_t* map, uint32_t mapSize, const char* tag, int n) {
  if (!map || mapSize < 8 || !Melos_Tag(map, "MAP ")) return nullptr;
  const uint64_t end = std::min<uint64_t>(8ull + Melos_BE32(map + 4), mapSize);
  uint64_t at = 8;
  while (at + 8 <= end) {
    if (Melos_Tag(map + at, tag) && n-- == 0) return map + at;
    at += 8ull + Melos_BE32(map + at + 4);
  }
  return nullptr;
}

uint32_t Sound_ConvertedSize(int type, int rate, int bits, int channels, const uint8_t* data,
                             uint32_t size) {
  int headerSize = 0;
  switch (type) {
    case SOUND_MELO:
    case SOUND_MCMP_MELO:
      headerSize = 80;
      break;
    case SOUND_WAVE:
    case SOUND_MCMP_WAVE:
      headerSize = 44;
      break;
    case SOUND_AIFF:
      headerSize = 54;
      break;
    default:
      return 0;
  }
  // A negative target is no format to convert to.
  if (rate < 0 || bits < 0 || channels < 0) return 0;
  SoundHeader h{};
  if (Sound_ReadHeader(data, size, &h) == 0) return 0;
  // Each factor is below 2^31, so both products fit 128 bits (a header's
  // rate, bits and channels may multiply past 64), and the divisor is at
  // least 10 * 8 * 1.
  using Wide = unsigned __int128;
  const Wide sourceRate = static_cast<Wide>(std::max(h.rate, 11025) / 1024);
  const Wide sourceBits = static_cast<Wide>(std::max(h.bits, 8));
  const Wide sourceChannels = static_cast<Wide>(std::max(h.channels, 1));
  const Wide targetRate = static_cast<Wide>((rate ? rate : std::max(h.rate, 11025)) / 1024);
  const Wide targetBits = bits ? static_cast<Wide>(bits) : sourceBits;
  const Wide targetChannels = channels ? static_cast<Wide>(channels) : sourceChannels;
  Wide converted = static_cast<Wide>(h.dataSize) * targetRate * targetBits * targetChannels /
                   (sourceRate * sourceBits * sourceChannels);
  converted += static_cast<Wide>(headerSize);
  if (type == SOUND_MCMP_MELO || type == SOUND_MCMP_WAVE) converted /= 2;
  return static_cast<uint32_t>(std::min<Wide>(converted, 0xFFFFFFFFu));
}

// --- MCMP -------------------------------------------------------------------

namespace {
constexpr uint32_t kMcmpMaxBlock = 4u << 20;
}  // namespace

int Mcmp_Open(McmpFile* file, McmpReadAt readAt, void* user, uint32_t fileSize) {
  *file = McmpFile{};
  uint8_t head[6];
  if (!readAt || fileSize < 8 || readAt(user, 0, head, 6) != 6 || !Melos_Tag(head, "MCMP"))
    return -1;
  const uint32_t n = Melos_BE16(head + 4);
  const uint64_t tableEnd = 6 + 9ull * n + 2;
  if (n == 0 || tableEnd > fileSize) return -1;
  std::vector<uint8_t> table(tableEnd - 6);
  if (readAt(user, 6, table.data(), static_cast<uint32_t>(table.size())) !=
      static_cast<int>(table.size()))
    return -1;
  const uint32_t namesSize = Melos_BE16(table.data() + 9ull * n);
  if (tableEnd + namesSize > fileSize) return -1;
  std::vector<char> names(namesSize + 1, 0);
  if (namesSize && readAt(user, static_cast<uint32_t>(tableEnd), names.data(), namesSize) !=
                       static_cast<int>(namesSize))
    return -1;
  // Offsets of the zero-terminated codec names.
  std::vector<uint32_t> nameAt;
  for (uint32_t at = 0; at < namesSize;) {
    nameAt.push_back(at);
    at += static_cast<uint32_t>(std::strlen(names.data() + at)) + 1;
  }
  uint64_t start = 0;
  uint64_t source = tableEnd + namesSize;
  for (uint32_t k = 0; k < n; ++k) {
    const uint8_t* e = table.data() + 9 * k;
    McmpBlock b{};
    // Every block names one of the codecs in the table.
    if (e[0] >= nameAt.size()) return -1;
    b.vima = std::strncmp(names.data() + nameAt[e[0]], "VIMA", 4) == 0;
    b.size = Melos_BE32(e + 1);
    b.sourceSize = Melos_BE32(e + 5);
    b.start = static_cast<uint32_t>(start);
    b.source = static_cast<uint32_t>(source);
    // A block decodes into one buffer: sizes past kMcmpMaxBlock are damage,
    // and so is a decoded stream of more than 2^31 bytes.
    if (start + b.size > 0x80000000u || source + b.sourceSize > fileSize ||
        b.size > kMcmpMaxBlock || b.sourceSize > kMcmpMaxBlock)
      return -1;
    start += b.size;
    source += b.sourceSize;
    file->blocks.push_back(b);
  }
  file->readAt = readAt;
  file->user = user;
  file->totalSize = static_cast<uint32_t>(start);
  return 0;
}

namespace {

// The block holding decoded offset p (bisection over the block ranges).
int FindBlock(const McmpFile& f, uint32_t p) {
  int lo = 0;
  int hi = static_cast<int>(f.blocks.size()) - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const McmpBlock& b = f.blocks[static_cast<size_t>(mid)];
    if (p < b.start)
      hi = mid - 1;
    else if (p - b.start >= b.size)
      lo = mid + 1;
    else
      return mid;
  }
  return -1;
}

bool DecodeBlock(McmpFile* f, int index) {
  if (f->cached == index) return true;
  f->cached = -1;
  const McmpBlock& b = f->blocks[static_cast<size_t>(index)];
  if (f->compressed.size() < b.sourceSize) f->compressed.resize(b.sourceSize);
  if (f->decoded.size() < b.size) f->decoded.resize(b.size);
  if (b.size == 0) return true;
  if (b.sourceSize > 0 && f->readAt(f->user, b.source, f->compressed.data(), b.sourceSize) !=
                              static_cast<int>(b.sourceSize))
    return false;
  if (b.vima) {
    if (Vima_DecodeBlock(f->compressed.data(), b.sourceSize, f->decoded.data(), b.size) < 0)
      return false;
  } else {
    const uint32_t stored = std::min(b.size, b.sourceSize);
    if (stored > 0) std::memcpy(f->decoded.data(), f->compressed.data(), stored);
    std::memset(f->decoded.data() + stored, 0, b.size - stored);
  }
  f->cached = index;
  return true;
}

}  // namespace

int Mcmp_Read(McmpFile* file, void* buffer, uint32_t count) {
  if (!file->readAt || count == 0 || file->position >= file->totalSize) return 0;
  count = std::min(count, file->totalSize - file->position);
  const int first = FindBlock(*file, file->position);
  const int last = FindBlock(*file, file->position + count - 1);
  if (first < 0 || last < 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  for (int k = first; k <= last; ++k) {
    if (!DecodeBlock(file, k)) break;
    const McmpBlock& b = file->blocks[static_cast<size_t>(k)];
    const uint32_t from = file->position + done - b.start;
    const uint32_t piece = std::min(b.size - from, count - done);
    std::memcpy(out + done, file->decoded.data() + from, piece);
    done += piece;
  }
  file->position += done;
  return static_cast<int>(done);
}

void Mcmp_Seek(McmpFile* file, uint32_t position) {
  file->position = position;
}

// --- SYNC -------------------------------------------------------------------

int Sync_Lookup(const uint8_t* sync, uint32_t size, uint32_t t, int* a, int* b) {
  if (!sync || size < 8 || !Melos_Tag(sync, "SYNC") || t >= 1048576) return -1;
  const uint32_t n = Melos_BE32(sync + 4);
  if (n == 0 || n > (size - 8) / 4) return -1;
  const auto entry = [&](uint32_t i) { return Melos_LE32(sync + 8 + 4 * i); };
  const uint32_t key = (t >> 4) << 16;
  uint32_t found = 0;
  if ((entry(n - 1) & 0xFFFF0000u) < key) {
    found = n - 1;
  } else if (t != 0) {
    // The last entry whose time is not after the key (the first when all are).
    uint32_t lo = 0;
    uint32_t hi = n - 1;
    while (hi - lo > 1) {
      const uint32_t mid = (lo + hi) / 2;
      const uint32_t time = entry(mid) & 0xFFFF0000u;
      if (time == key) {
        lo = hi = mid;
        break;
      }
      if (time < key)
        lo = mid;
      else
        hi = mid;
    }
    found = (entry(hi) & 0xFFFF0000u) <= key ? hi : lo;
  }
  *a = static_cast<int>(entry(found) >> 8 & 0x7F);
  *b = static_cast<int>(entry(found) & 0x7F);
  return 0;
}

int Sync_Build(uint8_t* out, uint32_t room, const uint8_t* sound, uint32_t soundSize, int r,
               int levelsA, int levelsB) {
  SoundHeader h{};
  if (r <= 0 || Sound_ReadHeader(sound, soundSize, &h) == 0 || h.bits != 16 || h.channels != 1)
    return 0;
  if (h.dataSize < 2) {
    std::printf("File is corrupt %c\n", 7);
    return 0;
  }
  // The high byte of each sample.
  const uint32_t count = h.dataSize / 2;
  const int highOffset = h.littleEndian ? 1 : 0;
  const auto high = [&](uint32_t i) { return static_cast<int8_t>(h.samples[2 * i + highOffset]); };
  const uint32_t windowBytes =
      std::max<uint32_t>(2, static_cast<uint32_t>(h.rate) * 2 / static_cast<uint32_t>(r));
  const uint32_t window = windowBytes / 2;
  int wholePeak = 0;
  uint64_t totalRises = 0;
  for (uint32_t i = 0; i < count; ++i) {
    wholePeak = std::max(wholePeak, std::abs(static_cast<int>(high(i))) * 256);
    if (i > 0 && high(i - 1) < 0 && high(i) >= 0) ++totalRises;
  }
  const uint32_t windows = (count + window - 1) / window;
  const int averageRises = static_cast<int>(totalRises / std::max<uint32_t>(windows, 1));
  const auto mask = [](int levels) {
    const int bits = std::clamp(levels - 1, 0, 7);
    return (0x7F << (7 - bits)) & 0x7F;
  };
  int history[30];
  for (int& e : history) e = wholePeak;
  int historyAt = 0;
  uint32_t entries = 0;
  int lastA = -1;
  int lastB = -1;
  uint64_t time = 0;  // 1/65536 units of 16 ms
  const auto put = [&](uint32_t t16, int a, int b) {
    if (8 + 4 * (entries + 1) > room) return false;
    Melos_PutLE32(out + 8 + 4 * entries,
                  (std::min<uint32_t>(t16, 0xFFFF) << 16) | static_cast<uint32_t>(a << 8 | b));
    ++entries;
    return true;
  };
  for (uint32_t w = 0; w < windows; ++w) {
    int peak = 0;
    int rises = 0;
    for (uint32_t i = w * window; i < std::min(count, (w + 1) * window); ++i) {
      peak = std::max(peak, std::abs(static_cast<int>(high(i))) * 256);
      if (i > 0 && high(i - 1) < 0 && high(i) >= 0) ++rises;
    }
    history[historyAt] = peak;
    historyAt = (historyAt + 1) % 30;
    int average = 0;
    for (int e : history) average += e;
    average = std::max({average / 30, 1, wholePeak / 4});
    const int o = peak * 60 / average;
    int q = rises * 50 / (averageRises + 1);
    if (o < 25) q = (o * (q - 37) + 925) / 25;
    const int a = std::clamp(q, 0, 100) * 127 / 100 & mask(levelsA);
    const int b = std::clamp(o, 0, 100) * 127 / 100 & mask(levelsB);
    if (a != lastA || b != lastB) {
      if (!put(static_cast<uint32_t>(time >> 16), a, b)) return 0;
      lastA = a;
      lastB = b;
    }
    time += 4096000u / static_cast<uint32_t>(r);
  }
  if (room < 8 || !put(static_cast<uint32_t>(time >> 16), 0, 0)) return 0;
  std::memcpy(out, "SYNC", 4);
  Melos_PutBE32(out + 4, entries);
  return static_cast<int>(8 + 4 * entries);
}
