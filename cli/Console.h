#pragma once

#include "EdidTransfer.h"

#include "JsonText.h"

#include <QByteArray>

#include <QJsonDocument>
#include <QString>

#include <string>

class QIODevice;

// Where a run's output goes: results on out; errors, device messages and progress on err.
class Console {
public:
    Console(QIODevice &out, QIODevice &err, bool errIsTerminal);

    // Quiet drops the confirmations and the progress bar, never results or errors.
    void setQuiet(bool quiet) { quiet_ = quiet; }
    // With JSON asked for, a run that ends in failure without printing its own JSON prints
    // {"error": ..., "exit_status": ...} from finish.
    void setJson(bool json) { json_ = json; }
    int finish(int exitCode);

    void print(const QString &line);
    void printBytes(const QByteArray &bytes);
    void printJson(const QJsonDocument &document);
    // A JSON array printed an item at a time, so that a long run holds one item, not all.
    void printJsonItem(const Json &item);
    void endJsonArray();
    // A confirmation of what was done.
    void note(const QString &line);
    void error(const QString &message);
    // A line that belongs to the error before it.
    void detail(const QString &line);
    // Something the user should know although the run goes on, on err as an error is.
    void warning(const QString &message);
    // A line on err beside the results, such as what an edit changed; quiet drops it.
    void message(const QString &line);
    // Reports the message as an error and hands back the exit code, for `return fail(...)`.
    int fail(int exitCode, const QString &message);

    // A bar on err while a transfer runs, when err is a terminal; endProgress wipes it.
    TransferProgress progress(const QString &label);
    void endProgress();

private:
    // What out holds back is printed before anything goes to err, so that results and errors
    // come in the order they happened when both end up in one place.
    void flushOut();

    QIODevice &out_;
    QIODevice &err_;
    bool errIsTerminal_;
    bool quiet_ = false;
    bool barShown_ = false;
    bool json_ = false;
    bool jsonPrinted_ = false;
    bool jsonArrayOpen_ = false;
    std::string pendingJsonItem_; // the last item of the array, printed when the next one comes
    QString lastError_;
};
