// The costume module: binds the chore library's component tags to the 3D
// library and keeps every actor's costume stack.
//
// The module starts the chore library as a nested module and registers the
// fifteen component tags that decide what a costume can hold: models and
// the meshes, materials, colormaps and keyframes hung from them, sprites,
// bitmaps, sounds, cutscenes, two music tags and script variables. Each tag
// keeps an owner record per component (the component's hash) and, for the
// model tags, a record per costume instance; a playing chore's keys reach
// those records through the tags' callbacks.
//
// An actor wears a stack of CostumeNode records, each one costume instance
// plus the actor's head and chore settings for it. Nodes that share the top
// node's main model act as one: their chores all advance, and a pushed
// costume over the same model inherits the settings and the drawn list of
// the node below. Main thread only.
#pragma once

#include <cstdint>

#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "melos/Sounds.h"
#include "quadrix/qxMatrix.h"

struct ShadowSlot;
struct qxColormap;
struct qxSprite;
struct qxThing;

constexpr int kCostumeTalkChores = 16;
constexpr int kCostumeTagCount = 15;

// The component tags' codes: the four letters as they lie in memory. The
// cutscene tag holds TOLV reversed (the cutscene script handle's tag).
constexpr uint32_t kCostumeTagMainModel = Cos_MakeCode("MMDL");
constexpr uint32_t kCostumeTagModel = Cos_MakeCode("MODL");
constexpr uint32_t kCostumeTagColormap = Cos_MakeCode("cmap");
constexpr uint32_t kCostumeTagMesh = Cos_MakeCode("MESH");
constexpr uint32_t kCostumeTagMaterial = Cos_MakeCode("MAT ");
constexpr uint32_t kCostumeTagKeyframe = Cos_MakeCode("KEYF");
constexpr uint32_t kCostumeTagBitmap = Cos_MakeCode("BKND");
constexpr uint32_t kCostumeTagAnimation = Cos_MakeCode("anim");
constexpr uint32_t kCostumeTagStreamedSound = Cos_MakeCode("mlss");
constexpr uint32_t kCostumeTagResidentSound = Cos_MakeCode("mlls");
constexpr uint32_t kCostumeTagTolve = Cos_MakeCode("VLOT");
constexpr uint32_t kCostumeTagSprite = Cos_MakeCode("sprt");
constexpr uint32_t kCostumeTagSequence = Cos_MakeCode("mlse");
constexpr uint32_t kCostumeTagState = Cos_MakeCode("mlst");
constexpr uint32_t kCostumeTagLuaVar = Cos_MakeCode("luav");

// ---- Records -----------------------------------------------------------------------

// A model or sprite of a costume instance ('MMDL', 'MODL', 'sprt'); the
// records a costume node draws, linked through `next`. Instances of costumes
// stacked on one actor share the record of a same-named model component.
struct CostumeThingData {
  ResourceRef rModel;
  qxSprite* sprite;
  int32_t visible;
  int32_t resolveParentOffset;
  qxThing* thing;
  CostumeThingData* parentRecord;  // the model this one hangs from, null for a root
  int32_t parentNode;              // node of that parent model, -1 for a root
  qxColormap* colormap;
  int32_t refCount;
  ResourceRef rTracks[6];  // per puppet track, the keyframe playing on it
  CosInstHandle instance;  // the instance whose keyframe key last added a track
  CostumeThingData* next;
};

// One costume on an actor's stack: its instance plus the actor's head and
// chore settings for it.
struct CostumeNode {
  CosInstHandle instance;
  qxThing* mainModel;  // thing of the instance's first 'MMDL' component
  CostumeThingData* attached;
  int32_t headJoints[3];  // model node indexes, -1 none
  float lookRate;         // degrees per second
  float headLimitA;       // pitch limit, degrees
  float headLimitB;       // yaw limit, degrees
  float viewConeCos;      // cosine of half the view cone
  int32_t walkChore;
  int32_t turnChores[2];
  int32_t restChore;
  int32_t talkChores[kCostumeTalkChores];
  int32_t mumbleChore;
  ResourceRef rCostume;  // its object is the CosCostumeHandle
  CostumeNode* next;     // the node below
};

// Owner records: the components' hashes.
struct CostumeModelOwner {  // 'MMDL', 'MODL'
  ResourceRef rModel;
  int32_t resolveParentOffset;
};
struct CostumeKeyframeOwner {  // 'KEYF'
  ResourceRef rKeyframe;
  int32_t taggedPriority;
  int32_t normalPriority;
};
struct CostumeSpriteOwner {  // 'sprt'
  qxSprite* sprite;
  char materialName[32];
};
struct CostumeSoundOwner {  // mlss, mlls
  char name[32];
  uint8_t maxVolume;
  uint8_t pan;  // read as a signed byte
  int32_t priority;
  int32_t minVolume;
};

// Instance records of the parts hung from a model.
struct CostumeMeshData {  // 'MESH'
  CostumeThingData* modelData;
  int32_t node;
  int32_t visible;
};
struct CostumeMaterialData {  // 'MAT '
  CostumeThingData* modelData;
  int32_t material;  // index in the parent model's material list
  int32_t frame;     // the cel to show; -1 none
};
struct CostumeColormapData {  // 'cmap'
  CostumeThingData* modelData;
  ResourceRef rColormap;
};
struct CostumeKeyframeData {  // 'KEYF'
  CostumeThingData* modelData;
  ResourceRef rKeyframe;
  int32_t taggedPriority;
  int32_t normalPriority;
};

// The 16-byte image record that bitmap and material components publish per
// state: a non-zero marker when the image has pixels (a 32-bit field, as
// the record's layout is fixed), width, height and the constant 1.
struct CostumeImageRecord {
  uint32_t pixels;
  int32_t width;
  int32_t height;
  int32_t one;
};
static_assert(sizeof(CostumeImageRecord) == 16);

// ---- Module ------------------------------------------------------------------------

// 0 when the chore library initialised, else 1.
int drevCostume_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevCostume_Uninitialize(void);
// 0 when started, 1 when already started or the library would not start.
int drevCostume_Startup(void);
void drevCostume_Shutdown(void);
// The instance hook: every new instance starts with user value 0.
int drevCostume_InstanceHook(CosInstHandle instance, int mode);
// The shadow material that costume drawing loads once from "shadow.mat"; the
// engine forgets it when it frees every resource.
extern void* drevCostume_pShadowMaterial;

// ---- Costume stack -----------------------------------------------------------------

// The new top node over `below` (null: the stack's first node), for a new
// instance of the costume or for an existing instance.
CostumeNode* drevCostume_PushNode(CostumeNode* below, CosCostumeHandle costume,
                                  CosInstHandle instance);
// Stops the top node's chores, frees it; answers the node below.
CostumeNode* drevCostume_PopNode(CostumeNode* top, int freeInstance);
CostumeNode* drevCostume_ReplaceNode(CostumeNode* top, CosCostumeHandle costume,
                                     CosInstHandle instance);
// Frees the node and every node below it.
void drevCostume_FreeNodes(CostumeNode* node, int freeInstance);
// The thing of the instance's first 'MMDL' component, or null.
qxThing* drevCostume_FindMainModel(CosInstHandle instance);
void drevCostume_ResetInstance(CosInstHandle instance);
// The frame's chore clock: chores by whole milliseconds, puppets by the same step.
void drevCostume_UpdateChores(CostumeNode* top, float seconds);
void drevCostume_FadeInChore(CosInstHandle instance, int chore, int milliseconds);
void drevCostume_FadeOutChore(CosInstHandle instance, int chore, int milliseconds);

// ---- Drawing -----------------------------------------------------------------------

void drevCostume_Draw(CostumeNode* top, const qxMatrix34* placement);
void drevCostume_DrawShadow(CostumeNode* top, const ShadowSlot* shadow);
// Fills the shadow colormap with the colour and answers it (null when
// "shadow.cmp" does not load).
qxColormap* drevCostume_SetShadowColor(int red, int green, int blue);

// ---- Script functions --------------------------------------------------------------

void drevCostume_GetKeyLength(void);
void drevCostume_GetTolveLength(void);

// ---- Component tags ----------------------------------------------------------------

// Registers the fifteen tags in their fixed order; the number registered.
int drevCostume_RegisterTags(void);

int drevCostume_ModelApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                              int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_ModelAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name);
int drevCostume_ModelFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_ModelStop(uintptr_t data);
int drevCostume_ModelAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity);
uintptr_t drevCostume_ModelInstanceData(CosInstHandle instance, int component, int mode);

int drevCostume_ColormapApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                                 int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_ColormapAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                            uint32_t parentCode, const char* name);
int drevCostume_ColormapFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
uintptr_t drevCostume_ColormapInstanceData(CosInstHandle instance, int component, int mode);

int drevCostume_MeshApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key, int32_t sinceKey,
                             int32_t key2, int zero, CosInstHandle instance);
int drevCostume_MeshAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                        uint32_t parentCode, const char* name);
int drevCostume_MeshFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_MeshStop(uintptr_t data);
int drevCostume_MeshAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity);
uintptr_t drevCostume_MeshInstanceData(CosInstHandle instance, int component, int mode);

int drevCostume_MaterialApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                                 int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_MaterialAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                            uint32_t parentCode, const char* name);
int drevCostume_MaterialFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
uintptr_t drevCostume_MaterialInstanceData(CosInstHandle instance, int component, int mode);
int drevCostume_MaterialSaveInstanceData(CosInstHandle instance, int component, int mode,
                                         uintptr_t data, CosTransferFunc transfer);

int drevCostume_KeyframeApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                                 int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_KeyframeAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                            uint32_t parentCode, const char* name);
int drevCostume_KeyframeFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_KeyframeStop(uintptr_t data);
int drevCostume_KeyframeAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity);
uintptr_t drevCostume_KeyframeInstanceData(CosInstHandle instance, int component, int mode);
// The puppet track callback of keyframe tracks: (owner value of the thing,
// track, marker or 0 when the track ends).
void drevCostume_KeyframeTrackCallback(int32_t owner, int32_t track, int32_t marker);

int drevCostume_SpriteApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                               int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_SpriteAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                          uint32_t parentCode, const char* name);
int drevCostume_SpriteFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_SpriteAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity);
uintptr_t drevCostume_SpriteInstanceData(CosInstHandle instance, int component, int mode);

int drevCostume_BitmapApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                               int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_BitmapAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                          uint32_t parentCode, const char* name);
int drevCostume_BitmapFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);

int drevCostume_SoundApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                              int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_SoundAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name);
int drevCostume_SoundFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_SoundStop(uintptr_t data);
int drevCostume_SoundAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity);

int drevCostume_TolveApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                              int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_TolveAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name);
int drevCostume_TolveFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_TolveSaveInstanceData(CosInstHandle instance, int component, int mode,
                                      uintptr_t data, CosTransferFunc transfer);

int drevCostume_MusicApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                              int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_MusicAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name);
int drevCostume_MusicFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);

int drevCostume_LuaVarApplyKey(uint32_t code, uintptr_t data, int mode, int32_t key,
                               int32_t sinceKey, int32_t key2, int zero, CosInstHandle instance);
int drevCostume_LuaVarAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                          uint32_t parentCode, const char* name);
int drevCostume_LuaVarFree(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
int drevCostume_LuaVarStop(uintptr_t data);
int drevCostume_LuaVarAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity);

// ---- Chore tool: requester folders and the chore-numbering file --------------------

// The seven requester folders, in this order.
enum CostumeRequester {
  kRequesterKeyframes,
  kRequesterBitmaps,
  kRequesterColormaps,
  kRequesterMaterials,
  kRequesterModels,
  kRequesterSounds,
  kRequesterCutscenes,
  kRequesterCount
};
constexpr int kRequesterFolderSize = 256;

// Reads "Requesters\<name>"; when that leaves the folder empty, the data
// directory setting VoskDataDir joined with the default folder.
void drevCostume_LoadRequesterFolder(const char* defaultFolder, char* folder, const char* name);
// Writes a non-empty folder to "Requesters\<name>".
void drevCostume_StoreRequesterFolder(const char* folder, const char* name);
void drevCostume_LoadRequesterFolders(void);
void drevCostume_StoreRequesterFolders(void);
// The folder buffer of a requester.
char* drevCostume_GetRequesterFolder(int requester);
// The interactive choice of a file for an add callback: the chosen path, or
// null when nothing was chosen (always, in this system).
const char* drevCostume_RequestFile(int requester, const char* title, const char* filter);
// The costume save hook: writes the chore-numbering script beside a costume
// written back to its own file; 1 written, 0 refused or failed.
int drevCostume_WriteChoreList(const char* path, CosCostumeHandle costume, const char* comment);

// ---- Calls out of the module -----------------------------------------------------------
//
// The music system, the sets, the cutscene glue, the render module, the walk
// sectors and the scripts, reached through this table. It starts empty; the
// program installs their functions (drevCostume_SetCalls). Tests put fakes in
// a row and go back to the program's rows with drevCostume_ResetCalls.
struct DisplayBuffer;
struct Room;
struct Sector;
struct qxVector3;

struct drevCostumeCalls {
  // The music system.
  int (*soundIsPlaying)(SoundName name);
  int (*soundStart)(SoundName name, int priority, int group);
  int (*soundStartVoice)(const char* name, int volume, int pan);
  int (*soundSetParam)(SoundName sound, int parameter, int value);
  int (*soundStop)(SoundName sound);
  void (*soundStopVoice)(void);
  int (*soundSetHook)(SoundName name, int hook);
  // The sets' positional sounds.
  Room* (*roomGetCurrent)(void);
  void (*roomGetSoundParameters)(Room* room, float* range, int* minVolume, int* maxVolume,
                                 float* panFactor, float* nearDistance);
  int (*roomAddPositionalSound)(SoundName sound, const qxVector3* position, int minVolume,
                                int maxVolume, float range, float nearDistance);
  // Cutscenes.
  int (*startMovie)(const char* name, int fullScreen, int loop, int x, int y);
  float (*tolveGetLength)(const char* name);
  // The render module and the walk sectors, for drawing and shadows.
  void (*invalidateRect)(const int* rect, int restore);
  void (*applyGammaToPixels)(uint16_t* pixels, int count);
  int (*intersectLinePlane)(qxVector3* out, const qxVector3* p0, const qxVector3* p1, float a,
                            float b, float c, float d);
  int (*sectorClipPolygon)(const Sector* sector, const qxVector3* points, int count,
                           qxVector3* out);
  // The render module's display raster (null before it is open), which the
  // classic picture locks around a costume's draw.
  DisplayBuffer* (*renderDisplayRaster)(void);
  // The scripts' costume marker handler.
  int (*callMarkerHandler)(int actor, int marker);
};
drevCostumeCalls& drevCostume_Calls(void);
void drevCostume_SetCalls(const drevCostumeCalls* calls);
void drevCostume_ResetCalls(void);
