// The simulated desktop's sockets: real BSD sockets. (Filled in with the FTP client.)
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

int WSAStartup(WORD version, WSADATA* data) {
    data->wVersion = version;
    data->wHighVersion = version;
    return 0;
}
SOCKET socket(int, int, int) { return INVALID_SOCKET; }
int closesocket(SOCKET) { return SOCKET_ERROR; }
int connect(SOCKET, const sockaddr_in*, int) { return SOCKET_ERROR; }
int send(SOCKET, const char*, int, int) { return SOCKET_ERROR; }
int recv(SOCKET, char*, int, int) { return SOCKET_ERROR; }
int select(SOCKET, SelectFor, const timeval*) { return SOCKET_ERROR; }
bool gethostbyname(const char*, std::uint32_t*) { return false; }
std::uint16_t htons(std::uint16_t value) { return static_cast<std::uint16_t>((value >> 8) | (value << 8)); }
std::uint32_t htonl(std::uint32_t value) { return __builtin_bswap32(value); }

}  // namespace plat
