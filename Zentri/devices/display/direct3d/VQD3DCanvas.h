// The Direct3D canvas and viewport. A canvas is a window with a DirectDraw primary surface, a
// back buffer (in a flip chain in full screen, else an off-screen surface blitted to the
// window), a z-buffer attached to the back buffer and the IDirect3DDevice7 drawing into it.
// It keeps a cache of the render and texture-stage states it last sent and sends a state only
// when the wanted value differs; the display device's material, light, fog, blend, texture
// and mesh operations run on it. The viewport flips the engine's bottom-left rectangles into
// Direct3D's top-left ones.
#pragma once

#include <cstdint>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/direct3d/VQD3DDisplayDevice.h"
#include "Zentri/scene/VQViewport.h"

class VQMaterial;
class VQTexture;
class VQMattable;

// Present methods.
enum VQD3DPresent : uint32_t {
  VQD3D_PRESENT_NONE = 0,
  VQD3D_PRESENT_FLIP_TWO = 1,  // flip chain with two back buffers
  VQD3D_PRESENT_FLIP_ONE = 2,  // flip chain with one back buffer
  VQD3D_PRESENT_BLIT = 3,      // off-screen back buffer blitted to the window
};

// The texture-coordinate sources of a material stage.
enum VQD3DCoordSource : uint32_t {
  VQD3DCOORD_MESH = 0,
  VQD3DCOORD_NORMAL = 1,
  VQD3DCOORD_REFLECTION = 2,
};

constexpr uint32_t VQD3D_STAGES = 8;
constexpr uint32_t VQD3D_SPRITES_PER_LOCK = 40;

// What a canvas last sent to one texture stage.
struct VQD3DStageCache {
  uint32_t m_colourOp = 0, m_colourArg1 = 0, m_colourArg2 = 0;
  uint32_t m_alphaOp = 0, m_alphaArg1 = 0, m_alphaArg2 = 0;
  uint32_t m_coordSource = 0xFFFFFFFFu;
  uint32_t m_coordIndex = 0xFFFFFFFFu;
  uint32_t m_sampling = 0;
  IDirectDrawSurface7* m_texture = nullptr;  // bound surface (not counted)
  bool m_forceReload = false;
};

// The stage of a material as ApplyStage reads it (engine numbers).
struct VQD3DStage {
  uint32_t m_colourMode = 0, m_colourArg1 = 0, m_colourArg2 = 0;
  uint32_t m_alphaMode = 0, m_alphaArg1 = 0, m_alphaArg2 = 0;
  uint32_t m_coordSource = VQD3DCOORD_MESH;
  uint32_t m_coordIndex = 0;
  VQTexture* m_texture = nullptr;
};

class VQD3DCanvas : public VQCanvas {
 public:
  VQD3DCanvas();
  ~VQD3DCanvas() override = default;

  VQViewport* CreateViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void Present() override;
  void Begin2D() override;
  uint32_t GetBufferingMode() override;
  void Show(bool show) override;
  void* LockBackBuffer(uint32_t) override { return LockBack(nullptr); }
  // Kind 1 (back buffer) only: rows of 24-bit RGB, bottom row first, as every canvas gives.
  bool ReadPixels(uint32_t buffer, uint32_t, uint32_t, uint8_t* destination) override;
  VQPixmap* GrabRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void RestoreSurfaces() override { RestoreSurfacesNow(); }
  bool RecreateSurfaces() override;
  bool MakeCurrent() override;
  bool End() override;
  void SetTitle(const char* text) override;
  void GetTitle(char* buffer, uint32_t size) override;
  void BlitImageBatch(const VQImageRef* image, uint32_t count, const int32_t* xs, const int32_t* ys) override;
  void BlitImage(const VQImageRef* image, int32_t x, int32_t y, uint32_t, uint32_t) override;
  void BlitImageRects(const VQImageRef* image, uint32_t count, const int32_t* dx, const int32_t* dy,
                      const int32_t* sx, const int32_t* sy, const int32_t* w, const int32_t* h) override;
  void SetPosition(int32_t x, int32_t y) override;
  uint32_t QueryDevice() override { return uint32_t(m_window); }
  // a = pointer to a rectangle {x0, y0, x1, y1} from the top left, b = colour word, c = on.
  void FillRect(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t, uintptr_t, uintptr_t) override;

  // Gamma ramp entry i = clamp((i / 255 + offset) x 65535, 0, 65535); false without a gamma
  // control.
  bool SetBrightness(float offset);
  // Locks the whole back buffer (restoring it when lost); pitch in pixels; null on failure.
  void* LockBack(uint32_t* pitch);
  void UnlockBackBuffer();
  bool RestoreSurfacesNow();

  // Surfaces.
  bool CreateFullScreenSurfaces(uint32_t backBuffers);
  bool CreateWindowedSurfaces();
  bool CreateZBuffer(const DDPIXELFORMAT& format);
  void ReleaseSurfaces();
  bool CreateBackBuffer();
  void ReadBackBufferFormat();

  // Render-state cache.
  void SetState(D3DRENDERSTATETYPE state, uint32_t value);
  void SetStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t value);
  void SetDefaultState();
  void SetRenderFlag(uint32_t flag, bool value);
  bool GetRenderFlag(uint32_t flag) const;
  void SetBlend(uint32_t source, uint32_t destination);
  void SetAlphaTest(uint32_t function, float reference);
  void SetTextureFactor(float alpha);
  void SetFillMode(uint32_t mode);
  void BindStageTexture(uint32_t stage, IDirectDrawSurface7* surface);
  void ApplyStage(uint32_t stage, const VQD3DStage* record);
  // The material's colours (translucent: diffuse alpha x opacity below 1).
  void ApplyMaterialColours(const VQMaterial* material, bool* translucent);
  // Stages pass x perPass .. of the material at slots 0, 1, ...; blending as the material
  // (or its first stage's combine mode in a later pass) asks.
  void ApplyMaterial(const VQMaterial* material, uint32_t pass, uint32_t perPass);
  void BindTexture(VQTexture* texture);
  bool EnableLight(const VQLightNode* light, uint32_t index);
  void DisableLight(uint32_t index);
  bool FogOn(const VQFogNode* fog);
  void FogOff();
  void SetVector(uint32_t which, const float* v);
  void SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& m);
  void DrawMesh(VQMesh* mesh, const VQMattable* table, const VQMatrix* modelView, const VQVector* position,
                const VQMatrix* const* blend);
  void DrawQuad(const float* positions, const uint32_t* colours, const float* uvs, const float* normal,
                bool triangle);
  // Sprites: textured quads in canvas pixels (origin bottom left) through the shared buffer.
  void DrawSprites(VQD3DTexture* texture, uint32_t count, const float* rects, const float* uvs);

  VQD3DDisplayDevice* Device() const { return static_cast<VQD3DDisplayDevice*>(m_device); }

  uint32_t m_backBits = 0, m_backFormat = 0;
  bool m_2DActive = false, m_2DDefaults = false;
  uint32_t m_present = VQD3D_PRESENT_NONE;
  uint32_t m_backBuffers = VQD3D_DEFAULT_BACK_BUFFERS;
  bool m_valid = false;
  IDirectDrawSurface7* m_primary = nullptr;
  IDirectDrawSurface7* m_back = nullptr;
  IDirectDrawSurface7* m_zbuffer = nullptr;
  DDPIXELFORMAT m_zFormat{};
  bool m_chained = false;
  bool m_cooperative = false;
  IDirect3DDevice7* m_d3dDevice = nullptr;
  bool m_inScene = false;
  bool m_lightSet = false;
  IDirectDrawGammaControl* m_gamma = nullptr;
  bool m_backLocked = false;

  // The cache.
  uint32_t m_rs[D3D_RENDERSTATE_LIMIT] = {};
  bool m_rsKnown[D3D_RENDERSTATE_LIMIT] = {};
  uint32_t m_tss[VQD3D_STAGES][D3D_STAGE_STATE_LIMIT] = {};
  bool m_tssKnown[VQD3D_STAGES][D3D_STAGE_STATE_LIMIT] = {};
  bool m_flags[4] = {};  // blending, depth test, depth write, lighting
  uint32_t m_srcBlend = 2, m_dstBlend = 3;
  uint32_t m_alphaFunction = 0, m_alphaReference = 0, m_textureFactor = 0;
  bool m_colourVertex = false, m_emissiveFromVertex = false;
  VQD3DStageCache m_stages[VQD3D_STAGES];
  const VQMaterial* m_material = nullptr;
  bool m_materialKnown = false;
  D3DMATERIAL7 m_sentMaterial{};
  uint32_t m_lightCount = 0, m_fogCount = 0;
  bool m_plainWireframe = false;
  bool m_worldChanged = false;  // a mesh moved the world matrix away from the viewport's
  D3DMATRIX m_viewWorld{};      // the world matrix the viewport set (the camera's inverse)
  D3DMATRIX m_texMatrix{};
  float m_vectorA[3] = {0, 0, 0}, m_vectorB[3] = {0, 0, 0};
  uint32_t m_sentRenderStates = 0;  // calls of SetRenderState, for the frame statistics
};

class VQD3DViewport : public VQViewport {
 public:
  bool Begin() override;
  void End() override {}
  void Clear(uint32_t word) override;
  bool ApplySize(int32_t width, int32_t height) override;
  bool ApplyPosition(int32_t x, int32_t y) override;
  bool ApplyRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void SetProjection(float left, float right, float bottom, float top, float nearZ, float farZ) override;

  // Recomputes the flipped rectangle and sends it; false when SetViewport fails.
  bool SendRect(int32_t x, int32_t y, int32_t width, int32_t height);
  VQD3DCanvas* Canvas() const { return static_cast<VQD3DCanvas*>(m_canvas); }

  D3DVIEWPORT7 m_d3dViewport{0, 0, 0, 0, 0.0f, 1.0f};
  IDirect3DDevice7* m_d3dDevice = nullptr;
};

// Direct3D projections (left-handed, depth 0 to 1) of a frustum and of a box.
D3DMATRIX VQd3d_Perspective(float left, float right, float bottom, float top, float nearZ, float farZ);
D3DMATRIX VQd3d_Orthographic(float left, float right, float bottom, float top, float nearZ, float farZ);
