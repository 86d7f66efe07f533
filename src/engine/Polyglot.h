// The localised text table: turns "/KEY/fallback" into the current
// language's text for KEY.
//
// The table file "vosk.<lang>.tab" is read whole from the current directory
// (never from an archive). It may be stored scrambled: a file that begins
// with "RCNE" holds a body whose bytes are XORed with kPolyglotScrambleKey.
// The body is lines of KEY<TAB>text ending in CRLF or LF; lines starting with
// '#' are comments, empty lines are skipped; keys compare without regard to
// case.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

constexpr uint8_t kPolyglotScrambleKey = 0x5A;

int Polyglot_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// Loads a table from the current directory, replacing the loaded one. A file
// that does not open leaves the module unchanged. 1 when loaded.
int Polyglot_LoadTable(const char* fileName);
// Null answers null; text without the slash form answers itself; a missing
// key answers the fallback; a key with an empty text answers the input.
const char* Polyglot_Translate(const char* text);
// Frees the table (the module's shutdown operation).
void Polyglot_Shutdown(void);
int Polyglot_GetCount(void);
