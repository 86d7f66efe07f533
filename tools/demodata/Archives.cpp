// The demo game's archives: Quill's model, materials, keyframes and costume
// go into "quill.lab" (a LABN archive, found by the file layer like the
// loose data folders), and their loose copies are removed.
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "../../tests/engine/LabnWriter.h"
#include "DemoData.h"

namespace demodata {

bool PackArchives(const std::filesystem::path& gameDir) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files = {gameDir / "Models" / "quill.3do",
                                 gameDir / "Animation" / "quill_walk.key",
                                 gameDir / "Animation" / "quill_rest.key",
                                 gameDir / "Costumes" / "quill.cos"};
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(gameDir / "Materials", error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("quill_") && name.ends_with(".mat")) files.push_back(entry.path());
  }
  if (error) return false;
  // Archive entries are found by their bare names.
  std::vector<LabnFile> entries;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    entries.push_back({file.filename().string(),
                       std::string(std::istreambuf_iterator<char>(in), {})});
  }
  const std::string archive = LabnBuild(entries);
  if (!WriteBytes(gameDir / "quill.lab",
                  {reinterpret_cast<const uint8_t*>(archive.data()), archive.size()})) {
    return false;
  }
  for (const fs::path& file : files) fs::remove(file, error);
  return !error;
}

}  // namespace demodata
