// High-definition movie playback: Theora clips that replace the cutscenes.
//
// Not built yet: this is a placeholder for the queries other modules make.
#pragma once

// 1 while a high-definition movie plays or holds its last frames. Not built
// yet: no such movie ever plays, so it answers 0.
int MovieHD_IsActive(void);
