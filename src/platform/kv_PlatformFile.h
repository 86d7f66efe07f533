// Whole-file writing with its folders, folder creation and the file-exists
// test of the platform layer. Paths may use '\' or '/' and any letter case
// for folders that exist (they go through the general library's path
// resolver, which the program installs below).
#pragma once

#include <cstddef>
#include <string>

// ---- The path resolver -------------------------------------------------------------
// The general library above owns the one resolver that turns data names into
// host paths; the platform reaches it through this table. The table starts
// empty: the program installs its rows (kv_PlatformFile_SetCalls); a test may
// put a fake in a row and go back to the program's rows
// (kv_PlatformFile_ResetCalls).
struct kvPlatformFileCalls {
  // A data name to a host path, for reading and for writing: 1 when every
  // component was found; 0 with the path to create, or with an empty path
  // when the name was refused.
  int (*resolvePath)(const char* name, std::string* hostPath);
  int (*resolveWritePath)(const char* name, std::string* hostPath);
  // The program created, renamed or removed the entry at this host path.
  void (*noteEntryChanged)(const char* hostPath);
};
kvPlatformFileCalls& kv_PlatformFile_Calls(void);
void kv_PlatformFile_SetCalls(const kvPlatformFileCalls* calls);
void kv_PlatformFile_ResetCalls(void);

// The rows, as the platform's files call them. With no resolver installed a
// name resolves to nothing: 0, an empty host path and a log line (so every
// file operation on it fails); nothing is noted.
int kv_PlatformFile_ResolvePath(const char* name, std::string* hostPath);
int kv_PlatformFile_ResolveWritePath(const char* name, std::string* hostPath);
void kv_PlatformFile_NoteEntryChanged(const char* hostPath);

// Writes the whole file: creates the missing folders of the path, writes the
// bytes to a temporary file in the same folder, flushes it to disk and renames
// it over the old file, so a crash or a full disk never loses the old file.
// Temporary files of this name left by an earlier write that was cut short
// are removed first. The path stays inside the game folder.
// Refuses a null data pointer, a size of 0, a null path or a path ending in a
// separator. 1 on success, 0 on failure (the old file is then unchanged).
int kv_Platform_WriteFile(const void* data, size_t size, const char* path);

// The two halves of kv_Platform_WriteFile, for a writer that puts several
// files in place together. The bytes go to "<file>.tmp<token>" beside the
// final name (the same token for every file of one write) and are flushed to
// disk; the file is then renamed over the final name, or discarded.
// Temporary files of writes under way in this program are never taken for
// stale ones (kv_Platform_WriteUnderWay).
struct kv_PendingFile {
  std::string host;  // the final name's host path
  std::string temp;  // the temporary file's host path; empty when none is left
  std::string name;  // the name as given, for log lines
};
// A token of its own for each write.
std::string kv_Platform_NewWriteToken(void);
// 1 when the whole file was written to its temporary file, 0 on failure
// (nothing is left behind then).
int kv_Platform_WritePending(const void* data, size_t size, const char* path,
                             const std::string& token, kv_PendingFile* pending);
// 1 when the temporary file replaced the final one.
int kv_Platform_CommitPending(kv_PendingFile* pending);
// Removes the temporary file.
void kv_Platform_DiscardPending(kv_PendingFile* pending);
// Leaves the temporary file where it is, for a later clean-up to settle.
void kv_Platform_KeepPending(kv_PendingFile* pending);
// True while a write of this program uses the temporary file at this host path.
bool kv_Platform_WriteUnderWay(const std::string& tempHost);
// The temporary name of a file: "<file>.tmp" (the token follows it).
std::string kv_Platform_TemporaryPrefix(const std::string& file);
// Removes the temporary files of a host path that no write of this program
// uses: left behind by a write that was cut short.
void kv_Platform_RemoveStaleTemporaries(const std::string& host);
// Creates every missing folder of the path (the last component included);
// folders that exist are fine. 1 on success, 0 on failure.
int kv_Platform_MakeDirectory(const char* path);
// 1 when the path names a regular file that can be opened with the mode
// (through SDL's file streams).
int kv_Platform_FileExists(const char* path, const char* mode);
