// Winsock-shaped sockets over POSIX: non-blocking mode through O_NONBLOCK, select through
// poll, sends with MSG_NOSIGNAL, names through getaddrinfo, interfaces through getifaddrs.
#include "host/net/winsock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace host::net {

namespace {

std::atomic<int> s_startups{0};
thread_local int t_lastError = 0;

int Fail(int wsaError) {
  t_lastError = wsaError;
  return socket_error;
}

int WsaFromErrno(int e) {
  switch (e) {
    case EINTR: return wsa_error::interrupted;
    case EBADF: return wsa_error::bad_handle;
    case EACCES:
    case EPERM: return wsa_error::access_denied;
    case EFAULT: return wsa_error::fault;
    case EINVAL: return wsa_error::invalid_argument;
    case EMFILE:
    case ENFILE: return wsa_error::too_many_sockets;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK: return wsa_error::would_block;
    case EINPROGRESS: return wsa_error::in_progress;
    case ENOTSOCK: return wsa_error::not_socket;
    case EMSGSIZE: return wsa_error::message_size;
    case EOPNOTSUPP: return wsa_error::not_supported;
    case EADDRINUSE: return wsa_error::address_in_use;
    case EADDRNOTAVAIL: return wsa_error::address_unavailable;
    case ENETDOWN: return wsa_error::network_down;
    case ENETUNREACH: return wsa_error::network_unreachable;
    case ECONNABORTED: return wsa_error::connection_aborted;
    case ECONNRESET: return wsa_error::connection_reset;
    case ENOBUFS:
    case ENOMEM: return wsa_error::no_buffers;
    case EISCONN: return wsa_error::is_connected;
    case ENOTCONN: return wsa_error::not_connected;
    case EPIPE: return wsa_error::shutdown;
    case ETIMEDOUT: return wsa_error::timed_out;
    case ECONNREFUSED: return wsa_error::connection_refused;
    case EHOSTUNREACH: return wsa_error::host_unreachable;
    default: return wsa_error::network_down;
  }
}

int FailErrno() { return Fail(WsaFromErrno(errno)); }

bool Started() {
  if (s_startups.load() > 0) return true;
  t_lastError = wsa_error::not_initialised;
  return false;
}

// A handle as a descriptor; -1 for handles no descriptor can have.
int Fd(socket_handle s) {
  if (s == invalid_socket || s > static_cast<socket_handle>(INT32_MAX)) return -1;
  return static_cast<int>(s);
}

int FdOrFail(socket_handle s) {
  int fd = Fd(s);
  if (fd < 0) t_lastError = wsa_error::not_socket;
  return fd;
}

bool ToSockaddr(const socket_address* a, int length, sockaddr_in* out) {
  if (a == nullptr || length < static_cast<int>(sizeof(socket_address))) return false;
  std::memset(out, 0, sizeof(*out));
  if (a->family != af_inet) return false;
  out->sin_family = AF_INET;
  out->sin_port = a->port;
  out->sin_addr.s_addr = a->address;
  return true;
}

void FromSockaddr(const sockaddr_in& in, socket_address* out, int* length) {
  if (out == nullptr || length == nullptr || *length < static_cast<int>(sizeof(socket_address))) return;
  *out = socket_address{};
  out->family = af_inet;
  out->port = in.sin_port;
  out->address = in.sin_addr.s_addr;
  *length = sizeof(socket_address);
}

// Socket options by Winsock (level, name).
bool PosixOption(int level, int name, int* posixLevel, int* posixName) {
  if (level != sol_socket) return false;
  *posixLevel = SOL_SOCKET;
  switch (name) {
    case so_reuseaddr: *posixName = SO_REUSEADDR; return true;
    case so_broadcast: *posixName = SO_BROADCAST; return true;
    default: return false;
  }
}

// The socket_set form of select: builds one poll list of every handle named in any set.
constexpr uint32_t kMaxPolled = 3 * fd_set_size;

}  // namespace

bool set_add(socket_set* set, socket_handle h) {
  if (set == nullptr) return false;
  for (uint32_t i = 0; i < set->count; ++i)
    if (set->handles[i] == h) return true;
  if (set->count >= fd_set_size) return false;
  set->handles[set->count++] = h;
  return true;
}

int close_socket(socket_handle s) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (::close(fd) != 0) return FailErrno();
  return 0;
}

int get_host_name(char* name, int length) {
  if (!Started()) return socket_error;
  if (name == nullptr || length <= 0) return Fail(wsa_error::fault);
  if (::gethostname(name, static_cast<size_t>(length)) != 0) return Fail(wsa_error::fault);
  if (std::memchr(name, 0, static_cast<size_t>(length)) == nullptr) return Fail(wsa_error::fault);
  return 0;
}

host_entry* get_host_by_name(const char* name) {
  if (!Started()) return nullptr;
  if (name == nullptr) {
    t_lastError = wsa_error::fault;
    return nullptr;
  }
  constexpr int kMaxAddresses = 16;
  thread_local char t_name[256];
  thread_local uint32_t t_addresses[kMaxAddresses];
  thread_local char* t_list[kMaxAddresses + 1];
  thread_local char* t_aliases[1];
  thread_local host_entry t_entry;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = ::getaddrinfo(name, nullptr, &hints, &found);
  if (rc != 0) {
    switch (rc) {
      case EAI_AGAIN: t_lastError = wsa_error::try_again; break;
      case EAI_FAIL: t_lastError = wsa_error::no_recovery; break;
#ifdef EAI_NODATA
      case EAI_NODATA: t_lastError = wsa_error::no_data; break;
#endif
      case EAI_NONAME: t_lastError = wsa_error::host_not_found; break;
      default: t_lastError = wsa_error::no_recovery; break;
    }
    return nullptr;
  }
  int count = 0;
  for (addrinfo* a = found; a != nullptr && count < kMaxAddresses; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
    bool seen = false;
    for (int i = 0; i < count; ++i) seen = seen || t_addresses[i] == address;
    if (!seen) t_addresses[count++] = address;
  }
  ::freeaddrinfo(found);
  if (count == 0) {
    t_lastError = wsa_error::no_data;
    return nullptr;
  }
  std::snprintf(t_name, sizeof(t_name), "%s", name);
  for (int i = 0; i < count; ++i) t_list[i] = reinterpret_cast<char*>(&t_addresses[i]);
  t_list[count] = nullptr;
  t_aliases[0] = nullptr;
  t_entry = host_entry{t_name, t_aliases, af_inet, 4, t_list};
  return &t_entry;
}

socket_handle open_socket(int family, int type, int protocol) {
  if (!Started()) return invalid_socket;
  if (family != af_inet) {
    t_lastError = wsa_error::not_supported;
    return invalid_socket;
  }
  int posixType = type == sock_stream ? SOCK_STREAM : type == sock_dgram ? SOCK_DGRAM : -1;
  if (posixType < 0) {
    t_lastError = wsa_error::not_supported;
    return invalid_socket;
  }
  int fd = ::socket(AF_INET, posixType | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailErrno();
    return invalid_socket;
  }
  return static_cast<socket_handle>(fd);
}

int bind_socket(socket_handle s, const socket_address* address, int length) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  sockaddr_in in;
  if (!ToSockaddr(address, length, &in)) return Fail(wsa_error::fault);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof(in)) != 0) return FailErrno();
  return 0;
}

int set_socket_option(socket_handle s, int level, int name, const char* value, int length) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  int posixLevel = 0, posixName = 0;
  if (!PosixOption(level, name, &posixLevel, &posixName)) return Fail(wsa_error::not_supported);
  if (value == nullptr || length < static_cast<int>(sizeof(int32_t))) return Fail(wsa_error::fault);
  int32_t v;
  std::memcpy(&v, value, sizeof(v));
  int on = v != 0;
  if (::setsockopt(fd, posixLevel, posixName, &on, sizeof(on)) != 0) return FailErrno();
  return 0;
}

int io_control(socket_handle s, long command, uint32_t* argument) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (command != fionbio) return Fail(wsa_error::invalid_argument);
  if (argument == nullptr) return Fail(wsa_error::fault);
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return FailErrno();
  flags = *argument != 0 ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  if (::fcntl(fd, F_SETFL, flags) != 0) return FailErrno();
  return 0;
}

int receive_from(socket_handle s, char* buffer, int length, int flags, socket_address* from,
                 int* from_length) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (flags != 0) return Fail(wsa_error::not_supported);
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(wsa_error::fault);
  sockaddr_in in{};
  socklen_t inLength = sizeof(in);
  ssize_t n = ::recvfrom(fd, buffer, static_cast<size_t>(length), MSG_TRUNC,
                         reinterpret_cast<sockaddr*>(&in), &inLength);
  if (n < 0) return FailErrno();
  if (n > length) return Fail(wsa_error::message_size);  // datagram cut short, as in Winsock
  FromSockaddr(in, from, from_length);
  return static_cast<int>(n);
}

int send_to(socket_handle s, const char* data, int length, int flags, const socket_address* to,
            int to_length) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (flags != 0) return Fail(wsa_error::not_supported);
  if (length < 0 || (data == nullptr && length > 0)) return Fail(wsa_error::fault);
  sockaddr_in in;
  if (!ToSockaddr(to, to_length, &in)) return Fail(wsa_error::fault);
  ssize_t n = ::sendto(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                       reinterpret_cast<const sockaddr*>(&in), sizeof(in));
  if (n < 0) return FailErrno();
  return static_cast<int>(n);
}

int listen_socket(socket_handle s, int backlog) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (::listen(fd, backlog) != 0) return FailErrno();
  return 0;
}

socket_handle accept_socket(socket_handle s, socket_address* address, int* length) {
  if (!Started()) return invalid_socket;
  int fd = FdOrFail(s);
  if (fd < 0) return invalid_socket;
  sockaddr_in in{};
  socklen_t inLength = sizeof(in);
  int client = ::accept4(fd, reinterpret_cast<sockaddr*>(&in), &inLength, SOCK_CLOEXEC);
  if (client < 0) {
    FailErrno();
    return invalid_socket;
  }
  FromSockaddr(in, address, length);
  return static_cast<socket_handle>(client);
}

int connect_socket(socket_handle s, const socket_address* address, int length) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  sockaddr_in in;
  if (!ToSockaddr(address, length, &in)) return Fail(wsa_error::fault);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&in), sizeof(in));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return FailErrno();
  return 0;
}

int send_socket(socket_handle s, const char* data, int length, int flags) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (flags != 0) return Fail(wsa_error::not_supported);
  if (length < 0 || (data == nullptr && length > 0)) return Fail(wsa_error::fault);
  ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (n < 0) return FailErrno();
  return static_cast<int>(n);
}

int receive_socket(socket_handle s, char* buffer, int length, int flags) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  if (flags != 0) return Fail(wsa_error::not_supported);
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(wsa_error::fault);
  ssize_t n = ::recv(fd, buffer, static_cast<size_t>(length), 0);
  if (n < 0) return FailErrno();
  return static_cast<int>(n);
}

int select_sockets(int, socket_set* readable, socket_set* writable, socket_set* failed,
                   const time_value* timeout) {
  if (!Started()) return socket_error;
  socket_set* sets[3] = {readable, writable, failed};
  const short wanted[3] = {POLLIN, POLLOUT, POLLPRI};
  pollfd polled[kMaxPolled];
  int setOf[kMaxPolled];
  nfds_t n = 0;
  for (int k = 0; k < 3; ++k) {
    if (sets[k] == nullptr) continue;
    if (sets[k]->count > fd_set_size) return Fail(wsa_error::invalid_argument);
    for (uint32_t i = 0; i < sets[k]->count; ++i) {
      int fd = Fd(sets[k]->handles[i]);
      if (fd < 0) return Fail(wsa_error::not_socket);
      polled[n] = pollfd{fd, wanted[k], 0};
      setOf[n] = k;
      ++n;
    }
  }
  if (n == 0) return Fail(wsa_error::invalid_argument);  // Winsock refuses empty selects
  int waitMs = -1;
  if (timeout != nullptr) {
    if (timeout->seconds < 0 || timeout->microseconds < 0) return Fail(wsa_error::invalid_argument);
    long long ms = static_cast<long long>(timeout->seconds) * 1000 + (timeout->microseconds + 999) / 1000;
    waitMs = ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
  }
  int rc;
  do {
    rc = ::poll(polled, n, waitMs);
  } while (rc < 0 && errno == EINTR && waitMs == 0);
  if (rc < 0) return FailErrno();
  for (nfds_t i = 0; i < n; ++i)
    if (polled[i].revents & POLLNVAL) return Fail(wsa_error::not_socket);
  int ready = 0;
  for (int k = 0; k < 3; ++k)
    if (sets[k] != nullptr) sets[k]->count = 0;
  for (nfds_t i = 0; i < n; ++i) {
    short got = polled[i].revents;
    // A closed or failed connection counts as readable (the read then reports it) and as
    // writable (the send then reports it), as select does.
    bool isReady = setOf[i] == 2 ? (got & POLLPRI) != 0
                                 : (got & (polled[i].events | POLLERR | POLLHUP)) != 0;
    if (!isReady) continue;
    socket_set* set = sets[setOf[i]];
    set->handles[set->count++] = static_cast<socket_handle>(polled[i].fd);
    ++ready;
  }
  return ready;
}

int shutdown_socket(socket_handle s, int how) {
  if (!Started()) return socket_error;
  int fd = FdOrFail(s);
  if (fd < 0) return socket_error;
  int posixHow = how == sd_receive ? SHUT_RD : how == sd_send ? SHUT_WR : how == sd_both ? SHUT_RDWR : -1;
  if (posixHow < 0) return Fail(wsa_error::invalid_argument);
  if (::shutdown(fd, posixHow) != 0) return FailErrno();
  return 0;
}

uint16_t net_to_host_short(uint16_t value) { return ntohs(value); }
uint16_t host_to_net_short(uint16_t value) { return htons(value); }

uint32_t inet_address(const char* text) {
  if (text == nullptr) return inaddr_none;
  in_addr a{};
  if (::inet_pton(AF_INET, text, &a) != 1) return inaddr_none;
  return a.s_addr;
}

char* inet_text(uint32_t address) {
  thread_local char t_text[INET_ADDRSTRLEN];
  in_addr a{};
  a.s_addr = address;
  if (::inet_ntop(AF_INET, &a, t_text, sizeof(t_text)) == nullptr) return nullptr;
  return t_text;
}

int async_select(socket_handle, uintptr_t, uint32_t, long) {
  if (!Started()) return socket_error;
  return Fail(wsa_error::not_supported);
}

uintptr_t async_get_host_by_name(uintptr_t, uint32_t, const char*, char*, int) {
  if (!Started()) return 0;
  t_lastError = wsa_error::not_supported;
  return 0;
}

int wsa_cleanup() {
  int n = s_startups.load();
  while (n > 0 && !s_startups.compare_exchange_weak(n, n - 1)) {
  }
  if (n <= 0) return Fail(wsa_error::not_initialised);
  return 0;
}

int wsa_startup(uint16_t version, startup_data* data) {
  // Version 1.1 or later is offered; the request's low byte is the major version.
  uint8_t major = static_cast<uint8_t>(version & 0xff);
  uint8_t minor = static_cast<uint8_t>(version >> 8);
  if (major < 1 || (major == 1 && minor < 1)) return wsa_error::invalid_argument;
  if (data == nullptr) return wsa_error::fault;
  *data = startup_data{};
  data->version = winsock_version_1_1;
  data->high_version = winsock_version_1_1;
  std::snprintf(data->description, sizeof(data->description), "%s", "host sockets over POSIX");
  std::snprintf(data->system_status, sizeof(data->system_status), "%s", "running");
  s_startups.fetch_add(1);
  return 0;
}

int wsa_get_last_error() { return t_lastError; }

int fd_is_set(socket_handle s, socket_set* set) {
  if (set == nullptr) return 0;
  for (uint32_t i = 0; i < set->count && i < fd_set_size; ++i)
    if (set->handles[i] == s) return 1;
  return 0;
}

// ---- Loader.

namespace {

struct Entry {
  const char* name;
  void* address;
};

template <typename F>
void* Address(F* f) {
  return reinterpret_cast<void*>(f);
}

const Entry kEntries[] = {
    {"closesocket", Address(close_socket)},
    {"gethostname", Address(get_host_name)},
    {"gethostbyname", Address(get_host_by_name)},
    {"socket", Address(open_socket)},
    {"bind", Address(bind_socket)},
    {"setsockopt", Address(set_socket_option)},
    {"ioctlsocket", Address(io_control)},
    {"recvfrom", Address(receive_from)},
    {"sendto", Address(send_to)},
    {"listen", Address(listen_socket)},
    {"accept", Address(accept_socket)},
    {"connect", Address(connect_socket)},
    {"send", Address(send_socket)},
    {"recv", Address(receive_socket)},
    {"select", Address(select_sockets)},
    {"shutdown", Address(shutdown_socket)},
    {"ntohs", Address(net_to_host_short)},
    {"htons", Address(host_to_net_short)},
    {"inet_addr", Address(inet_address)},
    {"inet_ntoa", Address(inet_text)},
    {"WSAAsyncSelect", Address(async_select)},
    {"WSAAsyncGetHostByName", Address(async_get_host_by_name)},
    {"WSACleanup", Address(wsa_cleanup)},
    {"WSAStartup", Address(wsa_startup)},
    {"WSAGetLastError", Address(wsa_get_last_error)},
    {"__WSAFDIsSet", Address(fd_is_set)},
};

constexpr library_handle kSocketsLibrary = 1;
std::atomic<int> s_libraryLoads{0};

}  // namespace

library_handle load_library(const char* name) {
  if (name == nullptr || ::strcasecmp(name, "ws2_32.dll") != 0) return 0;
  s_libraryLoads.fetch_add(1);
  return kSocketsLibrary;
}

void* proc_address(library_handle library, const char* name) {
  if (library != kSocketsLibrary || name == nullptr) return nullptr;
  for (const Entry& e : kEntries)
    if (std::strcmp(e.name, name) == 0) return e.address;
  return nullptr;
}

void free_library(library_handle library) {
  if (library == kSocketsLibrary) s_libraryLoads.fetch_sub(1);
}

uint16_t local_port(socket_handle s) {
  int fd = Fd(s);
  if (fd < 0) return 0;
  sockaddr_in in{};
  socklen_t length = sizeof(in);
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length) != 0 || in.sin_family != AF_INET) return 0;
  return ntohs(in.sin_port);
}

int interface_addresses(uint32_t* out, int max, bool broadcast) {
  if (out == nullptr || max <= 0) return 0;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return 0;
  int count = 0;
  for (ifaddrs* i = list; i != nullptr && count < max; i = i->ifa_next) {
    if (!(i->ifa_flags & IFF_UP)) continue;
    const sockaddr* a = broadcast ? i->ifa_broadaddr : i->ifa_addr;
    if (broadcast && !(i->ifa_flags & IFF_BROADCAST)) continue;
    if (a == nullptr || a->sa_family != AF_INET) continue;
    out[count++] = reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr;
  }
  ::freeifaddrs(list);
  return count;
}

}  // namespace host::net
