// The demo game's data writers: each file of tools/demodata/ registers one or
// more writers with DEMODATA_WRITER; the program runs them all, in name order,
// into the staged game folder given on its command line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace demodata {

// A writer makes its files below the game folder and answers true on success.
using WriterFn = bool (*)(const std::filesystem::path& gameDir);

struct Registrar {
  Registrar(const char* name, WriterFn writer);
};

// Writes a whole file, making its folders first; logs and answers false on failure.
bool WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes);
bool WriteText(const std::filesystem::path& path, std::string_view text);

// Runs after every writer: moves files the writers made into the game's
// `*.lab` archives (Archives.cpp); answers false when one could not be packed.
bool PackArchives(const std::filesystem::path& gameDir);

}  // namespace demodata

#define DEMODATA_WRITER(name)                                    \
  static bool name(const std::filesystem::path& gameDir);        \
  static const demodata::Registrar name##_registrar(#name, name); \
  static bool name(const std::filesystem::path& gameDir)
