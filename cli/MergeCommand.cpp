#include "ChecksumsAndDifferences.h"
#include "Commands.h"
#include "Console.h"
#include "EdidMerge.h"
#include "ExitCode.h"
#include "JsonText.h"
#include "Operands.h"
#include "ToolProtocol.h"

#include <QJsonObject>

namespace {

// "from:N" as an index into the inputs; none for anything else, N counted from 1.
std::optional<std::size_t> inputIndex(const QString &value)
{
    if (!value.startsWith(QLatin1String("from:")))
        return std::nullopt;
    bool ok = false;
    const unsigned number = value.mid(5).toUInt(&ok);
    return ok && number > 0 ? std::optional<std::size_t>(number - 1) : std::nullopt;
}

// The options' values as merge options; the exit code after saying what is wrong.
int readMergeOptions(Run &run, MergeOptions &options)
{
    const QString video = run.options.value(QStringLiteral("video"));
    const QString audio = run.options.value(QStringLiteral("audio"));
    const QString identity = run.options.value(QStringLiteral("identity"));
    if (video == QLatin1String("first"))
        options.video = MergeOptions::Video::First;
    else if (!video.isEmpty() && video != QLatin1String("common"))
        return run.console.fail(kExitBadInput, QStringLiteral("--video takes common or first"));
    const std::optional<std::size_t> audioFrom =
        audio == QLatin1String("first") ? std::optional<std::size_t>(0) : inputIndex(audio);
    if (audio == QLatin1String("union"))
        options.audio = MergeOptions::Audio::Union;
    else if (audioFrom) {
        options.audio = MergeOptions::Audio::From;
        options.audioFrom = *audioFrom;
    } else if (!audio.isEmpty() && audio != QLatin1String("common"))
        return run.console.fail(kExitBadInput,
                                QStringLiteral("--audio takes common, union, first or from:N"));
    if (!identity.isEmpty() && !inputIndex(identity))
        return run.console.fail(kExitBadInput, QStringLiteral("--identity takes from:N"));
    options.identityFrom = inputIndex(identity).value_or(0);
    const std::size_t count = std::size_t(run.arguments.size());
    for (const auto &[option, index] :
         {std::pair{"audio", options.audioFrom}, std::pair{"identity", options.identityFrom}})
        if (index >= count)
            return run.console.fail(kExitBadInput,
                                    QStringLiteral("--%1 %2: there are %3 inputs")
                                        .arg(QLatin1String(option), run.options.value(option))
                                        .arg(count));
    return kExitSuccess;
}

Json notesJson(const std::vector<MergeNote> &notes)
{
    Json::Array array;
    for (const MergeNote &note : notes) {
        const bool withInput = note.action == MergeAction::From ||
                               note.action == MergeAction::Lowest ||
                               note.action == MergeAction::NotInInput;
        array.push_back(Json::Object{{"field", mergeFieldKey(note.field)},
                                     {"action", mergeActionKey(note.action)},
                                     {"value", note.value.empty() ? Json() : Json(note.value)},
                                     {"input", withInput ? Json(note.input + 1) : Json()},
                                     {"text", note.text()}});
    }
    return array;
}

// Reads every input, saying first of each with a wrong checksum that it is read as it is.
int readInputs(Run &run, std::vector<EdidDescription> &descriptions)
{
    for (const QString &input : run.arguments) {
        EdidImage image;
        if (const int code = readOperand(run, input, image))
            return code;
        const std::vector<WrongChecksum> wrong = wrongChecksums(image);
        if (!wrong.empty())
            run.console.warning(
                QStringLiteral("%1: %2; read as it is").arg(input, describe(wrong)));
        descriptions.push_back(decodeEdid(image));
    }
    return kExitSuccess;
}

} // namespace

int runMerge(Run &run)
{
    const QString output = run.options.value(QStringLiteral("output"));
    const bool toTool = run.options.isSet(QStringLiteral("to"));
    if (output.isEmpty() == !toTool)
        return run.console.fail(kExitBadInput, QStringLiteral("merge takes -o FILE or --to %1")
                                                   .arg(sourceNames(true, QStringLiteral(" or "))));
    if (run.json() && Run::isStandardOutput(output))
        return run.console.fail(kExitBadInput,
                                QStringLiteral("--json and -o - both print on standard output"));
    MergeOptions options;
    if (const int code = readMergeOptions(run, options))
        return code;
    std::size_t source = 0;
    if (toTool)
        if (const int code = writableTarget(run, "merge", source))
            return code;
    const auto format = edidFormat(output, run.options.value(QStringLiteral("format")));
    if (!format)
        return run.console.fail(kExitBadInput, QStringLiteral("--format takes hex or bin"));
    std::vector<EdidDescription> inputs;
    if (const int code = readInputs(run, inputs))
        return code;

    const MergeResult result = mergeEdids(inputs, options);
    if (!result.merged)
        return run.console.fail(kExitBadInput, QString::fromStdString(result.refusal) +
                                                   QStringLiteral("; nothing written"));
    if (!run.json())
        for (const MergeNote &note : result.notes)
            Run::isStandardOutput(output) ? run.console.message(QString::fromStdString(note.text()))
                                          : run.console.print(QString::fromStdString(note.text()));
    // The JSON says where the result went.
    run.console.setQuiet(run.options.isSet(QStringLiteral("quiet")) || run.json());
    const EdidImage &image = result.merged->image;
    // Merged with a display that has no extension, the EDID is a base block alone: saved as one.
    const std::size_t size =
        result.merged->base.extensionCount.value == 0 ? EdidImage::kBlockSize : EdidImage::kSize;
    const int code = toTool ? writeVerified(run, source, image, QStringLiteral("the merged EDID"))
                            : run.save(output, image, *format, size);
    if (code == kExitSuccess && !toTool && !Run::isStandardOutput(output))
        run.console.note(QStringLiteral("the merged EDID saved to %1").arg(output));
    if (code == kExitSuccess && run.json()) {
        Json::Array origins;
        for (const QString &input : run.arguments) {
            const auto [key, value] = operandOrigin(input);
            origins.push_back(Json::Object{{key.toStdString(), value.toStdString()}});
        }
        const Json json = Json::Object{{"inputs", origins},
                                       {"notes", notesJson(result.notes)},
                                       {toTool ? "written" : "saved",
                                        toTool ? kEdidSources[source].key : output.toStdString()}};
        run.console.printJson(QJsonDocument(json.toQJsonValue().toObject()));
    }
    return code;
}
