// The director's commentary: recorded commentary tracks that the scripts
// select by name.
//
// The definitions come from "commentary_def.txt" (at most 250 entries, each
// with up to 25 subtitle lines), kept sorted by name. Playing an entry starts
// its sound, lowers three music groups (and a high-definition movie's sound)
// while it plays, shows a darkening strip at the top of the screen and the
// subtitles as text objects timed against the sound's position, two laid-out
// lines at a time. Which entries the player has heard is saved with the game
// (the "COMS" block). Group A module; main thread only.
//
// commentary_def.txt, read through the configuration reader (comments,
// empty lines and case dropped), one definition after another:
//   name                  first word; 32 significant characters
//   sound                 first word
//   count                 number of subtitle lines, 0 to 25
//   colour key start end  count times: colour index 0..14, text key, start
//                         and end in milliseconds of the sound's position
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "melos/Sounds.h"

struct TextObject;
struct TextLayout;

constexpr int kCommentaryMaxEntries = 250;
constexpr int kCommentaryMaxLines = 25;
constexpr int kCommentaryNameLength = 32;  // significant characters of a name
constexpr int kCommentaryWordLength = 31;  // characters of a sound name or text key
constexpr int kCommentaryColorCount = 15;
constexpr int kCommentaryKeptLineCounts = 20;

struct CommentaryLine {
  char text[kCommentaryWordLength + 1];  // text key, shown through the translation
  int32_t colour;                        // index into the subtitle colours
  int32_t start, end;                    // milliseconds of the sound's position
  TextObject* textObject;                // the shown subtitle, or none
};

struct CommentaryEntry {
  char name[kCommentaryNameLength + 1];
  char sound[kCommentaryWordLength + 1];
  int32_t lineCount;
  int32_t index;  // position after sorting: the heard bit and the selection value
  CommentaryLine lines[kCommentaryMaxLines];
};

// ---- Module ----------------------------------------------------------------------

int drevCommentary_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevCommentary_Uninitialize(void);
// Registers the seven script functions and forgets what was heard.
int drevCommentary_Startup(void);
// Forgets the subtitles' text objects (the text module frees them).
void drevCommentary_Shutdown(void);
// The "COMS" block: selected index (i32) and the 256 heard bits (8 x u32),
// little-endian. 0 on success, 1 when the transfer fails (nothing changes).
int drevCommentary_Save(SaveTransferFn write);
int drevCommentary_Restore(SaveTransferFn read);

// Reads "commentary_def.txt" in place of the table it had: 0, or -1 when
// the file does not open (the table is then empty).
int drevCommentary_LoadDefinitions(void);
// The per-frame step: subtitles follow the sound; the end of the sound ends
// the commentary.
void drevCommentary_Update(void);

// The script functions' operations.
// Selects the entry of that name (any case, 32 significant characters); -1
// when there is none.
void drevCommentary_Select(const char* name);
// Starts the selected entry, or stops the one playing.
void drevCommentary_TogglePlay(void);
// Stops everything: sound, subtitles, strip, ducking; tells the scripts.
void drevCommentary_StopImmediately(void);

// ---- State for tests and the scripts ---------------------------------------------

int drevCommentary_GetEntryCount(void);
const CommentaryEntry* drevCommentary_GetEntry(int index);
// Index of the entry with that name (32 significant characters, compared as
// given), -1 when none.
int drevCommentary_Find(const char* name);
int drevCommentary_GetSelected(void);
int drevCommentary_GetPlaying(void);
int drevCommentary_IsPlaying(void);
int drevCommentary_HasHeard(int index);

// ---- Calls out of the module -----------------------------------------------------
//
// The music host, the movie player, the text module, the hardware
// renderer's text cache, the overlays and the scripts, reached through one
// table. It starts empty and the program installs their functions
// (drevCommentary_SetCalls); tests put fakes in place and go back to the
// program's rows with drevCommentary_ResetCalls.
struct drevCommentaryCalls {
  int (*startSound)(SoundName name, int priority, int group);  // id, above 0 when started
  int (*stopSound)(SoundName name);
  int (*soundParam)(SoundName name, int parameter);
  int (*groupVolume)(int group, int value);  // value -1 reads
  int (*movieActive)(void);
  void (*setMovieDucking)(int on);
  const char* (*translate)(const char* text, char* idBuffer);
  TextObject* (*createText)(const TextLayout* layoutTemplate, const char* text);
  TextObject* (*registerText)(TextObject* object, int timeLeft, uint32_t state);
  void (*destroyText)(TextObject* object);
  uint32_t (*lineCount)(TextObject* object);
  uint32_t (*lineValues)(TextObject* object, int32_t* counts, uint32_t max);
  // The strip overlay: created with its image at (0, 0) in mode 2 and sized
  // to width x height; its id, or -1.
  int (*createStrip)(const char* image, int layer, int width, int height);
  void (*destroyOverlay)(int id);
  void (*notifyScripts)(int playing);
  int (*readSetting)(const char* name, int defaultValue);
};
drevCommentaryCalls& drevCommentary_Calls(void);
void drevCommentary_SetCalls(const drevCommentaryCalls* calls);
void drevCommentary_ResetCalls(void);
