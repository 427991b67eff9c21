// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <string>

std::string Base64Encode(const std::string& bytes);
// Stops at the first "=" in the third or fourth place of a group; characters
// outside the alphabet are not rejected.
std::string Base64Decode(const std::string& text);
