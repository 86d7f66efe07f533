// Writers of the music system's files, shared by the music tests and the
// demo game's data writer: Melo files with any event map, MCMP files with
// VIMA blocks, 8- and 16-bit WAVE, AIFF, SYNC tracks and ".lip" files, plus
// ramps and tones to fill them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "melos/MelosBytes.h"
#include "melos/MelosFormats.h"
#include "melos/MelosVima.h"

namespace melowriter {


using Bytes = std::vector<uint8_t>;

inline void PutBE(Bytes& b, uint32_t v) {
  uint8_t t[4];
  Melos_PutBE32(t, v);
  b.insert(b.end(), t, t + 4);
}
inline void PutTag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}

// A Melo file: events are given with positions relative to the first sample;
// Build() places them after the map.
struct MeloBuilder {
  struct Event {
    std::string tag;
    uint32_t position;            // relative to the first sample
    std::vector<uint32_t> words;  // after the position
    std::string text;             // TEXT only
    bool relativeWords = false;   // JUMP: the destination is relative too
  };
  std::vector<Event> events;
  Bytes data;

  MeloBuilder& Frmt(uint32_t at, int bits, int rate, int channels, int littleEndian = 0) {
    events.push_back({"FRMT",
                      at,
                      {static_cast<uint32_t>(littleEndian), static_cast<uint32_t>(bits),
                       static_cast<uint32_t>(rate), static_cast<uint32_t>(channels)},
                      "",
                      false});
    return *this;
  }
  MeloBuilder& Regn(uint32_t at, uint32_t length) {
    events.push_back({"REGN", at, {length}, "", false});
    return *this;
  }
  MeloBuilder& Stop(uint32_t at) {
    events.push_back({"STOP", at, {}, "", false});
    return *this;
  }
  MeloBuilder& Jump(uint32_t at, uint32_t destination, uint32_t hook, uint32_t fadeMs) {
    events.push_back({"JUMP", at, {destination, hook, fadeMs}, "", true});
    return *this;
  }
  MeloBuilder& Text(uint32_t at, const std::string& text) {
    events.push_back({"TEXT", at, {}, text, false});
    return *this;
  }
  uint32_t MapLength() const {
    uint32_t length = 0;
    for (const Event& e : events) {
      length += 12 + (e.tag == "TEXT" ? static_cast<uint32_t>(e.text.size()) + 1
                                      : static_cast<uint32_t>(e.words.size()) * 4);
    }
    return length;
  }
  // File offset of the first sample.
  uint32_t DataOffset() const { return MapLength() + 24; }
  Bytes Build() const {
    const uint32_t base = DataOffset();
    Bytes b;
    PutTag(b, "Melo");
    PutBE(b, base + static_cast<uint32_t>(data.size()));
    PutTag(b, "MAP ");
    PutBE(b, MapLength());
    for (const Event& e : events) {
      PutTag(b, e.tag.c_str());
      if (e.tag == "TEXT") {
        PutBE(b, 4 + static_cast<uint32_t>(e.text.size()) + 1);
        PutBE(b, base + e.position);
        b.insert(b.end(), e.text.begin(), e.text.end());
        b.push_back(0);
        continue;
      }
      PutBE(b, 4 + static_cast<uint32_t>(e.words.size()) * 4);
      PutBE(b, base + e.position);
      for (size_t i = 0; i < e.words.size(); ++i)
        PutBE(b, (i == 0 && e.relativeWords) ? base + e.words[i] : e.words[i]);
    }
    PutTag(b, "DATA");
    PutBE(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
  }
};

// 16-bit samples as bytes, big- or little-endian.
inline Bytes Pcm16(const std::vector<int16_t>& samples, bool bigEndian) {
  Bytes b(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const auto v = static_cast<uint16_t>(samples[i]);
    b[2 * i + (bigEndian ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    b[2 * i + (bigEndian ? 1 : 0)] = static_cast<uint8_t>(v);
  }
  return b;
}
inline std::vector<int16_t> Constant(size_t n, int16_t value) {
  return std::vector<int16_t>(n, value);
}
inline std::vector<int16_t> Ramp(size_t n, int start, int step) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(start + step * static_cast<int>(i));
  return s;
}
inline std::vector<int16_t> Tone(size_t frames, int channels, double amplitude, double period) {
  std::vector<int16_t> s(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      s[i * channels + c] = static_cast<int16_t>(
          amplitude * std::sin(2 * M_PI * static_cast<double>(i) / period + c));
    }
  }
  return s;
}

inline Bytes Wave(int rate, int bits, int channels, const Bytes& data) {
  Bytes b(44);
  MeloHeader_Write(b.data(), SOUND_WAVE, rate, bits, channels, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}
inline Bytes Aiff(int rate, int bits, int channels, const Bytes& data) {
  Bytes b(54);
  MeloHeader_Write(b.data(), SOUND_AIFF, rate, bits, channels, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// An MCMP file: the first block stores header (the inner file's header);
// every further block holds PCM coded with VIMA (or stored when vima is
// false), blockBytes of decoded PCM each.
inline Bytes Mcmp(const Bytes& header, const std::vector<int16_t>& pcm, int channels,
                  size_t blockBytes, bool vima = true) {
  struct Entry {
    uint8_t codec;
    Bytes packed;
    uint32_t size;
  };
  std::vector<Entry> entries;
  entries.push_back({0, header, static_cast<uint32_t>(header.size())});
  const Bytes raw = Pcm16(pcm, false);
  for (size_t at = 0; at < raw.size(); at += blockBytes) {
    const size_t bytes = std::min(blockBytes, raw.size() - at);
    if (vima) {
      Bytes packed(bytes * 2 + 64);
      const int frames = static_cast<int>(bytes / (2 * static_cast<size_t>(channels)));
      const int n =
          Vima_EncodeBlock(pcm.data() + at / 2, channels, frames, packed.data(), packed.size());
      packed.resize(static_cast<size_t>(n));
      entries.push_back({1, packed, static_cast<uint32_t>(bytes)});
    } else {
      entries.push_back(
          {0,
           Bytes(raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + bytes)),
           static_cast<uint32_t>(bytes)});
    }
  }
  Bytes b;
  PutTag(b, "MCMP");
  b.push_back(static_cast<uint8_t>(entries.size() >> 8));
  b.push_back(static_cast<uint8_t>(entries.size()));
  for (const Entry& e : entries) {
    b.push_back(e.codec);
    PutBE(b, e.size);
    PutBE(b, static_cast<uint32_t>(e.packed.size()));
  }
  const char names[] = "NULL\0VIMA";
  b.push_back(0);
  b.push_back(sizeof names);
  b.insert(b.end(), names, names + sizeof names);
  for (const Entry& e : entries) b.insert(b.end(), e.packed.begin(), e.packed.end());
  return b;
}

// A SYNC track of (time in 16 ms units, A, B) entries.
struct SyncEntry {
  uint32_t time16;
  int a, b;
};
inline Bytes Sync(const std::vector<SyncEntry>& entries) {
  Bytes b;
  PutTag(b, "SYNC");
  PutBE(b, static_cast<uint32_t>(entries.size()));
  for (const SyncEntry& e : entries) {
    uint8_t t[4];
    Melos_PutLE32(t, e.time16 << 16 | static_cast<uint32_t>(e.a << 8 | e.b));
    b.insert(b.end(), t, t + 4);
  }
  return b;
}

// A ".lip" file: "LIP!", a count word, then {time in 16 ms units, shape}.
inline Bytes Lip(const std::vector<std::pair<uint16_t, uint16_t>>& entries) {
  Bytes b = {'L', 'I', 'P', '!', 0, 0, 0, 0};
  for (const auto& [time, shape] : entries) {
    b.push_back(static_cast<uint8_t>(time));
    b.push_back(static_cast<uint8_t>(time >> 8));
    b.push_back(static_cast<uint8_t>(shape));
    b.push_back(static_cast<uint8_t>(shape >> 8));
  }
  return b;
}

}  // namespace melowriter
