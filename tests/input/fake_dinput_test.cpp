// The DirectInput keyboard's read-and-retry rules, over a scripted DirectInput library put
// in place of the SDL one.
#include <gtest/gtest.h>

#include <deque>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "host/directx/dx_library.h"
#include "input_fixture.h"

namespace {

// One scripted read: its result and records.
struct Read {
  HRESULT result;
  std::vector<DIDEVICEOBJECTDATA> records;
};

class ScriptedDevice final : public IDirectInputDevice7A {
 public:
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override { return --m_refs; }
  HRESULT GetCapabilities(DIDEVCAPS*) override { return DI_OK; }
  HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, void*, uint32_t) override { return DI_OK; }
  HRESULT GetProperty(dinput_property, DIPROPHEADER*) override { return DI_OK; }
  HRESULT SetProperty(dinput_property, const DIPROPHEADER*) override { return DI_OK; }
  HRESULT Acquire() override {
    ++m_acquires;
    return m_acquireResult;
  }
  HRESULT Unacquire() override { return DI_OK; }
  HRESULT GetDeviceState(uint32_t, void*) override { return DIERR_NOTACQUIRED; }
  HRESULT GetDeviceData(uint32_t, DIDEVICEOBJECTDATA* records, uint32_t* count, uint32_t) override {
    ++m_reads;
    if (m_script.empty()) {
      *count = 0;
      return m_failAfterScript;
    }
    Read r = m_script.front();
    m_script.pop_front();
    *count = std::min<uint32_t>(*count, uint32_t(r.records.size()));
    for (uint32_t i = 0; i < *count; ++i) records[i] = r.records[i];
    return r.result;
  }
  HRESULT SetDataFormat(const DIDATAFORMAT*) override { return DI_OK; }
  HRESULT SetCooperativeLevel(host::window_handle, uint32_t) override { return DI_OK; }
  HRESULT Poll() override { return DI_OK; }

  uint32_t m_refs = 1;
  std::deque<Read> m_script;
  HRESULT m_failAfterScript = DI_OK;
  HRESULT m_acquireResult = DI_OK;
  int m_acquires = 0, m_reads = 0;
};

class ScriptedInput final : public IDirectInput7A {
 public:
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override { return --m_refs; }
  HRESULT EnumDevices(uint32_t type, LPDIENUMDEVICESCALLBACKA callback, void* ref, uint32_t) override {
    if (type != DIDEVTYPE_KEYBOARD) return DI_OK;
    DIDEVICEINSTANCEA d{};
    d.dwSize = sizeof d;
    d.guidInstance = GUID_SysKeyboard;
    d.dwDevType = DIDEVTYPE_KEYBOARD;
    callback(&d, ref);
    return DI_OK;
  }
  HRESULT CreateDeviceEx(const GUID&, const GUID&, void** device, void*) override {
    m_device.m_refs = 1;
    *device = static_cast<IDirectInputDevice7A*>(&m_device);
    return DI_OK;
  }
  uint32_t m_refs = 1;
  ScriptedDevice m_device;
};

ScriptedInput* g_input = nullptr;

HRESULT ScriptedCreate(uintptr_t, uint32_t, const GUID&, void** object, void*) {
  g_input->m_refs = 1;
  *object = static_cast<IDirectInput7A*>(g_input);
  return DI_OK;
}
const host::library_export kScripted[] = {{DINPUT_CREATE_EXPORT, reinterpret_cast<void*>(&ScriptedCreate)}};

DIDEVICEOBJECTDATA Key(uint32_t offset, bool down) { return DIDEVICEOBJECTDATA{offset, down ? 0x80u : 0u, 0, 0}; }

constexpr uint32_t kReturnScan = 28, kSpaceScan = 57;

class ScriptedKeyboard : public InputWindow {
 protected:
  void SetUp() override {
    InputWindow::SetUp();
    g_input = &m_input;
    host::set_library(DINPUT_LIBRARY, kScripted, 1);
    m_keyboard = static_cast<VQDirectInputKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_DINPUT_KEYBOARD, 0));
    ASSERT_NE(m_keyboard, nullptr);
    ASSERT_TRUE(m_keyboard->Open(0));
    ASSERT_TRUE(m_keyboard->AttachToCanvas(&m_canvas));
    ASSERT_TRUE(m_keyboard->PushHandler(RecordingHandler, 0));
  }
  void TearDown() override {
    if (m_keyboard != nullptr) m_keyboard->Close();
    host::restore_libraries();
    InputWindow::TearDown();
  }
  ScriptedDevice& Device() { return m_input.m_device; }

  ScriptedInput m_input;
  VQDirectInputKeyboardDevice* m_keyboard = nullptr;
};

TEST_F(ScriptedKeyboard, OffsetsPastTheScanTablePostNothing) {
  Device().m_script.push_back({DI_OK, {Key(300, true), Key(0xFFFFFFFFu, true), Key(kReturnScan, true), Key(0x70, true)}});
  ASSERT_TRUE(m_keyboard->Poll());
  std::vector<uint32_t> codes;
  for (const SeenEvent& e : Seen())
    if (!e.overlay) codes.push_back(e.words[0]);
  EXPECT_EQ(codes, (std::vector<uint32_t>{VQKEY_RETURN, VQKEY_NONE})) << "an unmapped scan code posts 'no key'";
}

TEST_F(ScriptedKeyboard, AcquiredAfterEveryFailedReadClearsTheHeldKeys) {
  Device().m_script.push_back({DI_OK, {Key(kSpaceScan, true)}});
  ASSERT_TRUE(m_keyboard->Poll());
  ASSERT_TRUE(m_keyboard->IsKeyDown(VQKEY_SPACE));
  Device().m_failAfterScript = DIERR_NOTACQUIRED;
  Device().m_acquireResult = DI_NOEFFECT;  // "already acquired"
  Device().m_reads = Device().m_acquires = 0;
  EXPECT_FALSE(m_keyboard->Poll());
  EXPECT_EQ(Device().m_reads, int(VQDINPUT_READ_TRIES));
  EXPECT_FALSE(m_keyboard->IsKeyDown(VQKEY_SPACE));
}

TEST_F(ScriptedKeyboard, AnotherApplicationWithPriorityIsNoFailure) {
  Device().m_failAfterScript = DIERR_INPUTLOST;
  Device().m_acquireResult = DIERR_OTHERAPPHASPRIO;
  EXPECT_TRUE(m_keyboard->Poll());
  EXPECT_EQ(Device().m_reads, 1);
  Device().m_acquireResult = DIERR_NOTINITIALIZED;
  EXPECT_FALSE(m_keyboard->Poll());
}

TEST_F(ScriptedKeyboard, OverflowPostsWhatWasKeptAndForgetsTheHeldKeys) {
  Device().m_script.push_back({DI_OK, {Key(kSpaceScan, true)}});
  ASSERT_TRUE(m_keyboard->Poll());
  Device().m_script.push_back({DI_BUFFEROVERFLOW, {Key(kReturnScan, true)}});
  ASSERT_TRUE(m_keyboard->Poll());
  ASSERT_FALSE(Seen().empty());
  EXPECT_EQ(Seen().back().words[0], uint32_t(VQKEY_RETURN));
  EXPECT_EQ(m_keyboard->m_heldCount, 0u) << "releases may have been dropped";
}

}  // namespace
