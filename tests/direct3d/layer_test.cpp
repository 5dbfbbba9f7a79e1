// The DirectDraw and Direct3D-shaped host layer on a real OpenGL context: loading by name,
// enumeration, surfaces, a device drawing with Direct3D's conventions, result codes and
// reference counts.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "host/directx/d3d.h"
#include "host/directx/dx_layer.h"
#include "host/directx/dx_modules.h"
#include "host/window/window.h"

namespace {

const char kClass[] = "d3dLayerTestClass";

struct Layer : ::testing::Test {
  void SetUp() override {
    host::d3d::reset_options();
    if (!host::window_class_registered(kClass)) host::register_window_class(kClass, host::default_window_proc);
    module = host::dx::load_library("ddraw.dll");
    ASSERT_NE(module, 0u);
    create = reinterpret_cast<DirectDrawCreateExFn>(host::dx::get_proc_address(module, "DirectDrawCreateEx"));
    ASSERT_NE(create, nullptr);
    void* out = nullptr;
    ASSERT_EQ(create(nullptr, &out, IID_IDirectDraw7, nullptr), DD_OK);
    dd = static_cast<IDirectDraw7*>(out);
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, &out), DD_OK);
    d3d = static_cast<IDirect3D7*>(out);
  }
  void TearDown() override {
    if (device) device->Release();
    if (zbuffer) zbuffer->Release();
    if (back) back->Release();
    if (primary) primary->Release();
    if (d3d) d3d->Release();
    if (dd) dd->Release();
    if (window) host::destroy_window(window);
    host::dx::free_library(module);
    host::d3d::reset_options();
  }

  static DDSURFACEDESC2 Desc(uint32_t flags, uint32_t caps, uint32_t w = 0, uint32_t h = 0) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = flags;
    d.ddsCaps.dwCaps = caps;
    d.dwWidth = w;
    d.dwHeight = h;
    return d;
  }

  // A windowed target of w x h with a 24-bit z-buffer and a HAL device.
  void MakeDevice(uint32_t w, uint32_t h) {
    host::window_desc desc;
    desc.class_name = kClass;
    desc.width = int(w);
    desc.height = int(h);
    window = host::create_window(desc);
    ASSERT_NE(window, 0u);
    ASSERT_EQ(dd->SetCooperativeLevel(0, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 p = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    ASSERT_EQ(dd->CreateSurface(&p, &primary, nullptr), DD_OK);
    DDSURFACEDESC2 b = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, w, h);
    ASSERT_EQ(dd->CreateSurface(&b, &back, nullptr), DD_OK);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    clipper->SetHWnd(0, window);
    primary->SetClipper(clipper);
    clipper->Release();
    DDSURFACEDESC2 z = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_ZBUFFER, w, h);
    z.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    z.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
    z.ddpfPixelFormat.dwRGBBitCount = 24;
    ASSERT_EQ(dd->CreateSurface(&z, &zbuffer, nullptr), DD_OK);
    ASSERT_EQ(back->AddAttachedSurface(zbuffer), DD_OK);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, back, &device), D3D_OK);
  }

  // The back buffer's pixel at (x, y) from the top-left corner, as r, g, b.
  void Pixel(uint32_t x, uint32_t y, int* rgb) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    ASSERT_EQ(back->Lock(nullptr, &d, DDLOCK_READONLY, 0), DD_OK);
    const uint8_t* p = static_cast<const uint8_t*>(d.lpSurface) + size_t(y) * d.lPitch + x * 4;
    rgb[0] = p[2];
    rgb[1] = p[1];
    rgb[2] = p[0];
    back->Unlock(nullptr);
  }

  host::dx::module module = 0;
  DirectDrawCreateExFn create = nullptr;
  IDirectDraw7* dd = nullptr;
  IDirect3D7* d3d = nullptr;
  IDirectDrawSurface7* primary = nullptr;
  IDirectDrawSurface7* back = nullptr;
  IDirectDrawSurface7* zbuffer = nullptr;
  IDirect3DDevice7* device = nullptr;
  host::window_handle window = 0;
};

HRESULT CountDevice(const char*, const char*, D3DDEVICEDESC7* desc, void* context) {
  static_cast<std::vector<GUID>*>(context)->push_back(desc->deviceGUID);
  return D3DENUMRET_OK;
}

}  // namespace

TEST(DxLibrary, LoadsByNameAndHonoursSwitches) {
  EXPECT_EQ(host::dx::load_library("nosuch.dll"), 0u);
  host::dx::module m = host::dx::load_library("DDRAW.DLL");
  ASSERT_NE(m, 0u);
  EXPECT_NE(host::dx::get_proc_address(m, "DirectDrawEnumerateExA"), nullptr);
  EXPECT_EQ(host::dx::get_proc_address(m, "DirectDrawCreate"), nullptr);
  host::dx::set_export_available("ddraw.dll", "DirectDrawCreateEx", false);
  EXPECT_EQ(host::dx::get_proc_address(m, "DirectDrawCreateEx"), nullptr);
  host::dx::set_export_available("ddraw.dll", "DirectDrawCreateEx", true);
  EXPECT_TRUE(host::dx::free_library(m));
  EXPECT_FALSE(host::dx::free_library(m));
  host::dx::set_library_available("ddraw.dll", false);
  EXPECT_EQ(host::dx::load_library("ddraw.dll"), 0u);
  host::dx::set_library_available("ddraw.dll", true);
}

TEST_F(Layer, EnumeratesHardwareDevicesWithAndWithoutTransformAndLighting) {
  std::vector<GUID> found;
  ASSERT_EQ(d3d->EnumDevices(CountDevice, &found), D3D_OK);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_TRUE(found[0] == IID_IDirect3DHALDevice);
  EXPECT_TRUE(found[1] == IID_IDirect3DTnLHalDevice);
  host::d3d::options().tnl_device = false;
  host::d3d::options().rgb_device = true;
  found.clear();
  d3d->EnumDevices(CountDevice, &found);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_TRUE(found[0] == IID_IDirect3DRGBDevice);
}

TEST_F(Layer, DrawsWithRowVectorsLeftHandedViewAndDepthZeroToOne) {
  MakeDevice(64, 48);
  // A perspective projection in Direct3D's form: z from 1 to 100 maps to depth 0..1.
  D3DMATRIX proj{};
  const float zn = 1, zf = 100;
  proj.m[0][0] = 1.0f;
  proj.m[1][1] = 64.0f / 48.0f;
  proj.m[2][2] = zf / (zf - zn);
  proj.m[2][3] = 1.0f;
  proj.m[3][2] = -zn * zf / (zf - zn);
  ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj), D3D_OK);
  device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0), D3D_OK);
  // A red square in the left half at z = 10 and a green one behind it over the whole view;
  // both wound clockwise on the screen (+y up, +z into the screen), the front faces of
  // Direct3D's default culling.
  struct V {
    float x, y, z;
    uint32_t colour;
  };
  const V red[4] = {{-10, -5, 10, 0xFFFF0000u}, {-10, 5, 10, 0xFFFF0000u}, {0, 5, 10, 0xFFFF0000u}, {0, -5, 10, 0xFFFF0000u}};
  const V green[4] = {{-50, -50, 50, 0xFF00FF00u}, {-50, 50, 50, 0xFF00FF00u}, {50, 50, 50, 0xFF00FF00u}, {50, -50, 50, 0xFF00FF00u}};
  const uint16_t fan[6] = {0, 1, 2, 0, 2, 3};
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, red, 4, fan, 6, 0), D3D_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, green, 4, fan, 6, 0), D3D_OK);
  // An index past the vertices is refused, not read.
  const uint16_t bad[3] = {0, 1, 4};
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, red, 4, bad, 3, 0),
            DDERR_INVALIDPARAMS);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  int rgb[3];
  Pixel(16, 24, rgb);  // left half: the red square in front
  EXPECT_GT(rgb[0], 200);
  EXPECT_LT(rgb[1], 40);
  Pixel(48, 24, rgb);  // right half: green behind
  EXPECT_GT(rgb[1], 200);
  EXPECT_LT(rgb[0], 40);
  // Counter-clockwise winding is culled.
  device->BeginScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0);
  const uint16_t reversed[6] = {0, 2, 1, 0, 3, 2};
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, red, 4, reversed, 6, 0);
  device->EndScene();
  Pixel(16, 24, rgb);
  EXPECT_GT(rgb[2], 200);
  EXPECT_LT(rgb[0], 40);
}

TEST_F(Layer, ClearRectanglesCountFromTheTopLeft) {
  MakeDevice(32, 32);
  device->BeginScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  const D3DRECT r = {0, 0, 32, 8};
  device->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0);
  device->EndScene();
  int rgb[3];
  Pixel(4, 2, rgb);
  EXPECT_EQ(rgb[0], 255);
  Pixel(4, 30, rgb);
  EXPECT_EQ(rgb[0], 0);
}

TEST_F(Layer, ColourFillAndWriteBackOfTheRenderTarget) {
  MakeDevice(16, 16);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x00FF00;  // green in the 32-bit target
  const RECT r = {0, 0, 8, 16};
  ASSERT_EQ(back->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  int rgb[3];
  Pixel(2, 2, rgb);
  EXPECT_EQ(rgb[1], 255);
  // A write through a lock reaches the device's frame.
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  ASSERT_EQ(back->Lock(nullptr, &d, 0, 0), DD_OK);
  static_cast<uint8_t*>(d.lpSurface)[size_t(15) * d.lPitch + 15 * 4 + 2] = 255;  // red at (15, 15)
  back->Unlock(nullptr);
  Pixel(15, 15, rgb);
  EXPECT_EQ(rgb[0], 255);
}

TEST_F(Layer, LostSurfacesFailUntilRestored) {
  MakeDevice(16, 16);
  host::d3d::force_surface_loss(dd);
  EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(device->BeginScene(), DDERR_SURFACELOST);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  EXPECT_EQ(back->Lock(nullptr, &d, 0, 0), DDERR_SURFACELOST);
  EXPECT_EQ(back->Restore(), DD_OK);
  EXPECT_EQ(back->IsLost(), DD_OK);
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(dd->RestoreAllSurfaces(), DD_OK);
  EXPECT_EQ(primary->IsLost(), DD_OK);
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  device->EndScene();
}

TEST_F(Layer, TexturesAndVertexBuffersAreMadeOnAnotherThreadAndDrawnHere) {
  MakeDevice(16, 16);
  IDirectDrawSurface7* texture = nullptr;
  IDirect3DVertexBuffer7* vb = nullptr;
  std::thread loader([&] {
    DDSURFACEDESC2 t = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_TEXTURE, 2, 2);
    t.ddpfPixelFormat = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
    if (dd->CreateSurface(&t, &texture, nullptr) != DD_OK) return;
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    texture->Lock(nullptr, &d, DDLOCK_WRITEONLY, 0);
    for (uint32_t y = 0; y < 2; ++y)
      for (uint32_t x = 0; x < 2; ++x)
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x] = 0xFFFF00;  // yellow
    texture->Unlock(nullptr);
    D3DVERTEXBUFFERDESC vd{sizeof vd, D3DVBCAPS_WRITEONLY, D3DFVF_XYZ | D3DFVF_TEX1, 4};
    if (d3d->CreateVertexBuffer(&vd, &vb, 0) != D3D_OK) return;
    float* v = nullptr;
    vb->Lock(DDLOCK_WRITEONLY, reinterpret_cast<void**>(&v), nullptr);
    const float quad[4][5] = {{-1, -1, 0.5f, 0, 1}, {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}};
    std::memcpy(v, quad, sizeof quad);
    vb->Unlock();
  });
  loader.join();
  ASSERT_NE(texture, nullptr);
  ASSERT_NE(vb, nullptr);
  device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  device->SetTexture(0, texture);
  device->BeginScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  const uint16_t fan[6] = {0, 1, 2, 0, 2, 3};
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb, 0, 4, fan, 6, 0), D3D_OK);
  device->EndScene();
  int rgb[3];
  Pixel(8, 8, rgb);
  EXPECT_GT(rgb[0], 200);
  EXPECT_GT(rgb[1], 200);
  EXPECT_LT(rgb[2], 40);
  device->SetTexture(0, nullptr);
  texture->Release();
  vb->Release();
}

TEST_F(Layer, ReleasingEverythingLeavesNoObject) {
  const uint32_t before = host::d3d::live_objects();
  MakeDevice(16, 16);
  EXPECT_GT(host::d3d::live_objects(), before);
  device->Release();
  device = nullptr;
  zbuffer->Release();
  zbuffer = nullptr;
  back->Release();
  back = nullptr;
  primary->Release();
  primary = nullptr;
  d3d->Release();
  d3d = nullptr;
  dd->Release();
  dd = nullptr;
  EXPECT_EQ(host::d3d::live_objects(), before - 1);  // the DirectDraw object of the fixture
}

TEST_F(Layer, VertexBlendingMixesTheWorldMatrices) {
  MakeDevice(32, 32);
  device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  // WORLD moves the square out of view; WORLD1 leaves it where it is. Weight 0 for WORLD.
  D3DMATRIX away{};
  for (int i = 0; i < 4; ++i) away.m[i][i] = 1.0f;
  away.m[3][0] = 100.0f;
  D3DMATRIX identity{};
  for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
  device->SetTransform(D3DTRANSFORMSTATE_WORLD, &away);
  device->SetTransform(D3DTRANSFORMSTATE_WORLD1, &identity);
  struct V {
    float x, y, z, weight;
    uint32_t colour;
  };
  const V square[4] = {{-1, -1, 0.5f, 0, 0xFFFFFFFFu}, {-1, 1, 0.5f, 0, 0xFFFFFFFFu}, {1, 1, 0.5f, 0, 0xFFFFFFFFu},
                       {1, -1, 0.5f, 0, 0xFFFFFFFFu}};
  const uint16_t fan[6] = {0, 1, 2, 0, 2, 3};
  device->BeginScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZB1 | D3DFVF_DIFFUSE, square, 4, fan, 6, 0),
            D3D_OK);
  device->EndScene();
  int rgb[3];
  Pixel(16, 16, rgb);
  EXPECT_EQ(rgb[0], 255);
}
