#pragma once

#include <QString>

#include <chrono>

// The virtual tool's five images, kept in a file between runs so that what one run writes the
// next can read. Only the first attached device is kept.

// $XDG_RUNTIME_DIR/varnex-edid-virtual.state, else the same name in this user's cache folder,
// which is made if missing. Null when there is neither an absolute runtime folder nor a home.
QString defaultVirtualStatePath();

// Keeps other runs away from the state for as long as it lives: an advisory lock on a file
// beside it (the state itself is replaced on every save, so it cannot carry the lock).
class VirtualStateLock {
public:
    VirtualStateLock() = default;
    ~VirtualStateLock();
    VirtualStateLock(const VirtualStateLock &) = delete;
    VirtualStateLock &operator=(const VirtualStateLock &) = delete;

    // Waits a bounded time (device time) for another run to finish. Returns why the lock could
    // not be taken, or a null string; inUse tells that another run still held it.
    QString acquire(const QString &statePath, bool *inUse);

    // Long enough for another run's full write and read-back.
    static constexpr std::chrono::seconds kWait{10};

private:
    int descriptor_ = -1;
};

class VirtualTool;

// Puts the images of the file into the virtual tool; without a file it keeps its sample images.
// Returns why the file could not be used, or a null string.
QString loadVirtualState(const QString &path, VirtualTool &tool);

QString saveVirtualState(const QString &path, const VirtualTool &tool);
