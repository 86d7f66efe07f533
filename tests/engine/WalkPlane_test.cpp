// Walk sectors: the vertex database, the sector lists, the "sectors" section
// reader and writer, and the geometric queries.
#include "engine/WalkPlane.h"

#include <random>

#include "WalkTestSupport.h"

namespace {

using walktest::Square;
using walktest::WalkWorld;

class Sectors : public WalkWorld {};

TEST_F(Sectors, SharedCornersAreOneReferenceCountedEntry) {
  const int before = WalkPlane_GetVertexCount();
  Read(Square("left", 0, 0, 1, 1) + Square("right", 1.00005f, 0, 2, 1));
  EXPECT_EQ(WalkPlane_GetVertexCount(), before + 6);
  Sector* left = Named("left");
  Sector* right = Named("right");
  ASSERT_TRUE(left && right);
  EXPECT_EQ(left->verts[1], right->verts[0]);  // (1, 0) within 0.0001
  EXPECT_EQ(left->verts[1]->refCount, 2);
  WalkVertex* shared = left->verts[1];
  Sector_Free(left);
  EXPECT_EQ(shared->refCount, 1);
  EXPECT_EQ(WalkPlane_GetVertexCount(), before + 4);
  Sector_Free(right);
  EXPECT_EQ(shared->refCount, 0);
  EXPECT_EQ(WalkPlane_GetVertexCount(), before);
}

TEST_F(Sectors, EdgeCasesOfTheRules) {
  Read(Square("first", 0, 0, 1, 1) + Square("second", 1, 0, 2, 1) +
       "\tsector cam\n\ttype camera\n\tdefault visibility visible\n\tnumvertices 3\n"
       "\tvertices: 0 0 0\n\t4 0 0\n\t0 4 0\n"
       "\tsector funnel5\n\ttype funnel\n\tdefault visibility visible\n\tnumvertices 5\n"
       "\tvertices: 20 0 0\n\t21 0 0\n\t21 1 0\n\t20.5 1.5 0\n\t20 1 0\n"
       "\tsector hidden\n\ttype walk\n\tnumvertices 3\n\tvertices: 5 5 0\n\t6 5 0\n\t5 6 0\n"
       "\tsector last\n\ttype special\n\tdefault visibility on\n\theight 2.5\n\tnumvertices 3\n"
       "\tvertices: 9 9 0\n\t10 9 0\n\t9 10 0\n");
  // A point on the shared edge is in both; the lookup finds the one read last.
  const qxVector3 onEdge{1, 0.5f, 0};
  EXPECT_TRUE(Sector_ContainsPoint(Named("first"), &onEdge, 1));
  EXPECT_TRUE(Sector_ContainsPoint(Named("second"), &onEdge, 1));
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&onEdge, SECTOR_WALK), Named("second"));
  // Height: 0.005 for walk sectors; camera sectors without a height keep 9999.
  const qxVector3 low{0.5f, 0.5f, 0.004f}, high{0.5f, 0.5f, 0.006f};
  EXPECT_TRUE(Sector_ContainsPoint(Named("first"), &low, 1));
  EXPECT_FALSE(Sector_ContainsPoint(Named("first"), &high, 1));
  EXPECT_FLOAT_EQ(Named("cam")->height, 9999.0f);
  // A five-sided funnel reads back as a walk sector.
  EXPECT_EQ(Named("funnel5")->type, SECTOR_WALK);
  // Visibility: any word but "invisible" shows; no line hides.
  EXPECT_EQ(Named("last")->visible, 1);
  EXPECT_EQ(Named("hidden")->visible, 0);
  // The last sector of the section gets its height too.
  EXPECT_FLOAT_EQ(Named("last")->height, 2.5f);
  // Mask tests, names ignoring case, ids.
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&low, SECTOR_CAMERA), Named("cam"));
  EXPECT_EQ(WalkPlane_FindSectorByName("FIRST"), Named("first"));
  EXPECT_EQ(WalkPlane_FindSectorById(0), WalkPlane_GetSectors());
}

TEST_F(Sectors, FunnelNarrowEndIsTheShorterOfTheNearlyParallelSides) {
  struct Case {
    const char* vertices;
    int narrow;
  };
  // 2 long, 0.5 wide at one end and 1 wide at the other, in each rotation.
  const Case cases[] = {
      {"0 -0.25 0\n\t2 -0.5 0\n\t2 0.5 0\n\t0 0.25 0", 3},  // narrow end from vertex 3 to 0
      {"2 -0.5 0\n\t2 0.5 0\n\t0 0.25 0\n\t0 -0.25 0", 2},
      {"-0.25 0 0\n\t0.25 0 0\n\t0.5 2 0\n\t-0.5 2 0", 0},
      {"-0.5 0 0\n\t0.5 0 0\n\t0.25 2 0\n\t-0.25 2 0", 2},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string set = "funnel" + std::to_string(n++) + ".set";
    Read(
        std::string("\tsector f\n\ttype funnel\n\tnumvertices 4\n\tvertices: ") + c.vertices + "\n",
        set);
    Sector* f = Named("f");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->type, SECTOR_FUNNEL) << c.vertices;
    EXPECT_EQ(f->funnelEdge, c.narrow) << c.vertices;
  }
}

TEST_F(Sectors, NearestSectorByClamping) {
  Read(Square("near", 0, 0, 1, 1) + Square("far", 5, 0, 6, 1));
  const qxVector3 outside{1.5f, 0.5f, 0};
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&outside, SECTOR_WALK), nullptr);
  EXPECT_EQ(WalkPlane_FindNearestSector(&outside, SECTOR_WALK), Named("near"));
  EXPECT_EQ(WalkPlane_FindNearestSector(&outside, SECTOR_CAMERA), nullptr);
  Named("near")->visible = 0;
  EXPECT_EQ(WalkPlane_FindNearestSector(&outside, SECTOR_WALK), Named("far"));
  Named("far")->enabled = 0;
  EXPECT_EQ(WalkPlane_FindNearestSector(&outside, SECTOR_WALK), nullptr);
  Named("far")->enabled = 1;
}

TEST_F(Sectors, TraceExitAngleAndCrossing) {
  Read(Square("room", 0, 0, 1, 1));
  Sector* room = Named("room");
  qxVector3 out{7, 7, 7}, edge{7, 7, 7};
  const qxVector3 centre{0.5f, 0.5f, 0}, inside{0.6f, 0.6f, 0};
  EXPECT_EQ(Sector_TraceExit(room, &centre, &inside, &out, &edge), 0.0f);
  EXPECT_EQ(out.x, 7.0f);  // untouched
  EXPECT_EQ(room->crossedEdge, -1);

  struct Case {
    qxVector3 from, to;
    float angle;  // the turn that lines the move up with the wall
    qxVector3 crossing;
    int edge;
  };
  const Case cases[] = {
      // Straight at the bottom and at the right wall: 0.2 past a right angle.
      {{0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}, -90.2f, {0.5f, 0, 0}, 1},
      {{0.5f, 0.5f, 0}, {1.5f, 0.5f, 0}, -90.2f, {1, 0.5f, 0}, 2},
      // 30 degrees down onto the bottom wall, moving right: turn left by 30.2.
      {{0.1f, 0.3f, 0}, {0.1f + 0.8660254f, 0.3f - 0.5f, 0}, 30.2f, {0.6196152f, 0, 0}, 1},
  };
  for (const Case& c : cases) {
    const float angle = Sector_TraceExit(room, &c.from, &c.to, &out, &edge);
    EXPECT_NEAR(angle, c.angle, 0.05f);
    EXPECT_EQ(room->crossedEdge, c.edge);
    EXPECT_NEAR(out.x, c.crossing.x, 1e-4f);
    EXPECT_NEAR(out.y, c.crossing.y, 1e-4f);
  }
}

TEST_F(Sectors, ClipPolygon) {
  Read(Square("room", 0, 0, 1, 1, 2));
  Sector* room = Named("room");
  const qxVector3 half[4] = {
      {0.5f, 0.25f, 5}, {1.5f, 0.25f, 5}, {1.5f, 0.75f, 5}, {0.5f, 0.75f, 5}};
  qxVector3 out[SECTOR_CLIP_MAX];
  ASSERT_EQ(Sector_ClipPolygon(room, half, 4, out), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_LE(out[i].x, 1.0f + 1e-5f);
    EXPECT_GE(out[i].x, 0.5f - 1e-5f);
    EXPECT_FLOAT_EQ(out[i].z, 2.0f);  // on the sector plane
  }
  const qxVector3 away[3] = {{3, 3, 0}, {4, 3, 0}, {3, 4, 0}};
  EXPECT_EQ(Sector_ClipPolygon(room, away, 3, out), 0);
  qxVector3 many[13];
  for (int i = 0; i < 13; ++i) {
    many[i] = {0.5f + 0.3f * std::cos(i * 0.48f), 0.5f + 0.3f * std::sin(i * 0.48f), 0};
  }
  EXPECT_EQ(Sector_ClipPolygon(room, many, 13, out), 0);  // more than 12 points
  EXPECT_EQ(Sector_ClipPolygon(room, many, 12, out), 12);
}

TEST_F(Sectors, ClampedPointsLieInTheirConvexSector) {
  std::mt19937 random(21);
  std::uniform_real_distribution<float> unit(0, 1);
  for (int shape = 0; shape < 20; ++shape) {
    // A convex polygon: corners on a circle at increasing angles.
    const int n = 3 + shape % 8;
    qxVector3 corners[SECTOR_MAX_VERTS];
    const float cx = 4 * unit(random) - 2, cy = 4 * unit(random) - 2, z = unit(random);
    const float r = 0.5f + 2 * unit(random);
    for (int i = 0; i < n; ++i) {
      const float angle = 6.2831853f * (i + 0.8f * unit(random)) / n;
      corners[i] = {cx + r * std::cos(angle), cy + r * std::sin(angle), z};
    }
    const std::string set = "convex" + std::to_string(shape) + ".set";
    Sector* s = Sector_Init(corners, n, nullptr, 0, set.c_str());
    ASSERT_TRUE(s);
    Use(set);
    for (int k = 0; k < 200; ++k) {
      qxVector3 p{cx + 12 * unit(random) - 6, cy + 12 * unit(random) - 6, z + 2 * unit(random) - 1};
      const qxVector3 original = p;
      Sector_ClampPoint(s, &p);
      EXPECT_TRUE(Sector_ContainsPoint(s, &p, 1))
          << "shape " << shape << " point " << original.x << "," << original.y << " -> " << p.x
          << "," << p.y;
    }
  }
}

TEST_F(Sectors, MalformedSectorsAreDroppedWithALogLine) {
  CaptureLog();
  std::string eleven = "\tsector eleven\n\ttype walk\n\tnumvertices 4\n\tvertices: 0 0 0\n";
  for (int i = 1; i < 11; ++i) eleven += "\tvertices: " + std::to_string(i) + " 1 0\n";
  const std::string longName(40, 'n');
  Read(eleven +
       "\tsector short\n\ttype walk\n\tnumvertices 4\n\tvertices: 0 0 0\n\t1 0 0\n\t1 1 0\n"
       "\tsector ten\n\ttype walk\n\tnumvertices 12\n\tvertices: 0 0 0\n\t1 0 0\n\t1 1 0\n"
       "\tsector two\n\ttype walk\n\tnumvertices 2\n\tvertices: 0 0 0\n\t1 0 0\n" +
       Square(longName, 0, 0, 1, 1) +
       "\tsector odd\n\ttype lava\n\tnumvertices 3\n"
       "\tvertices: 0 0 0\n\t1 0 0\n\t0 1 0\n"
       "section: lights\n\tnumlights 0\n");
  EXPECT_EQ(Named("eleven"), nullptr);
  EXPECT_EQ(Named("short"), nullptr);
  EXPECT_EQ(Named("ten"), nullptr);
  EXPECT_EQ(Named("two"), nullptr);
  EXPECT_EQ(Named("odd")->type, 0u);
  EXPECT_NE(Named(std::string(31, 'n').c_str()), nullptr);
  const std::string log = Log();
  EXPECT_NE(log.find("sector \"eleven\" dropped"), std::string::npos) << log;
  EXPECT_NE(log.find("sector \"short\" dropped (4 vertices announced, 3 read)"), std::string::npos);
  EXPECT_NE(log.find("sector \"ten\" dropped"), std::string::npos);
  EXPECT_EQ(log.find("\"two\""), std::string::npos);  // fewer than 3: dropped quietly
  EXPECT_NE(log.find("walk.set: 2 sectors read"), std::string::npos) << log;
}

TEST_F(Sectors, ReaderStopsAtTheNextSectionAndKeepsTheCurrentList) {
  Read(Square("here", 0, 0, 1, 1), "current.set");
  const std::string next =
      Read(Square("there", 5, 5, 6, 6) + "section: lights\n" + Square("ignored", 0, 0, 1, 1),
           "other.set");
  EXPECT_EQ(next, "lights");
  // Reading leaves the list that was current before.
  WalkPlane_SelectSetSectors("current.set");
  EXPECT_NE(Named("here"), nullptr);
  // Reading "other.set" from within current.set's selection keeps current.set.
  walktest::WriteFile("again.txt", Square("more", 7, 7, 8, 8));
  ASSERT_EQ(stdConffile_Open("again.txt"), 1);
  EXPECT_EQ(WalkPlane_ReadSectors("other.set"), nullptr);
  stdConffile_Close();
  EXPECT_NE(Named("here"), nullptr);
  EXPECT_EQ(Named("more"), nullptr);
  WalkPlane_SelectSetSectors("other.set");
  EXPECT_NE(Named("more"), nullptr);
  EXPECT_NE(Named("there"), nullptr);
  EXPECT_EQ(Named("ignored"), nullptr);
  // An unknown set has no list: queries find nothing.
  WalkPlane_SelectSetSectors("unknown.set");
  const qxVector3 p{5.5f, 5.5f, 0};
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&p, SECTOR_WALK), nullptr);
}

TEST_F(Sectors, ManySetsAndVerticesGrowTheirTables) {
  // 150 set names (more than 140 slots) and 1100 distinct corners.
  for (int i = 0; i < 150; ++i) {
    const std::string set = "many" + std::to_string(i) + ".set";
    std::string body;
    for (int k = 0; k < 2; ++k) {
      const float x = static_cast<float>(i * 10 + k * 3);
      body += Square("s" + std::to_string(k), x, 0, x + 1, 1, static_cast<float>(i));
    }
    Read(body, set);
  }
  EXPECT_GE(WalkPlane_GetDatabaseSize(), 1200);
  WalkPlane_SelectSetSectors("many149.set");
  const qxVector3 p{1493.5f, 0.5f, 149};
  ASSERT_NE(WalkPlane_FindSectorAtPoint(&p, SECTOR_WALK), nullptr);
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&p, SECTOR_WALK)->verts[0]->p.x, 1493.0f);
  WalkPlane_SelectSetSectors("many0.set");
  const qxVector3 q{0.5f, 0.5f, 0};
  EXPECT_NE(WalkPlane_FindSectorAtPoint(&q, SECTOR_WALK), nullptr);
}

TEST_F(Sectors, WrittenSectionReadsBack) {
  Read(Square("floor", 0, 0, 2, 1, 0, "\tid 7\n\talways_merge 1\n") +
           "\tsector door\n\tid 0x10\n\ttype camera\n\tdefault visibility invisible\n\theight 1.5\n"
           "\tnumvertices 3\n\tvertices: 0 0 0.25\n\t1 0 0.25\n\t0 1 0.25\n",
       "write.set");
  FILE* f = std::fopen("written.set", "wb");
  ASSERT_NE(f, nullptr);
  WalkPlane_WriteSectors(reinterpret_cast<stdFile_t>(f));
  std::fclose(f);
  const std::string text = walktest::ReadFile("written.set");
  EXPECT_EQ(text.rfind("section: sectors\n\tsector\t\tdoor\n\tid\t\t16\n\ttype\t\tcamera\t\n", 0),
            0u)
      << text;

  walktest::WriteFile("written_body.txt", text.substr(text.find('\n') + 1));
  ASSERT_EQ(stdConffile_Open("written_body.txt"), 1);
  WalkPlane_ReadSectors("reread.set");
  stdConffile_Close();
  Use("reread.set");
  Sector* floor = Named("floor");
  Sector* door = Named("door");
  ASSERT_TRUE(floor && door);
  EXPECT_EQ(floor->id, 7);
  EXPECT_EQ(floor->type, SECTOR_WALK);
  EXPECT_EQ(floor->visible, 1);
  EXPECT_EQ(floor->alwaysMerge, 0);  // not written
  EXPECT_EQ(door->id, 16);
  EXPECT_EQ(door->type, SECTOR_CAMERA);
  EXPECT_EQ(door->visible, 0);
  EXPECT_FLOAT_EQ(door->height, 1.5f);
  ASSERT_EQ(door->numVerts, 3);
  EXPECT_FLOAT_EQ(door->verts[1]->p.x, 1.0f);
  EXPECT_NEAR(door->verts[1]->p.z, 0.25f, 0.005f);
}

TEST_F(Sectors, ClockwiseFloorIsReported) {
  CaptureLog();
  Read(
      "\tsector backwards\n\ttype walk\n\tdefault visibility visible\n\tnumvertices 3\n"
      "\tvertices: 0 0 0\n\t0 1 0\n\t1 0 0\n");
  EXPECT_LT(Named("backwards")->normal.z, 0);
  EXPECT_NE(Log().find("\"backwards\" is listed clockwise"), std::string::npos);
}

TEST_F(Sectors, PlaneProjections) {
  // A ramp rising along x: z = 0.5 x.
  const qxVector3 ramp[4] = {{0, 0, 0}, {2, 0, 1}, {2, 1, 1}, {0, 1, 0}};
  ASSERT_TRUE(Sector_Init(ramp, 4, nullptr, 0, "ramp.set"));
  Use("ramp.set");
  Sector* s = WalkPlane_GetSectors();
  qxVector3 p{1, 0.5f, 3};
  Sector_PutOnPlane(s, &p);
  EXPECT_NEAR(p.z, 0.5f, 1e-5f);
  EXPECT_FLOAT_EQ(p.x, 1.0f);
  qxVector3 q{1, 0.5f, 0.5f + 1.0f};
  Sector_ProjectToPlane(s, &q);
  EXPECT_NEAR(q.z - 0.5f * q.x, 0, 1e-5f);
  const qxVector3 from{1, 0.5f, 5}, to{1, 0.5f, 4};
  qxVector3 hit{9, 9, 9};
  Sector_IntersectLine(s, &from, &to, &hit);
  EXPECT_NEAR(hit.z, 0.5f, 1e-5f);
  qxVector3 untouched{9, 9, 9};
  const qxVector3 parallelFrom{0, 0.5f, 5}, parallelTo{0, 1.5f, 5};
  Sector_IntersectLine(s, &parallelFrom, &parallelTo, &untouched);
  EXPECT_EQ(untouched.x, 9.0f);
}

}  // namespace
