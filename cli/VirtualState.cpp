#include "VirtualState.h"

#include "EdidFileStore.h"
#include "EdidSources.h"
#include "VirtualTool.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// A first line that tells the file apart from any other, then the images in source order.
const QByteArray kHeader = QByteArrayLiteral("varnex-edid virtual tool state 1\n");
constexpr qint64 kImagesSize = kEdidSources.size() * std::tuple_size_v<VirtualTool::Image>;

} // namespace

QString defaultVirtualStatePath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/varnex-edid-virtual.state");
    // Not the shared temporary folder: another user could put a link there in its place. A new
    // account may have no cache folder yet.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    QDir().mkpath(cache);
    return cache + QStringLiteral("/varnex-edid-virtual.state");
}

QString loadVirtualState(const QString &path)
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
    VirtualTool &tool = virtualTool();
    if (tool.deviceCount() == 0)
        return QString();
    const char *stored = start.content.constData() + kHeader.size();
    for (const EdidSource &source : kEdidSources) {
        VirtualTool::Image image;
        std::copy_n(stored, image.size(), image.begin());
        tool.setImage(source.address, image);
        stored += image.size();
    }
    return QString();
}

QString saveVirtualState(const QString &path)
{
    const VirtualTool &tool = virtualTool();
    if (tool.deviceCount() == 0)
        return QString();
    QByteArray content = kHeader;
    for (const EdidSource &source : kEdidSources) {
        const VirtualTool::Image image = tool.image(source.address);
        content.append(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
    }
    const QString error = saveFileAtomically(path, content);
    return error.isNull()
               ? error
               : QStringLiteral("cannot save the virtual tool's state %1: %2").arg(path, error);
}
