#pragma once

#include <QMainWindow>

#include <cstddef>

class EdidDetailsWindow;
class EdidDocument;
class QColor;
class QProgressBar;
class MainWindowForm;
struct ByteRange;
struct EdidImage;
struct MergeInput;

// Runs the utility's one window until it is closed; the program's main() has chosen the USB
// library before.
int runUtilityWindow(int argc, char *argv[]);

// The one window. Every command enters through one of its slots, which runs one operation;
// each operation reports to the operator itself and returns whether it succeeded.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The operations behind the slots.
    bool DoReadEDID();
    bool DoWriteEDID();
    bool DoLoadEDIDfromFile();
    bool DoSaveEDIDtoFile();
    bool DoCalculateChkSum();
    // File > Merge...: the EDIDs the operator chooses merged into one for the pane.
    bool DoMergeEDIDs();

    // The text pane as the store of the EDID: render an image into it, parse it back.
    void ShowEDIDtext(const EdidImage *image);
    int ParseEDIDtext(EdidImage *image);

public slots:
    void on_ProgressChange(int a, int b);

private slots:
    void SaveEDIDtoFile();
    void LoadEDIDfromFile();
    void FileExit();
    void FileAbout();
    void ReadEDID();
    void WriteEDID();
    void SelectEdid(int);
    void CalculateChkSum();
    // View > EDID Details...: what the pane's EDID says, in a window beside this one.
    void ShowEdidDetails();
    // File > New from Preset...: a built-in EDID into the pane, as a loaded binary file.
    void NewFromPreset();
    void MergeEDIDs();

private:
    // How long a confirmation stays in the status bar.
    static constexpr int kStatusMessageMs = 2000;

    // Replaces the pane's content with text in bold 8-point type of this colour.
    void showPlainText(const QString &text, const QColor &color);
    // Renders the first size bytes of an image into the pane, as ShowEDIDtext does.
    void showImageText(const EdidImage &image, std::size_t size);
    // Marks bytes of the pane as an extra selection and scrolls them into view.
    void markPaneBytes(const ByteRange &bytes);

    // One EDID to merge, from its file or the tool; false after telling the operator why not.
    bool readMergeInput(const MergeInput &input, EdidImage &image);

    // Creates the status bar's progress bar on first use and hides it.
    void prepareProgressBar();

    QProgressBar *progressBar = nullptr;
    EdidDetailsWindow *details = nullptr;
    MainWindowForm *ui;
    EdidDocument *paneDocument; // what the pane says, for the details window
};
