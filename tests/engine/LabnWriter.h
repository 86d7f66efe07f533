// A small LABN archive writer for tests, seed corpora and the demo data.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct LabnFile {
  std::string name;
  std::string data;
};

inline void LabnPut32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

// Header, 16-byte entries, the name table, then each file's data in order.
inline std::string LabnBuild(const std::vector<LabnFile>& files, uint32_t version = 1) {
  std::string names;
  std::vector<uint32_t> nameOffsets;
  for (const LabnFile& f : files) {
    nameOffsets.push_back(static_cast<uint32_t>(names.size()));
    names += f.name;
    names.push_back('\0');
  }
  const uint32_t count = static_cast<uint32_t>(files.size());
  uint32_t dataOffset = 16 + 16 * count + static_cast<uint32_t>(names.size());
  std::string out = "LABN";
  LabnPut32(&out, version);
  LabnPut32(&out, count);
  LabnPut32(&out, static_cast<uint32_t>(names.size()));
  for (size_t i = 0; i < files.size(); ++i) {
    LabnPut32(&out, nameOffsets[i]);
    LabnPut32(&out, dataOffset);
    LabnPut32(&out, static_cast<uint32_t>(files[i].data.size()));
    LabnPut32(&out, 0);
    dataOffset += static_cast<uint32_t>(files[i].data.size());
  }
  out += names;
  for (const LabnFile& f : files) out += f.data;
  return out;
}

// Overwrites the u32 at a byte offset (for corrupted archives).
inline void LabnPatch32(std::string* archive, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*archive)[offset + i] = static_cast<char>(v >> (8 * i));
}

inline void WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
