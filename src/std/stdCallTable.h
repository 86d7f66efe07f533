// A module's table of calls to the modules above it. It starts empty: the
// program installs its rows at start-up (the module's X_SetCalls), and a test
// may put a fake in a row and go back to the program's rows (X_ResetCalls).
#pragma once

template <class Calls>
struct stdCallTable {
  Calls live{};       // the rows the module calls through
  Calls installed{};  // the rows the program installed

  void Install(const Calls* calls) {
    installed = calls ? *calls : Calls{};
    live = installed;
  }
  void Reset() { live = installed; }
};
