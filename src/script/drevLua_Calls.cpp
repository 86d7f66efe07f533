// The table of calls out of the script-function families (see
// drevLua_Calls.h); the program installs its rows.
#include "script/drevLua_Calls.h"

#include "std/stdCallTable.h"

namespace {

stdCallTable<drevLuaCalls> g_calls;

}  // namespace

drevLuaCalls& drevLua_Calls(void) {
  return g_calls.live;
}

void drevLua_SetCalls(const drevLuaCalls* calls) {
  g_calls.Install(calls);
}

void drevLua_ResetCalls(void) {
  g_calls.Reset();
}
