// Placeholder: not built yet (the 3D library's model drawing builds this
// module). Meshes are not drawn by the software path until it lands.
#include "quadrix/qxModel3.h"

void qxModel3_DrawMesh(qxModel3Mesh* /*mesh*/, const qxMatrix34* /*nodeMatrix*/, int /*emit*/) {}
