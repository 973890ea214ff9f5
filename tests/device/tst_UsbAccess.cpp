#include "DeviceState.h"
#include "TestRegistry.h"
#include "UsbAccess.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QTest>

#include <functional>

using Op = VirtualTool::Operation;
Q_DECLARE_METATYPE(VirtualTool::Operation)

namespace {

// Makes one access-layer call with harmless arguments and returns its status.
UsbStatus callOperation(Op op)
{
    std::uint32_t count = 0;
    std::uint32_t status = 0;
    UsbHandle handle = kNoUsbHandle;
    UsbStringBuffer text{};
    std::uint8_t bytes[16]{};
    switch (op) {
    case Op::DeviceCount: return UsbDeviceCount(&count);
    case Op::DeviceString: return UsbDeviceString(0, text, kUsbSerialString);
    case Op::OpenByIndex: return UsbOpenByIndex(0, &handle);
    case Op::CloseHandle: return UsbCloseHandle(1);
    case Op::ReadBlock: return UsbReadBlock(1, bytes, 16, &count, 0);
    case Op::WriteBlock: return UsbWriteBlock(1, bytes, 4, &count, 0);
    case Op::Purge: return UsbPurge(1, 1, 1);
    case Op::QueueStatus: return UsbQueueStatus(1, &count, &status);
    }
    return kUsbSuccess;
}

bool usbLockIsFree()
{
    if (!UsbLock.try_lock())
        return false;
    UsbLock.unlock();
    return true;
}

} // namespace

class UsbAccessTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        DeviceHandle = kNoUsbHandle;
    }

    void failingCallPassesStatusAndFreesLock_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<int>("status");
        const std::pair<const char *, Op> ops[] = {
            {"count", Op::DeviceCount},  {"string", Op::DeviceString}, {"open", Op::OpenByIndex},
            {"close", Op::CloseHandle},  {"read", Op::ReadBlock},      {"write", Op::WriteBlock},
            {"purge", Op::Purge},        {"queue", Op::QueueStatus},
        };
        for (const auto &[name, op] : ops) {
            QTest::addRow("%s status 1", name) << op << 1;
            QTest::addRow("%s status -7", name) << op << -7;
            QTest::addRow("%s status 0x7fffffff", name) << op << 0x7fffffff;
        }
    }

    void failingCallPassesStatusAndFreesLock()
    {
        QFETCH(Op, op);
        QFETCH(int, status);
        virtualTool().failOnCall(op, 1, status);
        QCOMPARE(callOperation(op), status);
        QVERIFY(usbLockIsFree());
        QCOMPARE(virtualTool().callCount(op), 1);
    }

    void closeDeviceWithNothingOpenMakesNoCall()
    {
        WarningRecorder recorder;
        CloseDevice();
        QCOMPARE(virtualTool().callCount(Op::CloseHandle), 0);
        QVERIFY(recorder.warnings.empty());
        QCOMPARE(DeviceHandle, kNoUsbHandle);
    }

    void closeDeviceClosesTheOpenHandle()
    {
        WarningRecorder recorder;
        QCOMPARE(UsbOpenByIndex(0, &DeviceHandle), kUsbSuccess);
        QCOMPARE(virtualTool().openHandleCount(), 1);
        CloseDevice();
        QCOMPARE(virtualTool().openHandleCount(), 0);
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QVERIFY(recorder.warnings.empty());
    }

    void refusedCloseWarnsOnceAndForgetsHandle()
    {
        WarningRecorder recorder;
        QCOMPARE(UsbOpenByIndex(0, &DeviceHandle), kUsbSuccess);
        virtualTool().failOnCall(Op::CloseHandle, 1);
        CloseDevice();
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(recorder.warnings, std::vector<std::string>{"Unable to close device handle!"});
        CloseDevice();
        QCOMPARE(recorder.warnings.size(), std::size_t(1));
        QCOMPARE(virtualTool().callCount(Op::CloseHandle), 1);
        QVERIFY(usbLockIsFree());
    }
};

VARNEX_REGISTER_TEST(UsbAccessTest);
#include "tst_UsbAccess.moc"
