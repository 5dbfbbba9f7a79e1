#include "Zentri/devices/input/VQinput.h"

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/VQdirectx.h"

bool VQinput_Deliver(VQDevice* device, VQCanvas* canvas, uint32_t event, void* record) {
  return device->PostEvent(event, record, canvas);
}

namespace {
int CountInstance(const DIDEVICEINSTANCEA* instance, void* ref) {
  auto* probe = static_cast<VQDinputProbe*>(ref);
  if (probe->count++ == probe->wanted) {
    probe->guid = instance->guidInstance;
    probe->found = 1;
    return DIENUM_STOP;
  }
  return DIENUM_CONTINUE;
}
}  // namespace

bool VQdinput_FindInstance(uint32_t deviceType, VQDinputProbe* probe) {
  probe->count = 0;
  probe->found = 0;
  auto* input = static_cast<IDirectInput7A*>(VQdirectx_CreateDirectInput());
  if (input == nullptr) return false;
  g_VQdxResult = input->EnumDevices(deviceType, CountInstance, probe, DIEDFL_ATTACHEDONLY);
  VQdirectx_ReleaseDirectInput();
  return probe->found != 0;
}

IDirectInputDevice7A* VQdinput_CreateDevice(IDirectInput7A* input, const GUID& guid, const DIDATAFORMAT* format,
                                            uint32_t bufferSize) {
  void* made = nullptr;
  g_VQdxResult = input->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &made, nullptr);
  if (dx_failed(g_VQdxResult) || made == nullptr) return nullptr;
  auto* device = static_cast<IDirectInputDevice7A*>(made);
  g_VQdxResult = device->SetDataFormat(format);
  if (dx_succeeded(g_VQdxResult) && bufferSize > 0) {
    DIPROPDWORD size{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, bufferSize};
    g_VQdxResult = device->SetProperty(DIPROP_BUFFERSIZE, &size.diph);
  }
  if (dx_failed(g_VQdxResult)) {
    device->Release();
    return nullptr;
  }
  return device;
}

VQDinputRead VQdinput_ReadBuffered(IDirectInputDevice7A* device, DIDEVICEOBJECTDATA* records, uint32_t* count,
                                   bool* overflow, bool* lost) {
  *overflow = false;
  *lost = false;
  HRESULT acquired = DI_OK;
  for (uint32_t tries = 0; tries < VQDINPUT_READ_TRIES; ++tries) {
    *count = VQDINPUT_BUFFER_RECORDS;
    g_VQdxResult = device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, count, 0);
    // An overflowing buffer still hands out the records it kept; the caller learns that
    // some were dropped.
    if (g_VQdxResult == DI_OK || g_VQdxResult == DI_BUFFEROVERFLOW) {
      *overflow = g_VQdxResult == DI_BUFFEROVERFLOW;
      return VQDINPUT_READ_OK;
    }
    if (g_VQdxResult == DIERR_INPUTLOST) *lost = true;
    acquired = device->Acquire();
    g_VQdxResult = acquired;
    if (dx_failed(acquired)) break;
  }
  *count = 0;
  if (acquired == DIERR_OTHERAPPHASPRIO) return VQDINPUT_READ_DENIED;
  if (acquired == DI_NOEFFECT) return VQDINPUT_READ_STILL_ACQUIRED;
  return VQDINPUT_READ_FAILED;
}

void VQdinput_ReleaseDevice(IDirectInputDevice7A** device) {
  if (*device != nullptr) (*device)->Release();
  *device = nullptr;
}
