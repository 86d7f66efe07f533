// Things: the 3D library's drawable instances (models, cameras, lights,
// sprites).
//
// Not built yet: only the calls the sets make are declared, and they are
// placeholders. qxThing_New answers null (and logs once), so a set's setups
// have no view thing; setting a camera and freeing do nothing.
#pragma once

#include <cstdint>

struct qxThing;
struct qxCamera;

qxThing* qxThing_New(int32_t owner);
int qxThing_SetCamera(qxThing* thing, qxCamera* camera);
void qxThing_Free(qxThing* thing);
