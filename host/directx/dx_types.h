// The plain data types and constants that the DirectX-shaped host layers (DirectDraw and
// Direct3D, DirectInput, DirectSound) share with the engine: the result word, interface
// identifiers and the DirectDraw pixel-format record. Values are those of the DirectX 7
// headers, so that results and formats read the same as the engine's Windows code expects.
#pragma once

#include <cstdint>

using HRESULT = int32_t;

constexpr HRESULT DX_OK = 0;
constexpr HRESULT DXERR_GENERIC = static_cast<HRESULT>(0x80004005u);       // E_FAIL
constexpr HRESULT DXERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);   // E_OUTOFMEMORY
constexpr HRESULT DXERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u); // E_INVALIDARG
constexpr HRESULT DXERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);   // E_NOTIMPL
constexpr HRESULT DXERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);   // E_NOINTERFACE
constexpr HRESULT DXERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u); // CLASS_E_NOAGGREGATION
constexpr HRESULT DXERR_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);  // E_ACCESSDENIED
// DirectDraw and Direct3D results share one facility: code n is 0x88760000 + n.
constexpr HRESULT dd_result(uint32_t code) { return static_cast<HRESULT>(0x88760000u + code); }
// DirectSound results: code n is 0x88780000 + n.
constexpr HRESULT ds_result(uint32_t code) { return static_cast<HRESULT>(0x88780000u + code); }
constexpr HRESULT DXERR_WASSTILLDRAWING = dd_result(540);

inline bool dx_failed(HRESULT r) { return r < 0; }
inline bool dx_succeeded(HRESULT r) { return r >= 0; }

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// DDPIXELFORMAT: 32 bytes; the masks name where each channel sits in a pixel value.
struct DDPIXELFORMAT {
  uint32_t dwSize;
  uint32_t dwFlags;
  uint32_t dwFourCC;
  uint32_t dwRGBBitCount;
  uint32_t dwRBitMask;
  uint32_t dwGBitMask;
  uint32_t dwBBitMask;
  uint32_t dwRGBAlphaBitMask;
};
static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT is 32 bytes");

constexpr uint32_t DDPF_ALPHAPIXELS = 0x00000001;
constexpr uint32_t DDPF_FOURCC = 0x00000004;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr uint32_t DDPF_RGB = 0x00000040;
