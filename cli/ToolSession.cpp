#include "ToolSession.h"

#include "Console.h"
#include "EdidTextBuffer.h"
#include "EdidTransfer.h"
#include "ExitCode.h"
#include "HexText.h"
#include "ToolChoice.h"
#include "VirtualState.h"

#include <utility>

namespace {

// Says why no tool could be opened: none attached, or none this user may open.
QString noToolFound()
{
    std::vector<ListedTool> tools;
    chosenToolLister().list(false, tools);
    for (const ListedTool &tool : tools)
        if (!tool.accessible)
            return QStringLiteral("the tool at %1 may not be opened by this user: no access: see "
                                  "the udev rule (README: Using a real tool)")
                .arg(QString::fromStdString(tool.location));
    return QStringLiteral("no tool found, or it could not be opened: is it attached "
                          "(varnex-edid list)?");
}

} // namespace

std::optional<std::size_t> sourceIndex(const QString &name)
{
    for (std::size_t i = 0; i < kSourceNames.size(); ++i)
        if (name == QLatin1String(kSourceNames[i]))
            return i;
    return std::nullopt;
}

ToolSession::ToolSession(Console &console, QString statePath)
    : console_(console), statePath_(std::move(statePath))
{}

int ToolSession::loadState()
{
    if (statePath_.isEmpty() || stateLoaded_)
        return kExitSuccess;
    const QString error = loadVirtualState(statePath_);
    if (!error.isNull())
        return console_.fail(kExitBadInput, error);
    stateLoaded_ = true;
    return kExitSuccess;
}

int ToolSession::read(std::size_t source, EdidImage &image)
{
    if (const int code = loadState())
        return code;
    selectEdidSource(static_cast<int>(source));
    EdidTextBuffer.fill('\0');
    const QString name = QLatin1String(kSourceNames[source]);
    const TransferResult result =
        readEdidFromTool(console_.progress(QStringLiteral("reading ") + name));
    console_.endProgress();
    if (result == TransferResult::ToolNotFound)
        return console_.fail(kExitNoTool, noToolFound());
    if (result == TransferResult::Interrupted || parseEdidHexText(EdidTextBuffer.data(), image) < 0)
        return console_.fail(
            kExitDeviceFailed,
            QStringLiteral("reading %1 failed: the tool stopped answering").arg(name));
    return kExitSuccess;
}

int ToolSession::write(std::size_t source, const EdidImage &image)
{
    if (const int code = loadState())
        return code;
    selectEdidSource(static_cast<int>(source));
    const QString name = QLatin1String(kSourceNames[source]);
    const TransferResult result =
        writeEdidToTool(image, console_.progress(QStringLiteral("writing ") + name));
    console_.endProgress();
    if (result == TransferResult::ToolNotFound)
        return console_.fail(kExitNoTool, noToolFound());
    int code = kExitSuccess;
    // Whatever reached the virtual tool stays there, a broken-off write included.
    if (!statePath_.isEmpty()) {
        const QString error = saveVirtualState(statePath_);
        if (!error.isNull())
            code = console_.fail(kExitBadInput, error);
    }
    if (result == TransferResult::Interrupted)
        return console_.fail(kExitDeviceFailed,
                             QStringLiteral("writing %1 was interrupted: the custom EDID may now "
                                            "be incomplete")
                                 .arg(name));
    return code;
}
