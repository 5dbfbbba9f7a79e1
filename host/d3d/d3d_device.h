// The Direct3D-shaped device over an OpenGL context of the render target's window.
//
// Render and texture stage states are kept as Direct3D values and turned into OpenGL state
// in one place, apply_state, before each draw: a state word of the fixed-function switches
// and the values behind them, compared with what the context was last given, so only changes
// reach OpenGL. Transforms are kept in Direct3D form; the projection gets the depth range and
// pixel-centre conversion when it is loaded.
#pragma once

#include <cstdint>

#include "host/d3d/d3d_local.h"

namespace host::d3d {

// Fixed-function switches of one state word.
enum gl_switch : uint32_t {
  GLS_BLEND = 1u << 0,
  GLS_DEPTH_TEST = 1u << 1,
  GLS_DEPTH_WRITE = 1u << 2,
  GLS_LIGHTING = 1u << 3,
  GLS_FOG = 1u << 4,
  GLS_ALPHA_TEST = 1u << 5,
  GLS_CULL = 1u << 6,
  GLS_CULL_CCW = 1u << 7,  // cull counter-clockwise faces (else clockwise)
  GLS_NORMALIZE = 1u << 8,
  GLS_LOCAL_VIEWER = 1u << 9,
};

struct stage_state {
  uint32_t values[D3D_STAGE_STATE_LIMIT] = {};
  surface_impl* texture = nullptr;  // not owned: the caller keeps it alive while bound
};

class device_impl final : public IDirect3DDevice7 {
 public:
  device_impl(ddraw_impl* owner, surface_impl* target, const GUID& type);
  bool create_context();
  HRESULT QueryInterface(const GUID&, void** out) override;
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override;

  HRESULT GetCaps(D3DDEVICEDESC7* out) override;
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT SetRenderTarget(IDirectDrawSurface7* surface, uint32_t flags) override;
  HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR colour, float z,
                uint32_t stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT7* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT7* viewport) override;
  HRESULT SetMaterial(const D3DMATERIAL7* material) override;
  HRESULT GetMaterial(D3DMATERIAL7* material) override;
  HRESULT SetLight(uint32_t index, const D3DLIGHT7* light) override;
  HRESULT LightEnable(uint32_t index, bool enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) override;
  HRESULT SetTexture(uint32_t stage, IDirectDrawSurface7* texture) override;
  HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t value) override;
  HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t* value) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices, uint32_t count,
                        uint32_t flags) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices, uint32_t vertexCount,
                               const uint16_t* indices, uint32_t indexCount, uint32_t flags) override;
  HRESULT DrawPrimitiveStrided(D3DPRIMITIVETYPE type, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* data,
                               uint32_t count, uint32_t flags) override;
  HRESULT DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE type, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* data,
                                      uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                      uint32_t flags) override;
  HRESULT DrawPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, uint32_t start, uint32_t count,
                          uint32_t flags) override;
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, uint32_t startVertex,
                                 uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                 uint32_t flags) override;

  // Used by the render-target surface.
  void target_released(surface_impl* s);
  HRESULT fill_target(const RECT& r, uint32_t pixel, const DDPIXELFORMAT& pf);
  void read_target(surface_impl* s);
  void write_target(surface_impl* s);
  HRESULT present(HWND window);

  // Makes the device's context current on this thread (false when it cannot).
  bool make_current();

  ddraw_impl* m_owner;
  surface_impl* m_target;  // not owned
  GUID m_type;
  HWND m_window = 0;
  host::gl::context m_context = 0;
  uint32_t m_group = 0;  // contexts of one group share texture names
  bool m_inScene = false;

  uint32_t m_rs[D3D_RENDERSTATE_LIMIT] = {};
  stage_state m_stages[D3D_MAX_STAGES];
  D3DMATRIX m_world[4];
  D3DMATRIX m_view, m_projection;
  D3DMATRIX m_texture[D3D_MAX_STAGES];
  D3DVIEWPORT7 m_viewport{};
  D3DMATERIAL7 m_material{};
  D3DLIGHT7 m_lights[D3D_MAX_LIGHTS] = {};
  bool m_lightOn[D3D_MAX_LIGHTS] = {};

 private:
  ~device_impl() override;
  // Brings the context up to the kept Direct3D state for a draw with this vertex format.
  void apply_state(uint32_t fvf);
  void apply_switches(uint32_t word);
  void apply_stage(uint32_t unit, uint32_t fvf);
  HRESULT draw(D3DPRIMITIVETYPE type, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA& data, uint32_t vertexCount,
               const uint16_t* indices, uint32_t indexCount);
  void strided_from(uint32_t fvf, const uint8_t* base, D3DDRAWPRIMITIVESTRIDEDDATA* out);
  void restore_after_raw();

  std::atomic<uint32_t> m_refs{1};
  bool m_stateKnown = false;  // the context's state matches the kept words below
  uint32_t m_glWord = 0;
  uint32_t m_glSrc = 0, m_glDst = 0, m_glZFunc = 0, m_glAlphaFunc = 0, m_glAlphaRef = 0xFFFFFFFF;
  uint32_t m_glFill = 0, m_glAmbient = 0xFFFFFFFF, m_glColorMaterial = 0xFFFFFFFF;
  uint32_t m_glFogColour = 0xFFFFFFFF, m_glFogStart = 0xFFFFFFFF, m_glFogEnd = 0xFFFFFFFF;
  bool m_matricesDirty = true, m_lightsDirty = true, m_materialDirty = true, m_viewportDirty = true;
  uint32_t m_unitsEnabled = 0;  // texture units switched on in the context
  uint32_t m_clientArrays = 0;  // bit 0 normal, 1 colour, 2+u texture unit u
  uint32_t m_maxUnits = 1;
  std::vector<float> m_blended;  // positions and normals of vertex-blended draws
};

}  // namespace host::d3d
