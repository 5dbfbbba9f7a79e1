// The display device: a device of a display kind (2 Direct3D, 3 OpenGL, 4
// software) through which scene rendering, the texture and pixmap managers, mesh code, the
// overlay and the game draw. It owns its canvases (render windows), one texture manager and
// one pixmap manager (made by Open, destroyed by Close), and the current material, lighting
// and texture-sampling choices.
//
// The virtual operations below follow the seven of VQDevice in a fixed order. Operations
// with a body here are the base behaviour that drivers keep unless they draw differently;
// every driver supplies RenderAll, PresentAll and DestroyCanvas. The software device
// (VQSoftwareDisplayDevice) fills them for images in memory and serves as the test double
// of everything that draws.
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/resources/VQTexture.h"

class VQCanvas;
class VQTexture;
class VQPixmap;
class VQTextureManager;
class VQPixmapManager;
class VQMaterial;
class VQMesh;
class VQGeoset;
class VQMattable;
class VQNode;
class VQMatrix;
class VQLightNode;
class VQFogNode;
class VQLighting;

constexpr uint32_t VQDISPLAY_MAX_CANVASES = 64;

// Texture sampling values (VQTextureFilter, VQTextureWrap): Zentri/resources/VQTexture.h.

// Fill modes: points, wireframe lines (two values), solid; other values change nothing.
enum VQFillMode : uint32_t { VQFILL_POINTS = 0, VQFILL_LINES = 1, VQFILL_WIREFRAME = 2, VQFILL_SOLID = 3 };

// Blend factors; drivers print "blendargtype %d\n" for others and use source alpha.
enum VQBlendFactor : uint32_t {
  VQBLEND_ZERO = 0,
  VQBLEND_ONE = 1,
  VQBLEND_SRC_ALPHA = 2,
  VQBLEND_INV_SRC_ALPHA = 3,
  VQBLEND_SRC_COLOUR = 4,
  VQBLEND_INV_SRC_COLOUR = 5,
};

// Comparison of the alpha test (a material's alpha function); 0 switches the test off and
// any other value never passes.
enum VQCompareFunction : uint32_t {
  VQCMP_OFF = 0,
  VQCMP_ALWAYS = 1,
  VQCMP_NEVER = 2,
  VQCMP_LESS = 3,
  VQCMP_LESS_EQUAL = 4,
  VQCMP_EQUAL = 5,
  VQCMP_GREATER_EQUAL = 6,
  VQCMP_GREATER = 7,
  VQCMP_NOT_EQUAL = 8,
};

// A material stage's operation: how the stage's texture combines with what is below it.
// VQSTAGEOP_NONE and VQSTAGEOP_DISABLE leave the stage without effect; a Direct3D-shaped driver
// maps 1 to 9 onto its texture operations in this order.
enum VQStageOperation : uint32_t {
  VQSTAGEOP_NONE = 0,
  VQSTAGEOP_DISABLE = 1,
  VQSTAGEOP_SELECT_ARG1 = 2,
  VQSTAGEOP_SELECT_ARG2 = 3,
  VQSTAGEOP_MODULATE = 4,
  VQSTAGEOP_ADD = 5,
  VQSTAGEOP_SUBTRACT = 6,
  VQSTAGEOP_BLEND_CURRENT_ALPHA = 7,
  VQSTAGEOP_BLEND_FACTOR_ALPHA = 8,
  VQSTAGEOP_BLEND_TEXTURE_ALPHA = 9,
};

// Canvas modes of CreateCanvas: windowed, or (any other value) full screen; the first
// full-screen mode keeps a small scratch block.
enum VQCanvasMode : uint32_t {
  VQCANVAS_FULLSCREEN_SCRATCH = 1,
  VQCANVAS_WINDOWED = 2,
};

// Buffering modes a driver reports (GetBufferingMode).
enum VQBufferingMode : uint32_t {
  VQBUFFERING_TRIPLE = 1,
  VQBUFFERING_DOUBLE = 2,
  VQBUFFERING_DOUBLE_ALT = 3,
  VQBUFFERING_SINGLE = 4,
};

// Render flags kept by the driver and sent to the hardware only on change.
enum VQRenderFlag : uint32_t {
  VQRENDER_BLENDING = 0,
  VQRENDER_DEPTH_TEST = 1,
  VQRENDER_DEPTH_WRITE = 2,
  VQRENDER_LIGHTING = 3,
};

// The render-state word: every pipeline switch and function a mesh, material or primitive
// needs, in one 32-bit value. A driver keeps the word it last applied and, given a new one,
// sends only the fields that differ, in one place; nothing sets these states around it.
// The fields map one to one onto Direct3D render states:
//   bit 0      VQRS_BLEND          alpha blending on        (ALPHABLENDENABLE)
//   bit 1      VQRS_DEPTH_TEST     depth test on            (ZENABLE)
//   bit 2      VQRS_DEPTH_WRITE    depth writes on          (ZWRITEENABLE)
//   bit 3      VQRS_LIGHTING       lighting on              (LIGHTING)
//   bit 4      VQRS_TEXTURE        stage 0 texturing on     (texture stage 0 colour op not disabled)
//   bit 5      VQRS_VERTEX_COLOUR  vertex colours give ambient and diffuse
//                                                           (COLORVERTEX, material sources = colour 1)
//   bits 8-11  source blend factor, a VQBlendFactor         (SRCBLEND)
//   bits 12-15 destination blend factor, a VQBlendFactor    (DESTBLEND)
//   bits 16-19 depth comparison, a VQCompareFunction        (ZFUNC)
//   bits 20-23 alpha test comparison, a VQCompareFunction; VQCMP_OFF switches the test off
//                                                           (ALPHATESTENABLE, ALPHAFUNC)
// The alpha reference is a float and travels beside the word (ALPHAREF).
enum VQRenderStateBit : uint32_t {
  VQRS_BLEND = 1u << 0,
  VQRS_DEPTH_TEST = 1u << 1,
  VQRS_DEPTH_WRITE = 1u << 2,
  VQRS_LIGHTING = 1u << 3,
  VQRS_TEXTURE = 1u << 4,
  VQRS_VERTEX_COLOUR = 1u << 5,
};
constexpr uint32_t VQRS_SRC_BLEND_SHIFT = 8;
constexpr uint32_t VQRS_DST_BLEND_SHIFT = 12;
constexpr uint32_t VQRS_DEPTH_FUNC_SHIFT = 16;
constexpr uint32_t VQRS_ALPHA_FUNC_SHIFT = 20;
constexpr uint32_t VQRS_FIELD_MASK = 0xFu;
constexpr uint32_t VQRS_SRC_BLEND = VQRS_FIELD_MASK << VQRS_SRC_BLEND_SHIFT;
constexpr uint32_t VQRS_DST_BLEND = VQRS_FIELD_MASK << VQRS_DST_BLEND_SHIFT;
constexpr uint32_t VQRS_DEPTH_FUNC = VQRS_FIELD_MASK << VQRS_DEPTH_FUNC_SHIFT;
constexpr uint32_t VQRS_ALPHA_FUNC = VQRS_FIELD_MASK << VQRS_ALPHA_FUNC_SHIFT;
constexpr uint32_t VQRS_ALL = 0x3Fu | VQRS_SRC_BLEND | VQRS_DST_BLEND | VQRS_DEPTH_FUNC | VQRS_ALPHA_FUNC;

// A field of the word and the word with a field replaced. Values that do not fit the field
// keep its largest value (a blend factor no driver knows; an alpha comparison that never
// passes is given as VQCMP_NEVER by VQrenderState_AlphaFunction).
constexpr uint32_t VQrenderState_Field(uint32_t word, uint32_t shift) { return (word >> shift) & VQRS_FIELD_MASK; }
constexpr uint32_t VQrenderState_With(uint32_t word, uint32_t shift, uint32_t value) {
  return (word & ~(VQRS_FIELD_MASK << shift)) | ((value > VQRS_FIELD_MASK ? VQRS_FIELD_MASK : value) << shift);
}
constexpr uint32_t VQrenderState_Flag(uint32_t word, uint32_t bit, bool on) { return on ? word | bit : word & ~bit; }
// An alpha comparison as the word keeps it: values beyond VQCMP_NOT_EQUAL never pass.
constexpr uint32_t VQrenderState_AlphaFunction(uint32_t function) {
  return function > VQCMP_NOT_EQUAL ? uint32_t(VQCMP_NEVER) : function;
}
// The word every canvas starts with: blending off with the pair (source alpha, inverse source
// alpha), depth test and writes on with "less", no lighting, no texturing, no vertex colours,
// alpha test off.
constexpr uint32_t VQRS_DEFAULT = VQRS_DEPTH_TEST | VQRS_DEPTH_WRITE | (uint32_t(VQBLEND_SRC_ALPHA) << VQRS_SRC_BLEND_SHIFT) |
                                  (uint32_t(VQBLEND_INV_SRC_ALPHA) << VQRS_DST_BLEND_SHIFT) |
                                  (uint32_t(VQCMP_LESS) << VQRS_DEPTH_FUNC_SHIFT);

// A display mode: width, height, bits per pixel, an unused word, refresh rate in Hz.
struct VQDisplayMode {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bits = 0;
  uint32_t unused = 0;
  uint32_t refresh = 0;
};

// A colour word: red in the low byte, then green, blue and alpha; each channel is its float
// value times 255, truncated (values are clamped to 0..1 first).
uint32_t VQcolour_Pack(float red, float green, float blue, float alpha);

class VQDisplayDevice : public VQDevice {
 public:
  explicit VQDisplayDevice(uint32_t kind);
  ~VQDisplayDevice() override;

  // Renders one frame of every created and shown canvas.
  virtual void RenderAll() = 0;
  // Presents every created and shown canvas, then lets the driver flush.
  virtual void PresentAll() = 0;
  // A driver pass over the managed textures (software: 0).
  virtual uint32_t BindManagedTextures();
  virtual void SetFillMode(uint32_t mode);
  // Makes a render window; error 14 when 64 canvases exist. Base: null.
  virtual VQCanvas* CreateCanvas(uint32_t mode, uintptr_t window, uint32_t width, uint32_t height,
                                 uint32_t colourBits, uint32_t word);
  // Removes and deletes a canvas; with destroyWindow clear its window is left alone (the
  // window procedure passes 0 because the window is already being destroyed).
  virtual void DestroyCanvas(VQCanvas* canvas, int destroyWindow) = 0;
  virtual bool GetModeCount(uint32_t* count);
  // *modes is allocated with new[] and freed by the caller; a driver that finds no modes
  // answers true, 0, null. Base (the software device): false, 0, null.
  virtual bool GetModes(uint32_t* count, VQDisplayMode** modes);
  virtual bool GetCurrentMode(VQDisplayMode* mode);
  virtual bool SetMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh);
  virtual uint32_t ColourToPixel(uint32_t colour, uint32_t word);
  virtual uint32_t PackColourF(float red, float green, float blue, float alpha);
  virtual uint32_t PackColourB(const uint8_t* rgba);
  virtual uint32_t PackColourV(const float* rgba);
  virtual bool EnableLight(const VQLightNode* light, uint32_t index);
  virtual void DisableLight(const VQLightNode* light, uint32_t index);
  virtual bool FogOn(const VQFogNode* fog);
  virtual void FogOff(const VQFogNode* fog);
  virtual void DrawMesh(VQMesh* mesh, uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d,
                        uintptr_t e, uintptr_t f);
  virtual void* ReservedQuery(uintptr_t word);
  // Null pixels or a zero size: error 28, null.
  virtual VQTexture* CreateTexture(const void* pixels, uint32_t width, uint32_t height,
                                   uint32_t format, uint8_t* palette, uint32_t word);
  virtual VQTexture* CreateTextureFromFile(const char* path, uint32_t loadFactor, uint32_t word);
  // Deletes the texture and gives the remaining live texture count.
  virtual uint32_t DeleteTexture(VQTexture* texture);
  // Null: error 28. Base: null.
  virtual VQPixmap* CopyPixmap(const VQPixmap* pixmap);
  virtual VQPixmap* CreatePixmap(uint32_t width, uint32_t height, uint32_t format);
  virtual VQPixmap* CreatePixmapFromFile(const char* path);
  // Deletes the pixmap and gives the remaining live pixmap count.
  virtual uint32_t DeletePixmap(VQPixmap* pixmap);
  // Meshes held by the device: made here (or taken over by a scene load) with the device as
  // their display device and no device buffer; the device releases them in DeleteMesh. The
  // base keeps them in engine memory. CreateMeshFromRecord copies a mesh (record is a
  // VQMesh); CreateMesh takes vertex and triangle counts, then the extra count and the
  // normals, colours and texture-coordinates flags. Null with error 16 when out of memory,
  // 28 for a null record.
  virtual VQMesh* CreateMeshFromRecord(const void* record, uintptr_t word);
  virtual VQMesh* CreateMesh(uint32_t vertexCount, uint32_t triangleCount, uintptr_t extra,
                             uintptr_t normals, uintptr_t colours, uintptr_t texCoords);
  // Forgets the mesh's device buffer and frees the mesh. Drivers with buffers free theirs and
  // then call this.
  virtual void DeleteMesh(VQMesh* mesh);
  // Formats below are VQPixelFormatId values (Zentri/resources/VQPixels.h). The format this
  // device keeps a pixmap read from a file of the given format in; VQPF_NONE means it cannot
  // store it. Base: unchanged.
  virtual uint32_t GetPixmapFormatFor(uint32_t format);
  virtual uint32_t GetTextureFormatFor(uint32_t format);
  // Scene files through the engine's readers and writers, with this device's texture manager
  // (stage numbers modulo m_simultaneousTextures) and vertex-colour format. After a scene or
  // geoset load the device holds every mesh of every geoset (see DeleteMesh). Failures leave
  // the reason in g_VQerror. ReadSceneFile: loadTextures non-zero loads the stage textures;
  // the second word is unused. WriteSceneFile: fileType 4 a database, 14 a VRML export; word
  // is passed on. The words of LoadMattable and LoadGeoset are unused.
  virtual VQNode* ReadSceneFile(const char* path, uintptr_t loadTextures, uintptr_t word);
  virtual bool WriteSceneFile(VQNode* root, const char* path, uintptr_t fileType, uintptr_t word);
  virtual VQMattable* LoadMattable(const char* path, uintptr_t a, uintptr_t b);
  virtual bool SaveMattable(VQMattable* table, const char* path);
  virtual VQGeoset* LoadGeoset(const char* path, uintptr_t word);
  virtual bool SaveGeoset(VQGeoset* geoset, const char* path);
  virtual void PrepareMesh(VQMesh* mesh, uintptr_t word);
  virtual void PrepareGeoset(VQGeoset* geoset);
  virtual void SetCanvasVectorA(const float* vector);
  virtual void SetCanvasVectorB(const float* vector);
  // Brings lighting, material and texture state of the current canvas up to date.
  virtual void ApplyState();
  virtual void ApplyMaterial(VQMaterial* material);
  virtual void SetModelMatrix(const VQMatrix* matrix, uintptr_t word);
  virtual void SetRenderFlag(uint32_t flag, bool value);
  virtual bool GetRenderFlag(uint32_t flag);
  virtual void SetBlend(uint32_t sourceFactor, uint32_t destinationFactor);
  virtual void BindTexture(VQTexture* texture);
  // positions: 3 (or 4) x 3 floats; colours, uvs (2 floats each) and normal may be null.
  virtual void DrawTriangle(const float* positions, const uint32_t* colours, const float* uvs,
                            const float* normal);
  virtual void DrawQuad(const float* positions, const uint32_t* colours, const float* uvs,
                        const float* normal);
  virtual void DrawLines(uint32_t count, const float* points, bool closed);

  // Sampling for textures created afterwards; 0 keeps a value.
  void SetTextureMinFilter(uint32_t value);
  void SetTextureMagFilter(uint32_t value);
  void SetTextureWrap(uint32_t wrapU, uint32_t wrapV);
  // Store the pointer (null: none / lighting off), then ApplyState.
  void SetLighting(VQLighting* lighting);
  void SetMaterial(VQMaterial* material);
  // Adds a canvas to the list; error 14 when 64 are held.
  bool AddCanvas(VQCanvas* canvas);
  // Removes a canvas from the list, keeping the order; false when absent.
  bool RemoveCanvas(VQCanvas* canvas);

  uint32_t m_liveTextures = 0;
  uint32_t m_livePixmaps = 0;
  uint32_t m_canvasCount = 0;
  VQCanvas* m_canvases[VQDISPLAY_MAX_CANVASES] = {};
  uint32_t m_minFilter = VQFILTER_NEAREST;
  uint32_t m_magFilter = VQFILTER_LINEAR;
  uint32_t m_wrapU = VQWRAP_REPEAT;
  uint32_t m_wrapV = VQWRAP_REPEAT;
  VQTextureManager* m_textureManager = nullptr;
  VQPixmapManager* m_pixmapManager = nullptr;
  VQMaterial* m_material = nullptr;
  VQLighting* m_lighting = nullptr;
  uint32_t m_pixmapRowOrder = 0;     // 1: bottom row first (the OpenGL device)
  uint32_t m_pixelFormat = 0;        // a VQPixelFormatId; the OpenGL device sets VQPF_BGR888
  uint32_t m_vertexColourFormat = 0; // for the scene-file reader and writer (a VQPixelFormatId);
                                     // the OpenGL device sets VQPF_RGBA8888
  uint32_t m_simultaneousTextures = 2; // texture stages applied at once (the device's capability)
  uint32_t m_registered = 0;         // set when the registry accepted the device
  uint8_t m_sceneLoadTextures = 1;   // the load-textures choice of the last ReadSceneFile;
                                     // LoadMattable follows it

 protected:
  // The shared parts of Open and Close: make (or destroy) both managers with this device.
  bool CreateManagers();
  void DestroyManagers();
  // The common Close: destroys every canvas newest first (windows too), releases every
  // managed texture and pixmap, deletes both managers, unregisters and clears the open flag.
  void CloseDisplay();
};
