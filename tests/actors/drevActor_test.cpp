// The actor table: growth in blocks that stay put, reuse of freed records,
// the selection, the extra block's defaults, and the occlusion enumeration.
#include "ActorTestSupport.h"

namespace {

using actortest::ActorTable;
using actortest::Assertions;

TEST_F(ActorTable, GrowsByBlocksWithoutMovingRecords) {
  EXPECT_EQ(drevActor_GetRecordCount(), 1024);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(drevActor_New(0, 0), i);
  Actor* early = drevActor_FromIndex(3);
  drevActor_CreateExtra(early);
  early->position = {1, 2, 3};
  drevActor_SetTalkingSlot(2, 3);
  drevActor_SetSelected(7);

  EXPECT_EQ(drevActor_New(0, 0), 1024);
  EXPECT_EQ(drevActor_GetRecordCount(), 1056);
  EXPECT_EQ(drevActor_GetInUseCount(), 1025);
  EXPECT_EQ(drevActor_FromIndex(3), early);
  EXPECT_EQ(early->position.y, 2.0f);
  EXPECT_EQ(drevActor_GetTalkingSlot(2), 3);
  EXPECT_EQ(drevActor_GetSelected(), 7);
  Actor* grown = drevActor_FromIndex(1024);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(drevActor_ToIndex(grown), 1024);
  EXPECT_EQ(grown->inUse, 1);
  EXPECT_EQ(grown->scale, 1.0f);
  EXPECT_EQ(drevActor_ToIndex(drevActor_FromIndex(1055)), 1055);
  // Outside the table there is no record.
  EXPECT_EQ(drevActor_FromIndex(1056), nullptr);
  EXPECT_EQ(drevActor_FromIndex(-1), nullptr);
  Actor outside{};
  EXPECT_EQ(drevActor_ToIndex(&outside), -1);
}

TEST_F(ActorTable, FreedRecordIsReusedFirst) {
  for (int i = 0; i < 3; ++i) drevActor_New(0, 0);
  Actor* a = drevActor_FromIndex(1);
  drevActor_CreateExtra(a);
  drevActor_EnsureWalkFrame(a, 1);
  drevActor_Free(a);
  EXPECT_EQ(a->inUse, 0);
  EXPECT_EQ(a->pExtra, nullptr);
  EXPECT_EQ(drevActor_GetInUseCount(), 2);
  EXPECT_EQ(drevActor_New(1, 1), 1);
  EXPECT_EQ(a->flags, ACTOR_OCCLUSION | ACTOR_SECTOR_WALKER);
  EXPECT_EQ(a->transformValid, 1);
  EXPECT_EQ(a->transform.y.y, 1.0f);
}

TEST_F(ActorTable, SelectionKeepsIndexesInsideTheTable) {
  struct Case {
    int index;
    int answer;
    int selected;
  };
  const Case cases[] = {{-1, -1, -1}, {1024, -1, -1}, {5, -1, 5},
                        {-7, 5, 5},   {1024, 5, 5},   {0, 5, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(drevActor_SetSelected(c.index), c.answer) << c.index;
    EXPECT_EQ(drevActor_GetSelected(), c.selected) << c.index;
  }
}

TEST_F(ActorTable, ExtraDefaultsAndItsAssertions) {
  Actor* a = drevActor_FromIndex(drevActor_New(0, 0));
  EXPECT_EQ(a->pExtra, nullptr);
  drevActor_CreateExtra(a);
  const ActorExtra* e = a->pExtra;
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->walkRate, 0.4f);
  EXPECT_EQ(e->turnRate, 135.0f);
  EXPECT_EQ(e->reflectionAngle, 60.0f);
  EXPECT_EQ(e->collisionScale, 1.0f);
  EXPECT_EQ(e->clipNormal.z, 1.0f);
  EXPECT_EQ(e->timeScale, 1.0f);
  EXPECT_EQ(e->talkColor, 0xFFFFFFu);
  EXPECT_EQ(e->invClipNode, -1);
  EXPECT_EQ(e->walkFrame, nullptr);
  EXPECT_EQ(e->activeShadow, 0);

  drevActor_CreateExtra(a);
  drevActor_CreateExtra(nullptr);
  ASSERT_EQ(Assertions().size(), 2u);
  EXPECT_EQ(Assertions()[0], "pActor && !pActor->pExtra");
  EXPECT_EQ(Assertions()[1], "pActor && !pActor->pExtra");
  EXPECT_EQ(a->pExtra, e);
  Assertions().clear();
}

TEST_F(ActorTable, OcclusionActorsAndNavigators) {
  Actor* walker = drevActor_FromIndex(drevActor_New(0, 1));
  Actor* plain = drevActor_FromIndex(drevActor_New(0, 0));
  Actor* lit = drevActor_FromIndex(drevActor_New(1, 0));
  EXPECT_EQ(drevActor_FirstNavigator(), plain);
  EXPECT_NE(walker, nullptr);
  EXPECT_EQ(drevActor_CountFlaggedActors(), 1);

  lit->rotation = {0, 90, 0};
  lit->scale = 2.0f;
  lit->position = {4, 5, 6};
  float m[12] = {};
  ASSERT_EQ(drevActor_GetFlaggedActorTransform(0, m), 1);
  // Yaw 90: the right axis points along +y, the forward axis along -x; scaled by 2 x 0.35.
  EXPECT_NEAR(m[1], 0.7f, 1e-3f);
  EXPECT_NEAR(m[3], -0.7f, 1e-3f);
  EXPECT_NEAR(m[8], 0.7f, 1e-3f);
  EXPECT_EQ(m[9], 4.0f);
  EXPECT_EQ(m[11], 6.0f);
  EXPECT_EQ(drevActor_GetFlaggedActorTransform(1, m), 0);
  EXPECT_EQ(drevActor_GetFlaggedActorTransform(5, m), 0);
}

TEST_F(ActorTable, TransformIsRebuiltWhenStale) {
  Actor* a = drevActor_FromIndex(drevActor_New(0, 0));
  const qxVector3 p{1, 2, 3};
  drevActor_SetPosition(a, &p, 0);
  EXPECT_EQ(a->transformValid, 0);
  const qxMatrix34* t = drevActor_GetTransform(a);
  EXPECT_EQ(a->transformValid, 1);
  EXPECT_EQ(t->t.x, 1.0f);
  EXPECT_EQ(t->t.z, 3.0f);
}

TEST_F(ActorTable, ShutdownEmptiesTheTableAndStartupMakesANewOne) {
  drevActor_New(0, 0);
  drevActor_SetSelected(0);
  EXPECT_EQ(drevActor_Startup(), 1);
  drevActor_Shutdown();
  EXPECT_EQ(drevActor_GetRecordCount(), 0);
  EXPECT_EQ(drevActor_FromIndex(0), nullptr);
  EXPECT_EQ(drevActor_New(0, 0), -1);
  EXPECT_EQ(drevActor_GetSelected(), -1);
  ASSERT_EQ(drevActor_Startup(), 0);
  EXPECT_EQ(drevActor_GetInUseCount(), 0);
}

}  // namespace
