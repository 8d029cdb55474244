// The Win32 layer's sockets (Winsock 2).
#include "platform/win32/win32.h"

#include <cstring>

using namespace plat::win;

namespace plat {

static_assert(sizeof(sockaddr_in) == sizeof(::sockaddr_in));

int WSAStartup(WORD version, WSADATA* data) {
    ::WSADATA system{};
    int result = ::WSAStartup(version, &system);
    data->wVersion = system.wVersion;
    data->wHighVersion = system.wHighVersion;
    return result;
}

SOCKET socket(int family, int type, int protocol) { return ::socket(family, type, protocol); }
int closesocket(SOCKET socket) { return ::closesocket(socket); }

int connect(SOCKET socket, const sockaddr_in* address, int length) {
    ::sockaddr_in system{};
    system.sin_family = static_cast<short>(address->sin_family);
    system.sin_port = address->sin_port;
    system.sin_addr.s_addr = address->sin_addr;
    return ::connect(socket, reinterpret_cast<const ::sockaddr*>(&system), length);
}

int send(SOCKET socket, const char* data, int length, int flags) { return ::send(socket, data, length, flags); }
int recv(SOCKET socket, char* buffer, int length, int flags) { return ::recv(socket, buffer, length, flags); }

int select(SOCKET socket, SelectFor what, const timeval* timeLimit) {
    ::fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    ::timeval limit{timeLimit->tv_sec, timeLimit->tv_usec};
    return ::select(0, what == SelectFor::read ? &set : nullptr, what == SelectFor::write ? &set : nullptr, nullptr,
                    &limit);
}

bool gethostbyname(const char* name, std::uint32_t* address) {
    ::hostent* host = ::gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0]) return false;
    std::memcpy(address, host->h_addr_list[0], 4);
    return true;
}

std::uint16_t htons(std::uint16_t value) { return ::htons(value); }
std::uint32_t htonl(std::uint32_t value) { return ::htonl(value); }

}  // namespace plat
