#include "DisplayConnectors.h"

#include "EdidFile.h"
#include "FileIo.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString edidPath(const DisplayConnector &connector)
{
    return connector.folder + QStringLiteral("/edid");
}

QString folderName(const DisplayConnector &connector)
{
    return QFileInfo(connector.folder).fileName();
}

// Every connector the kernel lists, with or without a display. The cards themselves (card0) and
// the render nodes have no "-" in their names.
std::vector<DisplayConnector> allConnectors()
{
    static const QRegularExpression connectorFolder(QStringLiteral("^card[0-9]+-(.+)$"));
    const QDir root(drmRoot());
    std::vector<DisplayConnector> connectors;
    QStringList names;
    for (const QString &folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QRegularExpressionMatch match = connectorFolder.match(folder);
        if (match.hasMatch()) {
            connectors.push_back({match.captured(1), root.filePath(folder)});
            names << match.captured(1);
        }
    }
    // Two cards may each have an HDMI-A-1: the name alone would pick one of them unasked.
    for (DisplayConnector &connector : connectors)
        if (names.count(connector.name) > 1)
            connector.name = folderName(connector);
    return connectors;
}

QString unknownConnector(const std::vector<DisplayConnector> &connectors, const QString &name)
{
    QStringList sameName; // on several cards
    for (const DisplayConnector &connector : connectors)
        if (folderName(connector).section(QLatin1Char('-'), 1) == name)
            sameName << connector.name;
    if (!sameName.isEmpty())
        return QStringLiteral("more than one card has a connector %1: name it as %2")
            .arg(name, sameName.join(QStringLiteral(" or ")));
    QStringList known;
    for (const DisplayConnector &connector : connectorsWithEdid())
        known << connector.name;
    return QStringLiteral("no connector named '%1'; %2")
        .arg(name, known.isEmpty()
                       ? QStringLiteral("none in %1 has an EDID").arg(drmRoot())
                       : QStringLiteral("those with an EDID: ") + known.join(QStringLiteral(", ")));
}

} // namespace

QString drmRoot()
{
    const QString root = qEnvironmentVariable("VARNEX_DRM_ROOT");
    return root.isEmpty() ? QStringLiteral("/sys/class/drm") : root;
}

std::vector<DisplayConnector> connectorsWithEdid()
{
    std::vector<DisplayConnector> connectors = allConnectors();
    connectors.erase(std::remove_if(connectors.begin(), connectors.end(),
                                    [](const DisplayConnector &connector) {
                                        const QString path = edidPath(connector);
                                        return !QFileInfo::exists(path) ||
                                               readFileStart(path, 1).empty;
                                    }),
                     connectors.end());
    return connectors;
}

EdidInput readDisplayEdid(const QString &name)
{
    const QString operand = QStringLiteral("drm:") + name;
    const std::vector<DisplayConnector> connectors = allConnectors();
    const auto connector = std::find_if(
        connectors.begin(), connectors.end(), [&name](const DisplayConnector &candidate) {
            return candidate.name == name || folderName(candidate) == name;
        });
    EdidInput input;
    if (connector == connectors.end()) {
        input.error = operand + QStringLiteral(": ") + unknownConnector(connectors, name);
        return input;
    }
    const QString path = edidPath(*connector);
    // One byte more than a dump may have tells an EDID too large for any reader.
    const FileStart start = readFileStart(path, qint64(kEdidDumpSizeLimit) + 1);
    if (start.empty) {
        const QString status = connectorStatus(*connector);
        input.error = QStringLiteral("%1: the kernel holds no EDID for this connector%2")
                          .arg(operand, status.isEmpty() ? QString() : " (" + status + ')');
    } else if (!start.error.isNull())
        input.error = QStringLiteral("%1: cannot read %2: %3").arg(operand, path, start.error);
    // Extension blocks beyond the first would be lost, and block 0 would still count them.
    else if (start.content.size() > qsizetype(EdidImage::kSize))
        input.error = QStringLiteral("%1: the EDID has %2 bytes; varnex-edid reads 128 or 256, as "
                                     "many as the tool keeps")
                          .arg(operand)
                          .arg(start.content.size());
    else
        return interpretEdidContent(start.content, operand);
    return input;
}

QString connectorStatus(const DisplayConnector &connector)
{
    const FileStart start = readFileStart(connector.folder + QStringLiteral("/status"), 64);
    return QString::fromLatin1(start.content).section(QLatin1Char('\n'), 0, 0).trimmed();
}
