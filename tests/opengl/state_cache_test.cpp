// The OpenGL device's state cache, materials, lights and fog against the recording fake.
#include <cstring>

#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNodes.h"
#include "tests/opengl/fixture.h"

using StateCache = RecordedDevice;

TEST_F(StateCache, RenderFlagsAreSentOnlyOnChange) {
  struct Case {
    uint32_t flag;
    std::string on, off;
  } cases[] = {
      {VQRENDER_BLENDING, Text("glEnable", VQGL_BLEND), Text("glDisable", VQGL_BLEND)},
      {VQRENDER_DEPTH_TEST, Text("glEnable", VQGL_DEPTH_TEST), Text("glDisable", VQGL_DEPTH_TEST)},
      {VQRENDER_DEPTH_WRITE, Text("glDepthMask", 1), Text("glDepthMask", 0)},
      {VQRENDER_LIGHTING, Text("glEnable", VQGL_LIGHTING), Text("glDisable", VQGL_LIGHTING)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    const bool initial = device_.GetRenderFlag(c.flag);
    glrec::Clear();
    device_.SetRenderFlag(c.flag, initial);  // no change: nothing sent
    EXPECT_TRUE(glrec::Calls().empty());
    device_.SetRenderFlag(c.flag, !initial);
    device_.SetRenderFlag(c.flag, !initial);
    device_.SetRenderFlag(c.flag, initial);
    const std::vector<std::string> expected = initial ? std::vector<std::string>{c.off, c.on}
                                                      : std::vector<std::string>{c.on, c.off};
    EXPECT_EQ(glrec::Calls(), expected);
    EXPECT_EQ(device_.GetRenderFlag(c.flag), initial);
  }
  EXPECT_FALSE(device_.GetRenderFlag(4));
}

TEST_F(StateCache, BlendPairIsSentOnceAndUnknownFactorsBecomeSourceAlpha) {
  device_.SetBlend(2, 3);  // the pair the reset left
  EXPECT_TRUE(glrec::Calls().empty());
  device_.SetBlend(0, 4);
  device_.SetBlend(0, 4);
  testing::internal::CaptureStdout();
  device_.SetBlend(9, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "blendargtype 9\n");
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glBlendFunc", VQGL_ZERO, VQGL_SRC_COLOR),
                                                      Text("glBlendFunc", VQGL_SRC_ALPHA, VQGL_ONE_MINUS_SRC_COLOR)}));
}

TEST_F(StateCache, BindTextureEnablesTexturingOnceAndBindsOnlyNewNames) {
  VQOpenGLTexture* a = Texture(5);
  VQOpenGLTexture* b = Texture(6);
  device_.BindTexture(a);
  device_.BindTexture(a);
  device_.BindTexture(b);
  device_.BindTexture(nullptr);
  device_.BindTexture(nullptr);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glEnable", VQGL_TEXTURE_2D),
                                                      Text("glBindTexture", VQGL_TEXTURE_2D, 5),
                                                      Text("glBindTexture", VQGL_TEXTURE_2D, 6),
                                                      Text("glDisable", VQGL_TEXTURE_2D)}));
}

TEST_F(StateCache, DisableLightClearsTheLightingFlagItSwitchesOff) {
  VQLightNode light;
  ASSERT_TRUE(device_.EnableLight(&light, 0));
  EXPECT_TRUE(device_.GetRenderFlag(VQRENDER_LIGHTING));
  device_.DisableLight(&light, 0);
  EXPECT_FALSE(device_.GetRenderFlag(VQRENDER_LIGHTING));
  glrec::Clear();
  // With the cache matching OpenGL, switching lighting back on reaches OpenGL.
  device_.SetRenderFlag(VQRENDER_LIGHTING, true);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glEnable", VQGL_LIGHTING)}));
}

TEST_F(StateCache, DirectionalLightSendsColoursAndNegatedDirectionInItsFrame) {
  VQLightNode light;
  light.m_direction = VQVector(0, 0, -1);
  light.m_diffuse = VQColor(0.5f, 0.25f, 1, 1);
  light.m_placement.MakeTranslation(5, 6, 7);
  ASSERT_TRUE(device_.EnableLight(&light, 2));
  const uint32_t l = VQGL_LIGHT0 + 2;
  EXPECT_EQ(glrec::Calls(),
            (std::vector<std::string>{Text("glEnable", VQGL_LIGHTING), Text("glLightfv", l, VQGL_AMBIENT, 0, 0, 0, 1),
                                      Text("glLightfv", l, VQGL_DIFFUSE, 0.5, 0.25, 1, 1),
                                      Text("glLightfv", l, VQGL_SPECULAR, 0, 0, 0, 1),
                                      Text("glMatrixMode", VQGL_MODELVIEW), "glPushMatrix()", "glLoadMatrixf",
                                      Text("glLightfv", l, VQGL_POSITION, -0.0, -0.0, 1, 0), "glPopMatrix()",
                                      Text("glEnable", l)}));
  // The light's placement went in converted: translation (5, 6, 7) -> (5, 7, -6).
  EXPECT_FLOAT_EQ(glrec::LastMatrix()[12], 5);
  EXPECT_FLOAT_EQ(glrec::LastMatrix()[13], 7);
  EXPECT_FLOAT_EQ(glrec::LastMatrix()[14], -6);
}

TEST_F(StateCache, PointLightIsEnabledWithoutParametersAndIndexBeyondTheLightsFails) {
  VQLightNode light;
  light.m_lightType = 1;
  ASSERT_TRUE(device_.EnableLight(&light, 0));
  ASSERT_TRUE(device_.EnableLight(&light, 1));
  EXPECT_EQ(glrec::Only({"glLightfv", "glEnable"}),
            (std::vector<std::string>{Text("glEnable", VQGL_LIGHTING), Text("glEnable", VQGL_LIGHT0),
                                      Text("glEnable", VQGL_LIGHT0 + 1)}));
  glrec::Clear();
  EXPECT_FALSE(device_.EnableLight(&light, 8));
  EXPECT_EQ(g_VQerror, VQERR_LIGHT_INDEX);
  EXPECT_TRUE(glrec::Calls().empty());
  EXPECT_EQ(device_.m_lightCount, 2u);
}

TEST_F(StateCache, FogIsCountedAndLinearFogSendsItsRange) {
  VQFogNode fog;
  fog.m_colour = VQColor(0.5f, 0.5f, 0.75f, 1);
  fog.m_start = 10;
  fog.m_end = 100;
  EXPECT_FALSE(device_.FogOn(nullptr));
  ASSERT_TRUE(device_.FogOn(&fog));
  ASSERT_TRUE(device_.FogOn(&fog));
  device_.FogOff(&fog);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{
                                Text("glEnable", VQGL_FOG), Text("glFogfv", VQGL_FOG_COLOR, 0.5, 0.5, 0.75, 1),
                                Text("glFogi", VQGL_FOG_MODE, VQGL_LINEAR), Text("glFogf", VQGL_FOG_START, 10.0),
                                Text("glFogf", VQGL_FOG_END, 100.0), Text("glFogfv", VQGL_FOG_COLOR, 0.5, 0.5, 0.75, 1),
                                Text("glFogi", VQGL_FOG_MODE, VQGL_LINEAR), Text("glFogf", VQGL_FOG_START, 10.0),
                                Text("glFogf", VQGL_FOG_END, 100.0)}));
  glrec::Clear();
  device_.FogOff(&fog);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glDisable", VQGL_FOG)}));
  glrec::Clear();
  device_.FogOff(&fog);  // unmatched: no count below zero, nothing sent
  EXPECT_TRUE(glrec::Calls().empty());
}

TEST_F(StateCache, OpacityScalesDiffuseAlphaAndMakesTheMaterialBlend) {
  VQMattable* t = Table(1);
  VQMaterial* m = t->m_slots[0];
  m->m_diffuse = VQColor(1, 0.5f, 0.25f, 1);
  m->m_opacity = 0.5f;
  m->m_shininess = 0.5f;
  device_.ApplyMaterial(m);
  EXPECT_EQ(glrec::Only({"glMaterial", "glBlend", "glEnable", "glDisable"}),
            (std::vector<std::string>{
                Text("glMaterialfv", VQGL_FRONT_AND_BACK, VQGL_AMBIENT, 0, 0, 0, 1),
                Text("glMaterialfv", VQGL_FRONT_AND_BACK, VQGL_DIFFUSE, 1, 0.5, 0.25, 0.5),
                Text("glMaterialf", VQGL_FRONT_AND_BACK, VQGL_SHININESS, 64.0), Text("glEnable", VQGL_BLEND)}));
  // The pair (2, 3) was already in force from the reset.
  EXPECT_EQ(device_.m_blendSource, 2u);
  EXPECT_EQ(device_.m_blendDestination, 3u);
  glrec::Clear();
  device_.ApplyMaterial(m);  // everything cached
  EXPECT_TRUE(glrec::Calls().empty());
  // An opaque material switches blending off again; its own pair (not 1, 0) switches it on.
  VQMattable* t2 = Table(2);
  t2->m_slots[1]->m_srcBlend = 4;
  t2->m_slots[1]->m_dstBlend = 1;
  glrec::Clear();
  device_.ApplyMaterial(t2->m_slots[0]);
  device_.ApplyMaterial(t2->m_slots[1]);
  EXPECT_EQ(glrec::Only({"glBlend", "glEnable", "glDisable"}),
            (std::vector<std::string>{Text("glDisable", VQGL_BLEND), Text("glEnable", VQGL_BLEND),
                                      Text("glBlendFunc", VQGL_SRC_COLOR, VQGL_ONE)}));
}

TEST_F(StateCache, AlphaTestFunctionsMapAndOffDisables) {
  const std::pair<uint32_t, VQGLenum> map[] = {{1, VQGL_ALWAYS},  {2, VQGL_NEVER},  {3, VQGL_LESS},
                                               {4, VQGL_LEQUAL},  {5, VQGL_EQUAL},  {6, VQGL_GEQUAL},
                                               {7, VQGL_GREATER}, {8, VQGL_NOTEQUAL}, {12, VQGL_NEVER}};
  for (auto [function, expected] : map) {
    SCOPED_TRACE(function);
    device_.SetAlphaTest(0, 0.0f);
    glrec::Clear();
    device_.SetAlphaTest(function, 0.5f);
    EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glEnable", VQGL_ALPHA_TEST),
                                                        Text("glAlphaFunc", expected, 0.5)}));
  }
  glrec::Clear();
  device_.SetAlphaTest(12, 0.5f);  // same pair: nothing
  device_.SetAlphaTest(3, 0.25f);  // already on: no enable
  device_.SetAlphaTest(0, 0.25f);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glAlphaFunc", VQGL_LESS, 0.25),
                                                      Text("glDisable", VQGL_ALPHA_TEST)}));
}

TEST_F(StateCache, ApplyStateWithoutLightingSwitchesLightingOffAndRestoresWhite) {
  VQLightNode light;
  device_.EnableLight(&light, 0);
  device_.m_colourChanged = 1;
  glrec::Clear();
  device_.SetLighting(nullptr);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glColor4f", 1.0, 1.0, 1.0, 1.0),
                                                      Text("glDisable", VQGL_LIGHTING)}));
  EXPECT_EQ(device_.m_lightCount, 0u);
  EXPECT_FALSE(device_.GetRenderFlag(VQRENDER_LIGHTING));
}

TEST_F(StateCache, ManagedTexturePassLeavesNoStaleBoundName) {
  ASSERT_TRUE(device_.m_textureManager == nullptr);
  device_.m_textureManager = new VQTextureManager();
  device_.m_textureManager->m_device = &device_;
  VQOpenGLTexture* a = Texture(4);
  VQOpenGLTexture* b = Texture(9);
  for (auto& t : textures_) (void)t.release();  // the manager owns them now
  textures_.clear();
  device_.m_textureManager->Add(a, "a", 0x8000, 0x8000);
  device_.m_textureManager->Add(b, "b", 0x8000, 0x8000);
  device_.BindTextureName(4);
  glrec::Clear();
  EXPECT_EQ(device_.BindManagedTextures(), 0u);
  EXPECT_EQ(glrec::Only({"glBindTexture"}), (std::vector<std::string>{Text("glBindTexture", VQGL_TEXTURE_2D, 4),
                                                                      Text("glBindTexture", VQGL_TEXTURE_2D, 9)}));
  glrec::Clear();
  // OpenGL has texture 9 bound now: binding 4 again must reach it.
  device_.BindTextureName(4);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glBindTexture", VQGL_TEXTURE_2D, 4)}));
  device_.m_textureManager->ReleaseAll();
  delete device_.m_textureManager;
  device_.m_textureManager = nullptr;
}

TEST_F(StateCache, MatrixConversionTurnsZUpIntoYUp) {
  VQMatrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = float(i + 1);
  float out[16];
  VQopengl_ConvertMatrix(out, m);
  const float expected[16] = {1, 3, -2, 4, 5, 7, -6, 8, 9, 11, -10, 12, 13, 15, -14, 16};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(OpenGLFormats, PixmapAndTextureFormats) {
  VQOpenGLDisplayDevice d(3);
  const uint32_t pixmap[17] = {0, 1, 0, 0, 0, 0, 0, 8, 8, 12, 12, 12, 12, 8, 8, 8, 8};
  for (uint32_t f = 0; f <= 16; ++f) EXPECT_EQ(d.GetPixmapFormatFor(f), pixmap[f]) << f;
  EXPECT_EQ(d.GetPixmapFormatFor(17), 0u);
  EXPECT_EQ(d.GetTextureFormatFor(7), 8u);
  EXPECT_EQ(d.GetTextureFormatFor(11), 12u);
  EXPECT_EQ(d.GetTextureFormatFor(9), 9u);
  EXPECT_EQ(d.PackColourF(1, 0, 0, 1), 0xFF0000FFu);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(d.PackColourB(bytes), 0x04030201u);
}

TEST_F(StateCache, SixtyFifthCanvasFailsWithError14BeforeAnythingIsMade) {
  device_.m_canvasCount = VQDISPLAY_MAX_CANVASES;
  EXPECT_EQ(device_.CreateCanvas(2, 0, 64, 64, 0, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_CANVASES);
  EXPECT_TRUE(glrec::Calls().empty());
  device_.m_canvasCount = 0;
}

TEST_F(StateCache, TexturesAreStoredAsRGBOrRGBAAndUploadedWithTheDeviceSampling) {
  device_.SetTextureWrap(1, 0);
  device_.SetTextureMinFilter(6);
  const uint8_t bgr[2 * 1 * 3] = {1, 2, 3, 4, 5, 6};  // blue, green, red
  VQTexture* t = device_.CreateTexture(bgr, 2, 1, VQPF_BGR888, nullptr, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_format, uint32_t(VQPF_RGB888));
  const uint8_t* stored = static_cast<const uint8_t*>(t->Lock(nullptr, 0));
  EXPECT_EQ(std::vector<uint8_t>(stored, stored + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(glrec::Calls(),
            (std::vector<std::string>{
                Text("glGenTextures", 1), Text("glBindTexture", VQGL_TEXTURE_2D, 1),
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_TEXTURE_WRAP_S, VQGL_CLAMP),
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_TEXTURE_WRAP_T, VQGL_REPEAT),
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_TEXTURE_MAG_FILTER, VQGL_LINEAR),
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_TEXTURE_MIN_FILTER, VQGL_LINEAR_MIPMAP_LINEAR),
                Text("glBindTexture", VQGL_TEXTURE_2D, 1), Text("glPixelStorei", VQGL_UNPACK_ALIGNMENT, 1),
                // a mipmapped minification needs its levels
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_GENERATE_MIPMAP, 1),
                Text("glTexImage2D", VQGL_TEXTURE_2D, 0, 3, 2, 1, 0, VQGL_RGB, VQGL_UNSIGNED_BYTE, "p")}));
  // Setting the same sampling again sends nothing; one new value sends one parameter.
  glrec::Clear();
  t->SetSampling(1, 2, 2, 6);
  EXPECT_TRUE(glrec::Calls().empty());
  t->SetSampling(0, 0, 1, 0);
  EXPECT_EQ(glrec::Only({"glTexParameteri"}),
            (std::vector<std::string>{Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_TEXTURE_MAG_FILTER, VQGL_NEAREST)}));
  glrec::Clear();
  EXPECT_EQ(device_.DeleteTexture(t), 0u);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glDeleteTextures", 1, "p")}));
  EXPECT_EQ(device_.CreateTexture(nullptr, 2, 2, VQPF_RGB888, nullptr, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_EQ(device_.CreateTexture(bgr, 0, 2, VQPF_RGB888, nullptr, 0), nullptr);
}

TEST_F(StateCache, MipmappedMinificationAfterUploadSendsThePixelsAgainWithLevels) {
  const uint8_t rgb[2 * 2 * 3] = {};
  VQTexture* t = device_.CreateTexture(rgb, 2, 2, VQPF_RGB888, nullptr, 0);  // minification 1
  ASSERT_NE(t, nullptr);
  glrec::Clear();
  t->SetSampling(0, 0, 0, 6);
  EXPECT_EQ(glrec::Only({"glTexParameteri", "glTexImage2D"}),
            (std::vector<std::string>{
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_TEXTURE_MIN_FILTER, VQGL_LINEAR_MIPMAP_LINEAR),
                Text("glTexParameteri", VQGL_TEXTURE_2D, VQGL_GENERATE_MIPMAP, 1),
                Text("glTexImage2D", VQGL_TEXTURE_2D, 0, 3, 2, 2, 0, VQGL_RGB, VQGL_UNSIGNED_BYTE, "p")}));
  // Between mipmapped filters, and back to a plain one, the levels stay: nothing is sent again.
  glrec::Clear();
  t->SetSampling(0, 0, 0, 3);
  t->SetSampling(0, 0, 0, 2);
  EXPECT_EQ(glrec::Count(Text("glTexImage2D", VQGL_TEXTURE_2D, 0, 3, 2, 2, 0, VQGL_RGB, VQGL_UNSIGNED_BYTE, "p")), 0u);
  device_.DeleteTexture(t);
}

TEST_F(StateCache, MeshPlacedRelativeToTheCameraIsATranslation) {
  VQCamera camera;
  camera.SetPosition(VQVector(1, 2, 3));
  g_VQrender.m_camera = &camera;
  VQMattable* table = Table(1);
  VQMesh* mesh = VQMesh::Create(3, 1, 0, false, false, false);
  mesh->m_flags = VQMESH_AT_CAMERA_OFFSET;
  VQMatrix ignored;
  ignored.MakeTranslation(100, 100, 100);
  const VQVector position(11, 22, 33);
  device_.DrawMeshWith(mesh, table, &ignored, &position);
  const std::vector<float>& m = glrec::LastMatrix();
  EXPECT_FLOAT_EQ(m[12], 10);
  EXPECT_FLOAT_EQ(m[13], 30);
  EXPECT_FLOAT_EQ(m[14], -20);
  EXPECT_FLOAT_EQ(m[0], 1);
  g_VQrender.m_camera = nullptr;
  VQMesh::FreeMemory(mesh);
}

TEST_F(StateCache, ImmediatePrimitivesSwitchColourMaterialOnceAndLinesCloseOnTheFirstPoint) {
  const float positions[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  const uint32_t colours[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
  const float normal[3] = {0, 0, 1};
  device_.DrawTriangle(positions, colours, nullptr, normal);
  device_.DrawQuad(positions, colours, nullptr, nullptr);
  EXPECT_EQ(glrec::Count(Text("glEnable", VQGL_COLOR_MATERIAL)), 1u);
  EXPECT_EQ(glrec::Count(Text("glColorMaterial", VQGL_FRONT, VQGL_AMBIENT_AND_DIFFUSE)), 1u);
  EXPECT_EQ(glrec::Count("glNormal3fv(p)"), 1u);
  EXPECT_EQ(glrec::Count("glColor4ubv(p)"), 7u);
  EXPECT_EQ(glrec::Count("glVertex3fv(p)"), 7u);
  EXPECT_EQ(device_.m_colourChanged, 1);
  glrec::Clear();
  device_.DrawTriangle(positions, nullptr, nullptr, nullptr);  // without colours: off again
  EXPECT_EQ(glrec::Count(Text("glDisable", VQGL_COLOR_MATERIAL)), 1u);
  glrec::Clear();
  device_.DrawLines(3, positions, true);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glColor4f", 1.0, 1.0, 1.0, 1.0),
                                                      Text("glBegin", VQGL_LINE_STRIP), "glVertex3fv(p)",
                                                      "glVertex3fv(p)", "glVertex3fv(p)", "glVertex3fv(p)",
                                                      "glEnd()"}));
  EXPECT_EQ(device_.m_colourChanged, 0);
}
