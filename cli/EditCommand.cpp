#include "Commands.h"
#include "Console.h"
#include "EdidEdit.h"
#include "EdidFieldDiff.h"
#include "ExitCode.h"
#include "Operands.h"

#include <QJsonArray>
#include <QJsonObject>

#include <functional>
#include <map>

namespace {

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

// One operation of the command line: an edit of the table, or another EDID's identity.
struct Operation {
    QString text; // as the user gave it: "--set-name 'TV'"
    std::function<EditResult(const EdidImage &)> apply;
};

// The operations in the order the command line gives them: the parser keeps each option's values
// in order and the order of the options it found. The EDIDs --identity-from names are read here,
// before anything is changed; their exit code when one cannot be.
int operationsInOrder(Run &run, std::vector<Operation> &operations)
{
    std::map<QString, qsizetype> taken;
    for (const QString &name : run.options.optionNames()) {
        const QString value = run.options.values(name).value(taken[name]);
        if (name == QLatin1String("identity-from")) {
            ++taken[name];
            EdidImage other;
            if (const int code = readOperand(run, value, other))
                return code;
            operations.push_back(
                {QStringLiteral("--identity-from '%1'").arg(value),
                 [other](const EdidImage &image) { return copyIdentity(image, other); }});
        }
        for (const EdidEditInfo &info : edidEditKinds())
            if (name == QLatin1String(info.name)) {
                const EdidEdit edit{info.kind, info.argument ? value.toStdString() : std::string()};
                if (info.argument)
                    ++taken[name];
                operations.push_back(
                    {QStringLiteral("--%1").arg(QLatin1String(info.name)) +
                         (info.argument ? QStringLiteral(" '%1'").arg(value) : QString()),
                     [edit](const EdidImage &image) { return applyEdit(image, edit); }});
            }
    }
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
    std::vector<Operation> operations;
    if (const int code = operationsInOrder(run, operations))
        return code;
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
        const EditResult result = operation.apply(image);
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
