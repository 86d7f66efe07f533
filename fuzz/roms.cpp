// Fuzz target of the "ROMS" restore: one set is loaded (its saved identity is
// {1, 0}) and the input is restored as the block of a saved game; then the
// set is left again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/Res.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "room_fuzz_host.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_position = 0;

int Read(void* out, size_t length) {
  if (length > g_size - g_position) return 1;
  std::memcpy(out, g_data + g_position, length);
  g_position += length;
  return 0;
}

Room* LoadSet() {
  static Room* room = nullptr;
  if (room) return room;
  HostServices* hs = room_fuzz::Start();
  room_fuzz::Files()["fuzz.set"] =
      "section: colormaps\n numcolormaps 1\n colormap x.cmp\n"
      "section: setups\n numsetups 2\n setup a\n background a.bmp\n zbuffer a.zbm\n"
      " position 0 0 0\n interest 0 1 0\n fov 60\n nclip 0.1\n fclip 10\n"
      " setup b\n background b.bmp\n";
  static ModuleDescriptor resources{};
  drevResource_Initialize(hs, &resources);
  resources.startup();
  room = static_cast<Room*>(drevResource_Get("SET ", "fuzz.set"));
  if (room) {
    Res_RecordOf(room)->savedId[0] = 1;
    Res_RecordOf(room)->savedId[1] = 0;
  }
  return room;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Room* room = LoadSet();
  if (!room) return 0;
  g_data = data;
  g_size = size;
  g_position = 0;
  drevRoom_Restore(Read);
  Res_ReleaseRef(&room->lockRef);
  drevRoom_MakeCurrent(nullptr, nullptr);
  drevRoom_ReleaseResources(room);
  return 0;
}
