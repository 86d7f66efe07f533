// The text costume file format: the reader (Cos_Load, Cos_LoadEntry) and the
// writer (CosUtil_Write).
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "chore/costume.h"
#include "chore/costume_Internal.h"

namespace {

constexpr int kLineSize = 1024;
constexpr int kMaxTagIds = 100;
constexpr const char* kClassWords[] = {"fs", "int", "float"};

// A cursor over one line, with the few conversions the format uses. Every
// conversion skips leading blanks, as the format's leading spaces do.
struct Scan {
  const char* at;

  void SkipBlanks() {
    while (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r' || *at == '\v' || *at == '\f') {
      ++at;
    }
  }
  bool Word(const char* literal) {
    SkipBlanks();
    const size_t length = strlen(literal);
    if (strncmp(at, literal, length) != 0) return false;
    at += length;
    return true;
  }
  bool Char(char c) {
    if (*at != c) return false;
    ++at;
    return true;
  }
  bool Int(int32_t* out) {
    SkipBlanks();
    const char* p = at;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      if (value > int64_t(INT32_MAX) + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    *out = int32_t(value);
    at = p;
    return true;
  }
  bool Float(float* out) {
    SkipBlanks();
    char* end = nullptr;
    errno = 0;
    const float value = strtof(at, &end);
    if (end == at) return false;
    *out = value;
    at = end;
    return true;
  }
  // A run of non-blank characters of at most `capacity - 1` characters.
  bool Token(char* out, size_t capacity) {
    SkipBlanks();
    size_t length = 0;
    while (at[length] && !strchr(" \t\n\r\v\f", at[length])) ++length;
    if (length == 0 || length >= capacity) return false;
    memcpy(out, at, length);
    out[length] = 0;
    at += length;
    return true;
  }
  // The rest of the line (up to a line end), non-empty and of at most 31 characters.
  bool Name(char (&out)[COS_NAME_SIZE]) {
    SkipBlanks();
    size_t length = 0;
    while (at[length] && at[length] != '\n' && at[length] != '\r') ++length;
    if (length == 0 || length >= COS_NAME_SIZE) return false;
    memset(out, 0, sizeof out);
    memcpy(out, at, length);
    at += length;
    return true;
  }
};

// One component row of a file.
struct Row {
  int32_t tag;  // registered tag index
  int32_t ordinal;
  int32_t parent;  // file position of the parent, -1 for a root
  int32_t depth;
  char name[COS_NAME_SIZE];
};

// What one load works with; the maps belong to this load alone.
struct Reader {
  stdFile_t file = 0;
  int slot = -1;
  const char* path = "";
  char line[kLineSize];
  int tagIdMap[kMaxTagIds];
  Row* rows = nullptr;
  int numRows = 0;
  int* componentMap = nullptr;

  ~Reader() {
    Cos_MemFree(rows);
    Cos_MemFree(componentMap);
  }
  CosCostume* Costume() { return &cos_State.costumes[slot]; }

  bool Fail(const char* why) {
    Cos_Log("\"%s\": %s", path, why);
    return false;
  }

  // The line reader: the next line that is not a comment or empty, cut at
  // its first '#'.
  bool Cos_ReadLine() {
    HostServices* hs = cos_State.services;
    for (;;) {
      if (!hs->fileGets(file, line, kLineSize - 1)) return false;
      line[kLineSize - 1] = 0;
      const char first = line[0];
      if (first == ';' || first == '#' || first == '\n' || first == '\r') continue;
      if (first == 0) continue;
      char* comment = strchr(line, '#');
      if (comment) *comment = 0;
      return true;
    }
  }
  bool Next(Scan* scan) {
    if (!Cos_ReadLine()) return Fail("ends early");
    scan->at = line;
    return true;
  }

  // The four sections of a costume file.
  bool Cos_ReadTags();
  bool Cos_ReadComponents();
  bool Cos_ReadChores();
  bool Cos_ReadKeys();
  bool Load();
};

bool Reader::Cos_ReadTags() {
  Scan scan;
  int32_t count = 0;
  if (!Next(&scan) || !scan.Word("numtags") || !scan.Int(&count) || count < 0) {
    return Fail("bad tag count");
  }
  for (int i = 0; i < count; ++i) {
    int32_t id = 0;
    char letters[4];
    char word[12];
    char name[COS_NAME_SIZE];
    if (!Next(&scan)) return false;
    if (!scan.Int(&id) || !scan.Word("'")) return Fail("bad tag row");
    for (char& letter : letters) {
      if (!*scan.at) return Fail("bad tag row");
      letter = *scan.at++;
    }
    if (!scan.Char('\'') || !scan.Token(word, sizeof word) || !scan.Name(name)) {
      return Fail("bad tag row");
    }
    if (id < 0 || id >= kMaxTagIds) return Fail("tag id out of range");
    int tagClass = -1;
    for (int c = 0; c < 3; ++c) {
      if (Cos_NameEquals(word, kClassWords[c])) tagClass = c;
    }
    if (tagClass < 0) return Fail("unknown tag class");
    uint32_t code = 0;
    memcpy(&code, letters, 4);
    tagIdMap[id] = -1;
    for (int t = 0; t < cos_State.numTags; ++t) {
      const CosTag& tag = cos_State.tags[t];
      if (tag.code == code && tag.tagClass == tagClass && Cos_NameEquals(tag.name, name)) {
        tagIdMap[id] = t;
        break;
      }
    }
  }
  return true;
}

// The first component of the costume with the tag code, ordinal and name.
int FindComponent(const CosCostume* costume, uint32_t code, int ordinal, const char* name) {
  for (int i = 0; i < costume->numComponents; ++i) {
    const CosComponent& component = costume->components[i];
    const CosTag* tag = Cos_ComponentTag(&component);
    if (tag && tag->code == code && component.ordinal == ordinal &&
        Cos_NameEquals(component.name, name)) {
      return i;
    }
  }
  return -1;
}

bool Reader::Cos_ReadComponents() {
  Scan scan;
  int32_t count = 0;
  if (!Next(&scan) || !scan.Word("numcomponents") || !scan.Int(&count) || count <= 0) {
    return Fail("bad component count");
  }
  // Rows are stored as they are read, so a count larger than the file only
  // fails at its end.
  int capacity = 0;
  for (int i = 0; i < count; ++i) {
    int32_t unused = 0, tagId = 0;
    Row row{};
    if (!Next(&scan)) return false;
    if (!scan.Int(&unused) || !scan.Int(&tagId) || !scan.Int(&row.ordinal) ||
        !scan.Int(&row.parent) || !scan.Name(row.name)) {
      return Fail("bad component row");
    }
    if (tagId < 0 || tagId >= kMaxTagIds) return Fail("component tag id out of range");
    row.tag = tagIdMap[tagId];
    if (row.tag < 0) return Fail("component of an unregistered tag");
    if (numRows == capacity) {
      capacity = capacity ? capacity * 2 : 16;
      auto* grown = static_cast<Row*>(Cos_Realloc(rows, sizeof(Row) * size_t(capacity), __LINE__));
      if (!grown) return Fail("out of memory");
      rows = grown;
    }
    rows[numRows++] = row;
  }
  for (int i = 0; i < numRows; ++i) {
    if (rows[i].parent < -1 || rows[i].parent >= numRows) return Fail("bad parent position");
  }
  int deepest = 0;
  for (int i = 0; i < numRows; ++i) {
    int depth = 0;
    for (int at = rows[i].parent; at >= 0; at = rows[at].parent) {
      if (++depth > numRows) return Fail("components form a cycle");
    }
    rows[i].depth = depth;
    if (depth > deepest) deepest = depth;
  }
  componentMap = static_cast<int*>(Cos_Alloc(sizeof(int) * size_t(numRows), __LINE__));
  if (!componentMap) return Fail("out of memory");
  for (int i = 0; i < numRows; ++i) componentMap[i] = -1;

  const CosCostumeHandle handle = slot + 1;
  for (int depth = 0; depth <= deepest; ++depth) {
    for (int position = 0; position < numRows; ++position) {
      const Row& row = rows[position];
      if (row.depth != depth) continue;
      const CosTag tag = cos_State.tags[row.tag];
      const CosCostume* costume = Costume();
      bool found = false;
      for (int i = 0; i < costume->numComponents; ++i) {
        const CosComponent& component = costume->components[i];
        const CosTag* other = Cos_ComponentTag(&component);
        if (other && other->code == tag.code && component.ordinal == row.ordinal &&
            Cos_NameEquals(component.name, row.name) && component.parent == row.parent) {
          componentMap[position] = i;
          found = true;
          break;
        }
      }
      if (found) continue;
      if (!tag.callbacks.addComponent) return Fail("component tag cannot add components");
      int added = 0;
      if (row.parent < 0) {
        added = tag.callbacks.addComponent(handle, tag.code, 0, 0, row.name);
      } else {
        const Row& parentRow = rows[row.parent];
        const int parent = FindComponent(costume, cos_State.tags[parentRow.tag].code,
                                         parentRow.ordinal, parentRow.name);
        if (parent < 0) return Fail("parent component not found");
        const CosComponent& parentComponent = costume->components[parent];
        const CosTag* parentTag = Cos_ComponentTag(&parentComponent);
        added = tag.callbacks.addComponent(handle, tag.code, parentComponent.hash,
                                           parentTag ? parentTag->code : 0, row.name);
      }
      if (cos_State.costumes[slot].free) return Fail("costume freed while loading");
      if (!added) return Fail("component was not added");
      const int index = FindComponent(Costume(), tag.code, row.ordinal, row.name);
      if (index < 0) return Fail("added component not found");
      componentMap[position] = index;
    }
  }
  return true;
}

bool Reader::Cos_ReadChores() {
  Scan scan;
  int32_t count = 0;
  if (!Next(&scan) || !scan.Word("numchores") || !scan.Int(&count) || count < 0) {
    return Fail("bad chore count");
  }
  // Chores are added as their rows are read (the declared count is checked
  // against the lines that are there, not trusted for an allocation).
  for (int i = 0; i < count; ++i) {
    int32_t unused = 0, length = 0, tracks = 0;
    char name[COS_NAME_SIZE];
    if (!Next(&scan)) return false;
    if (!scan.Int(&unused) || !scan.Int(&length) || !scan.Int(&tracks) || !scan.Name(name)) {
      return Fail("bad chore row");
    }
    if (tracks < 0) return Fail("bad track count");
    CosCostume* costume = Costume();
    auto* chores = static_cast<CosChore*>(
        Cos_Realloc(costume->chores, sizeof(CosChore) * size_t(costume->numChores + 1), __LINE__));
    if (!chores) return Fail("out of memory");
    costume->chores = chores;
    CosChore& chore = chores[costume->numChores++];
    memset(&chore, 0, sizeof chore);
    Cos_CopyName(chore.name, name);
    chore.length = length;
    // The declared track count is kept in numTracks until the keys section
    // fills the tracks; until then the track array is empty.
    chore.numTracks = tracks;
    chore.tracks = nullptr;
  }
  return true;
}

bool Reader::Cos_ReadKeys() {
  CosCostume* costume = Costume();
  const int numChores = costume->numChores;
  // Declared track counts, taken out of the chores before their tracks exist.
  int* declared = static_cast<int*>(Cos_Alloc(sizeof(int) * size_t(numChores), __LINE__));
  if (!declared) return Fail("out of memory");
  for (int c = 0; c < numChores; ++c) {
    declared[c] = costume->chores[c].numTracks;
    costume->chores[c].numTracks = 0;
  }
  struct Cleanup {
    int* p;
    ~Cleanup() { Cos_MemFree(p); }
  } cleanup{declared};
  if (numChores == 0) return true;

  Scan scan;
  for (int block = 0; block < numChores; ++block) {
    int32_t number = 0;
    if (!Next(&scan)) return false;
    if (!scan.Word("chore") || !scan.Int(&number)) return Fail("bad chore block");
    if (number < 0 || number >= numChores) return Fail("chore number out of range");
    if (declared[number] < 0) return Fail("chore block repeated");
    const int numTracks = declared[number];
    declared[number] = -1;
    if (numTracks == 0) continue;
    CosChore* chore = &Costume()->chores[number];
    // Each track needs at least one line, so a count beyond the file fails
    // at its end; the array grows as tracks are read.
    for (int t = 0; t < numTracks; ++t) {
      int32_t position = 0, numKeys = 0;
      if (!Next(&scan)) return false;
      if (!scan.Int(&position) || !scan.Int(&numKeys)) return Fail("bad track row");
      if (position < 0 || position >= numRows) return Fail("component position out of range");
      if (numKeys < 0) return Fail("bad key count");
      auto* tracks = static_cast<CosTrack*>(
          Cos_Realloc(chore->tracks, sizeof(CosTrack) * size_t(t + 1), __LINE__));
      if (!tracks) return Fail("out of memory");
      chore->tracks = tracks;
      CosTrack& track = tracks[t];
      track = CosTrack{componentMap[position], 0, 0, nullptr};
      chore->numTracks = t + 1;
      if (track.component < 0 || track.component >= Costume()->numComponents) {
        return Fail("component went away while loading");
      }
      const CosComponent& component = Costume()->components[track.component];
      const CosTag* tag = Cos_ComponentTag(&component);
      const bool isFloat = tag && tag->tagClass == COS_TAG_FLOAT;
      int capacity = 0;
      int dropped = 0;
      for (int k = 0; k < numKeys; ++k) {
        int32_t time = 0, value = 0;
        if (!Next(&scan)) return false;
        if (!scan.Int(&time)) return Fail("bad key row");
        if (isFloat) {
          float f = 0;
          if (!scan.Float(&f)) return Fail("bad key row");
          memcpy(&value, &f, sizeof value);
        } else if (!scan.Int(&value)) {
          return Fail("bad key row");
        }
        if (time < 0) {
          ++dropped;
          continue;
        }
        if (track.numKeys == capacity) {
          capacity = capacity ? capacity * 2 : 8;
          auto* keys = static_cast<CosKey*>(
              Cos_Realloc(track.keys, sizeof(CosKey) * size_t(capacity), __LINE__));
          if (!keys) return Fail("out of memory");
          track.keys = keys;
        }
        track.keys[track.numKeys++] = CosKey{time, value};
      }
      if (dropped) {
        Cos_Log("\"%s\": %d keys with a negative time dropped from chore \"%s\"", path, dropped,
                chore->name);
      }
      if (track.numKeys > 0 && (!tag || !tag->callbacks.applyKey)) {
        Cos_Log("\"%s\": keys of component \"%s\" dropped: its tag takes no keys", path,
                component.name);
        Cos_MemFree(track.keys);
        track.keys = nullptr;
        track.numKeys = 0;
      }
      if (!Cos_SortKeys(&track)) return Fail("out of memory");
    }
  }
  return true;
}

bool Reader::Load() {
  Scan scan;
  int32_t major = 0, minor = 0;
  if (!Next(&scan) || !scan.Word("costume") || !scan.Word("v") || !scan.Int(&major) ||
      !scan.Char('.') || !scan.Int(&minor)) {
    return Fail("not a costume file");
  }
  if (!Next(&scan) || !Cos_ReadTags()) return false;
  if (!Next(&scan) || !Cos_ReadComponents()) return false;
  if (!Next(&scan) || !Cos_ReadChores()) return false;
  if (!Next(&scan) || !Cos_ReadKeys()) return false;
  // Keys past their chore's end never play: drop them; then one track per
  // component.
  CosCostume* costume = Costume();
  for (int c = 0; c < costume->numChores; ++c) {
    CosChore& chore = costume->chores[c];
    for (int t = 0; t < chore.numTracks; ++t) {
      CosTrack& track = chore.tracks[t];
      int kept = 0;
      while (kept < track.numKeys && uint32_t(track.keys[kept].time) <= uint32_t(chore.length)) {
        ++kept;
      }
      track.numKeys = kept;
      if (kept == 0) {
        Cos_MemFree(track.keys);
        track.keys = nullptr;
      }
      track.lastTime = kept ? track.keys[kept - 1].time : 0;
      for (int u = 0; u < t; ++u) {
        if (chore.tracks[u].component == track.component) {
          return Fail("two tracks on one component");
        }
      }
    }
  }
  return true;
}

}  // namespace

// Reads a costume file into a taken slot; on failure everything built is
// released with the slot.
int Cos_LoadIntoSlot(const char* path, int slot) {
  CosCostume* costume = &cos_State.costumes[slot];
  Cos_ResetCostume(costume);
  HostServices* hs = cos_State.services;
  const char* fileName = Cos_FileNamePart(path);
  stdFile_t file = 0;
  if (strlen(fileName) > COS_NAME_SIZE) {
    Cos_Log("\"%s\": file name too long for a costume", path);
  } else {
    Cos_CopyName(costume->name, fileName);
    file = hs && hs->fileOpen ? hs->fileOpen(path, "r") : 0;
    if (!file) Cos_Log("\"%s\": cannot open", path);
  }
  if (!file) {
    costume->free = 1;
    cos_State.numCostumes--;
    return 0;
  }
  if (hs->fileSetPrivate) hs->fileSetPrivate(file);
  bool loaded = false;
  {
    Reader reader;
    reader.file = file;
    reader.slot = slot;
    reader.path = path;
    for (int& id : reader.tagIdMap) id = -1;
    loaded = reader.Load();
  }
  hs->fileClose(file);
  if (loaded && cos_State.costumes[slot].free) loaded = false;
  if (!loaded) {
    if (!cos_State.costumes[slot].free) {
      Cos_ReleaseContents(slot);
      cos_State.costumes[slot].free = 1;
      cos_State.numCostumes--;
    }
    return 0;
  }
  return 1;
}

CosCostumeHandle Cos_Load(const char* name) {
  if (!cos_State.started || !name) return 0;
  for (int i = 0; i < cos_State.maxCostumes; ++i) {
    if (!cos_State.costumes[i].free && Cos_NameEquals(cos_State.costumes[i].name, name)) {
      return i + 1;
    }
  }
  const int slot = Cos_TakeCostumeSlot();
  if (slot < 0) return 0;
  return Cos_LoadIntoSlot(name, slot) ? slot + 1 : 0;
}

// Loads into the slot of the given handle, which must be free; the slot is
// live afterwards when the load succeeded.
int Cos_LoadEntry(const char* path, CosCostumeHandle costume) {
  if (!cos_State.started || !path || costume < 1 || costume > cos_State.maxCostumes) return 0;
  const int slot = costume - 1;
  if (!cos_State.costumes[slot].free) {
    Cos_Log("\"%s\": slot %d is in use", path, costume);
    return 0;
  }
  cos_State.costumes[slot].free = 0;
  cos_State.numCostumes++;
  return Cos_LoadIntoSlot(path, slot);
}

// ---------------------------------------------------------------------------
// Writer

namespace {

// The tags the costume's components use, in order of first use: a file's tag
// ids are places in this list (tagIdOf maps a registered tag to its id, -1
// for a tag no component uses). False when a component names no registered tag.
bool Cos_CollectUsedTags(const CosCostume* costume, int* usedTags, int* numUsed, int* tagIdOf) {
  *numUsed = 0;
  for (int t = 0; t < COS_MAX_TAGS; ++t) tagIdOf[t] = -1;
  for (int i = 0; i < costume->numComponents; ++i) {
    const int tag = costume->components[i].tag;
    if (tag < 0 || tag >= cos_State.numTags) return false;
    if (tagIdOf[tag] < 0) {
      tagIdOf[tag] = *numUsed;
      usedTags[(*numUsed)++] = tag;
    }
  }
  return true;
}

}  // namespace

int CosUtil_Write(const char* path, CosCostume* costume, const char* comment) {
  HostServices* hs = cos_State.services;
  if (!costume) {
    if (hs && hs->assertFail) hs->assertFail("pCostume != NULL", "costume", __LINE__);
    return 0;
  }
  costume = Cos_CheckCostume(costume);
  if (!costume || !path || !hs) return 0;
  if (!comment) comment = "";

  // Everything is checked before the file is opened, so a refused write
  // leaves an existing file as it was.
  for (int c = 0; c < costume->numChores; ++c) {
    const CosChore& chore = costume->chores[c];
    for (int t = 0; t < chore.numTracks; ++t) {
      for (int u = t + 1; u < chore.numTracks; ++u) {
        if (chore.tracks[t].component == chore.tracks[u].component) return 0;
      }
    }
  }
  int usedTags[COS_MAX_TAGS];
  int numUsed = 0;
  int tagIdOf[COS_MAX_TAGS];
  if (!Cos_CollectUsedTags(costume, usedTags, &numUsed, tagIdOf)) return 0;
  for (int i = 0; i < numUsed; ++i) {
    const int32_t tagClass = cos_State.tags[usedTags[i]].tagClass;
    if (tagClass < COS_TAG_STATE || tagClass > COS_TAG_FLOAT) {
      if (hs->assertFail) hs->assertFail("FALSE", "costume", __LINE__);
      return 0;
    }
  }
  const char* fileName = Cos_FileNamePart(path);
  if (strlen(fileName) > COS_NAME_SIZE) {
    Cos_Log("\"%s\": file name too long for a costume", path);
    return 0;
  }
  const int slot = Cos_IndexOfCostume(costume);
  if (cos_State.saveHook) {
    if (!cos_State.saveHook(path, slot + 1, comment)) return 0;
    costume = Cos_LiveCostume(slot + 1);
    if (!costume) return 0;
  }
  if (!hs->fileOpen || !hs->filePrintf) return 0;
  const stdFile_t file = hs->fileOpen(path, "wt+");
  if (!file) {
    Cos_Log("\"%s\": cannot open for writing", path);
    return 0;
  }
  // Writing a costume renames it after its file.
  Cos_CopyName(costume->name, fileName);

  bool ok = true;
  auto put = [&](int result) { ok = ok && result >= 0; };
  put(hs->filePrintf(file, "# %s\n", comment));
  put(hs->filePrintf(file, "costume v%d.%d\n\n\n", 0, 1));
  put(hs->filePrintf(file, "section tags\n"));
  put(hs->filePrintf(file, "\tnumtags %d\n\n", numUsed));
  put(hs->filePrintf(file, "#\tID\tTag\t\t\tClass\tName\n"));
  for (int i = 0; i < numUsed; ++i) {
    const CosTag& tag = cos_State.tags[usedTags[i]];
    char letters[5];
    memcpy(letters, &tag.code, 4);
    letters[4] = 0;
    put(hs->filePrintf(file, "\t%d\t'%c%c%c%c'\t%s\t\t%s\n", i, letters[0], letters[1], letters[2],
                       letters[3], kClassWords[tag.tagClass], tag.name));
  }
  put(hs->filePrintf(file, "\n\nsection components\n"));
  put(hs->filePrintf(file, "\tnumcomponents %d\n\n", costume->numComponents));
  put(hs->filePrintf(file, "#\tID\tTagID\tHash\tParentID\tName\n"));
  for (int i = 0; i < costume->numComponents; ++i) {
    const CosComponent& component = costume->components[i];
    put(hs->filePrintf(file, "\t%d\t%d\t\t%d\t\t%d\t\t\t%s\n", i, tagIdOf[component.tag],
                       component.ordinal, component.parent, component.name));
  }
  put(hs->filePrintf(file, "\n\nsection chores\n"));
  put(hs->filePrintf(file, "\tnumchores %d\n\n", costume->numChores));
  put(hs->filePrintf(file, "#\tID\tLength\tTracks\tName\n"));
  for (int c = 0; c < costume->numChores; ++c) {
    const CosChore& chore = costume->chores[c];
    int withKeys = 0;
    for (int t = 0; t < chore.numTracks; ++t) withKeys += chore.tracks[t].numKeys > 0;
    put(hs->filePrintf(file, "\t%d\t%d\t\t%d\t\t\t%s\n", c, chore.length, withKeys, chore.name));
  }
  put(hs->filePrintf(file, "\n\nsection keys\n"));
  for (int c = 0; c < costume->numChores; ++c) {
    const CosChore& chore = costume->chores[c];
    put(hs->filePrintf(file, "chore %d\t# %s\n", c, chore.name));
    for (int t = 0; t < chore.numTracks; ++t) {
      const CosTrack& track = chore.tracks[t];
      if (track.numKeys <= 0) continue;
      if (track.component < 0 || track.component >= costume->numComponents) continue;
      const CosComponent& component = costume->components[track.component];
      const bool isFloat = cos_State.tags[component.tag].tagClass == COS_TAG_FLOAT;
      put(hs->filePrintf(file, "#\tCompID\tNumKeys\n"));
      put(hs->filePrintf(file, "#\t\tTime\t\tValue\n"));
      put(hs->filePrintf(file, "\t%d\t\t\t%d\t\t# %s\n", track.component, track.numKeys,
                         component.name));
      for (int k = 0; k < track.numKeys; ++k) {
        const CosKey& key = track.keys[k];
        if (isFloat) {
          float value = 0;
          memcpy(&value, &key.value, sizeof value);
          put(hs->filePrintf(file, "\t\t%d\t\t\t%f\n", key.time, double(value)));
        } else {
          put(hs->filePrintf(file, "\t\t%d\t\t\t%d\n", key.time, key.value));
        }
      }
      put(hs->filePrintf(file, "\n"));
    }
  }
  hs->fileClose(file);
  if (!ok) Cos_Log("\"%s\": write failed", path);
  return ok ? 1 : 0;
}
