// The resource manager's file layer: packs (directories and LABN archives),
// the 128 file slots and the file operations installed into the services
// record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Res.h"
#include "platform/kv_Log.h"
#include "platform/stdByteOrder.h"
#include "std/stdFileUtil.h"

namespace {

constexpr uint32_t kPackDirectory = 1;
constexpr uint32_t kPackArchive = 2;
constexpr uint32_t kLabnMaxVersion = 65536;

// An open archive file. Each window holds a reference, so an archive that the
// packs give up stays readable until its last window is closed.
struct LabArchive {
  int fd;
  std::atomic<int> refs;
};

void ArchiveRelease(LabArchive* archive) {
  if (archive && archive->refs.fetch_sub(1) == 1) {
    ::close(archive->fd);
    delete archive;
  }
}

struct PackEntry {
  uint32_t hash;
  uint32_t nameOffset;   // upper-cased name in the pack's name block
  std::string hostName;  // directory entries: the name as it is on disk
  uint32_t fourth;
  uint32_t offset;
  uint32_t size;
};

}  // namespace

struct ResourcePack {
  ResourcePack* next;
  ResourcePack* prev;
  std::string path;  // host path; a directory's ends with '/' (or is empty)
  uint32_t kind;
  LabArchive* archive;
  uint64_t archiveSize;
  std::vector<char> names;  // upper-cased names, each terminated
  std::vector<PackEntry> entries;
  std::map<std::string_view, uint32_t> index;  // archives: name -> entry (later wins)

  const char* NameOf(const PackEntry& e) const { return names.data() + e.nameOffset; }
};

namespace {

struct FileSlot {
  stdFile_t handle;  // platform file of a real file; 1 for a window; 0 = free
  LabArchive* archive;
  int64_t position;  // window: read position inside the entry
  int64_t entrySize;
  int64_t entryStart;
  int index;     // first unread byte in the buffer
  int buffered;  // unread bytes from the index on
  int eof;
  int realFile;
  int isPrivate;
  char mode[8];
  uint8_t buffer[kResFileBufferSize];
};

FileSlot gSlots[kResMaxOpenFiles + 1];
std::mutex gSlotLocks[kResMaxOpenFiles + 1];
std::mutex gTableLock;

HostServices gPlatformCopy;
HostServices* gPlatform = nullptr;  // the platform file operations

ResourcePack* gPackHead = nullptr;

struct RecentHit {
  ResourcePack* pack;
  uint32_t entry;
};
// Any thread's open records its hit; the manager reads the ring on the main thread.
std::mutex gRecentLock;
RecentHit gRecent[16];
int gRecentIndex = 0;

HostServices* Platform() {
  return gPlatform ? gPlatform : std_pHS;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(const char* name) {
  std::string s(name);
  for (char& c : s) c = AsciiUpper(c);
  return s;
}

bool HasSeparator(const char* name) {
  return std::strchr(name, '\\') || std::strchr(name, '/');
}

// The host path for a name that the packs do not serve: separators '\' or
// '/', any letter case, through the path resolver, which keeps every name
// inside the search roots ("" when it refuses the name). Names to be written
// stay inside the game folder. An absolute name answers an absolute path.
std::string HostPathFor(const char* name, bool writing = false) {
  std::string host;
  if (writing) {
    stdFileUtil_ResolveWritePath(name, &host);
  } else {
    stdFileUtil_ResolvePath(name, &host);
  }
  if (!host.empty() && host[0] != '/' && (name[0] == '/' || name[0] == '\\')) {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) host = host == "." ? std::string(cwd) : cwd + ("/" + host);
  }
  return host;
}

// Data is read from regular files only: a pipe, a device or a folder would
// block the reader or never end.
bool ReadableAsData(const std::string& host, const char* name) {
  struct stat st;
  if (::stat(host.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
  kv_Log_Printf("[Res] - %s is not a regular file: refused", name);
  return false;
}

// A pack path as stored: '/' separators; a directory's ends with '/'.
std::string NormalisePackPath(const char* path, bool directory) {
  std::string s(path ? path : "");
  for (char& c : s)
    if (c == '\\') c = '/';
  if (directory && !s.empty() && s.back() != '/') s += '/';
  return s;
}

void Link(ResourcePack* pack) {
  pack->prev = nullptr;
  pack->next = gPackHead;
  if (gPackHead) gPackHead->prev = pack;
  gPackHead = pack;
}

void Unlink(ResourcePack* pack) {
  if (pack->prev) pack->prev->next = pack->next;
  if (pack->next) pack->next->prev = pack->prev;
  if (gPackHead == pack) gPackHead = pack->next;
  pack->next = pack->prev = nullptr;
}

struct Hit {
  ResourcePack* pack;
  uint32_t entry;
};

// Walks the packs from the head; the first that holds the name wins.
bool Lookup(const char* name, bool directoriesOnly, Hit* hit) {
  const std::string upper = Upper(name);
  const uint32_t hash = Res_NameHash(upper.c_str());
  for (ResourcePack* pack = gPackHead; pack; pack = pack->next) {
    if (pack->kind == kPackArchive) {
      if (directoriesOnly) continue;
      const auto it = pack->index.find(upper);
      if (it == pack->index.end()) continue;
      *hit = {pack, it->second};
    } else {
      bool found = false;
      for (uint32_t i = 0; i < pack->entries.size(); ++i) {
        const PackEntry& e = pack->entries[i];
        if (e.hash == hash && upper == pack->NameOf(e)) {
          *hit = {pack, i};
          found = true;
          break;
        }
      }
      if (!found) continue;
    }
    std::lock_guard<std::mutex> lock(gRecentLock);
    gRecent[gRecentIndex] = {hit->pack, hit->entry};
    gRecentIndex = (gRecentIndex + 1) % 16;
    return true;
  }
  return false;
}

std::string DirectoryEntryPath(const ResourcePack* pack, const PackEntry& e) {
  return pack->path + e.hostName;
}

// Slot access: the slot's lock unless the slot is private.
class SlotGuard {
 public:
  explicit SlotGuard(int n) : lock_(gSlots[n].isPrivate ? nullptr : &gSlotLocks[n]) {
    if (lock_) lock_->lock();
  }
  ~SlotGuard() {
    if (lock_) lock_->unlock();
  }
  SlotGuard(const SlotGuard&) = delete;
  SlotGuard& operator=(const SlotGuard&) = delete;

 private:
  std::mutex* lock_;
};

// The slot number of a handle. 0 is "no file" and behaves like a free slot;
// anything above 128 is a programmer error.
int SlotOf(stdFile_t file) {
  STD_ASSERT(file >= 0 && file <= kResMaxOpenFiles && "(int)fh > 0 && (int)fh <= MAX_OPEN_FILES");
  return static_cast<int>(file);
}

size_t ReadAt(LabArchive* archive, void* out, size_t count, int64_t offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(archive->fd, static_cast<uint8_t*>(out) + done, count - done,
                              static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// Moves the unread bytes to the front and fills the rest from the entry.
void Refill(FileSlot& s) {
  if (s.index > 0 && s.buffered > 0) std::memmove(s.buffer, s.buffer + s.index, s.buffered);
  s.index = 0;
  const int64_t at = s.position + s.buffered;
  if (at >= 0 && at < s.entrySize) {
    const int64_t want = std::min<int64_t>(s.entrySize - at, kResFileBufferSize - s.buffered);
    s.buffered += static_cast<int>(
        ReadAt(s.archive, s.buffer + s.buffered, static_cast<size_t>(want), s.entryStart + at));
  }
}

size_t WindowRead(FileSlot& s, uint8_t* out, size_t count) {
  s.eof = s.position >= s.entrySize ? 1 : 0;
  if (count < static_cast<size_t>(kResFileBufferSize) && static_cast<size_t>(s.buffered) < count) {
    Refill(s);
  }
  if (static_cast<size_t>(s.buffered) >= count) {
    std::memcpy(out, s.buffer + s.index, count);
    s.index += static_cast<int>(count);
    s.buffered -= static_cast<int>(count);
    s.position += static_cast<int64_t>(count);
    return count;
  }
  size_t copied = static_cast<size_t>(s.buffered);
  if (copied) std::memcpy(out, s.buffer + s.index, copied);
  s.position += static_cast<int64_t>(copied);
  s.index = 0;
  s.buffered = 0;
  if (s.position >= 0 && s.position < s.entrySize) {
    const size_t want = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(count - copied), s.entrySize - s.position));
    const size_t n = ReadAt(s.archive, out + copied, want, s.entryStart + s.position);
    s.position += static_cast<int64_t>(n);
    copied += n;
  }
  return copied;
}

// One line; CR, LF and CR LF each end a line and come back as one LF.
char* WindowGets(FileSlot& s, char* buffer, int size) {
  if (s.buffered < size) Refill(s);
  int n = 0;
  bool ended = false;
  auto consume = [&s] {
    s.index++;
    s.buffered--;
    s.position++;
  };
  while (n < size - 1) {
    if (s.buffered == 0) {
      Refill(s);
      if (s.buffered == 0) break;
    }
    const char c = static_cast<char>(s.buffer[s.index]);
    if (c == '\n' || c == '\r') {
      consume();
      if (c == '\r') {
        if (s.buffered == 0) Refill(s);
        if (s.buffered > 0 && s.buffer[s.index] == '\n') consume();
      }
      buffer[n++] = '\n';
      ended = true;
      break;
    }
    buffer[n++] = c;
    consume();
  }
  buffer[n] = 0;
  if (!ended && n == 0 && s.position >= s.entrySize) {
    s.eof = 1;
    return nullptr;
  }
  s.eof = 0;
  return buffer;
}

ResourcePack* NewPack(uint32_t kind, std::string path) {
  auto* pack = new ResourcePack{};
  pack->kind = kind;
  pack->path = std::move(path);
  return pack;
}

void FreePack(ResourcePack* pack) {
  ArchiveRelease(pack->archive);
  delete pack;
}

bool Refuse(const char* path, const char* why) {
  kv_Log_Printf("[Res] - Archive %s refused: %s", path, why);
  return false;
}

// Reads and checks the header, entries and name table of an open archive.
bool ReadLabn(ResourcePack* pack, const char* path) {
  LabArchive* archive = pack->archive;
  const uint64_t fileSize = pack->archiveSize;
  uint8_t header[16];
  if (ReadAt(archive, header, sizeof header, 0) != sizeof header)
    return Refuse(path, "short header");
  if (std::memcmp(header, "LABN", 4) != 0) return Refuse(path, "not a LABN archive");
  const uint32_t version = stdLE_GetU32(header + 4);
  const uint64_t count = stdLE_GetU32(header + 8);
  const uint64_t namesSize = stdLE_GetU32(header + 12);
  if (version > kLabnMaxVersion) return Refuse(path, "unknown version");
  if (16 + 16 * count + namesSize > fileSize) return Refuse(path, "tables run past the end");
  std::vector<uint8_t> table(16 * count);
  if (ReadAt(archive, table.data(), table.size(), 16) != table.size()) {
    return Refuse(path, "short entry table");
  }
  pack->names.resize(namesSize);
  if (ReadAt(archive, pack->names.data(), namesSize, 16 + 16 * count) != namesSize) {
    return Refuse(path, "short name table");
  }
  // Every name must end inside the table: its final byte is a terminator.
  if (count > 0 && (namesSize == 0 || pack->names.back() != 0)) {
    return Refuse(path, "name table not terminated");
  }
  for (char& c : pack->names) c = AsciiUpper(c);
  pack->entries.resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* raw = table.data() + 16 * i;
    PackEntry& e = pack->entries[i];
    e.nameOffset = stdLE_GetU32(raw);
    e.offset = stdLE_GetU32(raw + 4);
    e.size = stdLE_GetU32(raw + 8);
    e.fourth = stdLE_GetU32(raw + 12);
    if (e.nameOffset >= namesSize) return Refuse(path, "name offset outside the name table");
    if (static_cast<uint64_t>(e.offset) + e.size > fileSize) {
      return Refuse(path, "entry data outside the archive");
    }
    const char* name = pack->NameOf(e);
    e.hash = Res_NameHash(name);
    pack->index.insert_or_assign(std::string_view(name), static_cast<uint32_t>(i));
  }
  return true;
}

ResourcePack* OpenLabn(const char* path) {
  const std::string host = HostPathFor(path);
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    kv_Log_Printf("[Res] - Archive %s could not be opened", path);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    Refuse(path, "not a file");
    return nullptr;
  }
  ResourcePack* pack = NewPack(kPackArchive, NormalisePackPath(path, false));
  pack->archive = new LabArchive{fd, {1}};
  pack->archiveSize = static_cast<uint64_t>(st.st_size);
  if (!ReadLabn(pack, path)) {
    FreePack(pack);
    return nullptr;
  }
  Link(pack);
  return pack;
}

ResourcePack* OpenDirectory(const char* path) {
  std::string dir = NormalisePackPath(path, true);
  FileUtilFind* find = FileUtil_NewFind(dir.empty() ? "." : dir.c_str(), kFileUtilFindAll, nullptr);
  if (!find) return nullptr;
  std::vector<std::string> files;
  FileUtilFindResult result;
  while (FileUtil_FindNext(find, &result)) {
    if (result.attributes & kFileUtilDirectoryFlag) continue;
    files.emplace_back(result.name);
  }
  FileUtil_DisposeFind(find);
  if (files.empty()) return nullptr;
  ResourcePack* pack = NewPack(kPackDirectory, dir);
  size_t total = 0;
  for (const std::string& f : files) total += f.size() + 1;
  pack->names.reserve(total);
  pack->entries.resize(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    PackEntry& e = pack->entries[i];
    e.nameOffset = static_cast<uint32_t>(pack->names.size());
    for (char c : files[i]) pack->names.push_back(AsciiUpper(c));
    pack->names.push_back(0);
    e.hostName = files[i];
  }
  for (PackEntry& e : pack->entries) e.hash = Res_NameHash(pack->NameOf(e));
  Link(pack);
  return pack;
}

}  // namespace

uint32_t Res_NameHash(const char* name) {
  const uint32_t length = static_cast<uint32_t>(std::strlen(name));
  uint32_t h = length | length << 8 | length << 16 | length << 24;
  for (const char* p = name; *p; ++p) {
    const int8_t c = static_cast<int8_t>(AsciiUpper(*p));
    h = ((h << 1) | (h >> 31)) ^ static_cast<uint32_t>(static_cast<int32_t>(c));
  }
  return h;
}

void Res_FileLayerInitialize(HostServices* services) {
  gPlatform = services;
}

void Res_FileLayerShutdown(void) {
  // While the operations are installed somewhere the copy stays in use.
  if (gPlatform != &gPlatformCopy) gPlatform = nullptr;
}

void Res_InstallFileServices(HostServices* services) {
  if (services->fileOpen != Res_FileOpen) gPlatformCopy = *services;
  gPlatform = &gPlatformCopy;
  services->fileOpen = Res_FileOpen;
  services->fileClose = Res_FileClose;
  services->fileRead = Res_FileRead;
  services->fileGets = Res_FileGets;
  services->fileWrite = Res_FileWrite;
  services->fileEof = Res_FileEof;
  services->fileTell = Res_FileTell;
  services->fileSeek = Res_FileSeek;
  services->fileSize = Res_FileSizeByName;
  services->filePrintf = Res_FilePrintf;
  services->fileSetPrivate = Res_FileSetPrivate;
  // Handles are slot numbers now, which the platform's wide line reader
  // cannot take: the layer serves it too.
  services->fileGetws = Res_FileGetws;
}

void Res_RestoreFileServices(HostServices* services) {
  if (services->fileOpen != Res_FileOpen) return;  // not installed
  services->fileOpen = gPlatformCopy.fileOpen;
  services->fileClose = gPlatformCopy.fileClose;
  services->fileRead = gPlatformCopy.fileRead;
  services->fileGets = gPlatformCopy.fileGets;
  services->fileWrite = gPlatformCopy.fileWrite;
  services->fileEof = gPlatformCopy.fileEof;
  services->fileTell = gPlatformCopy.fileTell;
  services->fileSeek = gPlatformCopy.fileSeek;
  services->fileSize = gPlatformCopy.fileSize;
  services->filePrintf = gPlatformCopy.filePrintf;
  services->fileGetws = gPlatformCopy.fileGetws;
  gPlatform = services;
}

stdFile_t Res_FileOpen(const char* name, const char* mode) {
  if (!name || !mode) return 0;
  std::lock_guard<std::mutex> table(gTableLock);
  int n = 1;
  while (n <= kResMaxOpenFiles && gSlots[n].handle) ++n;
  if (n > kResMaxOpenFiles) return 0;
  FileSlot& s = gSlots[n];
  std::lock_guard<std::mutex> slot(gSlotLocks[n]);
  std::memset(&s, 0, offsetof(FileSlot, buffer));
  std::snprintf(s.mode, sizeof s.mode, "%s", mode);
  const bool reading = mode[0] == 'r' || mode[0] == 'R';
  std::string host;
  Hit hit;
  if (reading && !HasSeparator(name) && Lookup(name, false, &hit)) {
    const PackEntry& e = hit.pack->entries[hit.entry];
    if (hit.pack->kind == kPackArchive) {
      s.archive = hit.pack->archive;
      s.archive->refs.fetch_add(1);
      s.entrySize = e.size;
      s.entryStart = e.offset;
      s.handle = 1;
      return n;
    }
    // The directory's entry goes through the resolver as well: a link in a
    // data folder never leads out of the search roots.
    host = HostPathFor(DirectoryEntryPath(hit.pack, e).c_str());
  } else {
    host = HostPathFor(name, !reading);
  }
  if (host.empty() || (reading && !ReadableAsData(host, name))) return 0;
  const stdFile_t file = Platform()->fileOpen(host.c_str(), mode);
  if (!file) return 0;
  s.handle = file;
  s.realFile = 1;
  if (!reading) stdFileUtil_NoteEntryChanged(host.c_str());
  return n;
}

int Res_FileClose(stdFile_t file) {
  const int n = SlotOf(file);
  std::lock_guard<std::mutex> table(gTableLock);
  if (n == 0 || !gSlots[n].handle) return 1;
  std::lock_guard<std::mutex> slot(gSlotLocks[n]);
  FileSlot& s = gSlots[n];
  if (s.realFile) {
    Platform()->fileClose(s.handle);
  } else {
    ArchiveRelease(s.archive);
  }
  std::memset(&s, 0, offsetof(FileSlot, buffer));
  return 0;
}

size_t Res_FileRead(stdFile_t file, void* buffer, size_t count) {
  const int n = SlotOf(file);
  if (n == 0 || !buffer) return 0;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle) return 0;
  if (s.realFile) return Platform()->fileRead(s.handle, buffer, count);
  return WindowRead(s, static_cast<uint8_t*>(buffer), count);
}

char* Res_FileGets(stdFile_t file, char* buffer, int size) {
  const int n = SlotOf(file);
  if (n == 0 || !buffer || size <= 0) return nullptr;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle) return nullptr;
  if (size == 1) {
    buffer[0] = 0;
    return buffer;
  }
  if (s.realFile) return Platform()->fileGets(s.handle, buffer, size);
  return WindowGets(s, buffer, size);
}

size_t Res_FileWrite(stdFile_t file, const void* data, size_t count) {
  const int n = SlotOf(file);
  if (n == 0) return 0;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle || !s.realFile) return 0;
  return Platform()->fileWrite(s.handle, data, count);
}

int Res_FileEof(stdFile_t file) {
  const int n = SlotOf(file);
  if (n == 0) return 1;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle) return 1;
  return s.realFile ? Platform()->fileEof(s.handle) : s.eof;
}

int64_t Res_FileTell(stdFile_t file) {
  const int n = SlotOf(file);
  if (n == 0) return -1;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle) return -1;
  return s.realFile ? Platform()->fileTell(s.handle) : s.position;
}

int Res_FileSeek(stdFile_t file, int64_t offset, int origin) {
  const int n = SlotOf(file);
  if (n == 0) return 1;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle) return 1;
  if (s.realFile) return Platform()->fileSeek(s.handle, offset, origin);
  int64_t target;
  switch (origin) {
    case 0:
      target = offset;
      break;
    case 1:
      target = s.position + offset;
      break;
    case 2:
      target = s.entrySize + offset;
      break;
    default:
      return 1;
  }
  // A position before the entry would read another entry's bytes.
  if (target < 0) return 1;
  const int64_t delta = target - s.position;
  if (delta >= -s.index && delta <= s.buffered) {
    s.index += static_cast<int>(delta);
    s.buffered -= static_cast<int>(delta);
  } else {
    s.index = 0;
    s.buffered = 0;
  }
  s.position = target;
  s.eof = 0;
  return 0;
}

int64_t Res_FileSizeByName(const char* name) {
  if (!name) return 0;
  Hit hit;
  std::string host;
  if (!HasSeparator(name) && Lookup(name, false, &hit)) {
    const PackEntry& e = hit.pack->entries[hit.entry];
    if (hit.pack->kind == kPackArchive) return e.size;
    host = HostPathFor(DirectoryEntryPath(hit.pack, e).c_str());
  } else {
    host = HostPathFor(name);
  }
  if (host.empty() || !ReadableAsData(host, name)) return 0;
  return Platform()->fileSize(host.c_str());
}

int Res_FilePrintf(stdFile_t file, const char* format, ...) {
  const int n = SlotOf(file);
  if (n == 0 || !format) return 0;
  char text[1024];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle || !s.realFile || length < 0) return 0;
  const size_t count = std::min<size_t>(static_cast<size_t>(length), sizeof text - 1);
  return static_cast<int>(Platform()->fileWrite(s.handle, text, count));
}

char16_t* Res_FileGetws(stdFile_t file, char16_t* buffer, int size) {
  const int n = SlotOf(file);
  if (n == 0 || !buffer || size <= 0) return nullptr;
  SlotGuard guard(n);
  FileSlot& s = gSlots[n];
  if (!s.handle) return nullptr;
  if (s.realFile) {
    return Platform()->fileGetws ? Platform()->fileGetws(s.handle, buffer, size) : nullptr;
  }
  return stdLE_ReadUtf16Line(buffer, size,
                             [&s](uint8_t* pair) { return WindowRead(s, pair, 2) == 2; });
}

int Res_FileSetPrivate(stdFile_t file) {
  const int n = SlotOf(file);
  if (n == 0) return 0;
  std::lock_guard<std::mutex> slot(gSlotLocks[n]);
  gSlots[n].isPrivate = 1;
  return 0;
}

ResourcePack* Res_OpenPack(const char* path) {
  if (!path) return nullptr;
  const size_t length = std::strlen(path);
  if (length == 0 || path[length - 1] == '\\' || path[length - 1] == '/') {
    return OpenDirectory(path);
  }
  return OpenLabn(path);
}

void Res_MovePackToFront(const char* path) {
  const std::string dirKey = NormalisePackPath(path, true);
  const std::string fileKey = NormalisePackPath(path, false);
  for (ResourcePack* pack = gPackHead; pack; pack = pack->next) {
    const std::string& key = pack->kind == kPackDirectory ? dirKey : fileKey;
    if (pack->path == key) {
      Unlink(pack);
      Link(pack);
      return;
    }
  }
}

void Res_ClosePacks(void) {
  while (ResourcePack* pack = gPackHead) {
    Res_SettlePack(pack);
    Unlink(pack);
    FreePack(pack);
  }
  std::lock_guard<std::mutex> lock(gRecentLock);
  std::memset(gRecent, 0, sizeof gRecent);
  gRecentIndex = 0;
}

int Res_FindLooseFile(const char* name, char* pathOut, int size) {
  if (!name || !pathOut || size <= 0) return 0;
  Hit hit;
  if (!Lookup(name, true, &hit)) return 0;
  const std::string path =
      HostPathFor(DirectoryEntryPath(hit.pack, hit.pack->entries[hit.entry]).c_str());
  if (path.empty()) return 0;
  std::snprintf(pathOut, static_cast<size_t>(size), "%s", path.c_str());
  return 1;
}

const char* Res_PackPath(const ResourcePack* pack) {
  return pack ? pack->path.c_str() : nullptr;
}

int Res_PackCount(void) {
  int count = 0;
  for (ResourcePack* pack = gPackHead; pack; pack = pack->next) ++count;
  return count;
}

const char* Res_PackPathAt(int index) {
  ResourcePack* pack = gPackHead;
  for (; pack && index > 0; --index) pack = pack->next;
  return pack && index == 0 ? pack->path.c_str() : nullptr;
}

int Res_FindRecentHit(const char* upperName, ResourcePack** pack, const char** packName,
                      uint32_t* hash) {
  std::lock_guard<std::mutex> lock(gRecentLock);
  for (int i = 1; i <= 16; ++i) {
    const RecentHit& hit = gRecent[(gRecentIndex - i + 16) % 16];
    if (!hit.pack) continue;
    const PackEntry& e = hit.pack->entries[hit.entry];
    if (std::strcmp(hit.pack->NameOf(e), upperName) == 0) {
      *pack = hit.pack;
      *packName = hit.pack->NameOf(e);
      *hash = e.hash;
      return 1;
    }
  }
  return 0;
}
