// Sprites.
// Placeholder: not built yet (the 3D library's sprites build this module);
// only the software back end's sprite operation is declared here.
#pragma once

struct qxThing;
struct qxMatrix34;

// Queues a sprite's quadrilateral; 1 queued, 0 not drawn.
int qxSprite_Draw(qxThing* thing, const qxMatrix34* placement);
