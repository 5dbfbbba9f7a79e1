#include <gtest/gtest.h>

#include <cstring>

#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQscramble.h"
#include "tests/scene/scene_support.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) | (uint32_t(d[at + 1]) << 8) | (uint32_t(d[at + 2]) << 16) |
         (uint32_t(d[at + 3]) << 24);
}
void Put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
}

std::vector<uint8_t> WriteTree(VQNode* root, uint32_t colourFormat = 11) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(VQscene_WriteDatabaseMemory(root, out, colourFormat));
  return out;
}

VQNode* ReadTree(const std::vector<uint8_t>& data, uint32_t colourFormat = 11) {
  VQNode* root = nullptr;
  EXPECT_TRUE(VQscene_ReadDatabaseMemory(&root, data.data(), data.size(), nullptr, colourFormat, false))
      << "error " << g_VQerror;
  return root;
}

// The node block of a database: bytes 13 .. 13 + N.
struct Blocks {
  size_t node, geo, tab, mat, end;
};
Blocks BlocksOf(const std::vector<uint8_t>& d) {
  const size_t n = d.size();
  Blocks b;
  b.node = 13;
  b.geo = b.node + Le32(d, n - 16);
  b.tab = b.geo + Le32(d, n - 12);
  b.mat = b.tab + Le32(d, n - 8);
  b.end = b.mat + Le32(d, n - 4);
  return b;
}

class SceneFile : public ::testing::Test {
 protected:
  void SetUp() override { libraryBefore = VQmaterial_LibraryCount(); }
  uint32_t libraryBefore = 0;
};

}  // namespace

TEST_F(SceneFile, DemoRoundTripsToTheSameTreeAndBytes) {
  VQNode* demo = VQscene_BuildDemo();
  const std::vector<uint8_t> first = WriteTree(demo);
  const std::string described = VQscene_Describe(demo);
  VQNode* back = ReadTree(first);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(VQscene_Describe(back), described);
  const std::vector<uint8_t> second = WriteTree(back);
  EXPECT_EQ(first, second);
  VQNode* again = ReadTree(second);
  EXPECT_EQ(VQscene_Describe(again), described);
  // Each read's tables hold that read's materials, even where the names are the same.
  EXPECT_NE(static_cast<VQGeosetNode*>(back->FindByName("ground"))->m_table->m_slots[0],
            static_cast<VQGeosetNode*>(again->FindByName("ground"))->m_table->m_slots[0]);
  EXPECT_EQ(WriteTree(again), first);
  VQNode::Destroy(demo);
  VQNode::Destroy(back);
  // A device that took the meshes over releases them with the tree.
  RecordingDevice device;
  VQscene_SetMeshDevice(again, &device);
  VQNode::Destroy(again);
  EXPECT_EQ(device.meshesDeleted, 7);  // ground, the shared pane, three LOD levels, two rooms
  EXPECT_EQ(VQmaterial_LibraryCount(), libraryBefore);
}

TEST_F(SceneFile, FileRoundTripThroughPathsAndExtensions) {
  SceneTemp tmp;
  VQNode* demo = VQscene_BuildDemo();
  ASSERT_TRUE(VQscene_SaveFile(demo, tmp.Path("Track.VQO").c_str(), 4, 11, 0));
  VQNode* back = nullptr;
  ASSERT_TRUE(VQscene_LoadFile(&back, tmp.Path("Track.VQO").c_str(), nullptr, 11, false));
  EXPECT_EQ(VQscene_Describe(back), VQscene_Describe(demo));
  EXPECT_FALSE(std::filesystem::exists(tmp.Path("Track.VQO.vqtmp")));

  struct Case {
    const char* name;
    int32_t error;
  } cases[] = {{"scene.wrl", 52}, {"scene.3ds", 25}};
  for (const auto& c : cases) {
    g_VQerror = 0;
    VQNode* none = reinterpret_cast<VQNode*>(1);
    EXPECT_FALSE(VQscene_LoadFile(&none, tmp.Path(c.name).c_str(), nullptr, 11, false)) << c.name;
    EXPECT_EQ(g_VQerror, c.error) << c.name;
  }
  g_VQerror = 0;
  EXPECT_FALSE(VQscene_SaveFile(demo, tmp.Path("x.vqo").c_str(), 5, 11, 0));
  EXPECT_EQ(g_VQerror, 25);
  VQNode::Destroy(demo);
  VQNode::Destroy(back);
}

TEST_F(SceneFile, ScrambledMagicReadsAsDatabaseButNotAsMattable) {
  VQNode* demo = VQscene_BuildDemo();
  std::vector<uint8_t> data = WriteTree(demo);
  VQscramble(data.data(), 12, nullptr, 0);
  ASSERT_NE(std::memcmp(data.data(), "VQO_Database", 12), 0);
  VQNode* back = ReadTree(data);
  EXPECT_EQ(VQscene_Describe(back), VQscene_Describe(demo));

  std::vector<uint8_t> table;
  ASSERT_TRUE(VQscene_WriteMattableMemory(static_cast<VQGeosetNode*>(demo->FindByName("ground"))->m_table, table));
  VQscramble(table.data(), 12, nullptr, 0);
  g_VQerror = 1234;
  VQMattable* t = nullptr;
  EXPECT_FALSE(VQscene_ReadMattableMemory(&t, table.data(), table.size(), nullptr));
  EXPECT_EQ(g_VQerror, 1234);  // refused without an engine error
  EXPECT_EQ(t, nullptr);
  VQNode::Destroy(demo);
  VQNode::Destroy(back);
}

TEST_F(SceneFile, SharedGeosetsAndMaterialsAreStoredOnce) {
  VQRootNode root;
  VQGroupNode* group = new VQGroupNode();
  root.SetChild(group);
  VQGeoset* g = VQscene_MakeGridGeoset(2, 1.0f, 2);
  VQMattable* a = VQscene_MakeMattable(2, "shared_");
  VQMattable* b = VQMattable::Create(0);
  b->Resize(1);
  b->Set(a->m_slots[1], 0);  // one material in two tables
  for (int i = 0; i < 2; ++i) {
    VQGeosetNode* n = new VQGeosetNode(g);
    n->SetMattable(i ? b : a);
    group->AddChild(n);
  }
  std::vector<uint8_t> data = WriteTree(&root);
  const Blocks bl = BlocksOf(data);
  // One geoset record, two tables, two materials (shared_1 once).
  EXPECT_EQ(Le32(data, bl.geo), 0xEEEEEEEEu);
  const size_t materialRecord = 180 + 12 /* "shared_1" padded */ + 2 * (24 + 4);
  (void)materialRecord;
  uint32_t nameHits = 0;
  for (size_t i = bl.mat; i + 8 <= bl.end; ++i) nameHits += std::memcmp(&data[i], "shared_1", 9) == 0;
  EXPECT_EQ(nameHits, 1u);

  VQNode* back = ReadTree(data);
  auto* n0 = static_cast<VQGeosetNode*>(static_cast<VQGroupNode*>(back->GetChild())->m_slots[0]);
  auto* n1 = static_cast<VQGeosetNode*>(static_cast<VQGroupNode*>(back->GetChild())->m_slots[1]);
  EXPECT_EQ(n0->m_geoset, n1->m_geoset);
  EXPECT_EQ(n0->m_geoset->m_refCount, 2u);
  EXPECT_EQ(n0->m_table->m_slots[1], n1->m_table->m_slots[0]);
  root.DeleteChildren();
  VQNode::Destroy(back);
  EXPECT_EQ(VQmaterial_LibraryCount(), libraryBefore);
}

TEST_F(SceneFile, EffectAndCallbackNodesMakeTheSaveFailButStayReadable) {
  VQRootNode root;
  VQGroupNode* group = new VQGroupNode();
  root.SetChild(group);
  group->AddChild(new VQEffectNode());
  VQTransformNode* kept = new VQTransformNode(5);
  group->AddChild(kept);
  group->AddChild(new VQCallbackNode(6));
  std::vector<uint8_t> data;
  g_VQerror = 0;
  EXPECT_FALSE(VQscene_WriteDatabaseMemory(&root, data, 11));
  EXPECT_NE(g_VQerror, 0);
  VQNode* back = ReadTree(data);
  ASSERT_NE(back, nullptr);
  auto* g = static_cast<VQGroupNode*>(back->GetChild());
  ASSERT_EQ(g->m_count, 3u);
  EXPECT_EQ(g->m_slots[0], nullptr);
  ASSERT_NE(g->m_slots[1], nullptr);
  EXPECT_EQ(g->m_slots[1]->m_userId, 5u);
  EXPECT_EQ(g->m_slots[2], nullptr);
  // The empty slots are written back as empty slots.
  std::vector<uint8_t> again;
  EXPECT_TRUE(VQscene_WriteDatabaseMemory(back, again, 11));
  root.DeleteChildren();
  VQNode::Destroy(back);
}

TEST_F(SceneFile, RecordSizesFollowTheFormat) {
  // A node of type 7 occupies its 60-byte header only and reads as nothing.
  VQRootNode root;
  root.SetChild(new VQSoundSourceNode(3));
  std::vector<uint8_t> data = WriteTree(&root);
  EXPECT_EQ(Le32(data, data.size() - 16), 60u + 1u + 60u);
  VQNode* back = ReadTree(data);
  EXPECT_EQ(back->GetChild(), nullptr);
  VQNode::Destroy(back);
  root.DeleteChildren();

  // A table of count 0 is 16 bytes; names of 3 characters take 4 bytes, of 4 take 8.
  VQMattable* empty = VQMattable::Create(0);
  std::vector<uint8_t> t;
  ASSERT_TRUE(VQscene_WriteMattableMemory(empty, t));
  EXPECT_EQ(Le32(t, t.size() - 8), 16u);
  EXPECT_EQ(Le32(t, t.size() - 4), 0u);
  VQMattable::Release(empty);
  struct Case {
    const char* name;
    uint32_t bytes;
  } cases[] = {{"abc", 4}, {"abcd", 8}, {"abcdefg", 8}, {"", 4}};
  for (const auto& c : cases) {
    VQMattable* one = VQMattable::Create(0);
    one->Resize(1);
    VQMaterial* m = VQMaterial::Create(c.name);
    m->SetDefaults();
    one->Set(m, 0);
    ASSERT_TRUE(VQscene_WriteMattableMemory(one, t));
    EXPECT_EQ(Le32(t, t.size() - 8), 16u + c.bytes) << c.name;
    EXPECT_EQ(Le32(t, t.size() - 4), 180u + c.bytes) << c.name;
    VQMattable::Release(one);
  }

  // A mesh with 0 triangles has no triangle records; vertex blending with n = 10, k = 2 has
  // an 80-byte extra block.
  VQMesh* mesh = VQMesh::Create(10, 0, 2, false, false, false);
  mesh->m_flags = VQMESH_VERTEX_BLEND;
  std::free(mesh->m_extra);
  mesh->m_extra = static_cast<uint8_t*>(std::calloc(80, 1));
  for (int i = 0; i < 80; ++i) mesh->m_extra[i] = uint8_t(i);
  VQGeoset* g = VQGeoset::Create();
  g->AddLevel(mesh, 100.0f);
  std::vector<uint8_t> gf;
  ASSERT_TRUE(VQscene_WriteGeosetMemory(g, gf, 11));
  EXPECT_EQ(Le32(gf, gf.size() - 4), 96u + 60u + 120u + 80u);
  VQGeoset* gb = nullptr;
  ASSERT_TRUE(VQscene_ReadGeosetMemory(&gb, gf.data(), gf.size(), 11));
  ASSERT_EQ(gb->m_levelCount, 1u);
  EXPECT_EQ(gb->m_meshes[0]->m_triangleCount, 0u);
  EXPECT_EQ(gb->m_meshes[0]->m_records, nullptr);
  ASSERT_NE(gb->m_meshes[0]->m_extra, nullptr);
  EXPECT_EQ(std::memcmp(gb->m_meshes[0]->m_extra, mesh->m_extra, 80), 0);
  std::vector<uint8_t> gf2;
  ASSERT_TRUE(VQscene_WriteGeosetMemory(gb, gf2, 11));
  EXPECT_EQ(gf, gf2);
  VQGeoset::Destroy(g);
  VQGeoset::Destroy(gb);
}

TEST_F(SceneFile, ColourFormat12ExchangesBytesZeroAndTwo) {
  VQGeoset* g = VQscene_MakeGridGeoset(1, 1.0f, 1);
  g->m_meshes[0]->m_colours[0] = 0x44332211u;
  std::vector<uint8_t> plain, swapped;
  ASSERT_TRUE(VQscene_WriteGeosetMemory(g, plain, 11));
  ASSERT_TRUE(VQscene_WriteGeosetMemory(g, swapped, 12));
  EXPECT_EQ(g->m_meshes[0]->m_colours[0], 0x44332211u);  // memory restored
  const size_t colours = 11 + 96 + 60 + 2 * 12 * 4;
  EXPECT_EQ(Le32(plain, colours), 0x44332211u);
  EXPECT_EQ(Le32(swapped, colours), 0x44112233u);
  VQGeoset* back = nullptr;
  ASSERT_TRUE(VQscene_ReadGeosetMemory(&back, swapped.data(), swapped.size(), 12));
  EXPECT_EQ(back->m_meshes[0]->m_colours[0], 0x44332211u);
  VQGeoset::Destroy(g);
  VQGeoset::Destroy(back);
}

TEST_F(SceneFile, TexturesLoadWithStageModuloUnitsAndStoredSampling) {
  VQRootNode root;
  VQGeosetNode* n = new VQGeosetNode(VQscene_MakeGridGeoset(1, 1.0f, 1));
  VQMattable* t = VQscene_MakeMattable(1, "tex_");  // two stages, sampling word on stage 0
  t->m_slots[0]->SetStageTextureName(1, "Textures/detail.tga");
  n->SetMattable(t);
  root.SetChild(n);
  std::vector<uint8_t> data = WriteTree(&root);

  FakeTextures textures;
  textures.units = 1;
  VQNode* back = nullptr;
  ASSERT_TRUE(VQscene_ReadDatabaseMemory(&back, data.data(), data.size(), &textures, 11, true));
  const std::vector<std::string> expected = {"push 2 2 1 2", "load Textures\\tex_0.tga 0", "pop",
                                             "load Textures\\detail.tga 0"};
  EXPECT_EQ(textures.log, expected);
  VQMaterial* m = static_cast<VQGeosetNode*>(back->GetChild())->m_table->m_slots[0];
  EXPECT_NE(m->m_stages[0].m_texture, nullptr);
  EXPECT_STREQ(m->m_stages[1].m_textureName, "Textures\\detail.tga");  // '/' turned into '\'
  VQNode::Destroy(back);

  // Without loading, textures stay null but names remain and the file reads to its end.
  FakeTextures none;
  ASSERT_TRUE(VQscene_ReadDatabaseMemory(&back, data.data(), data.size(), &none, 11, false));
  EXPECT_TRUE(none.log.empty());
  m = static_cast<VQGeosetNode*>(back->GetChild())->m_table->m_slots[0];
  EXPECT_EQ(m->m_stages[0].m_texture, nullptr);
  EXPECT_STREQ(m->m_stages[0].m_textureName, "Textures\\tex_0.tga");
  // A mattable file read now uses the flag of the last database read: no loads.
  std::vector<uint8_t> tf;
  ASSERT_TRUE(VQscene_WriteMattableMemory(t, tf));
  VQMattable* tb = nullptr;
  ASSERT_TRUE(VQscene_ReadMattableMemory(&tb, tf.data(), tf.size(), &none));
  EXPECT_TRUE(none.log.empty());
  EXPECT_EQ(tb->m_count, 1u);
  VQMattable::Release(tb);
  VQNode::Destroy(back);
  root.DeleteChildren();
}

// A stage whose texture knows its sampling (a texture of the OpenGL device) stores that
// sampling, not the word it was read with; a reader pushes the same four values back.
TEST_F(SceneFile, SamplingWordComesFromTheStageTexture) {
  EXPECT_EQ(VQscene_SamplingWord(VQscene_SamplingValue(1, 2, 3, 5)), 0x3512u);
  uint32_t (*const saved)(VQTexture*) = g_VQsceneTextureSampling;
  {
    VQOpenGLDisplayDevice device(0);
    ASSERT_NE(g_VQsceneTextureSampling, nullptr);
    device.SetTextureWrap(1, 2);
    device.SetTextureMagFilter(1);
    device.SetTextureMinFilter(5);
    const uint8_t pixels[2 * 2 * 3] = {};
    VQTexture* texture = device.CreateTexture(pixels, 2, 2, VQPF_RGB888, nullptr, 0);
    ASSERT_NE(texture, nullptr);

    VQRootNode root;
    VQGeosetNode* n = new VQGeosetNode(VQscene_MakeGridGeoset(1, 1.0f, 1));
    VQMattable* t = VQscene_MakeMattable(1, "tex_");  // stage 0 read-back word 0x1222
    t->m_slots[0]->m_stages[0].m_texture = texture;
    // A texture of another device gives no value: the stored word stays.
    VQSoftwareTexture other;
    t->m_slots[0]->m_stages[1].m_texture = &other;
    t->m_slots[0]->m_stages[1].m_samplingWord = 0x2211;
    n->SetMattable(t);
    root.SetChild(n);
    const std::vector<uint8_t> data = WriteTree(&root);
    t->m_slots[0]->m_stages[0].m_texture = nullptr;
    t->m_slots[0]->m_stages[1].m_texture = nullptr;
    root.DeleteChildren();
    device.DeleteTexture(texture);

    FakeTextures textures;
    VQNode* back = nullptr;
    ASSERT_TRUE(VQscene_ReadDatabaseMemory(&back, data.data(), data.size(), &textures, 11, true));
    ASSERT_GE(textures.log.size(), 4u);
    EXPECT_EQ(textures.log[0], "push 1 2 1 5");
    EXPECT_EQ(textures.log[3], "push 1 1 2 2");
    VQNode::Destroy(back);
  }
  g_VQsceneTextureSampling = saved;
}

// Every damaged file fails with error 25, builds no root and leaves no material behind.
TEST_F(SceneFile, DamagedDatabasesFailCleanly) {
  VQNode* demo = VQscene_BuildDemo();
  const std::vector<uint8_t> good = WriteTree(demo);
  VQNode::Destroy(demo);
  const Blocks b = BlocksOf(good);
  const uint32_t library = VQmaterial_LibraryCount();

  struct Case {
    const char* what;
    std::vector<uint8_t> (*make)(const std::vector<uint8_t>&, const Blocks&);
  } cases[] = {
      {"truncated", [](const std::vector<uint8_t>& d, const Blocks&) {
         return std::vector<uint8_t>(d.begin(), d.begin() + 20);
       }},
      {"node block size beyond file", [](const std::vector<uint8_t>& d, const Blocks&) {
         auto x = d;
         Put32(x, x.size() - 16, 0xFFFFFFF0u);
         return x;
       }},
      {"root type has child flag 7", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         x[b.node + 60] = 7;
         return x;
       }},
      {"name without terminator", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         std::memset(&x[b.node + 9], 'A', 35);
         return x;
       }},
      {"geoset level count 9", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         x[b.geo + 8] = 9;
         return x;
       }},
      {"triangle index beyond vertices", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         // First mesh: 25 vertices with normals, colours, two uv sets; first index after them.
         const size_t idx = b.geo + 96 + 60 + 25 * (12 + 12 + 4 + 8 + 8);
         x[idx] = 200;
         return x;
       }},
      {"vertex count larger than block", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         Put32(x, b.geo + 96 + 8, 0x10000000u);
         return x;
       }},
      {"unknown material name", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         x[b.tab + 16] = 'X';
         return x;
       }},
      {"stage count 3", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         Put32(x, b.mat + 80, 3);
         return x;
       }},
      {"material name without terminator", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         for (size_t i = b.mat + 180; i < b.end; ++i) x[i] = 'q';
         return x;
       }},
      {"mattable count beyond block", [](const std::vector<uint8_t>& d, const Blocks& b) {
         auto x = d;
         x[b.tab + 6] = 0xFF;
         x[b.tab + 7] = 0xFF;
         return x;
       }},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bad = c.make(good, b);
    VQNode* root = reinterpret_cast<VQNode*>(1);
    g_VQerror = 0;
    EXPECT_FALSE(VQscene_ReadDatabaseMemory(&root, bad.data(), bad.size(), nullptr, 11, false)) << c.what;
    EXPECT_EQ(root, nullptr) << c.what;
    EXPECT_EQ(g_VQerror, 25) << c.what;
    EXPECT_EQ(VQmaterial_LibraryCount(), library) << c.what;
  }
}

TEST_F(SceneFile, NodeIndicesAndCountsAreChecked) {
  // Root -> group (count patched) / geoset node (indices patched).
  VQRootNode root;
  VQGroupNode* group = new VQGroupNode();
  root.SetChild(group);
  VQGeosetNode* gn = new VQGeosetNode(VQscene_MakeGridGeoset(1, 1, 1));
  gn->SetMattable(VQscene_MakeMattable(1, "idx_"));
  group->AddChild(gn);
  const std::vector<uint8_t> good = WriteTree(&root);
  const size_t groupBody = 13 + 61 + 60, geoBody = groupBody + 4 + 60;
  struct Case {
    size_t at;
    uint32_t value;
    bool ok;
  } cases[] = {
      {groupBody, 1001, false}, {groupBody, 2, false},  {geoBody + 4, 1, false},
      {geoBody + 8, 5, false},  {geoBody + 4, 0xFFFFFFFEu, false},
      {geoBody + 4, 0xFFFFFFFFu, true},  // -1: no geoset
  };
  for (const auto& c : cases) {
    auto bad = good;
    Put32(bad, c.at, c.value);
    VQNode* r = nullptr;
    EXPECT_EQ(VQscene_ReadDatabaseMemory(&r, bad.data(), bad.size(), nullptr, 11, false), c.ok)
        << c.at << " " << c.value;
    if (c.ok) {
      auto* n = static_cast<VQGeosetNode*>(static_cast<VQGroupNode*>(r->GetChild())->m_slots[0]);
      EXPECT_EQ(n->m_geoset, nullptr);
      EXPECT_NE(n->m_table, nullptr);
    }
    VQNode::Destroy(r);
  }
  root.DeleteChildren();
}

TEST_F(SceneFile, DeepNestingIsRefusedNotOverflowed) {
  // 300 nested transform nodes in a hand-made node block.
  std::vector<uint8_t> d = {'V', 'Q', 'O', '_', 'D', 'a', 't', 'a', 'b', 'a', 's', 'e', 0};
  const int depth = 300;
  for (int i = 0; i < depth; ++i) {
    std::vector<uint8_t> h(60, 0);
    h[0] = 2;
    h[8] = 1;
    Put32(h, 56, 0xBF800000u);  // -1.0
    d.insert(d.end(), h.begin(), h.end());
    std::vector<uint8_t> body(68, 0);
    body[0] = 1;
    body[1] = i + 1 < depth ? 1 : 0;
    d.insert(d.end(), body.begin(), body.end());
  }
  const uint32_t N = uint32_t(d.size() - 13);
  for (uint32_t v : {N, 0u, 0u, 0u})
    for (int i = 0; i < 4; ++i) d.push_back(uint8_t(v >> (8 * i)));
  VQNode* r = nullptr;
  EXPECT_FALSE(VQscene_ReadDatabaseMemory(&r, d.data(), d.size(), nullptr, 11, false));
  EXPECT_EQ(r, nullptr);
}

TEST_F(SceneFile, LongNamesAreCutAndReported) {
  VQRootNode root;
  root.SetName("a_name_that_is_much_longer_than_thirty_four_characters");
  std::vector<uint8_t> out;
  g_VQerror = 0;
  EXPECT_FALSE(VQscene_WriteDatabaseMemory(&root, out, 11));
  EXPECT_EQ(g_VQerror, VQERR_NAME_TOO_LONG);
  VQNode* back = ReadTree(out);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::strlen(back->m_name), 34u);
  VQNode::Destroy(back);
}

TEST_F(SceneFile, MoreThanAThousandMaterialsFailTheWrite) {
  VQRootNode root;
  VQGeosetNode* n = new VQGeosetNode(VQscene_MakeGridGeoset(1, 1, 1));
  VQMattable* t = VQMattable::Create(1001);
  n->SetMattable(t);
  root.SetChild(n);
  std::vector<uint8_t> out;
  g_VQerror = 0;
  EXPECT_FALSE(VQscene_WriteDatabaseMemory(&root, out, 11));
  EXPECT_EQ(g_VQerror, 33);
  VQNode* back = nullptr;
  EXPECT_FALSE(VQscene_ReadDatabaseMemory(&back, out.data(), out.size(), nullptr, 11, false));
  EXPECT_EQ(back, nullptr);
  root.DeleteChildren();
}

TEST_F(SceneFile, WriteErrorsAreReportedAndKeepTheOldFile) {
  SceneTemp tmp;
  VQNode* demo = VQscene_BuildDemo();
  EXPECT_FALSE(VQscene_WriteDatabase(demo, tmp.Path("missing/folder/x.vqo").c_str(), 11));
  ASSERT_TRUE(VQscene_WriteDatabase(demo, tmp.Path("keep.vqo").c_str(), 11));
  const auto before = tmp.Read("keep.vqo");
  std::filesystem::create_directory(tmp.Path("keep.vqo.vqtmp"));  // the temporary cannot be made
  EXPECT_FALSE(VQscene_WriteDatabase(demo, tmp.Path("keep.vqo").c_str(), 11));
  EXPECT_EQ(tmp.Read("keep.vqo"), before);
  VQNode::Destroy(demo);
}

TEST_F(SceneFile, MattableAndGeosetFilesRoundTrip) {
  SceneTemp tmp;
  VQMattable* t = VQscene_MakeMattable(5, "mt_");
  ASSERT_TRUE(VQscene_WriteMattableFile(t, tmp.Path("table.vqm").c_str()));
  VQMattable* tb = nullptr;
  ASSERT_TRUE(VQscene_ReadMattableFile(&tb, tmp.Path("table.vqm").c_str(), nullptr));
  ASSERT_EQ(tb->m_count, 5u);
  EXPECT_EQ(tb->m_hasTransparent, 1u);
  EXPECT_STREQ(tb->m_slots[4]->m_name, "mt_4");
  std::vector<uint8_t> a, b;
  VQscene_WriteMattableMemory(t, a);
  VQscene_WriteMattableMemory(tb, b);
  EXPECT_EQ(a, b);

  VQGeoset* g = VQscene_MakeGridGeoset(3, 2.0f, 2);
  ASSERT_TRUE(VQscene_WriteGeosetFile(g, tmp.Path("mesh.vqg").c_str(), 11));
  VQGeoset* gb = nullptr;
  ASSERT_TRUE(VQscene_ReadGeosetFile(&gb, tmp.Path("mesh.vqg").c_str(), 11));
  ASSERT_EQ(gb->m_levelCount, 1u);
  EXPECT_EQ(gb->m_meshes[0]->m_singleBlock, 1u);
  EXPECT_EQ(std::memcmp(gb->m_meshes[0]->m_positions, g->m_meshes[0]->m_positions, 16 * 12), 0);
  // Wrong magic: refused without an engine error.
  g_VQerror = 77;
  VQGeoset* none = nullptr;
  EXPECT_FALSE(VQscene_ReadGeosetFile(&none, tmp.Path("table.vqm").c_str(), 11));
  EXPECT_EQ(g_VQerror, 77);
  VQMattable::Release(t);
  VQMattable::Release(tb);
  VQGeoset::Destroy(g);
  VQGeoset::Destroy(gb);
}

TEST(SceneVrml, ExportWritesGeometryAndMaterials) {
  SceneTemp tmp;
  VQGroupNode group;
  VQGeoset* g = VQGeoset::Create();
  for (int level = 0; level < 2; ++level) {
    VQMesh* m = VQMesh::Create(3, 1, 0, false, false, false);
    m->m_positions[0].Set(1, 2, 3);
    m->m_indices[0] = 0, m->m_indices[1] = 1, m->m_indices[2] = 2;
    g->AddLevel(m, 10.0f * (level + 1));
  }
  VQGeosetNode* n = new VQGeosetNode(g);
  VQMattable* t = VQMattable::Create(1);
  t->m_slots[0]->m_opacity = 0.25f;
  n->SetMattable(t);
  group.AddChild(n);
  ASSERT_TRUE(VQscene_ExportVRML(&group, tmp.Path("out.wrl").c_str()));
  const auto bytes = tmp.Read("out.wrl");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("#VRML V1.0 ascii\n\nSeparator\n{\n\tInfo { string \"Produced by Kelmor Zentri VRML 1.0 exporter\" }\n", 0), 0u);
  auto count = [&](const std::string& s) {
    size_t n = 0;
    for (size_t p = text.find(s); p != std::string::npos; p = text.find(s, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Coordinate3"), 2u);
  EXPECT_EQ(count("IndexedFaceSet"), 2u);
  EXPECT_NE(text.find("\n\t\t\t\t\t1.000 3.000 -2.000,\n"), std::string::npos);
  EXPECT_NE(text.find("transparency 0.750\n"), std::string::npos);
  EXPECT_NE(text.find("diffuseColor  1.000 1.000 1.000\n"), std::string::npos);
  EXPECT_NE(text.find("0, 1, 2, -1,\n"), std::string::npos);
  EXPECT_FALSE(VQscene_ExportVRML(&group, tmp.Path("no/such/dir/out.wrl").c_str()));
  EXPECT_FALSE(std::filesystem::exists(tmp.Path("no/such/dir/out.wrl")));
  group.DeleteChildren();

  VQRootNode root;
  ASSERT_TRUE(VQscene_SaveFile(&root, tmp.Path("root.wrl").c_str(), 14, 11, 0));
  const auto rb = tmp.Read("root.wrl");
  const std::string rt(rb.begin(), rb.end());
  EXPECT_NE(rt.find("\tSeparator\n\t{\n\t}\n}\n"), std::string::npos);
}

// The reader through a real texture manager of the software device: found files become
// textures, missing ones stay null, and the manager's sampling comes back as it was.
TEST(SceneTextures, ReaderLoadsStageTexturesThroughTheTextureManager) {
  SceneTemp tmp;
  std::filesystem::create_directories(tmp.Path("Textures"));
  const uint8_t pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  ASSERT_TRUE(VQimage_WriteFile(pixels, 2, 2, 2, 11, nullptr, false,
                                tmp.Path("Textures/tm_0.tga").c_str(), 1, 0));
  VQSoftwareDisplayDevice device(5);
  VQTextureManager manager;
  manager.m_device = &device;
  ASSERT_TRUE(manager.SetFolder(tmp.Path("").c_str(), false));
  const uint32_t sampling[4] = {manager.m_sampling[0], manager.m_sampling[1], manager.m_sampling[2],
                                manager.m_sampling[3]};

  VQRootNode root;
  VQGeosetNode* n = new VQGeosetNode(VQscene_MakeGridGeoset(1, 1.0f, 1));
  n->SetMattable(VQscene_MakeMattable(1, "tm_"));  // stages "Textures\tm_0.tga", "Textures\detail.tga"
  root.SetChild(n);
  std::vector<uint8_t> data;
  ASSERT_TRUE(VQscene_WriteDatabaseMemory(&root, data, 11));
  root.DeleteChildren();

  VQSceneTextureManager source(&manager, 2);
  VQNode* back = nullptr;
  ASSERT_TRUE(VQscene_ReadDatabaseMemory(&back, data.data(), data.size(), &source, 11, true));
  VQMaterial* m = static_cast<VQGeosetNode*>(back->GetChild())->m_table->m_slots[0];
  ASSERT_NE(m->m_stages[0].m_texture, nullptr);
  EXPECT_EQ(m->m_stages[0].m_texture->m_width, 2u);
  EXPECT_EQ(m->m_stages[1].m_texture, nullptr);  // no such file
  EXPECT_EQ(manager.m_samplingDepth, 0u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(manager.m_sampling[i], sampling[i]);
  VQNode::Destroy(back);
  manager.ReleaseAll();
}

TEST(SceneDevice, DeviceLoadsHandMeshesToTheDeviceAndClonesCopyThroughIt) {
  SceneTemp tmp;
  VQNode* demo = VQscene_BuildDemo();
  ASSERT_TRUE(VQscene_WriteDatabase(demo, tmp.Path("d.vqo").c_str(), 12));
  RecordingDevice device;
  device.m_vertexColourFormat = 12;
  VQNode* root = VQscene_LoadForDevice(&device, tmp.Path("d.vqo").c_str(), false);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(VQscene_Describe(root), VQscene_Describe(demo));
  auto* ground = static_cast<VQGeosetNode*>(root->FindByName("ground"));
  auto* source = static_cast<VQGeosetNode*>(demo->FindByName("ground"));
  EXPECT_EQ(ground->m_geoset->m_meshes[0]->m_device, &device);
  EXPECT_EQ(ground->m_geoset->m_meshes[0]->m_colours[3], source->m_geoset->m_meshes[0]->m_colours[3]);
  VQNode* copy = ground->Clone(true, false);
  auto* copied = static_cast<VQGeosetNode*>(copy);
  EXPECT_EQ(device.meshesCreated, 1);
  EXPECT_EQ(copied->m_geoset->m_meshes[0]->m_device, &device);
  EXPECT_EQ(copied->m_table, ground->m_table);
  VQNode::Destroy(copy);
  EXPECT_EQ(device.meshesDeleted, 1);
  VQNode::Destroy(root);
  EXPECT_EQ(device.meshesDeleted, 8);

  ASSERT_TRUE(VQscene_WriteGeosetFile(source->m_geoset, tmp.Path("g.vqg").c_str(), 12));
  VQGeoset* g = VQscene_LoadGeosetForDevice(&device, tmp.Path("g.vqg").c_str());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->m_meshes[0]->m_device, &device);
  VQGeoset::Destroy(g);
  EXPECT_EQ(device.meshesDeleted, 9);
  g_VQerror = 0;
  EXPECT_EQ(VQscene_LoadForDevice(&device, tmp.Path("none.vqo").c_str(), false), nullptr);
  EXPECT_NE(g_VQerror, 0);
  VQNode::Destroy(demo);
}
