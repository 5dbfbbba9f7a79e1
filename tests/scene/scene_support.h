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
#include "Zentri/scene/VQRenderDevice.h"
#include "Zentri/scene/VQViewport.h"

class RecordingDevice : public VQRenderDevice {
 public:
  std::vector<std::string> log;
  std::vector<VQMesh*> drawn;
  std::vector<VQGeoset*> drawnGeosets;
  std::vector<VQMatrix> drawnMatrices;

  void DrawMesh(VQMesh* mesh, VQMattable* table, const VQMatrix* m, const VQVector* pos,
                uintptr_t a, uintptr_t b, uintptr_t c) override {
    drawn.push_back(mesh);
    drawnGeosets.push_back(g_VQrender.m_geoset);
    drawnMatrices.push_back(*m);
    log.push_back("draw " + Name(mesh));
    VQRenderDevice::DrawMesh(mesh, table, m, pos, a, b, c);
  }
  bool EnableLight(VQLightNode* light, uint32_t index) override {
    log.push_back("light+" + std::to_string(index) + " " + (light->m_name ? light->m_name : "?"));
    return VQRenderDevice::EnableLight(light, index);
  }
  void DisableLight(VQLightNode* light, uint32_t index) override {
    log.push_back("light-" + std::to_string(index) + " " + (light->m_name ? light->m_name : "?"));
  }
  bool FogOn(VQFogNode* fog) override {
    log.push_back(std::string("fog+ ") + (fog->m_name ? fog->m_name : "?"));
    return true;
  }
  void FogOff(VQFogNode* fog) override {
    log.push_back(std::string("fog- ") + (fog->m_name ? fog->m_name : "?"));
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
