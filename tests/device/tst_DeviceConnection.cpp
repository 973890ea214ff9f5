#include "DeviceConnection.h"
#include "DeviceState.h"
#include "TestRegistry.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QStringList>
#include <QTest>

using Op = VirtualTool::Operation;
Q_DECLARE_METATYPE(VirtualTool::Operation)
using Failures = QList<QPair<Op, int>>; // operation, nth call

namespace {

void attachSerials(const QStringList &serials)
{
    std::vector<VirtualTool::Device> devices;
    for (const QString &serial : serials)
        devices.push_back({serial.toStdString(), "Varnex HDMI"});
    virtualTool().attachDevices(devices);
}

QStringList recorded(const WarningRecorder &recorder)
{
    QStringList texts;
    for (const std::string &warning : recorder.warnings)
        texts << QString::fromStdString(warning);
    return texts;
}

} // namespace

class DeviceConnectionTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        ExpectedSerial = 2011;
        DeviceHandle = kNoUsbHandle;
    }
    void cleanup()
    {
        CloseDevice();
        ExpectedSerial = 2011;
    }

    void findsTheToolBySerial_data()
    {
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<int>("expectedSerial");
        QTest::addColumn<int>("opened"); // index of the opened device, -1 for none
        QTest::newRow("no device") << QStringList{} << 2011 << -1;
        QTest::newRow("the tool alone") << QStringList{"2011"} << 2011 << 0;
        QTest::newRow("other serial, then the tool") << QStringList{"1234", "2011"} << 2011 << 1;
        QTest::newRow("two tools: lower index wins") << QStringList{"2011", "2011"} << 2011 << 0;
        QTest::newRow("leading zero") << QStringList{"02011"} << 2011 << -1;
        QTest::newRow("next number") << QStringList{"2012"} << 2011 << -1;
        QTest::newRow("trailing space") << QStringList{"2011 "} << 2011 << -1;
        QTest::newRow("empty serial") << QStringList{""} << 2011 << -1;
        QTest::newRow("empty serial, then the tool") << QStringList{"", "2011"} << 2011 << 1;
        QTest::newRow("expected serial in decimal") << QStringList{"2011", "7"} << 7 << 1;
    }
    void findsTheToolBySerial()
    {
        QFETCH(QStringList, serials);
        QFETCH(int, expectedSerial);
        QFETCH(int, opened);
        attachSerials(serials);
        ExpectedSerial = static_cast<std::uint16_t>(expectedSerial);
        WarningRecorder recorder;

        QCOMPARE(OpenDevice(), opened >= 0);
        QVERIFY(recorder.warnings.empty());
        QCOMPARE(virtualTool().openHandleCount(), opened >= 0 ? 1 : 0);
        if (opened < 0) {
            QCOMPARE(DeviceHandle, kNoUsbHandle);
            QVERIFY(virtualTool().openedDevices().empty());
            QCOMPARE(virtualTool().callCount(Op::DeviceString), int(serials.size()));
            return;
        }
        QVERIFY(DeviceHandle != kNoUsbHandle);
        QCOMPARE(virtualTool().openedDevices(), std::vector<std::size_t>{std::size_t(opened)});
        // The search stops at the tool: its serial, then its product string.
        QCOMPARE(virtualTool().callCount(Op::DeviceString), opened + 2);
        QCOMPARE(virtualTool().callCount(Op::Purge), 1);
        QCOMPARE(QString::fromLatin1(AcceptedSerials[0].data()), QString::number(expectedSerial));
    }

    void failingStepsReleaseTheDevice_data()
    {
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<Failures>("failures");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<int>("opened");
        QTest::addColumn<int>("leftOpenInTool");
        using F = Failures;
        QTest::newRow("count fails")
            << QStringList{"2011"} << F{{Op::DeviceCount, 1}} << QStringList{} << -1 << 0;
        QTest::newRow("serial of the only device fails")
            << QStringList{"2011"} << F{{Op::DeviceString, 1}}
            << QStringList{"Error retrieving serial string!"} << -1 << 0;
        QTest::newRow("serial of device 0 fails, device 1 is the tool")
            << QStringList{"2011", "2011"} << F{{Op::DeviceString, 1}}
            << QStringList{"Error retrieving serial string!"} << 1 << 1;
        QTest::newRow("product string fails")
            << QStringList{"2011"} << F{{Op::DeviceString, 2}}
            << QStringList{"Unable to retrive product string!"} << -1 << 0;
        QTest::newRow("open fails") << QStringList{"2011"} << F{{Op::OpenByIndex, 1}}
                                    << QStringList{"Unable to open handle to device!"} << -1 << 0;
        QTest::newRow("flush fails") << QStringList{"2011"} << F{{Op::Purge, 1}}
                                     << QStringList{"Unable to flush device bufers!"} << -1 << 0;
        // The refused handle is forgotten by the program, so the tool still counts it.
        QTest::newRow("flush fails, close refused")
            << QStringList{"2011"} << F{{Op::Purge, 1}, {Op::CloseHandle, 1}}
            << QStringList{"Unable to flush device bufers!", "Unable to close device handle!"} << -1
            << 1;
    }
    void failingStepsReleaseTheDevice()
    {
        QFETCH(QStringList, serials);
        QFETCH(Failures, failures);
        QFETCH(QStringList, warnings);
        QFETCH(int, opened);
        QFETCH(int, leftOpenInTool);
        attachSerials(serials);
        for (const auto &[op, nth] : failures)
            virtualTool().failOnCall(op, nth);
        WarningRecorder recorder;

        QCOMPARE(OpenDevice(), opened >= 0);
        QCOMPARE(recorded(recorder), warnings);
        QCOMPARE(virtualTool().openHandleCount(), leftOpenInTool);
        QCOMPARE(DeviceHandle != kNoUsbHandle, opened >= 0);
        if (opened >= 0)
            QCOMPARE(virtualTool().openedDevices().back(), std::size_t(opened));
    }

    void staleHandleIsDroppedWithoutClosing()
    {
        virtualTool().attachDevices({});
        DeviceHandle = 77;
        WarningRecorder recorder;
        QVERIFY(!OpenDevice());
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(virtualTool().callCount(Op::CloseHandle), 0);
        QVERIFY(recorder.warnings.empty());
    }
};

VARNEX_REGISTER_TEST(DeviceConnectionTest);
#include "tst_DeviceConnection.moc"
