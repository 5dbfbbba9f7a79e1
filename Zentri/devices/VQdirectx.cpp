#include "Zentri/devices/VQdirectx.h"

#include "Zentri/util/VQlog.h"

HRESULT g_VQdxResult = DX_OK;
bool g_VQdxReportErrors = false;

namespace {

struct DxName {
  HRESULT value;
  const char* name;
};

// Results shared by every DirectX interface. The per-interface names are added beside them.
const DxName kDxNames[] = {
    {DX_OK, "DX_OK (DD_OK, DS_OK, DI_OK, or D3D_OK)"},
    {DXERR_GENERIC, "DXERR_GENERIC"},
    {DXERR_OUTOFMEMORY, "DXERR_OUTOFMEMORY"},
    {DXERR_INVALIDPARAMS, "DXERR_INVALIDPARAMS"},
};

}  // namespace

void VQdirectx_ReportError(const char* text, HRESULT result) {
  if (!text) text = "";
  if (result == DX_OK)
    VQlog_Printf(1, "DirectX Message : %s", text);
  else
    VQlog_Printf(1, "DirectX Error in '%s' : code %d (%s)", text, static_cast<int>(result),
                 VQdirectx_ErrorName(result));
}

const char* VQdirectx_ErrorName(HRESULT result) {
  for (const DxName& n : kDxNames)
    if (n.value == result) return n.name;
  return "<Unknown>";
}

void VQdirectx_PixelFormatFromDD(const DDPIXELFORMAT& pf, uint32_t* bits, uint32_t* format) {
  if (!(pf.dwFlags & DDPF_RGB)) {
    *bits = 0;
    *format = 0;
    return;
  }
  const bool alpha = (pf.dwFlags & DDPF_ALPHAPIXELS) != 0;
  *bits = pf.dwRGBBitCount;
  switch (pf.dwRGBBitCount) {
    case 8:
      *format = (pf.dwFlags & DDPF_PALETTEINDEXED8) ? 1 : 0;
      break;
    case 16:
      if (pf.dwRBitMask == 0x7C00 && pf.dwGBitMask == 0x03E0 && pf.dwBBitMask == 0x001F)
        *format = alpha ? 3 : 4;
      else if (pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F)
        *format = 2;
      else if (pf.dwRBitMask == 0x0F00 && pf.dwGBitMask == 0x00F0 && pf.dwBBitMask == 0x000F)
        *format = alpha ? 5 : 6;
      else
        *format = 0;
      break;
    case 24:
      if (pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF)
        *format = 7;
      break;
    case 32:
      if (pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF)
        *format = alpha ? 11 : 15;
      break;
    default:
      break;
  }
}

DDPIXELFORMAT VQdirectx_DDPixelFormat(uint32_t format) {
  DDPIXELFORMAT pf{};
  pf.dwSize = sizeof(DDPIXELFORMAT);
  auto rgb = [&pf](uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    pf.dwFlags = flags;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
  };
  const uint32_t rgbA = DDPF_RGB | DDPF_ALPHAPIXELS;
  switch (format) {
    case 1: rgb(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0); break;
    case 2: rgb(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0); break;
    case 3: rgb(rgbA, 16, 0x7C00, 0x03E0, 0x001F, 0x8000); break;
    case 4: rgb(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0); break;
    case 5: rgb(rgbA, 16, 0x0F00, 0x00F0, 0x000F, 0xF000); break;
    case 7: rgb(DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0); break;
    case 9: rgb(rgbA, 32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF); break;
    case 10: rgb(rgbA, 32, 0xFF00, 0xFF0000, 0xFF000000, 0xFF); break;
    case 11: rgb(rgbA, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); break;
    case 12: rgb(rgbA, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000); break;
    case 13: rgb(DDPF_RGB, 32, 0xFF000000, 0xFF0000, 0xFF00, 0); break;
    case 14: rgb(DDPF_RGB, 32, 0xFF00, 0xFF0000, 0xFF000000, 0); break;
    case 15: rgb(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0); break;
    case 16: rgb(DDPF_RGB, 32, 0xFF, 0xFF00, 0xFF0000, 0); break;
    default: break;
  }
  return pf;
}

// DirectInput: the input devices' work fills these in with the host's DirectInput layer.
namespace {
uint32_t s_diUseCount = 0;
}

bool VQdirectx_LoadDirectInput() { return false; }
void* VQdirectx_CreateDirectInput() { return nullptr; }
void VQdirectx_ReleaseDirectInput() {
  if (s_diUseCount == 0) return;
  --s_diUseCount;
}
uint32_t VQdirectx_DirectInputUseCount() { return s_diUseCount; }
