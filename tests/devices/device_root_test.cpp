#include <gtest/gtest.h>

#include <vector>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/util/VQerror.h"

namespace {

class TestDevice : public VQDevice {
 public:
  TestDevice() : VQDevice(VQDEVICE_WINDOWS_KEYBOARD) {}
  bool Init() override { return true; }
  bool Open(uint32_t parameter) override {
    m_openParameter = parameter;
    m_initialised = 1;
    return true;
  }
  void Close() override { m_initialised = 0; }
  const char* GetName() override { return "Test device"; }
};

// Records every call as (handler id, event, context) and answers as configured.
struct Log {
  std::vector<std::vector<uintptr_t>> calls;
};
Log* g_log = nullptr;

template <int Id, bool Consumes>
bool Handler(uint32_t event, void*, uintptr_t context) {
  g_log->calls.push_back({uintptr_t(Id), event, context});
  return Consumes;
}

TEST(DeviceRoot, ConstructedClosedWithEmptyStack) {
  TestDevice d;
  EXPECT_EQ(d.m_kind, uint32_t(VQDEVICE_WINDOWS_KEYBOARD));
  EXPECT_EQ(d.m_openParameter, 0u);
  EXPECT_EQ(d.m_handlerCount, 0u);
  EXPECT_EQ(d.m_initialised, 0);
  EXPECT_EQ(d.GetInfo(), nullptr);
  EXPECT_FALSE(d.HasCapability(1));
}

TEST(DeviceRoot, SixteenHandlersThenStackFull) {
  TestDevice d;
  for (uintptr_t i = 0; i < VQDEVICE_MAX_HANDLERS; ++i) ASSERT_TRUE(d.PushHandler(Handler<0, false>, i));
  g_VQerror = 0;
  EXPECT_FALSE(d.PushHandler(Handler<1, false>, 99));
  EXPECT_EQ(g_VQerror, VQERR_HANDLER_STACK_FULL);
  EXPECT_EQ(d.m_handlerCount, 16u);
  EXPECT_EQ(d.m_handlerContexts[15], 15u);
  EXPECT_TRUE(d.PopHandler());
  EXPECT_TRUE(d.PushHandler(Handler<1, false>, 99));
  EXPECT_EQ(d.m_handlerContexts[15], 99u);
}

TEST(DeviceRoot, PopOnEmptyStackFails) {
  TestDevice d;
  g_VQerror = 0;
  EXPECT_FALSE(d.PopHandler());
  EXPECT_EQ(g_VQerror, VQERR_HANDLER_STACK_EMPTY);
  EXPECT_TRUE(d.PushHandler(Handler<0, false>, 1));
  EXPECT_TRUE(d.PopHandler());
  EXPECT_FALSE(d.PopHandler());
}

TEST(DeviceRoot, RemoveHandlerTakesTheOldestMatchAndKeepsPairsTogether) {
  TestDevice d;
  d.PushHandler(Handler<0, false>, 10);
  d.PushHandler(Handler<1, false>, 11);
  d.PushHandler(Handler<0, false>, 12);
  d.PushHandler(Handler<2, false>, 13);
  g_VQerror = 0;
  EXPECT_TRUE(d.RemoveHandler(Handler<0, false>));
  ASSERT_EQ(d.m_handlerCount, 3u);
  EXPECT_TRUE(d.m_handlers[0] == (Handler<1, false>));
  EXPECT_EQ(d.m_handlerContexts[0], 11u);
  EXPECT_TRUE(d.m_handlers[1] == (Handler<0, false>));
  EXPECT_EQ(d.m_handlerContexts[1], 12u);
  EXPECT_TRUE(d.m_handlers[2] == (Handler<2, false>));
  EXPECT_EQ(d.m_handlerContexts[2], 13u);
  EXPECT_FALSE(d.RemoveHandler(Handler<3, false>));
  EXPECT_EQ(g_VQerror, 0);
  TestDevice empty;
  EXPECT_FALSE(empty.RemoveHandler(Handler<0, false>));
}

TEST(DeviceRoot, DeliveryCallsEveryHandlerNewestFirst) {
  Log log;
  g_log = &log;
  TestDevice d;
  d.PushHandler(Handler<1, true>, 100);  // oldest consumes
  d.PushHandler(Handler<2, false>, 200);
  d.PushHandler(Handler<3, false>, 300);
  int record = 0;
  EXPECT_TRUE(d.DeliverEvent(VQEVENT_KEY, &record));
  const std::vector<std::vector<uintptr_t>> want = {{3, 7, 300}, {2, 7, 200}, {1, 7, 100}};
  EXPECT_EQ(log.calls, want);
  log.calls.clear();
  d.RemoveHandler(Handler<1, true>);
  EXPECT_FALSE(d.DeliverEvent(VQEVENT_POINTER_MOVE, &record));
  EXPECT_EQ(log.calls.size(), 2u);
  TestDevice none;
  EXPECT_FALSE(none.DeliverEvent(VQEVENT_LEFT_DOWN, nullptr));
  g_log = nullptr;
}

TEST(DeviceRoot, HandlersSurviveClose) {
  TestDevice d;
  ASSERT_TRUE(d.Open(5));
  EXPECT_EQ(d.m_openParameter, 5u);
  d.PushHandler(Handler<0, false>, 1);
  d.Close();
  EXPECT_EQ(d.m_handlerCount, 1u);
}

}  // namespace
