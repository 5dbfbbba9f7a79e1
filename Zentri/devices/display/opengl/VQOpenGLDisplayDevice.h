// The OpenGL display device (kind 3): VQOpenGLDisplayDevice with its texture and pixmap
// classes. Its canvases (VQOpenGLCanvas) and viewports (VQOpenGLViewport) are in their own
// headers.
//
// Every OpenGL state change of the driver goes through the device's state cache and is sent
// only when it differs from what the cache says the current context has. A canvas's default
// state and a viewport's Begin reset the cache and the context together. Meshes are drawn with
// client-side vertex arrays in up to three passes: the triangles, a second pass for a
// material's second texture stage, and the mesh's curves as line pieces.
//
// The OpenGL functions come from the table in VQopengl.h (filled while the device is open);
// contexts, pixel formats, buffer swaps and display modes from the host OpenGL layer.
#pragma once

#include <cstdint>
#include <vector>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "host/gl/gl.h"

class VQOpenGLDisplayDevice;
class VQVector;

// Mesh flag bits read by DrawMesh.
enum VQOpenGLMeshFlags : uint32_t {
  VQMESH_NO_DEPTH_WRITE = 0x1,
  VQMESH_TURN_ABOUT_CAMERA = 0x2,
  VQMESH_AT_CAMERA_OFFSET = 0x4,
  VQMESH_NO_DEPTH_TEST = 0x8,
};

// Material stage settings as this driver reads them (VQMaterialStage::m_settings); the colour
// combine mode is the stage operation.
enum VQOpenGLStageSetting : uint32_t {
  VQSTAGE_COORD_SOURCE = 0,
  VQSTAGE_COLOUR_ARG1 = 1,
  VQSTAGE_COLOUR_ARG2 = 2,
  VQSTAGE_ALPHA_ARG1 = 3,
  VQSTAGE_ALPHA_ARG2 = 4,
  VQSTAGE_ALPHA_OP = 5,
};
constexpr uint32_t VQSTAGE_ARG_MATERIAL = 2;  // argument source: the material's own colour

// A texture of the OpenGL device: an OpenGL texture name and a copy of the pixels in the
// stored format (GetPixmapFormatFor of the source format: VQPF_RGB888, VQPF_RGBA8888 or
// VQPF_PAL8).
class VQOpenGLTexture : public VQTexture {
 public:
  VQOpenGLTexture();
  ~VQOpenGLTexture() override;
  void* Lock(uint32_t* pitch, uint32_t level) override;
  // Values of 0 or equal to the current ones are skipped; binds the texture to set them.
  void SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter) override;
  // Binds the texture and sends level 0 (unpack alignment 1).
  bool Upload() override;
  float* GetPixel(float* rgba, uint32_t x, uint32_t y) override;
  void SetPixel(uint32_t x, uint32_t y, const float* rgba) override;
  // Sampling packed 4 bits each: wrap u, wrap v, magnification, minification (low first).
  uint32_t Sampling() const { return m_sampling; }

  VQOpenGLDisplayDevice* m_owner = nullptr;
  uint32_t m_glName = 0;
  uint32_t m_sampling = 0;
  uint8_t* m_pixels = nullptr;  // width x height in m_format, rows packed
  uint8_t m_uploaded = 0;       // level 0 has been sent
  static uint32_t s_live;
};

// A pixmap of the OpenGL device: pixels in system memory, pitch = width, bottom row first.
// An OpenGL pixmap is a memory pixmap whose rows run bottom-up, as glDrawPixels reads them.
class VQOpenGLPixmap : public VQSoftwarePixmap {
 public:
  VQOpenGLPixmap() { m_bottomUp = 1; }
  VQPixmap* CloneEmpty() override;
};

class VQOpenGLDisplayDevice : public VQDisplayDevice {
 public:
  explicit VQOpenGLDisplayDevice(uint32_t instance);
  ~VQOpenGLDisplayDevice() override;

  // Probe: with more than one device instance true at once; else loads and unloads OpenGL.
  bool Init() override;
  // Loads OpenGL, makes the hidden probe window and the device's own context (32 depth
  // bits, 24 when 32 are refused), checks the version (error 8 unreadable, 10 below 1.1),
  // creates the managers and registers. Any failure undoes every step made.
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "OpenGL display device"; }

  void RenderAll() override;
  void PresentAll() override;
  uint32_t BindManagedTextures() override;
  void SetFillMode(uint32_t mode) override;
  VQCanvas* CreateCanvas(uint32_t mode, uintptr_t window, uint32_t width, uint32_t height,
                         uint32_t colourBits, uint32_t word) override;
  void DestroyCanvas(VQCanvas* canvas, int destroyWindow) override;
  bool GetModeCount(uint32_t* count) override;
  bool GetModes(uint32_t* count, VQDisplayMode** modes) override;
  bool GetCurrentMode(VQDisplayMode* mode) override;
  bool SetMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh) override;
  uint32_t PackColourF(float red, float green, float blue, float alpha) override;
  uint32_t PackColourB(const uint8_t* rgba) override;
  uint32_t PackColourV(const float* rgba) override;
  bool EnableLight(const VQLightNode* light, uint32_t index) override;
  void DisableLight(const VQLightNode* light, uint32_t index) override;
  bool FogOn(const VQFogNode* fog) override;
  void FogOff(const VQFogNode* fog) override;
  // a = material table, b = model-view matrix, c = view position (VQVector*); the rest unused.
  void DrawMesh(VQMesh* mesh, uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                uintptr_t f) override;
  VQTexture* CreateTexture(const void* pixels, uint32_t width, uint32_t height, uint32_t format,
                           uint8_t* palette, uint32_t word) override;
  VQTexture* CreateTextureFromFile(const char* path, uint32_t loadFactor, uint32_t word) override;
  VQPixmap* CopyPixmap(const VQPixmap* pixmap) override;
  VQPixmap* CreatePixmap(uint32_t width, uint32_t height, uint32_t format) override;
  VQPixmap* CreatePixmapFromFile(const char* path) override;
  // Meshes in engine memory, held by this device (words: extra count, normals, colours,
  // texture coordinates); the driver keeps no buffers of its own for them.
  VQMesh* CreateMeshFromRecord(const void* record, uintptr_t word) override;
  VQMesh* CreateMesh(uint32_t vertexCount, uint32_t triangleCount, uintptr_t extra, uintptr_t normals,
                     uintptr_t colours, uintptr_t texCoords) override;
  void DeleteMesh(VQMesh* mesh) override;
  uint32_t GetPixmapFormatFor(uint32_t format) override;
  uint32_t GetTextureFormatFor(uint32_t format) override;
  VQNode* ReadSceneFile(const char* path, uintptr_t a, uintptr_t b) override;
  VQGeoset* LoadGeoset(const char* path, uintptr_t word) override;
  void ApplyState() override;
  void ApplyMaterial(VQMaterial* material) override;
  void SetModelMatrix(const VQMatrix* matrix, uintptr_t word) override;
  void SetRenderFlag(uint32_t flag, bool value) override;
  bool GetRenderFlag(uint32_t flag) override;
  void SetBlend(uint32_t sourceFactor, uint32_t destinationFactor) override;
  void BindTexture(VQTexture* texture) override;
  void DrawTriangle(const float* positions, const uint32_t* colours, const float* uvs,
                    const float* normal) override;
  void DrawQuad(const float* positions, const uint32_t* colours, const float* uvs,
                const float* normal) override;
  void DrawLines(uint32_t count, const float* points, bool closed) override;

  // Draws one mesh with the materials of the table (model matrix in engine form; position
  // used with the camera-relative flags).
  void DrawMeshWith(VQMesh* mesh, const VQMattable* table, const VQMatrix* matrix,
                    const VQVector* position);
  // The passes of DrawMeshWith: the model-view matrix, the client arrays and the vertex-colour
  // state, the triangles with stage 0 (true when a material has a second stage), the second
  // stage over them on equal depth, and the curves as line pieces. `unlit`: lighting goes off
  // for the second pass and the curves.
  void LoadMeshModelView(const VQMesh* mesh, const VQMatrix* matrix, const VQVector* position);
  void SetMeshArrays(const VQMesh* mesh);
  bool DrawFirstPass(const VQMesh* mesh, const VQMattable* table, uint32_t* material);
  const float* SecondStageCoordinates(const VQMesh* mesh);
  void DrawSecondPass(const VQMesh* mesh, const VQMattable* table, bool unlit, uint32_t* material);
  void DrawMeshCurves(const VQMesh* mesh, const VQMattable* table, bool unlit, uint32_t material);
  void ApplyMaterialColours(const VQMaterial* material, bool* transparent);
  void ApplyMaterialStage(const VQMaterial* material, uint32_t stage, bool* skip);
  void SetAlphaTest(uint32_t function, float reference);
  // Sends the fields of the render-state word that differ from m_state (and those in force,
  // whatever the cache says), then keeps the word. The alpha reference is sent with the alpha
  // comparison when the test is on.
  void ApplyRenderState(uint32_t word, float alphaReference, uint32_t force = 0);
  void ApplyRenderState(uint32_t word) { ApplyRenderState(word, m_alphaReference); }
  uint32_t BlendSource() const { return VQrenderState_Field(m_state, VQRS_SRC_BLEND_SHIFT); }
  uint32_t BlendDestination() const { return VQrenderState_Field(m_state, VQRS_DST_BLEND_SHIFT); }
  uint32_t AlphaFunction() const { return VQrenderState_Field(m_state, VQRS_ALPHA_FUNC_SHIFT); }
  bool Has(uint32_t bit) const { return (m_state & bit) != 0; }
  // 2D texturing on or off through the cache.
  void SetTexturing(bool on);
  // Binds an OpenGL texture name through the cache (2D texturing on).
  void BindTextureName(uint32_t name);
  // Sets the material cache to values no material has, so the next one is sent.
  void MarkMaterialStale();
  // The state every canvas starts with and every viewport's Begin resets to: the word
  // VQRS_DEFAULT sent whole (alpha test too), no texture bound, white colour, no fog, no
  // lights, the default material.
  void ResetState();
  // Number of lights the implementation has (GL_MAX_LIGHTS, at least 1; 8 until asked).
  uint32_t LightCount();

  uint32_t m_instance;
  host::window_handle m_probeWindow = 0;
  host::gl::context m_context = 0;
  uint32_t m_depthBits = 0;  // of the pixel format accepted at Open
  uint32_t m_maxLights = 0;  // 0 until read from the implementation

  // State cache. m_state is the render-state word the context has (see VQDisplayDevice.h);
  // ApplyRenderState is the only place that sends its fields.
  uint32_t m_state = VQRS_DEFAULT;
  float m_alphaReference = 0.0f;
  uint32_t m_boundTexture = 0xFFFFFFFFu;  // OpenGL name; all bits set = none
  uint32_t m_fogCount = 0;
  uint32_t m_lightCount = 0;
  uint8_t m_colourChanged = 0;
  float m_matAmbient[4] = {1, 1, 1, 1};
  float m_matDiffuse[4] = {1, 1, 1, 1};
  float m_matSpecular[4] = {0, 0, 0, 1};
  float m_matEmission[4] = {0, 0, 0, 1};
  float m_matOpacity = 1.0f;
  float m_matShininess = 0.0f;

  std::vector<float> m_generatedUV;  // second-pass coordinates, one pair per vertex
  float m_loadedModelView[16] = {};  // the model-view array last loaded by DrawMesh

  static uint32_t s_live;  // devices constructed and not destroyed

 private:
  bool OpenSteps();
  void ReleaseContext();
};

// Engine matrix (row vectors, z up) to the OpenGL array: every row (a, b, c, d) becomes
// (a, c, -b, d).
void VQopengl_ConvertMatrix(float* out, const VQMatrix& in);
// OpenGL factor of an engine blend factor; others print "blendargtype %d\n" and give
// source alpha.
uint32_t VQopengl_BlendFactor(uint32_t factor);

// The pixels of a picture with both sides divided by a load factor (a power of two; each side
// at least 1; palette pictures keep every factor-th pixel, others are averaged), in a new
// buffer (std::free) with the new size in the out words. Null when the size stays (a factor
// of 0, 1 or not a power of two, or an unknown format) or memory runs out: the out words
// tell which.
uint8_t* VQopengl_ShrinkPixels(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t format,
                               uint32_t loadFactor, uint32_t* newWidth, uint32_t* newHeight);
// The sampling value of an OpenGL texture as scene files keep it: minification filter in bits
// 0-3, magnification filter 4-7, wrap v 8-11, wrap u 12-15. 0 for a null texture or one of
// another device (not known here). The device installs it as the scene writer's sampling
// source.
uint32_t VQopengl_TextureSampling(VQTexture* texture);

// The one OpenGL device.
VQOpenGLDisplayDevice* VQopengl_Device();
// The getter of kind 3: index 0 only (else error 39, null); a device that is not open is
// handed out only when its Init succeeds (else error 39).
VQDevice* VQopengl_GetDisplayDevice(int kind, int index);
