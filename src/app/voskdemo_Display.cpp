// The front end's display choice: the table of display devices, the default
// and the chosen display, and the opening of a mode with its z-buffer.
#include <cstring>

#include "app/voskdemo.h"
#include "platform/kv_Log.h"
#include "std/std.h"
#include "std/stdInput.h"

namespace {

// 640 x 480 in RGB 5-6-5.
constexpr VideoMode kWantedMode = {
    0, 1.0f, {640, 480, 0, 0, 0, {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0}}};
// The wanted 3D device: the identity and both matching words 1, capability 2.
constexpr stdDevice3DRecord kWanted3DDevice = {1, 1, 1, 0, 0, 0, 2, 0};

HostServices* Services() {
  return std_pHS ? std_pHS : &std_Services;
}

template <typename T>
T* CopyRecords(const T* records, int count) {
  if (!records || count <= 0) return nullptr;
  T* copy = static_cast<T*>(
      Services()->memAlloc(sizeof(T) * static_cast<size_t>(count), __FILE__, __LINE__));
  if (copy) std::memcpy(copy, records, sizeof(T) * static_cast<size_t>(count));
  return copy;
}

// The modes of the open device, as the display layer lists them.
VideoMode* CopyOpenModes(int* count) {
  voskdemoCalls& calls = voskdemo_Calls();
  const int n = calls.displayNumModes();
  *count = 0;
  if (n <= 0) return nullptr;
  VideoMode* modes = static_cast<VideoMode*>(
      Services()->memAlloc(sizeof(VideoMode) * static_cast<size_t>(n), __FILE__, __LINE__));
  if (!modes) return nullptr;
  for (int i = 0; i < n; ++i) {
    const VideoMode* mode = calls.displayGetMode(i);
    if (mode) {
      modes[i] = *mode;
    } else {
      modes[i] = VideoMode{};
    }
  }
  *count = n;
  return modes;
}

const DisplayDevice* Device(int index) {
  return voskdemo_Calls().displayGetDevice(index);
}

// The mode of a device that matches the wanted format, or -1.
int FindMode(int device) {
  const voskdemo_DisplayInfo& info = voskdemo_GetState()->displayInfo[device];
  if (info.numModes <= 0) return -1;
  const int mode = voskdemo_Calls().displayFindMode(&kWantedMode, info.modes, info.numModes);
  return (mode >= 0 && mode < info.numModes) ? mode : -1;
}

}  // namespace

int voskdemo_BuildDisplayInfo(void) {
  voskdemo_State* state = voskdemo_GetState();
  voskdemoCalls& calls = voskdemo_Calls();
  voskdemo_FreeDisplayInfo();
  const int count = calls.displayNumDevices();
  if (count <= 0) {
    kv_Log_Printf("[voskdemo] - no display device");
    return 0;
  }
  state->displayInfo = static_cast<voskdemo_DisplayInfo*>(Services()->memAlloc(
      sizeof(voskdemo_DisplayInfo) * static_cast<size_t>(count), __FILE__, __LINE__));
  if (!state->displayInfo) return 0;
  std::memset(state->displayInfo, 0, sizeof(voskdemo_DisplayInfo) * static_cast<size_t>(count));
  state->numDisplayInfo = count;
  for (int i = 0; i < count; ++i) {
    voskdemo_DisplayInfo& info = state->displayInfo[i];
    if (!calls.displayOpen(i)) continue;
    info.modes = CopyOpenModes(&info.numModes);
    const DisplayDevice* device = Device(i);
    if (device && device->has3DDevice) {
      const stdDevice3DRecord* records = nullptr;
      const int n = calls.display3DDevices(i, &records);
      info.devices3D = CopyRecords(records, n);
      info.num3DDevices = info.devices3D ? n : 0;
    }
    calls.displayClose();
  }
  return 1;
}

void voskdemo_FreeDisplayInfo(void) {
  voskdemo_State* state = voskdemo_GetState();
  if (!state->displayInfo) return;
  HostServices* services = Services();
  for (int i = 0; i < state->numDisplayInfo; ++i) {
    if (state->displayInfo[i].devices3D) services->memFree(state->displayInfo[i].devices3D);
    if (state->displayInfo[i].modes) services->memFree(state->displayInfo[i].modes);
  }
  services->memFree(state->displayInfo);
  state->displayInfo = nullptr;
  state->numDisplayInfo = 0;
}

int voskdemo_DefaultDisplay(int* device, int* mode, int* device3D) {
  voskdemo_State* state = voskdemo_GetState();
  // A device's identity is the last 16 bytes of its record.
  int found = -1;
  for (int i = 0; i < state->numDisplayInfo && found < 0; ++i) {
    const DisplayDevice* record = Device(i);
    if (!record) continue;
    const uint8_t* identity = reinterpret_cast<const uint8_t*>(record + 1) - 16;
    if (std::memcmp(identity, state->rememberedDevice, 16) == 0) found = i;
  }
  if (found < 0) {
    std_DebugPrintf("voskdemo_DefaultDisplay: Could not find matching device.\n");
    return 0;
  }
  *device = found;
  *mode = FindMode(found);
  *device3D = -1;
  if (state->remembered3DDevice != 0) {
    const voskdemo_DisplayInfo& info = state->displayInfo[found];
    for (int i = 0; i < info.num3DDevices && *device3D < 0; ++i) {
      if (info.devices3D[i].identity == state->remembered3DDevice) *device3D = i;
    }
    if (*device3D < 0) {
      std_DebugPrintf("voskdemo_DefaultDisplay: 3D device no longer present.\n");
      return 0;
    }
  }
  return *mode >= 0;
}

int voskdemo_ChooseDisplay(int* device, int* mode, int* device3D, int windowed, int hardware) {
  voskdemo_State* state = voskdemo_GetState();
  const int criteria[5] = {0, 1, hardware ? 1 : 0, hardware ? 0 : 1, windowed ? 0 : 1};
  const int chosen = voskdemo_Calls().displayChooseDevice(criteria);
  if (chosen < 0 || chosen >= state->numDisplayInfo) {
    kv_Log_Printf("[voskdemo] - the display layer chose no usable device (%d)", chosen);
    return 0;
  }
  *device = chosen;
  *mode = FindMode(chosen);
  *device3D = -1;
  const voskdemo_DisplayInfo& info = state->displayInfo[chosen];
  if (info.num3DDevices > 0 && hardware) {
    const int index = stdDevice3D_FindDevice(&kWanted3DDevice, info.devices3D, info.num3DDevices);
    if (info.devices3D[index].identity != 0) *device3D = index;
  }
  if (*mode < 0) {
    kv_Log_Printf("[voskdemo] - display device %d has no 640x480 5-6-5 mode", chosen);
    return 0;
  }
  return 1;
}

void voskdemo_CloseDisplay(void) {
  voskdemo_State* state = voskdemo_GetState();
  if (!state->displayOpen) return;
  voskdemoCalls& calls = voskdemo_Calls();
  calls.detachDisplay();
  // The z-buffer is always a display buffer of ours, also with a 3D device.
  calls.freeBuffer(state->zBuffer);
  state->zBuffer = nullptr;
  stdDevice3D_SetCurrentDevice(nullptr);
  calls.displayResetMode();
  calls.displayClose();
  state->displayOpen = 0;
}

int voskdemo_SetDisplayMode(int device, int mode) {
  voskdemo_State* state = voskdemo_GetState();
  voskdemoCalls& calls = voskdemo_Calls();
  if (state->displayOpen) {
    voskdemo_CloseDisplay();
    if (state->displayOpen) return 0;
  }
  const DisplayDevice* record = Device(device);
  if (!record || device >= state->numDisplayInfo) {
    kv_Log_Printf("[voskdemo] - no display device %d", device);
    return 0;
  }
  const bool has3D = record->has3DDevice != 0;
  stdInput_DisplayHook(has3D ? 0 : 1);

  if (!calls.displayOpen(device)) {
    kv_Log_Printf("[voskdemo] - display device %d could not be opened", device);
    return 0;
  }
  if (!calls.displaySetMode(mode, nullptr, 0)) {
    kv_Log_Printf("[voskdemo] - display mode %d could not be set", mode);
    calls.displayClose();
    return 0;
  }
  state->displayOpen = 1;

  voskdemo_DisplayInfo& info = state->displayInfo[device];
  // A device with 3D devices is opened a second time, once per run, and its
  // mode list taken again.
  if (has3D && !state->reopened) {
    state->reopened = 1;
    const VideoMode remembered = info.modes[mode];
    calls.displayResetMode();
    calls.displayClose();
    state->displayOpen = 0;
    if (!calls.displayOpen(device)) {
      kv_Log_Printf("[voskdemo] - display device %d could not be opened again", device);
      return 0;
    }
    int count = 0;
    VideoMode* modes = CopyOpenModes(&count);
    if (count != info.numModes) {
      kv_Log_Printf("[voskdemo] - display device %d now lists %d modes instead of %d", device,
                    count, info.numModes);
      if (modes) Services()->memFree(modes);
      calls.displayClose();
      return 0;
    }
    if (info.modes) Services()->memFree(info.modes);
    info.modes = modes;
    mode = -1;
    for (int i = 0; i < count && mode < 0; ++i) {
      if (std::memcmp(&modes[i], &remembered, sizeof remembered) == 0) mode = i;
    }
    if (mode < 0 || !calls.displaySetMode(mode, nullptr, 0)) {
      kv_Log_Printf("[voskdemo] - the display mode could not be set again");
      calls.displayClose();
      return 0;
    }
    state->displayOpen = 1;
  }

  const BufferFormat& format = info.modes[mode].format;
  drevMain_SetDisplayColorFormat(&format.format);
  kv_Log_Printf("[voskdemo] - display device %d \"%s\", mode %d: %dx%d at %d bits per pixel",
                device, record->name, mode, format.width, format.height,
                format.format.bitsPerPixel);

  // One cleared frame on the screen, and a cleared buffer behind it.
  calls.fillBuffer(&stdDisplay_frontBuffer, 0, nullptr);
  calls.displayFlip();
  calls.fillBuffer(&stdDisplay_frontBuffer, 0, nullptr);

  BufferFormat zFormat = format;
  zFormat.format.bitsPerPixel = 16;
  state->zBuffer = calls.newBuffer(&zFormat, 0, 0, nullptr);
  if (!state->zBuffer) {
    kv_Log_Printf("[voskdemo] - the z-buffer \"voskdemo_pZBuffer\" could not be created");
    voskdemo_CloseDisplay();
    return 0;
  }
  state->zBuffer->name = "voskdemo_pZBuffer";
  kv_Log_Printf("[voskdemo] - z-buffer \"voskdemo_pZBuffer\" created (%dx%d, 16 bits per pixel)",
                zFormat.width, zFormat.height);
  calls.attachDisplay(&stdDisplay_backBuffer, state->zBuffer);

  stdInput_DisplayHook(0);
  state->windowed = has3D ? 0 : 1;
  return 1;
}

int voskdemo_OpenDisplay(void) {
  voskdemo_State* state = voskdemo_GetState();
  int device = -1, mode = -1, device3D = -1;
  if (!voskdemo_DefaultDisplay(&device, &mode, &device3D) &&
      !voskdemo_ChooseDisplay(&device, &mode, &device3D, state->windowed && state->developer,
                              state->hardware)) {
    kv_Log_Printf("[voskdemo] - no display device and mode to open");
    return 0;
  }
  if (!voskdemo_SetDisplayMode(device, mode)) return 0;
  if (device3D >= 0) {
    voskdemo_DisplayInfo& info = state->displayInfo[device];
    stdDevice3D_SetCurrentDevice(&info.devices3D[device3D]);
    kv_Log_Printf("[voskdemo] - 3D device %d (identity %d) in use", device3D,
                  info.devices3D[device3D].identity);
  }
  return 1;
}
