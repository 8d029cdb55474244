// The address a PASV reply names for the data connection.
#pragma once

#include <cstdint>

struct PassiveAddress {
    std::uint32_t address = 0;  // host byte order: h1 is the high byte
    std::uint16_t port = 0;     // host byte order
};

// Reads "(h1,h2,h3,h4,p1,p2)" from the first "(" of the reply on: six
// decimal numbers separated by commas, blanks allowed before each number.
// False when there is no "(", fewer than six numbers, or a number outside
// 0..255; the result is then untouched.
bool ParsePassiveAddress(const char* reply, PassiveAddress* result);
