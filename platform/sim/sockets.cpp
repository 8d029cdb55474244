// The simulated desktop's sockets: real BSD sockets underneath.
//
// A SOCKET is a handle of our own, mapped to its descriptor, so that a
// socket closed twice is caught (and counted) rather than closing whatever
// descriptor the system has handed out again since.
#include "platform/sim/desktop.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

using namespace sim::detail;

namespace {

// The descriptor of an open socket, or -1 (last error set) for any other value.
int Descriptor(plat::SOCKET socket) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto it = d.socketFds.find(socket);
    if (it == d.socketFds.end()) {
        plat::SetLastError(ErrorFromErrno(EBADF));
        return -1;
    }
    return it->second;
}

int Failed() {
    plat::SetLastError(ErrorFromErrno(errno));
    return plat::SOCKET_ERROR;
}

}  // namespace

namespace plat {

int WSAStartup(WORD version, WSADATA* data) {
    data->wVersion = version;
    data->wHighVersion = version;
    return 0;
}

SOCKET socket(int family, int type, int protocol) {
    if (Injected("socket")) return INVALID_SOCKET;
    if (family != AF_INET || type != SOCK_STREAM) {
        SetLastError(ErrorFromErrno(EAFNOSUPPORT));
        return INVALID_SOCKET;
    }
    int fd = ::socket(PF_INET, SOCK_STREAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SOCKET;
    }
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    SOCKET handle = NewHandle();
    d.socketFds[handle] = fd;
    d.sockets.push_back({handle, 0});
    return handle;
}

int closesocket(SOCKET socket) {
    // Counted before a fault can refuse it: the program meant to close it.
    int fd = -1;
    {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        for (auto& record : d.sockets)
            if (record.socket == socket) record.closes++;
    }
    if (Injected("closesocket")) return SOCKET_ERROR;
    {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        auto it = d.socketFds.find(socket);
        if (it != d.socketFds.end()) {
            fd = it->second;
            d.socketFds.erase(it);
        }
    }
    if (fd < 0) {
        SetLastError(ErrorFromErrno(EBADF));
        return SOCKET_ERROR;
    }
    return ::close(fd) == 0 ? 0 : Failed();
}

int connect(SOCKET socket, const sockaddr_in* address, int length) {
    if (Injected("connect")) return SOCKET_ERROR;
    int fd = Descriptor(socket);
    if (fd < 0) return SOCKET_ERROR;
    if (length != static_cast<int>(sizeof(sockaddr_in)) || address->sin_family != AF_INET) {
        SetLastError(ErrorFromErrno(EINVAL));
        return SOCKET_ERROR;
    }
    ::sockaddr_in system{};
    system.sin_family = AF_INET;
    system.sin_port = address->sin_port;
    system.sin_addr.s_addr = address->sin_addr;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const ::sockaddr*>(&system), sizeof system);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : Failed();
}

int send(SOCKET socket, const char* data, int length, int flags) {
    if (Injected("send")) return SOCKET_ERROR;
    int fd = Descriptor(socket);
    if (fd < 0) return SOCKET_ERROR;
    int limit;
    {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        limit = d.sendLimit;
    }
    if (limit > 0 && length > limit) length = limit;
    // A peer that has gone away gives an error, as Winsock does, not SIGPIPE.
    ssize_t count;
    do {
        count = ::send(fd, data, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
    } while (count < 0 && errno == EINTR);
    return count < 0 ? Failed() : static_cast<int>(count);
}

int recv(SOCKET socket, char* buffer, int length, int flags) {
    if (Injected("recv")) return SOCKET_ERROR;
    int fd = Descriptor(socket);
    if (fd < 0) return SOCKET_ERROR;
    ssize_t count;
    do {
        count = ::recv(fd, buffer, static_cast<std::size_t>(length), flags);
    } while (count < 0 && errno == EINTR);
    return count < 0 ? Failed() : static_cast<int>(count);
}

int select(SOCKET socket, SelectFor what, const timeval* timeLimit) {
    if (Injected("select")) return SOCKET_ERROR;
    int fd = Descriptor(socket);
    if (fd < 0) return SOCKET_ERROR;
    using namespace std::chrono;
    auto deadline = steady_clock::now() + seconds(timeLimit->tv_sec) + microseconds(timeLimit->tv_usec);
    ::pollfd entry{fd, static_cast<short>(what == SelectFor::read ? POLLIN : POLLOUT), 0};
    for (;;) {
        auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left < 0) left = 0;
        int result = ::poll(&entry, 1, static_cast<int>(left));
        if (result < 0 && errno == EINTR) continue;
        if (result < 0) return Failed();
        // An error or hang-up makes the socket ready, as select reports it:
        // the receive or send that follows gives the error.
        return result > 0 ? 1 : 0;
    }
}

bool gethostbyname(const char* name, std::uint32_t* address) {
    if (Injected("gethostbyname")) return false;
    ::addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ::addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || !list) {
        SetLastError(ErrorFromErrno(ENOENT));
        return false;
    }
    *address = reinterpret_cast<const ::sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(list);
    return true;
}

// The system headers may define htons and htonl as macros: the parentheses
// keep them off our names.
std::uint16_t(htons)(std::uint16_t value) { return static_cast<std::uint16_t>(::htons(value)); }
std::uint32_t(htonl)(std::uint32_t value) { return static_cast<std::uint32_t>(::htonl(value)); }

}  // namespace plat

namespace sim {

void LimitSendSize(int bytes) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().sendLimit = bytes;
}

}  // namespace sim
