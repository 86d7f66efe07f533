// Fuzz target of the set-file reader: the input is read as a set file (its
// companion and cutscene-light files are missing), then written back out.
#include <cstdint>
#include <string>

#include "engine/drevRoom.h"
#include "room_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  room_fuzz::Start();
  room_fuzz::Files()["input.set"].assign(reinterpret_cast<const char*>(data), size);
  if (Room* room = drevRoom_Create("input.set")) {
    drevRoom_WriteSetFile("output.set", room);
    drevRoom_Destroy(room);
  }
  return 0;
}
