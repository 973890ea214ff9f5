#pragma once

#include <array>

// Where a read's EDID is rendered as hex text before it goes into the pane; zero-filled before
// every command.
extern std::array<char, 1000> EdidTextBuffer;
