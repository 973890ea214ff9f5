#include "EdidTextBuffer.h"

std::array<char, 1000> EdidTextBuffer{};
