// The script interface module's own families of core-table rows, kept in
// their own files; drevLua_Core puts them in the core table by name.
#pragma once

#include <span>

#include "script/runtime/lua31.h"

// SubmitSaveGameData and GetSaveGameData (drevLua_SaveGame.cpp).
std::span<const lua_Reg> drevLua_SaveGameDataRows(void);
