// The program log "Vosk.log": opened only when the command line holds "-log";
// once open, every line is appended (the file is opened and closed per line,
// so the log survives a crash up to its last line) and echoed to stdout.
#pragma once

#include <ctime>

// Returns 1 when the log was opened now, 0 when it was already open or
// opening failed.
int kv_Log_Open(const char* name);
// Appends one line when the log is open; does nothing otherwise.
void kv_Log_Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int kv_Log_IsOpen(void);
// The log's first line for a local time: "Log started: %i/%02i/%02i @ %02i:%02i:%02i".
void kv_Log_FormatStartLine(const struct tm* local, char* buffer, int size);
// Forgets the open log (tests only): the next kv_Log_Open starts afresh.
void kv_Log_ResetForTest(void);
