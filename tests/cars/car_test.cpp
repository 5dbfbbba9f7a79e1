// Cars built from the generated data: placement on the ground, driving through the gears,
// controls and lights, computer cars, and the failures of incomplete car data.
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "car_fixture.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"

namespace fs = std::filesystem;

namespace {

float WheelZ(const Car& car, int w) { return car.GetWheelNodeMatrix(w)->m[14]; }

TEST_F(CarWorld, EveryClassStandsOnItsWheelsWithTheBodyAbove) {
  for (const char* cls : kCarClasses) {
    for (bool computer : {false, true}) {
      SCOPED_TRACE(std::string(cls) + (computer ? " computer" : " human"));
      Car car;
      ASSERT_TRUE(MakeCar(car, cls, computer)) << car.GetError();
      Run(1.5f);
      for (int w = 0; w < 4; ++w) {
        EXPECT_NEAR(WheelZ(car, w), 0.4f, 0.12f) << "wheel " << w << " rests on the ground";
      }
      const VQMatrix* body = car.GetBodyMatrix();
      EXPECT_GT(body->m[14], -0.05f) << "the body frame sits on the ground line";
      EXPECT_LT(body->m[14], 0.3f);
      EXPECT_GT(car.GetUpAxisZ(), 0.99f) << "upright";
      EXPECT_LT(car.GetSpeed(), 0.3f) << "at rest";
      car.Detach();
    }
  }
}

TEST_F(CarWorld, AutomaticGearboxDrivesThroughEveryGearAndKeepsToTheGround) {
  for (const char* cls : {"sport", "junior_std"}) {
    SCOPED_TRACE(cls);
    Car car;
    ASSERT_TRUE(MakeCar(car, cls)) << car.GetError();
    int32_t highest = 0;
    float lowestZ = 1e9f, highestZ = -1e9f;
    for (int frame = 0; frame < 60 * 45; ++frame) {
      car.SetThrottle(1.0f);
      m_ground->Step(1.0f / 60.0f);
      highest = std::max(highest, car.GetGear());
      if (frame > 60) {
        lowestZ = std::min(lowestZ, car.GetBodyMatrix()->m[14]);
        highestZ = std::max(highestZ, car.GetBodyMatrix()->m[14]);
      }
    }
    EXPECT_EQ(highest, car.GetGearCount() + 1) << "top gear reached";
    EXPECT_GT(car.GetSpeed(), 35.0f);
    EXPECT_GT(car.GetUpAxisZ(), 0.98f);
    EXPECT_GT(lowestZ, -0.1f);
    EXPECT_LT(highestZ, 0.35f) << "the car never leaves the ground";
    // Braking to a stop goes back down to first gear or neutral.
    for (int frame = 0; frame < 60 * 15; ++frame) {
      car.SetThrottle(0.0f);
      car.SetBrake(1.0f);
      m_ground->Step(1.0f / 60.0f);
    }
    EXPECT_LT(car.GetSpeed(), 1.0f);
    EXPECT_LE(car.GetGear(), CAR_GEAR_FIRST);
  }
}

TEST_F(CarWorld, SteeringTurnsTheCar) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "street")) << car.GetError();
  for (int frame = 0; frame < 60 * 12; ++frame) {
    car.SetThrottle(frame < 60 * 6 ? 1.0f : 0.3f);
    car.SetSteering(frame < 60 * 6 ? 0.0f : 1.0f);
    m_ground->Step(1.0f / 60.0f);
  }
  const VQVector p = car.GetPosition();
  EXPECT_GT(std::fabs(p.x), 5.0f) << "full right lock leaves the straight line";
  EXPECT_GT(p.x, 0.0f) << "steering +1 turns right (+x)";
  EXPECT_GT(car.GetUpAxisZ(), 0.95f);
}

TEST_F(CarWorld, GearRequestsOutsideTheRangeAreIgnored) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "rookie", false, true)) << car.GetError();
  const int32_t top = car.GetGearCount() + 1;
  car.SelectGear(3);
  EXPECT_EQ(car.GetGear(), 3);
  car.SelectGear(top + 1);
  EXPECT_EQ(car.GetGear(), 3);
  car.SelectGear(-1);
  EXPECT_EQ(car.GetGear(), 3);
  car.ShiftGear(0);
  EXPECT_EQ(car.GetGear(), 3);
  car.SelectGear(top);
  car.ShiftGear(1);
  EXPECT_EQ(car.GetGear(), top);
  car.SelectGear(0);
  EXPECT_EQ(car.GetGear(), CAR_GEAR_REVERSE);
  EXPECT_EQ(car.GetModel()->GetGear(), CAR_GEAR_REVERSE) << "the index goes unchanged to the model";
  car.ShiftGear(-1);
  EXPECT_EQ(car.GetGear(), CAR_GEAR_REVERSE);
  car.ShiftGear(2);
  EXPECT_EQ(car.GetGear(), CAR_GEAR_FIRST);
}

TEST_F(CarWorld, BrakeLightsFromATenthAndHeadLightsToggle) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "gt")) << car.GetError();
  ASSERT_TRUE(car.HasBrakeLights());
  car.SetBrake(0.099f);
  EXPECT_FALSE(car.AreBrakeLightsOn());
  car.SetBrake(0.1f);
  EXPECT_TRUE(car.AreBrakeLightsOn());
  EXPECT_FLOAT_EQ(car.GetBrake(), 0.1f);
  car.SetBrake(0.0f);
  EXPECT_FALSE(car.AreBrakeLightsOn());
  ASSERT_TRUE(car.HasHeadLights());
  EXPECT_FALSE(car.AreHeadLightsOn());
  car.ToggleHeadLights();
  EXPECT_TRUE(car.AreHeadLightsOn());
  EXPECT_TRUE(car.FindNode("m_light_lf")->m_enabled);
  car.ToggleHeadLights();
  EXPECT_FALSE(car.FindNode("m_light_rf")->m_enabled);
}

TEST_F(CarWorld, ComputerCarUsesTheSimplerModelWithoutHornOrTyreSmoke) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "touring", true)) << car.GetError();
  EXPECT_EQ(car.GetModel()->GetModelType(), 1u);
  EXPECT_FALSE(car.GetModel()->IsFullRate());
  car.SetHorn(true);
  EXPECT_FALSE(car.IsHornOn());
  // Hard acceleration: a half-rate car reports no slip and no smoke.
  for (int frame = 0; frame < 120; ++frame) {
    car.SetThrottle(1.0f);
    m_ground->Step(1.0f / 60.0f);
  }
  for (int w = 0; w < 4; ++w) {
    EXPECT_EQ(car.GetTyreSmokeRate(w), 0.0f);
    EXPECT_EQ(car.GetWheelSlip(w), 0.0f);
  }
  Car human;
  CarSetup setup;
  setup.carName = "touring";
  setup.position = VQVector(10, 0, 0);
  ASSERT_TRUE(human.Create(m_catalog.get(), m_ground.get(), setup));
  EXPECT_EQ(human.GetModel()->GetModelType(), 2u);
}

TEST_F(CarWorld, ResetReturnsToTheStart) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "rally")) << car.GetError();
  const VQVector start = car.GetPosition();
  for (int frame = 0; frame < 180; ++frame) {
    car.SetThrottle(1.0f);
    m_ground->Step(1.0f / 60.0f);
  }
  ASSERT_GT(car.GetPosition().y, start.y + 3.0f);
  car.Reset();
  EXPECT_EQ(car.GetGear(), CAR_GEAR_NEUTRAL);
  EXPECT_LT(car.GetSpeed(), 0.01f);
  EXPECT_NEAR(car.GetReferencePosition().y, car.GetPosition().y, 1e-4f);
  EXPECT_NEAR(car.GetPosition().x, start.x, 1e-4f);
  EXPECT_NEAR(car.GetPosition().y, start.y, 1e-4f);
}

// A data tree with one class whose files the test chooses.
class BrokenCarData : public CarWorld {
 protected:
  void Prepare(bool withModelFile, const char* dropNodes[], int dropCount) {
    const fs::path game = VQ_GAME_DIR;
    fs::create_directories(m_temp.path() / "Data" / "Cars" / "street");
    fs::create_directories(m_temp.path() / "Data" / "Cars" / "default");
    fs::copy_file(game / "Data" / "Cars" / "class_street.bin",
                  m_temp.path() / "Data" / "Cars" / "class_street.bin");
    if (withModelFile)
      fs::copy_file(game / "Data" / "Cars" / "default" / "tolvu_street_high.bin",
                    m_temp.path() / "Data" / "Cars" / "default" / "tolvu_street_high.bin");
    VQNode* root = nullptr;
    const std::string source = (game / "Data" / "Cars" / "street" / "street_2.vqo").string();
    ASSERT_TRUE(VQscene_ReadDatabase(&root, source.c_str(), nullptr, 11, false));
    for (int i = 0; i < dropCount; ++i) {
      VQNode* n = root->FindByName(dropNodes[i]);
      ASSERT_NE(n, nullptr) << dropNodes[i];
      VQNode::Destroy(n);
    }
    const std::string target =
        (m_temp.path() / "Data" / "Cars" / "street" / "street_2.vqo").string();
    ASSERT_TRUE(VQscene_WriteDatabase(root, target.c_str(), 11));
    VQNode::Destroy(root);
    MakeCatalog(m_temp.path().string());
  }
  TempFolder m_temp{::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

TEST_F(BrokenCarData, CarWithoutLightsOrBrakeLightsStillDrives) {
  const char* drop[] = {"m_brakes", "m_light_lf", "m_light_rf", "x_engine", "m_shadow"};
  Prepare(true, drop, 5);
  Car car;
  ASSERT_TRUE(MakeCar(car, "street")) << car.GetError();
  EXPECT_FALSE(car.HasBrakeLights());
  EXPECT_FALSE(car.HasHeadLights());
  car.SetBrake(1.0f);
  car.ToggleHeadLights();
  car.SetHeadLights(true);
  EXPECT_FALSE(car.AreBrakeLightsOn());
  EXPECT_FALSE(car.AreHeadLightsOn());
  car.SetBrake(0.0f);
  for (int frame = 0; frame < 240; ++frame) {
    car.SetThrottle(1.0f);
    m_ground->Step(1.0f / 60.0f);
  }
  EXPECT_GT(car.GetSpeed(), 3.0f);
  EXPECT_GT(car.GetPosition().y, 3.0f);
}

TEST_F(BrokenCarData, MissingModelDataFileFailsCreationWithItsName) {
  Prepare(false, nullptr, 0);
  Car car;
  EXPECT_FALSE(MakeCar(car, "street"));
  EXPECT_FALSE(car.IsCreated());
  EXPECT_NE(car.GetError().find("TOLVU model file '"), std::string::npos) << car.GetError();
  EXPECT_NE(car.GetError().find("tolvu_street_high.bin' does not exist"), std::string::npos)
      << car.GetError();
  EXPECT_EQ(car.GetModel(), nullptr);
  car.Update(0.1f, 0.1f);  // a failed car ignores its frames
  car.SetThrottle(1.0f);
}

TEST_F(BrokenCarData, MissingBodyNodeFailsCreation) {
  const char* drop[] = {"m_body"};
  Prepare(true, drop, 1);
  Car car;
  EXPECT_FALSE(MakeCar(car, "street"));
  EXPECT_NE(car.GetError().find("'m_body'"), std::string::npos) << car.GetError();
  EXPECT_EQ(car.GetRoot(), nullptr);
}

TEST_F(CarWorld, UnknownClassFails) {
  Car car;
  CarSetup setup;
  setup.carName = "hovercraft";
  EXPECT_FALSE(car.Create(m_catalog.get(), m_ground.get(), setup));
  EXPECT_NE(car.GetError().find("hovercraft"), std::string::npos);
}

}  // namespace

namespace {

// The Program's classes become the catalog's, with their contact material's friction.
TEST(CarCatalogProgram, ClassesAndContactMaterialsFromTheProgram) {
  TempFolder dir("catalog");
  const auto old = fs::current_path();
  fs::current_path(dir.path());
  {
    Program program;
    program.m_options.headless = true;
    program.m_materials.resize(2);
    program.m_materials[0].values[2] = 95;
    program.m_materials[1].values[2] = 50;  // the last one: the default ground
    for (int i = 0; i < 2; ++i) {
      auto* cls = new RacingClass();
      std::snprintf(cls->m_name, sizeof cls->m_name, "%s", i ? "plain" : "grippy");
      Record_PutU32(cls->m_record, CLASSREC_GEARS, i ? 9 : 4);
      Record_PutU32(cls->m_record, CARREC_SPHERE_COUNT, 200);
      cls->m_material = i ? nullptr : &program.m_materials[0];
      program.m_classes[program.m_classCount++] = cls;
    }
    CarCatalog catalog(".", nullptr, nullptr);
    catalog.AddProgramClasses();
    ASSERT_EQ(catalog.GetClassCount(), 2u);
    const CarClassInfo* grippy = catalog.Find("grippy");
    const CarClassInfo* plain = catalog.Find("plain");
    ASSERT_TRUE(grippy && plain);
    EXPECT_EQ(plain->classIndex, 1u);
    EXPECT_EQ(grippy->gears, 4u);
    EXPECT_EQ(plain->gears, 6u) << "at most six gears";
    EXPECT_EQ(grippy->sphereCount, CAR_MAX_SPHERES) << "a sphere count from the file is bounded";
    ASSERT_NE(grippy->material, nullptr);
    EXPECT_FLOAT_EQ(grippy->material->friction, 0.95f);
    EXPECT_FLOAT_EQ(plain->material->friction, 0.5f) << "no material named: the last one";
    EXPECT_GT(plain->material->stiffness, 1000.0f);
    EXPECT_EQ(catalog.GetModel(const_cast<CarClassInfo*>(plain), 2), nullptr)
        << "no display device: no model";
  }
  delete g_gameLog;
  g_gameLog = nullptr;
  fs::current_path(old);
}

}  // namespace

namespace {

TEST_F(CarWorld, RainBringsSprayInsteadOfTyreSmoke) {
  m_ground->m_weather.rain = 1;
  m_ground->m_weather.wet = 1;
  m_ground->m_weather.rainLevel = 2;
  m_ground->m_weather.sprayBase = 40.0f;
  m_ground->m_weather.sprayScale = 10.0f;
  Car car;
  ASSERT_TRUE(MakeCar(car, "sport")) << car.GetError();
  Run(0.5f);
  EXPECT_EQ(car.GetSprayRate(), 0.0f) << "standing: no spray";
  for (int frame = 0; frame < 180; ++frame) {
    car.SetThrottle(1.0f);
    car.SetSteering(frame > 120 ? 1.0f : 0.0f);
    m_ground->Step(1.0f / 60.0f);
  }
  // The flat ground is dry in its wetness map (1): spray factor 0, the base rate only.
  EXPECT_FLOAT_EQ(car.GetSprayRate(), 40.0f);
  EXPECT_FLOAT_EQ(car.GetModel()->m_wetness, 1.0f);
  for (int w = 0; w < 4; ++w)
    EXPECT_EQ(car.GetTyreSmokeRate(w), 0.0f) << "no tyre smoke in the rain";
  m_catalog->m_effectLevel = 1;
  m_ground->Step(1.0f / 60.0f);
  EXPECT_FLOAT_EQ(car.GetSprayRate(), 20.0f) << "half the effects";
}

TEST_F(CarWorld, FrozenHeldAndTranslucentCars) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "rookie")) << car.GetError();
  Run(0.5f);
  car.SetFrozen(true);
  for (int frame = 0; frame < 12; ++frame) m_ground->Step(1.0f / 60.0f);
  EXPECT_EQ(car.GetModel()->m_enabled, 0) << "frozen for more than 10 frames: the model stops";
  car.SetFrozen(false);
  m_ground->Step(1.0f / 60.0f);
  EXPECT_EQ(car.GetModel()->m_enabled, 1);

  car.HoldPosition(true);
  const float x = car.GetBodyMatrix()->m[12], y = car.GetBodyMatrix()->m[13];
  for (int frame = 0; frame < 120; ++frame) {
    car.SetThrottle(1.0f);
    m_ground->Step(1.0f / 60.0f);
  }
  EXPECT_FLOAT_EQ(car.GetBodyMatrix()->m[12], x);
  EXPECT_FLOAT_EQ(car.GetBodyMatrix()->m[13], y);
  car.HoldPosition(false);

  car.SetBodyAlpha(0.4f);
  auto* body = static_cast<VQGeosetNode*>(car.FindNode("m_body"));
  ASSERT_NE(body->m_table, nullptr);
  EXPECT_EQ(body->m_table->m_hasTransparent, 1);
  EXPECT_EQ(body->m_table->m_slots[0]->m_srcBlend, 2u);
  EXPECT_FLOAT_EQ(body->m_table->m_slots[0]->m_diffuse.a, 0.4f);
  car.SetBodyAlpha(1.0f);
  EXPECT_EQ(body->m_table->m_hasTransparent, 0);
  EXPECT_EQ(body->m_table->m_slots[0]->m_dstBlend, 0u);
}

}  // namespace
