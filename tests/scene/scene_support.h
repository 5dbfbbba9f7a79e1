// Test doubles for the scene tests: a display device that records what the scene graph asks
// of it, a viewport that records the projection and rectangle changes, a texture source that
// records loads and sampling pushes, and a temporary folder.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/scene/VQSceneTextures.h"
#include "Zentri/scene/VQViewport.h"

// The software display device with the drawing slots recorded. Unlike the plain software
// device it takes meshes over (kept in engine memory), so particle systems and clones
// exercise the device-held paths.
class RecordingDevice : public VQSoftwareDisplayDevice {
 public:
  RecordingDevice() : VQSoftwareDisplayDevice(7) {}
  std::vector<std::string> log;
  std::vector<VQMesh*> drawn;
  std::vector<VQGeoset*> drawnGeosets;
  std::vector<VQMatrix> drawnMatrices;
  std::vector<VQMattable*> drawnTables;
  int meshesCreated = 0, meshesDeleted = 0;

  void DrawMesh(VQMesh* mesh, uintptr_t table, uintptr_t matrix, uintptr_t, uintptr_t, uintptr_t,
                uintptr_t) override {
    drawn.push_back(mesh);
    drawnGeosets.push_back(g_VQrender.m_geoset);
    drawnMatrices.push_back(*reinterpret_cast<const VQMatrix*>(matrix));
    drawnTables.push_back(reinterpret_cast<VQMattable*>(table));
    log.push_back("draw " + Name(mesh));
    g_VQrender.m_matrixChanged = 0;
  }
  bool EnableLight(const VQLightNode* light, uint32_t index) override {
    log.push_back("light+" + std::to_string(index) + " " + (light->m_name ? light->m_name : "?"));
    return true;
  }
  void DisableLight(const VQLightNode* light, uint32_t index) override {
    log.push_back("light-" + std::to_string(index) + " " + (light->m_name ? light->m_name : "?"));
  }
  bool FogOn(const VQFogNode* fog) override {
    log.push_back(std::string("fog+ ") + (fog->m_name ? fog->m_name : "?"));
    return true;
  }
  void FogOff(const VQFogNode* fog) override {
    log.push_back(std::string("fog- ") + (fog->m_name ? fog->m_name : "?"));
  }
  uint32_t PackColourV(const float* c) override { return VQcolour_Pack(c[0], c[1], c[2], c[3]); }
  VQMesh* CreateMesh(uint32_t n, uint32_t t, uintptr_t k, uintptr_t normals, uintptr_t colours,
                     uintptr_t uv) override {
    VQMesh* m = VQMesh::Create(n, t, uint32_t(k), normals != 0, colours != 0, uv != 0);
    if (m) {
      m->m_device = this;
      meshesCreated++;
    }
    return m;
  }
  VQMesh* CreateMeshFromRecord(const void* record, uintptr_t) override {
    VQMesh* m = VQMesh::Copy(static_cast<const VQMesh*>(record));
    if (m) {
      m->m_device = this;
      meshesCreated++;
    }
    return m;
  }
  void DeleteMesh(VQMesh* mesh) override {
    meshesDeleted++;
    VQMesh::FreeMemory(mesh);
  }
  // Meshes are named by the tests through this table.
  std::vector<std::pair<VQMesh*, std::string>> names;
  std::string Name(VQMesh* mesh) const {
    for (auto& n : names)
      if (n.first == mesh) return n.second;
    return "?";
  }
  std::vector<std::string> Draws() const {
    std::vector<std::string> out;
    for (auto& l : log)
      if (l.rfind("draw ", 0) == 0) out.push_back(l.substr(5));
    return out;
  }
};

class RecordingViewport : public VQViewport {
 public:
  std::vector<std::string> log;
  void SetProjection(float l, float r, float b, float t, float, float) override {
    char buf[128];
    std::snprintf(buf, sizeof buf, "projection %.4g %.4g %.4g %.4g", l, r, b, t);
    log.push_back(buf);
    lastLeft = l, lastRight = r, lastBottom = b, lastTop = t;
  }
  bool ApplyRect(int32_t x, int32_t y, int32_t w, int32_t h) override {
    log.push_back("rect " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) +
                  " " + std::to_string(h));
    return true;
  }
  bool ApplyPosition(int32_t x, int32_t y) override {
    log.push_back("position " + std::to_string(x) + " " + std::to_string(y));
    return true;
  }
  bool ApplySize(int32_t w, int32_t h) override {
    log.push_back("size " + std::to_string(w) + " " + std::to_string(h));
    return true;
  }
  float lastLeft = 0, lastRight = 0, lastBottom = 0, lastTop = 0;
};

class FakeTextures : public VQSceneTextures {
 public:
  std::vector<std::string> log;
  uint32_t units = 2;
  VQTexture* Load(const char* name, uint32_t stage, uint32_t, uint32_t, uint32_t, uint32_t) override {
    log.push_back(std::string("load ") + name + " " + std::to_string(stage));
    return reinterpret_cast<VQTexture*>(uintptr_t(0x1000 + log.size()));
  }
  bool PushSampling(uint32_t u, uint32_t v, uint32_t mag, uint32_t min) override {
    log.push_back("push " + std::to_string(u) + " " + std::to_string(v) + " " + std::to_string(mag) +
                  " " + std::to_string(min));
    return true;
  }
  void PopSampling() override { log.push_back("pop"); }
  uint32_t SimultaneousTextures() override { return units; }
};

class SceneTemp {
 public:
  SceneTemp() {
    static int counter = 0;
    root_ = std::filesystem::temp_directory_path() /
            ("vq_scene_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(root_);
  }
  ~SceneTemp() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  std::vector<uint8_t> Read(const std::string& name) const {
    std::ifstream in(root_ / name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Write(const std::string& name, const std::vector<uint8_t>& data) const {
    std::ofstream(root_ / name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                        std::streamsize(data.size()));
  }

 private:
  std::filesystem::path root_;
};
