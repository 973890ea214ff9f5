#include "MainWindow.h"

#include "DeviceState.h"
#include "DeviceWarningBox.h"
#include "EdidDetailsWindow.h"
#include "EdidDocument.h"
#include "EdidFile.h"
#include "EdidImage.h"
#include "EdidMerge.h"
#include "EdidPresets.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "EdidTransfer.h"
#include "FileIo.h"
#include "FileNameDialogs.h"
#include "HexText.h"
#include "MainWindowForm.h"
#include "MergeDialog.h"
#include "ToolProtocol.h"

#include <QApplication>
#include <QColor>
#include <QInputDialog>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

void clearEdidTextBuffer()
{
    EdidTextBuffer.fill('\0');
}

// The pane's text is not a whole EDID.
void showHexFormatError(QWidget *window)
{
    QMessageBox::warning(window, MainWindow::tr("VARNEX"), MainWindow::tr("Hex Format Error"),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

// "The EDID Checksum is not correct." with the operation's question; true when answered Yes.
bool askAboutWrongChecksum(const QString &question)
{
    QMessageBox box;
    box.setText(QStringLiteral("The EDID Checksum is not correct."));
    box.setInformativeText(question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// An EDID file to merge, read as the command line reads one (a dump in any of its forms); the
// problem, "LINE:COLUMN: what" in a text, or a null string.
QString readMergeFile(const QString &path, EdidImage &image)
{
    // One byte more than a dump may have tells a file that is too large.
    const FileStart start = readFileStart(path, qint64(kEdidDumpSizeLimit) + 1);
    if (!start.error.isNull())
        return start.error;
    const EdidFileContent edid = interpretEdidFile(
        std::string_view(start.content.constData(), std::size_t(start.content.size())),
        EdidFileRule::NonTextByteIsBinary);
    image = edid.image;
    if (edid.problem.empty())
        return QString();
    const QString problem = QString::fromStdString(edid.problem);
    return edid.problemPlace.empty()
               ? problem
               : QString::fromStdString(edid.problemPlace) + QStringLiteral(": ") + problem;
}

} // namespace

int runUtilityWindow(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The progress slot's name starts with "on_" like an auto-connected one; it is wired by hand.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    auto *window = new MainWindow;
    window->show();
    const int status = application.exec();
    // Closed through its frame: the window is still alive here; release it with the application.
    delete window;
    return status;
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new MainWindowForm)
{
    // The form's fixed geometry was laid out for a small 8-point dialog face; a sans face with
    // Arial's metrics at that size fits every text of it, whatever the desktop's own font. Set
    // for the whole program, so that menus and boxes match the window.
    QFont windowFont(QStringLiteral("Liberation Sans"), 8);
    windowFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(windowFont);
    ui->setupUi(this);
    paneDocument = new EdidDocument(ui->EDIDtext, this);
    // An edit of the details comes into the pane as a loaded binary file does.
    connect(paneDocument, &EdidDocument::replaced, this, &MainWindow::showImageText);
    connect(paneDocument, &EdidDocument::bytesMarked, this, &MainWindow::markPaneBytes);
    // Keep a monospaced face where "Courier New" itself is not installed.
    QFont paneFont = ui->EDIDtext->font();
    paneFont.setStyleHint(QFont::TypeWriter);
    ui->EDIDtext->setFont(paneFont);

    // The selector is already connected: adding the first source selects it.
    for (const EdidSource &source : kEdidSources)
        ui->EdidAddress->addItem(QString::fromLatin1(source.name), QVariant());
    ExpectedSerial = kToolSerial;
    installDeviceWarningBox();
    DeviceHandle = kNoUsbHandle;

    // View sits between File and Help, as desktop programs have it.
    QMenu *view = new QMenu(tr("View"), this);
    view->setObjectName(QStringLiteral("menuView"));
    QAction *detailsAction = view->addAction(tr("EDID Details..."));
    detailsAction->setObjectName(QStringLiteral("actionEdidDetails"));
    detailsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(detailsAction, &QAction::triggered, this, &MainWindow::ShowEdidDetails);
    menuBar()->insertMenu(ui->menuHelp->menuAction(), view);

    QAction *presetAction = new QAction(tr("New from Preset..."), this);
    presetAction->setObjectName(QStringLiteral("actionNewFromPreset"));
    connect(presetAction, &QAction::triggered, this, &MainWindow::NewFromPreset);
    ui->menuFile->insertAction(ui->actionExit, presetAction);
    QAction *mergeAction = new QAction(tr("Merge..."), this);
    mergeAction->setObjectName(QStringLiteral("actionMerge"));
    connect(mergeAction, &QAction::triggered, this, &MainWindow::MergeEDIDs);
    ui->menuFile->insertAction(ui->actionExit, mergeAction);
    ui->menuFile->insertSeparator(ui->actionExit);
}

void MainWindow::NewFromPreset()
{
    QStringList lines;
    QInputDialog dialog(this);
    int widest = 0;
    for (const EdidPreset &preset : edidPresets()) {
        lines << QStringLiteral("%1 - %2").arg(QLatin1String(preset.name),
                                               QLatin1String(preset.description));
        widest = std::max(widest, dialog.fontMetrics().horizontalAdvance(lines.back()));
    }
    dialog.setWindowTitle(tr("New from Preset"));
    dialog.setLabelText(tr("Preset:"));
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    dialog.setComboBoxItems(lines);
    dialog.setTextValue(lines.first());
    // Each line whole, beside the dialog's and the list's margins.
    dialog.resize(widest + 10 * dialog.fontMetrics().averageCharWidth(),
                  dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted || !lines.contains(dialog.textValue()))
        return;
    const ComposedEdid made =
        presetEdid(edidPresets()[std::size_t(lines.indexOf(dialog.textValue()))].name);
    if (!made.image) {
        QMessageBox::warning(this, tr("VARNEX"), QString::fromStdString(made.refusal),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    ShowEDIDtext(&*made.image);
    statusBar()->showMessage(tr("Preset loaded"), kStatusMessageMs);
}

void MainWindow::MergeEDIDs()
{
    clearEdidTextBuffer();
    DoMergeEDIDs();
}

void MainWindow::ShowEdidDetails()
{
    if (!details) {
        details = new EdidDetailsWindow(paneDocument, this);
        details->placeBeside(this);
    }
    details->show();
    details->raise();
    details->activateWindow();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_ProgressChange(int a, int b)
{
    if (!progressBar)
        return;
    if (a <= 0 || b <= 0) {
        progressBar->hide();
        return;
    }
    progressBar->show();
    progressBar->setRange(0, b);
    progressBar->setValue(a);
}

void MainWindow::SaveEDIDtoFile()
{
    clearEdidTextBuffer();
    DoSaveEDIDtoFile();
}

void MainWindow::LoadEDIDfromFile()
{
    clearEdidTextBuffer();
    DoLoadEDIDfromFile();
}

void MainWindow::FileExit()
{
    CloseDevice();
    // The slot may run inside a signal of a child about to be destroyed: never return.
    delete this;
    std::fflush(nullptr);
    std::exit(0);
}

void MainWindow::FileAbout()
{
    QMessageBox::about(this, tr("About Varnex HDMI"),
                       tr("<h2>Varnex HDMI EDID Utility Version 1.00</h2>"
                          "<p>Reads, checks, edits, saves and writes the EDID images of a "
                          "Varnex HDMI tool. Copyright &copy; Varnex. All rights reserved.</p>"));
}

void MainWindow::ReadEDID()
{
    clearEdidTextBuffer();
    DoReadEDID();
}

void MainWindow::WriteEDID()
{
    clearEdidTextBuffer();
    if (!isWritableEdidAddress(SelectedEdidAddress))
        return;
    DoWriteEDID();
}

void MainWindow::SelectEdid(int index)
{
    selectEdidSource(index);
}

void MainWindow::CalculateChkSum()
{
    clearEdidTextBuffer();
    DoCalculateChkSum();
}

// The text pane as the store of the EDID.

void MainWindow::ShowEDIDtext(const EdidImage *image)
{
    showImageText(*image, EdidImage::kSize);
}

void MainWindow::showImageText(const EdidImage &image, std::size_t size)
{
    const QString text = QString::fromLatin1(edidHexText(image));
    QTextCursor cursor = ui->EDIDtext->textCursor();
    QTextCharFormat insideFormat;
    QTextCharFormat lineEndFormat;

    ui->EDIDtext->clear();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::Start, QTextCursor::MoveAnchor);
    for (std::size_t i = 0; i < size; ++i) {
        const QString group = text.mid(static_cast<int>(3 * i), 3);
        if (!endsEdidHexLine(i)) {
            insideFormat.setForeground(QBrush(Qt::black, Qt::SolidPattern));
            cursor.insertText(group, insideFormat);
            continue;
        }
        const bool checksum = isEdidChecksumByte(i);
        lineEndFormat.setFontWeight(checksum ? QFont::Bold : QFont::Normal);
        lineEndFormat.setForeground(QBrush(checksum ? Qt::red : Qt::black, Qt::SolidPattern));
        cursor.insertText(group.left(2), lineEndFormat);
        cursor.insertText(QStringLiteral("\n"));
    }
}

void MainWindow::markPaneBytes(const ByteRange &bytes)
{
    QTextEdit *pane = ui->EDIDtext;
    if (bytes.length == 0) {
        pane->setExtraSelections({});
        return;
    }
    // Byte n is the two digits at character 3n of the layout the pane was parsed in.
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(pane->document());
    mark.cursor.setPosition(int(3 * bytes.offset));
    mark.cursor.setPosition(int(3 * (bytes.offset + bytes.length) - 1), QTextCursor::KeepAnchor);
    mark.format.setBackground(QColor(255, 226, 120));
    pane->setExtraSelections({mark});
    // Scrolled into view; the operator's own cursor in the pane stays where it was.
    const QRect shown = pane->cursorRect(mark.cursor);
    if (shown.top() < 0 || shown.bottom() > pane->viewport()->height())
        pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->value() + shown.top() -
                                            pane->viewport()->height() / 3);
}

int MainWindow::ParseEDIDtext(EdidImage *image)
{
    // Characters outside Latin-1 become '?', which no hex digit matches.
    const QByteArray text = ui->EDIDtext->toPlainText().toLatin1();
    return parseEdidHexText(std::string_view(text.constData(), text.size()), *image);
}

void MainWindow::showPlainText(const QString &text, const QColor &color)
{
    // Start from an empty pane and a clean format: no selection, colour, font or italics of the
    // earlier text may carry over into the new one.
    ui->EDIDtext->clear();
    ui->EDIDtext->setCurrentCharFormat(QTextCharFormat());
    ui->EDIDtext->setFontPointSize(8);
    ui->EDIDtext->setTextColor(color);
    ui->EDIDtext->setFontWeight(QFont::Bold);
    // Never interpreted as markup: a file's text is shown as it stands.
    ui->EDIDtext->setPlainText(text);
}

// The read and the write.

void MainWindow::prepareProgressBar()
{
    // One bar serves every read and write, at the right end of the status bar.
    if (!progressBar) {
        progressBar = new QProgressBar(statusBar());
        progressBar->setTextVisible(false);
        statusBar()->addPermanentWidget(progressBar, 0);
    }
    progressBar->hide();
}

bool MainWindow::DoReadEDID()
{
    prepareProgressBar();
    EdidImage image;
    const TransferResult result = readEdidFromTool(
        image, [this](int value, int maximum) { on_ProgressChange(value, maximum); });
    if (result == TransferResult::ToolNotFound) {
        QMessageBox::warning(this, tr("VARNEX"), tr("Hardware not found"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return false;
    }
    on_ProgressChange(0, 0);
    if (result == TransferResult::Interrupted) {
        QMessageBox::warning(this, tr("VARNEX"), tr("The EDID could not be read."), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return false;
    }

    statusBar()->showMessage(tr("EDID values read."), kStatusMessageMs);
    const std::string text = edidHexText(image);
    std::copy(text.begin(), text.end(), EdidTextBuffer.begin());
    showPlainText(QString::fromLatin1(EdidTextBuffer.data()), Qt::black);
    return true;
}

bool MainWindow::DoWriteEDID()
{
    prepareProgressBar();
    EdidImage image;
    if (ParseEDIDtext(&image) < 0) {
        showHexFormatError(this);
        return false;
    }

    if (!hasCorrectChecksums(image) && !askAboutWrongChecksum(QStringLiteral("Write anyway?")))
        return false;

    const TransferResult result = writeEdidToTool(
        image, [this](int value, int maximum) { on_ProgressChange(value, maximum); });
    if (result == TransferResult::ToolNotFound) {
        QMessageBox::warning(this, tr("Varnex HDMI"), tr("Varnex HDMI hardware not found"),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }
    on_ProgressChange(0, 0);
    if (result == TransferResult::Interrupted) {
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("The EDID could not be written completely. The custom EDID "
                                "may now be incomplete."),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }

    statusBar()->showMessage(tr("EDID values written..."), kStatusMessageMs);
    return true;
}

// The checksum command.

bool MainWindow::DoCalculateChkSum()
{
    EdidImage image;
    if (ParseEDIDtext(&image) < 0) {
        showHexFormatError(this);
        return false;
    }
    if (hasCorrectChecksums(image)) {
        ShowEDIDtext(&image);
        return true;
    }

    if (!askAboutWrongChecksum(QStringLiteral("Do you want to calculate a new checksum?")))
        return false;

    recalculateChecksums(image);
    ShowEDIDtext(&image);
    return true;
}

// Loading and saving files.

bool MainWindow::DoLoadEDIDfromFile()
{
    const QString fileName = askFileNameToOpen(this);
    if (fileName.isEmpty())
        return false;

    // A short file is no error: whatever it lacks of the first 1024 bytes counts as zero.
    const FileStart start = readFileStart(fileName, static_cast<qint64>(kEdidFileReadLimit));
    if (!start.error.isNull()) {
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("Cannot read file %1:\n%2.").arg(fileName, start.error),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }

    const EdidFileContent edid =
        interpretEdidFile(std::string_view(start.content.constData(), start.content.size()),
                          EdidFileRule::FirstByteZeroIsBinary);
    if (edid.isBinary)
        ShowEDIDtext(&edid.image);
    else
        showPlainText(QString::fromLatin1(edid.text), QColor(0, 0, 255, 255));
    statusBar()->showMessage(tr("File loaded"), kStatusMessageMs);
    return true;
}

bool MainWindow::DoSaveEDIDtoFile()
{
    EdidImage image;
    if (ParseEDIDtext(&image) < 0) {
        showHexFormatError(this);
        return false;
    }
    const QString fileName = askFileNameToSave(this);
    if (fileName.isEmpty())
        return false;

    const QByteArray bytes(reinterpret_cast<const char *>(image.bytes.data()),
                           static_cast<int>(image.bytes.size()));
    const QString error = saveFileAtomically(fileName, bytes, [this] {
        statusBar()->showMessage(tr("Saving file..."), kStatusMessageMs);
    });
    if (!error.isNull()) {
        statusBar()->clearMessage();
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("Cannot write file %1:\n%2.").arg(fileName, error), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return false;
    }
    statusBar()->showMessage(tr("File saved"), kStatusMessageMs);
    return true;
}

// Merging EDIDs.

bool MainWindow::readMergeInput(const MergeInput &input, EdidImage &image)
{
    if (input.source < 0) {
        const QString problem = readMergeFile(input.file, image);
        if (!problem.isNull())
            QMessageBox::warning(this, tr("VARNEX"),
                                 tr("Cannot read file %1:\n%2.").arg(input.file, problem),
                                 QMessageBox::Ok, QMessageBox::NoButton);
        return problem.isNull();
    }
    prepareProgressBar();
    const std::uint8_t chosen = SelectedEdidAddress;
    SelectedEdidAddress = kEdidSources[std::size_t(input.source)].address;
    const TransferResult result = readEdidFromTool(
        image, [this](int value, int maximum) { on_ProgressChange(value, maximum); });
    SelectedEdidAddress = chosen;
    on_ProgressChange(0, 0);
    if (result != TransferResult::Completed)
        QMessageBox::warning(this, tr("VARNEX"),
                             result == TransferResult::ToolNotFound
                                 ? tr("Hardware not found")
                                 : tr("The EDID could not be read."),
                             QMessageBox::Ok, QMessageBox::NoButton);
    return result == TransferResult::Completed;
}

bool MainWindow::DoMergeEDIDs()
{
    MergeDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    std::vector<EdidDescription> inputs;
    QStringList said;
    for (const MergeInput &input : dialog.inputs()) {
        EdidImage image;
        if (!readMergeInput(input, image))
            return false;
        if (!hasCorrectChecksums(image))
            said << tr("Input %1 has a wrong checksum; it was read as it is.")
                        .arg(inputs.size() + 1);
        inputs.push_back(decodeEdid(image));
    }
    const MergeResult result = mergeEdids(inputs, MergeOptions());
    if (!result.merged) {
        QMessageBox::warning(
            this, tr("VARNEX"),
            tr("The EDIDs cannot be merged: %1.").arg(QString::fromStdString(result.refusal)),
            QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }
    ShowEDIDtext(&result.merged->image);
    statusBar()->showMessage(tr("EDIDs merged"), kStatusMessageMs);
    // Where each value came from, one line a field, behind the box's details button.
    QStringList notes;
    for (const MergeNote &note : result.notes)
        notes << QString::fromStdString(note.text());
    QMessageBox box(
        QMessageBox::Information, tr("VARNEX"),
        (said +
         QStringList{tr("%1 EDIDs merged into one that all of them accept.").arg(inputs.size())})
            .join(QLatin1Char('\n')),
        QMessageBox::Ok, this);
    box.setDetailedText(notes.join(QLatin1Char('\n')));
    box.exec();
    return true;
}
