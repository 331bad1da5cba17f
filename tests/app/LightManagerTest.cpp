#include <gtest/gtest.h>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCLightManager.h"
#include "tests/support/LogCapture.h"

namespace {

uint32_t ManagerBlocks() { return MemoryTracker::CountBlocksFromFile("PCLightManager.cpp"); }

TEST(LightManager, AfterInitEveryNodeIsFreeAndQueriesFindNothing) {
  const uint32_t before = ManagerBlocks();
  {
    LightManager lights;
    EXPECT_FALSE(lights.IsInitialised());
    AssertCounter asserts;
    EXPECT_EQ(lights.Init(), 1);
    EXPECT_EQ(asserts.Count(), 0u);
    EXPECT_TRUE(lights.IsInitialised());
    EXPECT_EQ(lights.GetFreeNodeCount(), 200);
    EXPECT_EQ(lights.GetLightCount(), 0);
    // The two lists and the pool.
    EXPECT_EQ(ManagerBlocks(), before + 3);

    const float lo[3] = {-1000, -1000, -1000}, hi[3] = {1000, 1000, 1000};
    EXPECT_EQ(lights.FindLights(lo, hi), 0);
    EXPECT_EQ(lights.GetFoundCount(), 0);
    EXPECT_EQ(lights.GetFoundLight(0), nullptr);
    EXPECT_EQ(lights.GetFoundLight(-1), nullptr);
    EXPECT_EQ(lights.FindLights(nullptr, hi), 0);

    // Lights have no way in: adding leaves the list empty and the light the caller's.
    LightInfo light = {};
    light.range = 1e6f;
    lights.AddLight(&light);
    EXPECT_EQ(lights.GetLightCount(), 0);
    EXPECT_EQ(lights.FindLights(lo, hi), 0);
    lights.Clear();

    // A second Init starts afresh without losing the first set of blocks.
    EXPECT_EQ(lights.Init(), 1);
    EXPECT_EQ(lights.GetFreeNodeCount(), 200);
    EXPECT_EQ(ManagerBlocks(), before + 3);
  }
  EXPECT_EQ(ManagerBlocks(), before) << "destruction frees what Init made";
}

TEST(LightManager, CleanUpIsHarmlessUninitialisedAndTwice) {
  const uint32_t before = ManagerBlocks();
  LightManager never;
  never.CleanUp();
  never.DeleteLights();
  EXPECT_EQ(never.GetFreeNodeCount(), 0);
  EXPECT_EQ(never.GetFoundCount(), 0);
  const float lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
  EXPECT_EQ(never.FindLights(lo, hi), 0);

  LightManager lights;
  lights.Init();
  lights.CleanUp();
  EXPECT_FALSE(lights.IsInitialised());
  EXPECT_EQ(lights.GetFreeNodeCount(), 0);
  EXPECT_EQ(ManagerBlocks(), before);
  lights.CleanUp();
  EXPECT_EQ(ManagerBlocks(), before);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0);
}

}  // namespace
