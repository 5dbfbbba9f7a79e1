// The texture side of scene loading. The scene reader asks for stage textures by name
// through this small interface, with the stage's sampling values pushed around the load;
// VQSceneTextureManager serves it from a display device's texture manager, and tests record
// the calls through their own subclass.
#pragma once

#include <cstdint>

class VQTexture;
class VQTextureManager;

class VQSceneTextures {
 public:
  virtual ~VQSceneTextures();
  // The texture of a name, loaded through the manager's folder search (null when not found).
  virtual VQTexture* Load(const char* name, uint32_t stage, uint32_t create, uint32_t quiet,
                          uint32_t maxWidth, uint32_t maxHeight) = 0;
  // Saves the current sampling values and sets these (0 keeps a value); false when full.
  virtual bool PushSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter,
                            uint32_t minFilter) = 0;
  virtual void PopSampling() = 0;
  // Number of textures the device applies at once (at least 1); stage numbers are taken
  // modulo this count.
  virtual uint32_t SimultaneousTextures() = 0;
};

// A display device's texture manager as the scene reader's texture source. The device's
// number of simultaneous textures is given by the caller (2, the material's stage count,
// when the device does not say).
class VQSceneTextureManager : public VQSceneTextures {
 public:
  explicit VQSceneTextureManager(VQTextureManager* manager, uint32_t units = 2)
      : m_manager(manager), m_units(units ? units : 1) {}
  VQTexture* Load(const char* name, uint32_t stage, uint32_t create, uint32_t quiet,
                  uint32_t maxWidth, uint32_t maxHeight) override;
  bool PushSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter) override;
  void PopSampling() override;
  uint32_t SimultaneousTextures() override { return m_units; }

  VQTextureManager* m_manager;
  uint32_t m_units;
};
