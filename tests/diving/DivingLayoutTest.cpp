// Reading the pool's named nodes into routes: every way a scene can break the route rules is
// refused with a log line and nothing kept; the route lengths keep their fixed entries and never
// write past their tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Game/DivingGame/DivingLayout.h"
#include "tests/support/LogCapture.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr const char* kOwner = "DivingLayoutTest";

size_t RefusalLines() {
  size_t n = 0;
  for (const std::string& line : ReadCrLfLines("Debug.log"))
    if (line.find("cDivingGame:") != std::string::npos) ++n;
  return n;
}

Matrix At(float x, float y, float z, float heading) {
  Matrix m;
  m.Identity();
  m[0] = Cos(heading);
  m[1] = Sin(heading);
  m[4] = -Sin(heading);
  m[5] = Cos(heading);
  m.SetTranslation(Vector4(x, y, z, 1.0f));
  return m;
}

// A scene's nodes as names and matrices, with the smallest routes the walk takes.
struct NodeList {
  std::vector<std::string> names;
  std::vector<Matrix> matrices;

  void Add(const std::string& name, const Matrix& m) {
    names.push_back(name);
    matrices.push_back(m);
  }
  void AddRoute(const char* prefix, int digits, int count, float heading) {
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof(name), digits == 2 ? "%s%02d" : "%s%d", prefix, i);
      Add(name, At(100.0f * float(i), 10.0f * float(i), 0.0f, heading));
    }
  }
  void Remove(const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) {
        names.erase(names.begin() + long(i));
        matrices.erase(matrices.begin() + long(i));
        return;
      }
  }
  std::vector<DivingNode> Nodes() const {
    std::vector<DivingNode> nodes;
    for (size_t i = 0; i < names.size(); ++i) nodes.push_back({names[i].c_str(), &matrices[i]});
    return nodes;
  }
};

NodeList ValidScene() {
  NodeList list;
  list.AddRoute("path", 2, 17, -1.0f);
  list.AddRoute("return0", 1, 3, -0.5f);
  list.AddRoute("return1", 1, 2, -0.5f);
  list.AddRoute("return2", 1, 2, -0.5f);
  list.AddRoute("tochair0", 1, 4, -2.0f);
  list.AddRoute("board0", 1, 3, -3.0f);
  list.AddRoute("board1", 1, 4, 3.0f);
  list.AddRoute("board2", 1, 1, 3.0f);
  list.Add("chairnode", At(-50, -50, 0, -1.5f));
  list.Add("boardlocator01", At(1, 2, 3, 0));
  list.Add("cameratarget02", At(4, 5, 6, 0));
  list.Add("camera_k01", At(7, 8, 9, 0));
  list.Add("cameratarget_m", At(10, 11, 12, 0));
  list.Add("cobbstand", At(13, 14, 0, 1.0f));
  return list;
}

class DivingLayoutTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeDivingLayout(&m_layout, kOwner);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(kOwner), 0u);
  }
  bool Read(const NodeList& list) {
    const std::vector<DivingNode> nodes = list.Nodes();
    return ReadDivingLayout(nodes.data(), int32_t(nodes.size()), &m_layout, kOwner);
  }
  DivingLayout m_layout;
};

TEST_F(DivingLayoutTest, AValidSceneFillsRoutesPointsAndHeadings) {
  ASSERT_TRUE(Read(ValidScene()));
  EXPECT_EQ(m_layout.routes[kRoutePath].count, 17u);
  EXPECT_EQ(m_layout.routes[kRouteToChair].count, 4u);
  EXPECT_EQ(m_layout.routes[kRouteBoard1].count, 4u);
  EXPECT_FLOAT_EQ(m_layout.routes[kRoutePath].points[16].x, 1600.0f);
  // Chair, path and boards are in [0, 2π); return and to-chair headings keep their sign.
  EXPECT_NEAR(m_layout.chairHeading, kTwoPi - 1.5f, 1e-4f);
  for (int32_t r : {kRoutePath, kRouteBoard0, kRouteBoard1, kRouteBoard2})
    for (uint32_t i = 0; i < m_layout.routes[r].count; ++i) {
      EXPECT_GE(m_layout.routes[r].headings[i], 0.0f) << r << " " << i;
      EXPECT_LT(m_layout.routes[r].headings[i], kTwoPi) << r << " " << i;
    }
  EXPECT_NEAR(m_layout.routes[kRouteReturn0].headings[0], -0.5f, 1e-4f);
  EXPECT_NEAR(m_layout.routes[kRouteToChair].headings[0], -2.0f, 1e-4f);
  EXPECT_FLOAT_EQ(m_layout.boardLocators[1].z, 3.0f) << "\"boardlocator01\" is locator 1";
  EXPECT_FLOAT_EQ(m_layout.cameraTargets[2].z, 6.0f) << "\"cameratarget02\" is target 2";
  EXPECT_FLOAT_EQ(m_layout.cameraPoints[kCamK01].x, 7.0f);
  EXPECT_FLOAT_EQ(m_layout.lateTargets[1].y, 11.0f);
  EXPECT_NEAR(m_layout.cobbAngles.z, 1.0f, 1e-4f);
}

TEST_F(DivingLayoutTest, ScenesThatBreakTheRouteRulesAreRefused) {
  struct Case {
    const char* what;
    std::function<void(NodeList*)> breakIt;
  };
  const Case cases[] = {
      {"a gap in the path",
       [](NodeList* l) {
         l->Remove("path05");
         l->Add("path17", At(0, 0, 0, 0));
       }},
      {"a point given twice",
       [](NodeList* l) {
         l->Remove("board12");
         l->Add("board11", At(0, 0, 0, 0));
       }},
      {"an index past the count",
       [](NodeList* l) {
         l->Remove("tochair03");
         l->Add("tochair04", At(0, 0, 0, 0));
       }},
      {"letters for digits",
       [](NodeList* l) {
         l->Remove("path16");
         l->Add("path1x", At(0, 0, 0, 0));
       }},
      {"one digit where two go",
       [](NodeList* l) {
         l->Remove("path03");
         l->Add("path3", At(0, 0, 0, 0));
       }},
      {"a name running on",
       [](NodeList* l) {
         l->Remove("return01");
         l->Add("return01b", At(0, 0, 0, 0));
       }},
      {"a to-chair route with a 1",
       [](NodeList* l) {
         l->Remove("tochair02");
         l->Add("tochair12", At(0, 0, 0, 0));
       }},
      {"a path too short to climb", [](NodeList* l) { l->Remove("path16"); }},
      {"a return route of one point", [](NodeList* l) { l->Remove("return21"); }},
      {"no high board", [](NodeList* l) { l->Remove("board20"); }},
      {"a board locator 3", [](NodeList* l) { l->Add("boardlocator03", At(0, 0, 0, 0)); }},
      {"a camera target 3", [](NodeList* l) { l->Add("cameratarget03", At(0, 0, 0, 0)); }},
      {"no game nodes at all", [](NodeList* l) { *l = NodeList(); }},
  };
  for (const Case& c : cases) {
    NodeList list = ValidScene();
    c.breakIt(&list);
    const size_t before = RefusalLines();
    EXPECT_FALSE(Read(list)) << c.what;
    EXPECT_GT(RefusalLines(), before) << c.what << ": refused with a log line";
    for (const DivingRoute& route : m_layout.routes) {
      EXPECT_EQ(route.points, nullptr) << c.what;
      EXPECT_EQ(route.count, 0u) << c.what;
    }
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(kOwner), 0u) << c.what;
  }
  EXPECT_FALSE(ReadDivingLayout(nullptr, 3, &m_layout, kOwner));
  const Matrix m = At(0, 0, 0, 0);
  const DivingNode unnamed[1] = {{nullptr, &m}};
  EXPECT_FALSE(ReadDivingLayout(unnamed, 1, &m_layout, kOwner));
}

TEST_F(DivingLayoutTest, RouteLengthsKeepTheClimbsAndEndTheSwimAtThePoolExit) {
  ASSERT_TRUE(Read(ValidScene()));
  ASSERT_TRUE(BuildRouteLengths(&m_layout, kOwner));
  const DivingRoute& path = m_layout.routes[kRoutePath];
  const float step = PointDistance(path.points[0], path.points[1]);
  EXPECT_NEAR(step, std::sqrt(100.0f * 100.0f + 10.0f * 10.0f), 1e-3f);
  EXPECT_FLOAT_EQ(path.lengths[11], 300.0f) << "the steps at point 11";
  EXPECT_FLOAT_EQ(path.lengths[15], 450.0f) << "the tower at point 15";
  EXPECT_NEAR(m_layout.totals[kTotalPathFirst], 10.0f * step, 1e-2f) << "segments 0..9";
  EXPECT_NEAR(m_layout.totals[kTotalPathSecond], 4.0f * step + 750.0f, 1e-2f) << "10 on";
  // Return route 0 has three points: its last segment runs to the to-chair route's point 0.
  const DivingRoute& back = m_layout.routes[kRouteReturn0];
  const DivingRoute& toChair = m_layout.routes[kRouteToChair];
  EXPECT_FLOAT_EQ(back.lengths[1], PointDistance(back.points[1], toChair.points[0]));
  EXPECT_FLOAT_EQ(m_layout.totals[kTotalReturn0], back.lengths[0] + back.lengths[1]);
  EXPECT_FLOAT_EQ(m_layout.chairToPath, PointDistance(m_layout.chair, path.points[0]));
  // Building again replaces the tables rather than leaking them.
  ASSERT_TRUE(BuildRouteLengths(&m_layout, kOwner));
  EXPECT_FLOAT_EQ(path.lengths[11], 300.0f);
}

TEST(DivingStepTest, AZeroLengthSegmentIsPassedWithoutDividingByZero) {
  EXPECT_FLOAT_EQ(SegmentStep(3.0f, 300.0f), 0.01f);
  EXPECT_GT(SegmentStep(0.5f, 0.0f), 1.0f) << "any movement passes it";
  EXPECT_FLOAT_EQ(SegmentStep(0.0f, 0.0f), 0.0f) << "standing still stays";
  EXPECT_FLOAT_EQ(PositiveHeading(-1.0f), kTwoPi - 1.0f);
  EXPECT_FLOAT_EQ(PositiveHeading(1.0f), 1.0f);
}

}  // namespace
