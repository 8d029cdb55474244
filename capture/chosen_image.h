// The image a capture publishes: the smaller of the two encoders' outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ChosenImage {
    std::vector<unsigned char> data;  // exactly size bytes
    std::int32_t size = 0;
    std::string extension;  // "png" or "jpg"
};
