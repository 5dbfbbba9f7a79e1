// The Direct3D display device on the host layer: library loading, adapters and device choice,
// display modes, canvases in both modes, colours.
#include <memory>
#include <string>

#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQPixels.h"
#include "host/directx/dx_modules.h"
#include "tests/direct3d/fixture.h"

TEST_F(D3DDevice, OpensOnAHardwareDeviceWithTransformAndLighting) {
  EXPECT_EQ(device_->GetName(), std::string("Direct3D display device"));
  EXPECT_EQ(device_->m_deviceType, uint32_t(VQD3D_TYPE_TNLHAL));
  EXPECT_TRUE(device_->HasCapability(VQD3DCAP_HARDWARE));
  EXPECT_TRUE(device_->HasCapability(VQD3DCAP_TNL));
  EXPECT_FALSE(device_->HasCapability(VQD3DCAP_SOFTWARE));
  EXPECT_TRUE(device_->HasCapability(VQD3DCAP_WINDOWED));
  EXPECT_TRUE(device_->HasCapability(VQD3DCAP_ALWAYS));
  EXPECT_FALSE(device_->HasCapability(99));
  EXPECT_GT(device_->m_zFormatCount, 0u);
  EXPECT_FALSE(device_->m_vertexBuffersInSystemMemory);
  EXPECT_EQ(device_->m_sceneLoadParameter, 11u);
  device_->Close();
  g_VQerror = 0;
  EXPECT_FALSE(device_->HasCapability(VQD3DCAP_ALWAYS));
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

TEST_F(D3DDevice, WithoutATransformAndLightingDeviceTheShellRetriesWithoutIt) {
  device_->Close();
  host::d3d::options().tnl_device = false;
  EXPECT_FALSE(device_->Open(VQD3D_ALLOW_HARDWARE | VQD3D_ALLOW_TNL));
  EXPECT_EQ(g_VQerror, VQERR_NO_RENDER_DEVICE);
  EXPECT_FALSE(device_->m_initialised);
  ASSERT_TRUE(device_->Open(VQD3D_ALLOW_HARDWARE | VQD3D_ALLOW_NON_TNL));
  EXPECT_EQ(device_->m_deviceType, uint32_t(VQD3D_TYPE_HAL));
  EXPECT_TRUE(device_->HasCapability(VQD3DCAP_NO_TNL));
  EXPECT_TRUE(device_->m_vertexBuffersInSystemMemory);
}

TEST_F(D3DDevice, SoftwareDevicesNeedTheSoftwareFlag) {
  device_->Close();
  host::d3d::options() = host::d3d::layer_options();
  host::d3d::options().hal_device = host::d3d::options().tnl_device = false;
  host::d3d::options().rgb_device = true;
  EXPECT_FALSE(device_->Open(kHardware));
  ASSERT_TRUE(device_->Open(VQD3D_ALLOW_SOFTWARE | VQD3D_ALLOW_NON_TNL));
  EXPECT_EQ(device_->m_deviceType, uint32_t(VQD3D_TYPE_RGB));
  EXPECT_TRUE(device_->HasCapability(VQD3DCAP_SOFTWARE));
}

TEST_F(D3DDevice, AdapterNumbersCountOnlyAdaptersWithADirect3DDevice) {
  // One adapter: the second device has none.
  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_D3D_DISPLAY, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  host::d3d::options().adapters = 2;
  VQD3DDisplayDevice* second = VQd3d_Device(1);
  ASSERT_TRUE(second->Init());
  EXPECT_FALSE(second->m_adapterIsPrimary);
  EXPECT_EQ(second->m_adapterGuid.Data1, 1u);
  // Adapters without Direct3D devices are skipped: none is found at all.
  host::d3d::options().hal_device = host::d3d::options().tnl_device = false;
  second->m_adapterFound = false;
  EXPECT_FALSE(second->Init());
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_D3D_DISPLAY, 2), nullptr);
}

TEST(D3DLibrary, AMissingLibraryOrEntryPointFailsAndLeavesNothingLoaded) {
  VQd3d_UnloadDirectDraw();
  host::dx::set_library_available("ddraw.dll", false);
  EXPECT_FALSE(VQd3d_LoadDirectDraw());
  EXPECT_FALSE(VQd3d_DirectDrawLoaded());
  EXPECT_FALSE(VQd3d_Device(0)->Init());
  host::dx::set_library_available("ddraw.dll", true);
  host::dx::set_export_available("ddraw.dll", "DirectDrawEnumerateExA", false);
  EXPECT_FALSE(VQd3d_LoadDirectDraw());
  EXPECT_EQ(host::dx::load_count("ddraw.dll"), 0u);  // freed again
  host::dx::set_export_available("ddraw.dll", "DirectDrawEnumerateExA", true);
  EXPECT_TRUE(VQd3d_LoadDirectDraw());
  EXPECT_EQ(host::dx::load_count("ddraw.dll"), 1u);
  EXPECT_TRUE(VQd3d_LoadDirectDraw());  // once per process
  EXPECT_EQ(host::dx::load_count("ddraw.dll"), 1u);
  VQd3d_UnloadDirectDraw();
  EXPECT_EQ(host::dx::load_count("ddraw.dll"), 0u);
}

TEST_F(D3DDevice, DisplayModesAreListedAsEnumerated) {
  uint32_t count = 0;
  ASSERT_TRUE(device_->GetModeCount(&count));
  VQDisplayMode* modes = nullptr;
  uint32_t listed = 0;
  ASSERT_TRUE(device_->GetModes(&listed, &modes));
  EXPECT_EQ(listed, count);
  if (listed > 0) {
    ASSERT_NE(modes, nullptr);
    EXPECT_TRUE(device_->HasDisplayMode(modes[0].width, modes[0].height, modes[0].bits));
  }
  delete[] modes;
  EXPECT_FALSE(device_->HasDisplayMode(1, 1, 8));
  host::d3d::options().no_display_modes = true;
  modes = reinterpret_cast<VQDisplayMode*>(1);
  ASSERT_TRUE(device_->GetModes(&listed, &modes));
  EXPECT_EQ(listed, 0u);
  EXPECT_EQ(modes, nullptr);
  VQDisplayMode current;
  ASSERT_TRUE(device_->GetCurrentMode(&current));
  EXPECT_GT(current.width, 0u);
  EXPECT_EQ(current.unused, device_->m_screenFormat);
}

TEST_F(D3DDevice, ColoursPackAsDirect3DColoursAndScreenPixels) {
  EXPECT_EQ(device_->PackColourF(1, 0, 0, 1), 0xFFFF0000u);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(device_->PackColourB(bytes), 0x04010203u);
  const float v[4] = {0, 1, 0, 0.5f};
  EXPECT_EQ(device_->PackColourV(v), 0x7F00FF00u);
  EXPECT_EQ(device_->ColourToPixel(0x0000FFu, VQPF_RGB565), 0xF800u);
  EXPECT_EQ(device_->ColourToPixel(0x00FF00u, VQPF_XRGB1555), 0x03E0u);
  EXPECT_EQ(device_->ColourToPixel(0x00FF00u, VQPF_PAL8), 0u);
  // 32-bit screens get their own packing, so a colour fill of their back buffer is not black.
  EXPECT_EQ(device_->ColourToPixel(0x3020A0u, VQPF_BGRX8888), 0xA02030u);
}

TEST_F(D3DDevice, WindowedCanvasPresentsByBlitAndAsksZeroBackBuffersAsTwo) {
  VQD3DCanvas* c = Canvas(64, 48, 2, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->m_valid);
  EXPECT_EQ(c->m_backBuffers, 2u);
  EXPECT_EQ(c->m_present, uint32_t(VQD3D_PRESENT_BLIT));
  EXPECT_EQ(c->GetBufferingMode(), 3u);
  EXPECT_TRUE(c->m_backBits == 16 || c->m_backBits == 24 || c->m_backBits == 32);
  EXPECT_EQ(host::get_user_data(c->m_window), reinterpret_cast<uintptr_t>(c));
  EXPECT_GT(device_->m_textureFormatCount, 0u);
  EXPECT_GT(device_->m_maxTextureWidth, 0u);
  EXPECT_NE(device_->m_sharedBuffer, nullptr);
  c->Show(true);
  device_->RenderAll();
  device_->PresentAll();
}

TEST_F(D3DDevice, FullScreenCanvasTakesItsOwnSizeAndAFlipChain) {
  VQD3DCanvas* c = Canvas(96, 64, 1, 3);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->m_present, uint32_t(VQD3D_PRESENT_FLIP_TWO));
  EXPECT_EQ(c->m_backBuffers, 3u);
  EXPECT_EQ(c->GetBufferingMode(), 1u);
  int w = 0, h = 0;
  ASSERT_TRUE(host::get_client_size(c->m_window, &w, &h));
  EXPECT_EQ(w, 96);
  EXPECT_EQ(h, 64);
  VQDisplayMode mode;
  ASSERT_TRUE(device_->GetCurrentMode(&mode));
  EXPECT_EQ(mode.width, 96u);
  EXPECT_EQ(mode.height, 64u);
  c->Show(true);
  device_->RenderAll();
  device_->PresentAll();
  device_->DestroyCanvas(c, 1);
  ASSERT_TRUE(device_->GetCurrentMode(&mode));
  EXPECT_NE(mode.width, 96u);  // the mode goes back with the canvas
}

TEST_F(D3DDevice, FullScreenWithoutFlipChainsPresentsByBlit) {
  host::d3d::options().flip_chains = false;
  VQD3DCanvas* c = Canvas(64, 48, 1, 2);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->m_present, uint32_t(VQD3D_PRESENT_BLIT));
  EXPECT_EQ(c->GetBufferingMode(), 3u);
  VQViewport* v = c->CreateViewport(0, 0, 64, 48);
  ASSERT_NE(v, nullptr);
  v->m_clearColour = VQColor(0, 1, 0, 1);
  ASSERT_TRUE(c->MakeCurrent());
  ASSERT_TRUE(v->Begin());
  v->Clear(0);
  c->End();
  c->Present();
  int rgb[3];
  BackPixel(c, 10, 10, rgb);
  EXPECT_EQ(rgb[1], 255);
}

TEST_F(D3DDevice, CanvasTableFullAndImpossibleWindowedCanvasAreRefused) {
  const uint32_t saved = device_->m_canvasCount;
  device_->m_canvasCount = VQDISPLAY_MAX_CANVASES;
  EXPECT_EQ(device_->CreateCanvas(2, 0, 32, 32, 0, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_CANVASES);
  device_->m_canvasCount = saved;
  device_->m_windowedPossible = false;
  EXPECT_EQ(device_->CreateCanvas(2, 0, 32, 32, 0, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_WINDOWED_UNSUPPORTED);
  device_->m_windowedPossible = true;
  device_->Close();
  EXPECT_EQ(device_->CreateCanvas(2, 0, 32, 32, 0, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

TEST_F(D3DDevice, CloseDestroysEveryCanvasAndReleasesEveryLayerObject) {
  for (int i = 0; i < 3; ++i) ASSERT_NE(Canvas(32, 32), nullptr);
  EXPECT_EQ(device_->m_canvasCount, 3u);
  device_->Close();
  EXPECT_EQ(device_->m_canvasCount, 0u);
  EXPECT_EQ(host::d3d::live_objects(), 0u);
  EXPECT_FALSE(device_->m_initialised);
  ASSERT_TRUE(device_->Open(kHardware));  // and opens again
}

TEST_F(D3DDevice, BrightnessRampIsIdentityAtZeroAndClampsLargeOffsets) {
  VQD3DCanvas* c = Canvas();
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->m_gamma, nullptr);
  ASSERT_TRUE(c->SetBrightness(0.0f));
  DDGAMMARAMP ramp;
  ASSERT_EQ(c->m_gamma->GetGammaRamp(0, &ramp), DD_OK);
  EXPECT_EQ(ramp.red[0], 0);
  EXPECT_EQ(ramp.green[255], 65535);
  EXPECT_EQ(ramp.blue[51], 13107);  // 51 / 255 x 65535
  ASSERT_TRUE(c->SetBrightness(2.0f));
  c->m_gamma->GetGammaRamp(0, &ramp);
  EXPECT_EQ(ramp.red[0], 65535);
  c->m_gamma->Release();
  c->m_gamma = nullptr;
  EXPECT_FALSE(c->SetBrightness(0.0f));
}

TEST_F(D3DDevice, ALostSurfaceIsRestoredOnlyWhileTheWindowIsInFront) {
  VQD3DCanvas* c = Canvas();
  ASSERT_NE(c, nullptr);
  host::d3d::force_surface_loss(device_->m_ddraw);
  // Hidden: the scene is ended and the frame fails without a restore.
  EXPECT_FALSE(c->MakeCurrent());
  EXPECT_EQ(c->m_back->IsLost(), DDERR_SURFACELOST);
  c->Show(true);
  ASSERT_TRUE(c->MakeCurrent());
  EXPECT_EQ(c->m_back->IsLost(), DD_OK);
  c->End();
  host::d3d::force_surface_loss(device_->m_ddraw);
  EXPECT_TRUE(c->RestoreSurfacesNow());
  EXPECT_EQ(c->m_back->IsLost(), DD_OK);
}
