// Support shared by the DirectX-shaped devices (the Direct3D display device, the DirectInput
// keyboard, mouse and joysticks, the DirectSound device): the DirectX result word with its
// report and symbolic names, the mapping between DirectDraw pixel formats and the engine's
// formats 1-16, and one reference-counted DirectInput object that all DirectInput devices share.
#pragma once

#include <cstdint>

#include "host/directx/dx_types.h"

// The result of the engine's last DirectX call (a signed HRESULT). Every DirectX call that an
// engine device makes stores its result here.
extern HRESULT g_VQdxResult;

// When set, device failures are reported with VQdirectx_ReportError (library loading
// failures are reported always). Off by default.
extern bool g_VQdxReportErrors;

// Logs at the informational level: result 0 -> "DirectX Message : <text>"; any other result
// -> "DirectX Error in '<text>' : code <signed decimal> (<symbolic name>)".
void VQdirectx_ReportError(const char* text, HRESULT result);

// The symbolic name of a DirectX result, as the DirectX 7 headers spell it; values shared by
// several interfaces have one combined text; "<Unknown>" outside the table. Never null.
const char* VQdirectx_ErrorName(HRESULT result);

// Engine pixel format of a DirectDraw pixel format. Only DDPF_RGB formats are recognised;
// otherwise bits and format are both 0. Other 16-bit masks give format 0; other 24- and
// 32-bit masks leave *format as it was (bits are still set).
void VQdirectx_PixelFormatFromDD(const DDPIXELFORMAT& ddpf, uint32_t* bits, uint32_t* format);

// A zeroed DDPIXELFORMAT of size 32 describing an engine format; formats 6, 8 and values
// outside 1-16 give only the size.
DDPIXELFORMAT VQdirectx_DDPixelFormat(uint32_t format);

// Loads the DirectInput layer once per process and takes its create function; false (and a
// report) when it cannot be loaded or lacks the function.
bool VQdirectx_LoadDirectInput();

// The shared DirectInput object (an IDirectInput7-shaped interface of the host layer), or null
// with the result in g_VQdxResult. Each successful call raises the use count.
void* VQdirectx_CreateDirectInput();

// Drops one use of the shared DirectInput object; at zero it is released and the layer
// unloaded. Nothing happens with a use count of 0.
void VQdirectx_ReleaseDirectInput();

// The current use count of the shared DirectInput object (for tests and the device probes).
uint32_t VQdirectx_DirectInputUseCount();
