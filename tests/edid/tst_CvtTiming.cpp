#include "CvtTiming.h"

#include <QTest>

class CvtTimingTest : public QObject {
    Q_OBJECT

private slots:
    // Each timing as `edid-decode --cvt w=,h=,fps=,rb=` printed it: size, clock, the aspect ratio
    // CVT took the size for, H front, sync, back and polarity, V the same. "none" where the
    // formula gives no timing (edid-decode prints 0 MHz or a negative line period's numbers).
    void cvtMode_data()
    {
        QTest::addColumn<unsigned>("width");
        QTest::addColumn<unsigned>("height");
        QTest::addColumn<double>("hz");
        QTest::addColumn<int>("rb");
        QTest::addColumn<QString>("timing");
        const auto row = [](const char *name, unsigned w, unsigned h, double hz, int rb,
                            const char *timing) {
            QTest::newRow(name) << w << h << hz << rb << QString(timing);
        };
        row("1080p60", 1920, 1080, 60, 0, "1920x1080 173000 kHz 16:9 128 200 328 - 3 5 32 +");
        row("1080p60 rb1", 1920, 1080, 60, 1, "1920x1080 138500 kHz 16:9 48 32 80 + 3 5 23 -");
        row("1080p60 rb2", 1920, 1080, 60, 2, "1920x1080 133320 kHz 16:9 8 32 40 + 17 8 6 -");
        row("1080p59.94 rb2", 1920, 1080, 59.94, 2, "1920x1080 133186 kHz 16:9 8 32 40 + 17 8 6 -");
        row("1440p144 rb2", 2560, 1440, 144, 2, "2560x1440 586586 kHz 16:9 8 32 40 + 89 8 6 -");
        row("2160p60 rb1", 3840, 2160, 60, 1, "3840x2160 533250 kHz 16:9 48 32 80 + 3 5 54 -");
        row("2160p60 rb2", 3840, 2160, 60, 2, "3840x2160 522614 kHz 16:9 8 32 40 + 48 8 6 -");
        // The width kept, the blanking of 1360: 1366 is no CVT ratio, 1365 is 16:9.
        row("1366x768", 1366, 768, 60, 0, "1366x768 84750 kHz 0:0 72 136 208 - 3 10 17 +");
        row("1365x768 rb1", 1365, 768, 60, 1, "1365x768 72000 kHz 16:9 48 32 80 + 3 5 14 -");
        row("1366x768 rb2", 1366, 768, 60, 2, "1366x768 68540 kHz 0:0 8 32 40 + 8 8 6 -");
        row("5:4 at 75", 1280, 1024, 75, 0, "1280x1024 138750 kHz 5:4 88 136 224 - 3 7 38 +");
        row("4:3 at 56", 800, 600, 56, 0, "800x600 35000 kHz 4:3 24 80 104 - 3 4 16 +");
        row("16:10 rb1", 1680, 1050, 60, 1, "1680x1050 119000 kHz 16:10 48 32 80 + 3 6 21 -");
        // A width of the height times the ratio rounded down is that ratio, except for 5:4.
        row("15:9 rounded", 1668, 1001, 60, 0, "1668x1001 138500 kHz 15:9 104 176 280 - 3 7 28 +");
        row("5:4 rounded", 1251, 1001, 60, 0, "1251x1001 103500 kHz 0:0 80 128 208 - 3 10 25 +");
        // 21:9 at 24 Hz: the least duty cycle and the least vertical back porch.
        row("21:9 at 24", 2560, 1080, 24, 0, "2560x1080 84250 kHz 0:0 64 256 320 - 3 10 7 +");
        row("3440x1440p240 rb2", 3440, 1440, 240, 2,
            "3440x1440 1367731 kHz 0:0 8 32 40 + 165 8 6 -");
        row("32:9 at 120 rb2", 5120, 1440, 120, 2, "5120x1440 951600 kHz 0:0 8 32 40 + 71 8 6 -");
        row("least blanking rb1", 640, 100, 60, 1, "640x100 5750 kHz 0:0 48 32 80 + 3 10 7 -");
        row("least blanking rb2", 640, 40, 60, 2, "640x40 2376 kHz 0:0 8 32 40 + 1 8 6 -");
        // 75 * 130 * 1652 Hz is 16.107 MHz exactly; edid-decode's doubles give 16.106.
        row("clock rounding rb2", 1572, 115, 75, 2, "1572x115 16106 kHz 0:0 8 32 40 + 1 8 6 -");
        row("a zero porch", 184, 400, 30, 0, "184x400 2500 kHz 0:0 0 16 16 - 3 10 7 +");
        row("one clock step", 2, 1, 1, 2, "2x1 1 kHz 0:0 8 32 40 + 1 8 6 -");
        row("no width", 0, 1080, 60, 2, "none");
        row("no height", 1920, 0, 60, 1, "none");
        row("no rate", 1920, 1080, 0, 1, "none");
        row("no time for blanking", 1920, 1080, 2000, 0, "none");
        row("no whole cell", 7, 480, 60, 1, "none");
        row("clock under a step", 346, 21, 23.976, 0, "none");
        row("wider than a mode holds", 70000, 1080, 60, 2, "none");
    }
    void cvtMode()
    {
        QFETCH(unsigned, width);
        QFETCH(unsigned, height);
        QFETCH(double, hz);
        QFETCH(int, rb);
        QFETCH(QString, timing);
        const CvtBlanking blankings[] = {CvtBlanking::Normal, CvtBlanking::ReducedV1,
                                         CvtBlanking::ReducedV2};
        const std::optional<VideoMode> m = ::cvtMode(width, height, hz, blankings[rb]);
        const auto sign = [](bool positive) { return positive ? '+' : '-'; };
        QCOMPARE(m ? QString::asprintf("%ux%u%s %u kHz %u:%u %u %u %u %c %u %u %u %c", m->hActive,
                                       m->vActive, m->interlaced ? "i" : "", m->pixelClockKhz,
                                       m->aspectWidth, m->aspectHeight, m->hFront, m->hSync,
                                       m->hBack, sign(m->hSyncPositive), m->vFront, m->vSync,
                                       m->vBack, sign(m->vSyncPositive))
                   : QString("none"),
                 timing);
    }
};

QTEST_GUILESS_MAIN(CvtTimingTest)
#include "tst_CvtTiming.moc"
