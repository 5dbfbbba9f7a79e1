// The display device's scene operations: scene, material-table and geoset files read and
// written through a device, the device holding every loaded mesh, and the base mesh slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQParticleSystem.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/util/VQerror.h"
#include "tests/scene/scene_support.h"

namespace {

// Every mesh of every geoset under root.
std::vector<VQMesh*> Meshes(VQNode* root) {
  std::vector<VQMesh*> out;
  root->Visit(
      [](VQNode* n, void* list) {
        if (n->m_type != VQNODE_GEOSET) return true;
        const VQGeoset* g = static_cast<VQGeosetNode*>(n)->m_geoset;
        for (uint32_t i = 0; g && i < g->m_levelCount; ++i)
          if (g->m_meshes[i]) static_cast<std::vector<VQMesh*>*>(list)->push_back(g->m_meshes[i]);
        return true;
      },
      &out);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());  // shared geosets count once
  return out;
}

// A recording device opened with its texture manager over a scratch folder.
class DeviceScene : public ::testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Init();
    ASSERT_TRUE(device_.Open(0));
    device_.m_vertexColourFormat = 12;
    ASSERT_TRUE(device_.m_textureManager->SetFolder(tmp_.Path("").c_str(), false));
  }
  void TearDown() override {
    device_.Close();
    g_VQsystem.Shutdown();
  }
  SceneTemp tmp_;
  RecordingDevice device_;
};

}  // namespace

TEST_F(DeviceScene, SceneFilesGoThroughTheReadersAndTheDeviceHoldsEveryLoadedMesh) {
  std::filesystem::create_directories(tmp_.Path("Textures"));
  const uint8_t pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  ASSERT_TRUE(VQimage_WriteFile(pixels, 2, 2, 2, 11, nullptr, false,
                                tmp_.Path("Textures/dv_0.tga").c_str(), 1, 0));
  VQNode* demo = VQscene_BuildDemo();
  auto* ground = static_cast<VQGeosetNode*>(demo->FindByName("ground"));
  ground->SetMattable(VQscene_MakeMattable(1, "dv_"));  // stage 0 "Textures\dv_0.tga"

  // Written with the device's colour format: the same bytes as the writer gives.
  const std::string path = tmp_.Path("demo.vqo");
  ASSERT_TRUE(device_.WriteSceneFile(demo, path.c_str(), 4, 0));
  std::vector<uint8_t> direct;
  ASSERT_TRUE(VQscene_WriteDatabaseMemory(demo, direct, 12));
  EXPECT_EQ(tmp_.Read("demo.vqo"), direct);

  VQNode* root = device_.ReadSceneFile(path.c_str(), 1, 0);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(VQscene_Describe(root), VQscene_Describe(demo));
  const std::vector<VQMesh*> meshes = Meshes(root);
  ASSERT_EQ(meshes.size(), 7u);
  for (VQMesh* m : meshes) {
    EXPECT_EQ(m->m_device, &device_);
    EXPECT_EQ(m->m_deviceBuffer, 0u);
  }
  // Stage textures come through the device's texture manager.
  const VQMaterial* m = static_cast<VQGeosetNode*>(root->FindByName("ground"))->m_table->m_slots[0];
  ASSERT_NE(m->m_stages[0].m_texture, nullptr);
  EXPECT_EQ(m->m_stages[0].m_texture->m_width, 2u);
  EXPECT_EQ(m->m_stages[1].m_texture, nullptr);  // no such file

  // The device releases what it holds when the tree goes.
  device_.meshesDeleted = 0;
  VQNode::Destroy(root);
  EXPECT_EQ(device_.meshesDeleted, 7);

  // Without textures asked for, none are loaded.
  root = device_.ReadSceneFile(path.c_str(), 0, 0);
  ASSERT_NE(root, nullptr);
  m = static_cast<VQGeosetNode*>(root->FindByName("ground"))->m_table->m_slots[0];
  EXPECT_EQ(m->m_stages[0].m_texture, nullptr);
  EXPECT_STREQ(m->m_stages[0].m_textureName, "Textures\\dv_0.tga");
  VQNode::Destroy(root);
  // The device, not a file-wide flag, keeps the choice for its later LoadMattable.
  EXPECT_EQ(device_.m_sceneLoadTextures, 0);

  // Failures name their reason and build nothing.
  g_VQerror = 0;
  EXPECT_EQ(device_.ReadSceneFile(tmp_.Path("missing.vqo").c_str(), 0, 0), nullptr);
  EXPECT_NE(g_VQerror, 0);
  g_VQerror = 0;
  EXPECT_FALSE(device_.WriteSceneFile(demo, tmp_.Path("demo.xyz").c_str(), 99, 0));
  EXPECT_NE(g_VQerror, 0);
  VQNode::Destroy(demo);
}

TEST_F(DeviceScene, MattableAndGeosetFilesRoundTripThroughTheDevice) {
  VQMattable* table = VQscene_MakeMattable(3, "dt_");
  ASSERT_TRUE(device_.SaveMattable(table, tmp_.Path("t.vqm").c_str()));
  VQMattable* back = device_.LoadMattable(tmp_.Path("t.vqm").c_str(), 0, 0);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->m_count, 3);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(back->m_slots[i]->m_name, table->m_slots[i]->m_name);
    EXPECT_EQ(back->m_slots[i]->m_stageCount, table->m_slots[i]->m_stageCount);
  }
  EXPECT_EQ(back->m_hasTransparent, table->m_hasTransparent);
  VQMattable::Release(back);
  VQMattable::Release(table);

  VQGeoset* geoset = VQscene_MakeGridGeoset(3, 4.0f, 2);
  ASSERT_TRUE(device_.SaveGeoset(geoset, tmp_.Path("g.vqg").c_str()));
  VQGeoset* loaded = device_.LoadGeoset(tmp_.Path("g.vqg").c_str(), 0);
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->m_levelCount, 1u);
  const VQMesh* a = geoset->m_meshes[0];
  const VQMesh* b = loaded->m_meshes[0];
  EXPECT_EQ(b->m_device, &device_);
  ASSERT_EQ(b->m_vertexCount, a->m_vertexCount);
  ASSERT_EQ(b->m_triangleCount, a->m_triangleCount);
  EXPECT_EQ(std::memcmp(b->m_positions, a->m_positions, 12ull * a->m_vertexCount), 0);
  EXPECT_EQ(std::memcmp(b->m_colours, a->m_colours, 4ull * a->m_vertexCount), 0);
  EXPECT_EQ(std::memcmp(b->m_indices, a->m_indices, 6ull * a->m_triangleCount), 0);
  device_.meshesDeleted = 0;
  VQGeoset::Destroy(loaded);
  EXPECT_EQ(device_.meshesDeleted, 1);
  VQGeoset::Destroy(geoset);

  g_VQerror = 0;
  EXPECT_EQ(device_.LoadGeoset(tmp_.Path("missing.vqg").c_str(), 0), nullptr);
  EXPECT_NE(g_VQerror, 0);
  g_VQerror = 0;
  EXPECT_EQ(device_.LoadMattable(tmp_.Path("missing.vqm").c_str(), 0, 0), nullptr);
  EXPECT_NE(g_VQerror, 0);
}

// The plain software device keeps the base mesh slots: meshes it makes or copies are its own,
// and releasing them frees them (the sanitizer build sees any leak).
TEST(DeviceMeshes, BaseDeviceMakesCopiesAndReleasesItsMeshes) {
  VQSoftwareDisplayDevice device(9);
  VQMesh* mesh = device.CreateMesh(4, 2, 0, 1, 0, 1);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->m_device, &device);
  EXPECT_NE(mesh->m_normals, nullptr);
  EXPECT_EQ(mesh->m_colours, nullptr);
  EXPECT_NE(mesh->m_uv0, nullptr);
  mesh->m_positions[3].Set(1, 2, 3);
  mesh->m_indices[5] = 3;

  VQMesh* copy = device.CreateMeshFromRecord(mesh, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, mesh);
  EXPECT_EQ(copy->m_device, &device);
  EXPECT_EQ(copy->m_positions[3], VQVector(1, 2, 3));
  EXPECT_EQ(copy->m_indices[5], 3);
  VQMesh::Destroy(mesh);
  VQMesh::Destroy(copy);

  g_VQerror = 0;
  EXPECT_EQ(device.CreateMeshFromRecord(nullptr, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);

  // A particle system's mesh is made by the device and released through it.
  {
    VQParticleSystem particles(&device, 16, 1);
    ASSERT_NE(particles.m_mesh, nullptr);
    EXPECT_EQ(particles.m_mesh->m_device, &device);
  }

  // A scene loaded through the device goes away whole with its tree.
  SceneTemp tmp;
  VQNode* demo = VQscene_BuildDemo();
  ASSERT_TRUE(device.WriteSceneFile(demo, tmp.Path("d.vqo").c_str(), 4, 0));
  VQNode* root = device.ReadSceneFile(tmp.Path("d.vqo").c_str(), 0, 0);
  ASSERT_NE(root, nullptr);
  for (VQMesh* m : Meshes(root)) EXPECT_EQ(m->m_device, &device);
  VQNode* clone = root->FindByName("ground")->Clone(true, false);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(static_cast<VQGeosetNode*>(clone)->m_geoset->m_meshes[0]->m_device, &device);
  VQNode::Destroy(clone);
  VQNode::Destroy(root);
  VQNode::Destroy(demo);
}
