#include "Zentri/devices/network/VQnet.h"

#include <cstdio>
#include <cstring>

#include "Zentri/util/VQerror.h"

VQwinsockTable g_VQwinsock = {};

namespace {

const char* const kLibraryName = "ws2_32.dll";
constexpr uint32_t kHostNameSize = 256;
constexpr uint32_t kMaxInterfaces = 16;

const char* const kSymbols[VQNET_WINSOCK_FUNCTION_COUNT] = {
#define VQNET_SYMBOL(ret, name, symbol, params) symbol,
    VQNET_WINSOCK_FUNCTIONS(VQNET_SYMBOL)
#undef VQNET_SYMBOL
};

const VQnetLoader kHostLoader = {host::net::load_library, host::net::proc_address,
                                 host::net::free_library};

const VQnetLoader* s_loader = &kHostLoader;
uintptr_t s_library = 0;
bool s_loaded = false;
char s_broadcastTarget[VQNET_ADDRESS_TEXT_SIZE] = {};

void SetEntry(uint32_t index, void* address) {
  switch (index) {
#define VQNET_SET(ret, name, symbol, params)                     \
  case VQNETI_##name:                                            \
    g_VQwinsock.name = reinterpret_cast<ret(*) params>(address); \
    break;
    VQNET_WINSOCK_FUNCTIONS(VQNET_SET)
#undef VQNET_SET
    default:
      break;
  }
}

void ClearTable() { g_VQwinsock = VQwinsockTable{}; }

void Unload() {
  ClearTable();
  if (s_library != 0) s_loader->freeLibrary(s_library);
  s_library = 0;
  s_loaded = false;
}

// Fills the four address bytes from a network-order address.
void SetBytes(VQNetAddress* address, uint32_t networkOrder) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&networkOrder);
  for (int i = 0; i < 4; ++i) address->m_bytes[i] = b[i];
}

}  // namespace

VQNetAddress VQnet_MakeAddress(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t port) {
  VQNetAddress address{};
  address.m_bytes[0] = a;
  address.m_bytes[1] = b;
  address.m_bytes[2] = c;
  address.m_bytes[3] = d;
  address.m_port = port;
  return address;
}

void VQnet_FormatAddress(const VQNetAddress* address, char* text) {
  if (text == nullptr) return;
  text[0] = '\0';
  if (address == nullptr || address->m_unset != 0) return;
  std::snprintf(text, VQNET_ADDRESS_TEXT_SIZE, "%u.%u.%u.%u", address->m_bytes[0] & 0xff,
                address->m_bytes[1] & 0xff, address->m_bytes[2] & 0xff, address->m_bytes[3] & 0xff);
}

const VQnetLoader* VQnet_SetLoader(const VQnetLoader* loader) {
  if (s_loaded) {
    if (g_VQwinsock.WSACleanup) g_VQwinsock.WSACleanup();
    Unload();
  }
  const VQnetLoader* previous = s_loader;
  s_loader = loader ? loader : &kHostLoader;
  return previous;
}

bool VQnet_LoadWinsock() {
  if (s_loaded) return true;
  uintptr_t library = s_loader->loadLibrary(kLibraryName);
  if (library == 0) return false;
  s_library = library;
  for (uint32_t i = 0; i < VQNET_WINSOCK_FUNCTION_COUNT; ++i) {
    void* address = s_loader->procAddress(library, kSymbols[i]);
    if (address == nullptr) {
      Unload();
      return false;
    }
    SetEntry(i, address);
  }
  s_loaded = true;
  return true;
}

bool VQnet_IsLoaded() { return s_loaded; }

bool VQnet_Startup() {
  bool loadedHere = false;
  if (!s_loaded) {
    if (!VQnet_LoadWinsock()) return VQerror_Fail(VQERR_SYSTEM_CALL);
    loadedHere = true;
  }
  host::net::startup_data data;
  if (g_VQwinsock.WSAStartup(host::net::winsock_version_1_1, &data) != 0) {
    if (loadedHere) Unload();
    return VQerror_Fail(VQERR_SYSTEM_CALL);
  }
  return true;
}

void VQnet_Shutdown() {
  if (!s_loaded) return;
  g_VQwinsock.WSACleanup();
  Unload();
}

bool VQnet_GetLocalAddress(VQNetAddress* address) {
  if (!s_loaded) return VQerror_Fail(VQERR_NOT_OPEN);
  if (address == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  char name[kHostNameSize];
  if (g_VQwinsock.gethostname(name, sizeof(name)) != 0) return VQnet_FailFromSocket();
  host::net::host_entry* entry = g_VQwinsock.gethostbyname(name);
  if (entry == nullptr || entry->address_list == nullptr || entry->address_list[0] == nullptr ||
      entry->length != 4) {
    switch (entry == nullptr ? g_VQwinsock.WSAGetLastError() : host::net::wsa_error::no_data) {
      case host::net::wsa_error::host_not_found: return VQerror_Fail(VQERR_HOST_NOT_FOUND);
      case host::net::wsa_error::try_again: return VQerror_Fail(VQERR_HOST_LOOKUP_AGAIN);
      case host::net::wsa_error::no_recovery: return VQerror_Fail(VQERR_HOST_LOOKUP_FAILED);
      case host::net::wsa_error::no_data: return VQerror_Fail(VQERR_HOST_NO_ADDRESS);
      default: return VQerror_Fail(VQERR_SYSTEM);
    }
  }
  uint32_t first;
  std::memcpy(&first, entry->address_list[0], sizeof(first));
  *address = VQNetAddress{};
  SetBytes(address, first);
  return true;
}

bool VQnet_SetBroadcastTarget(const char* dottedAddress) {
  if (dottedAddress == nullptr) {
    s_broadcastTarget[0] = '\0';
    return true;
  }
  if (std::strlen(dottedAddress) >= sizeof(s_broadcastTarget) ||
      host::net::inet_address(dottedAddress) == host::net::inaddr_none)
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::snprintf(s_broadcastTarget, sizeof(s_broadcastTarget), "%s", dottedAddress);
  return true;
}

bool VQnet_GetBroadcastAddress(VQNetAddress* address) {
  if (address == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  uint32_t found = 0;
  if (s_broadcastTarget[0] != '\0') {
    found = host::net::inet_address(s_broadcastTarget);
  } else {
    uint32_t list[kMaxInterfaces];
    if (host::net::interface_addresses(list, kMaxInterfaces, true) < 1) return VQerror_Fail(VQERR_NOT_FOUND);
    found = list[0];
  }
  uint32_t port = address->m_port;
  *address = VQNetAddress{};
  SetBytes(address, found);
  address->m_port = port;
  return true;
}

bool VQnet_BuildSocketAddress(const VQNetAddress* address, host::net::socket_address* out) {
  if (address == nullptr || out == nullptr || address->m_unset != 0 || address->m_port > 0xffff)
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  char text[VQNET_ADDRESS_TEXT_SIZE];
  const char* dotted = address->m_host;
  if (dotted == nullptr) {
    for (uint32_t b : address->m_bytes)
      if (b > 0xff) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    VQnet_FormatAddress(address, text);
    dotted = text;
  }
  // inet_addr answers "no address" with the value of 255.255.255.255: only that text may
  // give it, so a mistyped host never becomes a broadcast.
  uint32_t value = host::net::inet_address(dotted);
  if (value == host::net::inaddr_none && std::strcmp(dotted, "255.255.255.255") != 0)
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  *out = host::net::socket_address{};
  out->family = host::net::af_inet;
  out->port = host::net::host_to_net_short(static_cast<uint16_t>(address->m_port));
  out->address = value;
  return true;
}

int32_t VQnet_ErrorFromSocket() {
  namespace e = host::net::wsa_error;
  int code = s_loaded ? g_VQwinsock.WSAGetLastError() : e::not_initialised;
  switch (code) {
    case e::interrupted: return VQERR_INTERRUPTED;
    case e::bad_handle:
    case e::not_socket: return VQERR_BAD_HANDLE;
    case e::access_denied: return VQERR_ACCESS_DENIED;
    case e::invalid_argument:
    case e::fault: return VQERR_INVALID_ARGUMENT;
    case e::would_block:
    case e::in_progress: return VQERR_TRY_AGAIN;
    case e::connection_aborted:
    case e::connection_reset:
    case e::not_connected:
    case e::shutdown: return VQERR_SOCKET_CLOSED;
    case e::not_initialised: return VQERR_NOT_OPEN;
    default: return VQERR_SYSTEM;
  }
}

bool VQnet_FailFromSocket() { return VQerror_Fail(VQnet_ErrorFromSocket()); }
