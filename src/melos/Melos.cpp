// The music system. Not built yet (placeholder): no music plays.
#include "melos/Melos.h"

void Melos_SetState(int) {}
void Melos_Pause(void) {}
void Melos_Resume(void) {}
void Melos_StopAllSounds(void) {}
