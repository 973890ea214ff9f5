#pragma once

#include "EdidFiles.h"

#include <QString>

#include <vector>

// The computer's own displays: the EDID the kernel holds for each connector of its graphics cards,
// in /sys/class/drm/cardN-CONNECTOR/edid (the raw bytes; empty when no display is attached).
// VARNEX_DRM_ROOT names another folder laid out the same way, for tests and diagnostics.

struct DisplayConnector {
    QString name;   // what drm: takes: "HDMI-A-1", or "card1-HDMI-A-1" when two cards have one
    QString folder; // <root>/cardN-CONNECTOR
};

// The folder the connectors are found in.
QString drmRoot();

// The connectors whose edid file is not empty, in the order of their folders' names.
std::vector<DisplayConnector> connectorsWithEdid();

// The EDID the kernel holds for the connector of this name (as connectorsWithEdid names it, or
// its folder's name); an error starts with "drm:NAME: ".
EdidInput readDisplayEdid(const QString &name);

// The connector's status as the kernel says it ("connected", "disconnected"); empty when unknown.
QString connectorStatus(const DisplayConnector &connector);
