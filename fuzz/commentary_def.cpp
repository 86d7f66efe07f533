// "commentary_def.txt": any bytes read as the commentary definitions, then
// every entry looked up, selected and played through its subtitles against
// fakes of the music host, the text module, the text cache and the overlays,
// and the "COMS" block saved and restored.
#include <cstdint>
#include <cstring>

#include "presentation/drevCommentary.h"
#include "presentation/drevText.h"
#include "save_fuzz_host.h"
#include "text_fuzz_host.h"

namespace {

// Room for every subtitle of one entry; a fake object is taken in turn.
TextObject g_texts[kCommentaryMaxLines];
int g_nextText = 0;
int g_position = 0;

drevCommentaryCalls FuzzCalls() {
  drevCommentaryCalls c{};
  c.startSound = [](SoundName, int, int) { return 1; };
  c.stopSound = [](SoundName) { return 1; };
  c.soundParam = [](SoundName, int) { return g_position; };
  c.groupVolume = [](int, int) { return 64; };
  c.movieActive = [] { return 1; };
  c.setMovieDucking = [](int) {};
  c.translate = [](const char* text, char*) { return text; };
  c.createText = [](const TextLayout*, const char* text) {
    TextObject* object = &g_texts[g_nextText++ % kCommentaryMaxLines];
    std::memset(object, 0, sizeof *object);
    std::strncpy(object->text, text, sizeof object->text - 1);
    return object;
  };
  c.registerText = [](TextObject* object, int, uint32_t) { return object; };
  c.destroyText = [](TextObject*) {};
  c.lineCount = [](TextObject* object) { return static_cast<uint32_t>(std::strlen(object->text)); };
  c.lineValues = [](TextObject*, int32_t* counts, uint32_t max) {
    for (uint32_t i = 0; i < max; ++i) counts[i] = static_cast<int32_t>(i * 7);
    return max;
  };
  c.createStrip = [](const char*, int, int, int) { return 1; };
  c.destroyOverlay = [](int) {};
  c.notifyScripts = [](int) {};
  c.readSetting = [](const char*, int) { return 1; };
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  text_fuzz::Serve(data, size);
  drevCommentary_Initialize(nullptr, nullptr);
  drevCommentary_Calls() = FuzzCalls();
  drevCommentary_LoadDefinitions();
  for (int i = 0; i < drevCommentary_GetEntryCount(); ++i) {
    const CommentaryEntry* entry = drevCommentary_GetEntry(i);
    char name[kCommentaryNameLength + 1] = {};
    std::memcpy(name, entry->name, kCommentaryNameLength);
    drevCommentary_Select(name);
    drevCommentary_TogglePlay();
    for (int l = 0; l < entry->lineCount; ++l) {
      for (int32_t at : {entry->lines[l].start, entry->lines[l].end, entry->lines[l].end + 1}) {
        g_position = at;
        drevCommentary_Update();
      }
    }
    drevCommentary_StopImmediately();
  }
  save_fuzz::g_written.clear();
  drevCommentary_Save(save_fuzz::Write);
  save_fuzz::Serve(save_fuzz::g_written.data(), save_fuzz::g_written.size());
  drevCommentary_Restore(save_fuzz::Read);
  return 0;
}
