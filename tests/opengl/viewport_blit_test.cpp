// The OpenGL viewport's Begin and Clear, and the canvas image blits with clipping, against
// the recording fake.
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "tests/opengl/fixture.h"

namespace {

class CanvasFixture : public RecordedDevice {
 protected:
  void SetUp() override {
    RecordedDevice::SetUp();
    canvas_.m_device = &device_;
    ASSERT_TRUE(canvas_.Create(2, 640, 480, 32));
    glrec::Clear();
  }
  void TearDown() override {
    canvas_.Destroy();
    RecordedDevice::TearDown();
  }
  VQOpenGLViewport* Viewport(int32_t x, int32_t y, int32_t w, int32_t h) {
    auto* v = static_cast<VQOpenGLViewport*>(canvas_.CreateViewport(x, y, w, h));
    glrec::Clear();
    return v;
  }
  // A pixmap of the device in a format, filled with its byte index.
  VQOpenGLPixmap* Pixmap(uint32_t w, uint32_t h, uint32_t format) {
    auto* p = new VQOpenGLPixmap();
    p->Allocate(w, h, format, nullptr);
    pixmaps_.emplace_back(p);
    return p;
  }
  VQOpenGLCanvas canvas_;
  std::vector<std::unique_ptr<VQOpenGLPixmap>> pixmaps_;
};

std::vector<std::string> UnpackState() {
  return glrec::Only({"glPixelStorei", "glRasterPos2i", "glDrawPixels"});
}

}  // namespace

using OpenGLViewport = CanvasFixture;
using CanvasBlit = CanvasFixture;

TEST_F(OpenGLViewport, BeginWithACameraLoadsTheFrustumAndResetsTheState) {
  VQOpenGLViewport* v = Viewport(0, 0, 640, 480);
  VQCamera camera;
  camera.SetPosition(VQVector(1, 2, 3));
  v->SetCamera(&camera);
  g_VQrender.m_left = -1;
  g_VQrender.m_right = 1;
  g_VQrender.m_bottom = -0.75f;
  g_VQrender.m_top = 0.75f;
  g_VQrender.m_near = 1;
  g_VQrender.m_far = 500;
  device_.SetRenderFlag(VQRENDER_BLENDING, true);
  device_.BindTextureName(4);
  glrec::Clear();
  ASSERT_TRUE(v->Begin());
  const std::vector<std::string> head(glrec::Calls().begin(), glrec::Calls().begin() + 6);
  EXPECT_EQ(head, (std::vector<std::string>{Text("glViewport", 0, 0, 640, 480), Text("glMatrixMode", VQGL_PROJECTION),
                                            "glLoadIdentity()", Text("glFrustum", -1.0, 1.0, -0.75, 0.75, 1.0, 500.0),
                                            Text("glMatrixMode", VQGL_MODELVIEW), "glLoadIdentity()"}));
  EXPECT_EQ(g_VQrender.m_matrixCount, 1u);
  EXPECT_FLOAT_EQ(g_VQrender.m_matrices[0].m[12], -1);
  EXPECT_FLOAT_EQ(g_VQrender.m_view.m[14], -3);
  // The reset: the cache and OpenGL agree again.
  EXPECT_FALSE(device_.GetRenderFlag(VQRENDER_BLENDING));
  EXPECT_EQ(device_.m_boundTexture, 0xFFFFFFFFu);
  EXPECT_EQ(glrec::Count(Text("glDisable", VQGL_BLEND)), 1u);
  EXPECT_EQ(glrec::Count(Text("glDisable", VQGL_TEXTURE_2D)), 1u);
  glrec::Clear();
  device_.BindTextureName(4);  // the reset forgot the bound name: sent again
  EXPECT_EQ(glrec::Count(Text("glBindTexture", VQGL_TEXTURE_2D, 4)), 1u);
  camera.m_projection = 0;
  glrec::Clear();
  v->Begin();
  EXPECT_EQ(glrec::Count(Text("glOrtho", -1.0, 1.0, -0.75, 0.75, 1.0, 500.0)), 1u);
  v->SetCamera(nullptr);
}

TEST_F(OpenGLViewport, BeginWithoutCameraLeavesTheIdentityAndAnEmptyStack) {
  VQOpenGLViewport* v = Viewport(0, 0, 320, 240);
  g_VQrender.m_matrixCount = 5;
  ASSERT_TRUE(v->Begin());
  EXPECT_EQ(g_VQrender.m_matrixCount, 0u);
  EXPECT_EQ(glrec::Count("glFrustum"), 0u);
  EXPECT_EQ(glrec::Only({"glFrustum", "glOrtho"}).size(), 0u);
}

TEST_F(OpenGLViewport, ClearOfTheWholeCanvasIsOneClearAndAPartIsAFarQuad) {
  VQOpenGLViewport* full = Viewport(0, 0, 640, 480);
  full->m_clearColour = VQColor(0.25f, 0.5f, 0.75f, 1);
  full->Clear(1);
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glClearColor", 0.25, 0.5, 0.75, 1.0),
                                                      Text("glClearDepth", 1.0),
                                                      Text("glClear", VQGL_COLOR_BUFFER_BIT | VQGL_DEPTH_BUFFER_BIT)}));
  // Only the colour bit, word 0: depth is cleared as well.
  full->m_clearFlags = 1;
  glrec::Clear();
  full->Clear(0);
  EXPECT_EQ(glrec::Only({"glClear("}), (std::vector<std::string>{Text("glClear", VQGL_COLOR_BUFFER_BIT | VQGL_DEPTH_BUFFER_BIT)}));
  full->m_clearFlags = 0;
  glrec::Clear();
  full->Clear(0);
  EXPECT_TRUE(glrec::Calls().empty());

  VQOpenGLViewport* half = Viewport(0, 0, 320, 480);
  half->m_clearFlags = 2;  // depth only: the quad still paints the background colour
  half->m_clearColour = VQColor(1, 0, 0, 1);
  half->Clear(1);
  EXPECT_EQ(glrec::Count("glClear"), 0u);
  EXPECT_EQ(glrec::Only({"glBegin", "glColor3f", "glVertex3f", "glEnd", "glDepthFunc"}),
            (std::vector<std::string>{Text("glDepthFunc", VQGL_ALWAYS), Text("glBegin", VQGL_QUADS),
                                      Text("glColor3f", 1.0, 0.0, 0.0), "glVertex3f(-2,-2,-2)", "glVertex3f(2,-2,-2)",
                                      "glVertex3f(2,2,-2)", "glVertex3f(-2,2,-2)", "glEnd()",
                                      Text("glDepthFunc", VQGL_LESS)}));
  EXPECT_EQ(glrec::Count(Text("glFrustum", -1.0, 1.0, -1.0, 1.0, 1.0, 2.0)), 1u);
  EXPECT_EQ(glrec::Count("glPopMatrix()"), 2u);
}

TEST_F(OpenGLViewport, SettersOnlyTellOpenGL) {
  VQOpenGLViewport* v = Viewport(10, 20, 100, 50);
  v->m_active = 1;
  EXPECT_TRUE(v->SetSize(30, 40));
  EXPECT_TRUE(v->SetPosition(1, 2));
  EXPECT_TRUE(v->SetRect(5, 6, 7, 8));
  EXPECT_EQ(glrec::Calls(), (std::vector<std::string>{Text("glViewport", 10, 20, 30, 40), Text("glViewport", 1, 2, 30, 40),
                                                      Text("glViewport", 5, 6, 7, 8)}));
}

TEST_F(CanvasBlit, PixmapLeftOfTheCanvasSkipsItsHiddenColumnsAndResetsUnpackState) {
  VQOpenGLPixmap* p = Pixmap(64, 32, VQPF_RGBA8888);
  VQImageRef image(p);
  canvas_.BlitImage(&image, -10, 5, 0, 0);
  EXPECT_EQ(UnpackState(), (std::vector<std::string>{
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_PIXELS, 10),
                               Text("glPixelStorei", VQGL_UNPACK_ROW_LENGTH, 64),
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_ROWS, 0), Text("glRasterPos2i", 0, 5),
                               Text("glPixelStorei", VQGL_UNPACK_ALIGNMENT, 1),
                               Text("glDrawPixels", 54, 32, VQGL_RGBA, VQGL_UNSIGNED_BYTE, "p"),
                               // back to the defaults, so a later texture upload reads whole rows
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_PIXELS, 0),
                               Text("glPixelStorei", VQGL_UNPACK_ROW_LENGTH, 0),
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_ROWS, 0)}));
  EXPECT_TRUE(device_.GetRenderFlag(VQRENDER_BLENDING));  // 32 bits blend by source alpha
  EXPECT_EQ(device_.BlendSource(), 2u);
  EXPECT_EQ(device_.BlendDestination(), 3u);
}

TEST_F(CanvasBlit, ImagesOffTheCanvasDrawNothing) {
  VQOpenGLPixmap* p = Pixmap(64, 32, VQPF_RGB888);
  VQImageRef image(p);
  const int32_t places[][2] = {{640, 0}, {0, 480}, {-64, 0}, {0, -32}, {-100, 10}, {10, -40}};
  for (auto& xy : places) {
    SCOPED_TRACE(xy[0]);
    canvas_.BlitImage(&image, xy[0], xy[1], 0, 0);
    EXPECT_TRUE(glrec::Calls().empty());
  }
  canvas_.BlitImage(&image, 639, 479, 0, 0);  // one pixel shows
  EXPECT_EQ(glrec::Count(Text("glDrawPixels", 64, 32, VQGL_RGB, VQGL_UNSIGNED_BYTE, "p")), 1u);
  EXPECT_FALSE(device_.GetRenderFlag(VQRENDER_BLENDING));  // 24 bits: opaque
}

TEST_F(CanvasBlit, PixmapOfAFormatWithoutAnUploadFormIsRefused) {
  VQOpenGLPixmap* p = Pixmap(8, 8, VQPF_RGB565);
  VQImageRef image(p);
  canvas_.BlitImage(&image, 0, 0, 0, 0);
  EXPECT_EQ(glrec::Count("glDrawPixels"), 0u);
  EXPECT_TRUE(UnpackState().empty());
}

TEST_F(CanvasBlit, TextureIsDrawnAsOneQuadAtItsSize) {
  VQOpenGLTexture* t = Texture(7);
  VQImageRef image(t);
  canvas_.BlitImage(&image, 3, 4, 0, 0);
  EXPECT_EQ(glrec::Only({"glBindTexture", "glBegin", "glTexCoord2f", "glVertex2i", "glEnd"}),
            (std::vector<std::string>{Text("glBindTexture", VQGL_TEXTURE_2D, 7), Text("glBegin", VQGL_QUADS),
                                      "glTexCoord2f(0,0)", "glVertex2i(3,4)", "glTexCoord2f(1,0)", "glVertex2i(19,4)",
                                      "glTexCoord2f(1,1)", "glVertex2i(19,20)", "glTexCoord2f(0,1)",
                                      "glVertex2i(3,20)", "glEnd()"}));
  image.m_texture = nullptr;  // the fixture owns the texture
  t->m_refCount = 1;
}

TEST_F(CanvasBlit, RectsOfATextureSkipPiecesOffTheCanvasAndMapSourceCorners) {
  VQOpenGLTexture* t = Texture(7);
  VQImageRef image(t);
  const int32_t dx[] = {0, 700, 10}, dy[] = {0, 0, -20}, sx[] = {4, 0, 8}, sy[] = {8, 0, 0}, w[] = {4, 4, 8},
                h[] = {8, 4, 8};
  canvas_.BlitImageRects(&image, 3, dx, dy, sx, sy, w, h);
  const auto quads = glrec::Only({"glTexCoord2f", "glVertex2i"});
  ASSERT_EQ(quads.size(), 8u);  // one quad: the second is right of the canvas, the third below it
  EXPECT_EQ(quads[0], "glTexCoord2f(0.25,0.5)");
  EXPECT_EQ(quads[4], "glTexCoord2f(0.5,1)");
  EXPECT_EQ(quads[5], "glVertex2i(4,8)");
  image.m_texture = nullptr;
  t->m_refCount = 1;
}

TEST_F(CanvasBlit, RectsOfAPixmapClipAtTheLowerLeftAndSkipBadPieces) {
  VQOpenGLPixmap* p = Pixmap(32, 32, VQPF_RGB888);
  VQImageRef image(p);
  const int32_t dx[] = {-3, 5, -40, 0}, dy[] = {-2, 5, 0, 0}, sx[] = {4, 30, 0, 0}, sy[] = {6, 0, 0, 0},
                w[] = {10, 8, 16, 8}, h[] = {10, 8, 16, 8};
  canvas_.BlitImageRects(&image, 4, dx, dy, sx, sy, w, h);
  EXPECT_EQ(UnpackState(), (std::vector<std::string>{
                               // piece 0: clipped by 3 columns and 2 rows
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_PIXELS, 7),
                               Text("glPixelStorei", VQGL_UNPACK_ROW_LENGTH, 32),
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_ROWS, 8), Text("glRasterPos2i", 0, 0),
                               Text("glPixelStorei", VQGL_UNPACK_ALIGNMENT, 1),
                               Text("glDrawPixels", 7, 8, VQGL_RGB, VQGL_UNSIGNED_BYTE, "p"),
                               // piece 1 reads past the pixmap's right edge, piece 2 is off the canvas
                               // piece 3: whole
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_PIXELS, 0),
                               Text("glPixelStorei", VQGL_UNPACK_ROW_LENGTH, 32),
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_ROWS, 0), Text("glRasterPos2i", 0, 0),
                               Text("glPixelStorei", VQGL_UNPACK_ALIGNMENT, 1),
                               Text("glDrawPixels", 8, 8, VQGL_RGB, VQGL_UNSIGNED_BYTE, "p"),
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_PIXELS, 0),
                               Text("glPixelStorei", VQGL_UNPACK_ROW_LENGTH, 0),
                               Text("glPixelStorei", VQGL_UNPACK_SKIP_ROWS, 0)}));
}

TEST_F(CanvasBlit, BatchDrawsTheTextureAtEveryPlace) {
  VQOpenGLTexture* t = Texture(7);
  t->m_format = VQPF_RGB888;
  VQImageRef image(t);
  const int32_t xs[] = {0, 100}, ys[] = {0, 50};
  device_.SetRenderFlag(VQRENDER_BLENDING, true);
  canvas_.BlitImageBatch(&image, 2, xs, ys);
  EXPECT_EQ(glrec::Count("glVertex2i(100,50)"), 1u);
  EXPECT_EQ(glrec::Count("glVertex2i(16,16)"), 1u);
  EXPECT_EQ(glrec::Count(Text("glBegin", VQGL_QUADS)), 1u);
  EXPECT_FALSE(device_.GetRenderFlag(VQRENDER_BLENDING));
  image.m_texture = nullptr;
  t->m_refCount = 1;
}

TEST_F(CanvasBlit, Begin2DSetsPixelCoordinatesOncePerFrame) {
  canvas_.Begin2D();
  EXPECT_EQ(glrec::Count(Text("gluOrtho2D", 0.0, 640.0, 0.0, 480.0)), 1u);
  EXPECT_EQ(glrec::Count(Text("glViewport", 0, 0, 640, 480)), 1u);
  EXPECT_FALSE(device_.GetRenderFlag(VQRENDER_DEPTH_TEST));
  glrec::Clear();
  canvas_.Begin2D();
  EXPECT_TRUE(glrec::Calls().empty());
}
