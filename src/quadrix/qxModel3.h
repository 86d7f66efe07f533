// Models: drawing.
// Placeholder: not built yet (the 3D library's model drawing builds this
// module); only the software back end's mesh operation is declared here.
#pragma once

struct qxModel3Mesh;
struct qxMatrix34;

// Transforms, lights and queues one mesh's faces when emit is non-zero.
void qxModel3_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* nodeMatrix, int emit);
