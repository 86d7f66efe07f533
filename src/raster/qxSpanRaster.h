// The scan-line span rasterizer. Not built yet: it draws nothing.
#pragma once

void qxSpanRaster_ResetStats(void);
void qxSpanRaster_Reset(void);
void qxSpanRaster_Run(void);
