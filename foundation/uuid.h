// Random identifiers in the 8-4-4-4-12 layout (version 4, lower case).
#pragma once

#include <string>

// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" filled from a xorshift128+ generator
// seeded with the platform's random bytes.
std::wstring NewUuid();
