// Shared helpers of the walk-plane sources (sectors, frames, paths, shrinking).
#pragma once

#include "quadrix/qxVector.h"

// A coordinate by axis index: 0 x, 1 y, 2 z.
float Walk_Axis(const qxVector3& v, int axis);
void Walk_SetAxis(qxVector3& v, int axis, float value);
// The slot of the current sector list, -1 none.
int Walk_CurrentSlot(void);
// Recounts the vertex database entries in use.
void Walk_RecountVertices(void);
// A sector list gained or lost a sector: a vertex cache built from it is dropped.
void Walk_ListChanged(int slot);
