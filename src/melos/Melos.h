// The music system's state and pause calls used by the engine core.
//
// Not built yet: placeholders that do nothing.
#pragma once

void Melos_SetState(int state);
void Melos_Pause(void);
void Melos_Resume(void);
void Melos_StopAllSounds(void);

// The script interface's calls. Not built yet: the library is not started,
// so each answers -1 (not initialised) or does nothing (each logs once).
int Melos_GroupVolume(int group, int value);
int Melos_SetSequence(int sequence);
void Melos_SetCuePoint(int cue);
int Melos_SetAttribute(int attribute, int value);
void Melos_StartRecording(const char* name, int flag);
void Melos_StopRecording(void);
