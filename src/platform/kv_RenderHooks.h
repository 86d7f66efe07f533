// Render-hook registry (not built yet: placeholder until the registry lands).
#pragma once

void kv_RenderHooks_FramePhase(int phase);
void kv_RenderHooks_DisplayChanged(void);
