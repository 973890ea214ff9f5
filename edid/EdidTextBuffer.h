#pragma once

#include <array>

// Where the read operation assembles the EDID hex text; zero-filled before every command.
extern std::array<char, 1000> EdidTextBuffer;
