#include "Commands.h"
#include "Console.h"
#include "EdidEdit.h"
#include "EdidFieldDiff.h"
#include "ExitCode.h"
#include "Operands.h"

#include <QJsonArray>
#include <QJsonObject>

#include <map>
#include <optional>

namespace {

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

// One operation of the command line: an edit of the table, or another EDID's identity.
struct Operation {
    QString text; // as the user gave it: "--set-name 'TV'"
    std::optional<EdidEdit> edit;
    QString identityFrom; // the INPUT of --identity-from
};

// The operations in the order the command line gives them: the parser keeps each option's values
// in order and the order of the options it found.
std::vector<Operation> operationsInOrder(const QCommandLineParser &options)
{
    std::map<QString, qsizetype> taken;
    std::vector<Operation> operations;
    for (const QString &name : options.optionNames()) {
        if (name == QLatin1String("identity-from")) {
            const QString input = options.values(name).value(taken[name]++);
            operations.push_back({QStringLiteral("--identity-from '%1'").arg(input), {}, input});
        }
        for (const EdidEditInfo &info : edidEditKinds())
            if (name == QLatin1String(info.name)) {
                const QString value =
                    info.argument ? options.values(name).value(taken[name]++) : QString();
                operations.push_back(
                    {QStringLiteral("--%1").arg(QLatin1String(info.name)) +
                         (info.argument ? QStringLiteral(" '%1'").arg(value) : QString()),
                     EdidEdit{info.kind, value.toStdString()},
                     {}});
            }
    }
    return operations;
}

// The operation applied to image; the exit code when the EDID it names cannot be read.
int apply(Run &run, const Operation &operation, const EdidImage &image, EditResult &result)
{
    if (operation.edit) {
        result = applyEdit(image, *operation.edit);
        return kExitSuccess;
    }
    EdidImage other;
    if (const int code = readOperand(run, operation.identityFrom, other))
        return code;
    result = copyIdentity(image, other);
    return kExitSuccess;
}

QJsonValue jsonValue(const std::optional<std::string> &value)
{
    return value ? QJsonValue(fromStd(*value)) : QJsonValue(QJsonValue::Null);
}

} // namespace

int runFieldDiff(Run &run, const EdidImage &a, const EdidImage &b)
{
    const std::vector<FieldDifference> found = fieldDifferences(decodeEdid(a), decodeEdid(b));
    if (run.json()) {
        QJsonArray differences;
        for (const FieldDifference &difference : found)
            differences.append(QJsonObject{{QStringLiteral("key"), fromStd(difference.key)},
                                           {QStringLiteral("field"), fromStd(difference.field)},
                                           {QStringLiteral("a"), jsonValue(difference.a)},
                                           {QStringLiteral("b"), jsonValue(difference.b)}});
        run.console.printJson(
            QJsonDocument(QJsonObject{{QStringLiteral("a"), run.arguments.at(0)},
                                      {QStringLiteral("b"), run.arguments.at(1)},
                                      {QStringLiteral("identical"), found.empty()},
                                      {QStringLiteral("differences"), differences}}));
    } else {
        for (const FieldDifference &difference : found)
            run.console.print(fromStd(difference.text()));
        if (found.empty())
            run.console.note(QStringLiteral("the same"));
    }
    return found.empty() ? kExitSuccess : kExitDifference;
}

int runEdit(Run &run)
{
    const QString input = run.arguments.at(0);
    const QString output = run.options.value(QStringLiteral("output"));
    const bool toTool = run.options.isSet(QStringLiteral("to"));
    const bool dryRun = run.options.isSet(QStringLiteral("dry-run"));
    if (!output.isEmpty() && toTool)
        return run.console.fail(kExitBadInput, QStringLiteral("edit takes -o or --to, not both"));
    if (output.isEmpty() && !toTool && !dryRun)
        return run.console.fail(kExitBadInput,
                                QStringLiteral("edit needs -o FILE, --to %1, or --dry-run")
                                    .arg(sourceNames(true, QStringLiteral(" or "))));
    const std::vector<Operation> operations = operationsInOrder(run.options);
    if (operations.empty())
        return run.console.fail(kExitBadInput,
                                QStringLiteral("edit needs an operation; 'varnex-edid edit --help' "
                                               "lists them"));
    std::size_t source = 0;
    if (toTool)
        if (const int code = writableTarget(run, "edit", source))
            return code;
    const auto format = edidFormat(output, run.options.value(QStringLiteral("format")));
    if (!format)
        return run.console.fail(kExitBadInput, QStringLiteral("--format takes hex or bin"));

    EdidImage original;
    std::size_t size = EdidImage::kSize;
    if (const int code = readOperand(run, input, original, &size))
        return code;
    EdidImage image = original;
    for (const Operation &operation : operations) {
        EditResult result;
        if (const int code = apply(run, operation, image, result))
            return code;
        if (!result.image)
            return run.console.fail(kExitBadInput,
                                    QStringLiteral("%1: %2; nothing written")
                                        .arg(operation.text, fromStd(result.refusal)));
        for (const std::string &note : result.notes)
            run.console.warning(operation.text + QStringLiteral(": ") + fromStd(note));
        image = *result.image;
    }

    // What changed: the result itself of a dry run, else beside the confirmation.
    const std::vector<FieldDifference> changed =
        fieldDifferences(decodeEdid(original), decodeEdid(image));
    for (const FieldDifference &difference : changed)
        dryRun ? run.console.print(fromStd(difference.text()))
               : run.console.message(fromStd(difference.text()));
    if (changed.empty())
        dryRun ? run.console.note(QStringLiteral("nothing changed"))
               : run.console.message(QStringLiteral("nothing changed"));
    if (dryRun)
        return kExitSuccess;
    if (toTool)
        return writeVerified(run, source, image, QStringLiteral("the edited EDID"));
    if (const int code = run.save(output, image, *format, size))
        return code;
    if (!Run::isStandardOutput(output))
        run.console.note(QStringLiteral("the edited EDID saved to %1").arg(output));
    return kExitSuccess;
}
