// Fuzz target for the library block of a save game: Melos_Restore on the
// input, then a few blocks of play and a save of what was restored. The
// input also serves as the resident sound and the stream file.
#include "melos_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  melos_fuzz::Start(data, size);
  Melos_Restore(data, static_cast<uint32_t>(std::min<size_t>(size, 1u << 24)));
  melos_fuzz::Play(4);
  for (int i = 0; i < 8; ++i) {
    MelosFades_Step();
    MelosDeferred_Step();
  }
  std::vector<uint8_t> out(MELOS_SAVE_ROOM);
  if (Melos_Save(out.data(), MELOS_SAVE_ROOM) < 0) std::abort();
  Melos_StopAllSounds();
  return 0;
}
