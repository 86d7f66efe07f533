// Plain driver for the fuzz targets: feeds every file of the folders (or
// files) named on the command line to LLVMFuzzerTestOneInput once, so the
// seed corpus runs as an ordinary test under the sanitizers.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
        if (entry.is_regular_file()) {
          RunFile(entry.path());
        }
      }
    } else if (std::filesystem::exists(arg)) {
      RunFile(arg);
    }
  }
  // Edge inputs every reader must survive, beside the corpus.
  LLVMFuzzerTestOneInput(nullptr, 0);
  const uint8_t one = 0;
  LLVMFuzzerTestOneInput(&one, 1);
  return 0;
}
