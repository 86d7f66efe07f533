// Fuzz target for stream dispatch: the input is played as a streamed file
// (Melo or WAVE) and as a resident Melo sound, with a jump hook from its
// first byte, through the map, the look-ahead and the mixer.
#include "melos_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  melos_fuzz::Start(data, size);
  const int hook = size > 0 ? data[0] % 130 : 0;
  if (Melos_StartStream(10001, 50, 2) == 0) Melos_SetHook(10001, hook);
  if (Melos_StartSound(100, 50) == 0) Melos_SetHook(100, hook);
  melos_fuzz::Play(24);
  Melos_SwitchStream(10001, 10001, 300, 1, 0);
  melos_fuzz::Play(4);
  Melos_StopAllSounds();
  return 0;
}
