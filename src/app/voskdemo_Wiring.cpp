// The program wires the house: the tables of calls and the hooks that the
// lower modules offer start empty, and are filled here with the real
// functions before the platform main starts.
#include "app/voskdemo.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "gfx/kv_File.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Shader.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_PlatformFile.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Save.h"
#include "presentation/drevRender.h"
#include "render/Deferred.h"
#include "render/Font.h"
#include "render/HardwareBackend.h"
#include "render/SoftwareBackend.h"
#include "script/drevLua.h"
#include "script/drevLua_KeyMapping.h"
#include "std/stdDevice3D.h"
#include "std/stdFileUtil.h"
#include "std/stdInput.h"

void voskdemo_InitRenderBackends(void) {
  // Linked programs are kept in the save folder, the one folder the program
  // writes to; the next start loads them instead of compiling.
  kv_Shader_SetProgramCacheFolder((kv_Save_GetWriteDirectory() + "ProgramCache/").c_str());
  RenderHookTable* hardware = InitHardwareBackend();
  RenderHookTable* deferred = InitDeferredBackend();
  RenderHookTable* software = InitSoftwareBackend();
  kv_RenderHooks_SetBackends(hardware, deferred, software);
  if (software) software->active = 0;
  if (deferred) deferred->active = 1;
  if (hardware) hardware->active = 1;
  // The scripts ask whether the new rendering can be chosen.
  drevRender_SetHardwareAccelerated(deferred ? 1 : 0);
  if (!deferred && software) {
    kv_Log_Printf("[OpenGL] The new rendering is not available: showing the classic rendering.");
    kv_RenderHooks_UseClassicOnly();
    software->active = 1;
    kv_RenderHooks_classicPicture = 1;
  }
}

void voskdemo_InstallCalls(void) {
  voskdemo_InstallEngineCalls();

  const kvPlatformGameHooks game = {voskdemo_Init,
                                    voskdemo_Tick,
                                    voskdemo_Shutdown,
                                    stdInput_KeyEvent,
                                    voskdemo_InitRenderBackends,
                                    kv_Platform_InitGFX};
  kv_Platform_SetGameHooks(&game);
  const kvPlatformFileCalls paths = {stdFileUtil_ResolvePath, stdFileUtil_ResolveWritePath,
                                     stdFileUtil_NoteEntryChanged};
  kv_PlatformFile_SetCalls(&paths);

  kvEngineKeyHooks keys{};
  keys.debugKeysEnabled = drevLua_IsDebugKeysEnabled;
  keys.toggleChoreTool = voskdemo_ToggleChoreTool;
  keys.toggleFrameRate = voskdemo_ToggleFrameRateDisplay;
  keys.togglePerformance = voskdemo_TogglePerformanceDisplay;
  keys.saveScreenImage = drevRender_SaveScreenImage;
  keys.saveZBufferImage = drevRender_SaveZBufferImage;
  keys.flushTextures = stdDevice3D_FlushTextures;
  keys.callPauseHandler = drevMain_CallPauseHandler;
  keys.callCharacterHandler = drevMain_CallCharacterHandler;
  kv_Platform_SetEngineKeyHooks(&keys);

  const kvRenderHooksHost host = {nullptr, nullptr, drevRender_GetResolutionScaling, nullptr};
  kv_RenderHooks_SetHost(&host);

  const kvRenderContextCalls context = {drevRender_InMovieMode, Font_RelayoutAll};
  kv_RenderContext_SetCalls(&context);
  const kvFileCalls files = {Res_FileOpen, Res_FileClose, Res_FileRead, Res_FileSizeByName,
                             Res_FileSeek};
  kv_File_SetCalls(&files);
  const stdInputMappingCalls mapping = {drevLua_IsKeyMappingMode, drevLua_KeyMapped};
  stdInput_SetMappingCalls(&mapping);

  voskdemo_InstallModuleCalls();
}
