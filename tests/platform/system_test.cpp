// The system object: device registry, device getters, frame-time history and averages.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/util/VQerror.h"
#include "test_doubles.h"

namespace {

constexpr float kThirtieth = 1.0f / 30.0f;

class SystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Shutdown();
    ASSERT_TRUE(g_VQsystem.Init());
  }
  void TearDown() override {
    g_VQsystem.Shutdown();
    for (int kind = 1; kind <= 14; ++kind) VQsystem_SetDeviceGetter(kind, nullptr);
  }
};

using SystemRegistry = SystemTest;
using SystemClock = SystemTest;

TEST_F(SystemRegistry, InitClearsErrorAndLists) {
  FakeDevice a(5);
  ASSERT_TRUE(a.Open(0));
  g_VQerror = 77;
  ASSERT_TRUE(g_VQsystem.Init());
  EXPECT_EQ(g_VQerror, 0);
  EXPECT_EQ(g_VQsystem.m_deviceCount, 0u);
  EXPECT_EQ(g_VQsystem.m_displayCount, 0u);
  EXPECT_EQ(g_VQsystem.m_stop, 0);
  EXPECT_EQ(a.m_closeCalls, 0);  // the devices themselves stay open
}

TEST_F(SystemRegistry, GetDeviceRejectsKindsWithoutDevices) {
  struct Case {
    int kind, index;
    int32_t error;
  };
  const Case cases[] = {
      {7, 0, VQERR_DEVICE_KIND}, {8, 0, VQERR_DEVICE_KIND}, {15, 0, VQERR_DEVICE_KIND},
      {0, 0, VQERR_DEVICE_KIND}, {-3, 0, VQERR_DEVICE_KIND}, {1, 0, VQERR_DEVICE_KIND},
      // Kinds whose drivers are not part of this build cannot be had.
      // The DirectInput keyboard serves index 0 only; there are at most 8 DirectInput joysticks.
      {12, 1, VQERR_DEVICE_UNAVAILABLE}, {14, 8, VQERR_DEVICE_UNAVAILABLE},
      // The OpenGL device serves index 0 only, the Direct3D devices adapters 0 and 1.
      {3, 1, VQERR_DEVICE_UNAVAILABLE}, {2, 2, VQERR_DEVICE_UNAVAILABLE},
  };
  for (const Case& c : cases) {
    g_VQerror = 0;
    EXPECT_EQ(g_VQsystem.GetDevice(c.kind, c.index), nullptr) << c.kind;
    EXPECT_EQ(g_VQerror, c.error) << c.kind;
  }
}

TEST_F(SystemRegistry, WindowsKeyboardAndMouseLeaveTheErrorForOtherIndices) {
  for (int kind : {9, 10}) {
    g_VQerror = 77;
    EXPECT_EQ(g_VQsystem.GetDevice(kind, 1), nullptr) << kind;
    EXPECT_EQ(g_VQerror, 77) << kind;
    // Index 0 is served.
    VQDevice* d = g_VQsystem.GetDevice(kind, 0);
    ASSERT_NE(d, nullptr) << kind;
    EXPECT_EQ(d->m_kind, uint32_t(kind));
  }
}

TEST_F(SystemRegistry, GetDeviceBeforeInitFailsWith32) {
  g_VQsystem.Shutdown();
  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(3, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

FakeDevice* g_served = nullptr;

// A getter in the shape of the drivers': serves index 0 only.
VQDevice* ServeIndexZero(int, int index) {
  if (index != 0) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(g_served);
}

TEST_F(SystemRegistry, GetDeviceProbesThroughTheKindsGetter) {
  FakeDevice dev(3);
  g_served = &dev;
  VQsystem_SetDeviceGetter(3, ServeIndexZero);

  EXPECT_EQ(g_VQsystem.GetDevice(3, 0), &dev);
  EXPECT_EQ(dev.m_initCalls, 1);
  EXPECT_EQ(g_VQsystem.GetDevice(3, 0), &dev);
  EXPECT_EQ(dev.m_initCalls, 1) << "a usable device is handed out without a second probe";
  EXPECT_EQ(g_VQsystem.m_deviceCount, 0u) << "GetDevice neither opens nor registers";

  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(3, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);

  FakeDevice broken(3);
  broken.m_initResult = false;
  g_served = &broken;
  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(3, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  g_served = nullptr;
}

TEST_F(SystemRegistry, UnassignedKindsTakeNoGetter) {
  EXPECT_EQ(VQsystem_SetDeviceGetter(7, ServeIndexZero), nullptr);
  EXPECT_EQ(VQsystem_SetDeviceGetter(15, ServeIndexZero), nullptr);
  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(7, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_KIND);
}

TEST_F(SystemRegistry, DisplayKindsAreListedTwice) {
  FakeDisplay gl(3, "gl");
  FakeDevice sound(5), keys(9);
  FakeDisplay soft(4, "soft");
  for (VQDevice* d : std::vector<VQDevice*>{&gl, &sound, &keys, &soft}) ASSERT_TRUE(g_VQsystem.AddDevice(d));
  ASSERT_EQ(g_VQsystem.m_deviceCount, 4u);
  EXPECT_EQ(g_VQsystem.m_devices[0], &gl);
  EXPECT_EQ(g_VQsystem.m_devices[1], &sound);
  EXPECT_EQ(g_VQsystem.m_devices[2], &keys);
  EXPECT_EQ(g_VQsystem.m_devices[3], &soft);
  ASSERT_EQ(g_VQsystem.m_displayCount, 2u);
  EXPECT_EQ(g_VQsystem.m_displays[0], &gl);
  EXPECT_EQ(g_VQsystem.m_displays[1], &soft);
  for (int kind = -1; kind <= 15; ++kind) EXPECT_EQ(VQdevice_IsDisplayKind(kind), kind >= 1 && kind <= 4) << kind;
}

TEST_F(SystemRegistry, FullTableRefusesThe33rdDevice) {
  std::vector<std::unique_ptr<FakeDevice>> devs;
  for (int i = 0; i < 32; ++i) {
    devs.push_back(std::make_unique<FakeDevice>(i % 2 ? 5 : 9));
    ASSERT_TRUE(g_VQsystem.AddDevice(devs.back().get())) << i;
  }
  FakeDisplay extra(3);
  g_VQerror = 0;
  EXPECT_FALSE(g_VQsystem.AddDevice(&extra));
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_DEVICES);
  EXPECT_EQ(g_VQsystem.m_deviceCount, 32u);
  EXPECT_EQ(g_VQsystem.m_displayCount, 0u);
  EXPECT_EQ(g_VQsystem.m_devices[31], devs[31].get());
}

TEST_F(SystemRegistry, AddDeviceBeforeInitFailsWith32) {
  g_VQsystem.Shutdown();
  FakeDevice d(5);
  g_VQerror = 0;
  EXPECT_FALSE(g_VQsystem.AddDevice(&d));
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

TEST_F(SystemRegistry, RemovingTheMiddleDeviceKeepsTheOrder) {
  FakeDisplay a(3, "a"), b(4, "b"), c(2, "c");
  for (VQDevice* d : std::vector<VQDevice*>{&a, &b, &c}) ASSERT_TRUE(g_VQsystem.AddDevice(d));
  g_VQsystem.RemoveDevice(&b);
  ASSERT_EQ(g_VQsystem.m_deviceCount, 2u);
  EXPECT_EQ(g_VQsystem.m_devices[0], &a);
  EXPECT_EQ(g_VQsystem.m_devices[1], &c);
  ASSERT_EQ(g_VQsystem.m_displayCount, 2u);
  EXPECT_EQ(g_VQsystem.m_displays[0], &a);
  EXPECT_EQ(g_VQsystem.m_displays[1], &c);

  FakeDevice stranger(5);
  g_VQerror = 0;
  g_VQsystem.RemoveDevice(&stranger);
  EXPECT_EQ(g_VQsystem.m_deviceCount, 2u);
  EXPECT_EQ(g_VQerror, 0);
}

TEST_F(SystemRegistry, DuplicateRegistrationIsRemovedOneAtATime) {
  FakeDevice d(5);
  ASSERT_TRUE(g_VQsystem.AddDevice(&d));
  ASSERT_TRUE(g_VQsystem.AddDevice(&d));
  g_VQsystem.RemoveDevice(&d);
  EXPECT_EQ(g_VQsystem.m_deviceCount, 1u);
}

TEST_F(SystemRegistry, ShutdownClosesEveryRegisteredDeviceOnce) {
  FakeDisplay a(3, "a");
  FakeDevice b(5), c(9);
  FakeDevice stays(13);
  stays.m_unregisterOnClose = false;
  for (VQDevice* d : std::vector<VQDevice*>{&a, &b, &stays, &c}) ASSERT_TRUE(d->Open(0));
  g_VQsystem.Shutdown();
  EXPECT_EQ(a.m_closeCalls, 1);
  EXPECT_EQ(b.m_closeCalls, 1);
  EXPECT_EQ(c.m_closeCalls, 1);
  EXPECT_EQ(stays.m_closeCalls, 1);
  EXPECT_EQ(g_VQsystem.m_initialised, 0);
  g_VQsystem.Shutdown();  // not initialised: nothing
  EXPECT_EQ(a.m_closeCalls, 1);
}

TEST_F(SystemRegistry, DisplaysRenderAndPresentInRegistrationOrder) {
  FakeDisplay a(3, "a"), b(4, "b");
  FakeDevice sound(5);
  ASSERT_TRUE(a.Open(0));
  ASSERT_TRUE(sound.Open(0));
  ASSERT_TRUE(b.Open(0));
  Journal().clear();
  g_VQsystem.RenderDisplays();
  g_VQsystem.PresentDisplays();
  EXPECT_EQ(Journal(), (std::vector<std::string>{"render a", "render b", "present a", "present b"}));
  g_VQsystem.Shutdown();
  Journal().clear();
  g_VQsystem.RenderDisplays();
  EXPECT_TRUE(Journal().empty());
}

TEST_F(SystemRegistry, InitRestartsTheRenderFrameCounterAndTheMaterialLibrary) {
  g_VQrender.m_frame = 42;
  VQMaterial* old = VQMaterial::Create("_7");  // the name counter moves on to 8
  ASSERT_NE(old, nullptr);
  ASSERT_TRUE(g_VQsystem.Init());
  EXPECT_EQ(g_VQrender.m_frame, 0u);
  EXPECT_EQ(VQmaterial_LibraryCount(), 0u);
  EXPECT_EQ(VQmaterial_LibraryFind("_7"), nullptr);
  VQMaterial* fresh = VQMaterial::Create(nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_STREQ(fresh->m_name, "_1");
  VQMaterial::Destroy(fresh);
  VQMaterial::Destroy(old);  // forgotten by the library, still the caller's to free
  EXPECT_EQ(VQmaterial_LibraryCount(), 0u);
}

TEST_F(SystemRegistry, ShutdownEmptiesTheMaterialLibrary) {
  for (int i = 0; i < 3; ++i) ASSERT_NE(VQMaterial::Create(nullptr), nullptr);
  VQMattable* table = VQMattable::Create(2);  // referenced materials go as well
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(VQmaterial_LibraryCount(), 5u);
  g_VQsystem.Shutdown();
  EXPECT_EQ(VQmaterial_LibraryCount(), 0u);
  EXPECT_EQ(VQmaterial_LibraryHead(), nullptr);
  // The table's slots are gone with the library: only the table itself is left to free.
  for (uint32_t i = 0; i < table->m_count; ++i) table->m_slots[i] = nullptr;
  VQMattable::Release(table);
}

TEST_F(SystemClock, FrameTimeAfterInitIsAThirtiethForAnyCount) {
  for (int n : {1, 0, -5, 11, 3, 10}) EXPECT_FLOAT_EQ(g_VQsystem.GetFrameTime(n), kThirtieth) << n;
  EXPECT_FLOAT_EQ(g_VQsystem.m_averageFrameTime, kThirtieth);
  EXPECT_FLOAT_EQ(g_VQsystem.m_timeScale, 1.0f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_averagingPeriod, 0.5f);
}

TEST_F(SystemClock, TimeScaleAppliesAndHistoryShifts) {
  for (int i = 1; i <= 10; ++i) g_VQsystem.AdvanceTime(0.001f * i);  // entry 0 = 0.010 ... entry 9 = 0.001
  g_VQsystem.m_timeScale = 0.5f;
  g_VQsystem.AdvanceTime(0.02f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_frameTime, 0.01f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_frameTimes[0], 0.01f);
  for (int i = 1; i < 10; ++i) EXPECT_FLOAT_EQ(g_VQsystem.m_frameTimes[i], 0.001f * (11 - i)) << i;
  // Means over the most recent frames.
  EXPECT_FLOAT_EQ(g_VQsystem.GetFrameTime(1), 0.01f);
  EXPECT_NEAR(g_VQsystem.GetFrameTime(2), (0.01f + 0.01f) / 2, 1e-7);
  EXPECT_NEAR(g_VQsystem.GetFrameTime(3), (0.01f + 0.01f + 0.009f) / 3, 1e-7);
  EXPECT_NEAR(g_VQsystem.GetFrameTime(-1), (0.01f + 0.055f - 0.001f) / 10, 1e-7);
}

TEST_F(SystemClock, AverageIsTakenWhenThePeriodIsFull) {
  for (int i = 1; i <= 3; ++i) {
    g_VQsystem.AdvanceTime(0.125f);
    EXPECT_FLOAT_EQ(g_VQsystem.m_averageFrameTime, kThirtieth) << i;
  }
  g_VQsystem.AdvanceTime(0.125f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_averageFrameTime, 0.125f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_timeSum, 0.0f);
  // The next period counts from zero: 0.25 + 0.25 fills it on the second frame.
  g_VQsystem.AdvanceTime(0.25f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_averageFrameTime, 0.125f);
  g_VQsystem.AdvanceTime(0.25f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_averageFrameTime, 0.25f);
}

TEST_F(SystemClock, InitStartsTheAveragingPeriodAfresh) {
  g_VQsystem.AdvanceTime(0.1f);
  g_VQsystem.AdvanceTime(0.1f);
  ASSERT_TRUE(g_VQsystem.Init());
  for (int i = 0; i < 4; ++i) g_VQsystem.AdvanceTime(0.125f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_averageFrameTime, 0.125f);
}

TEST_F(SystemClock, AdvanceTimeBeforeInitChangesNothing) {
  g_VQsystem.Shutdown();
  g_VQsystem.AdvanceTime(0.5f);
  EXPECT_FLOAT_EQ(g_VQsystem.m_frameTime, kThirtieth);
  EXPECT_FLOAT_EQ(g_VQsystem.m_frameTimes[0], kThirtieth);
  EXPECT_FLOAT_EQ(g_VQsystem.m_timeSum, 0.0f);
}

}  // namespace
