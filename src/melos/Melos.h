// The music system's state and pause calls used by the engine core.
//
// Not built yet: placeholders that do nothing.
#pragma once

void Melos_SetState(int state);
void Melos_Pause(void);
void Melos_Resume(void);
void Melos_StopAllSounds(void);
// A parameter of a sound by id (0x100: above 0 while it plays). Not built
// yet: answers 0, so nothing plays (logs once).
int Melos_GetParam(int sound, int parameter);
