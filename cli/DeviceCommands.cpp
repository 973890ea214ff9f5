#include "ChecksumsAndDifferences.h"
#include "Commands.h"
#include "Console.h"
#include "DescriptionJson.h"
#include "DisplayConnectors.h"
#include "ExitCode.h"
#include "Operands.h"
#include "ToolList.h"
#include "ToolProtocol.h"
#include "ToolTransfers.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

// The connectors whose EDID the kernel holds, each with the display's identity, or why its EDID
// cannot be read.
int listDisplays(Run &run)
{
    QJsonArray array;
    for (const DisplayConnector &connector : connectorsWithEdid()) {
        const EdidInput input = readDisplayEdid(connector.name);
        const QString status = connectorStatus(connector);
        QJsonObject entry{{QStringLiteral("connector"), connector.name},
                          {QStringLiteral("status"), status.isEmpty() ? QJsonValue() : status}};
        QString line = connector.name;
        if (input.error.isNull()) {
            const QJsonObject identity =
                descriptionToJson(decodeEdid(input.image)).toQJsonValue().toObject();
            for (const char *key : {"vendor", "product", "name"})
                entry.insert(QLatin1String(key), identity.value(QLatin1String(key)));
            const QJsonValue name = identity.value(QStringLiteral("name"));
            line += QStringLiteral("  %1  %2")
                        .arg(identity.value(QStringLiteral("vendor")).toString(),
                             name.isNull()
                                 ? QStringLiteral("product %1").arg(entry.value("product").toInt())
                                 : name.toString());
        } else {
            QString error = input.error;
            const QString operand = QStringLiteral("drm:%1: ").arg(connector.name);
            if (error.startsWith(operand)) // said once, at the line's start
                error.remove(0, operand.size());
            entry.insert(QStringLiteral("error"), error);
            line += QStringLiteral("  unreadable: ") + error;
        }
        // The kernel may keep the EDID of a display no longer attached.
        if (!status.isEmpty() && status != QLatin1String("connected"))
            line += QStringLiteral("  (%1)").arg(status);
        array.append(entry);
        if (!run.json())
            run.console.print(line);
    }
    if (run.json())
        run.console.printJson(QJsonDocument(array));
    else if (array.isEmpty())
        run.console.message(QStringLiteral("no connector in %1 has an EDID").arg(drmRoot()));
    return kExitSuccess;
}

} // namespace

int runList(Run &run)
{
    if (run.options.isSet(QStringLiteral("displays")))
        return run.options.isSet(QStringLiteral("any"))
                   ? run.console.fail(kExitBadInput,
                                      QStringLiteral("--any lists tools, not displays"))
                   : listDisplays(run);
    std::vector<ListedTool> tools;
    if (!run.tools.list(run.options.isSet(QStringLiteral("any")), tools))
        return run.console.fail(kExitNoTool, QStringLiteral("the USB devices could not be listed"));
    QJsonArray array;
    for (const ListedTool &tool : tools) {
        const QString serial = QString::fromStdString(tool.serial);
        const QString product = QString::fromStdString(tool.product);
        const QString ids = QString::fromStdString(tool.ids);
        const QString location = QString::fromStdString(tool.location);
        if (run.json()) {
            QJsonObject entry{{QStringLiteral("serial"), serial},
                              {QStringLiteral("product"), product}};
            if (tool.inIdList) { // others are never opened: whether one may is not known
                entry.insert(QStringLiteral("index"), int(tool.index));
                entry.insert(QStringLiteral("access"), tool.accessible);
            }
            if (!ids.isEmpty())
                entry.insert(QStringLiteral("ids"), ids);
            if (!location.isEmpty())
                entry.insert(QStringLiteral("location"), location);
            array.append(entry);
            continue;
        }
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(tool.inIdList ? QString::number(tool.index) : QStringLiteral("-"),
                                serial, product);
        if (!location.isEmpty())
            line += QStringLiteral("  %1 at %2").arg(ids, location);
        if (!tool.inIdList)
            line += QStringLiteral("  (not in the tool ID list: see VARNEX_USB_IDS)");
        else if (!tool.accessible)
            line += QStringLiteral("  no access: see the udev rule");
        run.console.print(line);
    }
    if (run.json())
        run.console.printJson(QJsonDocument(array));
    if (std::none_of(tools.begin(), tools.end(),
                     [](const ListedTool &tool) { return tool.inIdList; }))
        return run.console.fail(kExitNoTool, QStringLiteral("no tool found"));
    return kExitSuccess;
}

int runRead(Run &run)
{
    const QString name = run.arguments.at(0);
    const auto source = sourceIndex(name);
    if (!source)
        return run.console.fail(kExitBadInput, QStringLiteral("unknown source '%1'").arg(name));
    const QString output = run.options.value(QStringLiteral("output"));
    const auto format = edidFormat(output, run.options.value(QStringLiteral("format")));
    if (!format)
        return run.console.fail(kExitBadInput, QStringLiteral("--format takes hex or bin"));

    if (run.json() && Run::isStandardOutput(output))
        return run.console.fail(kExitBadInput,
                                QStringLiteral("--json and -o - both print on standard output"));

    EdidImage image;
    if (const int code = run.tool.read(*source, image))
        return code;
    if (!run.json()) {
        // Without -o the EDID goes to standard output, as with -o -.
        const QString target = output.isEmpty() ? QStringLiteral("-") : output;
        if (const int code = run.save(target, image, *format))
            return code;
        if (!Run::isStandardOutput(target))
            run.console.note(QStringLiteral("%1 saved to %2").arg(name, target));
        return kExitSuccess;
    }
    if (!output.isEmpty())
        if (const int code = run.save(output, image, *format))
            return code;
    QJsonObject result{
        {QStringLiteral("source"), name},
        {QStringLiteral("address"), int(kEdidSources[*source].address)},
        {QStringLiteral("edid"),
         QString::fromLatin1(encodeEdid(image, EdidFormat::Binary).toHex().toUpper())},
        {QStringLiteral("wrong_checksums"), toJson(wrongChecksums(image))}};
    if (!output.isEmpty())
        result.insert(QStringLiteral("file"), output);
    run.console.printJson(QJsonDocument(result));
    return kExitSuccess;
}

namespace {

// The EDID of the input with its checksums as the options say: refused when wrong, recalculated
// with --fix-checksums, kept with --force.
int readToWrite(Run &run, const QString &file, EdidImage &image)
{
    const bool fix = run.options.isSet(QStringLiteral("fix-checksums"));
    const bool force = run.options.isSet(QStringLiteral("force"));
    if (fix && force)
        return run.console.fail(kExitBadInput,
                                QStringLiteral("--fix-checksums and --force exclude each other"));
    if (const int code = readOperand(run, file, image))
        return code;
    const std::vector<WrongChecksum> wrong = wrongChecksums(image);
    if (!wrong.empty() && fix)
        recalculateChecksums(image);
    else if (!wrong.empty() && !force)
        return run.console.fail(kExitBadInput,
                                QStringLiteral("%1: %2; nothing written (--fix-checksums corrects "
                                               "the checksums, --force writes them as they are)")
                                    .arg(file, describe(wrong)));
    return kExitSuccess;
}

} // namespace

int runWrite(Run &run)
{
    const QString file = run.arguments.at(0);
    std::size_t source = 0;
    if (const int code = writableTarget(run, "write", source))
        return code;
    EdidImage image;
    if (const int code = readToWrite(run, file, image))
        return code;
    return writeVerified(run, source, image, file);
}
