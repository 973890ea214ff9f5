#pragma once

#include "DeviceState.h"
#include "DeviceWarning.h"
#include "EdidSources.h"
#include "FileNameDialogs.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"
#include "TestRegistry.h"
#include "VirtualTool.h"

#include <QComboBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>

#include <memory>

// The hex text of 256 bytes, built here independently of the program.
template <typename Bytes> QString hexText(const Bytes &bytes)
{
    QString text;
    for (int i = 0; i < 256; ++i)
        text += QString::asprintf("%02X%c", unsigned(std::uint8_t(bytes[i])),
                                  i % 16 == 15 ? '\n' : ' ');
    return text;
}

// Each box the watcher answered, as "title|text|informative text|icon buttons owner".
inline QStringList describe(const MessageBoxWatcher &watcher)
{
    QStringList lines;
    for (const ShownBox &box : watcher.boxes())
        lines << box.title + '|' + box.text + '|' + box.informativeText + '|' +
                     (box.icon == QMessageBox::Warning ? "warning"
                      : box.icon                       ? "icon"
                                                       : "no-icon") +
                     (box.buttons == QMessageBox::Ok                        ? " OK"
                      : box.buttons == (QMessageBox::Yes | QMessageBox::No) ? " Yes/No"
                                                                            : " buttons") +
                     (box.hasParent ? " parent" : " no-parent");
    return lines;
}

// A main window on a fresh virtual tool for each test function, in fast device time.
struct WindowFixture {
    void openWindow()
    {
        // The process-wide state the window sets, spoiled first so that tests see it set.
        SelectedEdidAddress = 0x00;
        ExpectedSerial = 0;
        DeviceHandle = 77;
        virtualTool().reset();
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>("EDIDtext");
        selector = window->findChild<QComboBox *>("EdidAddress");
    }
    // From now on collects what the operator is shown, in order: the file dialogs (answered
    // with `fileName`), the status messages and the device link's warnings with the progress
    // bar as it stands; shown() adds the boxes answered.
    void record()
    {
        watcher = std::make_unique<MessageBoxWatcher>();
        setFileNameAnswer([this](FileNameDialog dialog, QWidget *parent) {
            seen << QString(dialog == FileNameDialog::Open ? "open" : "save") +
                        (parent == window.get() ? "" : " without parent");
            return fileName;
        });
        QObject::connect(window->statusBar(), &QStatusBar::messageChanged,
                         [this](const QString &message) { seen << message; });
        setDeviceWarningHandler([this](const char *text) {
            const auto *bar = window->statusBar()->findChild<QProgressBar *>();
            seen << QString::asprintf("device: %s (bar %d/%d)", text,
                                      bar && bar->isVisibleTo(window.get()) ? bar->value() : -1,
                                      bar ? bar->maximum() : -1);
        });
    }
    QStringList shown() const { return seen + describe(*watcher); }
    void closeWindow()
    {
        setFileNameAnswer(nullptr);
        setDeviceWarningHandler(nullptr);
        watcher.reset();
        seen.clear();
        window.reset();
        DeviceHandle = kNoUsbHandle;
    }
    QString status() const { return window->statusBar()->currentMessage(); }

    TestDeviceClock clock;
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
    QComboBox *selector = nullptr;
    std::unique_ptr<MessageBoxWatcher> watcher;
    QStringList seen;
    QString fileName;
};
