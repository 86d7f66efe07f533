// Text objects: creation, passes with fades and expiry, layers, software
// drawing, draw information, say-line objects, translation, handles, and
// the "TEXS" block.
#include "presentation/drevText.h"

#include <cstring>
#include <string>
#include <vector>

#include "PresentationTestSupport.h"
#include "presentation/GRAPH.h"
#include "std/stdDisplay.h"

namespace {

using presentation_test::g_seen;

class Text : public presentation_test::Presentation {
 protected:
  TextObject* Make(const char* text, int time = 0, uint32_t state = TEXT_PERSISTENT) {
    return drevText_Register(drevText_Create(drevText_GetTemplate(TextTemplate::TextObject), text),
                             time, state);
  }
};

// The text module runs the 8-bit canvas's slots with its own: started with
// it, stopped with it, and free again once the text module is uninitialised.
TEST_F(Text, TheCanvasModuleLivesAndDiesWithTheTextModule) {
  EXPECT_EQ(1, Graph_Startup()) << "already started by the text module";
  text_.shutdown();
  EXPECT_EQ(0, Graph_Startup()) << "stopped with the text module";
  Graph_Shutdown();
  text_.uninitialize();
  EXPECT_EQ(1, Graph_Startup()) << "no longer initialised";
  ASSERT_EQ(0, drevText_Initialize(&hs_, &text_));
  ASSERT_EQ(0, text_.startup());
}

TEST_F(Text, TextsAreCutTo8191Characters) {
  const std::string a(8191, 'a'), b(8192, 'b');
  TextObject* whole = Make(a.c_str());
  TextObject* cut = Make(b.c_str());
  EXPECT_EQ(a, whole->text);
  EXPECT_EQ(std::string(8191, 'b'), cut->text);
}

TEST_F(Text, CreateAndRegisterPlaceTheObject) {
  TextObject* o = drevText_Create(drevText_GetTemplate(TextTemplate::TextObject), "hi");
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(Count(), 0);  // not listed before it is registered
  EXPECT_EQ(o->layout.clip, &o->clip);
  const TextClip game{0, 0, 640, 480};
  EXPECT_EQ(0, std::memcmp(&o->clip, &game, sizeof game));
  EXPECT_EQ(o->layout.fgColor, 10u);
  EXPECT_EQ(o->lineCount, 999999);
  drevText_Register(o, 5, TEXT_PERSISTENT);
  EXPECT_EQ(drevText_First(), o);
  EXPECT_EQ(o->homeY, 195);  // pen y 200 less the built-in font's baseline 5
  EXPECT_EQ(o->layout.y, 195);
  // Mode 1 and other modes keep the screen rectangle in their own units.
  TextLayout wide = *drevText_GetTemplate(TextTemplate::TextObject);
  wide.coords = 1;
  TextObject* w = drevText_Create(&wide, "w");
  EXPECT_EQ(w->clip.width, 1440);
  EXPECT_EQ(w->clip.x, 0);
  drevText_Destroy(w);
}

TEST_F(Text, PassesExpireFadeAndDrawByLayer) {
  TextObject* gone = Make("gone", 0, 0);
  drevText_DrawPass(1, 0);
  EXPECT_EQ(Count(), 0);
  EXPECT_TRUE(g_seen.drawn.empty()) << "destroyed in the pass without being drawn";
  EXPECT_EQ(g_seen.freed, std::vector<void*>{gone});

  // Layer bits 0x10 and 0x80 together: layer 1.
  TextObject* both = Make("both");
  both->layout.flags |= TEXT_LAYER_1 | TEXT_LAYER_2;
  EXPECT_EQ(drevText_LayerOf(both), 1);
  drevText_DrawPass(1, 2);
  EXPECT_TRUE(g_seen.drawn.empty());
  drevText_DrawPass(1, 1);
  EXPECT_EQ(g_seen.drawn, std::vector<TextObject*>{both});
  drevText_Destroy(both);

  // Fade in: full alpha after 18 passes.
  TextObject* in = Make("in");
  in->layout.flags |= TEXT_FADE_IN;
  in->layout.alpha = 0;
  for (int i = 0; i < 17; ++i) drevText_DrawPass(1, 0);
  EXPECT_LT(in->layout.alpha, 1.0f);
  drevText_DrawPass(1, 0);
  EXPECT_EQ(in->layout.alpha, 1.0f);
  EXPECT_EQ(in->layout.flags & TEXT_FADE_IN, 0u);
  drevText_Destroy(in);

  // Fade out with 0x1000: destroyed in the pass in which alpha reaches 0.
  TextObject* out = Make("out");
  out->layout.flags |= TEXT_FADE_OUT_DESTROY;
  for (int i = 0; i < 17; ++i) drevText_DrawPass(1, 0);
  ASSERT_EQ(Count(), 1);
  g_seen.drawn.clear();
  drevText_DrawPass(1, 0);
  EXPECT_EQ(Count(), 0);
  EXPECT_TRUE(g_seen.drawn.empty());
}

TEST_F(Text, PassesWithoutAllDrawOnlyEveryPassObjectsButAgeAll) {
  TextObject* line = Make("line", 100, 0);
  TextObject* say = Make("say", 100, TEXT_EVERY_PASS);
  TextObject* hidden = Make("hidden", 100, TEXT_EVERY_PASS | TEXT_HIDDEN);
  line->layout.flags |= TEXT_FADE_OUT;
  drevText_DrawPass(0, 0);
  EXPECT_EQ(g_seen.drawn, std::vector<TextObject*>{say});
  EXPECT_EQ(line->timeLeft, 84);
  EXPECT_EQ(hidden->timeLeft, 84);
  EXPECT_LT(line->layout.alpha, 1.0f);
  drevText_SuspendDrawing();
  drevText_DrawPass(1, 0);
  EXPECT_EQ(line->timeLeft, 84);
  drevText_ResumeDrawing();
}

TEST_F(Text, SoftwareDrawingGoesIntoTheOverlayBuffer) {
  TextObject* o = Make("X");
  o->layout.fgColor = drevText_PackColor(255, 0, 0, 255);
  o->layout.flags = TEXTFONT_CENTRE;
  o->homeX = 100;
  o->homeY = 50;
  // Outside a pass the canvas has no pixels: nothing is written.
  ASSERT_EQ(drevText_DrawTextObject(o, 0), 1);
  DisplayBuffer* overlay = drevText_GetOverlayBuffer();
  ASSERT_NE(overlay, nullptr);
  ASSERT_EQ(drevText_LockOverlayBuffer(), 1);
  ASSERT_EQ(drevText_PointCanvasAt(overlay), 1);
  drevText_DrawTextObject(o, 0);
  drevText_ResetCanvas();
  const auto* px = static_cast<const uint16_t*>(overlay->pixels);
  // 'X' centred at 100: its cell starts at 98; its top-left pixel is set.
  EXPECT_EQ(px[50 * 640 + 98], 0xF800);
  EXPECT_EQ(px[50 * 640 + 99], 0);
  EXPECT_EQ(drevText_GetSharedPalette()[0], 0xF800);
  EXPECT_EQ(drevText_GetSharedPalette()[3], 0xFA49);  // 75 brighter: (255, 75, 75)
  EXPECT_EQ(o->layout.fgColor, drevText_PackColor(255, 0, 0, 255));
  EXPECT_EQ(o->layout.hiColor, 3u);
  drevText_UnlockOverlayBuffer();
}

TEST_F(Text, DrawInfoForTheHardwareRenderer) {
  TextLayout layout = *drevText_GetTemplate(TextTemplate::TextObject);
  layout.x = 320;
  layout.y = 100;
  layout.flags = TEXTFONT_CENTRE | TEXT_ANCHOR_MIDDLE;
  TextObject* o = drevText_Register(drevText_Create(&layout, "centred"), 0, TEXT_PERSISTENT);
  const char* text = nullptr;
  float x = 0, y = 0, justify = -1, anchor = -1, alpha = 0;
  int clip[4] = {}, wrap = 0, first = -1, lines = -1;
  void* font = nullptr;
  ASSERT_EQ(
      1, drevText_GetTextObjectDrawInfo(o, &text, &x, &y, clip, nullptr, nullptr, nullptr, nullptr,
                                        &font, &justify, &first, &lines, &wrap, &anchor, &alpha));
  EXPECT_STREQ(text, "centred");
  EXPECT_EQ(x, 960.0f);
  EXPECT_EQ(y, (95 - 5) * 1080 / 480);
  EXPECT_EQ(justify, 0.5f);
  EXPECT_EQ(wrap, 1440);
  EXPECT_EQ(anchor, 0.5f);
  EXPECT_EQ(std::vector<int>(clip, clip + 4), (std::vector<int>{240, 0, 1440, 1080}));
  EXPECT_EQ(font, static_cast<void*>(TextFont_GetDefault()));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(lines, 999999);
  EXPECT_EQ(alpha, 1.0f);
  // Right and left justification measure from the clip edges.
  o->layout.flags = TEXTFONT_RIGHT | TEXT_ANCHOR_BOTTOM;
  drevText_GetTextObjectDrawInfo(o, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &justify, nullptr, nullptr, &wrap, &anchor,
                                 nullptr);
  EXPECT_EQ(justify, 1.0f);
  EXPECT_EQ(wrap, 720);
  EXPECT_EQ(anchor, 1.0f);
  // An object without a font gets the built-in one and is no longer persistent.
  o->layout.font = nullptr;
  drevText_GetTextObjectDrawInfo(o, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr);
  EXPECT_EQ(o->layout.font, TextFont_GetDefault());
  EXPECT_EQ(o->state & TEXT_PERSISTENT, 0u);
}

TEST_F(Text, SayLineObjectsAndTheirOwners) {
  Actor* actor = MakeActor("talker");
  drevActor_CreateExtra(actor);
  actor->pExtra->talkColor = 0x00FF00;
  TextObject* say = drevText_MakeSayLineObject(actor, "hello", -1, -1);
  ASSERT_NE(say, nullptr);
  EXPECT_EQ(say->layout.x, 320);
  EXPECT_EQ(say->layout.y, 440);
  EXPECT_EQ(say->clip.x, 35);
  EXPECT_EQ(say->clip.y, 0);
  EXPECT_EQ(say->clip.width, 568);
  EXPECT_EQ(say->clip.height, 480);
  EXPECT_EQ(say->layout.flags, 0x65u);
  EXPECT_EQ(say->layout.fgColor, 0x00FF00u);
  EXPECT_EQ(say->owner, actor);
  EXPECT_NE(actor->flags & ACTOR_NO_FRUSTUM_CULL, 0u);
  actor->pExtra->sayLineText = drevText_Register(say, -1, 0xD);
  // Destroyed by a pass after PurgeText: the owner forgets it.
  ASSERT_EQ(Run("PurgeText()"), 0);
  drevText_DrawPass(1, 0);
  EXPECT_EQ(actor->pExtra->sayLineText, nullptr);
  EXPECT_EQ(Count(), 0);
  // ExpireText destroys say-lines at once and only gives the others -1.
  actor->pExtra->sayLineText =
      drevText_Register(drevText_MakeSayLineObject(actor, "again", 10, 20), -1, 0xD);
  TextObject* other = Make("stays until the pass", 100, TEXT_PERSISTENT);
  ASSERT_EQ(Run("ExpireText()"), 0);
  EXPECT_EQ(actor->pExtra->sayLineText, nullptr);
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(other->timeLeft, -1);
}

TEST_F(Text, TranslationModes) {
  char id[32];
  EXPECT_STREQ(drevText_TranslateText("/m12/Hello", id), "Hello");
  EXPECT_STREQ(id, "m12");
  EXPECT_STREQ(drevText_TranslateText("plain", id), "plain");
  EXPECT_STREQ(id, "");
  drevText_SetTranslationMode(1);
  EXPECT_STREQ(drevText_TranslateText("no id here", nullptr), "no id here");
  EXPECT_STREQ(drevText_TranslateText("/m1/fallback", nullptr), "fallback");
  drevText_SetTranslationMode(2);
  EXPECT_STREQ(drevText_TranslateText("/m1/fallback", nullptr), "/m1/fallback");
  const std::string longId = "/" + std::string(40, 'i') + "/t";
  drevText_TranslateText(longId.c_str(), id);
  EXPECT_EQ(std::string(id), std::string(31, 'i'));
  drevText_SetTranslationMode(0);
}

TEST_F(Text, StaleHandlesAreIgnoredAfterExpiryAndPoolReuse) {
  ASSERT_EQ(Run("old = MakeTextObject(\"old\")\n"
                "KillTextObject(old)"),
            0);
  TextObject* before = TextGlobal("old");
  ASSERT_NE(before, nullptr);
  drevText_DrawPass(1, 0);  // time 0, no longer persistent: gone
  EXPECT_EQ(TextGlobal("old"), nullptr);
  ASSERT_EQ(Run("new = MakeTextObject(\"new\")"), 0);
  EXPECT_EQ(TextGlobal("new"), before) << "the pool hands the same item out again";
  ASSERT_EQ(Run("ChangeTextObject(old, \"changed\")\n"
                "w = GetTextCharPosition(old, 3)\n"
                "KillTextObject(old)"),
            0);
  EXPECT_STREQ(before->text, "new");
  EXPECT_TRUE(IsNil("w"));
  EXPECT_NE(before->state & TEXT_PERSISTENT, 0u);
}

using presentation_test::g_at;
using presentation_test::g_block;
using presentation_test::Read;
using presentation_test::Write;

TEST_F(Text, SaveAndRestoreReverseTheList) {
  Actor* actor = MakeActor("a");
  TextObject* first = Make("first", 0, TEXT_PERSISTENT);
  TextObject* second = Make("second", 250, 0);
  second->owner = actor;
  second->layout.flags |= TEXT_LAYER_3;
  const int64_t firstId = first->savedId, secondId = second->savedId;
  g_block.clear();
  ASSERT_EQ(drevText_Save(Write), 0);
  EXPECT_EQ(g_block.size(), 4 + 2 * (8192 + 8 + 8 + 8 + 19 * 4 + 4 + 4 + 8) + 24);

  g_at = 0;
  ASSERT_EQ(drevText_Restore(Read), 0);
  EXPECT_EQ(g_at, g_block.size());
  TextObject* head = drevText_First();
  ASSERT_NE(head, nullptr);
  EXPECT_STREQ(head->text, "first");  // saved from the head: restored reversed
  EXPECT_STREQ(head->next->text, "second");
  TextObject* b = drevText_FindBySavedId(static_cast<uint32_t>(secondId), 0);
  ASSERT_EQ(b, head->next);
  EXPECT_EQ(drevText_FindBySavedId(static_cast<uint32_t>(firstId), 0), head);
  EXPECT_EQ(b->owner, actor);
  EXPECT_EQ(b->timeLeft, 250);
  EXPECT_EQ(b->layout.font, TextFont_GetDefault()) << "the built-in font comes back";
  EXPECT_EQ(b->layout.clip, &b->clip);
  EXPECT_EQ(drevText_LayerOf(b), 3);
  // New objects never reuse a restored serial.
  EXPECT_GT(Make("later")->savedId, std::max(firstId, secondId));
}

TEST_F(Text, RestoreRefusesShortAndBadBlocks) {
  Make("one", 0, TEXT_PERSISTENT);
  g_block.clear();
  ASSERT_EQ(drevText_Save(Write), 0);
  // An owner outside the actor table becomes none; texts are terminated.
  const size_t record = 4;
  std::memset(&g_block[record], 'z', 8192);
  const size_t owner = record + 8192 + 24 + 19 * 4;
  const int32_t far = 1 << 30;
  std::memcpy(&g_block[owner], &far, 4);
  g_at = 0;
  ASSERT_EQ(drevText_Restore(Read), 0);
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(std::strlen(drevText_First()->text), 8191u);
  EXPECT_EQ(drevText_First()->owner, nullptr);
  // Any short read: failure with an empty list.
  for (size_t cut : {size_t{0}, size_t{2}, size_t{100}, g_block.size() - 1}) {
    std::vector<uint8_t> whole = g_block;
    g_block.resize(cut);
    g_at = 0;
    EXPECT_EQ(drevText_Restore(Read), 1) << cut;
    EXPECT_EQ(Count(), 0) << cut;
    g_block = whole;
  }
}

}  // namespace
