#include "quadrix/qxKeyframe.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kv_Log.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFileIO.h"
#include "quadrix/qxTextIO.h"
#include "std/stdConffile.h"

namespace {

qxKeyframeLoaderFn g_loader = nullptr;
qxKeyframeUnloaderFn g_unloader = nullptr;

constexpr int kEntryBytes = 56;      // one entry in the binary form
constexpr int kNodeHeadBytes = 44;   // a node block before its entries
constexpr int kHeaderBytes = 132;    // the binary form after the magic
constexpr int kTextEntryBytes = 24;  // two lines of at least 15 and 9 characters

void FreeRecord(qxKeyframe* keyframe) {
  if (g_unloader) {
    g_unloader(keyframe);
  } else {
    qxKeyframe_FreeEntry(keyframe);
    qxCore_Free(keyframe);
  }
}

// Allocates count zeroed items; null for a count of 0 or a failed allocation.
template <typename T>
T* AllocZeroed(int32_t count, int line) {
  if (count <= 0) return nullptr;
  const size_t bytes = sizeof(T) * static_cast<size_t>(count);
  auto* items = static_cast<T*>(qxCore_Alloc(bytes, "qxKeyframe", line));
  if (items) std::memset(static_cast<void*>(items), 0, bytes);
  return items;
}

// ---- Text form -------------------------------------------------------------------

bool ReadEntry(qxKeyframeEntry* e) {
  int number;
  return qxText_Scan(9, " %d: %f %x %f %f %f %f %f %f", &number, &e->frame, &e->flags,
                     &e->position.x, &e->position.y, &e->position.z, &e->orientation.x,
                     &e->orientation.y, &e->orientation.z) &&
         qxText_Scan(6, " %f %f %f %f %f %f", &e->positionRate.x, &e->positionRate.y,
                     &e->positionRate.z, &e->orientationRate.x, &e->orientationRate.y,
                     &e->orientationRate.z);
}

// Parses the open configuration file; false with a reason on a bad line.
bool ParseText(qxKeyframe* kf, const char** why) {
  char word[64];
  *why = "a line does not match";
  if (!qxText_Scan(1, " section: %63s", word)) return false;
  int joints = 0;
  if (!qxText_Scan(1, " flags %x", &kf->flags) || !qxText_Scan(1, " type %x", &kf->type) ||
      !qxText_Scan(1, " frames %d", &kf->frameCount) || !qxText_Scan(1, " fps %f", &kf->rate) ||
      !qxText_Scan(1, " joints %d", &joints)) {
    return false;
  }
  if (joints < 0 || joints > kKeyframeMaxTextJoints) {
    *why = "the joint count is out of range";
    return false;
  }
  kf->jointCount = joints;
  kf->nodes = AllocZeroed<qxKeyframeNode>(joints, __LINE__);
  if (joints > 0 && !kf->nodes) {
    *why = "out of memory";
    return false;
  }
  kf->nodeCount = joints;

  if (!qxText_Scan(1, " section: %63s", word)) return false;
  if (std::strcmp(word, "markers") == 0) {
    int markers = 0;
    if (!qxText_Scan(1, " markers %d", &markers)) return false;
    if (markers < 0 || markers > kKeyframeMaxMarkers) {
      *why = "more than 8 markers";
      return false;
    }
    for (int i = 0; i < markers; ++i) {
      if (!qxText_Scan(2, "%f %d", &kf->markerFrames[i], &kf->markerValues[i])) return false;
    }
    kf->markerCount = markers;
    if (!qxText_Scan(1, " section: %63s", word)) return false;
  }

  int blocks = 0;
  if (!qxText_Scan(1, " nodes %d", &blocks)) return false;
  const int64_t fileBytes = qxText_FileBytes();
  for (int b = 0; b < blocks; ++b) {
    int k = 0, entries = 0;
    char meshName[32];
    if (!qxText_Scan(1, " node %d", &k)) return false;
    if (k < 0 || k >= joints) {
      *why = "a node index is outside the joint count";
      return false;
    }
    if (!qxText_Scan(1, " mesh name %31s", meshName) || !qxText_Scan(1, " entries %d", &entries)) {
      return false;
    }
    if (!qxText_Fits(entries, fileBytes, kTextEntryBytes)) {
      *why = "an entry count is larger than the file";
      return false;
    }
    qxKeyframeNode& node = kf->nodes[k];
    qxCore_Free(node.entries);  // a node given twice keeps its last block
    node.entries = nullptr;
    node.entryCount = 0;
    qxCopyName(node.meshName, sizeof node.meshName, meshName);
    node.index = k;
    node.entries = AllocZeroed<qxKeyframeEntry>(entries, __LINE__);
    if (entries > 0 && !node.entries) {
      *why = "out of memory";
      return false;
    }
    node.entryCount = entries;
    for (int i = 0; i < entries; ++i) {
      if (!ReadEntry(&node.entries[i])) return false;
    }
  }
  return true;
}

// ---- Binary form -------------------------------------------------------------------

bool ReadBinary(qxFileReader& in, qxKeyframe* kf, const char** why) {
  *why = "the file is short";
  uint32_t marker;
  if (!in.Read(kf->name, sizeof kf->name)) return false;
  kf->name[sizeof kf->name - 1] = '\0';
  int32_t nodeCount = 0;
  if (!in.U32(&kf->reserved) || !in.U32(&kf->flags) || !in.I32(&kf->jointCount) ||
      !in.U32(&kf->type) || !in.F32(&kf->rate) || !in.I32(&kf->frameCount) || !in.I32(&nodeCount) ||
      !in.U32(&marker) || !in.I32(&kf->markerCount) ||
      !in.Words(kf->markerFrames, kKeyframeMaxMarkers) ||
      !in.Words(kf->markerValues, kKeyframeMaxMarkers)) {
    return false;
  }
  if (kf->markerCount < 0 || kf->markerCount > kKeyframeMaxMarkers) {
    *why = "more than 8 markers";
    return false;
  }
  if (!in.Fits(nodeCount, kNodeHeadBytes)) {
    *why = "the node count is larger than the file";
    return false;
  }
  kf->nodes = AllocZeroed<qxKeyframeNode>(nodeCount, __LINE__);
  if (nodeCount > 0 && !kf->nodes) {
    *why = "out of memory";
    return false;
  }
  kf->nodeCount = nodeCount;
  for (int32_t n = 0; n < nodeCount; ++n) {
    qxKeyframeNode& node = kf->nodes[n];
    int32_t entries = 0;
    if (!in.Read(node.meshName, sizeof node.meshName) || !in.I32(&node.index) ||
        !in.I32(&entries) || !in.U32(&marker)) {
      return false;
    }
    node.meshName[sizeof node.meshName - 1] = '\0';
    if (!in.Fits(entries, kEntryBytes)) {
      *why = "an entry count is larger than the file";
      return false;
    }
    node.entries = AllocZeroed<qxKeyframeEntry>(entries, __LINE__);
    if (entries > 0 && !node.entries) {
      *why = "out of memory";
      return false;
    }
    node.entryCount = entries;
    for (int32_t i = 0; i < entries; ++i) {
      qxKeyframeEntry& e = node.entries[i];
      float values[12];
      if (!in.F32(&e.frame) || !in.U32(&e.flags) || !in.Words(values, 12)) return false;
      e.position = {values[0], values[1], values[2]};
      e.orientation = {values[3], values[4], values[5]};
      e.positionRate = {values[6], values[7], values[8]};
      e.orientationRate = {values[9], values[10], values[11]};
    }
  }
  return true;
}

}  // namespace

static_assert(sizeof(qxKeyframeEntry) == kEntryBytes);

qxKeyframeLoaderFn qxKeyframe_SetLoader(qxKeyframeLoaderFn hook) {
  const qxKeyframeLoaderFn previous = g_loader;
  g_loader = hook;
  return previous;
}

qxKeyframeUnloaderFn qxKeyframe_SetUnloader(qxKeyframeUnloaderFn hook) {
  const qxKeyframeUnloaderFn previous = g_unloader;
  g_unloader = hook;
  return previous;
}

void qxKeyframe_NewEntry(qxKeyframe* keyframe) {
  std::memset(static_cast<void*>(keyframe), 0, sizeof *keyframe);
  qxCopyName(keyframe->name, sizeof keyframe->name, "UNKNOWN");
}

void qxKeyframe_FreeEntry(qxKeyframe* keyframe) {
  if (!keyframe) return;
  if (keyframe->nodes) {
    for (int32_t i = 0; i < keyframe->nodeCount; ++i) {
      qxCore_Free(keyframe->nodes[i].entries);
      keyframe->nodes[i].entries = nullptr;
    }
    qxCore_Free(keyframe->nodes);
    keyframe->nodes = nullptr;
  }
}

qxKeyframe* qxKeyframe_Load(const char* path) {
  if (g_loader) return g_loader(path);
  HostServices* hs = qxCore_pHS;
  if (!hs || !path) return nullptr;
  const stdFile_t file = hs->fileOpen(path, "rb");
  if (!file) return nullptr;
  if (hs->fileSetPrivate) hs->fileSetPrivate(file);
  auto* keyframe =
      static_cast<qxKeyframe*>(qxCore_Alloc(sizeof(qxKeyframe), "qxKeyframe", __LINE__));
  if (!keyframe) {
    hs->fileClose(file);
    return nullptr;
  }
  qxKeyframe_NewEntry(keyframe);
  char magic[4] = {};
  const bool binary = hs->fileRead(file, magic, 4) == 4 && std::memcmp(magic, "FYEK", 4) == 0;
  if (binary) {
    const int ok = qxKeyframe_LoadBinary(file, keyframe);
    hs->fileClose(file);
    if (!ok) {
      FreeRecord(keyframe);
      return nullptr;
    }
    qxCopyName(keyframe->name, sizeof keyframe->name, std_HostPathTail(path));
    return keyframe;
  }
  hs->fileClose(file);
  if (!qxKeyframe_LoadText(path, keyframe)) {
    FreeRecord(keyframe);
    return nullptr;
  }
  return keyframe;
}

void qxKeyframe_Free(qxKeyframe* keyframe) {
  if (!keyframe) return;
  FreeRecord(keyframe);
}

int qxKeyframe_LoadBinary(stdFile_t file, qxKeyframe* keyframe) {
  if (!qxCore_pHS) return 0;
  qxFileReader in(qxCore_pHS, file);
  if (!in.Fits(1, kHeaderBytes)) {
    kv_Log_Printf("qxKeyframe: the file is short");
    return 0;
  }
  const char* why = "";
  if (!ReadBinary(in, keyframe, &why)) {
    kv_Log_Printf("qxKeyframe: %s: %s", keyframe->name, why);
    return 0;
  }
  return 1;
}

int qxKeyframe_LoadText(const char* path, qxKeyframe* keyframe) {
  qxKeyframe_NewEntry(keyframe);
  qxCopyName(keyframe->name, sizeof keyframe->name, std_HostPathTail(path));
  if (!stdConffile_Open(path)) return 0;
  const char* why = "";
  const bool ok = ParseText(keyframe, &why);
  const int line = stdConffile_GetLineNumber();
  stdConffile_Close();
  if (!ok) {
    kv_Log_Printf("qxKeyframe: %s(%d): %s", path, line, why);
    return 0;
  }
  return 1;
}

// ---- Writers -------------------------------------------------------------------------

int qxKeyframe_WriteBinary(const char* path, const qxKeyframe* kf) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path || !kf) return 0;
  const stdFile_t file = hs->fileOpen(path, "wb");
  if (!file) return 0;
  qxFileWriter out(hs, file);
  const int32_t nodeCount = kf->nodes ? kf->nodeCount : 0;
  out.Write("FYEK", 4);
  out.Name(kf->name, sizeof kf->name);
  out.U32(kf->reserved);
  out.U32(kf->flags);
  out.I32(kf->jointCount);
  out.U32(kf->type);
  out.F32(kf->rate);
  out.I32(kf->frameCount);
  out.I32(nodeCount);
  out.Marker(kf->nodes);
  out.I32(kf->markerCount);
  out.Words(kf->markerFrames, kKeyframeMaxMarkers);
  out.Words(kf->markerValues, kKeyframeMaxMarkers);
  for (int32_t n = 0; n < nodeCount; ++n) {
    const qxKeyframeNode& node = kf->nodes[n];
    const int32_t entries = node.entries ? node.entryCount : 0;
    out.Name(node.meshName, sizeof node.meshName);
    out.I32(node.index);
    out.I32(entries);
    out.Marker(node.entries);
    for (int32_t i = 0; i < entries; ++i) {
      const qxKeyframeEntry& e = node.entries[i];
      const float values[12] = {e.position.x,        e.position.y,        e.position.z,
                                e.orientation.x,     e.orientation.y,     e.orientation.z,
                                e.positionRate.x,    e.positionRate.y,    e.positionRate.z,
                                e.orientationRate.x, e.orientationRate.y, e.orientationRate.z};
      out.F32(e.frame);
      out.U32(e.flags);
      out.Words(values, 12);
    }
  }
  hs->fileClose(file);
  return out.failed ? 0 : 1;
}

int qxKeyframe_WriteBinaryByName(const char* name, const qxKeyframe* keyframe) {
  if (!name) return 0;
  std::string path(name);
  if (path.find('.') == std::string::npos) path += ".key";
  return qxKeyframe_WriteBinary(path.c_str(), keyframe);
}

int qxKeyframe_WriteText(const char* path, const qxKeyframe* kf, const char* sourceName) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path || !kf) return 0;
  const stdFile_t file = hs->fileOpen(path, "wt+");
  if (!file) return 0;
  qxTextWriter out{hs, file};
  out.Print("# KEYFRAME '%s' created from '%s'\n\n", kf->name, sourceName ? sourceName : "");
  out.Print("###############\n");
  out.Print("SECTION: HEADER\n\n");
  out.Print("FLAGS  0x%04x\n", kf->flags);
  out.Print("TYPE   0x%X\n", kf->type);
  out.Print("FRAMES %d\n", kf->frameCount);
  out.Print("FPS    %.3f\n", static_cast<double>(kf->rate));
  out.Print("JOINTS %d\n", kf->jointCount);
  const int markers = kf->markerCount < 0                     ? 0
                      : kf->markerCount > kKeyframeMaxMarkers ? kKeyframeMaxMarkers
                                                              : kf->markerCount;
  if (markers > 0) {
    out.Print("\n\n");
    out.Print("###############\n");
    out.Print("SECTION: MARKERS\n\n");
    out.Print("MARKERS %d\n\n", markers);
    for (int i = 0; i < markers; ++i) {
      out.Print("%f %d\n", static_cast<double>(kf->markerFrames[i]), kf->markerValues[i]);
    }
  }
  const int32_t nodeCount = kf->nodes ? kf->nodeCount : 0;
  int withEntries = 0;
  for (int32_t n = 0; n < nodeCount; ++n) {
    if (kf->nodes[n].entries && kf->nodes[n].entryCount > 0) ++withEntries;
  }
  out.Print("\n\n");
  out.Print("###############\n");
  out.Print("SECTION: KEYFRAME NODES\n\n");
  out.Print("NODES %d\n\n", withEntries);
  for (int32_t n = 0; n < nodeCount; ++n) {
    const qxKeyframeNode& node = kf->nodes[n];
    if (!node.entries || node.entryCount <= 0) continue;
    out.Print("NODE    %d\n", n);
    out.Print("MESH NAME %s\n", node.meshName);
    out.Print("ENTRIES %d\n", node.entryCount);
    out.Print("\n");
    out.Print(
        "# num:   frame:   flags:           x:           y:           z:           p:           "
        "y:           r:\n");
    out.Print(
        "#                                 dx:          dy:          dz:          dp:          "
        "dy:          dr:\n");
    for (int32_t i = 0; i < node.entryCount; ++i) {
      const qxKeyframeEntry& e = node.entries[i];
      out.Print(" %3d:  %7d   0x%04x %12.8f %12.8f %12.8f %12.8f %12.8f %12.8f\n", i,
                qxText_Truncate(e.frame), e.flags, static_cast<double>(e.position.x),
                static_cast<double>(e.position.y), static_cast<double>(e.position.z),
                static_cast<double>(e.orientation.x), static_cast<double>(e.orientation.y),
                static_cast<double>(e.orientation.z));
      out.Print(" %35.8f %12.8f %12.8f %12.8f %12.8f %12.8f\n",
                static_cast<double>(e.positionRate.x), static_cast<double>(e.positionRate.y),
                static_cast<double>(e.positionRate.z), static_cast<double>(e.orientationRate.x),
                static_cast<double>(e.orientationRate.y), static_cast<double>(e.orientationRate.z));
    }
    out.Print("\n");
  }
  hs->fileClose(file);
  return out.failed ? 0 : 1;
}
