// The shadow script functions of the core table (registered by drevLua_Core).
#pragma once

void drevLua_ActorShadow();
void drevLua_ActivateActorShadow();
void drevLua_SetActorShadowPlane();
void drevLua_SetActorShadowPoint();
void drevLua_SetActiveShadow();
void drevLua_ActorDistToShadowPlane();
void drevLua_AddShadowPlane();
void drevLua_SetActorShadowValid();
void drevLua_KillActorShadows();
void drevLua_SetShadowColor();
