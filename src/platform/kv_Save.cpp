#include "platform/kv_Save.h"

#include <SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_PlatformFile.h"
#include "platform/stdByteOrder.h"

namespace {

constexpr char kGameStateName[] = "vosk.gsv";
constexpr char kMetaName[] = "meta.gsv";
constexpr char kRegistryName[] = "registry.sav";
constexpr char kSupportAddress[] = "support@voskquorvale.example";

std::mutex g_directoryMutex;
std::string g_writeDirectory = "Saves/";

std::atomic<kv_Save_MessageBoxFunction> g_messageBox{nullptr};

// A settings file or save folder that is there but cannot be read is logged
// when the problem starts (or changes), not on every read: each holds the
// error last logged, 0 while reading works or the thing is simply absent.
std::atomic<int> g_settingsReadError{0};
std::atomic<int> g_folderReadError{0};

void NoteReadProblem(std::atomic<int>& last, int error, const char* what, const std::string& name) {
  if (error == 0) {
    last.store(0);
  } else if (last.exchange(error) != error) {
    kv_Log_Printf("[Save] - cannot read %s %s: %s", what, name.c_str(), std::strerror(error));
  }
}
std::atomic<int> g_exitRequested{0};

// "savedata%04u": the list reads four digits at most.
constexpr uint32_t kSaveMaxSlot = 9999;

bool SlotInRange(uint32_t slot) {
  if (slot <= kSaveMaxSlot) return true;
  kv_Log_Printf("[Save] - slot %d is outside 0 to %u: refused", static_cast<int32_t>(slot),
                kSaveMaxSlot);
  return false;
}

// The lock that keeps a second program out of the write directory.
std::mutex g_lockMutex;
int g_lockFd = -1;  // the locked folder, open

std::string SlotFolderName(uint32_t slot) {
  char name[32];
  std::snprintf(name, sizeof name, "savedata%04u", slot);
  return name;
}

// The host path of one of our names (the folder may exist in another case).
std::string Host(const std::string& name) {
  std::string host;
  kv_PlatformFile_ResolvePath(name.c_str(), &host);
  return host;
}

// Reads exactly size bytes; false on a short read or an error.
bool ReadAll(int fd, void* buffer, size_t size) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t got = read(fd, p, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

// The host path of one of our names to be written.
std::string WriteHost(const std::string& name) {
  std::string host;
  kv_PlatformFile_ResolveWritePath(name.c_str(), &host);
  return host;
}

// Settles what a save that was cut short left in a slot folder. A save
// writes the game state and the metadata to temporary files of one token,
// then renames the game state, then the metadata. So a metadata file whose
// game state has no temporary file left belongs to the game state in place,
// and is put in place too; every other temporary file goes. Temporary files
// of a write still under way in this program are left alone.
void SettleSlotFolder(const std::string& folderName) {
  const std::string stateHost = WriteHost(folderName + "/" + kGameStateName);
  const size_t slash = stateHost.rfind('/');
  if (slash == std::string::npos) return;
  const std::string folder = stateHost.substr(0, slash + 1);  // with its '/'
  const std::string statePrefix = std::string(kGameStateName) + ".tmp";
  const std::string metaPrefix = std::string(kMetaName) + ".tmp";
  std::map<std::string, std::string> states;                      // token -> host path
  std::vector<std::pair<struct timespec, std::string>> metas;  // written, token
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const bool state = name.rfind(statePrefix, 0) == 0;
    if (!state && name.rfind(metaPrefix, 0) != 0) continue;
    const std::string host = folder + name;
    if (kv_Platform_WriteUnderWay(host)) continue;
    const std::string token = name.substr((state ? statePrefix : metaPrefix).size());
    struct stat st;
    if (state) {
      states[token] = host;
    } else if (lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               st.st_size == kSaveMetaSize) {
      metas.emplace_back(st.st_mtim, token);
    } else {
      unlink(host.c_str());
    }
  }
  closedir(dir);
  // Oldest first: the last one put in place is the newest.
  std::sort(metas.begin(), metas.end(), [](const auto& a, const auto& b) {
    return a.first.tv_sec != b.first.tv_sec ? a.first.tv_sec < b.first.tv_sec
                                            : a.first.tv_nsec < b.first.tv_nsec;
  });
  for (const auto& [written, token] : metas) {
    const std::string meta = folder + metaPrefix + token;
    const auto state = states.find(token);
    if (state != states.end()) {
      // Its game state never reached its place: the save did not happen.
      unlink(meta.c_str());
    } else if (rename(meta.c_str(), (folder + kMetaName).c_str()) == 0) {
      kv_Log_Printf("[Save] - %s: the metadata of a save that was cut short put in place",
                    folderName.c_str());
    }
  }
  for (const auto& [token, host] : states) {
    unlink(host.c_str());
    kv_Log_Printf("[Save] - removed %s, left by a save that was cut short", host.c_str());
  }
  kv_PlatformFile_NoteEntryChanged((folder + kMetaName).c_str());
}

// "savedata" followed by one to four digits and nothing else.
bool ParseSlotName(const char* name, uint32_t* slot) {
  if (std::strncmp(name, "savedata", 8) != 0) return false;
  const char* digits = name + 8;
  uint32_t value = 0;
  int count = 0;
  for (; digits[count]; ++count) {
    if (count == 4 || digits[count] < '0' || digits[count] > '9') return false;
    value = value * 10 + static_cast<uint32_t>(digits[count] - '0');
  }
  if (count == 0) return false;
  *slot = value;
  return true;
}

// The platform's message box over the game window (the window of the main
// thread's OpenGL context).
int PlatformMessageBox(const char* text, const char* title, int buttonCount,
                       const char* const* labels, int defaultIndex) {
  return kv_Platform_ShowMessageBox(SDL_GL_GetCurrentWindow(), text, title, buttonCount, labels,
                                    defaultIndex, 1);
}

}  // namespace

// --- Paths ---------------------------------------------------------------------

void kv_Save_InitWriteDirectory(void) {
  std::string directory;
  {
    std::lock_guard<std::mutex> lock(g_directoryMutex);
    g_writeDirectory = "Saves/";
    directory = g_writeDirectory;
  }
  kv_Log_Printf("Write directory: %s", directory.c_str());
}

std::string kv_Save_GetWriteDirectory(void) {
  std::lock_guard<std::mutex> lock(g_directoryMutex);
  return g_writeDirectory;
}

std::string kv_Save_GetSlotFolder(uint32_t slot) {
  return kv_Save_GetWriteDirectory() + SlotFolderName(slot);
}

std::string kv_Save_GetGameStatePath(uint32_t slot) {
  return kv_Save_GetSlotFolder(slot) + "/" + kGameStateName;
}

std::string kv_Save_GetMetaPath(uint32_t slot) {
  return kv_Save_GetSlotFolder(slot) + "/" + kMetaName;
}

std::string kv_Save_GetRegistryPath(void) {
  return kv_Save_GetWriteDirectory() + kRegistryName;
}

// --- Slots -----------------------------------------------------------------------

int kv_Save_WriteSlot(uint32_t slot, const void* data, uint32_t size, const char* title,
                      uint32_t number, const char* progress) {
  if (!SlotInRange(slot) || !data || size == 0) return 1;
  SettleSlotFolder(kv_Save_GetSlotFolder(slot));

  // Both files are written whole before either takes its place; the game
  // state goes first, the metadata follows (see SettleSlotFolder).
  uint8_t meta[kSaveMetaSize] = {};
  stdLE_PutU32(meta, PackFlagString(number, progress));
  if (title) std::memcpy(meta + 4, title, strnlen(title, kSaveTextSize - 1));
  const std::string token = kv_Platform_NewWriteToken();
  kv_PendingFile stateFile, metaFile;
  if (!kv_Platform_WritePending(data, size, kv_Save_GetGameStatePath(slot).c_str(), token,
                                &stateFile)) {
    return 1;
  }
  if (!kv_Platform_WritePending(meta, sizeof meta, kv_Save_GetMetaPath(slot).c_str(), token,
                                &metaFile)) {
    kv_Platform_DiscardPending(&stateFile);
    return 1;
  }
  if (!kv_Platform_CommitPending(&stateFile)) {
    kv_Platform_DiscardPending(&metaFile);  // the metadata first: see SettleSlotFolder
    kv_Platform_DiscardPending(&stateFile);
    return 1;
  }
  if (!kv_Platform_CommitPending(&metaFile)) {
    // The game state is in place: the next clean-up puts its metadata there.
    kv_Platform_KeepPending(&metaFile);
    return 1;
  }
  return 0;
}

namespace {

// The slot's game-state file, whole, into the memory that destinationFor
// (file size) gives: 0 and the size, or 1 when it is missing, empty,
// unreadable or larger than the capacity.
template <class DestinationFor>
int ReadGameState(uint32_t slot, uint32_t capacity, uint32_t* size, DestinationFor destinationFor) {
  if (size) *size = 0;
  if (!SlotInRange(slot)) return 1;
  const std::string name = kv_Save_GetGameStatePath(slot);
  const int fd = open(Host(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    kv_Log_Printf("File not found: %s", name.c_str());
    return 1;
  }
  struct stat st;
  int result = 1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
    kv_Log_Printf("[Load] - %s is empty or unreadable", name.c_str());
  } else if (static_cast<uint64_t>(st.st_size) > capacity) {
    // Cut data would be handed to the decompressor as a whole save: refuse it.
    kv_Log_Printf("[Load] - %s holds %lld bytes, more than the %u that fit", name.c_str(),
                  static_cast<long long>(st.st_size), capacity);
  } else if (!ReadAll(fd, destinationFor(static_cast<size_t>(st.st_size)),
                      static_cast<size_t>(st.st_size))) {
    kv_Log_Printf("[Load] - %s could not be read whole", name.c_str());
  } else {
    if (size) *size = static_cast<uint32_t>(st.st_size);
    result = 0;
  }
  close(fd);
  return result;
}

}  // namespace

int kv_Save_ReadSlot(uint32_t slot, void* destination, uint32_t capacity, uint32_t* size) {
  if (size) *size = 0;
  if (!destination) return 1;
  return ReadGameState(slot, capacity, size, [destination](size_t) { return destination; });
}

int kv_Save_ReadSlotBytes(uint32_t slot, uint32_t maximum, std::vector<uint8_t>* bytes) {
  uint32_t size = 0;
  const int result = ReadGameState(slot, maximum, &size, [bytes](size_t n) {
    bytes->resize(n);
    return bytes->data();
  });
  if (result != 0) std::vector<uint8_t>().swap(*bytes);
  return result;
}

int kv_Save_EraseSlot(uint32_t slot) {
  if (!SlotInRange(slot)) return 1;
  const std::string folder = Host(kv_Save_GetSlotFolder(slot));
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 1;

  // The metadata goes first: a slot without it is no longer listed, whatever
  // happens to the rest. Temporary files left by an interrupted write go too.
  bool ok = true;
  for (const char* name : {kMetaName, kGameStateName}) {
    const std::string path = folder + "/" + name;
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
      kv_Log_Printf("[Save] - cannot remove %s: %s", path.c_str(), std::strerror(errno));
      ok = false;
    }
  }
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.rfind(std::string(kMetaName) + ".tmp", 0) == 0 ||
          name.rfind(std::string(kGameStateName) + ".tmp", 0) == 0) {
        unlink((folder + "/" + name).c_str());
      }
    }
    closedir(dir);
  }
  if (ok && rmdir(folder.c_str()) != 0) {
    kv_Log_Printf("[Save] - cannot remove %s: %s", folder.c_str(), std::strerror(errno));
    ok = false;
  }
  kv_PlatformFile_NoteEntryChanged((folder + "/" + kMetaName).c_str());
  kv_PlatformFile_NoteEntryChanged(folder.c_str());
  return ok ? 0 : 1;
}

int kv_Save_ListSlots(SaveListEntry* entries, int maximum) {
  if (!entries || maximum <= 0) return 0;
  const std::string directory = kv_Save_GetWriteDirectory();
  {
    // No folder yet is no save yet; one that cannot be listed is a problem.
    const std::string host = Host(directory);
    int error = 0;
    if (DIR* dir = opendir(host.c_str())) {
      closedir(dir);
    } else if (errno != ENOENT) {
      error = errno;
    }
    NoteReadProblem(g_folderReadError, error, "the save folder", host);
    if (error != 0) return 0;
  }
  std::string folder;
  if (!kv_PlatformFile_ResolvePath(directory.c_str(), &folder)) return 0;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  int count = 0;
  while (count < maximum) {
    const dirent* found = readdir(dir);
    if (!found) break;
    uint32_t slot = 0;
    if (!ParseSlotName(found->d_name, &slot)) continue;
    // A slot is a folder (or a link to one).
    struct stat folderStat;
    if (fstatat(dirfd(dir), found->d_name, &folderStat, 0) != 0 || !S_ISDIR(folderStat.st_mode)) {
      continue;
    }
    const std::string name = found->d_name;
    SettleSlotFolder(directory + name);
    const std::string metaPath = Host(directory + name + "/" + kMetaName);
    const int fd = open(metaPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    uint8_t meta[kSaveMetaSize];
    const bool valid = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == kSaveMetaSize &&
                       ReadAll(fd, meta, sizeof meta);
    close(fd);
    if (!valid) continue;

    SaveListEntry& entry = entries[count++];
    std::memset(&entry, 0, sizeof entry);
    entry.slot = static_cast<int32_t>(slot);
    std::memcpy(entry.title, meta + 4, kSaveTextSize);
    entry.title[kSaveTextSize - 1] = '\0';
    uint32_t number = 0;
    UnpackFlagString(stdLE_GetU32(meta), &number, entry.progress, sizeof entry.progress);
    entry.number = static_cast<int32_t>(number);
    struct tm local;
    const time_t written = st.st_mtime;
    if (localtime_r(&written, &local)) {
      std::strftime(entry.date, sizeof entry.date, "%x %H:%M", &local);
    }
  }
  closedir(dir);
  return count;
}

int kv_Save_LockWriteDirectory(void) {
  const std::string name = kv_Save_GetWriteDirectory();
  std::lock_guard<std::mutex> lock(g_lockMutex);
  const std::string host = WriteHost(name);
  char real[PATH_MAX];
  if (host.empty() || !kv_Platform_MakeDirectory(name.c_str()) || !realpath(host.c_str(), real)) {
    // Without the folder nothing is written anyway, and each write says so.
    kv_Log_Printf("[Save] - cannot lock %s", name.c_str());
    return 1;
  }
  // Held already when the folder is the one this program locked (not one
  // made anew in its place).
  struct stat held, now;
  if (g_lockFd >= 0 && fstat(g_lockFd, &held) == 0 && stat(real, &now) == 0 &&
      held.st_dev == now.st_dev && held.st_ino == now.st_ino) {
    return 1;
  }
  const int fd = open(real, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
    if (g_lockFd >= 0) close(g_lockFd);
    g_lockFd = fd;
    return 1;
  }
  const int error = errno;
  if (fd >= 0) close(fd);
  if (error != EWOULDBLOCK) {
    kv_Log_Printf("[Save] - cannot lock %s: %s", name.c_str(), std::strerror(error));
    return 1;
  }
  std::fprintf(stderr, "%s is in use by another copy of the game: this one ends.\n", real);
  kv_Log_Printf("[Save] - %s is in use by another copy of the game: this one ends.", real);
  return 0;
}

// --- Settings file ---------------------------------------------------------------

int kv_Save_WriteRegistryFile(const void* data, uint32_t size) {
  return kv_Platform_WriteFile(data, size, kv_Save_GetRegistryPath().c_str()) ? 0 : 1;
}

int kv_Save_ReadRegistryFile(void* buffer, uint32_t size, uint32_t* fileSize) {
  if (fileSize) *fileSize = 0;
  if (!buffer) return 1;
  std::memset(buffer, 0, size);
  const std::string host = Host(kv_Save_GetRegistryPath());
  const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // A missing file is a first start; any other failure is worth a line.
    NoteReadProblem(g_settingsReadError, errno == ENOENT ? 0 : errno, "the settings file", host);
    return 1;
  }
  size_t copied = 0;
  int error = 0;
  auto* p = static_cast<unsigned char*>(buffer);
  while (copied < size) {
    const ssize_t got = read(fd, p + copied, size - copied);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    copied += static_cast<size_t>(got);
  }
  close(fd);
  NoteReadProblem(g_settingsReadError, error, "the settings file", host);
  if (copied == 0) return 1;
  if (fileSize) *fileSize = static_cast<uint32_t>(copied);
  return 0;
}

// --- Dialogs ---------------------------------------------------------------------

int kv_Save_ErrorDialogSupported(void) {
  return 0;
}
int kv_Save_ErrorDialogPending(void) {
  return 0;
}

void kv_Save_SetMessageBoxFunction(kv_Save_MessageBoxFunction function) {
  g_messageBox.store(function);
}

int kv_Save_ShowOutOfDateMessage(void) {
  char text[512];
  std::snprintf(text, sizeof text,
                "The save file is out of date.\n"
                "You can go back to the old build by entering the beta access code "
                "\"plinkerwoods\" in Steam.\n"
                "Email %s for additional assistance.",
                kSupportAddress);
  const char* const labels[2] = {"Exit", "Start new game"};
  kv_Save_MessageBoxFunction show = g_messageBox.load();
  if (!show) show = PlatformMessageBox;
  const int choice = show(text, "Error", 2, labels, 1);
  if (choice == 0) {
    // Quit through the normal shutdown; the program then ends with status 1.
    g_exitRequested.store(1);
    kv_Platform_PostQuit();
  }
  return choice;
}

int kv_Save_ExitStatusRequested(void) {
  return g_exitRequested.load();
}

// --- Progress string -------------------------------------------------------------

uint32_t PackFlagString(uint32_t number, const char* progress) {
  if (!progress) progress = "";
  // L: the first character that is not set; the string's end counts as unset.
  int length = 0;
  while (length < kSaveProgressLength && progress[length] && progress[length] != '0') ++length;
  static constexpr int kStart[4] = {0, 17, 32, 46};
  static constexpr int kEnd[4] = {17, 32, 46, 60};
  const int windowClass = (length >= 17) + (length >= 32) + (length >= 46);
  uint32_t packed = (number & 0xFFu) << 24 | static_cast<uint32_t>(windowClass) << 22;
  int bit = 21;
  bool ended = false;
  for (int i = kStart[windowClass]; i < kEnd[windowClass] && bit >= 0; ++i, --bit) {
    // Characters before the window's start are known not to end the string.
    ended = ended || progress[i] == '\0';
    if (!ended && progress[i] == '1') packed |= 1u << bit;
  }
  return packed;
}

void UnpackFlagString(uint32_t packed, uint32_t* number, char* buffer, size_t size) {
  if (number) *number = packed >> 24;
  if (!buffer || size == 0) return;
  // Built in full first (a class-3 string runs to 68 characters before it is
  // cut at 60), then copied within the caller's size.
  char text[69] = {};
  static constexpr int kOnes[4] = {0, 17, 32, 46};
  int written = 0;
  for (int i = 0; i < kOnes[(packed >> 22) & 3u]; ++i) text[written++] = '1';
  for (int bit = 21; bit >= 0; --bit) text[written++] = (packed >> bit) & 1u ? '1' : '0';
  while (written < kSaveProgressLength) text[written++] = '0';
  text[kSaveProgressLength] = '\0';
  std::memset(buffer, 0, size);
  const size_t length = size - 1 < kSaveProgressLength ? size - 1 : kSaveProgressLength;
  std::memcpy(buffer, text, length);
}

// --- Text conversion -------------------------------------------------------------

char* Latin1ToUtf8(const char* text, char* buffer, size_t count) {
  if (!text || !buffer) return nullptr;
  size_t written = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p < 0x80) {
      if (written + 1 > count) break;
      buffer[written++] = static_cast<char>(*p);
    } else {
      if (written + 2 > count) break;
      buffer[written++] = static_cast<char>(*p >= 0xC0 ? 0xC3 : 0xC2);
      buffer[written++] = static_cast<char>((*p & 0x3F) | 0x80);
    }
  }
  return buffer + written;
}

char* Utf8ToLatin1(const char* text, char* buffer, size_t count) {
  if (!text || !buffer || count == 0) return nullptr;
  constexpr uint32_t kInvalid = 0xFFFFFFFFu;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t written = 0;
  uint32_t codePoint = 0;
  for (; *p && written < count - 1; ++p) {
    const unsigned char byte = *p;
    if ((byte & 0xC0) == 0x80) {
      // A continuation byte; a run too long for any code point stays invalid.
      codePoint = codePoint > 0x10FFFF ? kInvalid : (codePoint << 6) | (byte & 0x3F);
    } else if (byte < 0x80) {
      codePoint = byte;
    } else if (byte < 0xE0) {
      codePoint = byte & 0x1F;
    } else if (byte < 0xF0) {
      codePoint = byte & 0x0F;
    } else {
      codePoint = byte & 0x07;
    }
    const bool complete = (p[1] & 0xC0) != 0x80;
    if (complete && codePoint != 0 && codePoint < 256)
      buffer[written++] = static_cast<char>(codePoint);
  }
  buffer[written] = '\0';
  return buffer + written;
}
