// Small stand-ins for devices and canvases, shared by the platform tests.
#pragma once

#include <string>
#include <vector>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"

// A journal the doubles write to, so tests can check the order of calls.
inline std::vector<std::string>& Journal() {
  static std::vector<std::string> j;
  return j;
}

class FakeDevice : public VQDevice {
 public:
  explicit FakeDevice(uint32_t kind, std::string name = "fake") : VQDevice(kind), m_name(std::move(name)) {}
  bool Init() override {
    ++m_initCalls;
    if (m_initResult) m_initialised = 1;
    return m_initResult;
  }
  bool Open(uint32_t) override { return g_VQsystem.AddDevice(this); }
  void Close() override {
    ++m_closeCalls;
    if (m_unregisterOnClose) g_VQsystem.RemoveDevice(this);
  }
  const char* GetName() override { return m_name.c_str(); }

  std::string m_name;
  bool m_initResult = true;
  bool m_unregisterOnClose = true;
  int m_initCalls = 0;
  int m_closeCalls = 0;
};

class FakeDisplay : public VQDisplayDevice {
 public:
  explicit FakeDisplay(uint32_t kind, std::string name = "display") : VQDisplayDevice(kind), m_name(std::move(name)) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return g_VQsystem.AddDevice(this); }
  void Close() override {
    ++m_closeCalls;
    g_VQsystem.RemoveDevice(this);
  }
  const char* GetName() override { return m_name.c_str(); }
  void RenderAll() override {
    ++m_renders;
    Journal().push_back("render " + m_name);
  }
  void PresentAll() override {
    ++m_presents;
    Journal().push_back("present " + m_name);
  }
  void DestroyCanvas(VQCanvas* canvas, int destroyWindow) override {
    ++m_destroyCalls;
    m_lastDestroyFlag = destroyWindow;
    m_lastDestroyed = canvas;
  }

  std::string m_name;
  int m_renders = 0, m_presents = 0, m_closeCalls = 0, m_destroyCalls = 0;
  int m_lastDestroyFlag = -1;
  VQCanvas* m_lastDestroyed = nullptr;
};

class FakeCanvas : public VQCanvas {
 public:
  FakeCanvas(VQDisplayDevice* device, uint32_t width, uint32_t height, uint32_t mode = 0) {
    m_device = device;
    m_width = width;
    m_height = height;
    m_mode = mode;
  }
  bool RecreateSurfaces() override {
    ++m_recreateCalls;
    return m_recreateResult;
  }
  bool m_recreateResult = true;
  int m_recreateCalls = 0;
};
