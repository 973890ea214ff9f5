#include "EdidSources.h"

std::uint8_t SelectedEdidAddress = kEdidSources[0].address;

void selectEdidSource(int index)
{
    if (index >= 0 && index < static_cast<int>(kEdidSources.size()))
        SelectedEdidAddress = kEdidSources[static_cast<std::size_t>(index)].address;
}
