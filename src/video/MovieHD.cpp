#include "video/MovieHD.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Language.h"
#include "platform/kv_Log.h"
#include "platform/kv_PlatformFile.h"
#include "platform/kv_Registry.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Thread.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "render/kv_Layouts.h"
#include "std/std.h"
#include "std/stdCallTable.h"
#include "std/stdFileUtil.h"
#include "video/KineVideoManager.h"
#include "video/kvaudio_AudioInterface.h"

namespace {

constexpr int kPathSize = 260;  // the path buffer, terminator included
constexpr char kFolder[] = "MoviesHD";
constexpr int kPrecachedFrames = 16;
constexpr int kBufferedFrames = 16;
constexpr float kCommentaryCeiling = 0.05f;
constexpr uint32_t kNoEndTime = 0xFFFFFFFFu;
constexpr int kVertexCount = 6;

// The per-movie end times: the game's cutscene names and the clip time in
// milliseconds at which each is over.
constexpr int kTableRows = 48;
constexpr int kTableNameSize = 64;
struct CutsceneRow {
  char name[kTableNameSize];
  uint32_t endTime;
};
struct CutsceneTable {
  CutsceneRow rows[kTableRows];
  int count = 0;
  bool read = false;
};
CutsceneTable g_table;

MovieHDState g_movie{};
DrawRecord g_record{};
// One bridge per clip comes from this factory; it lives as long as the program.
kvaudio_AudioInterfaceFactory g_audioFactory;

stdCallTable<MovieHDCalls> g_calls;

// ---- The movie -----------------------------------------------------------------------

// Deletes the manager with its clips and workers; the clip goes with it.
void DeleteManager() {
  delete g_movie.manager;
  g_movie.manager = nullptr;
  g_movie.clip = nullptr;
}

// "MoviesHD\<name>" with the first ".snm" replaced by ".ogv" (the path ends
// there). False for a name without ".snm" or one that does not fit.
bool FormPath(const char* name, char (&path)[kPathSize]) {
  if (!name) return false;
  const size_t folder = sizeof kFolder - 1;
  const size_t length = std::strlen(name);
  if (folder + 1 + length >= kPathSize) return false;
  std::memcpy(path, kFolder, folder);
  path[folder] = '\\';
  std::memcpy(path + folder + 1, name, length + 1);
  char* extension = std::strstr(path + folder + 1, ".snm");
  if (!extension) return false;
  std::memcpy(extension, ".ogv", 5);
  return true;
}

// A surface of the clip's picture size: the one left from an earlier movie
// when it has that size, else a new one.
void PrepareSurface(KineVideoClip* clip) {
  const int w = clip->GetPictureWidth();
  const int h = clip->GetPictureHeight();
  if (g_movie.surface) {
    int sw = 0, sh = 0;
    g_calls.live.surfaceGetInfo(g_movie.surface, &sw, &sh, nullptr);
    if (sw == w && sh == h) return;
    g_calls.live.surfaceRelease(g_movie.surface);
    g_movie.surface = nullptr;
  }
  g_movie.surface = g_calls.live.surfaceAllocate(w, h, kvFormat_8x4_RGB, 0);
}

// Copies the due frame's picture into the surface: the smaller of surface and
// picture in each direction, from the stream's picture offset.
void UploadFrame(KineVideoClip* clip, KineVideoFrame* frame) {
  const uint8_t* pixels = frame->GetBuffer();
  if (!pixels) return;
  int surfaceW = 0, surfaceH = 0;
  g_calls.live.surfaceGetInfo(g_movie.surface, &surfaceW, &surfaceH, nullptr);
  const int stride = frame->GetStride();
  const int picX = clip->GetPictureX(), picY = clip->GetPictureY();
  int w = std::min(clip->GetPictureWidth(), surfaceW);
  int h = std::min(clip->GetPictureHeight(), surfaceH);
  // The frame buffer holds stride x coded height pixels: never read past it.
  w = std::min(w, stride - picX);
  h = std::min(h, frame->GetHeight() - picY);
  if (w <= 0 || h <= 0 || picX < 0 || picY < 0) return;
  void* target = nullptr;
  int rowLength = 0;
  if (!g_calls.live.surfaceLock(kv_RenderContext_Get(), g_movie.surface, &target, &rowLength))
    return;
  if (target && rowLength > 0) {
    w = std::min(w, rowLength);
    const uint8_t* src = pixels + (static_cast<size_t>(picY) * stride + picX) * 4;
    auto* dst = static_cast<uint8_t*>(target);
    for (int r = 0; r < h; ++r) {
      std::memcpy(dst, src, static_cast<size_t>(w) * 4);
      src += static_cast<size_t>(stride) * 4;
      dst += static_cast<size_t>(rowLength) * 4;
    }
  }
  g_calls.live.surfaceUnlock(g_movie.surface, &target);
}

// ---- The cutscene table --------------------------------------------------------------

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n';
}

// The next field of a line into out (cut to size); its whole length, 0 when
// none is left.
size_t NextField(const char*& p, char* out, size_t size) {
  while (*p && IsSeparator(*p)) ++p;
  size_t n = 0;
  while (*p && !IsSeparator(*p)) {
    if (n + 1 < size) out[n] = *p;
    ++n;
    ++p;
  }
  out[n < size ? n : size - 1] = '\0';
  return n;
}

// Decimal digits only, within 32 bits.
bool ParseTime(const char* text, uint32_t* value) {
  if (!*text) return false;
  uint64_t v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + static_cast<uint64_t>(*p - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

void ParseRow(const char* line) {
  CutsceneRow& row = g_table.rows[g_table.count];
  const char* p = line;
  char field[kTableNameSize];
  const size_t length = NextField(p, row.name, sizeof row.name);
  if (length == 0 || row.name[0] == '#' || row.name[0] == ';') return;
  if (length >= sizeof row.name) {
    kv_Log_Printf("[Video] - cutscenes.txt: a name longer than %d characters is skipped: %s...",
                  kTableNameSize - 1, row.name);
    return;
  }
  row.endTime = kNoEndTime;
  if (NextField(p, field, sizeof field) > 0 && NextField(p, field, sizeof field) > 0 &&
      !ParseTime(field, &row.endTime)) {
    kv_Log_Printf("[Video] - cutscenes.txt: %s has an end time that is no number: %s", row.name,
                  field);
    row.endTime = kNoEndTime;
  }
  ++g_table.count;
}

}  // namespace

MovieHDCalls& MovieHD_Calls(void) {
  return g_calls.live;
}

void MovieHD_SetCalls(const MovieHDCalls* calls) {
  g_calls.Install(calls);
}

void MovieHD_ResetCalls(void) {
  g_calls.Reset();
  g_movie.program = nullptr;
}

const MovieHDState& MovieHD_GetState(void) {
  return g_movie;
}

int MovieHD_ReadCutsceneTable(void) {
  g_table.count = 0;
  g_table.read = true;
  if (!std_pHS || !std_pHS->fileOpen) return -1;
  const stdFile_t file = std_pHS->fileOpen("cutscenes.txt", "rb");
  if (!file) {
    kv_Log_Printf("[Video] - cutscenes.txt not found: no movie has an end time");
    return -1;
  }
  char line[512];
  // The rest of a line longer than the buffer is no row of its own.
  bool continuation = false;
  while (std_pHS->fileGets(file, line, sizeof line)) {
    const size_t n = std::strlen(line);
    const bool cut = n + 1 == sizeof line && line[n - 1] != '\n';
    if (!continuation) {
      if (g_table.count == kTableRows) {
        kv_Log_Printf("[Video] - cutscenes.txt: rows beyond %d ignored", kTableRows);
        break;
      }
      ParseRow(line);
    }
    continuation = cut;
  }
  std_pHS->fileClose(file);
  return g_table.count;
}

uint32_t MovieHD_GetEndTime(const char* name) {
  if (!g_table.read) MovieHD_ReadCutsceneTable();
  if (!name) return kNoEndTime;
  for (int i = 0; i < g_table.count; ++i) {
    if (std::strcmp(g_table.rows[i].name, name) == 0) return g_table.rows[i].endTime;
  }
  return kNoEndTime;
}

int MovieHD_GetAudioTrack(void) {
  switch (g_calls.live.languageGet()) {
    case 1:
      return 2;
    case 2:
      return 1;
    case 3:
      return 4;
    case 4:
      return 3;
    case 5:
      return 5;
    default:
      return 0;
  }
}

int MovieHD_Start(const char* name, int hold) {
  if (g_calls.live.isNoFmv()) return 0;
  DeleteManager();
  try {
    g_movie.manager = new KineVideoManager(1);
  } catch (...) {
    return 0;
  }
  char path[kPathSize];
  if (!FormPath(name, path)) {
    kv_Log_Printf("[Video] - no high-definition movie for %.64s: not a .snm name that fits",
                  name ? name : "(null)");
    return 0;
  }
  if (!g_calls.live.fileExists(path, "r")) return 0;
  kv_Log_Printf("[Video] - starting playback of %s", path);

  g_movie.lastClipTime = 0.0f;
  g_movie.buffering = 1;
  g_movie.running = 1;
  g_movie.nowTicks = g_movie.previousTicks = 0;
  g_movie.hold = hold != 0;
  g_movie.extraDraws = 0;
  try {
    // The player opens the host path that the data name resolves to.
    std::string host;
    stdFileUtil_ResolvePath(path, &host);
    g_movie.manager->SetAudioFactory(&g_audioFactory);
    g_movie.clip = g_calls.live.createClip(g_movie.manager, host.c_str(), TH_RGBX, kPrecachedFrames,
                                           0, static_cast<uint32_t>(MovieHD_GetAudioTrack()));
    if (g_movie.clip) g_movie.clip->Pause();
    g_movie.endTime = MovieHD_GetEndTime(name);
    if (g_movie.clip) PrepareSurface(g_movie.clip);
    g_movie.active = g_movie.clip != nullptr;
    return g_movie.active;
  } catch (...) {
    return 0;
  }
}

void MovieHD_Update(int final) {
  const uint32_t now = g_calls.live.getTicks();
  g_movie.nowTicks = now;
  if (g_movie.manager) {
    g_movie.manager->Update(static_cast<float>(now - g_movie.previousTicks) * 0.001f);
  }
  KineVideoClip* clip = g_movie.clip;
  // Without a clip there is nothing to touch or draw, whatever is owed.
  if (!g_movie.manager || !clip) {
    g_movie.previousTicks = now;
    return;
  }

  float gain = g_calls.live.readFloat("VoiceVolume", 127.0f) / 127.0f;
  if (g_movie.commentaryDuck == 1 && gain > kCommentaryCeiling) gain = kCommentaryCeiling;
  clip->SetAudioGain(gain);

  if (g_movie.buffering) {
    // A clip shorter than the buffer ends buffering once all of it is decoded.
    if (clip->GetReadyFrameCount() < kBufferedFrames && !clip->lastStepMetEnd.load()) {
      g_calls.live.fillBlack();
      g_movie.previousTicks = now;
      return;
    }
    g_movie.buffering = 0;
    clip->Play();
  }
  if (!g_movie.surface) {
    g_movie.previousTicks = now;
    return;
  }

  if (clip->GetTime() * 1000.0f >= static_cast<float>(g_movie.endTime)) {
    if (g_movie.running) g_movie.extraDraws = 1;
    g_movie.running = 0;
  }
  if (g_calls.live.audioFinished(clip)) {
    g_movie.running = 0;
    g_movie.active = 0;
  }

  if (KineVideoFrame* frame = clip->GetNextFrame(); frame && g_movie.running) {
    UploadFrame(clip, frame);
    clip->PopFrame();
  }

  bool draw = false;
  if (g_movie.extraDraws > 0) {
    --g_movie.extraDraws;
    draw = true;
  } else {
    draw = g_movie.running || (final && g_movie.hold);
  }
  if (draw) MovieHD_Draw();

  g_movie.lastClipTime = clip->GetTime();
  g_movie.previousTicks = now;
}

void MovieHD_Stop(void) {
  if (g_movie.manager && g_movie.clip) {
    kv_Log_Printf("[Video] - stopping playback of %s", g_movie.clip->GetName().c_str());
    g_movie.clip->Stop();
    g_movie.manager->DestroyClip(g_movie.clip);
    g_movie.clip = nullptr;
    if (g_movie.surface) g_calls.live.surfaceRelease(g_movie.surface);
    g_movie.surface = nullptr;
  }
  DeleteManager();
  g_movie.active = 0;
}

int MovieHD_IsActive(void) {
  if (!g_movie.hold || g_movie.running) return g_movie.active;
  return g_movie.extraDraws > 0 ? 1 : 0;
}

int MovieHD_IsRunning(void) {
  return g_movie.running;
}

void MovieHD_OnStopRequest(void) {}

int MovieHD_OnCutscenePlayerStart(void) {
  return 1;
}

int MovieHD_OnCutscenePlayerStop(void) {
  return 1;
}

float MovieHD_GetLastClipTime(void) {
  return g_movie.lastClipTime;
}

void MovieHD_SetCommentaryDuck(int duck) {
  g_movie.commentaryDuck = duck;
}

// ---- The quad ------------------------------------------------------------------------

const LayoutDescriptor* VideoQuadVertex_GetLayout(void) {
  return kv_Layout_GetDescriptor<VideoQuadVertex>();
}

const LayoutDescriptor* TexturedQuadConstants_GetLayout(void) {
  return kv_Layout_GetDescriptor<TexturedQuadConstants>();
}

const char* VideoQuadVertex_GetName(void) {
  return kv_Layout_GetName<VideoQuadVertex>();
}

const char* TexturedQuadConstants_GetName(void) {
  return kv_Layout_GetName<TexturedQuadConstants>();
}

kvVertexBuffer* VideoQuad_AllocateVertexBuffer(kvRenderContext* context, int vertexCount) {
  if (vertexCount <= 0) return nullptr;
  kvVertexBuffer* buffer = kv_VertexBuffer_AllocateTransient(
      context, static_cast<size_t>(vertexCount) * sizeof(VideoQuadVertex),
      VideoQuadVertex_GetLayout());
  // "Position" goes to attribute slot 2 and "TexCoord" to slot 1.
  if (buffer) kv_VertexBuffer_BindLayout<VideoQuadVertex>(buffer);
  return buffer;
}

void VideoQuad_FillVertices(kvVertexBuffer* buffer, float x, float y, float width, float height,
                            float uMin, float vMin, float uMax, float vMax) {
  // The renderer's quad: (x, y + height) takes (uMin, vMin), (x, y) (uMin, vMax).
  Quad_WriteVertices(x, y, width, height, uMin, vMin, uMax, vMax, buffer, 0);
}

void MovieHD_BuildQuad(float x, float y, float width, float height, float uMin, float vMin,
                       float uMax, float vMax, kvVertexBuffer** buffer) {
  *buffer = VideoQuad_AllocateVertexBuffer(kv_RenderContext_Get(), kVertexCount);
  if (*buffer) VideoQuad_FillVertices(*buffer, x, y, width, height, uMin, vMin, uMax, vMax);
}

void MovieHD_BindQuadConstants(kvConstantBlock* block, kvRenderContext* context, void** data) {
  kv_RenderContext_AllocConstants(block, context, sizeof(TexturedQuadConstants),
                                  TexturedQuadConstants_GetLayout());
  *data = block->data;
}

void MovieHD_Draw(void) {
  if (!g_movie.program) g_movie.program = g_calls.live.shaderLoad("textured_quad");
  if (!g_movie.surface) return;
  int sw = 0, sh = 0, bw = 0, bh = 0;
  g_calls.live.surfaceGetInfo(g_movie.surface, &sw, &sh, nullptr);
  g_calls.live.backBufferSize(&bw, &bh);
  if (sw <= 0 || sh <= 0 || bw <= 0 || bh <= 0) return;

  // Half extents in clip space: the picture keeps its aspect, pillar-boxed on
  // a back buffer wider than 4:3 and letterboxed on a narrower one; with the
  // widescreen setting it fills the height.
  const float a = 640.0f / static_cast<float>(bw);
  const float b = 480.0f / static_cast<float>(bh);
  const float aspect = static_cast<float>(sw) * 480.0f / (static_cast<float>(sh) * 640.0f);
  float x = aspect, y = b / a;
  if (a < b) {
    x = (static_cast<float>(sw) / static_cast<float>(bw)) /
        (static_cast<float>(sh) / static_cast<float>(bh));
    y = 1.0f;
  }
  if (g_calls.live.isWidescreen()) {
    x = aspect;
    y = 1.0f;
  }
  MovieHD_BuildQuad(-x, -y, 2.0f * x, 2.0f * y, 0.0f, 0.0f, 1.0f, 1.0f, &g_movie.quad);

  kvConstantBlock block{};
  void* data = nullptr;
  MovieHD_BindQuadConstants(&block, kv_RenderContext_Get(), &data);
  if (auto* constants = static_cast<TexturedQuadConstants*>(data)) {
    constants->MultiplyColor = {1.0f, 1.0f, 1.0f, 1.0f};
    constants->TexelSizeDesaturateGamma = {1.0f, 1.0f, 0.0f, g_calls.live.getGamma()};
  }

  g_record = DrawRecord{};
  g_record.primitiveKind = 4;
  g_record.program = g_movie.program;
  g_record.pixelConstants = block;
  g_record.depthCompare = 0;
  g_record.depthWrite = 0;
  g_record.blendEnabled = 0;
  g_record.textureCount = 1;
  g_record.textures[0] = g_movie.surface;
  g_record.samplerCount = 1;
  g_record.samplerStates[0] = {2, 1, 1, 1};
  g_record.vertexBuffer = g_movie.quad;
  g_record.indexBuffer = nullptr;
  g_record.first = 0;
  g_record.count = -2;
  g_record.scissorFlag = 0;
  // Without its program or its vertices the quad cannot be drawn (both
  // failures are logged where they happen).
  if (g_record.program && g_record.vertexBuffer) g_calls.live.overlayAdd(&g_record);
}
