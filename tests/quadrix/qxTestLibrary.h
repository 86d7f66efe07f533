// Starts the 3D library once per test program with a services record that
// outlives every test (the library keeps the first record it is given).
#pragma once

#include "quadrix/qxCore.h"
#include "std/std.h"

inline HostServices* qxTest_StartLibrary() {
  static HostServices hs;
  static bool started = false;
  if (!started) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    qxCore_Startup(&hs);
    qxCore_Open(0);
    started = true;
  }
  return &hs;
}
