#include "Zentri/devices/VQdirectx.h"

#include "Zentri/util/VQlog.h"
#include "host/directx/dinput.h"
#include "host/directx/dx_library.h"

HRESULT g_VQdxResult = DX_OK;
bool g_VQdxReportErrors = false;

namespace {

struct DxName {
  HRESULT value;
  const char* name;
};

// Results shared by several interfaces have one combined name; DirectDraw and Direct3D
// share one facility, DirectSound and DirectInput have their own. A few DirectDraw names
// carry a trailing blank, as the engine has always printed them.
const DxName kDxNames[] = {
    {DX_OK, "DX_OK (DD_OK, DS_OK, DI_OK, or D3D_OK)"},
    {DXERR_GENERIC, "DXERR_GENERIC"},
    {DXERR_OUTOFMEMORY, "DXERR_OUTOFMEMORY"},
    {DXERR_INVALIDPARAMS, "DXERR_INVALIDPARAMS"},
    {DXERR_WASSTILLDRAWING, "DXERR_WASSTILLDRAWING"},
    {DXERR_UNSUPPORTED, "DXERR_UNSUPPORTED"},
    {DXERR_NOINTERFACE, "DXERR_NOINTERFACE"},
    {DXERR_NOAGGREGATION, "DXERR_NOAGGREGATION"},
    {static_cast<HRESULT>(0x800401F0u), "DDERR_NOTINITIALIZED"},
    {dd_result(5), "DDERR_ALREADYINITIALIZED"},
    {dd_result(10), "DDERR_CANNOTATTACHSURFACE"},
    {dd_result(20), "DDERR_CANNOTDETACHSURFACE"},
    {dd_result(40), "DDERR_CURRENTLYNOTAVAIL"},
    {dd_result(55), "DDERR_EXCEPTION"},
    {dd_result(90), "DDERR_HEIGHTALIGN"},
    {dd_result(95), "DDERR_INCOMPATIBLEPRIMARY"},
    {dd_result(100), "DDERR_INVALIDCAPS"},
    {dd_result(110), "DDERR_INVALIDCLIPLIST"},
    {dd_result(120), "DDERR_INVALIDMODE"},
    {dd_result(130), "DDERR_INVALIDOBJECT"},
    {dd_result(145), "DDERR_INVALIDPIXELFORMAT"},
    {dd_result(150), "DDERR_INVALIDRECT"},
    {dd_result(160), "DDERR_LOCKEDSURFACES"},
    {dd_result(170), "DDERR_NO3D"},
    {dd_result(180), "DDERR_NOALPHAHW"},
    {dd_result(181), "DDERR_NOSTEREOHARDWARE"},
    {dd_result(182), "DDERR_NOSURFACELEFT"},
    {dd_result(205), "DDERR_NOCLIPLIST"},
    {dd_result(210), "DDERR_NOCOLORCONVHW"},
    {dd_result(212), "DDERR_NOCOOPERATIVELEVELSET"},
    {dd_result(215), "DDERR_NOCOLORKEY"},
    {dd_result(220), "DDERR_NOCOLORKEYHW"},
    {dd_result(222), "DDERR_NODIRECTDRAWSUPPORT"},
    {dd_result(225), "DDERR_NOEXCLUSIVEMODE"},
    {dd_result(230), "DDERR_NOFLIPHW"},
    {dd_result(240), "DDERR_NOGDI"},
    {dd_result(250), "DDERR_NOMIRRORHW"},
    {dd_result(255), "DDERR_NOTFOUND"},
    {dd_result(260), "DDERR_NOOVERLAYHW"},
    {dd_result(270), "DDERR_OVERLAPPINGRECTS"},
    {dd_result(280), "DDERR_NORASTEROPHW"},
    {dd_result(290), "DDERR_NOROTATIONHW"},
    {dd_result(310), "DDERR_NOSTRETCHHW "},
    {dd_result(316), "DDERR_NOT4BITCOLOR "},
    {dd_result(317), "DDERR_NOT4BITCOLORINDEX "},
    {dd_result(320), "DDERR_NOT8BITCOLOR "},
    {dd_result(330), "DDERR_NOTEXTUREHW"},
    {dd_result(335), "DDERR_NOVSYNCHW"},
    {dd_result(340), "DDERR_NOZBUFFERHW"},
    {dd_result(350), "DDERR_NOZOVERLAYHW"},
    {dd_result(360), "DDERR_OUTOFCAPS "},
    {dd_result(380), "DDERR_OUTOFVIDEOMEMORY"},
    {dd_result(382), "DDERR_OVERLAYCANTCLIP "},
    {dd_result(384), "DDERR_OVERLAYCOLORKEYONLYONEACTIVE"},
    {dd_result(387), "DDERR_PALETTEBUSY"},
    {dd_result(400), "DDERR_COLORKEYNOTSET"},
    {dd_result(410), "DDERR_SURFACEALREADYATTACHED"},
    {dd_result(420), "DDERR_SURFACEALREADYDEPENDENT"},
    {dd_result(430), "DDERR_SURFACEBUSY"},
    {dd_result(435), "DDERR_CANTLOCKSURFACE"},
    {dd_result(440), "DDERR_SURFACEISOBSCURED"},
    {dd_result(450), "DDERR_SURFACELOST"},
    {dd_result(460), "DDERR_SURFACENOTATTACHED"},
    {dd_result(470), "DDERR_TOOBIGHEIGHT "},
    {dd_result(480), "DDERR_TOOBIGSIZE "},
    {dd_result(490), "DDERR_TOOBIGWIDTH"},
    {dd_result(510), "DDERR_UNSUPPORTEDFORMAT"},
    {dd_result(520), "DDERR_UNSUPPORTEDMASK"},
    {dd_result(521), "DDERR_INVALIDSTREAM"},
    {dd_result(537), "DDERR_VERTICALBLANKINPROGRESS"},
    {dd_result(542), "DDERR_DDSCAPSCOMPLEXREQUIRED"},
    {dd_result(560), "DDERR_XALIGN"},
    {dd_result(561), "DDERR_INVALIDDIRECTDRAWGUID"},
    {dd_result(562), "DDERR_DIRECTDRAWALREADYCREATED"},
    {dd_result(563), "DDERR_NODIRECTDRAWHW"},
    {dd_result(564), "DDERR_PRIMARYSURFACEALREADYEXISTS"},
    {dd_result(565), "DDERR_NOEMULATION"},
    {dd_result(566), "DDERR_REGIONTOOSMALL"},
    {dd_result(567), "DDERR_CLIPPERISUSINGHWND"},
    {dd_result(568), "DDERR_NOCLIPPERATTACHED"},
    {dd_result(569), "DDERR_NOHWND"},
    {dd_result(570), "DDERR_HWNDSUBCLASSED"},
    {dd_result(571), "DDERR_HWNDALREADYSET"},
    {dd_result(572), "DDERR_NOPALETTEATTACHED"},
    {dd_result(573), "DDERR_NOPALETTEHW"},
    {dd_result(574), "DDERR_BLTFASTCANTCLIP"},
    {dd_result(575), "DDERR_NOBLTHW"},
    {dd_result(576), "DDERR_NODDROPSHW"},
    {dd_result(577), "DDERR_OVERLAYNOTVISIBLE"},
    {dd_result(578), "DDERR_NOOVERLAYDEST"},
    {dd_result(579), "DDERR_INVALIDPOSITION"},
    {dd_result(580), "DDERR_NOTAOVERLAYSURFACE"},
    {dd_result(581), "DDERR_EXCLUSIVEMODEALREADYSET"},
    {dd_result(582), "DDERR_NOTFLIPPABLE"},
    {dd_result(583), "DDERR_CANTDUPLICATE"},
    {dd_result(584), "DDERR_NOTLOCKED"},
    {dd_result(585), "DDERR_CANTCREATEDC"},
    {dd_result(586), "DDERR_NODC"},
    {dd_result(587), "DDERR_WRONGMODE"},
    {dd_result(588), "DDERR_IMPLICITLYCREATED"},
    {dd_result(589), "DDERR_NOTPALETTIZED"},
    {dd_result(590), "DDERR_UNSUPPORTEDMODE"},
    {dd_result(591), "DDERR_NOMIPMAPHW"},
    {dd_result(592), "DDERR_INVALIDSURFACETYPE"},
    {dd_result(600), "DDERR_NOOPTIMIZEHW"},
    {dd_result(601), "DDERR_NOTLOADED"},
    {dd_result(602), "DDERR_NOFOCUSWINDOW"},
    {dd_result(603), "DDERR_NOTONMIPMAPSUBLEVEL"},
    {dd_result(620), "DDERR_DCALREADYCREATED"},
    {dd_result(630), "DDERR_NONONLOCALVIDMEM"},
    {dd_result(640), "DDERR_CANTPAGELOCK"},
    {dd_result(660), "DDERR_CANTPAGEUNLOCK"},
    {dd_result(680), "DDERR_NOTPAGELOCKED"},
    {dd_result(690), "DDERR_MOREDATA"},
    {dd_result(691), "DDERR_EXPIRED"},
    {dd_result(692), "DDERR_TESTFINISHED"},
    {dd_result(693), "DDERR_NEWMODE"},
    {dd_result(694), "DDERR_D3DNOTINITIALIZED"},
    {dd_result(695), "DDERR_VIDEONOTACTIVE"},
    {dd_result(696), "DDERR_NOMONITORINFORMATION"},
    {dd_result(697), "DDERR_NODRIVERSUPPORT"},
    {dd_result(699), "DDERR_DEVICEDOESNTOWNSURFACE"},
    {dd_result(700), "D3DERR_BADMAJORVERSION"},
    {dd_result(701), "D3DERR_BADMINORVERSION"},
    {dd_result(705), "D3DERR_INVALID_DEVICE"},
    {dd_result(706), "D3DERR_INITFAILED"},
    {dd_result(707), "D3DERR_DEVICEAGGREGATED"},
    {dd_result(710), "D3DERR_EXECUTE_CREATE_FAILED"},
    {dd_result(711), "D3DERR_EXECUTE_DESTROY_FAILED"},
    {dd_result(712), "D3DERR_EXECUTE_LOCK_FAILED"},
    {dd_result(713), "D3DERR_EXECUTE_UNLOCK_FAILED"},
    {dd_result(714), "D3DERR_EXECUTE_LOCKED"},
    {dd_result(715), "D3DERR_EXECUTE_NOT_LOCKED"},
    {dd_result(716), "D3DERR_EXECUTE_FAILED"},
    {dd_result(717), "D3DERR_EXECUTE_CLIPPED_FAILED"},
    {dd_result(720), "D3DERR_TEXTURE_NO_SUPPORT"},
    {dd_result(721), "D3DERR_TEXTURE_CREATE_FAILED"},
    {dd_result(722), "D3DERR_TEXTURE_DESTROY_FAILED"},
    {dd_result(723), "D3DERR_TEXTURE_LOCK_FAILED"},
    {dd_result(724), "D3DERR_TEXTURE_UNLOCK_FAILED"},
    {dd_result(725), "D3DERR_TEXTURE_LOAD_FAILED"},
    {dd_result(726), "D3DERR_TEXTURE_SWAP_FAILED"},
    {dd_result(727), "D3DERR_TEXTURE_LOCKED"},
    {dd_result(728), "D3DERR_TEXTURE_NOT_LOCKED"},
    {dd_result(729), "D3DERR_TEXTURE_GETSURF_FAILED"},
    {dd_result(730), "D3DERR_MATRIX_CREATE_FAILED"},
    {dd_result(731), "D3DERR_MATRIX_DESTROY_FAILED"},
    {dd_result(732), "D3DERR_MATRIX_SETDATA_FAILED"},
    {dd_result(733), "D3DERR_MATRIX_GETDATA_FAILED"},
    {dd_result(734), "D3DERR_SETVIEWPORTDATA_FAILED"},
    {dd_result(735), "D3DERR_INVALIDCURRENTVIEWPORT"},
    {dd_result(736), "D3DERR_INVALIDPRIMITIVETYPE"},
    {dd_result(737), "D3DERR_INVALIDVERTEXTYPE"},
    {dd_result(738), "D3DERR_TEXTURE_BADSIZE"},
    {dd_result(739), "D3DERR_INVALIDRAMPTEXTURE"},
    {dd_result(740), "D3DERR_MATERIAL_CREATE_FAILED"},
    {dd_result(741), "D3DERR_MATERIAL_DESTROY_FAILED"},
    {dd_result(742), "D3DERR_MATERIAL_SETDATA_FAILED"},
    {dd_result(743), "D3DERR_MATERIAL_GETDATA_FAILED"},
    {dd_result(744), "D3DERR_INVALIDPALETTE"},
    {dd_result(745), "D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY"},
    {dd_result(746), "D3DERR_ZBUFF_NEEDS_VIDEOMEMORY"},
    {dd_result(747), "D3DERR_SURFACENOTINVIDMEM"},
    {dd_result(750), "D3DERR_LIGHT_SET_FAILED"},
    {dd_result(751), "D3DERR_LIGHTHASVIEWPORT"},
    {dd_result(752), "D3DERR_LIGHTNOTINTHISVIEWPORT"},
    {dd_result(760), "D3DERR_SCENE_IN_SCENE"},
    {dd_result(761), "D3DERR_SCENE_NOT_IN_SCENE"},
    {dd_result(762), "D3DERR_SCENE_BEGIN_FAILED"},
    {dd_result(763), "D3DERR_SCENE_END_FAILED"},
    {dd_result(770), "D3DERR_INBEGIN"},
    {dd_result(771), "D3DERR_NOTINBEGIN"},
    {dd_result(772), "D3DERR_NOVIEWPORTS"},
    {dd_result(773), "D3DERR_VIEWPORTDATANOTSET"},
    {dd_result(774), "D3DERR_VIEWPORTHASNODEVICE"},
    {dd_result(775), "D3DERR_NOCURRENTVIEWPORT"},
    {dd_result(2048), "D3DERR_INVALIDVERTEXFORMAT"},
    {dd_result(2050), "D3DERR_COLORKEYATTACHED"},
    {dd_result(2060), "D3DERR_VERTEXBUFFEROPTIMIZED"},
    {dd_result(2061), "D3DERR_VBUF_CREATE_FAILED"},
    {dd_result(2062), "D3DERR_VERTEXBUFFERLOCKED"},
    {dd_result(2063), "D3DERR_VERTEXBUFFERUNLOCKFAILED"},
    {dd_result(2070), "D3DERR_ZBUFFER_NOTPRESENT"},
    {dd_result(2071), "D3DERR_STENCILBUFFER_NOTPRESENT"},
    {dd_result(2072), "D3DERR_WRONGTEXTUREFORMAT"},
    {dd_result(2073), "D3DERR_UNSUPPORTEDCOLOROPERATION"},
    {dd_result(2074), "D3DERR_UNSUPPORTEDCOLORARG"},
    {dd_result(2075), "D3DERR_UNSUPPORTEDALPHAOPERATION"},
    {dd_result(2076), "D3DERR_UNSUPPORTEDALPHAARG"},
    {dd_result(2077), "D3DERR_TOOMANYOPERATIONS"},
    {dd_result(2078), "D3DERR_CONFLICTINGTEXTUREFILTER"},
    {dd_result(2079), "D3DERR_UNSUPPORTEDFACTORVALUE"},
    {dd_result(2081), "D3DERR_CONFLICTINGRENDERSTATE"},
    {dd_result(2082), "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
    {dd_result(2083), "D3DERR_TOOMANYPRIMITIVES"},
    {dd_result(2084), "D3DERR_INVALIDMATRIX"},
    {dd_result(2085), "D3DERR_TOOMANYVERTICES"},
    {dd_result(2086), "D3DERR_CONFLICTINGTEXTUREPALETTE"},
    {dd_result(2100), "D3DERR_INVALIDSTATEBLOCK"},
    {dd_result(2101), "D3DERR_INBEGINSTATEBLOCK"},
    {dd_result(2102), "D3DERR_NOTINBEGINSTATEBLOCK"},
    {dd_result(3000), "D3DERR_COMMAND_UNPARSED"},
    {ds_result(10), "DSERR_ALLOCATED"},
    {ds_result(30), "DSERR_CONTROLUNAVAIL"},
    {ds_result(50), "DSERR_INVALIDCALL"},
    {ds_result(70), "DSERR_PRIOLEVELNEEDED"},
    {ds_result(100), "DSERR_BADFORMAT"},
    {ds_result(120), "DSERR_NODRIVER"},
    {ds_result(130), "DSERR_ALREADYINITIALIZED"},
    {ds_result(150), "DSERR_BUFFERLOST"},
    {ds_result(160), "DSERR_OTHERAPPHASPRIO"},
    {ds_result(170), "DSERR_UNINITIALIZED"},
    {DIERR_OLDDIRECTINPUTVERSION, "DIERR_OLDDIRECTINPUTVERSION"},
    {DIERR_BETADIRECTINPUTVERSION, "DIERR_BETADIRECTINPUTVERSION"},
    {DIERR_BADDRIVERVER, "DIERR_BADDRIVERVER"},
    {DIERR_DEVICENOTREG, "DIERR_DEVICENOTREG"},
    {DIERR_NOTFOUND, "DIERR_NOTFOUND or DIERR_OBJECTNOTFOUND"},
    {DIERR_NOTINITIALIZED, "DIERR_NOTINITIALIZED"},
    {DIERR_ALREADYINITIALIZED, "DIERR_ALREADYINITIALIZED"},
    {DIERR_OTHERAPPHASPRIO, "DIERR_OTHERAPPHASPRIO, DIERR_HANDLEEXISTS or DIERR_READONLY"},
    {DIERR_INPUTLOST, "DIERR_INPUTLOST"},
    {DIERR_ACQUIRED, "DIERR_ACQUIRED"},
    {DIERR_NOTACQUIRED, "DIERR_NOTACQUIRED"},
    {DIERR_PENDING, "DIERR_PENDING"},
    {DIERR_INSUFFICIENTPRIVS, "DIERR_INSUFFICIENTPRIVS"},
    {DIERR_DEVICEFULL, "DIERR_DEVICEFULL"},
    {DIERR_MOREDATA, "DIERR_MOREDATA"},
    {DIERR_NOTDOWNLOADED, "DIERR_NOTDOWNLOADED"},
    {DIERR_HASEFFECTS, "DIERR_HASEFFECTS"},
    {DIERR_NOTEXCLUSIVEACQUIRED, "DIERR_NOTEXCLUSIVEACQUIRED"},
    {DIERR_INCOMPLETEEFFECT, "DIERR_INCOMPLETEEFFECT"},
    {DIERR_NOTBUFFERED, "DIERR_NOTBUFFERED"},
    {DIERR_EFFECTPLAYING, "DIERR_EFFECTPLAYING"},
    {DIERR_UNPLUGGED, "DIERR_UNPLUGGED"},
};

}  // namespace

void VQdirectx_ReportError(const char* text, HRESULT result) {
  if (!text) text = "";
  if (result == DX_OK)
    VQlog_Printf(1, "DirectX Message : %s", text);
  else
    VQlog_Printf(1, "DirectX Error in '%s' : code %d (%s)", text, static_cast<int>(result),
                 VQdirectx_ErrorName(result));
}

const char* VQdirectx_ErrorName(HRESULT result) {
  for (const DxName& n : kDxNames)
    if (n.value == result) return n.name;
  return "<Unknown>";
}

void VQdirectx_PixelFormatFromDD(const DDPIXELFORMAT& pf, uint32_t* bits, uint32_t* format) {
  if (!(pf.dwFlags & DDPF_RGB)) {
    *bits = 0;
    *format = 0;
    return;
  }
  const bool alpha = (pf.dwFlags & DDPF_ALPHAPIXELS) != 0;
  *bits = pf.dwRGBBitCount;
  switch (pf.dwRGBBitCount) {
    case 8:
      *format = (pf.dwFlags & DDPF_PALETTEINDEXED8) ? 1 : 0;
      break;
    case 16:
      if (pf.dwRBitMask == 0x7C00 && pf.dwGBitMask == 0x03E0 && pf.dwBBitMask == 0x001F)
        *format = alpha ? 3 : 4;
      else if (pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F)
        *format = 2;
      else if (pf.dwRBitMask == 0x0F00 && pf.dwGBitMask == 0x00F0 && pf.dwBBitMask == 0x000F)
        *format = alpha ? 5 : 6;
      else
        *format = 0;
      break;
    case 24:
      if (pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF)
        *format = 7;
      break;
    case 32:
      if (pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF)
        *format = alpha ? 11 : 15;
      break;
    default:
      break;
  }
}

DDPIXELFORMAT VQdirectx_DDPixelFormat(uint32_t format) {
  DDPIXELFORMAT pf{};
  pf.dwSize = sizeof(DDPIXELFORMAT);
  auto rgb = [&pf](uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    pf.dwFlags = flags;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
  };
  const uint32_t rgbA = DDPF_RGB | DDPF_ALPHAPIXELS;
  switch (format) {
    case 1: rgb(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0); break;
    case 2: rgb(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0); break;
    case 3: rgb(rgbA, 16, 0x7C00, 0x03E0, 0x001F, 0x8000); break;
    case 4: rgb(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0); break;
    case 5: rgb(rgbA, 16, 0x0F00, 0x00F0, 0x000F, 0xF000); break;
    case 7: rgb(DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0); break;
    case 9: rgb(rgbA, 32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF); break;
    case 10: rgb(rgbA, 32, 0xFF00, 0xFF0000, 0xFF000000, 0xFF); break;
    case 11: rgb(rgbA, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); break;
    case 12: rgb(rgbA, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000); break;
    case 13: rgb(DDPF_RGB, 32, 0xFF000000, 0xFF0000, 0xFF00, 0); break;
    case 14: rgb(DDPF_RGB, 32, 0xFF00, 0xFF0000, 0xFF000000, 0); break;
    case 15: rgb(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0); break;
    case 16: rgb(DDPF_RGB, 32, 0xFF, 0xFF00, 0xFF0000, 0); break;
    default: break;
  }
  return pf;
}

// The DirectInput layer, loaded by name once per process, and the one DirectInput object
// that every DirectInput device shares, counted by its users.
namespace {
struct DirectInputShare {
  host::library_handle library = 0;
  DirectInputCreateEx_t create = nullptr;
  IDirectInput7A* object = nullptr;
  uint32_t uses = 0;
};
DirectInputShare& Share() {
  static DirectInputShare s;
  return s;
}
// The program's module instance as the create call expects one; the layer does not use it.
constexpr uintptr_t kModuleInstance = 0;
}  // namespace

bool VQdirectx_LoadDirectInput() {
  DirectInputShare& s = Share();
  if (s.library != 0) return true;
  const host::library_handle library = host::load_library(DINPUT_LIBRARY);
  if (library == 0) {
    VQdirectx_ReportError("Cannot load 'dinput.dll'", DX_OK);
    return false;
  }
  auto create = reinterpret_cast<DirectInputCreateEx_t>(host::get_proc_address(library, DINPUT_CREATE_EXPORT));
  if (create == nullptr) {
    VQdirectx_ReportError("Cannot get exported function in 'dinput.dll'", DX_OK);
    host::free_library(library);
    return false;
  }
  s.library = library;
  s.create = create;
  return true;
}

void* VQdirectx_CreateDirectInput() {
  DirectInputShare& s = Share();
  if (s.object == nullptr) {
    if (!VQdirectx_LoadDirectInput()) return nullptr;
    void* object = nullptr;
    g_VQdxResult = s.create(kModuleInstance, DIRECTINPUT_VERSION, IID_IDirectInput7A, &object, nullptr);
    if (dx_failed(g_VQdxResult) || object == nullptr) {
      if (g_VQdxReportErrors) VQdirectx_ReportError("VQdirectx_CreateDirectInput", g_VQdxResult);
      // Nobody uses the layer: it is not kept loaded (the next call loads it again).
      host::free_library(s.library);
      s.library = 0;
      s.create = nullptr;
      return nullptr;
    }
    s.object = static_cast<IDirectInput7A*>(object);
  }
  ++s.uses;
  return s.object;
}

void VQdirectx_ReleaseDirectInput() {
  DirectInputShare& s = Share();
  if (s.uses == 0) return;
  if (--s.uses > 0) return;
  if (s.object != nullptr) s.object->Release();
  s.object = nullptr;
  if (s.library != 0) host::free_library(s.library);
  s.library = 0;
  s.create = nullptr;
}

uint32_t VQdirectx_DirectInputUseCount() { return Share().uses; }
