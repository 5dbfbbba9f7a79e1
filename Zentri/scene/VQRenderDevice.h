// What the scene graph asks of a display device while it renders, builds meshes or loads
// scene files: the drawing slots (fill mode, lights, fog, meshes, colour packing), the mesh
// ownership slots and the texture manager's loading with its sampling stack.
//
// The scene graph talks only to these two small interfaces. A display device (OpenGL,
// software) provides a VQRenderDevice for its canvases and a VQSceneTextures over its texture
// manager; tests record the calls through subclasses. The base versions behave like a device
// without a screen: they draw nothing and keep meshes in engine memory.
#pragma once

#include <cstdint>

class VQMesh;
class VQMattable;
class VQMatrix;
class VQVector;
class VQLightNode;
class VQFogNode;
class VQTexture;

class VQRenderDevice {
 public:
  VQRenderDevice() = default;
  virtual ~VQRenderDevice();
  VQRenderDevice(const VQRenderDevice&) = delete;
  VQRenderDevice& operator=(const VQRenderDevice&) = delete;

  // 0 points, 1 and 2 outlines, 3 filled; other values change nothing.
  virtual void SetFillMode(uint32_t mode);
  // Packed vertex colour: red in the low byte, alpha in the high byte (channel x 255, truncated).
  virtual uint32_t PackColourV(const float rgba[4]);
  // Switches the light with this index on; false (error 18) beyond the device's lights.
  virtual bool EnableLight(VQLightNode* light, uint32_t index);
  virtual void DisableLight(VQLightNode* light, uint32_t index);
  // Counted fog switch: the first FogOn switches fog on, FogOff counts down.
  virtual bool FogOn(VQFogNode* fog);
  virtual void FogOff(VQFogNode* fog);
  // Draws one mesh with the materials of the table. The model-view matrix is the render
  // context's current one; the device reloads it when the context's matrix-changed byte is set.
  virtual void DrawMesh(VQMesh* mesh, VQMattable* table, const VQMatrix* modelView,
                        const VQVector* viewPosition, uintptr_t w0, uintptr_t w1, uintptr_t w2);
  // A mesh made by VQMesh::Create and taken over by this device (null on failure).
  virtual VQMesh* CreateMesh(uint32_t vertices, uint32_t triangles, uint32_t extra, bool normals,
                             bool colours, bool texCoords);
  // A copy of a device-held mesh, held by this device (null on failure).
  virtual VQMesh* CreateMeshFromRecord(VQMesh* mesh);
  // Releases a mesh this device holds, with its memory.
  virtual void DeleteMesh(VQMesh* mesh);
  // Refreshes the device's buffers of a mesh after its arrays changed.
  virtual void PrepareMesh(VQMesh* mesh, uint32_t word);
  // Number of lights the device can switch on at once.
  virtual uint32_t LightCount() { return 8; }
};

// The texture side of scene loading: a display device's texture manager.
class VQSceneTextures {
 public:
  virtual ~VQSceneTextures();
  // The texture of a name, loaded through the manager's folder search (null when not found).
  virtual VQTexture* Load(const char* name, uint32_t stage, uint32_t create, uint32_t quiet,
                          uint32_t maxWidth, uint32_t maxHeight) = 0;
  // Saves the current sampling values and sets these (0 keeps a value); false when 32 are saved.
  virtual bool PushSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter,
                            uint32_t minFilter) = 0;
  virtual void PopSampling() = 0;
  // Number of textures the device can apply at once (at least 1).
  virtual uint32_t SimultaneousTextures() = 0;
};
