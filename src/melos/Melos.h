// The music system's state and pause calls used by the engine core.
//
// Not built yet: placeholders that do nothing.
#pragma once

void Melos_SetState(int state);
void Melos_Pause(void);
void Melos_Resume(void);
void Melos_StopAllSounds(void);
