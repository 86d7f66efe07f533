// High-definition movie playback: Theora clips that replace the cutscenes.
//
// Not built yet: these are placeholders for the calls other modules make.
// Each logs once that it is not built yet; no high-definition movie ever
// plays, so the cutscene glue always falls back to the classic movie.
#pragma once

// Starts the replacement of a cutscene (its file name with ".snm"); hold
// keeps the last frame on screen at the end. 1 when the high-definition movie
// plays, 0 when the caller must play the classic cutscene. Not built yet:
// answers 0.
int MovieHD_Start(const char* name, int hold);
// One update per engine frame while the movie is active (final 0), and one
// more with final 1 once it is no longer active. Not built yet: does nothing.
void MovieHD_Update(int final);
// Ends the movie and frees everything. Not built yet: does nothing.
void MovieHD_Stop(void);
// 1 while a high-definition movie plays or holds its last frames. Not built
// yet: no such movie ever plays, so it answers 0.
int MovieHD_IsActive(void);
// 1 while the movie has not yet reached its end. Not built yet: answers 0.
int MovieHD_IsRunning(void);
// The clip time of the last update, in seconds (the cutscene glue reports it
// as the movie time). Not built yet: answers 0.
float MovieHD_GetLastClipTime(void);
// Hooks of the cutscene glue. Not built yet: they do nothing (the two
// player hooks answer 1).
void MovieHD_OnStopRequest(void);
int MovieHD_OnCutscenePlayerStart(void);
int MovieHD_OnCutscenePlayerStop(void);
