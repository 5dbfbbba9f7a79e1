// The Direct3D display device (kind 2, "Direct3D display device"): draws the engine's scenes
// through DirectDraw 7 and Direct3D 7 interfaces, reached through the run-time library
// "ddraw.dll". This header holds the device with its textures, pixmaps and the vertex-buffer
// records of prepared meshes; the canvas, its render-state cache and the viewport are in
// VQD3DCanvas.h.
//
// Every DirectX call stores its result in g_VQdxResult; a failed call fails the operation
// (false or null) without a message. Engine failures set g_VQerror.
#pragma once

#include <cstdint>
#include <mutex>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "host/directx/d3d.h"

class VQD3DCanvas;
class VQD3DDisplayDevice;

// Open flags: which Direct3D devices may be chosen.
enum VQD3DOpenFlags : uint32_t {
  VQD3D_ALLOW_HARDWARE = 0x1,
  VQD3D_ALLOW_SOFTWARE = 0x2,
  VQD3D_ALLOW_TNL = 0x4,
  VQD3D_ALLOW_NON_TNL = 0x8,
};

// The Direct3D device in use.
enum VQD3DDeviceType : uint32_t {
  VQD3D_TYPE_NONE = 0,
  VQD3D_TYPE_RGB = 1,
  VQD3D_TYPE_HAL = 2,
  VQD3D_TYPE_TNLHAL = 3,
  VQD3D_TYPE_REFERENCE = 4,
};

// Capability numbers of HasCapability.
enum VQD3DCapability : uint32_t {
  VQD3DCAP_HARDWARE = 0,
  VQD3DCAP_SOFTWARE = 1,
  VQD3DCAP_TNL = 2,
  VQD3DCAP_NO_TNL = 3,
  VQD3DCAP_WINDOWED = 4,
  VQD3DCAP_ALWAYS = 5,
};

// Mesh flag bits the Direct3D DrawMesh reads.
enum VQD3DMeshFlags : uint32_t {
  VQD3DMESH_TURN_ABOUT_CAMERA = 0x2,
  VQD3DMESH_AT_CAMERA_OFFSET = 0x4,
  VQD3DMESH_NO_DEPTH_TEST = 0x8,
  VQD3DMESH_SPRITE = 0x100,  // drawn through the sprite path: no vertex buffer of its own
};

constexpr uint32_t VQD3D_ADAPTERS = 2;
constexpr uint32_t VQD3D_SHARED_VERTICES = 2000;
constexpr uint32_t VQD3D_SHARED_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;  // 0x252
constexpr uint32_t VQD3D_SCENE_LOAD_PARAMETER = 11;  // vertex colours as Direct3D colours (format 11)
constexpr uint32_t VQD3D_DEFAULT_BACK_BUFFERS = 2;

// The vertex buffer of a prepared mesh and its material runs (consecutive triangles of one
// material), on the device's list of prepared meshes.
struct VQD3DMeshBuffer {
  IDirect3DVertexBuffer7* m_buffer = nullptr;  // counted reference
  uint32_t m_fvf = 0;
  uint32_t m_runCount = 0;
  uint32_t* m_runLengths = nullptr;  // triangles per run
  VQMesh* m_mesh = nullptr;
  VQD3DMeshBuffer* m_next = nullptr;
};

// A texture: a DirectDraw texture surface, with a mip chain when its minification filter
// asks for one, and a copy of its pixels in the texture format (surface size) that Lock,
// GetPixel and SetPixel work on; Upload (or the next use) sends a changed copy.
class VQD3DTexture : public VQTexture {
 public:
  VQD3DTexture();
  ~VQD3DTexture() override;
  void* Lock(uint32_t* pitch, uint32_t level) override;
  void SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter) override;
  bool Upload() override;
  float* GetPixel(float* rgba, uint32_t x, uint32_t y) override;
  void SetPixel(uint32_t x, uint32_t y, const float* rgba) override;

  // Builds the surface for the current size, format and mip need (the old one is released)
  // and sends the pixel copy; false with g_VQdxResult or g_VQerror.
  bool BuildSurface(uint32_t levels);

  // Sampling word: minification filter bits 0-3, magnification 4-7, v wrap 8-11, u wrap 12-15.
  uint32_t m_sampling = 0;
  uint32_t m_mipLevels = 1;
  uint32_t m_sourceFormat = 0;
  VQD3DDisplayDevice* m_owner = nullptr;
  IDirectDrawSurface7* m_surface = nullptr;
  IDirectDrawPalette* m_ddPalette = nullptr;
  uint8_t* m_pixels = nullptr;  // m_width x m_height in m_format (std::malloc)
  bool m_changed = false;
  static uint32_t s_live;
};

// A pixmap: a DirectDraw off-screen surface in system memory, read and written through a
// lock that stays until Unlock (Allocate returns it locked).
class VQD3DPixmap : public VQPixmap {
 public:
  VQD3DPixmap();
  ~VQD3DPixmap() override;
  void FreePixels() override;
  void* Allocate(uint32_t width, uint32_t height, uint32_t format, uint32_t* pitch) override;
  bool CopyFrom(const VQPixmap& other) override;
  void* Lock(uint32_t* pitch) override;
  VQPixmap* CloneEmpty() override;
  float* GetPixel(float* rgba, uint32_t x, uint32_t y) override;
  void Unlock();

  VQD3DDisplayDevice* m_owner = nullptr;
  IDirectDrawSurface7* m_surface = nullptr;
  bool m_locked = false;
  uint8_t* m_address = nullptr;
  uint32_t m_pitch = 0;  // pixels
  static uint32_t s_live;
};

class VQD3DDisplayDevice : public VQDisplayDevice {
 public:
  explicit VQD3DDisplayDevice(uint32_t index);
  ~VQD3DDisplayDevice() override;

  bool HasCapability(uint32_t capability) override;
  // Adapter probe: finds the adapter of this device's index among those with a Direct3D
  // device.
  bool Init() override;
  bool Open(uint32_t flags) override;
  void Close() override;
  const char* GetName() override { return "Direct3D display device"; }

  void RenderAll() override;
  void PresentAll() override;
  uint32_t BindManagedTextures() override { return 0; }
  void SetFillMode(uint32_t mode) override;
  // mode 1 full screen, 2 windowed; word = back buffers (0: 2).
  VQCanvas* CreateCanvas(uint32_t mode, uintptr_t window, uint32_t width, uint32_t height, uint32_t colourBits,
                         uint32_t backBuffers) override;
  void DestroyCanvas(VQCanvas* canvas, int destroyWindow) override;
  bool GetModeCount(uint32_t* count) override;
  bool GetModes(uint32_t* count, VQDisplayMode** modes) override;
  bool GetCurrentMode(VQDisplayMode* mode) override;
  bool SetMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh) override;
  uint32_t ColourToPixel(uint32_t colour, uint32_t format) override;
  // Direct3D colours: alpha in the top byte, then red, green, blue.
  uint32_t PackColourF(float red, float green, float blue, float alpha) override;
  uint32_t PackColourB(const uint8_t* rgba) override;
  uint32_t PackColourV(const float* rgba) override;
  bool EnableLight(const VQLightNode* light, uint32_t index) override;
  void DisableLight(const VQLightNode* light, uint32_t index) override;
  bool FogOn(const VQFogNode* fog) override;
  void FogOff(const VQFogNode* fog) override;
  // a = material table, b = model-view matrix, c = view position, d..f blend matrices.
  void DrawMesh(VQMesh* mesh, uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                uintptr_t f) override;
  VQTexture* CreateTexture(const void* pixels, uint32_t width, uint32_t height, uint32_t format, uint8_t* palette,
                           uint32_t divisor) override;
  VQTexture* CreateTextureFromFile(const char* path, uint32_t loadFactor, uint32_t word) override;
  VQPixmap* CopyPixmap(const VQPixmap*) override { return nullptr; }
  VQPixmap* CreatePixmap(uint32_t width, uint32_t height, uint32_t format) override;
  VQPixmap* CreatePixmapFromFile(const char* path) override;
  VQMesh* CreateMeshFromRecord(const void* record, uintptr_t word) override;
  VQMesh* CreateMesh(uint32_t vertexCount, uint32_t triangleCount, uintptr_t extra, uintptr_t normals,
                     uintptr_t colours, uintptr_t texCoords) override;
  void DeleteMesh(VQMesh* mesh) override;
  uint32_t GetPixmapFormatFor(uint32_t) override { return m_screenFormat; }
  uint32_t GetTextureFormatFor(uint32_t format) override;
  VQNode* ReadSceneFile(const char* path, uintptr_t loadTextures, uintptr_t word) override;
  VQGeoset* LoadGeoset(const char* path, uintptr_t word) override;
  void PrepareMesh(VQMesh* mesh, uintptr_t word) override;
  void PrepareGeoset(VQGeoset* geoset) override;
  void SetCanvasVectorA(const float* vector) override;
  void SetCanvasVectorB(const float* vector) override;
  void ApplyState() override;
  void ApplyMaterial(VQMaterial* material) override;
  void SetModelMatrix(const VQMatrix* matrix, uintptr_t which) override;
  void SetRenderFlag(uint32_t flag, bool value) override;
  bool GetRenderFlag(uint32_t flag) override;
  void SetBlend(uint32_t sourceFactor, uint32_t destinationFactor) override;
  void BindTexture(VQTexture* texture) override;
  void DrawTriangle(const float* positions, const uint32_t* colours, const float* uvs, const float* normal) override;
  void DrawQuad(const float* positions, const uint32_t* colours, const float* uvs, const float* normal) override;
  void DrawLines(uint32_t, const float*, bool) override {}
  // The operation of this device: a display mode of this size and depth exists.
  virtual bool HasDisplayMode(uint32_t width, uint32_t height, uint32_t bits);

  // The canvas drawing now (the last one made current), else the first.
  VQD3DCanvas* CurrentCanvas() const;
  // A new DirectDraw surface from a description; null with g_VQdxResult.
  IDirectDrawSurface7* NewSurface(DDSURFACEDESC2& desc);
  // The vertex-buffer record of a prepared mesh (null: none).
  VQD3DMeshBuffer* BufferOf(const VQMesh* mesh);
  // Fills a prepared mesh's vertex buffer from the mesh again.
  bool FillBuffer(VQD3DMeshBuffer* record);
  // Every prepared mesh's buffer filled again (after surfaces were restored).
  void RefillBuffers();
  // The shared dynamic vertex buffer for n quads: a pointer to write 4n vertices at and the
  // first vertex's index; null when it cannot be locked (or n is 0 or over the capacity).
  uint8_t* LockSharedQuads(uint32_t quads, uint32_t* first);
  void UnlockShared();

  uint32_t m_index;
  bool m_gammaCapable = false;
  uint32_t m_pixmapFormat = 0;
  uint32_t m_screenFormat = 0;
  uint32_t m_sceneLoadParameter = VQD3D_SCENE_LOAD_PARAMETER;
  uint32_t m_maxSimultaneousTextures = 0;
  IDirectDraw7* m_ddraw = nullptr;
  IDirect3D7* m_d3d = nullptr;
  const GUID* m_deviceGuid = nullptr;
  bool m_windowedPossible = false;
  bool m_squareOnly = false;
  bool m_useSharedBuffer = false;
  VQD3DMeshBuffer* m_prepared = nullptr;
  bool m_hasRGB = false, m_hasHAL = false, m_hasTnLHal = false, m_hasReference = false;
  uint32_t m_maxBlendStages = 0;
  uint32_t m_deviceType = VQD3D_TYPE_NONE;
  uint32_t m_zFormatCount = 0;
  DDPIXELFORMAT* m_zFormats = nullptr;
  uint32_t m_textureFormatCount = 0;
  DDPIXELFORMAT* m_textureFormats = nullptr;
  uint32_t m_minTextureWidth = 0, m_minTextureHeight = 0, m_maxTextureWidth = 0, m_maxTextureHeight = 0;
  bool m_managedTextures = false, m_zInVideoMemory = false, m_surfacesInVideoMemory = false,
       m_vertexBuffersInSystemMemory = false;
  IDirect3DVertexBuffer7* m_sharedBuffer = nullptr;
  uint32_t m_sharedCapacity = 0;
  uint32_t m_sharedFvf = VQD3D_SHARED_FVF;
  uint32_t m_sharedNext = 0;
  uint32_t m_liveVertexBuffers = 0;
  bool m_sharedDiscard = false;
  VQD3DCanvas* m_current = nullptr;

  // The adapter found by the probe: a GUID, or the primary (m_adapterIsPrimary).
  bool m_adapterFound = false;
  bool m_adapterIsPrimary = false;
  GUID m_adapterGuid{};

  // Guards the prepared-mesh list: meshes are prepared on the race loader thread while the
  // main thread draws.
  std::mutex m_meshMutex;

  static uint32_t s_live;

 private:
  bool OpenSteps(uint32_t flags);
  void ReleaseObjects();
};

// Loads "ddraw.dll" once per process and takes its two entry points; false with a report
// when it cannot. VQd3d_UnloadDirectDraw frees it.
bool VQd3d_LoadDirectDraw();
void VQd3d_UnloadDirectDraw();
bool VQd3d_DirectDrawLoaded();
// The entry points while loaded (null otherwise).
DirectDrawCreateExFn VQd3d_DirectDrawCreateEx();
DirectDrawEnumerateExAFn VQd3d_DirectDrawEnumerateExA();

// The two static devices (adapter 0 and 1).
VQD3DDisplayDevice* VQd3d_Device(uint32_t index);
// The getter of kind 2: index 0 or 1, that device when open, else when its Init succeeds;
// otherwise error 39 and null.
VQDevice* VQd3d_GetDisplayDevice(int kind, int index);

// Engine matrix (row vectors, z up, right-handed) to Direct3D's (y up, left-handed): every
// row (a, b, c, d) becomes (a, c, b, d).
void VQd3d_ConvertMatrix(D3DMATRIX* out, const VQMatrix& in);
// Direct3D blend factor of an engine blend number; others print "blendargtype %d\n" and give
// source alpha.
uint32_t VQd3d_BlendFactor(uint32_t factor);
// Direct3D comparison of an engine alpha function.
uint32_t VQd3d_AlphaFunction(uint32_t function);
// Direct3D texture operation of an engine combine mode, and argument of an engine argument.
uint32_t VQd3d_CombineMode(uint32_t mode);
uint32_t VQd3d_CombineArgument(uint32_t argument);
// The engine format a texture of the wanted format is stored in among the device's texture
// formats (0: none).
uint32_t VQd3d_TextureFormatFor(uint32_t wanted, const DDPIXELFORMAT* formats, uint32_t count);

// Converts width x height pixels between engine formats (pitches in pixels; palette sources
// through their palette). blend mixes sources with alpha over the destination.
void VQd3d_ConvertPixels(uint8_t* dst, uint32_t dstPitch, uint32_t dstFormat, const uint8_t* src, uint32_t srcPitch,
                         uint32_t srcFormat, uint32_t width, uint32_t height, const uint8_t* palette, bool blend);
