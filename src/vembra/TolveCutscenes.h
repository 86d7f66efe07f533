// The game's table of cutscenes, read from "cutscenes.txt" in the game
// folder: one row per cutscene file, giving whether a saved game that was in
// it resumes it, and the end time that the high-definition movie playback
// stops at. Lines:
//   <file name> <resume|noresume> <end time in ms, or ->
// '#' starts a comment line. At most 48 rows; names compare exactly (letter
// case matters). Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kTolveCutsceneRows = 48;
constexpr uint32_t kTolveNoEndTime = 0xFFFFFFFFu;

struct TolveCutscene {
  char name[256];
  bool noResume;
  uint32_t endTime;  // kTolveNoEndTime when none is given
};

// Replaces the table by the rows of a text; logs and skips bad lines. The
// number of rows read.
int TolveCutscenes_Parse(const char* text, size_t size);
// Reads "cutscenes.txt" through the services record's files (a missing file
// gives an empty table). The number of rows read.
int TolveCutscenes_Load(void);
// The row of a cutscene, or null. Loads the file on first use.
const TolveCutscene* TolveCutscenes_Find(const char* name);
int TolveCutscenes_IsNonResumable(const char* name);
uint32_t TolveCutscenes_GetEndTime(const char* name);
