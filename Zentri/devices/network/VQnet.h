// The sockets library of the connection device: the address record the game passes around,
// the table of the 26 Windows Sockets entry points the sockets call (filled at run time by
// loading "ws2_32.dll" through a loader, by default the host sockets layer), start-up and
// shut-down of that library, and the translation of its failures into engine error codes.
#pragma once

#include <cstdint>

#include "host/net/winsock.h"

// An IPv4 address and port as the game and the protocol layers pass them. The caller owns
// the record; a layer keeps its own copy (host text included).
struct VQNetAddress {
  uint32_t m_bytes[4] = {};  // the address bytes, most significant first, one byte value per word
  uint32_t m_reserved[4] = {};
  const char* m_host = nullptr;   // a host text (dotted address); null: use m_bytes
  uint32_t m_reserved9 = 0;
  uint32_t m_port = 0;      // host order
  uint32_t m_channel = 0;   // client records of a server: the client's channel number
  uint32_t m_unset = 0;     // 0 when the record holds an address, non-zero when it is unset
};

// A record for a.b.c.d:port (no host text).
VQNetAddress VQnet_MakeAddress(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t port);

constexpr uint32_t VQNET_ADDRESS_TEXT_SIZE = 16;  // "255.255.255.255" and its terminator
// Writes "a.b.c.d" of the address bytes into text (at least VQNET_ADDRESS_TEXT_SIZE bytes),
// or an empty text when the record is unset.
void VQnet_FormatAddress(const VQNetAddress* address, char* text);

// X(return type, member, Winsock name, parameter list) in load order.
#define VQNET_WINSOCK_FUNCTIONS(X)                                                                  \
  X(int, closesocket, "closesocket", (host::net::socket_handle s))                                  \
  X(int, gethostname, "gethostname", (char* name, int length))                                      \
  X(host::net::host_entry*, gethostbyname, "gethostbyname", (const char* name))                     \
  X(host::net::socket_handle, socket, "socket", (int family, int type, int protocol))               \
  X(int, bind, "bind", (host::net::socket_handle s, const host::net::socket_address* a, int length)) \
  X(int, setsockopt, "setsockopt",                                                                  \
    (host::net::socket_handle s, int level, int name, const char* value, int length))               \
  X(int, ioctlsocket, "ioctlsocket", (host::net::socket_handle s, long command, uint32_t* argument)) \
  X(int, recvfrom, "recvfrom",                                                                      \
    (host::net::socket_handle s, char* buffer, int length, int flags, host::net::socket_address* from, \
     int* fromLength))                                                                              \
  X(int, sendto, "sendto",                                                                          \
    (host::net::socket_handle s, const char* data, int length, int flags,                           \
     const host::net::socket_address* to, int toLength))                                            \
  X(int, listen, "listen", (host::net::socket_handle s, int backlog))                               \
  X(host::net::socket_handle, accept, "accept",                                                     \
    (host::net::socket_handle s, host::net::socket_address* a, int* length))                        \
  X(int, connect, "connect", (host::net::socket_handle s, const host::net::socket_address* a, int length)) \
  X(int, send, "send", (host::net::socket_handle s, const char* data, int length, int flags))       \
  X(int, recv, "recv", (host::net::socket_handle s, char* buffer, int length, int flags))           \
  X(int, select, "select",                                                                          \
    (int ignored, host::net::socket_set* readable, host::net::socket_set* writable,                 \
     host::net::socket_set* failed, const host::net::time_value* timeout))                          \
  X(int, shutdown, "shutdown", (host::net::socket_handle s, int how))                               \
  X(uint16_t, ntohs, "ntohs", (uint16_t value))                                                     \
  X(uint16_t, htons, "htons", (uint16_t value))                                                     \
  X(uint32_t, inet_addr, "inet_addr", (const char* text))                                           \
  X(char*, inet_ntoa, "inet_ntoa", (uint32_t address))                                              \
  X(int, WSAAsyncSelect, "WSAAsyncSelect",                                                          \
    (host::net::socket_handle s, uintptr_t window, uint32_t message, long events))                  \
  X(uintptr_t, WSAAsyncGetHostByName, "WSAAsyncGetHostByName",                                      \
    (uintptr_t window, uint32_t message, const char* name, char* buffer, int length))               \
  X(int, WSACleanup, "WSACleanup", ())                                                              \
  X(int, WSAStartup, "WSAStartup", (uint16_t version, host::net::startup_data* data))               \
  X(int, WSAGetLastError, "WSAGetLastError", ())                                                    \
  X(int, WSAFDIsSet, "__WSAFDIsSet", (host::net::socket_handle s, host::net::socket_set* set))

enum VQwinsockIndex : uint32_t {
#define VQNET_INDEX(ret, name, symbol, params) VQNETI_##name,
  VQNET_WINSOCK_FUNCTIONS(VQNET_INDEX)
#undef VQNET_INDEX
      VQNET_WINSOCK_FUNCTION_COUNT
};

struct VQwinsockTable {
#define VQNET_MEMBER(ret, name, symbol, params) ret(*name) params;
  VQNET_WINSOCK_FUNCTIONS(VQNET_MEMBER)
#undef VQNET_MEMBER
};

// The loaded entry points; every member is null while the library is not loaded.
extern VQwinsockTable g_VQwinsock;

// Where the library comes from: the stand-ins for LoadLibraryA, GetProcAddress and
// FreeLibrary. The default loader is the host sockets layer.
struct VQnetLoader {
  uintptr_t (*loadLibrary)(const char* name);  // 0 when the library cannot be loaded
  void* (*procAddress)(uintptr_t library, const char* name);
  void (*freeLibrary)(uintptr_t library);
};

// Replaces the loader (null restores the host one) and returns the previous one. Shuts a
// loaded library down first.
const VQnetLoader* VQnet_SetLoader(const VQnetLoader* loader);
// Loads "ws2_32.dll" and its 26 entry points in table order. The first missing name clears
// the table, frees the library and returns false; all found: true. Sets no error code.
bool VQnet_LoadWinsock();
bool VQnet_IsLoaded();
// Loads the library unless loaded, then starts it (version 1.1). Failure: error 1, false,
// and a library this call loaded is freed again.
bool VQnet_Startup();
// When loaded: cleans the library up, clears the table, frees the library.
void VQnet_Shutdown();

// The first address of this host's name into the address bytes (the other words cleared).
// Not loaded: error 32. Host name failures: 81 not found, 84 try again, 83 no recovery,
// 82 no data, 2 otherwise.
bool VQnet_GetLocalAddress(VQNetAddress* address);

// The target of broadcast messages (such as a game's discovery beacon). A target set here
// wins (null text clears it); else the broadcast address of the first interface that has
// one, from the host layer; else error 29 and false. Tests set a loopback target.
bool VQnet_SetBroadcastTarget(const char* dottedAddress);
bool VQnet_GetBroadcastAddress(VQNetAddress* address);

// Builds the 16-byte socket address of a record: port in network order, address from the
// host text or else the four bytes. An unset record, a byte above 255, a port above 65535
// or a text that is no dotted address: error 28, false.
bool VQnet_BuildSocketAddress(const VQNetAddress* address, host::net::socket_address* out);

// The engine code for the library's last error (WSAGetLastError); for instance would-block
// 67, closed or reset connections 61, a bad handle 65, a refused or unreachable peer 2.
int32_t VQnet_ErrorFromSocket();
// Sets g_VQerror from the library's last error and returns false.
bool VQnet_FailFromSocket();
