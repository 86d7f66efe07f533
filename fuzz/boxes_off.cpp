// Linked into every fuzz target of the engine, in the plain driver's build and
// in libFuzzer's: message boxes are switched off before the first input, so a
// reader that reports through a box (an out-of-date save, say) never waits
// for a person, with or without a display.
#include "platform/kv_Platform.h"

namespace {

const bool gBoxesOff = [] {
  kv_Platform_SetMessageBoxesShown(0);
  return true;
}();

}  // namespace
