// Fuzz target of the ".setx" companion reader: the input is read into a set,
// twice (the second read sees the stamp of the first), and the set's light
// queries and animation run over what was read.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/drevRoom.h"
#include "room_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  room_fuzz::Start();
  room_fuzz::Files()["input.setx"].assign(reinterpret_cast<const char*>(data), size);
  auto* room = static_cast<Room*>(std::calloc(1, sizeof(Room)));
  if (!room) return 0;
  int flag = 0;
  if (drevRoom_ReadSetx("input.setx", room, &flag)) drevRoom_ReadSetx("input.setx", room, &flag);
  if (room->numDeferredLights > static_cast<uint32_t>(kRoomMaxRecords) ||
      room->numResolvePoints > static_cast<uint32_t>(kRoomMaxRecords) ||
      room->numShadowCasters > static_cast<uint32_t>(kRoomMaxRecords) ||
      room->numZShapes > static_cast<uint32_t>(kRoomMaxRecords))
    __builtin_trap();
  std::free(room);
  return 0;
}
