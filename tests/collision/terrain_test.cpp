#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <unistd.h>
#include <random>
#include <string>
#include <vector>

#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/util/VQerror.h"

namespace {

// Brute force over every triangle in array order: the first one that gives a height.
float BruteHeight(const VQTerrainTree& tree, const VQVector& p, uint32_t* word) {
  for (uint32_t i = 0; i < tree.GetTriangleCount(); ++i) {
    float h;
    if (VQTerrainTree::TriangleHeight(tree.GetTriangles()[i], p.x, p.y, &h)) {
      *word = tree.GetTriangles()[i].word;
      return h;
    }
  }
  *word = 0;
  return VQTERRAIN_NO_GROUND;
}

struct SweepHit {
  float t;
  VQVector h;
  uint32_t word;
};

// Every triangle's hit at the smallest distance.
std::vector<SweepHit> BruteSweep(const VQTerrainTree& tree, const VQVector& s, const VQVector& e,
                                 float r) {
  std::vector<SweepHit> best;
  for (uint32_t i = 0; i < tree.GetTriangleCount(); ++i) {
    const VQTerrainTriangle& t = tree.GetTriangles()[i];
    float d;
    VQVector h;
    if (!VQTerrainTree::TriangleSweep(t, s, e, r, &d, &h)) continue;
    if (!best.empty() && d > best[0].t) continue;
    if (!best.empty() && d < best[0].t) best.clear();
    best.push_back({d, h, t.word});
  }
  return best;
}

class SampleTerrain : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    track = new VQSampleTrack;
    ASSERT_TRUE(track->BuildTerrain());
  }
  static void TearDownTestSuite() {
    delete track;
    track = nullptr;
  }
  static VQSampleTrack* track;
};
VQSampleTrack* SampleTerrain::track = nullptr;

std::string TempName(const char* base) {
  return std::string(::testing::TempDir()) + base + std::to_string(::getpid());
}

// One mesh of triangles given as corner triples.
struct Soup {
  std::vector<VQVector> v;
  std::vector<uint32_t> idx;
  void Add(VQVector a, VQVector b, VQVector c) {
    const uint32_t n = uint32_t(v.size());
    v.insert(v.end(), {a, b, c});
    idx.insert(idx.end(), {n, n + 1, n + 2});
  }
  VQTerrainMesh Mesh() const {
    VQTerrainMesh m;
    m.vertices = v.data();
    m.vertexCount = uint32_t(v.size());
    m.indices = idx.data();
    m.triangleCount = uint32_t(idx.size() / 3);
    m.flags = VQTERRAIN_COLLIDER_FLAG;
    return m;
  }
};

void NumberTriangles(const VQTerrainMesh&, uint32_t triangle, uint32_t* word) { *word = triangle + 1; }

}  // namespace

TEST_F(SampleTerrain, HeightsEqualBruteForce) {
  const VQTerrainTree& tree = track->m_terrain;
  ASSERT_GT(tree.GetTriangleCount(), 3000u);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> pos(-130.0f, 130.0f);
  int grounded = 0;
  for (int i = 0; i < 20000; ++i) {
    const VQVector p(pos(rng), pos(rng), 0.0f);
    uint32_t word = 77, expectedWord = 0;
    VQVector normal;
    const float h = tree.GetHeight(p, &normal, &word, nullptr);
    const float expected = BruteHeight(tree, p, &expectedWord);
    ASSERT_EQ(h, expected) << p.x << " " << p.y;
    ASSERT_EQ(word, expectedWord);
    if (h != VQTERRAIN_NO_GROUND) ++grounded;
  }
  EXPECT_GT(grounded, 15000);
}

TEST_F(SampleTerrain, NoSurfaceLiesOverAnotherSoHintsDoNotChangeAnswers) {
  // A wheel's hint is tried before the tree: wherever two surfaces lay one over the other, a
  // hint on the lower one would keep answering it. Every point has one height, whichever
  // triangle answers it (but on the wall block, which stands on the ground and whose top no
  // wheel reaches).
  const VQTerrainTree& tree = track->m_terrain;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> pos(-121.0f, 121.0f);
  for (int i = 0; i < 20000; ++i) {
    const VQVector p(pos(rng), pos(rng), 0.0f);
    if (p.x >= 50.0f && p.x <= 90.0f && p.y >= 40.0f && p.y <= 42.0f) continue;
    float first = VQTERRAIN_NO_GROUND;
    for (uint32_t k = 0; k < tree.GetTriangleCount(); ++k) {
      float h;
      if (!VQTerrainTree::TriangleHeight(tree.GetTriangles()[k], p.x, p.y, &h)) continue;
      if (first == VQTERRAIN_NO_GROUND) first = h;
      ASSERT_NEAR(h, first, 1e-4) << p.x << " " << p.y;
    }
  }
  // Along a wheel's path from the ground onto the banked curve and back, the hinted answer
  // is the unhinted one.
  uint32_t hint = 0;
  for (float a = 0.0f; a <= 1.0f; a += 0.002f) {
    const VQVector p(-60.0f - 28.0f * a, 60.0f + 10.0f + 25.0f * std::sin(3.0f * a), 0.0f);
    const float hinted = tree.GetHeight(p, nullptr, nullptr, &hint);
    ASSERT_EQ(hinted, tree.GetHeight(p, nullptr, nullptr, nullptr)) << p.x << " " << p.y;
  }
}

TEST_F(SampleTerrain, HintIsTriedFirstAndFollowsTheWheel) {
  const VQTerrainTree& tree = track->m_terrain;
  uint32_t hint = 0, word = 0;
  VQVector n;
  // Up the ramp along its centre line: each answer equals the unhinted one, the hint moves on.
  for (float y = 0.0f; y < 47.0f; y += 0.37f) {
    const VQVector p(0.5f, y, 0.0f);
    const float h = tree.GetHeight(p, &n, &word, &hint);
    EXPECT_EQ(h, tree.GetHeight(p, nullptr, nullptr, nullptr));
    ASSERT_NE(hint, 0u);
    ASSERT_LE(hint, tree.GetTriangleCount());
  }
  EXPECT_FLOAT_EQ(tree.GetHeight({0.5f, 45.0f, 0.0f}, &n, nullptr, &hint), 2.5f);
  // A stale hint out of range is ignored; no ground clears it.
  hint = 999999;
  EXPECT_FLOAT_EQ(tree.GetHeight({0.5f, 30.0f, 0.0f}, &n, nullptr, &hint), 1.2f);
  EXPECT_EQ(tree.GetHeight({500.0f, 0.0f, 0.0f}, &n, &word, &hint), VQTERRAIN_NO_GROUND);
  EXPECT_EQ(hint, 0u);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(n, VQVector(0, 0, 1));
}

TEST_F(SampleTerrain, SweepsEqualBruteForce) {
  const VQTerrainTree& tree = track->m_terrain;
  std::mt19937 rng(5);
  // Starts near the interesting parts: ground, ramp, curve, wall block, boundary.
  const VQVector centres[] = {{0, 0, 0.5f},   {0, 30, 1.5f},  {-70, 75, 1.0f},
                              {70, 41, 1.0f}, {119, 0, 1.0f}, {-30, -119, 2.0f}};
  std::uniform_real_distribution<float> spread(-12.0f, 12.0f), up(-1.0f, 3.0f), step(-4.0f, 4.0f),
      radius(0.1f, 1.2f);
  int hits = 0;
  for (int i = 0; i < 6000; ++i) {
    const VQVector& c = centres[i % 6];
    const VQVector s(c.x + spread(rng), c.y + spread(rng), c.z + up(rng));
    const VQVector e(s.x + step(rng), s.y + step(rng), s.z + step(rng) * 0.5f);
    const float r = radius(rng);
    float t = -1;
    VQVector h;
    uint32_t word = 99;
    const bool hit = tree.SweepSphere(s, e, r, &t, &h, &word);
    const std::vector<SweepHit> expected = BruteSweep(tree, s, e, r);
    ASSERT_EQ(hit, !expected.empty()) << i;
    if (!hit) continue;
    ++hits;
    ASSERT_EQ(t, expected[0].t) << i;
    bool matched = false;
    for (const SweepHit& x : expected) matched = matched || (x.h == h && x.word == word);
    ASSERT_TRUE(matched) << i;
    ASSERT_GE(t, 0.0f);
    ASSERT_LE(t, (e - s).Length());
  }
  EXPECT_GT(hits, 1000);
}

TEST_F(SampleTerrain, CacheFileReadBackAnswersIdentically) {
  const VQTerrainTree& tree = track->m_terrain;
  const std::string name = TempName("sample.vqt");
  ASSERT_TRUE(tree.Write(name.c_str()));
  VQTerrainTree copy;
  ASSERT_TRUE(copy.Read(name.c_str()));
  std::remove(name.c_str());

  ASSERT_EQ(copy.GetVertexCount(), tree.GetVertexCount());
  ASSERT_EQ(copy.GetTriangleCount(), tree.GetTriangleCount());
  ASSERT_EQ(copy.GetNodeCount(), tree.GetNodeCount());
  for (uint32_t i = 0; i < tree.GetTriangleCount(); ++i) {
    const VQTerrainTriangle &a = tree.GetTriangles()[i], &b = copy.GetTriangles()[i];
    ASSERT_EQ(*a.a, *b.a);
    ASSERT_EQ(a.b - tree.GetVertices(), b.b - copy.GetVertices());
    ASSERT_EQ(a.word, b.word);
    ASSERT_EQ(a.flatHeight, b.flatHeight);
    ASSERT_EQ(a.boxMax, b.boxMax);
  }
  // Same rectangles and leaf lists, node by node in depth-first order.
  std::vector<const VQTerrainNode*> s1{tree.GetRoot()}, s2{copy.GetRoot()};
  while (!s1.empty()) {
    const VQTerrainNode* a = s1.back();
    const VQTerrainNode* b = s2.back();
    s1.pop_back();
    s2.pop_back();
    ASSERT_EQ(a->minX, b->minX);
    ASSERT_EQ(a->maxY, b->maxY);
    ASSERT_EQ(a->centreX, b->centreX);
    ASSERT_EQ(a->triangleCount, b->triangleCount);
    for (uint32_t k = 0; k < a->triangleCount; ++k)
      ASSERT_EQ(tree.LeafTriangles(*a)[k] - tree.GetTriangles(),
                copy.LeafTriangles(*b)[k] - copy.GetTriangles());
    for (auto child : {&VQTerrainNode::lowXLowY, &VQTerrainNode::lowXHighY,
                       &VQTerrainNode::highXLowY, &VQTerrainNode::highXHighY}) {
      ASSERT_EQ(a->*child == nullptr, b->*child == nullptr);
      if (a->*child) {
        s1.push_back(a->*child);
        s2.push_back(b->*child);
      }
    }
  }
  // Same answers.
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> pos(-125.0f, 125.0f), d(-3.0f, 3.0f);
  for (int i = 0; i < 3000; ++i) {
    const VQVector p(pos(rng), pos(rng), 1.0f);
    uint32_t w1, w2;
    ASSERT_EQ(tree.GetHeight(p, nullptr, &w1, nullptr), copy.GetHeight(p, nullptr, &w2, nullptr));
    ASSERT_EQ(w1, w2);
    const VQVector e(p.x + d(rng), p.y + d(rng), p.z + d(rng));
    float t1 = 0, t2 = 0;
    VQVector h1(0, 0, 0), h2(0, 0, 0);
    ASSERT_EQ(tree.SweepSphere(p, e, 0.8f, &t1, &h1, &w1), copy.SweepSphere(p, e, 0.8f, &t2, &h2, &w2));
    ASSERT_EQ(t1, t2);
    ASSERT_EQ(h1, h2);
  }
  // The written bytes are identical after a round trip.
  EXPECT_EQ(tree.WriteToMemory(), copy.WriteToMemory());
}

TEST(TerrainFile, RejectsDamagedFilesAndStaysEmpty) {
  Soup soup;
  for (int i = 0; i < 40; ++i) {
    const float x = float(i);
    soup.Add({x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0});
  }
  const VQTerrainMesh mesh = soup.Mesh();
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Build(&mesh, 1, NumberTriangles, true, 4, 8));
  const std::vector<uint8_t> good = tree.WriteToMemory();
  const size_t V = tree.GetVertexCount(), T = tree.GetTriangleCount();
  const size_t trianglesAt = 20 + 12 * V, treeAt = trianglesAt + 60 * T;

  VQTerrainTree copy;
  ASSERT_TRUE(copy.ReadFromMemory(good.data(), good.size()));

  auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    int32_t error;
  };
  const Case cases[] = {
      {"magic", [](std::vector<uint8_t>& b) { b[3] = 'X'; }, VQERR_BAD_HEADER},
      {"vertex count too large", [&](std::vector<uint8_t>& b) { put32(b, 12, 0x10000000); }, VQERR_NOT_SUPPORTED},
      {"triangle count too large", [&](std::vector<uint8_t>& b) { put32(b, 16, 0xFFFFFFFF); }, VQERR_NOT_SUPPORTED},
      {"vertex index", [&](std::vector<uint8_t>& b) { put32(b, trianglesAt + 8, uint32_t(V)); }, VQERR_NOT_SUPPORTED},
      {"leaf count", [&](std::vector<uint8_t>& b) {
         // First leaf record: walk to the first node with a count.
         size_t at = treeAt;
         while (b[at] == 0 && b[at + 1] == 0) at += 48;
         put32(b, at, 0x7FFFFFFF);
       }, VQERR_NOT_SUPPORTED},
      {"leaf index", [&](std::vector<uint8_t>& b) { put32(b, b.size() - 4, uint32_t(T)); }, VQERR_NOT_SUPPORTED},
      {"trailing bytes", [](std::vector<uint8_t>& b) { b.push_back(0); }, VQERR_NOT_SUPPORTED},
      {"truncated tree", [](std::vector<uint8_t>& b) { b.resize(b.size() - 3); }, VQERR_NOT_SUPPORTED},
      {"short header", [](std::vector<uint8_t>& b) { b.resize(16); }, VQERR_NOT_SUPPORTED},
      {"shorter than magic", [](std::vector<uint8_t>& b) { b.resize(7); }, VQERR_BAD_HEADER},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    c.damage(bad);
    ASSERT_TRUE(copy.ReadFromMemory(good.data(), good.size()));
    g_VQerror = 0;
    EXPECT_FALSE(copy.ReadFromMemory(bad.data(), bad.size())) << c.what;
    EXPECT_EQ(g_VQerror, c.error) << c.what;
    EXPECT_EQ(copy.GetTriangleCount(), 0u) << c.what;
    EXPECT_EQ(copy.GetRoot(), nullptr) << c.what;
    EXPECT_EQ(copy.GetHeight({1.2f, 0.1f, 0}, nullptr, nullptr, nullptr), VQTERRAIN_NO_GROUND);
  }
  // Every truncation fails cleanly.
  for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(copy.ReadFromMemory(good.data(), n)) << n;

  // Files: a missing one and a written one.
  EXPECT_FALSE(copy.Read((TempName("missing") + ".vqt").c_str()));
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
  const std::string name = TempName("small.vqt");
  ASSERT_TRUE(tree.Write(name.c_str()));
  ASSERT_TRUE(copy.Read(name.c_str()));
  std::remove(name.c_str());
  EXPECT_EQ(copy.GetHeight({1.2f, 0.1f, 0}, nullptr, nullptr, nullptr), 0.0f);
}

TEST(TerrainTree, BuildRefusesIndicesOutsideTheMesh) {
  Soup soup;
  soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  soup.idx[2] = 3;
  const VQTerrainMesh mesh = soup.Mesh();
  VQTerrainTree tree;
  g_VQerror = 0;
  EXPECT_FALSE(tree.Build(&mesh, 1, nullptr, true, 32, 8));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_EQ(tree.GetTriangleCount(), 0u);
}

TEST(TerrainTree, OnlyFlaggedMeshesWithoutTakeAll) {
  Soup a, b;
  a.Add({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
  b.Add({0, 0, 2}, {1, 0, 2}, {0, 1, 2});
  VQTerrainMesh meshes[2] = {a.Mesh(), b.Mesh()};
  meshes[0].flags = 0;
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Build(meshes, 2, nullptr, false, 32, 8));
  EXPECT_EQ(tree.GetTriangleCount(), 1u);
  EXPECT_EQ(tree.GetHeight({0.2f, 0.2f, 0}, nullptr, nullptr, nullptr), 2.0f);
  ASSERT_TRUE(tree.Build(meshes, 2, nullptr, true, 32, 8));
  EXPECT_EQ(tree.GetHeight({0.2f, 0.2f, 0}, nullptr, nullptr, nullptr), 1.0f);
}

TEST(TerrainTree, HeightsOfFlatSlopedClockwiseAndVerticalTriangles) {
  Soup soup;
  soup.Add({0, 0, 2.5f}, {4, 0, 2.5f}, {0, 4, 2.5f});    // flat, up
  soup.Add({10, 0, 0}, {14, 0, 2}, {10, 4, 0});          // sloped, up: z = (x - 10) / 2
  soup.Add({20, 0, 1}, {20, 4, 1}, {24, 0, 1});          // clockwise from above
  soup.Add({30, 0, 0}, {34, 0, 0}, {34, 0, 3});          // vertical wall
  const VQTerrainMesh mesh = soup.Mesh();
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Build(&mesh, 1, NumberTriangles, true, 32, 8));
  VQVector n;
  uint32_t word = 0;
  EXPECT_EQ(tree.GetHeight({1, 1, 0}, &n, &word, nullptr), 2.5f);
  EXPECT_EQ(n, VQVector(0, 0, 1));
  EXPECT_EQ(word, 1u);
  EXPECT_EQ(tree.GetHeight({0, 0, 0}, &n, &word, nullptr), 2.5f);  // a corner counts
  EXPECT_NEAR(tree.GetHeight({12, 1, 0}, &n, &word, nullptr), 1.0f, 1e-6);
  EXPECT_EQ(word, 2u);
  EXPECT_NEAR(n.x, -1.0f / std::sqrt(5.0f), 1e-6);
  EXPECT_EQ(tree.GetHeight({21, 1, 0}, &n, &word, nullptr), VQTERRAIN_NO_GROUND);
  EXPECT_EQ(tree.GetHeight({32, 0, 0}, &n, &word, nullptr), VQTERRAIN_NO_GROUND);
  // The clockwise triangle still stops a sphere swept down against its downward normal... from
  // below: moving up, it meets the downward face.
  float t;
  VQVector h;
  EXPECT_TRUE(tree.SweepSphere({21, 1, -2}, {21, 1, 2}, 0.5f, &t, &h, &word));
  EXPECT_NEAR(t, 2.5f, 1e-5);
  EXPECT_EQ(word, 3u);
}

TEST(TerrainTree, SharedEdgeAndCentreLinesGoToTheFirstAndLowSide) {
  Soup soup;
  // Two triangles sharing the diagonal of the square [0, 4]^2 at heights 1 and 2, and enough
  // small ones elsewhere to split the root.
  soup.Add({0, 0, 1}, {4, 0, 1}, {4, 4, 1});
  soup.Add({0, 0, 2}, {4, 4, 2}, {0, 4, 2});
  for (int i = 0; i < 40; ++i) soup.Add({6, 6, 0}, {8, 6, 0}, {8, 8, 0});
  const VQTerrainMesh mesh = soup.Mesh();
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Build(&mesh, 1, NumberTriangles, true, 32, 8));
  EXPECT_EQ(tree.GetHeight({2, 2, 0}, nullptr, nullptr, nullptr), 1.0f);
  // The root is [0, 8]^2 split at 4: the point (4, 4) lies on both centre lines and goes to the
  // low-x low-y child, which holds both diagonal triangles.
  ASSERT_FALSE(tree.GetRoot()->IsLeaf());
  EXPECT_EQ(tree.GetRoot()->centreX, 4.0f);
  uint32_t word = 0;
  EXPECT_EQ(tree.GetHeight({4, 4, 0}, nullptr, &word, nullptr), 1.0f);
  EXPECT_EQ(word, 1u);
}

TEST(TerrainTree, SplitsAboveTheLeafLimitUntilTheDepthLimit) {
  Soup soup;
  for (int i = 0; i < 33; ++i) soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  soup.Add({9, 9, 0}, {10, 9, 0}, {10, 10, 0});  // stretches the rectangle to [0, 10]^2
  VQTerrainMesh mesh = soup.Mesh();
  mesh.triangleCount = 33;  // the far triangle only widens the bounds through its vertices
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Build(&mesh, 1, nullptr, true, 32, 8));
  ASSERT_FALSE(tree.GetRoot()->IsLeaf());
  EXPECT_EQ(tree.GetRoot()->lowXLowY->IsLeaf(), false);  // still 33 in that quadrant: split on
  EXPECT_EQ(tree.GetRoot()->highXHighY->triangleCount, 0u);
  ASSERT_TRUE(tree.Build(&mesh, 1, nullptr, true, 32, 0));
  EXPECT_TRUE(tree.GetRoot()->IsLeaf());
  EXPECT_EQ(tree.GetRoot()->triangleCount, 33u);
}

TEST(TerrainTree, SweepDistancesAgainstAFloor) {
  Soup soup;
  soup.Add({-10, -10, 0}, {10, -10, 0}, {10, 10, 0});
  soup.Add({-10, -10, 0}, {10, 10, 0}, {-10, 10, 0});
  const VQTerrainMesh mesh = soup.Mesh();
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Build(&mesh, 1, NumberTriangles, true, 32, 8));
  struct Row {
    VQVector s, e;
    float r;
    bool hit;
    float t;
  } rows[] = {
      {{1, 2, 3}, {1, 2, -1}, 1.0f, true, 2.0f},      // straight down: touches after 2
      {{1, 2, 0.25f}, {1, 2, -1}, 0.5f, true, 0.25f},  // starts within r: r - h
      {{1, 2, 0.25f}, {1, 2, 0.1f}, 0.5f, false, 0},   // shorter than r - h
      {{1, 2, 0.25f}, {5, 2, 0.25f}, 0.5f, true, 0.25f},  // along the plane within r
      {{1, 2, 2}, {5, 2, 2}, 0.5f, false, 0},          // parallel, farther than r
      {{1, 2, -3}, {1, 2, 3}, 0.5f, false, 0},         // moving away from the face side
      {{12, 0, 2}, {12, 0, -2}, 1.0f, false, 0},       // misses the edge by more than r
  };
  for (const Row& row : rows) {
    float t = -1;
    VQVector h;
    uint32_t w;
    EXPECT_EQ(tree.SweepSphere(row.s, row.e, row.r, &t, &h, &w), row.hit)
        << row.s.x << "," << row.s.y << "," << row.s.z;
    if (row.hit) {
      EXPECT_NEAR(t, row.t, 1e-6);
    }
  }
  // Past the edge by less than r: the sphere touches the edge.
  float t;
  VQVector h;
  uint32_t w;
  ASSERT_TRUE(tree.SweepSphere({10.6f, 0, 2}, {10.6f, 0, -2}, 1.0f, &t, &h, &w));
  EXPECT_NEAR(h.x, 10.0f, 1e-6);
  EXPECT_NEAR(h.z, 0.0f, 1e-6);
  EXPECT_NEAR(t, 2.0f - 0.8f, 1e-5);
}

TEST(TerrainTree, EmptyTreeFindsNothing) {
  VQTerrainTree tree;
  float t;
  VQVector h;
  uint32_t w = 5, hint = 3;
  EXPECT_EQ(tree.GetHeight({0, 0, 0}, nullptr, &w, &hint), VQTERRAIN_NO_GROUND);
  EXPECT_EQ(hint, 0u);
  EXPECT_FALSE(tree.SweepSphere({0, 0, 1}, {0, 0, -1}, 1, &t, &h, &w));
  ASSERT_TRUE(tree.Build(nullptr, 0, nullptr, true, 32, 8));
  const std::vector<uint8_t> bytes = tree.WriteToMemory();
  EXPECT_EQ(bytes.size(), 20u);
  EXPECT_TRUE(tree.ReadFromMemory(bytes.data(), bytes.size()));
}
