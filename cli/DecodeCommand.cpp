#include "Commands.h"
#include "Console.h"
#include "DescriptionJson.h"
#include "EdidDescriptionTree.h"
#include "ExitCode.h"
#include "Operands.h"

#include <algorithm>

int runDecode(Run &run)
{
    int result = kExitSuccess;
    const bool several = run.arguments.size() > 1;
    for (const QString &input : run.arguments) {
        EdidImage image;
        // An unreadable input is said and the others are still decoded.
        if (const int code = readOperand(run, input, image)) {
            result = std::max(result, code);
            continue;
        }
        const EdidDescription description = decodeEdid(image);
        if (std::any_of(description.findings.begin(), description.findings.end(),
                        [](const EdidFinding &finding) {
                            return finding.severity == EdidFinding::Severity::Error;
                        }))
            result = std::max<int>(result, kExitDifference);
        if (run.json()) {
            Json object = descriptionToJson(description);
            const auto [key, value] = operandOrigin(input);
            std::get<Json::Object>(object.value)
                .emplace_back(key.toStdString(), value.toStdString());
            run.console.printJsonItem(object);
            continue;
        }
        if (several)
            run.console.print(input + QLatin1Char(':'));
        run.console.printBytes(
            QByteArray::fromStdString(renderDescription(describeEdid(description))));
    }
    if (run.json())
        run.console.endJsonArray();
    return result;
}
