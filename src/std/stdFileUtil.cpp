#include "std/stdFileUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/kv_Log.h"
#include "std/std.h"

namespace {

// --- Path resolver -----------------------------------------------------------

// The entries of one folder, by exact name and by lower-cased name, and
// which of them are symbolic links.
struct Listing {
  std::unordered_set<std::string> exact;
  std::unordered_map<std::string, std::string> folded;  // lower-case -> name as on disk
  std::unordered_set<std::string> links;
};

// A data directory holds a few hundred folders at most; past this many cached
// listings the cache starts again rather than grow without end.
constexpr size_t kMaxCachedFolders = 1024;

std::mutex g_resolverMutex;
std::unordered_map<std::string, Listing> g_listings;  // host folder path ("" = current) -> listing
std::string g_gameFolder;                             // "" = the current directory
std::vector<std::string> g_extraRoots;                // real absolute paths of the extra roots
// The real path of the game folder, kept for the absolute path it was found for.
std::string g_gameFolderAbsolute;
std::string g_gameFolderReal;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out = folder;
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

// Reads a folder's entries. False when the folder cannot be opened.
bool ReadListing(const std::string& folder, Listing* listing) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  listing->exact.clear();
  listing->folded.clear();
  listing->links.clear();
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    listing->exact.insert(name);
    struct stat st;
    if (entry->d_type == DT_LNK ||
        (entry->d_type == DT_UNKNOWN &&
         fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))) {
      listing->links.insert(name);
    }
    // Of several names that differ only in case, keep the smallest one, so
    // the choice does not depend on the order of the directory.
    auto [it, inserted] = listing->folded.emplace(Lower(name), name);
    if (!inserted && name < it->second) it->second = name;
  }
  closedir(dir);
  return true;
}

bool FindIn(const Listing& listing, const std::string& component, std::string* actual,
            bool* link) {
  if (listing.exact.count(component)) {
    *actual = component;
  } else {
    const auto it = listing.folded.find(Lower(component));
    if (it == listing.folded.end()) return false;
    *actual = it->second;
  }
  *link = listing.links.count(*actual) != 0;
  return true;
}

// Finds a component in a folder through the cache; a miss reads the folder
// once more before it fails, so entries made by other programs are found.
// link tells whether the entry found is a symbolic link.
bool LookUp(const std::string& folder, const std::string& component, std::string* actual,
            bool* link) {
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  auto it = g_listings.find(folder);
  if (it != g_listings.end() && FindIn(it->second, component, actual, link)) return true;
  Listing fresh;
  if (!ReadListing(folder, &fresh)) {
    if (it != g_listings.end()) g_listings.erase(it);
    return false;
  }
  const bool found = FindIn(fresh, component, actual, link);
  if (g_listings.size() >= kMaxCachedFolders && it == g_listings.end()) g_listings.clear();
  g_listings[folder] = std::move(fresh);
  return found;
}

// Calls visit for each component of text from pos on ('/' separators),
// leaving out empty ones and "."; visit answers false to stop the walk.
template <typename Visit>
void ForEachComponent(const std::string& text, size_t pos, Visit visit) {
  while (pos <= text.size()) {
    size_t end = text.find('/', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view part(text.data() + pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (!visit(part)) return;
  }
}

// Matches the components of a name (from pos on, '/' separators) folder by
// folder from the game folder. The folders looked into are listed; throughLink
// tells whether a component found is a symbolic link.
bool Walk(const std::string& text, size_t pos, const std::string& gameFolder, std::string* out,
          std::vector<std::string>* folders, bool* throughLink) {
  std::string current = gameFolder;
  folders->clear();
  *throughLink = false;
  bool found = true;
  ForEachComponent(text, pos, [&](std::string_view part) {
    const std::string component(part);
    std::string actual;
    bool link = false;
    if (found) folders->push_back(current);
    if (found && LookUp(current, component, &actual, &link)) {
      *throughLink = *throughLink || link;
      current = Join(current, actual);
    } else {
      found = false;
      current = Join(current, component);
    }
    return true;
  });
  *out = current;
  return found;
}

// The components of text from pos on with "." and empty ones left out and
// each ".." taking back the component before it. False when a ".." would
// climb above the first component: the folder the name is looked up in.
bool ContainedComponents(const std::string& text, size_t pos, std::string* out) {
  std::vector<std::string_view> parts;
  bool contained = true;
  ForEachComponent(text, pos, [&](std::string_view part) {
    if (part != "..") {
      parts.push_back(part);
    } else if (parts.empty()) {
      contained = false;
    } else {
      parts.pop_back();
    }
    return contained;
  });
  if (!contained) return false;
  out->clear();
  for (const std::string_view part : parts) {
    if (!out->empty()) *out += '/';
    *out += part;
  }
  return true;
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// The game folder as an absolute path without a trailing separator.
std::string GameFolderAbsolute(const std::string& gameFolder) {
  std::string absolute;
  if (!gameFolder.empty() && gameFolder[0] == '/') {
    absolute = gameFolder;
  } else {
    absolute = CurrentDirectory();
    if (absolute.empty()) return absolute;
    if (!gameFolder.empty()) absolute = Join(absolute, gameFolder);
  }
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  return absolute;
}

// Whether a real (canonical) path lies in the real folder root or below it.
bool InsideFolder(const std::string& real, const std::string& root) {
  if (root.empty() || real.compare(0, root.size(), root) != 0) return false;
  return real.size() == root.size() || root == "/" || real[root.size()] == '/';
}

// A path that starts with the folder's absolute path (letter case as given).
bool StartsWithFolder(const std::string& text, const std::string& folder) {
  return folder.size() > 1 && text.compare(0, folder.size(), folder) == 0 &&
         (text.size() == folder.size() || text[folder.size()] == '/');
}

// The real path of a host path or, when it does not exist yet, of the nearest
// folder above it that does (the rest is to be created there). False when the
// path passes through a link that points at nothing (or at a loop).
bool RealPathOf(const std::string& host, std::string* real) {
  std::string path = host.empty() ? std::string(".") : host;
  for (;;) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
      char buffer[PATH_MAX];
      if (!realpath(path.c_str(), buffer)) return false;
      *real = buffer;
      return true;
    }
    if (path == "." || path == "/") return false;
    const size_t slash = path.rfind('/');
    path = slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : path.substr(0, slash);
  }
}

// The real path of the game folder ("" when it cannot be found).
std::string GameFolderReal(const std::string& gameFolder) {
  const std::string absolute = GameFolderAbsolute(gameFolder);
  if (absolute.empty()) return absolute;
  {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    if (absolute == g_gameFolderAbsolute) return g_gameFolderReal;
  }
  char buffer[PATH_MAX];
  const std::string real = realpath(absolute.c_str(), buffer) ? std::string(buffer) : std::string();
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  g_gameFolderAbsolute = absolute;
  g_gameFolderReal = real;
  return real;
}

// Whether a host path stays inside the game folder or one of the extra roots
// once its links are followed.
bool StaysInside(const std::string& host, const std::string& gameFolder,
                 const std::vector<std::string>& extraRoots) {
  std::string real;
  if (!RealPathOf(host, &real)) return false;
  if (InsideFolder(real, GameFolderReal(gameFolder))) return true;
  for (const std::string& root : extraRoots) {
    if (InsideFolder(real, root)) return true;
  }
  return false;
}

// Matches each component of an absolute host path from the file-system root
// without regard to case (exact spelling first); from the first component
// that is missing on, the rest is kept as given.
std::string MatchFromRoot(const std::string& path) {
  std::string current;
  bool found = true;
  ForEachComponent(path, 1, [&](std::string_view part) {
    std::string next = current + "/" + std::string(part);
    struct stat st;
    if (found && part != ".." && lstat(next.c_str(), &st) != 0) {
      found = false;
      if (DIR* dir = opendir(current.empty() ? "/" : current.c_str())) {
        while (const dirent* entry = readdir(dir)) {
          if (strncasecmp(entry->d_name, part.data(), part.size()) == 0 &&
              entry->d_name[part.size()] == '\0') {
            next = current + "/" + entry->d_name;
            found = true;
            break;
          }
        }
        closedir(dir);
      }
    }
    current = next;
    return true;
  });
  return current.empty() ? std::string("/") : current;
}

// The resolver; writing = only the game folder counts as a root.
int Resolve(const char* name, std::string* hostPath, bool writing) {
  if (!hostPath) return 0;
  hostPath->clear();
  if (!name) return 0;
  std::string text(name);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  std::string gameFolder;
  std::vector<std::string> extraRoots;
  {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    gameFolder = g_gameFolder;
    if (!writing) extraRoots = g_extraRoots;
  }

  std::string base = gameFolder;  // the folder the name is looked up in
  size_t pos = 0;
  if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') {
    pos = 2;  // a drive letter: the game folder stands for the drive
  } else if (!text.empty() && text[0] == '/') {
    const std::string absolute = GameFolderAbsolute(gameFolder);
    if (StartsWithFolder(text, absolute)) {
      pos = absolute.size();
    } else {
      for (const std::string& root : extraRoots) {
        if (StartsWithFolder(text, root)) {
          base = root;
          pos = root.size();
          break;
        }
      }
    }
  }

  // A data name never leads out of the folder it is looked up in.
  std::string contained;
  if (!ContainedComponents(text, pos, &contained)) {
    kv_Log_Printf("[File] - %s leads out of the game folder: refused", name);
    return 0;
  }
  std::vector<std::string> folders;
  std::string current;
  bool throughLink = false;
  bool found = Walk(contained, 0, base, &current, &folders, &throughLink);
  struct stat st;
  bool exists = found && lstat(current.empty() ? "." : current.c_str(), &st) == 0;
  if (found && !exists) {
    // A cached listing named an entry that is gone (removed or renamed by
    // someone else): read the folders along the path again, once.
    {
      std::lock_guard<std::mutex> lock(g_resolverMutex);
      for (const std::string& folder : folders) g_listings.erase(folder);
    }
    found = Walk(contained, 0, base, &current, &folders, &throughLink);
    exists = found && lstat(current.empty() ? "." : current.c_str(), &st) == 0;
  }
  // Nor through a link that points elsewhere. Without a link on the way (the
  // listings say which entries are links; the last one is looked at afresh)
  // the name cannot leave the folder it is looked up in.
  if (exists && S_ISLNK(st.st_mode)) throughLink = true;
  if (throughLink && !StaysInside(current, gameFolder, extraRoots)) {
    kv_Log_Printf("[File] - %s leads out of the game folder: refused", name);
    return 0;
  }
  *hostPath = current.empty() ? std::string(".") : current;
  return found ? 1 : 0;
}

// The cache key of a host path: the form the resolver builds (no "./", no
// doubled or trailing separators). False when the path cannot be mapped onto
// the keys (the caller then forgets every listing).
bool KeyOf(std::string path, std::string* key) {
  if (path.find("..") != std::string::npos) return false;
  std::string gameFolder;
  {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    gameFolder = g_gameFolder;
  }
  if (!path.empty() && path[0] == '/' && (gameFolder.empty() || gameFolder[0] != '/')) {
    // An absolute path under the current directory maps onto relative keys.
    std::string cwd = CurrentDirectory();
    if (cwd.empty() || path.compare(0, cwd.size(), cwd) != 0 ||
        (path.size() > cwd.size() && path[cwd.size()] != '/')) {
      return false;
    }
    path = path.substr(cwd.size());
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
  }
  std::string out;
  bool absolute = !path.empty() && path[0] == '/';
  ForEachComponent(path, 0, [&](std::string_view part) {
    if (!out.empty() || absolute) out += '/';
    out += part;
    absolute = false;
    return true;
  });
  *key = out;
  return true;
}

// --- Searches ------------------------------------------------------------------

void* const kInvalidFind = reinterpret_cast<void*>(static_cast<intptr_t>(-1));

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Windows FILETIME (100 ns units since 1601), low word.
uint32_t WriteTimeOf(const struct stat& st) {
  constexpr uint64_t kEpochDifference = 11644473600ull;  // seconds from 1601 to 1970
  const uint64_t ticks =
      (static_cast<uint64_t>(st.st_mtim.tv_sec) + kEpochDifference) * 10000000ull +
      static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
  return static_cast<uint32_t>(ticks);
}

const char* WildcardPart(const char* pattern) {
  const char* part = pattern;
  for (const char* p = pattern; *p; ++p) {
    if (IsSeparator(*p)) part = p + 1;
  }
  return part;
}

// Glob match with '*' and '?' without regard to ASCII case.
bool Glob(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Deletes a folder's contents and the folder; symbolic links are removed as
// entries and never followed.
int DeleteTreeHost(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return 0;
  }
  bool ok = true;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string child = Join(folder, name);
    struct stat st;
    if (lstat(child.c_str(), &st) != 0) {
      ok = false;
      break;
    }
    if (S_ISDIR(st.st_mode) ? !DeleteTreeHost(child) : unlink(child.c_str()) != 0) {
      ok = false;
      break;
    }
  }
  closedir(dir);
  stdFileUtil_NoteEntryChanged(Join(folder, "x").c_str());
  if (!ok) return 0;
  const int removed = rmdir(folder.c_str()) == 0;
  stdFileUtil_NoteEntryChanged(folder.c_str());
  return removed;
}

}  // namespace

// --- Path resolver -----------------------------------------------------------

int stdFileUtil_ResolvePath(const char* name, std::string* hostPath) {
  return Resolve(name, hostPath, false);
}

int stdFileUtil_ResolveWritePath(const char* name, std::string* hostPath) {
  return Resolve(name, hostPath, true);
}

void stdFileUtil_SetGameFolder(const char* hostFolder) {
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  g_gameFolder = hostFolder ? hostFolder : "";
  while (g_gameFolder.size() > 1 && g_gameFolder.back() == '/') g_gameFolder.pop_back();
  g_listings.clear();
  g_gameFolderAbsolute.clear();
}

std::string stdFileUtil_AddSearchRoot(const char* hostFolder) {
  if (!hostFolder || !*hostFolder) return std::string();
  std::string path(hostFolder);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path[0] != '/') path = CurrentDirectory() + "/" + path;
  const std::string matched = MatchFromRoot(path);
  char buffer[PATH_MAX];
  struct stat st;
  if (!realpath(matched.c_str(), buffer) || stat(buffer, &st) != 0 || !S_ISDIR(st.st_mode)) {
    return std::string();
  }
  const std::string real = buffer;
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  if (std::find(g_extraRoots.begin(), g_extraRoots.end(), real) == g_extraRoots.end()) {
    g_extraRoots.push_back(real);
  }
  return real;
}

void stdFileUtil_ClearSearchRoots(void) {
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  g_extraRoots.clear();
}

void stdFileUtil_NoteEntryChanged(const char* hostPath) {
  if (!hostPath) return;
  std::string key;
  if (!KeyOf(hostPath, &key)) {
    stdFileUtil_ForgetAllFolders();
    return;
  }
  const size_t slash = key.rfind('/');
  const std::string parent =
      slash == std::string::npos ? std::string() : key.substr(0, slash == 0 ? 1 : slash);
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  g_listings.erase(parent);
  g_listings.erase(key);
}

void stdFileUtil_ForgetAllFolders(void) {
  std::lock_guard<std::mutex> lock(g_resolverMutex);
  g_listings.clear();
  g_gameFolderAbsolute.clear();
}

// --- Searches ------------------------------------------------------------------

bool stdFileUtil_MatchPattern(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  const std::string_view p(pattern);
  const std::string_view n(name);
  if (p == "*" || p == "*.*") return true;
  if (p.size() >= 2 && p.substr(p.size() - 2) == ".*") {
    return Glob(p, n) || Glob(p.substr(0, p.size() - 2), n);
  }
  if (!p.empty() && p.back() == '.') {
    return n.find('.') == std::string_view::npos && Glob(p.substr(0, p.size() - 1), n);
  }
  return Glob(p, n);
}

FileSearch* stdFileUtil_NewFind(const char* path, int mode, const char* pattern) {
  auto* search =
      static_cast<FileSearch*>(std_pHS->memAlloc(sizeof(FileSearch), __FILE__, __LINE__));
  if (!search) return nullptr;
  std::memset(search, 0, sizeof *search);
  search->mode = mode;
  const std::string folder = path ? path : "";
  const std::string wanted = pattern ? pattern : "";
  std::string built;
  switch (mode) {
    case 0:
    case 1:
    case 2:
      built = folder + "\\*.*";
      break;
    case 3:
      built =
          wanted.find('.') != std::string::npos ? folder + "\\" + wanted : folder + "\\*." + wanted;
      break;
    case 4:
      built = wanted;
      break;
    default:
      built = folder;
      break;
  }
  if (built.size() >= sizeof search->pattern) {
    search->patternTooLong = 1;
  } else {
    std::memcpy(search->pattern, built.c_str(), built.size() + 1);
  }
  return search;
}

int stdFileUtil_FindNext(FileSearch* search, FileSearchResult* result) {
  if (!search || !result) return 0;
  if (!search->findHandle) {
    // Start the search: resolve the folder part of the pattern and open it.
    search->findHandle = kInvalidFind;
    if (search->patternTooLong) return 0;
    const char* wildcard = WildcardPart(search->pattern);
    const std::string folderName(search->pattern, wildcard - search->pattern);
    std::string folder;
    if (!stdFileUtil_ResolvePath(folderName.c_str(), &folder)) return 0;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    search->findHandle = dir;
  }
  if (search->findHandle == kInvalidFind) return 0;
  DIR* dir = static_cast<DIR*>(search->findHandle);
  const char* wildcard = WildcardPart(search->pattern);
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strlen(name) >= sizeof result->name) continue;
    if (!stdFileUtil_MatchPattern(wildcard, name)) continue;
    struct stat st;
    if (fstatat(dirfd(dir), name, &st, 0) != 0 &&
        fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // vanished meanwhile
    }
    const int32_t isDirectory = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : 0;
    if (search->mode == 1 && isDirectory) continue;
    if (search->mode == 2 && !isDirectory) continue;
    std::strcpy(result->name, name);
    std::strcpy(search->lastName, name);
    result->isDirectory = isDirectory;
    result->writeTime = WriteTimeOf(st);
    return 1;
  }
  return 0;
}

void stdFileUtil_ResetFind(FileSearch* search) {
  if (!search) return;
  if (search->findHandle && search->findHandle != kInvalidFind) {
    closedir(static_cast<DIR*>(search->findHandle));
  }
  search->findHandle = nullptr;
  search->reserved1 = 0;
}

void stdFileUtil_DisposeFind(FileSearch* search) {
  if (!search) return;
  stdFileUtil_ResetFind(search);
  std_pHS->memFree(search);
}

int stdFileUtil_FindFirstMatch(const char* path, int mode, const char* pattern,
                               FileSearchResult* result) {
  FileSearch* search = stdFileUtil_NewFind(path, mode, pattern);
  if (!search) return 0;
  const int found = stdFileUtil_FindNext(search, result);
  stdFileUtil_DisposeFind(search);
  return found;
}

int stdFileUtil_CountMatches(const char* path, int mode, const char* pattern) {
  FileSearch* search = stdFileUtil_NewFind(path, mode, pattern);
  if (!search) return 0;
  FileSearchResult result;
  int count = 0;
  while (stdFileUtil_FindNext(search, &result)) ++count;
  stdFileUtil_DisposeFind(search);
  return count;
}

int stdFileUtil_FileExists(const char* path) {
  if (!path) return 0;
  FileSearchResult result;
  return stdFileUtil_FindFirstMatch(path, 4, path, &result);
}

// --- Directories and files -----------------------------------------------------

int stdFileUtil_MakeDir(const char* path) {
  if (!path || !*path) return 0;
  std::string host;
  stdFileUtil_ResolveWritePath(path, &host);
  const int made = mkdir(host.c_str(), 0777) == 0;
  if (made) stdFileUtil_NoteEntryChanged(host.c_str());
  return made;
}

int stdFileUtil_RemoveDir(const char* path) {
  if (!path) return 0;
  std::string host;
  if (!stdFileUtil_ResolveWritePath(path, &host)) return 0;
  const int removed = rmdir(host.c_str()) == 0;
  if (removed) stdFileUtil_NoteEntryChanged(host.c_str());
  return removed;
}

int stdFileUtil_DeleteFile(const char* path) {
  if (!path) return 0;
  std::string host;
  if (!stdFileUtil_ResolveWritePath(path, &host)) return 0;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  const int removed = unlink(host.c_str()) == 0;
  if (removed) stdFileUtil_NoteEntryChanged(host.c_str());
  return removed;
}

int stdFileUtil_DeleteTree(const char* path) {
  if (!path) return 0;
  std::string host;
  if (!stdFileUtil_ResolveWritePath(path, &host)) return 0;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return 0;
  if (S_ISLNK(st.st_mode)) {
    // A link in place of the folder: remove the link, never what it points at.
    const int removed = unlink(host.c_str()) == 0;
    if (removed) stdFileUtil_NoteEntryChanged(host.c_str());
    return removed;
  }
  if (!S_ISDIR(st.st_mode)) return 0;
  return DeleteTreeHost(host);
}
