// SPDX-License-Identifier: MIT
// Linked into a copy of the program for the test of the leak rule: one block allocated by this
// file's code as the program starts, and lost at once, so that the program leaks it for sure.
#include <cstddef>

namespace {

char* volatile leakedBlock = nullptr;

struct PlantedLeak {
    PlantedLeak()
    {
        constexpr std::size_t kBytes = 48;
        leakedBlock = new char[kBytes];
        leakedBlock[0] = 'v';
        leakedBlock = nullptr;
    }
};

const PlantedLeak plantedLeak;

} // namespace
