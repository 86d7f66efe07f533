// The demo-data program: runs every registered writer into the game folder.
#include "DemoData.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "std/std.h"

namespace demodata {
namespace {

std::map<std::string, WriterFn>& Writers() {
  static std::map<std::string, WriterFn> writers;
  return writers;
}

}  // namespace

Registrar::Registrar(const char* name, WriterFn writer) { Writers()[name] = writer; }

bool WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "demodata: could not write %s\n", path.c_str());
    return false;
  }
  return true;
}

bool WriteText(const std::filesystem::path& path, std::string_view text) {
  return WriteBytes(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

}  // namespace demodata

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vq_demodata <game folder>\n");
    return 2;
  }
  // Writers may call the engine's own writers, which reach memory and files
  // through the services record.
  static HostServices services;
  std_FillServices(&services);
  std_Startup(&services);

  const std::filesystem::path gameDir = argv[1];
  int failed = 0;
  for (const auto& [name, writer] : demodata::Writers()) {
    if (!writer(gameDir)) {
      std::fprintf(stderr, "demodata: writer %s failed\n", name.c_str());
      ++failed;
    }
  }
  if (!failed && !demodata::PackArchives(gameDir)) {
    std::fprintf(stderr, "demodata: the archives could not be packed\n");
    ++failed;
  }
  std_Shutdown();
  return failed ? 1 : 0;
}
