#include "MainWindow.h"

#include "DeviceState.h"
#include "DeviceWarningBox.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "MainWindowForm.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>

#include <cstdio>
#include <cstdlib>

namespace {
void clearEdidTextBuffer()
{
    EdidTextBuffer.fill('\0');
}
} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new MainWindowForm)
{
    // The form's fixed geometry was laid out for a small 8-point dialog face; a sans face with
    // Arial's metrics at that size fits every text of it, whatever the desktop's own font. Set
    // for the whole program, so that menus and boxes match the window.
    QFont windowFont(QStringLiteral("Liberation Sans"), 8);
    windowFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(windowFont);
    ui->setupUi(this);
    // Keep a monospaced face where "Courier New" itself is not installed.
    QFont paneFont = ui->EDIDtext->font();
    paneFont.setStyleHint(QFont::TypeWriter);
    ui->EDIDtext->setFont(paneFont);

    // The selector is already connected: adding the first source selects it.
    for (const EdidSource &source : kEdidSources)
        ui->EdidAddress->addItem(QString::fromLatin1(source.name), QVariant());
    ExpectedSerial = 2011;
    installDeviceWarningBox();
    DeviceHandle = kNoUsbHandle;
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
