// Directory searches, directory and file removal, file-name helpers, the
// resolver that turns data names into host paths, and the engine's
// file-search module (at the end).
//
// Names that come from data files and scripts use the backslash as separator
// (a slash works too) and any letter case, as they did on a case-insensitive
// file system. Every operation here that touches the disk first passes its
// name through stdFileUtil_ResolvePath; the stdFileName helpers only take
// names apart and put them together and never touch the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "std/stdModule.h"

// Room for a name in a search result (the name without its directory).
constexpr int kFileNameSize = 260;
// Room for a search pattern (directory and wildcard part).
constexpr int kFindPatternSize = 4096;

// The directory attribute reported in FileSearchResult::isDirectory.
constexpr int32_t kFileAttributeDirectory = 0x10;

// One step's answer of a directory search; owned by the caller.
struct FileSearchResult {
  char name[kFileNameSize];  // the entry's name without its directory
  int32_t isDirectory;       // kFileAttributeDirectory for a directory, 0 for a file
  uint32_t writeTime;        // low word of the last-write time (100 ns units since 1601)
};

// One directory search, made by stdFileUtil_NewFind and freed by
// stdFileUtil_DisposeFind (memory of the services record).
//   mode 0: path + "\*.*", every entry
//   mode 1: path + "\*.*", files only
//   mode 2: path + "\*.*", directories only
//   mode 3: path + "\" + pattern when the pattern holds a dot, else path + "\*." + pattern
//   mode 4: the pattern alone (the path is ignored)
//   above 4: the path alone
struct FileSearch {
  int32_t reserved0;
  int32_t reserved1;  // cleared by stdFileUtil_ResetFind
  void* findHandle;   // the open directory; null before the first step
  int32_t mode;
  int32_t patternTooLong;          // the pattern did not fit: the search finds nothing
  char pattern[kFindPatternSize];  // the pattern as built from path, mode and pattern
  char lastName[kFileNameSize];    // the last name found
};

FileSearch* stdFileUtil_NewFind(const char* path, int mode, const char* pattern);
// 1 when an entry was found and written to the result, 0 when none is left
// (or the search is null, or it could not start).
int stdFileUtil_FindNext(FileSearch* search, FileSearchResult* result);
void stdFileUtil_DisposeFind(FileSearch* search);
// Closes the directory when one was opened; the search starts again at the next step.
void stdFileUtil_ResetFind(FileSearch* search);
int stdFileUtil_FindFirstMatch(const char* path, int mode, const char* pattern,
                               FileSearchResult* result);
int stdFileUtil_CountMatches(const char* path, int mode, const char* pattern);

// Non-zero on success.
int stdFileUtil_MakeDir(const char* path);
// 1 when at least one entry matches the path or pattern, else 0; no search stays open.
int stdFileUtil_FileExists(const char* path);
int stdFileUtil_RemoveDir(const char* path);
int stdFileUtil_DeleteFile(const char* path);
// Deletes a directory with everything below it; symbolic links are removed,
// never followed. Non-zero when everything was deleted.
int stdFileUtil_DeleteTree(const char* path);

// Windows wildcard match without regard to letter case: '*' any run, '?' one
// character, "*.*" every name, a pattern ending in ".*" also matches the name
// without an extension, a pattern ending in '.' matches names without a dot.
bool stdFileUtil_MatchPattern(const char* pattern, const char* name);

// --- Path resolver ---------------------------------------------------------
//
// Turns a data name (separators '\' or '/', any letter case) into a host path:
// the name is split on both separators and each component is matched against
// the directory's entries without regard to case (exact spelling preferred).
// Directory listings are cached; a miss reads the folder once more before it
// fails. A name that starts with a separator or with a drive letter and a
// colon resolves from the game folder, never from the file-system root; a
// name that starts with the game folder's own absolute path is taken as
// relative to it.
//
// A name that starts with the absolute path of an extra search root (the
// player's -p folder, stdFileUtil_AddSearchRoot) resolves below that root;
// every other absolute name resolves from the game folder.
//
// A name never leads out of the search roots. A ".." takes back the
// component before it; one that would climb above the folder the name is
// looked up in is refused. So is a name whose real path (symbolic links
// followed) lies outside the game folder and the extra roots, and a name that
// passes through a link pointing at nothing. A refused name answers 0 with an
// empty hostPath, and a log line says so.
//
// Returns 1 when every component was found. Otherwise returns 0 and hostPath
// holds the components that were found followed by the rest as given (joined
// with '/'), which is the path to use for creating a new entry.
int stdFileUtil_ResolvePath(const char* name, std::string* hostPath);
// The same for a name that is to be written, created or removed: only the
// game folder counts as a root (an absolute name inside an extra root resolves
// from the game folder like any other).
int stdFileUtil_ResolveWritePath(const char* name, std::string* hostPath);

// The folder that names resolve from ("" = the current directory, the default).
void stdFileUtil_SetGameFolder(const char* hostFolder);

// Adds a folder outside the game folder whose files may be read (the -p data
// folder). The folder is the player's own host path: relative to the current
// directory unless absolute, each component matched without regard to case.
// Returns the folder's absolute host path as matched, or "" when it is no
// folder (nothing is added then).
std::string stdFileUtil_AddSearchRoot(const char* hostFolder);
// Forgets every extra root.
void stdFileUtil_ClearSearchRoots(void);

// Tells the resolver that the program created, renamed or removed the entry at
// this host path: the cached listing of the folder holding it (and its own,
// when it is a folder) is dropped.
void stdFileUtil_NoteEntryChanged(const char* hostPath);
// Drops every cached listing.
void stdFileUtil_ForgetAllFolders(void);

// --- File names (backslash separators) ---------------------------------------
//
// Sizes count the terminator; every copy is bounded by the size given and
// always terminated when the size is above 0.

// Just after the last backslash, or the path itself.
const char* stdFileName_GetFileName(const char* path);
// Just after the last dot of the file-name part; null when that part has none.
const char* stdFileName_GetExtension(const char* path);
// 0 when the path has an extension (or the addition does not fit: the path is
// unchanged); else appends "." and the extension and returns 1.
int stdFileName_AddDefaultExtension(char* path, size_t size, const char* extension);
// Replaces the extension (or adds one). Returns 1, or 0 with the path unchanged
// when the result would not fit.
int stdFileName_ChangeExtension(char* path, size_t size, const char* extension);
// Cuts the path at the dot of its extension; returns where the extension was, or null.
char* stdFileName_StripExtension(char* path);
// Cuts the extension's text but keeps the dot; returns its position, or null.
char* stdFileName_ClearExtension(char* path);
// Keeps the part after the last colon and the last backslash, cut at its last dot.
void stdFileName_MakeBaseName(char* path);
int stdFileName_CopyExtension(char* destination, size_t size, const char* path);
void stdFileName_CopyFileName(char* destination, size_t size, const char* path);
void stdFileName_CopyDirectory(char* destination, size_t size, const char* path);
void stdFileName_CopyBaseName(char* destination, size_t size, const char* path);
void stdFileName_AppendPath(char* destination, const char* part, size_t size);
void stdFileName_JoinPath(char* destination, size_t size, const char* first, const char* second);
void stdFileName_JoinPath3(char* destination, size_t size, const char* first, const char* second,
                           const char* third);

// ---- The file-search module -------------------------------------------------

// The file-search module of the engine's module table: lists a host directory
// as it is given (not through the resolver) for the resource file layer,
// which indexes the data directories with it.

struct FileUtilFind;

constexpr uint32_t kFileUtilDirectoryFlag = 0x10;

// One result of a search.
struct FileUtilFindResult {
  char name[260];
  uint32_t attributes;  // kFileUtilDirectoryFlag for a directory, else 0
  uint32_t timeLow;     // low 32 bits of the last-write time (seconds)
};

// Search modes: 0 to 2 list every entry ("*.*"), 3 lists the entries whose
// extension matches (without regard to case); other modes find nothing.
constexpr int kFileUtilFindAll = 0;
constexpr int kFileUtilFindExtension = 3;

int FileUtil_SysInitialize(HostServices* services, ModuleDescriptor* descriptor);
// The directory path may end with '/' or '\' or neither; the extension may
// carry its leading dot. Null when the record cannot be allocated.
FileUtilFind* FileUtil_NewFind(const char* directory, int mode, const char* extension);
// 1 with the next entry in the result, 0 when there are no more (or the
// directory cannot be read).
int FileUtil_FindNext(FileUtilFind* find, FileUtilFindResult* result);
// The next FindNext starts over.
void FileUtil_ResetFind(FileUtilFind* find);
void FileUtil_DisposeFind(FileUtilFind* find);
