#include "ftp/passive_address.h"

#include <cstring>

bool ParsePassiveAddress(const char* reply, PassiveAddress* result) {
    const char* p = std::strchr(reply, '(');
    if (!p) return false;
    ++p;
    int numbers[6];
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (*p != ',') return false;
            ++p;
        }
        while (*p == ' ' || *p == '\t') ++p;
        if (*p < '0' || *p > '9') return false;
        int value = 0;
        // Stop counting past 255 so that a long run of digits cannot overflow.
        while (*p >= '0' && *p <= '9') {
            if (value <= 255) value = value * 10 + (*p - '0');
            ++p;
        }
        if (value > 255) return false;
        numbers[i] = value;
    }
    result->address = (static_cast<std::uint32_t>(numbers[0]) << 24) | (static_cast<std::uint32_t>(numbers[1]) << 16) |
                      (static_cast<std::uint32_t>(numbers[2]) << 8) | static_cast<std::uint32_t>(numbers[3]);
    result->port = static_cast<std::uint16_t>(numbers[4] * 256 + numbers[5]);
    return true;
}
