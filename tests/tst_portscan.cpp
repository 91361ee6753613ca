// Port Scan on a bit-level line: the port decodes what the machine punches
// with whatever the scan has put in force.

#include "core/inifile.h"
#include "linesim.h"
#include "machinevalues.h"
#include "shoprig.h"

#include <QCoreApplication>
#include <QTest>

namespace
{
// An upper-case CNC program of about `bytes` bytes.
QByteArray upperProgram(int bytes)
{
    QByteArray out = "%\r\nO1234 (PART 7)\r\n";
    for (int n = 10; out.size() < bytes; n += 10)
        out += QString::asprintf("N%d G01 X%d.%d Y-%d.5 F250\r\n", n, n % 97, n % 10, n % 53)
                   .toLatin1();
    return out;
}

// A machine stored with settings that are all wrong, selected, and scanned.
struct Rig : ShopRig<LinePort> {
    QStringList captions;
    QByteArray shown;
    bool found = false;
    int topBits = 0;          // shown with the top bit set after the speed was found
    int topBitsAtSwitch = -1; // ... when 7 data bits with even parity came in

    explicit Rig(const LineSettings &machine)
    {
        port.line = LineSimulator(machine);
        config.table().append(
            machineWith("MCDRATE=19200|MCSBITS=2|MCFLOW=0", MachineConfig::defaults("ttyFAKE0")));
        config.save();
        shop.select(1);
        PortScan &scan = link.scan();
        QObject::connect(&scan, &PortScan::settingsTried, [this](const QString &c) {
            captions << c;
            if (c.endsWith(",e,7,1")) topBitsAtSwitch = topBits;
        });
        QObject::connect(&scan, &PortScan::findingsChanged,
                         [this](const ScanFindings &f) { found = f.speed; });
        QObject::connect(&scan, &PortScan::shown, [this](const QByteArray &b) {
            shown += b; // a byte at a time
            topBits += found && b[0] & 0x80;
        });
        shop.beginScan();
    }
    // Byte by byte, with a pause after each line end.
    void punch(const QByteArray &text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            port.machineSends(text.mid(i, 1), i > 0 && text[i - 1] == '\n' ? 12 : 0);
            QCoreApplication::sendPostedEvents();
        }
        port.machineSends({}, 1000);
        QCoreApplication::sendPostedEvents();
    }
    QString stored(Key k) const
    {
        return IniFile::lookup(IniFile::lines(file()), "[MC1]", MachineConfig::keyName(k));
    }
};
} // namespace

class TestPortScan : public QObject
{
    Q_OBJECT
private slots:
    void finds_data()
    {
        QTest::addColumn<qint32>("speed");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("switchAt"); // top-bit bytes after the speed was found
        QTest::newRow("9600 8N1") << 9600 << 8 << QStringList{"9600,n,8,1"} << -1;
        QTest::newRow("2400 8N1") << 2400 << 8
                                  << QStringList{"9600,n,8,1", "4800,n,8,1", "2400,n,8,1"} << -1;
        QTest::newRow("4800 7E1") << 4800 << 7
                                  << QStringList{"9600,n,8,1", "4800,n,8,1", "4800,e,7,1"} << 51;
    }
    void finds()
    {
        QFETCH(qint32, speed);
        QFETCH(int, dataBits);
        QFETCH(QStringList, captions);
        QFETCH(int, switchAt);
        Rig r(lineSettings(speed, dataBits));
        QCOMPARE(r.shop.saveScan(), Workshop::ScanSaveResult::Incomplete);
        QCOMPARE(r.stored(Key::Speed), QStringLiteral("19200"));
        const QByteArray program = upperProgram(3000);
        r.punch(program);
        QCOMPARE(r.captions, captions);
        QCOMPARE(r.topBitsAtSwitch, switchAt);
        QVERIFY(r.link.scan().findings().complete());
        QCOMPARE(r.port.settings(), lineSettings(speed, dataBits));
        QVERIFY(r.shown.endsWith(program.right(200)));

        QCOMPARE(r.shop.saveScan(), Workshop::ScanSaveResult::Saved);
        const bool eight = dataBits == 8;
        QCOMPARE((QStringList{r.stored(Key::Speed), r.stored(Key::DataBits), r.stored(Key::Parity),
                              r.stored(Key::StopBits), r.stored(Key::Flow)}),
                 (QStringList{QString::number(speed), eight ? "8" : "7", eight ? "None" : "Even",
                              "1", "1"}));
    }

    void lowerCaseRejectsTheRightSpeed()
    {
        Rig r(lineSettings(9600));
        r.punch(QByteArray("(roughing pass on the outer contour)\r\n").repeated(8));
        QCOMPARE(r.captions.mid(0, 2), (QStringList{"9600,n,8,1", "4800,n,8,1"}));
        QVERIFY(!r.link.scan().findings().speed);
    }

    // 100 plausible bytes among 300 of codes 0 to 7 find the speed, 99 do not.
    void lowCodesNeitherShownNorScored()
    {
        Rig r(lineSettings(9600));
        QByteArray low;
        for (int i = 0; i < 300; ++i)
            low += char(i % 8);
        r.punch(low + QByteArray(99, 'G'));
        QCOMPARE(r.shown, QByteArray(99, 'G'));
        QVERIFY(!r.link.scan().findings().speed);
        r.punch(low + "G");
        QVERIFY(r.link.scan().findings().speed);
        QCOMPARE(r.captions, QStringList{"9600,n,8,1"});
    }
};

QTEST_GUILESS_MAIN(TestPortScan)
#include "tst_portscan.moc"
