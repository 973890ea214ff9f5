#include "VirtualState.h"

#include "DeviceClock.h"
#include "FileIo.h"
#include "ToolProtocol.h"
#include "VirtualTool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A first line that tells the file apart from any other, then the images in source order.
const QByteArray kHeader = QByteArrayLiteral("varnex-edid virtual tool state 1\n");
constexpr qint64 kImagesSize = kEdidSources.size() * EdidImage::kSize;

} // namespace

QString defaultVirtualStatePath()
{
    // Relative folders are ignored, as the XDG base directory convention says.
    const auto absolute = [](const char *variable) {
        const QString folder = qEnvironmentVariable(variable);
        return QDir::isAbsolutePath(folder) ? folder : QString();
    };
    const QString runtime = absolute("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/varnex-edid-virtual.state");
    // Not the shared temporary folder: another user could put a link there in its place. Without
    // a home, Qt would name a folder under the root of the file system.
    if (absolute("XDG_CACHE_HOME").isEmpty() && absolute("HOME").isEmpty())
        return QString();
    // A new account may have no cache folder yet.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    QDir().mkpath(cache);
    return cache + QStringLiteral("/varnex-edid-virtual.state");
}

VirtualStateLock::~VirtualStateLock()
{
    if (descriptor_ >= 0)
        ::close(descriptor_); // releases the lock
}

QString VirtualStateLock::acquire(const QString &statePath, bool *inUse)
{
    *inUse = false;
    if (descriptor_ >= 0)
        return QString(); // already held
    const QString lockPath = statePath + QStringLiteral(".lock");
    descriptor_ = ::open(QFile::encodeName(lockPath).constData(),
                         O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0)
        return QStringLiteral("cannot lock the virtual tool's state %1: %2")
            .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
    DeviceClock &clock = deviceClock();
    const DeviceClock::TimePoint start = clock.now();
    while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return QStringLiteral("cannot lock the virtual tool's state %1: %2")
                .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        if (clock.now() - start >= kWait) {
            *inUse = true;
            return QStringLiteral("the virtual tool is in use by another program");
        }
        clock.sleepFor(std::chrono::milliseconds(50));
    }
    return QString();
}

QString loadVirtualState(const QString &path, VirtualTool &tool)
{
    if (!QFileInfo::exists(path))
        return QString();
    const FileStart start = readFileStart(path, kHeader.size() + kImagesSize + 1);
    if (!start.error.isNull())
        return QStringLiteral("cannot read the virtual tool's state %1: %2").arg(path, start.error);
    if (!start.content.startsWith(kHeader) || start.content.size() != kHeader.size() + kImagesSize)
        return QStringLiteral("the virtual tool's state %1 is damaged; remove it to start again "
                              "from the sample images")
            .arg(path);
    if (tool.deviceCount() == 0)
        return QString();
    const char *stored = start.content.constData() + kHeader.size();
    for (const EdidSource &source : kEdidSources) {
        EdidImage image;
        std::copy_n(stored, EdidImage::kSize, image.bytes.begin());
        tool.setImage(source.address, image);
        stored += EdidImage::kSize;
    }
    return QString();
}

QString saveVirtualState(const QString &path, const VirtualTool &tool)
{
    if (tool.deviceCount() == 0)
        return QString();
    QByteArray content = kHeader;
    for (const EdidSource &source : kEdidSources) {
        const EdidImage image = tool.image(source.address);
        content.append(reinterpret_cast<const char *>(image.bytes.data()), EdidImage::kSize);
    }
    const QString error = saveFileAtomically(path, content);
    return error.isNull()
               ? error
               : QStringLiteral("cannot save the virtual tool's state %1: %2").arg(path, error);
}
