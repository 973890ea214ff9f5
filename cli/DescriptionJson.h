#pragma once

#include "EdidDescription.h"
#include "JsonText.h"

// The JSON of 'decode --json' for one EDID: identity, detailed timings, the CTA-861 extension's
// formats, and the findings. A key whose part the EDID lacks is null.
Json descriptionToJson(const EdidDescription &description);
