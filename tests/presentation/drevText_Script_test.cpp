// The text script functions, called from scripts.
#include <cstring>
#include <string>

#include "PresentationTestSupport.h"
#include "presentation/drevText.h"

namespace {

using presentation_test::g_seen;

// Reads SayLine's arguments as SayLine does and hands them back as globals.
void ReadSayLine() {
  SayLineArguments a;
  const int said = drevText_ReadSayLineArguments(&a);
  lua_pushnumber(static_cast<float>(said));
  lua_setglobal("said");
  lua_pushstring(a.text ? a.text : "");
  lua_setglobal("text");
  lua_pushnumber(static_cast<float>(drevActor_ToIndex(a.actor)));
  lua_setglobal("who");
  const int values[5] = {a.background, a.volume, a.pan, a.x, a.y};
  const char* names[5] = {"background", "volume", "pan", "x", "y"};
  for (int i = 0; i < 5; ++i) {
    lua_pushnumber(static_cast<float>(values[i]));
    lua_setglobal(names[i]);
  }
}

void PushFont() {
  static TextFont* font = nullptr;
  if (!font) TextFont_New("font.laf", &font);
  lua_pushusertag(font, kTagFont);
}

const lua_Reg kTestRows[] = {{"ReadSayLine", ReadSayLine}, {"TestFont", PushFont}};

class TextScript : public presentation_test::Presentation {
 protected:
  void SetUp() override {
    Presentation::SetUp();
    drevLua_OpenLibrary(kTestRows, 2);
  }
};

TEST_F(TextScript, PrintLineDefaultsAndDurations) {
  ASSERT_EQ(Run("PrintLine(nil, {y = 300})"), 0);
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(drevText_GetTemplate(TextTemplate::PrintLine)->y, 300);
  ASSERT_EQ(Run("PrintLine(\"abc\")"), 0);
  TextObject* line = drevText_First();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->timeLeft, 816);  // (3 x 3 + 40) x 16.666668
  EXPECT_EQ(line->homeY, 295);
  EXPECT_EQ(line->state, 0u);
  // The clip record is lowered to the raster; a copy's options stay its own.
  EXPECT_EQ(line->clip.width, 640);
  EXPECT_EQ(line->clip.height, 480);
  ASSERT_EQ(Run("PrintLine(\"abc\", {duration = 50, y = 10, width = 300})"), 0);
  EXPECT_EQ(drevText_First()->timeLeft, 50);
  EXPECT_EQ(drevText_First()->homeY, 5);
  EXPECT_EQ(drevText_GetTemplate(TextTemplate::PrintLine)->y, 300);
  EXPECT_EQ(drevText_GetTemplate(TextTemplate::PrintLine)->clip->width, 300);
  // Wrong types print nothing.
  ASSERT_EQ(Run("PrintLine({}) PrintLine(\"x\", 5)"), 0);
  EXPECT_EQ(Count(), 2);
  ASSERT_EQ(Run("going = IsMessageGoing()"), 0);
  EXPECT_EQ(Number("going"), 1.0f);
}

TEST_F(TextScript, Colours) {
  ASSERT_EQ(Run("a = MakeColor(255, 128, 0)\n"
                "b = MakeColor(300, -5, \"x\", 255)\n"
                "r, g, bl = GetColorComponents(a)\n"
                "none = GetColorComponents(5)"),
            0);
  EXPECT_EQ(UserValue("a"), 0x000080FFu);
  EXPECT_EQ(UserValue("b"), 0xFF0000FFu);
  EXPECT_EQ(Number("r"), 255.0f);
  EXPECT_EQ(Number("g"), 128.0f);
  EXPECT_EQ(Number("bl"), 0.0f);
  EXPECT_TRUE(IsNil("none"));

  Actor* actor = MakeActor("guy");
  ASSERT_EQ(Run("before = GetActorTalkColor(guy)\n"
                "SetActorTalkColor(guy, MakeColor(1, 2, 3))\n"
                "after = GetActorTalkColor(guy)"),
            0);
  EXPECT_TRUE(IsNil("before"));
  ASSERT_NE(actor->pExtra, nullptr);
  EXPECT_EQ(UserValue("after"), 0x030201u);
}

TEST_F(TextScript, SayLineArguments) {
  MakeActor("guy");
  ASSERT_EQ(Run("ReadSayLine(guy, 5)"), 0);
  EXPECT_EQ(Number("said"), 0.0f);  // a number only: no text
  ASSERT_EQ(Run("ReadSayLine(guy, \"hi\", 3)"), 0);
  EXPECT_EQ(Number("said"), 1.0f);
  EXPECT_EQ(String("text"), "hi");
  EXPECT_EQ(Number("background"), 0.0f);
  EXPECT_EQ(Number("volume"), 127.0f);
  EXPECT_EQ(Number("x"), -1.0f);
  // Tables: numbers replace non-zero values only; a later string wins.
  ASSERT_EQ(Run("ReadSayLine(guy, \"a\", {x = 10, volume = 0, pan = 9}, \"b\", "
                "{x = 20, volume = 50, background = 1})"),
            0);
  EXPECT_EQ(String("text"), "b");
  EXPECT_EQ(Number("x"), 20.0f);
  EXPECT_EQ(Number("volume"), 0.0f);
  EXPECT_EQ(Number("pan"), 9.0f);
  EXPECT_EQ(Number("background"), 0.0f);
  // Another type ends the call; no selected actor, no line.
  ASSERT_EQ(Run("ReadSayLine(guy, \"a\", ReadSayLine)"), 0);
  EXPECT_EQ(Number("said"), 0.0f);
  ASSERT_EQ(Run("ReadSayLine(\"a\")"), 0);
  EXPECT_EQ(Number("said"), 0.0f);
  drevActor_SetSelected(0);
  ASSERT_EQ(Run("ReadSayLine(\"by the selected\")"), 0);
  EXPECT_EQ(Number("said"), 1.0f);
  EXPECT_EQ(Number("who"), 0.0f);
  ASSERT_EQ(Run("SayLine(guy, \"spoken\") SetSayLineDefaults({fgcolor = MakeColor(9, 9, 9)})"), 0);
  EXPECT_EQ(drevText_GetTemplate(TextTemplate::SayLine)->fgColor, 0x090909u);
}

TEST_F(TextScript, MakeAndChangeTextObjects) {
  ASSERT_EQ(Run("obj, w, h = MakeTextObject(\"abcde\", {coords = 1, x = 100, layer = 2})"), 0);
  TextObject* o = TextGlobal("obj");
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(Number("w"), 20.0f);
  EXPECT_EQ(Number("h"), 6.0f);
  EXPECT_EQ(o->layout.coords, 1);
  EXPECT_EQ(o->clip.width, 1440);  // the screen rectangle in the 4:3 area's units
  EXPECT_EQ(o->homeX, 100);
  EXPECT_EQ(o->state, TEXT_PERSISTENT);
  EXPECT_EQ(drevText_LayerOf(o), 2);

  ASSERT_EQ(Run("p = GetTextCharPosition(obj, 1000)\n"
                "q = GetTextCharPosition(obj, 2)\n"
                "z = GetTextCharPosition(obj, -3)"),
            0);
  EXPECT_EQ(Number("p"), 20.0f);
  EXPECT_EQ(Number("q"), 8.0f);
  EXPECT_EQ(Number("z"), 0.0f);

  // Two tables, a string and a table, and a third argument ignored.
  g_seen.freed.clear();
  ASSERT_EQ(Run("ChangeTextObject(obj, {x = 10}, {highlight = 2})"), 0);
  EXPECT_EQ(o->layout.x, 10);
  EXPECT_EQ(o->layout.hiIndex, 2);
  EXPECT_EQ(g_seen.freed.size(), 1u);  // the home moved: the back ends drop their layout
  ASSERT_EQ(Run("w, h = ChangeTextObject(obj, \"abcdef\", {fgcolor = MakeColor(1, 2, 3)}, \"no\")"),
            0);
  EXPECT_STREQ(o->text, "abcdef");
  EXPECT_EQ(o->layout.fgColor, 0x030201u);
  EXPECT_EQ(Number("w"), 24.0f);
  ASSERT_EQ(Run("ChangeTextObject(obj, nil, \"skipped\")"), 0);
  EXPECT_STREQ(o->text, "abcdef");
  g_seen.freed.clear();
  ASSERT_EQ(Run("ChangeTextObject(obj, \"abcdef\")"), 0);
  EXPECT_TRUE(g_seen.freed.empty()) << "nothing changed: no notice";

  ASSERT_EQ(Run("KillTextObject(obj)"), 0);
  EXPECT_EQ(o->state & TEXT_PERSISTENT, 0u);
  drevText_DrawPass(1, 0);
  EXPECT_EQ(Count(), 0);
}

TEST_F(TextScript, DimensionsComeFromTheBackEnd) {
  ASSERT_EQ(Run("obj = MakeTextObject(\"measured\")\n"
                "empty = MakeTextObject(\"\")\n"
                "w0, h0, x0, y0 = GetTextObjectDimensions(obj, 0)"),
            0);
  EXPECT_EQ(Number("w0"), 0.0f);  // no back end measures: zeros
  g_seen.extent[0] = 1000;
  g_seen.extent[1] = 540;
  g_seen.extent[2] = 450;
  g_seen.extent[3] = 90;
  g_seen.lineHeight = 44;
  ASSERT_EQ(Run("w, h, x, y = GetTextObjectDimensions(obj, 0)\n"
                "we, he, xe, ye = GetTextObjectDimensions(empty, 0)\n"
                "nothing = GetTextObjectDimensions(obj)\n"
                "fh = GetFontDimensions(TestFont())"),
            0);
  EXPECT_EQ(Number("w"), 200.0f);
  EXPECT_EQ(Number("h"), 40.0f);
  EXPECT_EQ(Number("x"), 337.0f);
  EXPECT_EQ(Number("y"), 240.0f);
  EXPECT_EQ(Number("we"), 0.0f);
  EXPECT_EQ(Number("ye"), 0.0f);
  EXPECT_TRUE(IsNil("nothing"));
  EXPECT_EQ(Number("fh"), 44.0f);
}

TEST_F(TextScript, TranslationModeLocalizeAndEmergencyFont) {
  ASSERT_EQ(Run("SetTranslationMode(7) a = GetTranslationMode()\n"
                "SetTranslationMode(-1) b = GetTranslationMode()\n"
                "SetTranslationMode(1) SetTranslationMode(\"two\") c = GetTranslationMode()\n"
                "SetTranslationMode(nil) d = GetTranslationMode()"),
            0);
  EXPECT_EQ(Number("a"), 2.0f);
  EXPECT_EQ(Number("b"), 0.0f);
  EXPECT_EQ(Number("c"), 1.0f);
  EXPECT_EQ(Number("d"), 0.0f);

  ASSERT_EQ(Run("l1 = LocalizeString(\"/id7/Hello\")\n"
                "l2 = LocalizeString(\"plain\")"),
            0);
  EXPECT_EQ(String("l1"), "/id7/Hello");
  EXPECT_EQ(String("l2"), "//plain");

  ASSERT_EQ(Run("SetEmergencyFont(\"emergency.laf\")\n"
                "e = MakeTextObject(\"x\", {font = TestFont()})"),
            0);
  TextObject* e = TextGlobal("e");
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e->layout.font, TextFont_GetDefault());
  EXPECT_EQ(TextFont_GetLineHeight(e->layout.font), 0) << "the emergency font has no glyphs";
  ASSERT_EQ(Run("SetEmergencyFont(nil) f = MakeTextObject(\"x\") SetOffscreenTextPos(1, 2)"), 0);
  EXPECT_EQ(TextGlobal("f")->layout.font, TextFont_GetDefault());
}

TEST_F(TextScript, MessagesGoingBlastExpireAndPurge) {
  Actor* actor = MakeActor("guy");
  ASSERT_EQ(Run("MakeTextObject(\"stays\")\n"
                "a = IsMessageGoing()\n"
                "b = IsMessageGoing(guy)\n"
                "c = IsMessageGoing(5)"),
            0);
  EXPECT_TRUE(IsNil("a")) << "only persistent objects";
  EXPECT_TRUE(IsNil("b"));
  EXPECT_TRUE(IsNil("c"));
  drevActor_CreateExtra(actor);
  actor->pExtra->talking = 1;
  ASSERT_EQ(Run("b = IsMessageGoing(guy)"), 0);
  EXPECT_EQ(Number("b"), 1.0f);

  ASSERT_EQ(Run("BlastText(\"blasted\", {x = 5})"), 0);
  EXPECT_EQ(Count(), 1) << "blasted text is not kept";

  ASSERT_EQ(Run("PurgeText()"), 0);
  EXPECT_EQ(drevText_First()->timeLeft, -1);
  drevText_DrawPass(1, 0);
  EXPECT_EQ(Count(), 0);
}

}  // namespace
