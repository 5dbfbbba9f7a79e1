// DrawMesh against the recording fake: call order, material runs, the second pass and curves.
#include <algorithm>
#include <cstring>

#include "Zentri/scene/VQViewport.h"
#include "tests/opengl/fixture.h"

using DrawMesh = RecordedDevice;

namespace {
std::vector<std::string> Runs() {
  return glrec::Only({"glBegin", "glEnd", "glArrayElement"});
}
std::string Begin(VQGLenum mode) { return Text("glBegin", mode); }
const std::string kEnd = "glEnd()";
std::string Element(int i) { return Text("glArrayElement", i); }
}  // namespace

TEST_F(DrawMesh, OneMaterialDrawsOneRunWithClientArrays) {
  VQMattable* table = Table(1);
  VQMesh* mesh = Mesh({0, 0}, true, false, true);
  VQMatrix matrix;
  device_.DrawMeshWith(mesh, table, &matrix, nullptr);
  const std::vector<std::string> expected = {
      Text("glMatrixMode", VQGL_MODELVIEW), "glLoadMatrixf",
      Text("glEnableClientState", VQGL_VERTEX_ARRAY), Text("glVertexPointer", 3, VQGL_FLOAT, 0, "p"),
      Text("glEnableClientState", VQGL_NORMAL_ARRAY), Text("glNormalPointer", VQGL_FLOAT, 0, "p"),
      Text("glDisableClientState", VQGL_COLOR_ARRAY), Text("glEnableClientState", VQGL_TEXTURE_COORD_ARRAY),
      Text("glTexCoordPointer", 2, VQGL_FLOAT, 0, "p"),
      // material 0: default colours differ from the reset's ambient only
      Text("glMaterialfv", VQGL_FRONT_AND_BACK, VQGL_AMBIENT, 0, 0, 0, 1), Begin(VQGL_TRIANGLES), Element(0),
      Element(1), Element(2), Element(3), Element(4), Element(5), kEnd};
  // Pointers print as "p".
  const std::vector<std::string>& calls = glrec::Calls();
  std::vector<std::string> want = expected;
  want[3] = "glVertexPointer(3,5126,0,p)";
  want[5] = "glNormalPointer(5126,0,p)";
  want[8] = "glTexCoordPointer(2,5126,0,p)";
  EXPECT_EQ(calls, want);
  EXPECT_EQ(g_VQrender.m_matrixChanged, 0);
}

TEST_F(DrawMesh, AlternatingMaterialsEndAndBeginARunAtEveryChange) {
  VQMattable* table = Table(2);
  table->m_slots[1]->m_diffuse = VQColor(1, 0, 0, 1);
  VQMesh* mesh = Mesh({0, 1, 1, 0}, false, false, false);
  device_.DrawMeshWith(mesh, table, nullptr, nullptr);
  EXPECT_EQ(Runs(), (std::vector<std::string>{Begin(VQGL_TRIANGLES), Element(0), Element(1), Element(2), kEnd,
                                              Begin(VQGL_TRIANGLES), Element(3), Element(4), Element(5),
                                              Element(6), Element(7), Element(8), kEnd, Begin(VQGL_TRIANGLES),
                                              Element(9), Element(10), Element(11), kEnd}));
  // Every change of material sends the colours that differ, between the runs.
  EXPECT_EQ(glrec::Count(Text("glMaterialfv", VQGL_FRONT_AND_BACK, VQGL_DIFFUSE, 1, 0, 0, 1)), 1u);
  EXPECT_EQ(glrec::Count(Text("glMaterialfv", VQGL_FRONT_AND_BACK, VQGL_DIFFUSE, 1, 1, 1, 1)), 1u);
}

TEST_F(DrawMesh, DepthFlagsAndVertexColoursGoThroughTheCache) {
  VQMattable* table = Table(1);
  VQMesh* mesh = Mesh({0}, false, true, false);
  mesh->m_flags = VQMESH_NO_DEPTH_WRITE | VQMESH_NO_DEPTH_TEST;
  device_.m_colourChanged = 1;
  device_.DrawMeshWith(mesh, table, nullptr, nullptr);
  EXPECT_EQ(glrec::Only({"glDepthMask", "glDisable(2929)", "glColor4f", "glEnable(2903)", "glColorMaterial",
                         "glColorPointer"}),
            (std::vector<std::string>{Text("glDepthMask", 0), Text("glDisable", VQGL_DEPTH_TEST),
                                      Text("glColor4f", 1.0, 1.0, 1.0, 1.0), Text("glEnable", VQGL_COLOR_MATERIAL),
                                      Text("glColorMaterial", VQGL_FRONT_AND_BACK, VQGL_AMBIENT_AND_DIFFUSE),
                                      "glColorPointer(4,5121,0,p)"}));
  glrec::Clear();
  // A mesh without colours switches colour material off and sends the material again.
  VQMesh* plain = Mesh({0}, false, false, false);
  device_.DrawMeshWith(plain, table, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Text("glDisable", VQGL_COLOR_MATERIAL)), 1u);
  EXPECT_EQ(glrec::Count(Text("glMaterialfv", VQGL_FRONT_AND_BACK, VQGL_DIFFUSE, 1, 1, 1, 1)), 1u);
  EXPECT_EQ(glrec::Count(Text("glDepthMask", 1)), 1u);
}

// The array's last vertex colour stays the current colour after a vertex-coloured mesh: the next
// mesh without colours starts from white, so that unlit it is not drawn in a stranger's colour.
TEST_F(DrawMesh, AMeshAfterAVertexColouredOneStartsFromWhite) {
  VQMattable* table = Table(1);
  device_.DrawMeshWith(Mesh({0}, false, true, false), table, nullptr, nullptr);
  glrec::Clear();
  device_.DrawMeshWith(Mesh({0}, false, false, false), table, nullptr, nullptr);
  const std::vector<std::string> colour = glrec::Only({"glColor4f", "glBegin"});
  ASSERT_EQ(colour.size(), 2u);
  EXPECT_EQ(colour[0], Text("glColor4f", 1.0, 1.0, 1.0, 1.0));
  glrec::Clear();
  device_.DrawMeshWith(Mesh({0}, false, false, false), table, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Text("glColor4f", 1.0, 1.0, 1.0, 1.0)), 0u) << "sent once";
}

TEST_F(DrawMesh, SecondStageInModulateModeDrawsASecondPassOnEqualDepth) {
  VQMattable* table = Table(1);
  VQMaterial* m = table->m_slots[0];
  m->m_stageCount = 2;
  m->m_stages[0].m_operation = 4;
  m->m_stages[0].m_texture = Texture(3);
  m->m_stages[1].m_operation = 4;
  m->m_stages[1].m_texture = Texture(8);
  VQMesh* mesh = Mesh({0}, true, true, true);
  device_.DrawMeshWith(mesh, table, nullptr, nullptr);
  const auto& calls = glrec::Calls();
  // The first pass is the plain one, with stage 0's texture.
  const auto firstEnd = std::find(calls.begin(), calls.end(), kEnd);
  ASSERT_NE(firstEnd, calls.end());
  EXPECT_NE(std::find(calls.begin(), firstEnd, Text("glBindTexture", VQGL_TEXTURE_2D, 3)), firstEnd);
  EXPECT_EQ(std::find(calls.begin(), firstEnd, Text("glDepthFunc", VQGL_EQUAL)), firstEnd);
  const std::vector<std::string> second(firstEnd + 1, calls.end());
  EXPECT_EQ(second, (std::vector<std::string>{
                        Text("glDisableClientState", VQGL_COLOR_ARRAY), Text("glDisableClientState", VQGL_NORMAL_ARRAY),
                        Text("glDepthFunc", VQGL_EQUAL), Text("glDepthMask", 0), "glTexCoordPointer(2,5126,0,p)",
                        Text("glEnable", VQGL_BLEND), Text("glBlendFunc", VQGL_ZERO, VQGL_SRC_COLOR),
                        Text("glColor4f", 1.0, 1.0, 1.0, 1.0), "glGetError()",
                        Text("glBindTexture", VQGL_TEXTURE_2D, 8), "glGetError()", Begin(VQGL_TRIANGLES), Element(0),
                        Element(1), Element(2), kEnd, Text("glDepthFunc", VQGL_LESS), Text("glDepthMask", 1)}));
}

TEST_F(DrawMesh, SecondPassCoordinatesComeFromNormalsWithoutASecondSet) {
  VQMattable* table = Table(1);
  VQMaterial* m = table->m_slots[0];
  m->m_stageCount = 2;
  m->m_stages[0].m_operation = 4;
  m->m_stages[1].m_operation = 9;
  m->m_stages[1].m_texture = Texture(8);
  VQMesh* mesh = Mesh({0}, true, false, false);
  VQMatrix identity;
  device_.DrawMeshWith(mesh, table, &identity, nullptr);
  // Normal (0, 0, 1) through the converted identity: u = 0.5, v = (1 + 1) / 2 = 1.
  ASSERT_EQ(device_.m_generatedUV.size(), 6u);
  EXPECT_FLOAT_EQ(device_.m_generatedUV[0], 0.5f);
  EXPECT_FLOAT_EQ(device_.m_generatedUV[1], 1.0f);
  EXPECT_EQ(glrec::Count(Text("glEnableClientState", VQGL_TEXTURE_COORD_ARRAY)), 1u);
  EXPECT_EQ(glrec::Count(Text("glDepthFunc", VQGL_EQUAL)), 1u);
}

TEST_F(DrawMesh, NoSecondPassForOneStageOrForAMeshWithNothingToMapTheStage) {
  VQMattable* one = Table(1);
  one->m_slots[0]->m_stageCount = 1;
  one->m_slots[0]->m_stages[0].m_operation = 4;
  one->m_slots[0]->m_stages[0].m_texture = Texture(3);
  device_.DrawMeshWith(Mesh({0}, true, false, true), one, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Text("glDepthFunc", VQGL_EQUAL)), 0u);

  VQMattable* two = Table(1);
  two->m_slots[0]->m_stageCount = 2;
  two->m_slots[0]->m_stages[1].m_operation = 4;
  two->m_slots[0]->m_stages[1].m_texture = Texture(8);
  glrec::Clear();
  device_.DrawMeshWith(Mesh({0}, false, false, false), two, nullptr, nullptr);  // no normals, no second set
  EXPECT_EQ(glrec::Count(Text("glDepthFunc", VQGL_EQUAL)), 0u);
  EXPECT_EQ(Runs().size(), 5u);  // the first pass only
}

TEST_F(DrawMesh, SecondPassLeavesLightingAsItFoundIt) {
  VQViewport viewport;
  viewport.m_lighting = 1;
  g_VQrender.m_viewport = &viewport;
  VQMattable* table = Table(1);
  table->m_slots[0]->m_stageCount = 2;
  table->m_slots[0]->m_stages[1].m_operation = 4;
  table->m_slots[0]->m_stages[1].m_texture = Texture(8);
  // Lighting off (no lights): the pass neither switches it off nor on.
  device_.DrawMeshWith(Mesh({0}, true, false, true), table, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Text("glEnable", VQGL_LIGHTING)), 0u);
  EXPECT_EQ(glrec::Count(Text("glDisable", VQGL_LIGHTING)), 0u);
  // Lighting on: off for the pass and on again afterwards.
  device_.SetRenderFlag(VQRENDER_LIGHTING, true);
  glrec::Clear();
  device_.DrawMeshWith(Mesh({0}, true, false, true), table, nullptr, nullptr);
  EXPECT_EQ(glrec::Only({"glEnable(2896)", "glDisable(2896)"}),
            (std::vector<std::string>{Text("glDisable", VQGL_LIGHTING), Text("glEnable", VQGL_LIGHTING)}));
  g_VQrender.m_viewport = nullptr;
}

TEST_F(DrawMesh, TrianglesWithIndicesBeyondTheVerticesAreLeftOut) {
  VQMattable* table = Table(1);
  VQMesh* mesh = Mesh({0, 0}, false, false, false);
  mesh->m_indices[4] = 60000;
  device_.DrawMeshWith(mesh, table, nullptr, nullptr);
  EXPECT_EQ(Runs(), (std::vector<std::string>{Begin(VQGL_TRIANGLES), Element(0), Element(1), Element(2), kEnd}));
}

TEST_F(DrawMesh, MaterialNumbersBeyondTheTableDrawUntextured) {
  VQMattable* table = Table(1);
  device_.BindTextureName(5);
  glrec::Clear();
  device_.DrawMeshWith(Mesh({3}, false, false, false), table, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Text("glDisable", VQGL_TEXTURE_2D)), 1u);
  EXPECT_EQ(Runs().size(), 5u);
}

TEST_F(DrawMesh, CurvesAreDrawnAsFourPiecesPerSegment) {
  VQMattable* table = Table(1);
  // Three curve points (each: point, first handle, second handle) = 9 positions.
  VQMesh* mesh = VQMesh::Create(9, 0, 2, false, false, false);
  for (uint32_t i = 0; i < 9; ++i) mesh->m_positions[i] = VQVector(float(i / 3), 0, 0);
  const uint8_t records[16] = {0, 0, 3, 0, 0, 0, 0, 0,    // material 0, 3 points from 0
                               0, 0, 4, 0, 0, 0, 0, 0};   // 4 points: beyond the positions
  std::memcpy(mesh->m_extra, records, sizeof records);
  device_.DrawMeshWith(mesh, table, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Begin(VQGL_LINES)), 8u);
  EXPECT_EQ(glrec::Count("glVertex3f(0,0,0)"), 1u);   // the first piece starts at point 0
  EXPECT_EQ(glrec::Count("glVertex3f(2,0,0)"), 1u);   // the last piece ends at point 2
  EXPECT_EQ(glrec::Count("glVertex3f(1,0,0)"), 2u);   // the middle point ends one segment, starts the next
  VQMesh::FreeMemory(mesh);
}

TEST_F(DrawMesh, FrameCountersGrowByTrianglesAndIndices) {
  for (auto& s : g_VQrender.m_stats) s = 0;
  device_.DrawMeshWith(Mesh({0, 0, 0}, false, false, false), Table(1), nullptr, nullptr);
  EXPECT_EQ(g_VQrender.m_stats[VQSTAT_DEVICE_A], 3u);
  EXPECT_EQ(g_VQrender.m_stats[VQSTAT_DEVICE_B], 9u);
}
