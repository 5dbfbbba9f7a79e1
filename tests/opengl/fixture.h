// Shared fixture of the recording-fake tests: an OpenGL device that is not opened, with the
// entry-point table filled by the recorder, and helpers that build materials and meshes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/util/VQerror.h"
#include "tests/opengl/gl_recorder.h"

using glrec::Text;

class RecordedDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_VQgl;
    glrec::Install();
    device_.ResetState();
    device_.LightCount();  // asks the implementation once
    glrec::Clear();
    g_VQrender.m_camera = nullptr;
    g_VQrender.m_viewport = nullptr;
    g_VQerror = 0;
  }
  void TearDown() override {
    for (VQMattable* t : tables_) VQMattable::Release(t);
    for (VQMesh* m : meshes_) VQMesh::FreeMemory(m);
    g_VQgl = saved_;
  }

  // A table of n default materials (opaque white, no stages).
  VQMattable* Table(uint32_t n) {
    VQMattable* t = VQMattable::Create(n);
    t->m_refCount = 1;
    tables_.push_back(t);
    return t;
  }

  // A mesh of `triangles` triangles over 3 x triangles vertices, with the material numbers
  // given; normals, colours and uv0 as asked.
  VQMesh* Mesh(const std::vector<uint16_t>& materials, bool normals, bool colours, bool uv) {
    const uint32_t t = uint32_t(materials.size());
    VQMesh* m = VQMesh::Create(3 * t, t, 0, normals, colours, uv);
    for (uint32_t i = 0; i < 3 * t; ++i) {
      m->m_indices[i] = uint16_t(i);
      m->m_positions[i] = VQVector(float(i), 0, 0);
      if (normals) m->m_normals[i] = VQVector(0, 0, 1);
    }
    for (uint32_t i = 0; i < t; ++i) m->SetMaterialOf(i, materials[i]);
    meshes_.push_back(m);
    return m;
  }

  // A texture of the device with an OpenGL name, without touching the recorder's log.
  VQOpenGLTexture* Texture(uint32_t name) {
    auto* t = new VQOpenGLTexture();
    t->m_owner = &device_;
    t->m_device = &device_;
    t->m_glName = name;
    t->m_width = t->m_height = 16;
    t->m_format = 12;
    textures_.emplace_back(t);
    return t;
  }

  VQOpenGLDisplayDevice device_{77};
  std::vector<std::unique_ptr<VQOpenGLTexture>> textures_;

 private:
  VQopenglTable saved_{};
  std::vector<VQMattable*> tables_;
  std::vector<VQMesh*> meshes_;
};
