// Direct3D 7-shaped interfaces of the host layer: the Direct3D object with device and
// z-buffer enumeration, the device with its render states, texture stage states, material,
// lights, transforms, viewport, clear, scenes and draw calls, and vertex buffers.
//
// Direct3D's conventions hold at this interface: matrices for row vectors, a left-handed view
// space looking along +z, projected depth 0 to 1, viewport rectangles from the top-left
// corner, colours as ARGB words. The layer turns them into OpenGL's.
#pragma once

#include <cstdint>

#include "host/directx/ddraw.h"

constexpr HRESULT D3D_OK = DX_OK;
constexpr HRESULT D3DERR_SCENE_IN_SCENE = dd_error(760);
constexpr HRESULT D3DERR_SCENE_NOT_IN_SCENE = dd_error(761);
constexpr HRESULT D3DERR_NOTINBEGIN = dd_error(771);
constexpr HRESULT D3DERR_INVALIDVERTEXFORMAT = dd_error(2048);
constexpr HRESULT D3DERR_VBUF_CREATE_FAILED = dd_error(2061);
constexpr HRESULT D3DERR_VERTEXBUFFERLOCKED = dd_error(2062);
constexpr HRESULT D3DERR_ZBUFFER_NOTPRESENT = dd_error(2070);

extern const GUID IID_IDirect3DRGBDevice;
extern const GUID IID_IDirect3DHALDevice;
extern const GUID IID_IDirect3DTnLHalDevice;
extern const GUID IID_IDirect3DRefDevice;

// ---- Enumerations ----------------------------------------------------------------------------

enum D3DRENDERSTATETYPE : uint32_t {
  D3DRENDERSTATE_TEXTUREPERSPECTIVE = 4,
  D3DRENDERSTATE_ZENABLE = 7,
  D3DRENDERSTATE_FILLMODE = 8,
  D3DRENDERSTATE_SHADEMODE = 9,
  D3DRENDERSTATE_ZWRITEENABLE = 14,
  D3DRENDERSTATE_ALPHATESTENABLE = 15,
  D3DRENDERSTATE_SRCBLEND = 19,
  D3DRENDERSTATE_DESTBLEND = 20,
  D3DRENDERSTATE_CULLMODE = 22,
  D3DRENDERSTATE_ZFUNC = 23,
  D3DRENDERSTATE_ALPHAREF = 24,
  D3DRENDERSTATE_ALPHAFUNC = 25,
  D3DRENDERSTATE_DITHERENABLE = 26,
  D3DRENDERSTATE_ALPHABLENDENABLE = 27,
  D3DRENDERSTATE_FOGENABLE = 28,
  D3DRENDERSTATE_SPECULARENABLE = 29,
  D3DRENDERSTATE_FOGCOLOR = 34,
  D3DRENDERSTATE_FOGTABLEMODE = 35,
  D3DRENDERSTATE_FOGSTART = 36,
  D3DRENDERSTATE_FOGEND = 37,
  D3DRENDERSTATE_FOGDENSITY = 38,
  D3DRENDERSTATE_TEXTUREFACTOR = 60,
  D3DRENDERSTATE_CLIPPING = 136,
  D3DRENDERSTATE_LIGHTING = 137,
  D3DRENDERSTATE_AMBIENT = 139,
  D3DRENDERSTATE_FOGVERTEXMODE = 140,
  D3DRENDERSTATE_COLORVERTEX = 141,
  D3DRENDERSTATE_LOCALVIEWER = 142,
  D3DRENDERSTATE_NORMALIZENORMALS = 143,
  D3DRENDERSTATE_DIFFUSEMATERIALSOURCE = 145,
  D3DRENDERSTATE_SPECULARMATERIALSOURCE = 146,
  D3DRENDERSTATE_AMBIENTMATERIALSOURCE = 147,
  D3DRENDERSTATE_EMISSIVEMATERIALSOURCE = 148,
  D3DRENDERSTATE_VERTEXBLEND = 151,
};
constexpr uint32_t D3D_RENDERSTATE_LIMIT = 256;  // states are numbered below this

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_MIPMAPLODBIAS = 19,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
};
constexpr uint32_t D3D_STAGE_STATE_LIMIT = 32;
constexpr uint32_t D3D_MAX_STAGES = 8;
constexpr uint32_t D3D_MAX_LIGHTS = 8;

// Texture coordinate index: the set in the low bits, a generation mode in the high ones.
constexpr uint32_t D3DTSS_TCI_PASSTHRU = 0x00000000;
constexpr uint32_t D3DTSS_TCI_CAMERASPACENORMAL = 0x00010000;
constexpr uint32_t D3DTSS_TCI_CAMERASPACEPOSITION = 0x00020000;
constexpr uint32_t D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR = 0x00030000;

enum D3DTEXTURETRANSFORMFLAGS : uint32_t { D3DTTFF_DISABLE = 0, D3DTTFF_COUNT2 = 2 };

enum D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
  D3DTOP_ADDSIGNED = 8,
  D3DTOP_ADDSIGNED2X = 9,
  D3DTOP_SUBTRACT = 10,
  D3DTOP_ADDSMOOTH = 11,
  D3DTOP_BLENDDIFFUSEALPHA = 12,
  D3DTOP_BLENDTEXTUREALPHA = 13,
  D3DTOP_BLENDFACTORALPHA = 14,
  D3DTOP_BLENDTEXTUREALPHAPM = 15,
  D3DTOP_BLENDCURRENTALPHA = 16,
};

constexpr uint32_t D3DTA_DIFFUSE = 0x00000000;
constexpr uint32_t D3DTA_CURRENT = 0x00000001;
constexpr uint32_t D3DTA_TEXTURE = 0x00000002;
constexpr uint32_t D3DTA_TFACTOR = 0x00000003;

enum D3DTEXTUREMAGFILTER : uint32_t { D3DTFG_POINT = 1, D3DTFG_LINEAR = 2 };
enum D3DTEXTUREMINFILTER : uint32_t { D3DTFN_POINT = 1, D3DTFN_LINEAR = 2 };
enum D3DTEXTUREMIPFILTER : uint32_t { D3DTFP_NONE = 1, D3DTFP_POINT = 2, D3DTFP_LINEAR = 3 };
enum D3DTEXTUREADDRESS : uint32_t { D3DTADDRESS_WRAP = 1, D3DTADDRESS_MIRROR = 2, D3DTADDRESS_CLAMP = 3 };

enum D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
};

enum D3DCMPFUNC : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};

enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DFILLMODE : uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum D3DFOGMODE : uint32_t { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };
enum D3DMATERIALCOLORSOURCE : uint32_t { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2 };
enum D3DVERTEXBLENDFLAGS : uint32_t {
  D3DVBLEND_DISABLE = 0,
  D3DVBLEND_1WEIGHT = 1,
  D3DVBLEND_2WEIGHTS = 2,
  D3DVBLEND_3WEIGHTS = 3,
};

enum D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTRANSFORMSTATE_WORLD = 1,
  D3DTRANSFORMSTATE_VIEW = 2,
  D3DTRANSFORMSTATE_PROJECTION = 3,
  D3DTRANSFORMSTATE_WORLD1 = 4,
  D3DTRANSFORMSTATE_WORLD2 = 5,
  D3DTRANSFORMSTATE_WORLD3 = 6,
  D3DTRANSFORMSTATE_TEXTURE0 = 16,
  D3DTRANSFORMSTATE_TEXTURE7 = 23,
};

enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

enum D3DLIGHTTYPE : uint32_t { D3DLIGHT_POINT = 1, D3DLIGHT_SPOT = 2, D3DLIGHT_DIRECTIONAL = 3 };

constexpr uint32_t D3DCLEAR_TARGET = 0x00000001;
constexpr uint32_t D3DCLEAR_ZBUFFER = 0x00000002;

// Flexible vertex format bits.
constexpr uint32_t D3DFVF_XYZ = 0x002;
constexpr uint32_t D3DFVF_XYZB1 = 0x006;
constexpr uint32_t D3DFVF_XYZB2 = 0x008;
constexpr uint32_t D3DFVF_XYZB3 = 0x00A;
constexpr uint32_t D3DFVF_POSITION_MASK = 0x00E;
constexpr uint32_t D3DFVF_NORMAL = 0x010;
constexpr uint32_t D3DFVF_DIFFUSE = 0x040;
constexpr uint32_t D3DFVF_SPECULAR = 0x080;
constexpr uint32_t D3DFVF_TEXCOUNT_MASK = 0xF00;
constexpr uint32_t D3DFVF_TEXCOUNT_SHIFT = 8;
constexpr uint32_t D3DFVF_TEX1 = 0x100;
constexpr uint32_t D3DFVF_TEX2 = 0x200;

constexpr uint32_t D3DVBCAPS_SYSTEMMEMORY = 0x00000800;
constexpr uint32_t D3DVBCAPS_WRITEONLY = 0x00010000;

constexpr uint32_t D3DPTEXTURECAPS_POW2 = 0x00000002;
constexpr uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x00000020;

constexpr uint32_t D3DDP_MAXTEXCOORD = 8;

// ---- Records ---------------------------------------------------------------------------------

using D3DCOLOR = uint32_t;  // alpha in the top byte, then red, green, blue

struct D3DCOLORVALUE {
  float r, g, b, a;
};
struct D3DVECTOR {
  float x, y, z;
};
// Row-major, for row vectors: a point p becomes p x M.
struct D3DMATRIX {
  float m[4][4];
};
struct D3DRECT {
  int32_t x1, y1, x2, y2;
};
struct D3DVIEWPORT7 {
  uint32_t dwX, dwY, dwWidth, dwHeight;  // from the top-left corner of the render target
  float dvMinZ, dvMaxZ;
};
struct D3DMATERIAL7 {
  D3DCOLORVALUE diffuse, ambient, specular, emissive;
  float power;
};
struct D3DLIGHT7 {
  D3DLIGHTTYPE dltType;
  D3DCOLORVALUE dcvDiffuse, dcvSpecular, dcvAmbient;
  D3DVECTOR dvPosition, dvDirection;
  float dvRange, dvFalloff, dvAttenuation0, dvAttenuation1, dvAttenuation2, dvTheta, dvPhi;
};

struct D3DPRIMCAPS {
  uint32_t dwSize;
  uint32_t dwTextureCaps;
};

struct D3DDEVICEDESC7 {
  uint32_t dwDevCaps;
  D3DPRIMCAPS dpcTriCaps;
  uint32_t dwMinTextureWidth, dwMinTextureHeight;
  uint32_t dwMaxTextureWidth, dwMaxTextureHeight;
  uint32_t dwMaxActiveLights;
  uint16_t wMaxTextureBlendStages;
  uint16_t wMaxSimultaneousTextures;
  GUID deviceGUID;
};

struct D3DVERTEXBUFFERDESC {
  uint32_t dwSize;
  uint32_t dwCaps;
  uint32_t dwFVF;
  uint32_t dwNumVertices;
};

struct D3DDP_PTRSTRIDE {
  const void* lpvData;
  uint32_t dwStride;  // bytes; 0 repeats one element for every vertex
};
struct D3DDRAWPRIMITIVESTRIDEDDATA {
  D3DDP_PTRSTRIDE position;
  D3DDP_PTRSTRIDE normal;
  D3DDP_PTRSTRIDE diffuse;
  D3DDP_PTRSTRIDE specular;
  D3DDP_PTRSTRIDE textureCoords[D3DDP_MAXTEXCOORD];
};

// ---- Interfaces ------------------------------------------------------------------------------

struct IDirect3DVertexBuffer7 : IUnknown {
  virtual HRESULT Lock(uint32_t flags, void** data, uint32_t* size) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC* out) = 0;
};

using LPD3DENUMPIXELFORMATSCALLBACK = HRESULT (*)(DDPIXELFORMAT* format, void* context);
using LPD3DENUMDEVICESCALLBACK7 = HRESULT (*)(const char* description, const char* name,
                                              D3DDEVICEDESC7* desc, void* context);
constexpr HRESULT D3DENUMRET_CANCEL = 0;
constexpr HRESULT D3DENUMRET_OK = 1;

struct IDirect3DDevice7 : IUnknown {
  virtual HRESULT GetCaps(D3DDEVICEDESC7* out) = 0;
  virtual HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT SetRenderTarget(IDirectDrawSurface7* surface, uint32_t flags) = 0;
  virtual HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR colour, float z,
                        uint32_t stencil) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT7* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT7* viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL7* material) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL7* material) = 0;
  virtual HRESULT SetLight(uint32_t index, const D3DLIGHT7* light) = 0;
  virtual HRESULT LightEnable(uint32_t index, bool enable) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) = 0;
  virtual HRESULT SetTexture(uint32_t stage, IDirectDrawSurface7* texture) = 0;
  virtual HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t value) = 0;
  virtual HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t* value) = 0;
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices, uint32_t count,
                                uint32_t flags) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices,
                                       uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                       uint32_t flags) = 0;
  virtual HRESULT DrawPrimitiveStrided(D3DPRIMITIVETYPE type, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* data,
                                       uint32_t count, uint32_t flags) = 0;
  virtual HRESULT DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE type, uint32_t fvf,
                                              const D3DDRAWPRIMITIVESTRIDEDDATA* data, uint32_t vertexCount,
                                              const uint16_t* indices, uint32_t indexCount, uint32_t flags) = 0;
  virtual HRESULT DrawPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, uint32_t start,
                                  uint32_t count, uint32_t flags) = 0;
  virtual HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer,
                                         uint32_t startVertex, uint32_t vertexCount, const uint16_t* indices,
                                         uint32_t indexCount, uint32_t flags) = 0;
};

struct IDirect3D7 : IUnknown {
  virtual HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context) = 0;
  virtual HRESULT CreateDevice(const GUID& device, IDirectDrawSurface7* target, IDirect3DDevice7** out) = 0;
  virtual HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* desc, IDirect3DVertexBuffer7** out,
                                     uint32_t flags) = 0;
  virtual HRESULT EnumZBufferFormats(const GUID& device, LPD3DENUMPIXELFORMATSCALLBACK callback,
                                     void* context) = 0;
};

// Size in bytes of one vertex of a flexible vertex format (0 for a format without position).
uint32_t d3d_fvf_size(uint32_t fvf);
// Blend weights stored per vertex: 0 for D3DFVF_XYZ, 1 to 3 for D3DFVF_XYZB1 to D3DFVF_XYZB3.
inline uint32_t d3d_fvf_weights(uint32_t fvf) {
  const uint32_t p = fvf & D3DFVF_POSITION_MASK;
  return p >= D3DFVF_XYZB1 ? (p - D3DFVF_XYZB1) / 2 + 1 : 0;
}
