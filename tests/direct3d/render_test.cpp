// The Direct3D canvas's render-state cache and drawing, textures, pixmaps, the viewport and
// grabs, on the host layer (with a recorder in front of the Direct3D device where the calls
// themselves are checked).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "tests/direct3d/fixture.h"

namespace {

class D3DRender : public D3DDevice {
 protected:
  void TearDown() override {
    for (VQMattable* t : tables_) VQMattable::Release(t);
    for (VQMesh* m : meshes_) device_->DeleteMesh(m);
    D3DDevice::TearDown();
  }
  VQMattable* Table(uint32_t n) {
    VQMattable* t = VQMattable::Create(n);
    t->m_refCount = 1;
    tables_.push_back(t);
    return t;
  }
  // A mesh of one triangle per material number, 3 vertices each.
  VQMesh* Mesh(const std::vector<uint16_t>& materials, bool colours = false) {
    const uint32_t t = uint32_t(materials.size());
    VQMesh* m = device_->CreateMesh(3 * t, t, 0, 1, colours ? 1 : 0, 1);
    for (uint32_t i = 0; i < 3 * t; ++i) {
      m->m_indices[i] = uint16_t(i);
      m->m_positions[i] = VQVector(float(i % 3), 0, float(i % 2));
      m->m_normals[i] = VQVector(0, -1, 0);
    }
    for (uint32_t i = 0; i < t; ++i) m->SetMaterialOf(i, materials[i]);
    meshes_.push_back(m);
    return m;
  }
  VQTexture* Texture(uint32_t w, uint32_t h, uint32_t format = VQPF_RGB888, uint32_t divisor = 1) {
    std::vector<uint8_t> pixels(size_t(w) * h * VQPixelFormat_BytesPerPixel(format), 200);
    return device_->CreateTexture(pixels.data(), w, h, format, nullptr, divisor);
  }

  std::vector<VQMattable*> tables_;
  std::vector<VQMesh*> meshes_;
};

}  // namespace

TEST_F(D3DRender, StatesAreSentOnlyWhenTheyChange) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  c->SetBlend(VQBLEND_ONE, VQBLEND_ONE);
  c->SetBlend(VQBLEND_ONE, VQBLEND_ONE);
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_SRCBLEND), 1u);
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_DESTBLEND), 1u);
  c->SetRenderFlag(VQRENDER_DEPTH_TEST, false);
  c->SetRenderFlag(VQRENDER_DEPTH_TEST, false);
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_ZENABLE), 1u);
  EXPECT_FALSE(c->GetRenderFlag(VQRENDER_DEPTH_TEST));
  EXPECT_FALSE(c->GetRenderFlag(7));
  c->SetRenderFlag(7, true);  // outside 0..3: nothing
  c->SetAlphaTest(4, 0.5f);
  EXPECT_EQ(rec->states.back(), std::make_pair(D3DRENDERSTATE_ALPHAREF, 127u));
  c->SetAlphaTest(4, 0.5f);
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_ALPHAFUNC), 1u);
  c->SetTextureFactor(1.0f);
  EXPECT_EQ(rec->states.back(), std::make_pair(D3DRENDERSTATE_TEXTUREFACTOR, 0xFF000000u));
  // An unknown blend factor becomes source alpha.
  testing::internal::CaptureStdout();
  c->SetBlend(9, VQBLEND_ZERO);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "blendargtype 9\n");
  EXPECT_EQ(rec->states[rec->states.size() - 2], std::make_pair(D3DRENDERSTATE_SRCBLEND, uint32_t(D3DBLEND_SRCALPHA)));
}

TEST_F(D3DRender, DefaultStateIsSentInFull) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  c->SetDefaultState();
  EXPECT_EQ(rec->states.front(), std::make_pair(D3DRENDERSTATE_SPECULARENABLE, 0u));
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_CULLMODE), 1u);
  EXPECT_EQ(rec->states.back(), std::make_pair(D3DRENDERSTATE_LIGHTING, 0u));
  EXPECT_EQ((rec->stageStates[{0, D3DTSS_COLORARG2}]), D3DTA_DIFFUSE);
  EXPECT_EQ((rec->stageStates[{1, D3DTSS_COLORARG2}]), D3DTA_CURRENT);
  EXPECT_EQ((rec->stageStates[{7, D3DTSS_COLOROP}]), uint32_t(D3DTOP_DISABLE));
}

TEST_F(D3DRender, MaterialWithTwoStagesUsesBothSlotsInOnePass) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  VQTexture* t0 = Texture(8, 8);
  VQTexture* t1 = Texture(8, 8);
  ASSERT_NE(t0, nullptr);
  VQMattable* table = Table(1);
  VQMaterial* m = table->m_slots[0];
  m->m_stageCount = 2;
  m->m_stages[0].m_operation = 4;  // modulate
  m->m_stages[0].m_texture = t0;
  m->m_stages[0].m_settings[1] = 3;  // texture
  m->m_stages[0].m_settings[2] = 2;  // diffuse
  m->m_stages[1].m_operation = 5;    // add
  m->m_stages[1].m_texture = t1;
  m->m_stages[1].m_settings[0] = VQD3DCOORD_REFLECTION;
  c->ApplyMaterial(m, 0, 2);
  EXPECT_EQ((rec->stageStates[{0, D3DTSS_COLOROP}]), uint32_t(D3DTOP_MODULATE));
  EXPECT_EQ(c->m_tss[0][D3DTSS_COLORARG1], D3DTA_TEXTURE);  // already so: not sent again
  EXPECT_EQ((rec->stageStates.count({0, D3DTSS_COLORARG1})), 0u);
  EXPECT_EQ((rec->stageStates[{1, D3DTSS_COLOROP}]), uint32_t(D3DTOP_ADD));
  EXPECT_EQ((rec->stageStates[{1, D3DTSS_TEXCOORDINDEX}]), D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  EXPECT_EQ((rec->stageStates[{1, D3DTSS_TEXTURETRANSFORMFLAGS}]), uint32_t(D3DTTFF_COUNT2));
  EXPECT_EQ(c->m_tss[2][D3DTSS_COLOROP], uint32_t(D3DTOP_DISABLE));
  ASSERT_EQ(rec->textures.size(), 2u);
  EXPECT_EQ(rec->textures[0].second, static_cast<VQD3DTexture*>(t0)->m_surface);
  EXPECT_EQ(rec->textures[1].second, static_cast<VQD3DTexture*>(t1)->m_surface);
  // With one stage per pass, pass 1 puts stage 1 at slot 0 and blends it over: add is
  // source alpha and one.
  rec->Reset();
  c->ApplyMaterial(m, 1, 1);
  EXPECT_EQ((rec->stageStates[{0, D3DTSS_COLOROP}]), uint32_t(D3DTOP_ADD));
  EXPECT_TRUE(c->GetRenderFlag(VQRENDER_BLENDING));
  EXPECT_EQ(c->m_srcBlend, uint32_t(VQBLEND_SRC_ALPHA));
  EXPECT_EQ(c->m_dstBlend, uint32_t(VQBLEND_ONE));
  // The same material again sends no material colours.
  rec->Reset();
  c->ApplyMaterial(m, 0, 2);
  EXPECT_EQ(rec->materials, 0u);
  t0->Release();
  t1->Release();
}

TEST_F(D3DRender, TranslucentMaterialsSwitchBlendingOn) {
  VQD3DCanvas* c = Canvas();
  VQMattable* table = Table(1);
  VQMaterial* m = table->m_slots[0];
  m->m_opacity = 0.5f;
  c->ApplyMaterial(m, 0, 1);
  EXPECT_TRUE(c->GetRenderFlag(VQRENDER_BLENDING));
  EXPECT_EQ(c->m_srcBlend, uint32_t(VQBLEND_SRC_ALPHA));
  m->m_opacity = 1.0f;
  c->ApplyMaterial(m, 0, 1);
  EXPECT_FALSE(c->GetRenderFlag(VQRENDER_BLENDING));
}

TEST_F(D3DRender, LightingGoesOffWhenTheLastLightIsDisabled) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  VQLightNode light;
  light.m_direction = VQVector(0, 0, -1);  // straight down in engine axes
  ASSERT_TRUE(device_->EnableLight(&light, 0));
  ASSERT_TRUE(device_->EnableLight(&light, 1));
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_LIGHTING), 1u);
  ASSERT_EQ(rec->lights.size(), 2u);
  EXPECT_EQ(rec->lights[0].dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(rec->lights[0].dvDirection.y, -1.0f);  // Direct3D's y is the engine's z
  EXPECT_FLOAT_EQ(rec->lights[0].dcvDiffuse.a, 1.0f);
  device_->DisableLight(&light, 1);
  EXPECT_TRUE(c->GetRenderFlag(VQRENDER_LIGHTING));
  device_->DisableLight(&light, 0);
  EXPECT_FALSE(c->GetRenderFlag(VQRENDER_LIGHTING));
  device_->DisableLight(&light, 0);  // more than were enabled
  EXPECT_FALSE(c->GetRenderFlag(VQRENDER_LIGHTING));
  EXPECT_EQ(c->m_lightCount, 0u);
  EXPECT_FALSE(device_->EnableLight(&light, 8));
}

TEST_F(D3DRender, FogIsLinearFromStartToEndAndCounted) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  VQFogNode fog;
  fog.m_colour = VQColor(0.5f, 0.6f, 0.7f, 1.0f);
  fog.m_start = 50;
  fog.m_end = 400;
  ASSERT_TRUE(device_->FogOn(&fog));
  ASSERT_TRUE(device_->FogOn(&fog));
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_FOGENABLE), 1u);
  uint32_t start = 0, colour = 0;
  for (const auto& [s, v] : rec->states) {
    if (s == D3DRENDERSTATE_FOGSTART) start = v;
    if (s == D3DRENDERSTATE_FOGCOLOR) colour = v;
  }
  float f;
  std::memcpy(&f, &start, 4);
  EXPECT_FLOAT_EQ(f, 50.0f);
  EXPECT_EQ(colour, 0xFF7F99B2u);
  device_->FogOff(&fog);
  EXPECT_EQ(rec->Count(D3DRENDERSTATE_FOGENABLE), 1u);
  device_->FogOff(&fog);
  EXPECT_EQ(rec->states.back(), std::make_pair(D3DRENDERSTATE_FOGENABLE, 0u));
}

TEST_F(D3DRender, AlternatingMaterialsDrawOneRunPerChange) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  VQMattable* table = Table(2);
  VQMesh* strided = Mesh({0, 1, 1, 0, 0, 0});
  ASSERT_TRUE(c->MakeCurrent());
  device_->DrawMesh(strided, reinterpret_cast<uintptr_t>(table), 0, 0, 0, 0, 0);
  EXPECT_EQ(rec->indexCounts, (std::vector<uint32_t>{3, 6, 9}));
  // Prepared: the vertex-buffer record has the same runs.
  rec->Reset();
  VQMesh* prepared = Mesh({1, 0, 1});
  device_->PrepareMesh(prepared, 0);
  VQD3DMeshBuffer* record = device_->BufferOf(prepared);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->m_runCount, 3u);
  EXPECT_EQ(record->m_fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
  device_->DrawMesh(prepared, reinterpret_cast<uintptr_t>(table), 0, 0, 0, 0, 0);
  EXPECT_EQ(rec->indexCounts, (std::vector<uint32_t>{3, 3, 3}));
  c->End();
  // A mesh deleted takes its record with it.
  const uint32_t buffers = device_->m_liveVertexBuffers;
  device_->DeleteMesh(prepared);
  meshes_.erase(std::find(meshes_.begin(), meshes_.end(), prepared));
  EXPECT_EQ(device_->m_liveVertexBuffers, buffers - 1);
}

TEST_F(D3DRender, PlainWireframeDrawsWithoutMaterialsOrTextures) {
  VQD3DCanvas* c = Canvas();
  RecordingDevice* rec = Record(c);
  device_->SetFillMode(VQFILL_WIREFRAME);
  EXPECT_EQ(rec->states.front(), std::make_pair(D3DRENDERSTATE_FILLMODE, uint32_t(D3DFILL_WIREFRAME)));
  EXPECT_TRUE(c->m_plainWireframe);
  rec->Reset();
  VQMattable* table = Table(1);
  table->m_slots[0]->m_diffuse = VQColor(1, 0, 0, 1);
  c->ApplyMaterial(table->m_slots[0], 0, 1);
  EXPECT_EQ(rec->materials, 0u);
  EXPECT_TRUE(rec->textures.empty());
  device_->SetFillMode(VQFILL_SOLID);
  EXPECT_FALSE(c->m_plainWireframe);
  device_->SetFillMode(9);  // nothing
  EXPECT_EQ(rec->states.back(), std::make_pair(D3DRENDERSTATE_FILLMODE, uint32_t(D3DFILL_SOLID)));
}

TEST_F(D3DRender, TextureSizesFollowTheDeviceLimits) {
  host::d3d::options().max_texture_size = 256;
  device_->Close();
  ASSERT_TRUE(device_->Open(kHardware));
  EXPECT_EQ(Texture(8, 8), nullptr);  // no canvas yet: limits unknown
  EXPECT_EQ(g_VQerror, VQERR_NO_CANVAS);
  ASSERT_NE(Canvas(), nullptr);
  VQTexture* t = Texture(300, 200);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_width, 256u);
  EXPECT_EQ(t->m_height, 256u);
  EXPECT_EQ(t->m_imageWidth, 300u);
  t->Release();
  t = Texture(64, 16, VQPF_RGB888, 2);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_width, 32u);
  EXPECT_EQ(t->m_height, 8u);
  t->Release();
  device_->m_squareOnly = true;
  t = Texture(300, 200);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_height, 256u);
  t->Release();
  device_->m_squareOnly = false;
  // 1-5-5-5 sources have no texture format.
  EXPECT_EQ(device_->GetTextureFormatFor(VQPF_ARGB1555), 0u);
  EXPECT_EQ(Texture(8, 8, VQPF_ARGB1555), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TEXTURE_FORMAT);
  EXPECT_EQ(device_->GetTextureFormatFor(VQPF_RGBA8888), uint32_t(VQPF_BGRA8888));
  EXPECT_EQ(device_->GetTextureFormatFor(VQPF_RGB888), uint32_t(VQPF_BGRX8888));
  EXPECT_EQ(device_->GetTextureFormatFor(VQPF_PAL8), uint32_t(VQPF_PAL8));
  EXPECT_EQ(device_->CreateTexture(nullptr, 4, 4, VQPF_RGB888, nullptr, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
}

TEST_F(D3DRender, OnlyAChangeOfMipNeedRebuildsATextureSurface) {
  ASSERT_NE(Canvas(), nullptr);
  auto* t = static_cast<VQD3DTexture*>(Texture(16, 8));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_mipLevels, 1u);
  IDirectDrawSurface7* before = t->m_surface;
  t->SetSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, 0, 0);
  EXPECT_EQ(t->m_surface, before);
  EXPECT_EQ(t->m_sampling >> 8, 0x11u);
  t->SetSampling(0, 0, 0, VQFILTER_LINEAR_MIP_LINEAR);
  EXPECT_NE(t->m_surface, before);
  EXPECT_EQ(t->m_mipLevels, 4u);  // min(log2 16, log2 8) + 1
  t->Release();
}

TEST_F(D3DRender, PixmapsAreLockedSurfacesInTheirFormat) {
  ASSERT_NE(Canvas(), nullptr);
  VQPixmap* p = device_->CreatePixmap(5, 3, VQPF_BGR888);
  ASSERT_NE(p, nullptr);
  uint32_t pitch = 0;
  auto* px = static_cast<uint8_t*>(p->Lock(&pitch));
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(pitch, 5u);
  px[3 * (2 * pitch + 4) + 2] = 255;  // red at (4, 2)
  float rgba[4];
  p->GetPixel(rgba, 4, 2);
  EXPECT_FLOAT_EQ(rgba[0], 1.0f);
  EXPECT_EQ(device_->CreatePixmap(0, 3, VQPF_BGR888), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  const uint32_t live = device_->m_livePixmaps;
  EXPECT_EQ(device_->DeletePixmap(p), live - 1);
  EXPECT_EQ(device_->GetPixmapFormatFor(VQPF_RGB888), device_->m_screenFormat);
  EXPECT_EQ(device_->CopyPixmap(nullptr), nullptr);
}

TEST_F(D3DRender, ViewportRectanglesAreFlippedToTheTopLeft) {
  VQD3DCanvas* c = Canvas(64, 480);
  RecordingDevice* rec = Record(c);
  auto* whole = static_cast<VQD3DViewport*>(c->CreateViewport(0, 0, 64, 480));
  auto* lower = static_cast<VQD3DViewport*>(c->CreateViewport(0, 0, 64, 240));
  ASSERT_NE(whole, nullptr);
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(lower->m_d3dViewport.dwY, 240u);
  ASSERT_TRUE(c->MakeCurrent());
  whole->m_clearColour = VQColor(0, 0, 1, 1);
  ASSERT_TRUE(whole->Begin());
  whole->Clear(0);
  ASSERT_EQ(rec->clears.size(), 1u);
  EXPECT_EQ(rec->clears[0].first, 0u);  // the whole canvas: no rectangle
  lower->m_clearColour = VQColor(1, 0, 0, 1);
  ASSERT_TRUE(lower->Begin());
  lower->Clear(0);
  ASSERT_EQ(rec->clears.size(), 2u);
  EXPECT_EQ(rec->clears[1].second.y1, 240);
  EXPECT_EQ(rec->clears[1].second.y2, 480);
  c->End();
  int rgb[3];
  BackPixel(c, 5, 239, rgb);
  EXPECT_EQ(rgb[2], 255);
  BackPixel(c, 5, 240, rgb);
  EXPECT_EQ(rgb[0], 255);
  BackPixel(c, 5, 479, rgb);
  EXPECT_EQ(rgb[0], 255);
  EXPECT_TRUE(lower->SetRect(0, 240, 64, 240));
  EXPECT_EQ(lower->m_d3dViewport.dwY, 0u);
}

TEST_F(D3DRender, GrabRectReadsTheFrameBottomRowFirst) {
  VQD3DCanvas* c = Canvas(32, 16);
  VQViewport* v = c->CreateViewport(0, 0, 32, 8);  // the lower half
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(c->MakeCurrent());
  auto* all = static_cast<VQD3DViewport*>(c->CreateViewport(0, 0, 32, 16));
  all->m_clearColour = VQColor(0, 0, 0, 1);
  all->Clear(0);
  v->m_clearColour = VQColor(0, 1, 0, 1);
  v->Clear(0);
  c->End();
  VQPixmap* p = c->GrabRect(-4, 0, 40, 16);  // clamped to the canvas
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->m_width, 32u);
  EXPECT_EQ(p->m_format, uint32_t(VQPF_BGR888));
  EXPECT_EQ(p->m_bottomUp, 1u);
  uint32_t pitch = 0;
  const auto* px = static_cast<const uint8_t*>(p->Lock(&pitch));
  EXPECT_EQ(px[1], 255);                            // row 0: the bottom, green
  EXPECT_EQ(px[3 * (size_t(15) * pitch) + 1], 0);   // row 15: the top, black
  device_->DeletePixmap(p);
  EXPECT_EQ(c->GrabRect(40, 0, 5, 5), nullptr);
}

TEST_F(D3DRender, TexturesAndMeshesCanBeMadeOnALoaderThreadWhileFramesAreDrawn) {
  VQD3DCanvas* c = Canvas(32, 32);
  VQViewport* v = c->CreateViewport(0, 0, 32, 32);
  VQCamera camera;
  camera.SetPosition(VQVector(0, -10, 0));
  v->SetCamera(&camera);
  v->m_active = 1;
  c->Show(true);
  std::vector<VQTexture*> textures;
  std::vector<VQMesh*> meshes;
  std::thread loader([&] {
    std::vector<uint8_t> pixels(16 * 16 * 3, 90);
    for (int i = 0; i < 40; ++i) {
      textures.push_back(device_->CreateTexture(pixels.data(), 16, 16, VQPF_RGB888, nullptr, 0));
      VQMesh* m = device_->CreateMesh(3, 1, 0, 1, 0, 1);
      for (uint16_t k = 0; k < 3; ++k) m->m_indices[k] = k;
      device_->PrepareMesh(m, 0);
      meshes.push_back(m);
    }
  });
  for (int frame = 0; frame < 20; ++frame) {
    device_->RenderAll();
    device_->PresentAll();
  }
  loader.join();
  for (VQTexture* t : textures) {
    ASSERT_NE(t, nullptr);
    t->Release();
  }
  for (VQMesh* m : meshes) {
    EXPECT_NE(device_->BufferOf(m), nullptr);
    device_->DeleteMesh(m);
  }
  v->SetCamera(nullptr);
}

TEST_F(D3DRender, SpritesAndPixmapsDrawInCanvasPixelsFromTheBottomLeft) {
  VQD3DCanvas* c = Canvas(32, 32);
  auto* all = static_cast<VQD3DViewport*>(c->CreateViewport(0, 0, 32, 32));
  ASSERT_TRUE(c->MakeCurrent());
  ASSERT_TRUE(all->Begin());
  all->m_clearColour = VQColor(0, 0, 0, 1);
  all->Clear(0);
  c->Begin2D();
  // A red 8 x 8 texture at (2, 2) and a green pixmap at (20, 20).
  std::vector<uint8_t> red(8 * 8 * 3);
  for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
  VQTexture* t = device_->CreateTexture(red.data(), 8, 8, VQPF_RGB888, nullptr, 0);
  ASSERT_NE(t, nullptr);
  auto sprite = std::make_unique<VQImageRef>(t);  // one more reference while it lives
  c->BlitImage(sprite.get(), 2, 2, 0, 0);
  EXPECT_GT(device_->m_sharedNext, 0u);  // through the shared vertex buffer
  VQPixmap* p = device_->CreatePixmap(4, 4, VQPF_BGR888);
  ASSERT_NE(p, nullptr);
  auto* px = static_cast<uint8_t*>(p->Lock(nullptr));
  for (int i = 0; i < 16; ++i) px[3 * i + 1] = 255;
  VQImageRef image(p);
  c->BlitImage(&image, 20, 20, 0, 0);
  c->BlitImage(&image, 40, 0, 0, 0);  // wholly right of the canvas: nothing
  // An immediate quad with vertex colours over the top-left corner.
  const float quad[12] = {0, 28, 1, 4, 28, 1, 4, 32, 1, 0, 32, 1};
  const uint32_t blue[4] = {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
  device_->DrawQuad(quad, blue, nullptr, nullptr);
  c->End();
  EXPECT_TRUE(device_->m_sharedDiscard);  // the next scene starts the buffer afresh
  int rgb[3];
  BackPixel(c, 5, 32 - 1 - 5, rgb);  // inside the sprite (rows counted from the top here)
  EXPECT_GT(rgb[0], 200);
  BackPixel(c, 21, 32 - 1 - 21, rgb);
  EXPECT_EQ(rgb[1], 255);
  BackPixel(c, 2, 1, rgb);
  EXPECT_GT(rgb[2], 200);
  BackPixel(c, 15, 15, rgb);
  EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0);
  device_->DeletePixmap(p);
  sprite.reset();
  t->Release();
}
