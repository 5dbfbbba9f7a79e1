// Host sockets layer: the stand-in for the Windows Sockets 1.1 library, over POSIX sockets.
//
// The engine loads this layer by library name and entry-point name, as it would load the
// system library (load_library / proc_address / free_library): the only library name known
// here is "ws2_32.dll", and each of its entry points is found by its Winsock name. Every
// function keeps the Winsock contract: a failure returns socket_error (or invalid_socket,
// or null) and leaves a Winsock error number for wsa_get_last_error(); calls made before
// wsa_startup fail with wsa_error::not_initialised.
//
// Differences that keep a game loop safe on Linux: sends never raise SIGPIPE (a closed peer
// gives wsa_error::connection_reset or shutdown instead); select is carried out with poll,
// so handles of any value may be polled; a set holds at most fd_set_size handles.
//
// Addresses, ports and the 16-byte socket address are in network byte order, as in Winsock.
// Handles are per process; the last error is per thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host::net {

using socket_handle = uintptr_t;
constexpr socket_handle invalid_socket = ~static_cast<socket_handle>(0);
constexpr int socket_error = -1;

// Values the Winsock interface gives by number.
constexpr int af_inet = 2;
constexpr int sock_stream = 1;
constexpr int sock_dgram = 2;
constexpr int sol_socket = 0xffff;
constexpr int so_reuseaddr = 0x0004;
constexpr int so_broadcast = 0x0020;
constexpr long fionbio = static_cast<long>(0x8004667eL);
constexpr int sd_receive = 0;
constexpr int sd_send = 1;
constexpr int sd_both = 2;
constexpr uint16_t winsock_version_1_1 = 0x0101;
constexpr uint32_t inaddr_none = 0xffffffffu;

// Winsock error numbers returned by wsa_get_last_error.
namespace wsa_error {
constexpr int interrupted = 10004;
constexpr int bad_handle = 10009;
constexpr int access_denied = 10013;
constexpr int fault = 10014;
constexpr int invalid_argument = 10022;
constexpr int too_many_sockets = 10024;
constexpr int would_block = 10035;
constexpr int in_progress = 10036;
constexpr int not_socket = 10038;
constexpr int message_size = 10040;
constexpr int not_supported = 10045;
constexpr int address_in_use = 10048;
constexpr int address_unavailable = 10049;
constexpr int network_down = 10050;
constexpr int network_unreachable = 10051;
constexpr int connection_aborted = 10053;
constexpr int connection_reset = 10054;
constexpr int no_buffers = 10055;
constexpr int is_connected = 10056;
constexpr int not_connected = 10057;
constexpr int shutdown = 10058;
constexpr int timed_out = 10060;
constexpr int connection_refused = 10061;
constexpr int host_unreachable = 10065;
constexpr int not_initialised = 10093;
constexpr int host_not_found = 11001;
constexpr int try_again = 11002;
constexpr int no_recovery = 11003;
constexpr int no_data = 11004;
}  // namespace wsa_error

// The 16-byte IPv4 socket address: family, port (network order), address (network order).
struct socket_address {
  uint16_t family = 0;
  uint16_t port = 0;
  uint32_t address = 0;
  uint8_t zero[8] = {};
};
static_assert(sizeof(socket_address) == 16);

// A host entry as gethostbyname gives it; owned by the layer, valid until the next call on
// the same thread.
struct host_entry {
  char* name;
  char** aliases;
  int16_t address_type;
  int16_t length;
  char** address_list;  // null-terminated list of `length`-byte addresses
};

constexpr uint32_t fd_set_size = 64;
struct socket_set {
  uint32_t count = 0;
  socket_handle handles[fd_set_size] = {};
};

struct time_value {
  int32_t seconds = 0;
  int32_t microseconds = 0;
};

struct startup_data {
  uint16_t version = 0;
  uint16_t high_version = 0;
  char description[257] = {};
  char system_status[129] = {};
};

// Adds a handle to a set; false when the set is full (the handle is then not polled).
bool set_add(socket_set* set, socket_handle h);

// ---- The library's entry points (the engine finds them by their Winsock names).
int close_socket(socket_handle s);
int get_host_name(char* name, int length);
host_entry* get_host_by_name(const char* name);
socket_handle open_socket(int family, int type, int protocol);
int bind_socket(socket_handle s, const socket_address* address, int length);
int set_socket_option(socket_handle s, int level, int name, const char* value, int length);
int io_control(socket_handle s, long command, uint32_t* argument);
int receive_from(socket_handle s, char* buffer, int length, int flags, socket_address* from,
                 int* from_length);
int send_to(socket_handle s, const char* data, int length, int flags, const socket_address* to,
            int to_length);
int listen_socket(socket_handle s, int backlog);
socket_handle accept_socket(socket_handle s, socket_address* address, int* length);
int connect_socket(socket_handle s, const socket_address* address, int length);
int send_socket(socket_handle s, const char* data, int length, int flags);
int receive_socket(socket_handle s, char* buffer, int length, int flags);
// Waits at most `timeout` (null: forever) and leaves in each set only the handles that are
// ready; the result counts them (0 on time-out).
int select_sockets(int ignored, socket_set* readable, socket_set* writable, socket_set* failed,
                   const time_value* timeout);
int shutdown_socket(socket_handle s, int how);
uint16_t net_to_host_short(uint16_t value);
uint16_t host_to_net_short(uint16_t value);
// Dotted text to a network-order address; inaddr_none when the text is not one.
uint32_t inet_address(const char* text);
// Network-order address to dotted text, in a per-thread buffer.
char* inet_text(uint32_t address);
// Window-message notification is not available here: both fail with not_supported.
int async_select(socket_handle s, uintptr_t window, uint32_t message, long events);
uintptr_t async_get_host_by_name(uintptr_t window, uint32_t message, const char* name,
                                 char* buffer, int length);
int wsa_cleanup();
int wsa_startup(uint16_t version, startup_data* data);
int wsa_get_last_error();
int fd_is_set(socket_handle s, socket_set* set);

// ---- The loader: the engine's stand-in for LoadLibrary / GetProcAddress / FreeLibrary.
using library_handle = uintptr_t;  // 0 = none
// The layer for a library name ("ws2_32.dll", in any letter case), or 0 when there is none.
library_handle load_library(const char* name);
// Address of an entry point by its Winsock name; null for an unknown name or library.
void* proc_address(library_handle library, const char* name);
void free_library(library_handle library);

// ---- Beyond Winsock 1.1.
// The port a socket is bound to, in host order; 0 when unbound or on failure.
uint16_t local_port(socket_handle s);
// IPv4 addresses (network order) of the interfaces that are up, from getifaddrs; with
// broadcast set, the broadcast address of each interface that has one. Returns how many
// were written (at most max).
int interface_addresses(uint32_t* out, int max, bool broadcast);

}  // namespace host::net
