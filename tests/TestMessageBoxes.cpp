// Linked into every test program of the engine (not the chore library's):
// message boxes are switched off before any test runs, so a box that a test
// does not answer itself never waits for a person, with or without a display.
#include "platform/kv_Platform.h"

namespace {

const bool gBoxesOff = [] {
  kv_Platform_SetMessageBoxesShown(0);
  return true;
}();

}  // namespace
