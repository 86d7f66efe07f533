// Fuzz target for the stream header reader of cutscene movies: the input is
// the start of a movie file, read from bytes and through a file table.
#include <cstdint>
#include <cstdlib>

#include "vembra/TolveHost.h"
#include "vembra_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TolveFileHeader header{};
  Tolve_ParseFileHeader(data, size, &header);
  vembrafuzz::Serve(data, size);
  VembraFilio* io = vembrafuzz::MemoryFilio();
  VembraFileHandle file = io->Open("movie.snm", "rb");
  if (Tolve_ReadFileHeader(io, file, &header) == 0 && io->Tell(file) != 0) abort();
  io->Close(file);
  return 0;
}
