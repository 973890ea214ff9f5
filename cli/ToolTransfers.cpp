#include "ToolTransfers.h"

#include "Console.h"
#include "DeviceConnection.h"
#include "EdidSources.h"
#include "EdidTransfer.h"
#include "ExitCode.h"
#include "ToolList.h"
#include "ToolProtocol.h"
#include "VirtualState.h"

#include <algorithm>
#include <utility>

ToolTransfers::ToolTransfers(Console &console, ToolLister &lister, VirtualTool *virtualTool,
                             QString statePath, std::optional<std::uint32_t> device)
    : console_(console), lister_(lister), virtualTool_(virtualTool),
      statePath_(std::move(statePath)), device_(device)
{}

int ToolTransfers::toolNotOpened()
{
    std::vector<ListedTool> tools;
    lister_.list(false, tools);
    const auto tool = std::find_if(tools.begin(), tools.end(), [this](const ListedTool &listed) {
        return device_ ? listed.index == *device_ : isAcceptedSerial(listed.serial.c_str());
    });
    if (tool == tools.end())
        return console_.fail(
            kExitNoTool,
            QStringLiteral("no tool found%1; 'varnex-edid list' shows the tools "
                           "attached")
                .arg(device_ ? QStringLiteral(" at index %1").arg(*device_) : QString()));
    const QString where = QString::fromStdString(tool->location);
    if (!tool->accessible)
        return console_.fail(kExitNoTool,
                             QStringLiteral("the tool at %1 may not be opened by this user: no "
                                            "access: see the udev rule (README: Using a real tool)")
                                 .arg(where));
    // The device link has said why.
    return console_.fail(kExitDeviceFailed, QStringLiteral("the tool%1 could not be opened")
                                                .arg(where.isEmpty() ? where : " at " + where));
}

int ToolTransfers::loadState()
{
    if (!virtualTool_ || stateLoaded_)
        return kExitSuccess;
    // Another run's write between this run's load and save would be lost.
    bool inUse = false;
    const QString lockError = stateLock_.acquire(statePath_, &inUse);
    if (!lockError.isNull())
        return console_.fail(inUse ? kExitDeviceFailed : kExitBadInput, lockError);
    const QString error = loadVirtualState(statePath_, *virtualTool_);
    if (!error.isNull())
        return console_.fail(kExitBadInput, error);
    stateLoaded_ = true;
    return kExitSuccess;
}

int ToolTransfers::read(std::size_t source, EdidImage &image)
{
    if (const int code = loadState())
        return code;
    selectEdidSource(static_cast<int>(source));
    const QString name = QLatin1String(kEdidSources[source].key);
    const TransferResult result =
        readEdidFromTool(image, console_.progress(QStringLiteral("reading ") + name));
    console_.endProgress();
    if (result == TransferResult::ToolNotFound)
        return toolNotOpened();
    if (result == TransferResult::Interrupted)
        return console_.fail(
            kExitDeviceFailed,
            QStringLiteral("reading %1 failed: the tool stopped answering").arg(name));
    return kExitSuccess;
}

int ToolTransfers::write(std::size_t source, const EdidImage &image)
{
    if (const int code = loadState())
        return code;
    selectEdidSource(static_cast<int>(source));
    const QString name = QLatin1String(kEdidSources[source].key);
    const TransferResult result =
        writeEdidToTool(image, console_.progress(QStringLiteral("writing ") + name));
    console_.endProgress();
    if (result == TransferResult::ToolNotFound)
        return toolNotOpened();
    int code = kExitSuccess;
    // Whatever reached the virtual tool stays there, a broken-off write included.
    if (virtualTool_) {
        const QString error = saveVirtualState(statePath_, *virtualTool_);
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
