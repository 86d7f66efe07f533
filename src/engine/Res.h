// The resource manager: resource list, references and the file layer.
//
// Not built yet: a placeholder with the one call the engine core makes.
#pragma once

// Frees every resource: those without the locked mark first, then the rest.
void Res_FreeAll(void);
