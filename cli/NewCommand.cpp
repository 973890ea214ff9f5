#include "Commands.h"
#include "Console.h"
#include "EdidModeList.h"
#include "EdidPresets.h"
#include "ExitCode.h"
#include "Operands.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <map>

namespace {

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

int listPresets(Run &run)
{
    if (run.json()) {
        QJsonArray presets;
        for (const EdidPreset &preset : edidPresets())
            presets.append(
                QJsonObject{{QStringLiteral("name"), QLatin1String(preset.name)},
                            {QStringLiteral("description"), QLatin1String(preset.description)}});
        run.console.printJson(QJsonDocument(presets));
        return kExitSuccess;
    }
    std::size_t width = 0;
    for (const EdidPreset &preset : edidPresets())
        width = std::max(width, std::char_traits<char>::length(preset.name));
    for (const EdidPreset &preset : edidPresets())
        run.console.print(QStringLiteral("%1  %2")
                              .arg(QLatin1String(preset.name), -int(width))
                              .arg(QLatin1String(preset.description)));
    return kExitSuccess;
}

// --mode and --modeline in the order the command line gives them.
std::vector<ModeListRequest::Mode> modesInOrder(const QCommandLineParser &options)
{
    std::map<QString, qsizetype> taken;
    std::vector<ModeListRequest::Mode> modes;
    for (const QString &name : options.optionNames())
        if (name == QLatin1String("mode") || name == QLatin1String("modeline"))
            modes.push_back({options.values(name).value(taken[name]++).toStdString(),
                             name == QLatin1String("modeline")});
    return modes;
}

// What the options ask for: a preset's EDID or a list of modes', or why neither.
ComposedEdid newEdid(const Run &run, QString &refusal)
{
    const QCommandLineParser &options = run.options;
    const std::vector<ModeListRequest::Mode> modes = modesInOrder(options);
    const QStringList listOptions{QStringLiteral("audio"), QStringLiteral("name"),
                                  QStringLiteral("physical-address"), QStringLiteral("hdr")};
    const auto given = std::find_if(listOptions.begin(), listOptions.end(),
                                    [&](const QString &name) { return options.isSet(name); });
    if (!run.arguments.isEmpty() && !modes.empty())
        refusal = QStringLiteral("new takes a PRESET or --mode and --modeline, not both");
    else if (!run.arguments.isEmpty() && given != listOptions.end())
        refusal = QStringLiteral("--%1 belongs to a list of modes, not to a preset").arg(*given);
    else if (run.arguments.isEmpty() && modes.empty())
        refusal = QStringLiteral("new needs a PRESET, --mode or --modeline ('new --list' lists "
                                 "the presets)");
    if (!refusal.isEmpty())
        return {};
    if (!run.arguments.isEmpty()) {
        ComposedEdid preset = presetEdid(run.arguments.at(0).toStdString());
        if (!preset.image)
            refusal = fromStd(preset.refusal) + QStringLiteral("; 'new --list' lists them");
        return preset;
    }
    ModeListRequest request;
    request.modes = modes;
    const auto option = [&](const char *name, std::string &value) {
        if (options.isSet(QLatin1String(name)))
            value = options.value(QLatin1String(name)).toStdString();
    };
    option("audio", request.audio);
    option("name", request.name);
    option("physical-address", request.physicalAddress);
    request.hdr = options.isSet(QStringLiteral("hdr"));
    ComposedEdid listed = modeListEdid(request);
    if (!listed.image)
        refusal = fromStd(listed.refusal);
    return listed;
}

} // namespace

int runNew(Run &run)
{
    if (run.options.isSet(QStringLiteral("list"))) {
        if (!run.arguments.isEmpty() || run.options.isSet(QStringLiteral("mode")) ||
            run.options.isSet(QStringLiteral("modeline")))
            return run.console.fail(kExitBadInput,
                                    QStringLiteral("new --list takes no PRESET and no modes"));
        return listPresets(run);
    }
    const QString output = run.options.value(QStringLiteral("output"));
    const bool toTool = run.options.isSet(QStringLiteral("to"));
    if (!output.isEmpty() && toTool)
        return run.console.fail(kExitBadInput, QStringLiteral("new takes -o or --to, not both"));
    if (output.isEmpty() && !toTool)
        return run.console.fail(kExitBadInput, QStringLiteral("new needs -o FILE or --to %1")
                                                   .arg(sourceNames(true, QStringLiteral(" or "))));
    std::size_t source = 0;
    if (toTool)
        if (const int code = writableTarget(run, "new", source))
            return code;
    const auto format = edidFormat(output, run.options.value(QStringLiteral("format")));
    if (!format)
        return run.console.fail(kExitBadInput, QStringLiteral("--format takes hex or bin"));
    QString refusal;
    const ComposedEdid made = newEdid(run, refusal);
    if (!refusal.isEmpty())
        return run.console.fail(kExitBadInput, refusal + QStringLiteral("; nothing written"));
    const QString what = run.arguments.isEmpty()
                             ? QStringLiteral("the new EDID")
                             : QStringLiteral("preset %1").arg(run.arguments.at(0));
    if (toTool)
        return writeVerified(run, source, *made.image, what);
    if (const int code = run.save(output, *made.image, *format, made.size))
        return code;
    if (!Run::isStandardOutput(output))
        run.console.note(QStringLiteral("%1 saved to %2").arg(what, output));
    return kExitSuccess;
}
