#include "ChecksumsAndDifferences.h"
#include "Commands.h"
#include "Console.h"
#include "ExitCode.h"
#include "Operands.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

int runCheck(Run &run)
{
    int result = kExitSuccess;
    QJsonArray report;
    for (const QString &file : run.arguments) {
        const EdidInput input = run.readFile(file);
        if (!input.error.isNull()) {
            // The other files are still checked; the exit code tells that one was unreadable.
            run.console.error(input.error);
            report.append(QJsonObject{{QStringLiteral("file"), file},
                                      {QStringLiteral("error"), input.error}});
            result = kExitBadInput;
            continue;
        }
        const std::vector<WrongChecksum> wrong = wrongChecksums(input.image);
        if (!wrong.empty())
            result = std::max<int>(result, kExitDifference);
        if (run.json())
            report.append(QJsonObject{{QStringLiteral("file"), file},
                                      {QStringLiteral("ok"), wrong.empty()},
                                      {QStringLiteral("wrong_checksums"), toJson(wrong)}});
        else if (wrong.empty())
            run.console.note(file + QStringLiteral(": ok"));
        else
            run.console.print(file + QStringLiteral(": ") + describe(wrong));
    }
    if (run.json())
        run.console.printJson(QJsonDocument(report));
    return result;
}

int runFix(Run &run)
{
    const QString file = run.arguments.at(0);
    EdidInput input = run.readFile(file);
    if (!input.error.isNull())
        return run.console.fail(kExitBadInput, input.error);
    const QString output = run.options.value(QStringLiteral("output"));
    if (output.isEmpty() && wrongChecksums(input.image).empty()) {
        run.console.note(file + QStringLiteral(": checksums already correct, left as it is"));
        return kExitSuccess;
    }
    recalculateChecksums(input.image);
    // In place the file keeps its kind: binary stays binary, any text becomes the hex layout.
    // Either way it keeps its size: a lone base block is a whole EDID for every other program.
    const EdidFormat format = output.isEmpty()
                                  ? (input.binary ? EdidFormat::Binary : EdidFormat::HexText)
                                  : *edidFormat(output);
    const QString target = output.isEmpty() ? file : output;
    if (const int code = run.save(target, input.image, format, input.size))
        return code;
    if (!Run::isStandardOutput(target))
        run.console.note(
            QStringLiteral("checksums of %1 recalculated, saved to %2").arg(file, target));
    return kExitSuccess;
}

int runConvert(Run &run)
{
    const QString in = run.arguments.at(0);
    const QString out = run.arguments.at(1);
    const auto format = edidFormat(out, run.options.value(QStringLiteral("format")));
    if (!format)
        return run.console.fail(kExitBadInput, QStringLiteral("--format takes hex or bin"));
    const EdidInput input = run.readFile(in);
    if (!input.error.isNull())
        return run.console.fail(kExitBadInput, input.error);
    if (const int code = run.save(out, input.image, *format, input.size))
        return code;
    if (!Run::isStandardOutput(out))
        run.console.note(QStringLiteral("%1 saved to %2 as %3")
                             .arg(in, out, *format == EdidFormat::Binary ? "binary" : "hex text"));
    return kExitSuccess;
}

int runDiff(Run &run)
{
    EdidImage a;
    EdidImage b;
    if (const int code = readOperand(run, run.arguments.at(0), a))
        return code;
    if (const int code = readOperand(run, run.arguments.at(1), b))
        return code;
    if (run.options.isSet(QStringLiteral("fields")))
        return runFieldDiff(run, a, b);
    const std::vector<ByteDifference> found = differences(a, b);
    if (run.json()) {
        run.console.printJson(
            QJsonDocument(QJsonObject{{QStringLiteral("a"), run.arguments.at(0)},
                                      {QStringLiteral("b"), run.arguments.at(1)},
                                      {QStringLiteral("identical"), found.empty()},
                                      {QStringLiteral("differences"), toJson(found)}}));
    } else {
        for (const ByteDifference &difference : found)
            run.console.print(describe(difference));
        if (found.empty())
            run.console.note(QStringLiteral("identical"));
    }
    return found.empty() ? kExitSuccess : kExitDifference;
}
