// The settings registry (registry.sav).
// Not built yet: only the reads the window and the front end make. With no
// settings loaded every read answers as for a missing setting.
#pragma once

void kv_Registry_Load(void);
int kv_Registry_ReadString(const char* name, char* destination, int size);
int kv_Registry_ReadInt(const char* name, int defaultValue);
float kv_Registry_ReadFloat(const char* name, float defaultValue);
void kv_Registry_Shutdown(void);
