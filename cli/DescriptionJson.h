#pragma once

#include "EdidDescription.h"

#include <QJsonObject>

// The JSON of 'decode --json' for one EDID: identity, detailed timings, the CTA-861 extension's
// formats, and the findings. A key whose part the EDID lacks is null.
QJsonObject descriptionToJson(const EdidDescription &description);
