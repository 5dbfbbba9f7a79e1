// Shared parts of the Direct3D device tests: the opened device of adapter 0 with the layer's
// default options, and a recording stand-in for a canvas's IDirect3DDevice7 that passes every
// call on to the real one and counts what it was asked.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "Zentri/devices/display/direct3d/VQD3DCanvas.h"
#include "Zentri/devices/display/direct3d/VQD3DDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "host/directx/dx_layer.h"

class RecordingDevice final : public IDirect3DDevice7 {
 public:
  explicit RecordingDevice(IDirect3DDevice7* real) : m_real(real) {}
  HRESULT QueryInterface(const GUID& iid, void** out) override { return m_real->QueryInterface(iid, out); }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  HRESULT GetCaps(D3DDEVICEDESC7* out) override { return m_real->GetCaps(out); }
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK cb, void* c) override {
    return m_real->EnumTextureFormats(cb, c);
  }
  HRESULT BeginScene() override { return m_real->BeginScene(); }
  HRESULT EndScene() override { return m_real->EndScene(); }
  HRESULT SetRenderTarget(IDirectDrawSurface7* s, uint32_t f) override { return m_real->SetRenderTarget(s, f); }
  HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR colour, float z, uint32_t s) override {
    clears.push_back({count, count ? rects[0] : D3DRECT{0, 0, 0, 0}});
    return m_real->Clear(count, rects, flags, colour, z, s);
  }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override { return m_real->SetTransform(s, m); }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE s, D3DMATRIX* m) override { return m_real->GetTransform(s, m); }
  HRESULT SetViewport(const D3DVIEWPORT7* v) override { return m_real->SetViewport(v); }
  HRESULT GetViewport(D3DVIEWPORT7* v) override { return m_real->GetViewport(v); }
  HRESULT SetMaterial(const D3DMATERIAL7* m) override {
    ++materials;
    return m_real->SetMaterial(m);
  }
  HRESULT GetMaterial(D3DMATERIAL7* m) override { return m_real->GetMaterial(m); }
  HRESULT SetLight(uint32_t i, const D3DLIGHT7* l) override {
    lights.push_back(*l);
    return m_real->SetLight(i, l);
  }
  HRESULT LightEnable(uint32_t i, bool on) override {
    lightEnables.push_back({i, on});
    return m_real->LightEnable(i, on);
  }
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, uint32_t v) override {
    states.push_back({s, v});
    return m_real->SetRenderState(s, v);
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE s, uint32_t* v) override { return m_real->GetRenderState(s, v); }
  HRESULT SetTexture(uint32_t stage, IDirectDrawSurface7* t) override {
    textures.push_back({stage, t});
    return m_real->SetTexture(stage, t);
  }
  HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE s, uint32_t v) override {
    stageStates[{stage, s}] = v;
    ++stageCalls;
    return m_real->SetTextureStageState(stage, s, v);
  }
  HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE s, uint32_t* v) override {
    return m_real->GetTextureStageState(stage, s, v);
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE t, uint32_t fvf, const void* v, uint32_t n, uint32_t f) override {
    ++draws;
    return m_real->DrawPrimitive(t, fvf, v, n, f);
  }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE t, uint32_t fvf, const void* v, uint32_t n, const uint16_t* i,
                               uint32_t ni, uint32_t f) override {
    ++draws;
    return m_real->DrawIndexedPrimitive(t, fvf, v, n, i, ni, f);
  }
  HRESULT DrawPrimitiveStrided(D3DPRIMITIVETYPE t, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* d, uint32_t n,
                               uint32_t f) override {
    ++draws;
    return m_real->DrawPrimitiveStrided(t, fvf, d, n, f);
  }
  HRESULT DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE t, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* d,
                                      uint32_t n, const uint16_t* i, uint32_t ni, uint32_t f) override {
    ++draws;
    indexCounts.push_back(ni);
    return m_real->DrawIndexedPrimitiveStrided(t, fvf, d, n, i, ni, f);
  }
  HRESULT DrawPrimitiveVB(D3DPRIMITIVETYPE t, IDirect3DVertexBuffer7* b, uint32_t s, uint32_t n, uint32_t f) override {
    ++draws;
    return m_real->DrawPrimitiveVB(t, b, s, n, f);
  }
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE t, IDirect3DVertexBuffer7* b, uint32_t s, uint32_t n,
                                 const uint16_t* i, uint32_t ni, uint32_t f) override {
    ++draws;
    indexCounts.push_back(ni);
    return m_real->DrawIndexedPrimitiveVB(t, b, s, n, i, ni, f);
  }

  uint32_t Count(D3DRENDERSTATETYPE s) const {
    uint32_t n = 0;
    for (const auto& e : states) n += e.first == s;
    return n;
  }
  void Reset() {
    states.clear();
    stageStates.clear();
    textures.clear();
    lights.clear();
    lightEnables.clear();
    clears.clear();
    indexCounts.clear();
    draws = materials = stageCalls = 0;
  }

  IDirect3DDevice7* m_real;
  std::vector<std::pair<D3DRENDERSTATETYPE, uint32_t>> states;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> stageStates;
  std::vector<std::pair<uint32_t, IDirectDrawSurface7*>> textures;
  std::vector<D3DLIGHT7> lights;
  std::vector<std::pair<uint32_t, bool>> lightEnables;
  std::vector<std::pair<uint32_t, D3DRECT>> clears;
  std::vector<uint32_t> indexCounts;
  uint32_t draws = 0, materials = 0, stageCalls = 0;
};

class D3DDevice : public ::testing::Test {
 protected:
  static constexpr uint32_t kHardware = VQD3D_ALLOW_HARDWARE | VQD3D_ALLOW_TNL | VQD3D_ALLOW_NON_TNL;

  void SetUp() override {
    host::d3d::reset_options();
    g_VQsystem.Init();
    Open();
  }
  void Open() {
    auto* d = g_VQsystem.GetDevice(VQDEVICE_D3D_DISPLAY, 0);
    ASSERT_NE(d, nullptr) << "error " << g_VQerror;
    ASSERT_TRUE(d->Open(kHardware)) << "error " << g_VQerror;
    device_ = static_cast<VQD3DDisplayDevice*>(d);
  }
  void TearDown() override {
    for (auto& [canvas, real] : recorded_) canvas->m_d3dDevice = real;
    recorded_.clear();
    if (device_) device_->Close();
    g_VQsystem.Shutdown();
    host::d3d::reset_options();
  }

  VQD3DCanvas* Canvas(uint32_t width = 64, uint32_t height = 48, uint32_t mode = 2, uint32_t backBuffers = 0) {
    auto* c = static_cast<VQD3DCanvas*>(device_->CreateCanvas(mode, 0, width, height, 0, backBuffers));
    EXPECT_NE(c, nullptr) << "error " << g_VQerror << " result " << g_VQdxResult;
    return c;
  }

  // Puts a recorder between the canvas and its Direct3D device (undone in TearDown).
  RecordingDevice* Record(VQD3DCanvas* canvas) {
    recorders_.emplace_back(new RecordingDevice(canvas->m_d3dDevice));
    recorded_.push_back({canvas, canvas->m_d3dDevice});
    canvas->m_d3dDevice = recorders_.back().get();
    return recorders_.back().get();
  }

  // The back buffer's pixel at (x, y) from the top left as r, g, b.
  static void BackPixel(VQD3DCanvas* c, uint32_t x, uint32_t y, int* rgb) {
    uint32_t pitch = 0;
    const auto* p = static_cast<const uint8_t*>(c->LockBack(&pitch));
    ASSERT_NE(p, nullptr);
    const uint8_t* px = p + (size_t(y) * pitch + x) * 4;
    rgb[0] = px[2];
    rgb[1] = px[1];
    rgb[2] = px[0];
    c->UnlockBackBuffer();
  }

  VQD3DDisplayDevice* device_ = nullptr;
  std::vector<std::unique_ptr<RecordingDevice>> recorders_;
  std::vector<std::pair<VQD3DCanvas*, IDirect3DDevice7*>> recorded_;
};
