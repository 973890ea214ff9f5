#pragma once

#include "DeviceState.h"
#include "DeviceWarning.h"
#include "EdidSamples.h"
#include "EdidSources.h"
#include "FileNameDialogs.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QComboBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>

#include <memory>
#include <optional>

// A main window on a fresh virtual tool for each test function, in device time that passes only
// when read. It collects what the operator is shown, in order: the file dialogs (answered with
// `fileName`), the status messages and the device link's warnings with the progress bar as it
// stands; shown() adds the boxes answered.
struct WindowFixture {
    void openWindow()
    {
        // The process-wide state the window sets, spoiled first so that tests see it set.
        SelectedEdidAddress = 0x00;
        ExpectedSerial = 0;
        DeviceHandle = 77;
        tool.reset();
        useUsbLibrary(&tool);
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>("EDIDtext");
        selector = window->findChild<QComboBox *>("EdidAddress");
        watcher.emplace();
        setFileNameAnswer([this](FileNameDialog dialog, QWidget *parent) {
            seen << QString(dialog == FileNameDialog::Open ? "open" : "save") +
                        (parent == window.get() ? "" : " without parent");
            return fileName;
        });
        QObject::connect(window->statusBar(), &QStatusBar::messageChanged,
                         [this](const QString &message) { seen << message; });
        setDeviceWarningHandler([this](const char *text) {
            const auto *bar = window->statusBar()->findChild<QProgressBar *>();
            const bool shows = bar && bar->isVisibleTo(window.get());
            seen << QString::asprintf("device: %s (bar %d/%d)", text, shows ? bar->value() : -1,
                                      bar ? bar->maximum() : -1);
        });
    }
    void closeWindow()
    {
        setFileNameAnswer(nullptr);
        setDeviceWarningHandler(nullptr);
        watcher.reset();
        seen.clear();
        window.reset();
        DeviceHandle = kNoUsbHandle;
        useUsbLibrary(nullptr);
    }
    QStringList shown() const { return seen + watcher->boxes; }
    QString status() const { return window->statusBar()->currentMessage(); }

    TestDeviceClock clock;
    VirtualTool tool;
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
    QComboBox *selector = nullptr;
    std::optional<MessageBoxWatcher> watcher;
    QStringList seen;
    QString fileName;
};
