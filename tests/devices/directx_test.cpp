// DirectX support: result names and the report, DirectDraw pixel formats, and the shared
// DirectInput object loaded by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/util/VQlog.h"
#include "host/directx/dinput.h"
#include "host/directx/dx_library.h"

namespace {

std::vector<std::string>& Logged() {
  static std::vector<std::string> l;
  return l;
}
void Capture(int level, const char* text) {
  Logged().push_back(std::to_string(level) + " " + text);
}

class DirectX : public ::testing::Test {
 protected:
  void SetUp() override {
    Logged().clear();
    m_previous = VQlog_GetHandler();
    VQlog_SetHandler(Capture);
    g_VQdxReportErrors = false;
  }
  void TearDown() override {
    while (VQdirectx_DirectInputUseCount() > 0) VQdirectx_ReleaseDirectInput();
    host::restore_libraries();
    VQlog_SetHandler(m_previous);
    g_VQdxReportErrors = false;
    g_VQdxResult = DX_OK;
  }
  VQlogHandler m_previous = nullptr;
};

TEST_F(DirectX, ResultNames) {
  struct Case {
    HRESULT value;
    const char* name;
  };
  const Case cases[] = {
      {DX_OK, "DX_OK (DD_OK, DS_OK, DI_OK, or D3D_OK)"},
      {DXERR_GENERIC, "DXERR_GENERIC"},
      {DXERR_OUTOFMEMORY, "DXERR_OUTOFMEMORY"},
      {DXERR_INVALIDPARAMS, "DXERR_INVALIDPARAMS"},
      {DXERR_WASSTILLDRAWING, "DXERR_WASSTILLDRAWING"},
      {dd_result(450), "DDERR_SURFACELOST"},
      {dd_result(480), "DDERR_TOOBIGSIZE "},
      {dd_result(470), "DDERR_TOOBIGHEIGHT "},
      {dd_result(360), "DDERR_OUTOFCAPS "},
      {dd_result(382), "DDERR_OVERLAYCANTCLIP "},
      {dd_result(320), "DDERR_NOT8BITCOLOR "},
      {dd_result(316), "DDERR_NOT4BITCOLOR "},
      {dd_result(317), "DDERR_NOT4BITCOLORINDEX "},
      {dd_result(310), "DDERR_NOSTRETCHHW "},
      {dd_result(490), "DDERR_TOOBIGWIDTH"},
      {dd_result(2070), "D3DERR_ZBUFFER_NOTPRESENT"},
      {dd_result(700), "D3DERR_BADMAJORVERSION"},
      {ds_result(100), "DSERR_BADFORMAT"},
      {ds_result(150), "DSERR_BUFFERLOST"},
      {DIERR_INPUTLOST, "DIERR_INPUTLOST"},
      {DIERR_NOTACQUIRED, "DIERR_NOTACQUIRED"},
      {DIERR_OTHERAPPHASPRIO, "DIERR_OTHERAPPHASPRIO, DIERR_HANDLEEXISTS or DIERR_READONLY"},
      {DIERR_UNPLUGGED, "DIERR_UNPLUGGED"},
      {12345, "<Unknown>"},
      {dd_result(1), "<Unknown>"},
  };
  for (const Case& c : cases) EXPECT_STREQ(VQdirectx_ErrorName(c.value), c.name) << c.value;
}

TEST_F(DirectX, ReportWithResultZeroIsAMessage) {
  VQdirectx_ReportError("hello", DX_OK);
  VQdirectx_ReportError("VQdirectx_CreateDirectInput", DIERR_INPUTLOST);
  ASSERT_EQ(Logged().size(), 2u);
  EXPECT_EQ(Logged()[0], "1 DirectX Message : hello");
  EXPECT_EQ(Logged()[1], "1 DirectX Error in 'VQdirectx_CreateDirectInput' : code -2147024866 (DIERR_INPUTLOST)");
}

TEST_F(DirectX, SixteenBitFormatByTheAlphaFlagAlone) {
  DDPIXELFORMAT pf{};
  pf.dwSize = sizeof pf;
  pf.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
  pf.dwRGBBitCount = 16;
  pf.dwRBitMask = 0x7C00;
  pf.dwGBitMask = 0x03E0;
  pf.dwBBitMask = 0x001F;
  uint32_t bits = 0, format = 0;
  VQdirectx_PixelFormatFromDD(pf, &bits, &format);
  EXPECT_EQ(format, 3u);
  pf.dwFlags = DDPF_RGB;
  VQdirectx_PixelFormatFromDD(pf, &bits, &format);
  EXPECT_EQ(format, 4u);
  EXPECT_EQ(bits, 16u);
  for (uint32_t f = 1; f <= 16; ++f) {
    const DDPIXELFORMAT back = VQdirectx_DDPixelFormat(f);
    EXPECT_EQ(back.dwSize, 32u);
    if (f == 6 || f == 8) {
      EXPECT_EQ(back.dwFlags, 0u);
    }
  }
}

TEST_F(DirectX, ThreeUsersShareOneObjectAndTheLibraryStaysUntilTheLast) {
  void* a = VQdirectx_CreateDirectInput();
  void* b = VQdirectx_CreateDirectInput();
  void* c = VQdirectx_CreateDirectInput();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(b, c);
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 3u);
  EXPECT_EQ(host::dinput_live_objects(), 1u);
  EXPECT_EQ(host::library_references(DINPUT_LIBRARY), 1u) << "loaded once per process";
  VQdirectx_ReleaseDirectInput();
  VQdirectx_ReleaseDirectInput();
  EXPECT_EQ(host::library_references(DINPUT_LIBRARY), 1u);
  EXPECT_EQ(host::dinput_live_objects(), 1u);
  VQdirectx_ReleaseDirectInput();
  EXPECT_EQ(host::library_references(DINPUT_LIBRARY), 0u);
  EXPECT_EQ(host::dinput_live_objects(), 0u);
  VQdirectx_ReleaseDirectInput();  // a use count of 0: nothing
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 0u);
  EXPECT_TRUE(Logged().empty());
}

TEST_F(DirectX, MissingLibraryIsReported) {
  host::set_library(DINPUT_LIBRARY, nullptr, 0);
  EXPECT_FALSE(VQdirectx_LoadDirectInput());
  EXPECT_EQ(VQdirectx_CreateDirectInput(), nullptr);
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 0u);
  ASSERT_FALSE(Logged().empty());
  EXPECT_EQ(Logged()[0], "1 DirectX Message : Cannot load 'dinput.dll'");
}

TEST_F(DirectX, MissingExportIsReportedAndTheLibraryFreed) {
  static const host::library_export kOther[] = {{"DirectInputCreate", nullptr}};
  host::set_library(DINPUT_LIBRARY, kOther, 1);
  EXPECT_FALSE(VQdirectx_LoadDirectInput());
  ASSERT_EQ(Logged().size(), 1u);
  EXPECT_EQ(Logged()[0], "1 DirectX Message : Cannot get exported function in 'dinput.dll'");
  EXPECT_EQ(host::library_references(DINPUT_LIBRARY), 0u);
}

HRESULT RefusingCreate(uintptr_t, uint32_t, const GUID&, void** object, void*) {
  *object = nullptr;
  return DIERR_OLDDIRECTINPUTVERSION;
}

TEST_F(DirectX, RefusedCreateLeavesTheResultAndReportsWhenAsked) {
  static const host::library_export kRefusing[] = {
      {DINPUT_CREATE_EXPORT, reinterpret_cast<void*>(&RefusingCreate)}};
  host::set_library(DINPUT_LIBRARY, kRefusing, 1);
  EXPECT_EQ(VQdirectx_CreateDirectInput(), nullptr);
  EXPECT_EQ(g_VQdxResult, DIERR_OLDDIRECTINPUTVERSION);
  EXPECT_TRUE(Logged().empty()) << "reports are off";
  g_VQdxReportErrors = true;
  EXPECT_EQ(VQdirectx_CreateDirectInput(), nullptr);
  ASSERT_EQ(Logged().size(), 1u);
  EXPECT_EQ(Logged()[0],
            "1 DirectX Error in 'VQdirectx_CreateDirectInput' : code -2147023746 (DIERR_OLDDIRECTINPUTVERSION)");
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 0u);
  EXPECT_EQ(host::library_references(DINPUT_LIBRARY), 0u) << "not kept loaded without a user";
  host::restore_libraries();
  EXPECT_NE(VQdirectx_CreateDirectInput(), nullptr);
}

}  // namespace
