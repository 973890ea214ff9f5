#include "Operands.h"

#include "ChecksumsAndDifferences.h"
#include "Console.h"
#include "DisplayConnectors.h"
#include "ExitCode.h"
#include "ToolProtocol.h"
#include "ToolTransfers.h"

EdidInput Run::readFile(const QString &path) const
{
    return readEdidFile(path, options.value(QStringLiteral("connector")));
}

int Run::save(const QString &path, const EdidImage &image, EdidFormat format, std::size_t size)
{
    if (isStandardOutput(path)) {
        console.printBytes(encodeEdid(image, format, size));
        return kExitSuccess;
    }
    const QString error = saveEdidFile(path, image, format, size);
    return error.isNull() ? kExitSuccess : console.fail(kExitBadInput, error);
}

std::optional<std::size_t> sourceIndex(const QString &name)
{
    for (std::size_t i = 0; i < kEdidSources.size(); ++i)
        if (name == QLatin1String(kEdidSources[i].key))
            return i;
    return std::nullopt;
}

QString sourceNames(bool writableOnly, const QString &lastJoin)
{
    QStringList names;
    for (const EdidSource &source : kEdidSources)
        if (source.writable || !writableOnly)
            names << QLatin1String(source.key);
    const QString last = names.takeLast();
    return names.join(QLatin1String(", ")) + lastJoin + last;
}

namespace {

const QLatin1String kToolPrefix("tool:");
const QLatin1String kDisplayPrefix("drm:");

} // namespace

int readOperand(Run &run, const QString &operand, EdidImage &image, std::size_t *size)
{
    if (operand.startsWith(kToolPrefix)) {
        const auto source = sourceIndex(operand.mid(kToolPrefix.size()));
        if (!source)
            return run.console.fail(kExitBadInput,
                                    QStringLiteral("unknown source in '%1'").arg(operand));
        return run.tool.read(*source, image);
    }
    const EdidInput input = operand.startsWith(kDisplayPrefix)
                                ? readDisplayEdid(operand.mid(kDisplayPrefix.size()))
                                : run.readFile(operand);
    if (!input.error.isNull())
        return run.console.fail(kExitBadInput, input.error);
    image = input.image;
    if (size)
        *size = input.size;
    return kExitSuccess;
}

std::pair<QString, QString> operandOrigin(const QString &operand)
{
    if (operand.startsWith(kToolPrefix))
        return {QStringLiteral("source"), operand.mid(kToolPrefix.size())};
    if (operand.startsWith(kDisplayPrefix))
        return {QStringLiteral("connector"), operand.mid(kDisplayPrefix.size())};
    return {QStringLiteral("file"), operand};
}

int writableTarget(Run &run, const char *command, std::size_t &source)
{
    const QString target = run.options.value(QStringLiteral("to"));
    const auto index = sourceIndex(target);
    if (!index)
        return run.console.fail(kExitBadInput, QStringLiteral("%1 needs --to %2")
                                                   .arg(QLatin1String(command),
                                                        sourceNames(true, QStringLiteral(" or "))));
    if (!kEdidSources[*index].writable)
        return run.console.fail(kExitBadInput,
                                QStringLiteral("%1 cannot be written; only %2 can")
                                    .arg(target, sourceNames(true, QStringLiteral(" and "))));
    source = *index;
    return kExitSuccess;
}

int writeVerified(Run &run, std::size_t source, const EdidImage &image, const QString &what)
{
    const QString target = QLatin1String(kEdidSources[source].key);
    if (const int code = run.tool.write(source, image))
        return code;
    if (run.options.isSet(QStringLiteral("no-verify"))) {
        run.console.note(QStringLiteral("%1 written to %2, not verified").arg(what, target));
        return kExitSuccess;
    }
    EdidImage readBack;
    if (const int code = run.tool.read(source, readBack))
        return code;
    const std::vector<ByteDifference> found = differences(image, readBack);
    if (!found.empty()) {
        run.console.error(QStringLiteral("%1 did not keep the EDID: the read-back differs at %2 "
                                         "of 256 offsets (offset, written, read back):")
                              .arg(target)
                              .arg(found.size()));
        for (const ByteDifference &difference : found)
            run.console.detail(describe(difference));
        return kExitDifference;
    }
    run.console.note(
        QStringLiteral("%1 written to %2 and verified: all 256 bytes match").arg(what, target));
    return kExitSuccess;
}
