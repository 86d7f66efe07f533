// The program's wiring fills every row of the upper modules' tables: a row
// left empty would be a call through null the first time a game reaches it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "presentation/drevCommentary.h"
#include "presentation/drevRender.h"
#include "render/DeferredScene.h"
#include "render/RenderHost.h"
#include "script/drevLua_Calls.h"
#include "vembra/drevTolve.h"
#include "video/MovieHD.h"

namespace {

// The tables hold function pointers only: the index of the first empty row, or -1.
template <class Calls>
int FirstEmptyRow(const Calls& calls) {
  static_assert(sizeof(Calls) % sizeof(void (*)()) == 0, "a table of function pointers");
  constexpr int kRows = sizeof(Calls) / sizeof(void (*)());
  for (int i = 0; i < kRows; ++i) {
    void (*row)() = nullptr;
    std::memcpy(&row, reinterpret_cast<const char*>(&calls) + i * sizeof row, sizeof row);
    if (!row) return i;
  }
  return -1;
}

TEST(ProgramWiring, FillsEveryRowOfTheUpperTables) {
  EXPECT_EQ(FirstEmptyRow(RenderHost_Calls()), -1) << "RenderHostCalls";
  EXPECT_EQ(FirstEmptyRow(drevRender_Calls()), -1) << "drevRenderCalls";
  EXPECT_EQ(FirstEmptyRow(drevCommentary_Calls()), -1) << "drevCommentaryCalls";
  EXPECT_EQ(FirstEmptyRow(drevActor_Calls()), -1) << "drevActorCalls";
  EXPECT_EQ(FirstEmptyRow(drevCostume_Calls()), -1) << "drevCostumeCalls";
  EXPECT_EQ(FirstEmptyRow(drevLua_Calls()), -1) << "drevLuaCalls";
  EXPECT_EQ(FirstEmptyRow(drevTolve_Calls()), -1) << "drevTolveCalls";
  EXPECT_EQ(FirstEmptyRow(MovieHD_Calls()), -1) << "MovieHDCalls";
  EXPECT_EQ(FirstEmptyRow(DeferredScene()), -1) << "DeferredSceneCalls";
}

// A fake goes in a row; reset brings back the program's row, not an empty one.
TEST(ProgramWiring, ResetGoesBackToTheProgramsRows) {
  const auto program = drevActor_Calls().textHide;
  drevActor_Calls().textHide = [](TextObject*) {};
  drevActor_ResetCalls();
  EXPECT_EQ(drevActor_Calls().textHide, program);
  EXPECT_NE(program, nullptr);
}

}  // namespace
