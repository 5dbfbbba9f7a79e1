// The Direct3D canvas's render-state cache and what sits on it: materials and texture stages,
// lights, fog, meshes (vertex buffers or strided arrays, in runs of one material), the
// immediate quad, the 2D mode and sprites through the shared dynamic vertex buffer.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Zentri/devices/display/direct3d/VQD3DCanvas.h"
#include "Zentri/math/VQGeometry.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQerror.h"

namespace {

bool Dx(HRESULT r) {
  g_VQdxResult = r;
  return dx_succeeded(r);
}

uint32_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

float BitsFloat(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

uint32_t Byte(float v) { return v <= 0.0f ? 0u : (v >= 1.0f ? 255u : uint32_t(v * 255.0f)); }

D3DCOLORVALUE Colour(const VQColor& c, float alpha) { return D3DCOLORVALUE{c.r, c.g, c.b, alpha}; }

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

// Material stage settings as this driver reads them (VQMaterialStage::m_settings).
enum StageSetting : uint32_t {
  SETTING_COORD_SOURCE = 0,
  SETTING_COLOUR_ARG1 = 1,
  SETTING_COLOUR_ARG2 = 2,
  SETTING_ALPHA_ARG1 = 3,
  SETTING_ALPHA_ARG2 = 4,
  SETTING_ALPHA_OP = 5,
};

// Minification filter 1..6 as Direct3D's (minification, mip) pair.
void MinFilter(uint32_t f, uint32_t* min, uint32_t* mip) {
  static const uint32_t kMin[7] = {D3DTFN_POINT, D3DTFN_POINT, D3DTFN_LINEAR, D3DTFN_POINT,
                                   D3DTFN_POINT, D3DTFN_LINEAR, D3DTFN_LINEAR};
  static const uint32_t kMip[7] = {D3DTFP_NONE, D3DTFP_NONE, D3DTFP_NONE, D3DTFP_POINT,
                                   D3DTFP_LINEAR, D3DTFP_POINT, D3DTFP_LINEAR};
  const uint32_t i = f <= 6 ? f : 1;
  *min = kMin[i];
  *mip = kMip[i];
}

uint32_t Wrap(uint32_t w) { return w == VQWRAP_CLAMP ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP; }

const VQMaterial* MaterialAt(const VQMattable* table, uint32_t index) {
  if (!table || index >= table->m_count || !table->m_slots) return nullptr;
  return table->m_slots[index];
}

}  // namespace

// ---- Cache ---------------------------------------------------------------------------------------

void VQD3DCanvas::SetState(D3DRENDERSTATETYPE state, uint32_t value) {
  if (state >= D3D_RENDERSTATE_LIMIT || !m_d3dDevice) return;
  if (m_rsKnown[state] && m_rs[state] == value) return;
  Dx(m_d3dDevice->SetRenderState(state, value));
  m_rs[state] = value;
  m_rsKnown[state] = true;
  ++m_sentRenderStates;
}

void VQD3DCanvas::SetStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t value) {
  if (stage >= VQD3D_STAGES || state >= D3D_STAGE_STATE_LIMIT || !m_d3dDevice) return;
  if (m_tssKnown[stage][state] && m_tss[stage][state] == value) return;
  Dx(m_d3dDevice->SetTextureStageState(stage, state, value));
  m_tss[stage][state] = value;
  m_tssKnown[stage][state] = true;
}

void VQD3DCanvas::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& m) {
  if (m_d3dDevice) Dx(m_d3dDevice->SetTransform(state, &m));
}

void VQD3DCanvas::SetDefaultState() {
  VQD3DDisplayDevice* d = Device();
  std::fill(std::begin(m_rsKnown), std::end(m_rsKnown), false);
  for (auto& s : m_tssKnown) std::fill(std::begin(s), std::end(s), false);
  SetState(D3DRENDERSTATE_SPECULARENABLE, 0);
  SetState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1);
  SetState(D3DRENDERSTATE_CULLMODE, D3DCULL_CW);
  SetState(D3DRENDERSTATE_LOCALVIEWER, 1);
  SetState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESS);
  SetState(D3DRENDERSTATE_CLIPPING, 1);
  m_materialKnown = false;
  ApplyMaterialColours(nullptr, nullptr);
  uint32_t min = D3DTFN_POINT, mip = D3DTFP_NONE;
  MinFilter(d ? d->m_minFilter : 1, &min, &mip);
  for (uint32_t s = 0; s < 2; ++s) {
    SetStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
    SetStageState(s, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStageState(s, D3DTSS_COLORARG2, s == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT);
    SetStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    SetStageState(s, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    SetStageState(s, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    SetStageState(s, D3DTSS_MIPMAPLODBIAS, FloatBits(0.0f));
    SetStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    SetStageState(s, D3DTSS_TEXCOORDINDEX, s);
    SetStageState(s, D3DTSS_MAGFILTER, d && d->m_magFilter == VQFILTER_NEAREST ? D3DTFG_POINT : D3DTFG_LINEAR);
    SetStageState(s, D3DTSS_MINFILTER, min);
    SetStageState(s, D3DTSS_MIPFILTER, mip);
    SetStageState(s, D3DTSS_ADDRESSU, Wrap(d ? d->m_wrapU : 2));
    SetStageState(s, D3DTSS_ADDRESSV, Wrap(d ? d->m_wrapV : 2));
    Dx(m_d3dDevice->SetTexture(s, nullptr));
    m_stages[s] = VQD3DStageCache();
    m_stages[s].m_coordSource = VQD3DCOORD_MESH;
    m_stages[s].m_coordIndex = s;
  }
  for (uint32_t s = 2; s < VQD3D_STAGES; ++s) {
    SetStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
    SetStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  }
  SetState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  SetState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  m_srcBlend = VQBLEND_SRC_ALPHA;
  m_dstBlend = VQBLEND_INV_SRC_ALPHA;
  SetState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
  SetState(D3DRENDERSTATE_ALPHATESTENABLE, 0);
  SetState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS);
  SetState(D3DRENDERSTATE_ALPHAREF, 0);
  m_alphaFunction = m_alphaReference = 0;
  SetState(D3DRENDERSTATE_TEXTUREFACTOR, 0);
  m_textureFactor = 0;
  SetState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  SetState(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  SetState(D3DRENDERSTATE_COLORVERTEX, 0);
  m_colourVertex = false;
  SetState(D3DRENDERSTATE_ZENABLE, 1);
  SetState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  SetState(D3DRENDERSTATE_LIGHTING, 0);
  m_flags[VQRENDER_BLENDING] = false;
  m_flags[VQRENDER_DEPTH_TEST] = m_flags[VQRENDER_DEPTH_WRITE] = true;
  m_flags[VQRENDER_LIGHTING] = false;
}

void VQD3DCanvas::SetRenderFlag(uint32_t flag, bool value) {
  static const D3DRENDERSTATETYPE kStates[4] = {D3DRENDERSTATE_ALPHABLENDENABLE, D3DRENDERSTATE_ZENABLE,
                                                D3DRENDERSTATE_ZWRITEENABLE, D3DRENDERSTATE_LIGHTING};
  if (flag > VQRENDER_LIGHTING || m_flags[flag] == value) return;
  m_flags[flag] = value;
  SetState(kStates[flag], value ? 1 : 0);
}

bool VQD3DCanvas::GetRenderFlag(uint32_t flag) const { return flag <= VQRENDER_LIGHTING && m_flags[flag]; }

void VQD3DCanvas::SetBlend(uint32_t source, uint32_t destination) {
  if (source == m_srcBlend && destination == m_dstBlend) return;
  m_srcBlend = source;
  m_dstBlend = destination;
  SetState(D3DRENDERSTATE_SRCBLEND, VQd3d_BlendFactor(source));
  SetState(D3DRENDERSTATE_DESTBLEND, VQd3d_BlendFactor(destination));
}

void VQD3DCanvas::SetAlphaTest(uint32_t function, float reference) {
  const uint32_t ref = uint32_t(std::clamp(reference, 0.0f, 1.0f) * 255.0f);
  if (function == m_alphaFunction && (function == 0 || ref == m_alphaReference)) return;
  m_alphaFunction = function;
  if (function == 0) {
    SetState(D3DRENDERSTATE_ALPHATESTENABLE, 0);
    return;
  }
  m_alphaReference = ref;
  SetState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
  SetState(D3DRENDERSTATE_ALPHAFUNC, VQd3d_AlphaFunction(function));
  SetState(D3DRENDERSTATE_ALPHAREF, ref);
}

void VQD3DCanvas::SetTextureFactor(float alpha) {
  const uint32_t v = uint32_t(std::clamp(alpha, 0.0f, 1.0f) * 255.0f) << 24;
  if (v == m_textureFactor) return;
  m_textureFactor = v;
  SetState(D3DRENDERSTATE_TEXTUREFACTOR, v);
}

void VQD3DCanvas::SetFillMode(uint32_t mode) {
  switch (mode) {
    case VQFILL_POINTS: SetState(D3DRENDERSTATE_FILLMODE, D3DFILL_POINT); break;
    case VQFILL_LINES: SetState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME); break;
    case VQFILL_WIREFRAME: SetState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME); break;
    case VQFILL_SOLID: SetState(D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID); break;
    default: return;
  }
  const bool plain = mode == VQFILL_WIREFRAME;
  if (plain && !m_plainWireframe) {
    // Materials, textures and vertex colours are left out: one white unlit colour.
    ApplyStage(0, nullptr);
    m_materialKnown = false;
    ApplyMaterialColours(nullptr, nullptr);
    SetState(D3DRENDERSTATE_COLORVERTEX, 0);
  }
  m_plainWireframe = plain;
}

// ---- Stages and materials ------------------------------------------------------------------------

void VQD3DCanvas::BindStageTexture(uint32_t stage, IDirectDrawSurface7* surface) {
  if (stage >= VQD3D_STAGES || m_stages[stage].m_texture == surface) return;
  if (m_d3dDevice) Dx(m_d3dDevice->SetTexture(stage, surface));
  m_stages[stage].m_texture = surface;
}

void VQD3DCanvas::ApplyStage(uint32_t stage, const VQD3DStage* r) {
  if (stage >= VQD3D_STAGES) return;
  VQD3DDisplayDevice* d = Device();
  auto* texture = r && r->m_texture && r->m_texture->m_device == d ? static_cast<VQD3DTexture*>(r->m_texture) : nullptr;
  if (!texture) {
    BindStageTexture(stage, nullptr);
    SetStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    SetStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    return;
  }
  SetStageState(stage, D3DTSS_COLOROP, VQd3d_CombineMode(r->m_colourMode));
  if (r->m_colourArg1) SetStageState(stage, D3DTSS_COLORARG1, VQd3d_CombineArgument(r->m_colourArg1));
  if (r->m_colourArg2) SetStageState(stage, D3DTSS_COLORARG2, VQd3d_CombineArgument(r->m_colourArg2));
  SetStageState(stage, D3DTSS_ALPHAOP, VQd3d_CombineMode(r->m_alphaMode));
  if (r->m_alphaArg1) SetStageState(stage, D3DTSS_ALPHAARG1, VQd3d_CombineArgument(r->m_alphaArg1));
  if (r->m_alphaArg2) SetStageState(stage, D3DTSS_ALPHAARG2, VQd3d_CombineArgument(r->m_alphaArg2));
  if (texture->m_changed && texture->m_surface && texture->m_surface->IsLost() == DD_OK) texture->Upload();
  VQD3DStageCache& cache = m_stages[stage];
  const uint32_t s = texture->m_sampling;
  if (s != cache.m_sampling) {
    const uint32_t minF = s & 0xF, magF = (s >> 4) & 0xF, wrapV = (s >> 8) & 0xF, wrapU = (s >> 12) & 0xF;
    if (magF) SetStageState(stage, D3DTSS_MAGFILTER, magF == VQFILTER_NEAREST ? D3DTFG_POINT : D3DTFG_LINEAR);
    if (minF) {
      uint32_t min, mip;
      MinFilter(minF, &min, &mip);
      SetStageState(stage, D3DTSS_MINFILTER, min);
      SetStageState(stage, D3DTSS_MIPFILTER, mip);
    }
    if (wrapU && wrapV) {
      SetStageState(stage, D3DTSS_ADDRESSU, Wrap(wrapU));
      SetStageState(stage, D3DTSS_ADDRESSV, Wrap(wrapV));
    }
    cache.m_sampling = s;
  }
  BindStageTexture(stage, texture->m_surface);
}

void VQD3DCanvas::ApplyMaterialColours(const VQMaterial* material, bool* translucent) {
  // No material: the default one of 2D drawing, white and opaque.
  static const VQColor kWhite(1, 1, 1, 1), kBlack(0, 0, 0, 1);
  const float alpha = material ? material->m_diffuse.a * material->m_opacity : 1.0f;
  if (translucent) *translucent = alpha < 1.0f;
  D3DMATERIAL7 m{};
  m.diffuse = Colour(material ? material->m_diffuse : kWhite, alpha);
  const VQColor& ambient = material ? material->m_ambient : kWhite;
  const VQColor& specular = material ? material->m_specular : kBlack;
  const VQColor& emission = material ? material->m_emission : kBlack;
  m.ambient = Colour(ambient, ambient.a);
  m.specular = Colour(specular, specular.a);
  m.emissive = Colour(emission, emission.a);
  m.power = material ? material->m_shininess * 128.0f : 0.0f;
  if (m_materialKnown && std::memcmp(&m_sentMaterial, &m, sizeof m) == 0) {
    m_material = material;
    return;
  }
  if (m_d3dDevice) Dx(m_d3dDevice->SetMaterial(&m));
  m_sentMaterial = m;
  m_material = material;
  m_materialKnown = true;
}

void VQD3DCanvas::ApplyMaterial(const VQMaterial* material, uint32_t pass, uint32_t perPass) {
  if (m_plainWireframe) return;
  if (perPass == 0) perPass = 1;
  bool translucent = false;
  if (pass == 0) ApplyMaterialColours(material, &translucent);
  const uint32_t stageCount = material ? std::min<uint32_t>(material->m_stageCount, VQMATERIAL_MAX_STAGES) : 0;
  const uint32_t first = pass * perPass;
  uint32_t slot = 0;
  for (uint32_t s = first; s < stageCount && slot < perPass && slot < VQD3D_STAGES; ++s, ++slot) {
    const VQMaterialStage& ms = material->m_stages[s];
    VQD3DStage record;
    record.m_colourMode = ms.m_operation;
    record.m_colourArg1 = ms.m_settings[SETTING_COLOUR_ARG1];
    record.m_colourArg2 = ms.m_settings[SETTING_COLOUR_ARG2];
    record.m_alphaMode = ms.m_settings[SETTING_ALPHA_OP];
    record.m_alphaArg1 = ms.m_settings[SETTING_ALPHA_ARG1];
    record.m_alphaArg2 = ms.m_settings[SETTING_ALPHA_ARG2];
    record.m_coordSource = ms.m_settings[SETTING_COORD_SOURCE];
    record.m_texture = ms.m_texture;
    // Stages without effect (combine modes 0 and 1) are switched off.
    ApplyStage(slot, ms.m_operation > VQSTAGEOP_DISABLE ? &record : nullptr);
    VQD3DStageCache& cache = m_stages[slot];
    const uint32_t source = record.m_coordSource <= VQD3DCOORD_REFLECTION ? record.m_coordSource : VQD3DCOORD_MESH;
    if (cache.m_forceReload || cache.m_coordSource != source || cache.m_coordIndex != s) {
      if (source == VQD3DCOORD_MESH) {
        SetStageState(slot, D3DTSS_TEXCOORDINDEX, s);
        SetStageState(slot, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      } else {
        SetStageState(slot, D3DTSS_TEXCOORDINDEX, source == VQD3DCOORD_NORMAL ? D3DTSS_TCI_CAMERASPACENORMAL
                                                                            : D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
        SetStageState(slot, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        SetTransform(D3DTRANSFORMSTATETYPE(D3DTRANSFORMSTATE_TEXTURE0 + slot), m_texMatrix);
      }
      cache.m_coordSource = source;
      cache.m_coordIndex = s;
      cache.m_forceReload = false;
    }
  }
  if (slot == 0) ApplyStage(0, nullptr);
  if (slot < VQD3D_STAGES && slot > 0) ApplyStage(slot, nullptr);
  if (pass == 0) {
    const uint32_t src = material ? material->m_srcBlend : VQBLEND_ONE;
    const uint32_t dst = material ? material->m_dstBlend : VQBLEND_ZERO;
    if (src == VQBLEND_ONE && dst == VQBLEND_ZERO) {
      SetRenderFlag(VQRENDER_BLENDING, translucent);
      if (translucent) SetBlend(VQBLEND_SRC_ALPHA, VQBLEND_INV_SRC_ALPHA);
    } else {
      SetRenderFlag(VQRENDER_BLENDING, true);
      SetBlend(src, dst);
    }
  } else if (first < stageCount) {
    // A later pass lies over the earlier one: its first stage's combine mode picks the
    // frame-buffer blend.
    switch (material->m_stages[first].m_operation) {
      case VQSTAGEOP_MODULATE: SetBlend(VQBLEND_ZERO, VQBLEND_SRC_COLOUR); break;
      case VQSTAGEOP_ADD: SetBlend(VQBLEND_SRC_ALPHA, VQBLEND_ONE); break;
      case VQSTAGEOP_BLEND_FACTOR_ALPHA: SetBlend(VQBLEND_ONE, VQBLEND_SRC_ALPHA); break;
      default: break;
    }
    SetRenderFlag(VQRENDER_BLENDING, true);
  }
  SetAlphaTest(material ? material->m_alphaFunc : 0, material ? BitsFloat(material->m_alphaValue) : 0.0f);
}

void VQD3DCanvas::BindTexture(VQTexture* texture) {
  if (!texture || texture->m_device != m_device) {
    ApplyStage(0, nullptr);
    return;
  }
  VQD3DStage record;
  record.m_colourMode = VQSTAGEOP_MODULATE;
  record.m_colourArg1 = 3;  // texture
  record.m_colourArg2 = 2;  // diffuse
  record.m_alphaMode = VQSTAGEOP_DISABLE;
  record.m_texture = texture;
  ApplyStage(0, &record);
  if (m_stages[0].m_coordSource != VQD3DCOORD_MESH || m_stages[0].m_coordIndex != 0) {
    SetStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    SetStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    m_stages[0].m_coordSource = VQD3DCOORD_MESH;
    m_stages[0].m_coordIndex = 0;
  }
}

void VQD3DCanvas::SetVector(uint32_t which, const float* v) {
  if (!v || which > 1) return;
  float* kept = which == 0 ? m_vectorA : m_vectorB;
  if (kept[0] == v[0] && kept[1] == v[1] && kept[2] == v[2]) return;
  std::memcpy(kept, v, 3 * sizeof(float));
  // Generated coordinates: u = 0.5 + n . A / 2, v = 0.5 + n . B / 2, with the vectors turned
  // into Direct3D's axes.
  m_texMatrix = D3DMATRIX{};
  const float a[3] = {m_vectorA[0], m_vectorA[2], m_vectorA[1]};
  const float b[3] = {m_vectorB[0], m_vectorB[2], m_vectorB[1]};
  for (int i = 0; i < 3; ++i) {
    m_texMatrix.m[i][0] = 0.5f * a[i];
    m_texMatrix.m[i][1] = 0.5f * b[i];
  }
  m_texMatrix.m[3][0] = m_texMatrix.m[3][1] = m_texMatrix.m[3][2] = 0.5f;
  m_texMatrix.m[3][3] = 1.0f;
  m_stages[0].m_forceReload = m_stages[1].m_forceReload = true;
}

// ---- Lights and fog ------------------------------------------------------------------------------

bool VQD3DCanvas::EnableLight(const VQLightNode* light, uint32_t index) {
  if (index >= D3D_MAX_LIGHTS) return VQerror_Fail(VQERR_LIGHT_INDEX);
  if (!m_d3dDevice) return false;
  if (light && light->m_lightType == 0) {
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = Colour(light->m_diffuse, 1.0f);
    l.dcvSpecular = Colour(light->m_specular, 1.0f);
    l.dcvAmbient = Colour(light->m_ambient, 1.0f);
    // The direction is given in the light's own frame; its placement turns it into the
    // frame the meshes are drawn in.
    VQVector dir;
    light->m_placement.RotateVector(dir, light->m_direction);
    l.dvDirection = {dir.x, dir.z, dir.y};
    l.dvRange = 1e30f;
    if (!Dx(m_d3dDevice->SetLight(index, &l))) return false;
  }
  if (!Dx(m_d3dDevice->LightEnable(index, true))) return false;
  if (m_lightCount++ == 0) SetRenderFlag(VQRENDER_LIGHTING, true);
  return true;
}

void VQD3DCanvas::DisableLight(uint32_t index) {
  if (m_d3dDevice && index < D3D_MAX_LIGHTS) Dx(m_d3dDevice->LightEnable(index, false));
  if (m_lightCount > 0) --m_lightCount;
  if (m_lightCount == 0) SetRenderFlag(VQRENDER_LIGHTING, false);
}

bool VQD3DCanvas::FogOn(const VQFogNode* fog) {
  if (!fog) return false;
  const VQColor& c = fog->m_colour;
  SetState(D3DRENDERSTATE_FOGCOLOR, 0xFF000000u | Byte(c.r) << 16 | Byte(c.g) << 8 | Byte(c.b));
  if (fog->m_mode == 0) {
    SetState(D3DRENDERSTATE_FOGENABLE, 0);
  } else if (fog->m_mode == 1) {
    SetState(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_LINEAR);
    SetState(D3DRENDERSTATE_FOGSTART, FloatBits(fog->m_start));
    SetState(D3DRENDERSTATE_FOGEND, FloatBits(fog->m_end));
    SetState(D3DRENDERSTATE_FOGENABLE, 1);
  }
  ++m_fogCount;
  return true;
}

void VQD3DCanvas::FogOff() {
  if (m_fogCount == 0) return;
  if (--m_fogCount == 0) SetState(D3DRENDERSTATE_FOGENABLE, 0);
}

// ---- Meshes --------------------------------------------------------------------------------------

void VQD3DCanvas::DrawMesh(VQMesh* mesh, const VQMattable* table, const VQMatrix* modelView,
                           const VQVector* position, const VQMatrix* const* blend) {
  VQD3DDisplayDevice* d = Device();
  if (!mesh || !d || !m_d3dDevice) return;
  VQRenderContext& rc = g_VQrender;
  // 1. World transform (model and view together, as the scene hands them over).
  VQMatrix mv;
  VQVector camera(0, 0, 0);
  if (rc.m_camera) camera = rc.m_camera->GetPosition();
  if ((mesh->m_flags & VQD3DMESH_AT_CAMERA_OFFSET) && position) {
    mv.MakeTranslation(position->x - camera.x, position->y - camera.y, position->z - camera.z);
  } else if ((mesh->m_flags & VQD3DMESH_TURN_ABOUT_CAMERA) && modelView) {
    VQVector angles;
    modelView->GetRotationAngles(angles);
    VQMatrix toCamera, turn;
    toCamera.MakeTranslation(-camera.x, -camera.y, -camera.z);
    turn.MakeRotationZ(-angles.z);
    turn.SetTranslation(camera);
    mv = toCamera * turn * (*modelView);
  } else if (modelView) {
    mv = *modelView;
  }
  D3DMATRIX world;
  VQd3d_ConvertMatrix(&world, mv);
  SetTransform(D3DTRANSFORMSTATE_WORLD, world);
  m_worldChanged = true;
  rc.m_matrixChanged = 0;
  // 2. Depth.
  SetRenderFlag(VQRENDER_DEPTH_WRITE, true);
  SetRenderFlag(VQRENDER_DEPTH_TEST, !(mesh->m_flags & VQD3DMESH_NO_DEPTH_TEST));
  // 3. Vertex blending.
  const bool blending = (mesh->m_flags & VQMESH_VERTEX_BLEND) != 0;
  if (blending && blend) {
    static const D3DTRANSFORMSTATETYPE kStates[3] = {D3DTRANSFORMSTATE_WORLD1, D3DTRANSFORMSTATE_WORLD2,
                                                     D3DTRANSFORMSTATE_WORLD3};
    for (uint32_t i = 0; i < 3 && blend[i]; ++i) {
      D3DMATRIX m;
      VQd3d_ConvertMatrix(&m, *blend[i]);
      SetTransform(kStates[i], m);
    }
  }
  const uint32_t n = mesh->m_vertexCount;
  const bool lit = rc.m_viewport && rc.m_viewport->m_lighting && m_flags[VQRENDER_LIGHTING];
  uint32_t material = 0xFFFFFFFFu;
  // 4. Triangles.
  if (mesh->m_triangleCount > 0 && mesh->m_positions && mesh->m_indices && mesh->m_records && n > 0) {
    const bool colours = mesh->m_colours && !m_plainWireframe;
    SetState(D3DRENDERSTATE_COLORVERTEX, colours ? 1 : 0);
    if (colours) SetState(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    VQD3DMeshBuffer* record = d->m_useSharedBuffer ? d->BufferOf(mesh) : nullptr;
    const uint32_t triangles = mesh->m_triangleCount;
    if (record) {
      const uint32_t weights = d3d_fvf_weights(record->m_fvf);
      if (weights) SetState(D3DRENDERSTATE_VERTEXBLEND, weights);
      const uint32_t perPass = std::max<uint32_t>(1, d->m_maxSimultaneousTextures);
      uint32_t start = 0;
      for (uint32_t run = 0; run < record->m_runCount; ++run) {
        const uint32_t length = record->m_runLengths[run];
        const VQMaterial* mat = MaterialAt(table, mesh->MaterialOf(start));
        const uint32_t stages = mat ? mat->m_stageCount : 0;
        const uint32_t passes = stages == 0 ? 1 : (stages + perPass - 1) / perPass;
        for (uint32_t pass = 0; pass < passes; ++pass) {
          if (!(passes == 1 && mat == m_material && m_materialKnown && material == mesh->MaterialOf(start)))
            ApplyMaterial(mat, pass, perPass);
          if (pass == 1) {
            if (lit) SetRenderFlag(VQRENDER_LIGHTING, false);
            SetRenderFlag(VQRENDER_DEPTH_WRITE, false);
            SetState(D3DRENDERSTATE_ZFUNC, D3DCMP_EQUAL);
          }
          Dx(m_d3dDevice->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, record->m_buffer, 0, n,
                                                 mesh->m_indices + 3 * size_t(start), 3 * length, 0));
        }
        if (passes > 1) {
          if (lit) SetRenderFlag(VQRENDER_LIGHTING, true);
          SetRenderFlag(VQRENDER_DEPTH_WRITE, true);
          SetState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESS);
        }
        material = mesh->MaterialOf(start);
        start += length;
      }
      if (weights) SetState(D3DRENDERSTATE_VERTEXBLEND, D3DVBLEND_DISABLE);
    } else {
      // Strided arrays straight from the mesh, one draw per run of one material.
      static const VQVector kNoNormal(0, 0, 1);
      D3DDRAWPRIMITIVESTRIDEDDATA data{};
      uint32_t fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
      data.position = {mesh->m_positions, 12};
      data.normal = mesh->m_normals ? D3DDP_PTRSTRIDE{mesh->m_normals, 12} : D3DDP_PTRSTRIDE{&kNoNormal, 0};
      if (colours) {
        fvf |= D3DFVF_DIFFUSE;
        data.diffuse = {mesh->m_colours, 4};
      }
      if (mesh->m_uv0) {
        fvf |= mesh->m_uv1 ? D3DFVF_TEX2 : D3DFVF_TEX1;
        data.textureCoords[0] = {mesh->m_uv0, 8};
        if (mesh->m_uv1) data.textureCoords[1] = {mesh->m_uv1, 8};
      }
      uint32_t start = 0;
      while (start < triangles) {
        const uint32_t m = mesh->MaterialOf(start);
        uint32_t end = start + 1;
        while (end < triangles && mesh->MaterialOf(end) == m) ++end;
        ApplyMaterial(MaterialAt(table, m), 0, 1);
        Dx(m_d3dDevice->DrawIndexedPrimitiveStrided(D3DPT_TRIANGLELIST, fvf, &data, n,
                                                    mesh->m_indices + 3 * size_t(start), 3 * (end - start), 0));
        material = m;
        start = end;
      }
    }
    rc.m_stats[VQSTAT_DEVICE_A] += triangles;
    rc.m_stats[VQSTAT_DEVICE_B] += 3 * triangles;
  }
  // 5. Curves: a line strip of five points per segment, the last segment closing on the
  // first point; drawn unlit, as lines have no normals worth lighting.
  if (!blending && mesh->m_extraCount > 0 && mesh->m_extra && mesh->m_positions) {
    const bool unlit = m_flags[VQRENDER_LIGHTING];
    if (unlit) SetRenderFlag(VQRENDER_LIGHTING, false);
    for (uint32_t c = 0; c < mesh->m_extraCount; ++c) {
      const uint8_t* r = mesh->m_extra + 8 * c;
      const uint32_t m = uint32_t(r[0] | r[1] << 8);
      const uint32_t points = uint32_t(r[2] | r[3] << 8);
      const uint32_t first = uint32_t(r[4]) | uint32_t(r[5]) << 8 | uint32_t(r[6]) << 16 | uint32_t(r[7]) << 24;
      if (points < 2 || uint64_t(first) + 3ull * points > n) continue;
      if (m != material) {
        ApplyMaterial(MaterialAt(table, m), 0, 1);
        material = m;
      }
      const VQVector* p = mesh->m_positions + first;
      for (uint32_t k = 0; k < points; ++k) {
        const uint32_t next = (k + 1) % points;
        float strip[5][6];
        for (int piece = 0; piece <= 4; ++piece) {
          VQVector b;
          VQmath_BezierPoint(b, 0.25f * piece, p[3 * k], p[3 * k + 2], p[3 * next + 1], p[3 * next]);
          const float v[6] = {b.x, b.y, b.z, 0, 0, 1};
          std::memcpy(strip[piece], v, sizeof v);
        }
        Dx(m_d3dDevice->DrawPrimitive(D3DPT_LINESTRIP, D3DFVF_XYZ | D3DFVF_NORMAL, strip, 5, 0));
      }
    }
    if (unlit) SetRenderFlag(VQRENDER_LIGHTING, true);
  }
}

void VQD3DCanvas::DrawQuad(const float* positions, const uint32_t* colours, const float* uvs, const float* normal,
                           bool triangle) {
  if (!positions || !m_d3dDevice) return;
  D3DDRAWPRIMITIVESTRIDEDDATA data{};
  uint32_t fvf = D3DFVF_XYZ;
  data.position = {positions, 12};
  const bool withColours = colours && !m_plainWireframe;
  if (withColours) {
    fvf |= D3DFVF_DIFFUSE;
    data.diffuse = {colours, 4};
    SetState(D3DRENDERSTATE_COLORVERTEX, 1);
    SetState(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
  }
  if (uvs) {
    fvf |= D3DFVF_TEX1;
    data.textureCoords[0] = {uvs, 8};
  }
  if (normal) {
    fvf |= D3DFVF_NORMAL;
    data.normal = {normal, 0};
  }
  const uint32_t count = triangle ? 3 : 4;
  Dx(m_d3dDevice->DrawPrimitiveStrided(triangle ? D3DPT_TRIANGLELIST : D3DPT_TRIANGLEFAN, fvf, &data, count, 0));
  g_VQrender.m_stats[VQSTAT_DEVICE_A] += 1;
  g_VQrender.m_stats[VQSTAT_DEVICE_B] += count;
}

// ---- 2D ------------------------------------------------------------------------------------------

void VQD3DCanvas::Begin2D() {
  if (m_2DActive) return;
  m_2DActive = true;
  m_in2D = 1;
  if (!m_d3dDevice) return;
  D3DVIEWPORT7 whole{0, 0, m_width, m_height, 0.0f, 1.0f};
  Dx(m_d3dDevice->SetViewport(&whole));
  const D3DMATRIX identity = Identity();
  SetTransform(D3DTRANSFORMSTATE_WORLD, identity);
  SetTransform(D3DTRANSFORMSTATE_VIEW, identity);
  SetTransform(D3DTRANSFORMSTATE_PROJECTION,
               VQd3d_Orthographic(0.0f, float(m_width), 0.0f, float(m_height), 0.0f, 2.0f));
  SetRenderFlag(VQRENDER_DEPTH_TEST, false);
  SetRenderFlag(VQRENDER_LIGHTING, false);
  if (!m_plainWireframe) {
    ApplyMaterialColours(nullptr, nullptr);
    ApplyStage(0, nullptr);
  }
}

void VQD3DCanvas::DrawSprites(VQD3DTexture* texture, uint32_t count, const float* rects, const float* uvs) {
  VQD3DDisplayDevice* d = Device();
  if (!m_valid || !d || !texture || !m_d3dDevice || count == 0) return;
  if (!m_plainWireframe) {
    BindTexture(texture);
    const bool alpha = VQPixelFormat_HasAlpha(texture->m_format);
    // Alpha comes from the texture when it has one.
    SetStageState(0, D3DTSS_ALPHAOP, alpha ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
    SetStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    SetRenderFlag(VQRENDER_BLENDING, alpha);
    if (alpha) SetBlend(VQBLEND_SRC_ALPHA, VQBLEND_INV_SRC_ALPHA);
  }
  SetState(D3DRENDERSTATE_COLORVERTEX, 1);
  static const uint16_t* kIndices = [] {
    static uint16_t indices[6 * VQD3D_SPRITES_PER_LOCK];
    for (uint16_t q = 0; q < VQD3D_SPRITES_PER_LOCK; ++q) {
      const uint16_t b = uint16_t(4 * q);
      const uint16_t tri[6] = {b, uint16_t(b + 1), uint16_t(b + 2), b, uint16_t(b + 2), uint16_t(b + 3)};
      std::memcpy(indices + 6 * q, tri, sizeof tri);
    }
    return indices;
  }();
  constexpr uint32_t kStride = 44;
  for (uint32_t done = 0; done < count;) {
    const uint32_t batch = std::min(count - done, VQD3D_SPRITES_PER_LOCK);
    uint32_t firstVertex = 0;
    uint8_t* out = d->LockSharedQuads(batch, &firstVertex);
    std::vector<uint8_t> local;
    if (!out) {
      local.resize(size_t(batch) * 4 * kStride);
      out = local.data();
    }
    for (uint32_t q = 0; q < batch; ++q) {
      const float* r = rects + 4 * size_t(done + q);
      const float* t = uvs + 4 * size_t(done + q);
      const float corners[4][4] = {
          {r[0], r[1], t[0], t[1]}, {r[2], r[1], t[2], t[1]}, {r[2], r[3], t[2], t[3]}, {r[0], r[3], t[0], t[3]}};
      for (int c = 0; c < 4; ++c) {
        uint8_t* v = out + (size_t(q) * 4 + size_t(c)) * kStride;
        const float pos[6] = {corners[c][0], corners[c][1], 1.0f, 0.0f, 0.0f, -1.0f};
        const uint32_t white = 0xFFFFFFFFu;
        const float tex[4] = {corners[c][2], corners[c][3], corners[c][2], corners[c][3]};
        std::memcpy(v, pos, sizeof pos);
        std::memcpy(v + 24, &white, 4);
        std::memcpy(v + 28, tex, sizeof tex);
      }
    }
    if (local.empty()) {
      d->UnlockShared();
      Dx(m_d3dDevice->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, d->m_sharedBuffer, firstVertex, 4 * batch, kIndices,
                                             6 * batch, 0));
    } else {
      Dx(m_d3dDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, VQD3D_SHARED_FVF, out, 4 * batch, kIndices, 6 * batch,
                                           0));
    }
    done += batch;
  }
}
