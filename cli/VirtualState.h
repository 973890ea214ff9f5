#pragma once

#include <QString>

// The virtual tool's five images, kept in a file between runs so that what one run writes the
// next can read. Only the first attached device is kept.

// $XDG_RUNTIME_DIR/varnex-edid-virtual.state, else the same name in this user's cache folder,
// which is made if missing.
QString defaultVirtualStatePath();

// Puts the images of the file into the virtual tool; without a file it keeps its sample images.
// Returns why the file could not be used, or a null string.
QString loadVirtualState(const QString &path);

QString saveVirtualState(const QString &path);
