// Linked into every test, fuzz and benchmark program that links the engine:
// the lower modules' tables of calls start empty, and this fills them with
// the program's functions before main, as the program's main does. A test
// that wants a fake puts it in and restores the program's row afterwards.
#include "app/voskdemo.h"

namespace {

// The tables are plain aggregates with constant initialisers, so they are
// set up before any dynamic initialiser such as this one runs.
const bool gWired = [] {
  voskdemo_InstallCalls();
  return true;
}();

}  // namespace
