// The resource binding: type handlers, budget, data directories and the
// resource report.
#include "engine/drevResource.h"

#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/drevRoom.h"
#include "melos/Sounds.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "presentation/TextFont.h"
#include "presentation/drevRender.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/stdBitmap.h"
#include "std/stdFileUtil.h"
#include "std/stdMemory.h"

namespace {

HostServices* gServices = nullptr;
int gInitialized = 0;
int gStarted = 0;
int64_t gBudget = kResourceDefaultBudget;
int64_t gPurge = kResourceDefaultPurge;
int gRestoring = 0;
std::string gDataPath;

// The data folders below each data directory, in scan order.
constexpr const char* kDataFolders[] = {"Animation",
                                        "Backgrounds",
                                        "Costumes",
                                        "Colormaps",
                                        "Commentary",
                                        "Fonts",
                                        "Materials",
                                        "MaterialsHD",
                                        "Models",
                                        "Movies",
                                        "Objects",
                                        "Scripts",
                                        "Sets",
                                        "Voices",
                                        "Footsteps",
                                        "Hotspots",
                                        "Images",
                                        "ImagesHD",
                                        "ImagesHD/concepts",
                                        "ImagesHD/cutscenes",
                                        "ImagesHD/saveimages",
                                        "SFX",
                                        "Loops",
                                        "L3d",
                                        "SetX",
                                        "DEBUG_Animation",
                                        "DEBUG_Backgrounds",
                                        "DEBUG_Costumes",
                                        "DEBUG_Colormaps",
                                        "DEBUG_Fonts",
                                        "DEBUG_Materials",
                                        "DEBUG_Models",
                                        "DEBUG_Movies",
                                        "DEBUG_Objects",
                                        "DEBUG_Scripts",
                                        "DEBUG_Sets",
                                        "DEBUG_Voices",
                                        "DEBUG_Footsteps",
                                        "DEBUG_SFX",
                                        "DEBUG_Loops"};
static_assert(sizeof kDataFolders / sizeof kDataFolders[0] == 40);

HostServices* Services() {
  return gServices ? gServices : std_pHS;
}

// ---- Type handlers ------------------------------------------------------------

// Lip-sync data: the whole file, read through the music host's file layer
// (compressed files come out decompressed).
int SyncHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("SYNC")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      SoundFileRecord* record = Sounds_LoadSoundFile(request->name);
      if (!record) return 0;
      const int added = Res_Add(request->tag, request->name, record);
      if (added != kResLoaded) Sounds_FreeSoundFile(record);
      return added;
    }
    case kResOpFree:
      Sounds_FreeSoundFile(static_cast<SoundFileRecord*>(request->object));
      return 1;
    case kResOpSize:
      request->size = request->object ? static_cast<SoundFileRecord*>(request->object)->size : 0;
      return 1;
  }
  return 0;
}

// Fonts: records without glyphs (the hardware renderer draws them with its
// high-definition faces), registered and then locked.
int FontHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("FONT")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      TextFont* font = nullptr;
      if (TextFont_New(request->name, &font) != 0 || !font) return 0;
      const int added = Res_Add(request->tag, request->name, font);
      if (added != kResLoaded) {
        TextFont_Free(font);
        return added;
      }
      Res_Lock(font);
      return added;
    }
    case kResOpFree:
      TextFont_Free(static_cast<TextFont*>(request->object));
      return 1;
    case kResOpSize:
      request->size = 1;
      return 1;
  }
  return 0;
}

// Backgrounds: any image file by its extension. Raw RGB pictures go through
// the display gamma table and get the magenta colour key of RGB565 (through
// the table too) on every frame.
constexpr uint32_t kBackgroundColorKey = 0xF81F;

// Every row of every 16-bit frame through the display's pixel table, under a
// lock of the frame.
void ApplyBackgroundGamma(Bitmap* bitmap) {
  for (int i = 0; bitmap->frames && i < bitmap->frameCount; ++i) {
    DisplayBuffer* frame = bitmap->frames[i];
    if (!frame || frame->format.format.bitsPerPixel != 16) continue;
    if (!stdDisplay_LockBuffer(frame)) continue;
    for (int y = 0; frame->pixels && y < frame->format.height; ++y) {
      drevRender_ApplyGammaToPixels(
          reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(frame->pixels) +
                                      static_cast<int64_t>(y) * frame->format.bytesPerRow),
          frame->format.width);
    }
    stdDisplay_UnlockBuffer(frame);
  }
}

// Every frame's colour key: magenta through the gamma table.
void SetBackgroundFrameKeys(Bitmap* bitmap) {
  for (int i = 0; bitmap->frames && i < bitmap->frameCount; ++i) {
    if (bitmap->frames[i]) {
      stdDisplay_SetBufferColorKey(bitmap->frames[i], drevRender_ConvertPixel(kBackgroundColorKey));
    }
  }
}

// A background by its name (an extension decides the reader); null when it
// does not load.
Bitmap* LoadBackground(const char* name) {
  char path[512];
  if (std::strlen(name) >= sizeof path - 4) return nullptr;
  std::strcpy(path, name);
  return std_LoadImage(path, sizeof path, 0, 0);
}

int BackgroundHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("BKND")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      Bitmap* bitmap = LoadBackground(request->name);
      if (!bitmap) return 0;
      if (bitmap->storageType == STDBITMAP_RAW && bitmap->format.colorMode == 1) {
        ApplyBackgroundGamma(bitmap);
        SetBackgroundFrameKeys(bitmap);
      }
      const int added = Res_Add(request->tag, request->name, bitmap);
      if (!added) stdBitmap_Free(bitmap);
      return added;
    }
    case kResOpFree:
      stdBitmap_Free(static_cast<Bitmap*>(request->object));
      return 1;
    case kResOpSize:
      request->size = stdBitmap_GetMemorySize(static_cast<const Bitmap*>(request->object));
      return 1;
  }
  return 0;
}

// Colormaps: the 16-bit light tables are built for the program's RGB565
// pixels and passed through the display gamma table.
const ColorFormat kColormapFormat565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};

void ApplyColormapGamma(uint16_t* table, int count) {
  drevRender_ApplyGammaToPixels(table, count);
}

void PrepareColormapTables(qxColormap* colormap) {
  if (!colormap->lightTable16) return;
  qxColormap_Build16BitTables(colormap->lightTable16, colormap->palette, 0, 0, 0,
                              &kColormapFormat565);
  ApplyColormapGamma(colormap->lightTable16, kColormapLightEntries);
}

int ColormapHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("CMAP")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      qxColormap* colormap = qxColormap_Load(request->name);
      if (!colormap) return 0;
      PrepareColormapTables(colormap);
      const int added = Res_Add(request->tag, request->name, colormap);
      if (added != kResLoaded) qxColormap_Free(colormap);
      return added;
    }
    case kResOpFree:
      qxColormap_Free(static_cast<qxColormap*>(request->object));
      return 1;
    case kResOpSize:
      request->size = qxColormap_GetMemorySize(static_cast<const qxColormap*>(request->object));
      return 1;
  }
  return 0;
}

// Keyframes play at 15 frames per second whatever their file says.
constexpr float kKeyframeRate = 15.0f;

int KeyframeHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("KEYF")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      qxKeyframe* keyframe = qxKeyframe_Load(request->name);
      if (!keyframe) return 0;
      keyframe->rate = kKeyframeRate;
      const int added = Res_Add(request->tag, request->name, keyframe);
      if (added != kResLoaded) qxKeyframe_Free(keyframe);
      return added;
    }
    case kResOpFree:
      qxKeyframe_Free(static_cast<qxKeyframe*>(request->object));
      return 1;
    case kResOpSize: {
      // The budget's figures of the keyframe record, its nodes and entries.
      const auto* keyframe = static_cast<const qxKeyframe*>(request->object);
      uint64_t size = 132;
      for (int32_t i = 0; keyframe->nodes && i < keyframe->nodeCount; ++i) {
        size += 44 + 56 * static_cast<uint64_t>(keyframe->nodes[i].entryCount);
      }
      request->size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
      return 1;
    }
  }
  return 0;
}

// Materials: a missing one is served by the default material "dflt.mat",
// registered under the missing name, so later requests for that name find it.
int MaterialHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("MAT ")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      auto* material =
          static_cast<qxMaterial*>(Services()->memAlloc(sizeof(qxMaterial), __FILE__, __LINE__));
      if (!material) return 0;
      bool loaded = qxMaterial_LoadEntry(request->name, material, 0, 0) != 0;
      if (!loaded) {
        qxMaterial_FreeEntry(material);  // what the failed read built
        loaded = qxMaterial_LoadEntry("dflt.mat", material, 0, 0) != 0;
      }
      const int added = loaded ? Res_Add(request->tag, request->name, material) : kResFailed;
      if (added != kResLoaded) {
        qxMaterial_FreeEntry(material);
        Services()->memFree(material);
        return added;
      }
      Res_Lock(material);
      return added;
    }
    case kResOpFree: {
      auto* material = static_cast<qxMaterial*>(request->object);
      qxMaterial_FreeEntry(material);
      Services()->memFree(material);
      return 1;
    }
    case kResOpSize:
      request->size = 0;
      return 1;
  }
  return 0;
}

// The 3D library's material hooks: materials that models and sprites name
// come from the resource manager, shared, and stay locked while in use.
qxMaterial* LoadMaterialHook(const char* name, int, int) {
  auto* material = static_cast<qxMaterial*>(drevResource_Get("MAT ", name));
  if (!material) return nullptr;
  if (material->useCount == 0) Res_Lock(material);
  ++material->useCount;
  return material;
}

void UnloadMaterialHook(qxMaterial* material) {
  if (!material) return;
  if (material->useCount > 0) --material->useCount;
  if (material->useCount == 0) Res_Unlock(material);
}

qxMaterialLoaderFn gPreviousMaterialLoader = nullptr;
qxMaterialUnloaderFn gPreviousMaterialUnloader = nullptr;

int ModelHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("MODL")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      qxModel3* model = qxModel3_Load(request->name);
      if (!model) return 0;
      const int added = Res_Add(request->tag, request->name, model);
      if (added != kResLoaded) qxModel3_Free(model);
      return added;
    }
    case kResOpFree:
      qxModel3_Free(static_cast<qxModel3*>(request->object));
      return 1;
    case kResOpSize:
      request->size = 1;
      return 1;
  }
  return 0;
}

// Sets: a set file read into a Room.
int SetHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("SET ")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      Room* room = drevRoom_Create(request->name);
      if (!room) return 0;
      const int status = Res_Add(request->tag, request->name, room);
      if (status != kResLoaded) drevRoom_Destroy(room);
      return status;
    }
    case kResOpFree:
      drevRoom_Destroy(static_cast<Room*>(request->object));
      return 1;
    case kResOpSize:
      request->size = request->object ? static_cast<Room*>(request->object)->memorySize : 0;
      return 1;
  }
  return 0;
}

// Depth images: the first frame of an image file.
int ZBufferHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("ZBUF")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      DisplayBuffer* buffer = drevRoom_LoadZBufferImage(request->name);
      if (!buffer) return 0;
      const int status = Res_Add(request->tag, request->name, buffer);
      if (status != kResLoaded) drevRoom_FreeZBufferImage(buffer);
      return status;
    }
    case kResOpFree:
      drevRoom_FreeZBufferImage(static_cast<DisplayBuffer*>(request->object));
      return 1;
    case kResOpSize: {
      const auto* buffer = static_cast<const DisplayBuffer*>(request->object);
      request->size = buffer ? static_cast<uint32_t>(buffer->format.byteSize) : 0;
      return 1;
    }
  }
  return 0;
}

int CostumeHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("COST")) return 0;
  switch (request->operation) {
    case kResOpLoad: {
      const CosCostumeHandle costume = Cos_Load(request->name);
      if (!costume) return 0;
      return Res_Add(request->tag, request->name,
                     reinterpret_cast<void*>(static_cast<intptr_t>(costume)));
    }
    case kResOpFree:
      Cos_Free(static_cast<CosCostumeHandle>(reinterpret_cast<intptr_t>(request->object)));
      return 1;
    case kResOpSize:
      request->size = 1;
      return 1;
  }
  return 0;
}

// Sounds are not loaded through the resource manager.
int SoundHandler(ResourceRequest*) {
  return 0;
}

// A block of memory kept as a resource.
struct MemoryResource {
  void* block;
  uint32_t size;
};

int MemoryHandler(ResourceRequest* request) {
  if (request->tag != Res_Tag("MEM ")) return 0;
  switch (request->operation) {
    case kResOpLoad:
      return 1;  // nothing is registered: a fetch by name yields null
    case kResOpFree: {
      auto* record = static_cast<MemoryResource*>(request->object);
      if (record) {
        Services()->memFree(record->block);
        Services()->memFree(record);
      }
      return 1;
    }
    case kResOpSize:
      request->size = request->object ? static_cast<MemoryResource*>(request->object)->size : 0;
      return 1;
  }
  return 0;
}

struct TagHandler {
  uint32_t tag;
  ResourceTypeHandler handler;
};
const TagHandler kHandlers[] = {
    {Res_Tag("BKND"), BackgroundHandler}, {Res_Tag("COST"), CostumeHandler},
    {Res_Tag("CMAP"), ColormapHandler},   {Res_Tag("FONT"), FontHandler},
    {Res_Tag("KEYF"), KeyframeHandler},   {Res_Tag("MAT "), MaterialHandler},
    {Res_Tag("MODL"), ModelHandler},      {Res_Tag("SET "), SetHandler},
    {Res_Tag("SND "), SoundHandler},      {Res_Tag("SYNC"), SyncHandler},
    {Res_Tag("ZBUF"), ZBufferHandler},    {Res_Tag("MEM "), MemoryHandler}};

// The chore library saves only the costumes that something still holds.
int CostumeSaveFilter(CosCostume* costume) {
  if (!costume) return 0;
  return Res_RefCount(Res_FindObject(Res_Tag("COST"), costume->name));
}

void Progress(int) {
  Sounds_Update();
}

// ---- Module --------------------------------------------------------------------

void Uninitialize() {
  Res_Uninitialize();
  gServices = nullptr;
  gInitialized = 0;
}

int Startup() {
  if (gStarted) return 1;
  if (Res_Startup() != 0) return 1;
  bool ok = true;
  for (const TagHandler& h : kHandlers) {
    if (Res_RegisterHandler(h.tag, h.handler) != kResLoaded) ok = false;
  }
  Res_InstallFileServices(Services());
  gPreviousMaterialLoader = qxMaterial_SetLoader(LoadMaterialHook);
  gPreviousMaterialUnloader = qxMaterial_SetUnloader(UnloadMaterialHook);
  Res_SetProgressCallback(Progress);
  Cos_RegisterSaveVerify(CostumeSaveFilter);
  if (!ok) return 1;
  gStarted = 1;
  return 0;
}

void Shutdown() {
  Res_Shutdown();
  qxMaterial_SetLoader(gPreviousMaterialLoader);
  qxMaterial_SetUnloader(gPreviousMaterialUnloader);
  for (const TagHandler& h : kHandlers) Res_UnregisterHandler(h.tag);
  Res_RestoreFileServices(Services());
  Res_SetProgressCallback(nullptr);
  gStarted = 0;
}

// The entry of a folder whose name matches without regard to case (exact
// spelling first); empty when there is none.
std::string FindEntryNoCase(const std::string& folder, const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(folder + "/" + name, ec)) return folder + "/" + name;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (strcasecmp(entry.c_str(), name.c_str()) == 0 && it->is_directory(ec)) {
      return folder + "/" + entry;
    }
  }
  return std::string();
}

}  // namespace

int drevResource_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  gServices = services;
  const int result = Res_Initialize(services, nullptr);
  if (result != 0) return result;
  gInitialized = 1;
  if (descriptor) {
    descriptor->uninitialize = Uninitialize;
    descriptor->startup = Startup;
    descriptor->shutdown = Shutdown;
    descriptor->save = Res_Save;
    descriptor->restore = Res_Restore;
  }
  return 0;
}

void drevResource_SetBudget(int64_t limit, int64_t purge) {
  if (limit) gBudget = limit;
  if (purge) gPurge = purge;
}

void drevResource_GetBudget(int64_t* limit, int64_t* purge) {
  if (limit) *limit = gBudget;
  if (purge) *purge = gPurge;
}

void* drevResource_Get(const char* tag, const char* name) {
  void* object = Res_Get(Res_TagOf(tag), name);
  if (!object) return nullptr;
  if (gRestoring || stdMemory_GetAllocatedBytes() <= gBudget) return object;
  // Hold the fetched resource so that the purge cannot take it.
  ResourceRef hold{};
  Res_AddRef(&hold, object, __FILE__, __LINE__);
  uint32_t freed = 0;
  const uint32_t wanted = gPurge > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(gPurge);
  Res_PurgeUnreferenced(wanted, &freed);
  Res_ReleaseRef(&hold);
  return object;
}

void drevResource_SetRestoring(int restoring) {
  gRestoring = restoring;
}

int drevResource_IsRestoring(void) {
  return gRestoring;
}

void drevResource_SetDataPath(const char* path) {
  gDataPath = path ? path : "";
}

int drevResource_ScanDirectory(const char* path) {
  std::string dir(path ? path : "");
  for (char& c : dir)
    if (c == '\\') c = '/';
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  // The -p folder is the player's own host path, not a data name: one that
  // climbs ("../data") is taken from the current folder as it stands.
  if (!dir.empty() && dir[0] != '/' &&
      (dir == ".." || dir.rfind("../", 0) == 0 || dir.find("/../") != std::string::npos ||
       (dir.size() >= 3 && dir.compare(dir.size() - 3, 3, "/..") == 0))) {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) dir = std::string(cwd) + "/" + dir;
  }
  // The directory itself may be named in another letter case (the -p option).
  // It becomes a search root of the resolver: its files may be read, and no
  // name leads out of it.
  dir = dir.empty() ? std::string(".") : stdFileUtil_AddSearchRoot(dir.c_str());
  if (dir.empty()) return 0;  // no folder
  if (FileUtilFind* find = FileUtil_NewFind(dir.c_str(), kFileUtilFindExtension, "lab")) {
    FileUtilFindResult result;
    while (FileUtil_FindNext(find, &result)) {
      if (result.attributes & kFileUtilDirectoryFlag) continue;
      const std::string archive = dir + "/" + result.name;
      if (Res_OpenPack(archive.c_str())) Res_MovePackToFront(archive.c_str());
    }
    FileUtil_DisposeFind(find);
  }
  if (!Res_OpenPack((dir + "/").c_str())) return 0;
  for (const char* folder : kDataFolders) {
    // Data copied from elsewhere comes in any letter case: match each part.
    std::string host = dir;
    const std::string name(folder);
    size_t start = 0;
    while (!host.empty() && start <= name.size()) {
      const size_t slash = name.find('/', start);
      const std::string part =
          name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      host = FindEntryNoCase(host, part);
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    if (host.empty()) continue;
    host += "/";
    if (Res_OpenPack(host.c_str())) Res_MovePackToFront(host.c_str());
  }
  return 1;
}

int drevResource_ScanDataDirectories(void) {
  stdFileUtil_ClearSearchRoots();
  char current[4096];
  const int length = kv_Platform_GetCurrentDirectory(sizeof current, current);
  if (length <= 0 || length >= static_cast<int>(sizeof current)) {
    std::printf("Could not find current directory!\n");
  } else {
    drevResource_ScanDirectory(current);
  }
  if (!gDataPath.empty() && (length <= 0 || strcasecmp(gDataPath.c_str(), current) != 0)) {
    drevResource_ScanDirectory(gDataPath.c_str());
  }
  return 1;
}

int drevResource_DetachPacks(void) {
  Res_ClosePacks();
  return 1;
}

void drevResource_OpenResourceLog(const char* name) {
  Res_OpenLog(name);
}

int drevResource_WriteReport(void) {
  return Res_Report("Vosk.res", nullptr);
}

void drevResource_ReloadBackgrounds(void) {
  const uint32_t tag = Res_Tag("BKND");
  for (ResourceRecord* r = Res_First(tag); r; r = Res_Next(r, tag)) {
    auto* bitmap = static_cast<Bitmap*>(r->object);
    if (!bitmap) continue;
    if (bitmap->storageType == STDBITMAP_RAW) {
      // The file's pixels again, under the bitmap that holders point at.
      const char* name = r->spelling ? r->spelling : r->name;
      Bitmap* fresh = LoadBackground(name);
      if (fresh && fresh->storageType == STDBITMAP_RAW &&
          std::memcmp(&fresh->format, &bitmap->format, sizeof bitmap->format) == 0) {
        std::swap(bitmap->frames, fresh->frames);
        std::swap(bitmap->frameCount, fresh->frameCount);
        if (bitmap->format.colorMode == 1) ApplyBackgroundGamma(bitmap);
      } else {
        kv_Log_Printf(
            "[Res] - %s: the background could not be loaded again as it was; its "
            "pixels stay",
            name);
      }
      stdBitmap_Free(fresh);
    }
    bitmap->colorKey = drevRender_ConvertPixel(kBackgroundColorKey);
    SetBackgroundFrameKeys(bitmap);
  }
}

void drevResource_ReloadColormaps(void) {
  const uint32_t tag = Res_Tag("CMAP");
  for (ResourceRecord* r = Res_First(tag); r; r = Res_Next(r, tag)) {
    PrepareColormapTables(static_cast<qxColormap*>(r->object));
  }
}

namespace {
void* ObjectOf(const ResourceRef* ref, const char* complaint) {
  if (ref && ref->valid) return ref->object;
  kv_Log_Printf("[Res] - %s", complaint);
  return nullptr;
}
}  // namespace

void* drevResource_CostumeFromRef(const ResourceRef* ref) {
  return ObjectOf(ref, "Bad costume Reference");
}
void* drevResource_BitmapFromRef(const ResourceRef* ref) {
  return ObjectOf(ref, "Bad Bitmap Reference");
}
void* drevResource_KeyframeFromRef(const ResourceRef* ref) {
  return ObjectOf(ref, "Bad keyframe Reference");
}
void* drevResource_ModelFromRef(const ResourceRef* ref) {
  return ObjectOf(ref, "Bad model Reference");
}
