#include "Zentri/scene/VQSceneTextures.h"

#include "Zentri/resources/VQTexture.h"

VQSceneTextures::~VQSceneTextures() = default;

// The stage number is the load parameter the manager hands on to the device.
VQTexture* VQSceneTextureManager::Load(const char* name, uint32_t stage, uint32_t create,
                                       uint32_t quiet, uint32_t maxWidth, uint32_t maxHeight) {
  return m_manager ? m_manager->Load(name, stage, create != 0, quiet != 0, maxWidth, maxHeight) : nullptr;
}

bool VQSceneTextureManager::PushSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter,
                                         uint32_t minFilter) {
  return m_manager && m_manager->PushSampling(wrapU, wrapV, magFilter, minFilter);
}

void VQSceneTextureManager::PopSampling() {
  if (m_manager) m_manager->PopSampling();
}
