// Scene reads and node clones when memory runs out: every non-throwing allocation they make is
// failed in turn, and each time the operation fails with the out-of-memory code, hands out
// nothing and leaves the material library as it was. The portal setters report their refusals.
#include <gtest/gtest.h>

#include <new>
#include <regex>
#include <string>
#include <vector>

#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/util/VQerror.h"

namespace {
// 0: allocations succeed; n > 0: the n-th non-throwing allocation from now on fails.
int g_failNothrowAt = 0;
}  // namespace

// The non-throwing allocation of the whole test program, with the failure switch above. It
// allocates through the ordinary operator new, so every deallocation matches.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_failNothrowAt > 0 && --g_failNothrowAt == 0) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

// A tree's description without the numbers of generated material names, which every copy
// draws anew.
std::string Shape(VQNode* root) {
  return std::regex_replace(VQscene_Describe(root), std::regex("\\b_[0-9]+"), "_N");
}

// Runs `attempt` with the first, second, ... non-throwing allocation failing until it succeeds
// with every allocation granted. Each failing run must give false with the out-of-memory code.
// Returns how many allocations were failed in turn.
template <class Attempt>
int FailEachAllocation(Attempt attempt) {
  for (int at = 1; at < 10000; ++at) {
    g_VQerror = VQERR_NONE;
    g_failNothrowAt = at;
    const bool ok = attempt();
    const bool reached = g_failNothrowAt == 0;
    g_failNothrowAt = 0;
    if (!reached) {
      EXPECT_TRUE(ok) << "allocation " << at << " was never made, yet the operation failed";
      return at - 1;
    }
    EXPECT_FALSE(ok) << "allocation " << at << " failed unnoticed";
    EXPECT_EQ(g_VQerror, VQERR_OUT_OF_MEMORY) << "allocation " << at;
  }
  ADD_FAILURE() << "no end to the allocations";
  return 0;
}

TEST(SceneAllocation, ReadingTheDemoSceneFailsCleanlyAtEveryAllocation) {
  VQNode* demo = VQscene_BuildDemo();
  std::vector<uint8_t> data;
  ASSERT_TRUE(VQscene_WriteDatabaseMemory(demo, data, 11));
  const uint32_t library = VQmaterial_LibraryCount();
  const int failed = FailEachAllocation([&] {
    VQNode* root = reinterpret_cast<VQNode*>(1);
    const bool ok = VQscene_ReadDatabaseMemory(&root, data.data(), data.size(), nullptr, 11, false);
    EXPECT_EQ(ok, root != nullptr);
    if (ok) {
      EXPECT_EQ(VQscene_Describe(root), VQscene_Describe(demo));
      VQNode::Destroy(root);
    }
    // The materials of a read that fails are destroyed; those of a good read stay in the
    // library (until shutdown), so the library is compared only after failures.
    if (!ok) {
      EXPECT_EQ(VQmaterial_LibraryCount(), library);
    }
    return ok;
  });
  EXPECT_GT(failed, 10) << "nodes, materials, tables, geosets and the portal's placement";
  VQNode::Destroy(demo);
}

TEST(SceneAllocation, CloningTheDemoSceneFailsCleanlyAtEveryAllocation) {
  VQNode* demo = VQscene_BuildDemo();
  // The demo's world: a group of transforms over geosets (its level-of-detail and cell children
  // are not cloned).
  VQNode* world = demo->FindByName("world");
  ASSERT_NE(world, nullptr);
  const std::string source = VQscene_Describe(world);
  for (bool deep : {false, true}) {
    VQNode* whole = world->Clone(deep, deep);
    ASSERT_NE(whole, nullptr);
    const std::string described = Shape(whole);
    VQNode::Destroy(whole);
    const int failed = FailEachAllocation([&] {
      VQNode* clone = world->Clone(deep, deep);
      if (clone) {
        EXPECT_EQ(Shape(clone), described);
        VQNode::Destroy(clone);
      }
      return clone != nullptr;
    });
    // The group, three transforms and their geoset nodes; deep clones copy tables and geosets.
    EXPECT_GE(failed, deep ? 13 : 7) << "deep " << deep;
  }
  EXPECT_EQ(VQscene_Describe(world), source) << "the source is left alone";
  VQNode::Destroy(demo);
}

TEST(SceneAllocation, PortalSettersReportTheirRefusals) {
  VQPortalNode portal;
  const VQVector square[4] = {VQVector(0, 0, 0), VQVector(1, 0, 0), VQVector(1, 0, 1), VQVector(0, 0, 1)};
  ASSERT_TRUE(portal.SetPoints(square, 4));
  std::vector<VQVector> many(VQRENDER_MAX_PORTAL_POINTS + 1);
  g_VQerror = VQERR_NONE;
  EXPECT_FALSE(portal.SetPoints(many.data(), uint32_t(many.size())));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(portal.SetPoints(nullptr, 3));
  EXPECT_EQ(portal.m_pointCount, 4u) << "a refused polygon leaves the old one";

  VQMatrix placement;
  placement.MakeTranslation(1, 2, 3);
  g_VQerror = VQERR_NONE;
  g_failNothrowAt = 1;
  EXPECT_FALSE(portal.SetPlacement(&placement));
  g_failNothrowAt = 0;
  EXPECT_EQ(g_VQerror, VQERR_OUT_OF_MEMORY);
  EXPECT_EQ(portal.m_placement, nullptr);
  ASSERT_TRUE(portal.SetPlacement(&placement));
  ASSERT_NE(portal.m_placement, nullptr);
  EXPECT_TRUE(portal.SetPlacement(nullptr));
  EXPECT_EQ(portal.m_placement, nullptr);
}

}  // namespace
