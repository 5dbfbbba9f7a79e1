// A flat test ground with the generated data tree's cars, built through the software display
// device (scene models, no drawing).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "QVX/race/Car.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/FlatGround.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/vehicle/TolvuCarModel.h"

inline const char* const kCarClasses[] = {"junior_std", "rookie", "street", "touring",
                                          "sport",      "rally",  "gt",     "prototype",
                                          "formula",    "monster"};

class CarWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(g_VQsystem.Init());
    m_display = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(4, 0));
    ASSERT_NE(m_display, nullptr);
    ASSERT_TRUE(m_display->Open(0));
    MakeCatalog(VQ_GAME_DIR);
  }
  void TearDown() override {
    m_ground.reset();
    m_catalog.reset();
    if (m_display) m_display->Close();
    g_VQsystem.Shutdown();
  }
  void MakeCatalog(const std::string& root) {
    m_catalog = std::make_unique<CarCatalog>(root.c_str(), m_display, nullptr);
    for (const char* c : kCarClasses) m_catalog->LoadClass(c, nullptr);
    m_ground = std::make_unique<FlatGround>();
  }
  // A car of the class on the ground at the origin facing +y, attached.
  bool MakeCar(Car& car, const char* cls, bool computer = false, bool manual = false) {
    CarSetup setup;
    setup.carName = cls;
    setup.computer = computer;
    setup.manual = manual;
    if (!car.Create(m_catalog.get(), m_ground.get(), setup)) return false;
    return car.Attach();
  }
  void Run(float seconds, float dt = 1.0f / 60.0f) {
    for (float t = 0; t < seconds; t += dt) m_ground->Step(dt);
  }

  VQDisplayDevice* m_display = nullptr;
  std::unique_ptr<CarCatalog> m_catalog;
  std::unique_ptr<FlatGround> m_ground;
};

// A temporary folder removed at the end (kept when the test failed).
class TempFolder {
 public:
  explicit TempFolder(const std::string& name) {
    m_path = std::filesystem::temp_directory_path() /
             ("qvx_cars_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
  }
  ~TempFolder() {
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(m_path);
  }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};
