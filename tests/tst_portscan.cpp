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
struct Rig : ShopRig<> {
    LineSimulator line; // from the machine, decoded with the settings in force
    QStringList captions;
    QByteArray shown;
    bool found = false;
    int topBits = 0;          // shown with the top bit set after the speed was found
    int topBitsAtSwitch = -1; // ... when 7 data bits with even parity came in

    explicit Rig(const LineSettings &machine) : line(machine)
    {
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
    // Byte by byte, with a pause after each line end and a long one at the end.
    void punch(const QByteArray &text)
    {
        for (qsizetype i = 0; i <= text.size(); ++i) {
            const bool afterLine = i > 0 && text[i - 1] == '\n';
            line.send(text.mid(i, 1), i == text.size() ? 1000 : afterLine ? 12 : 0);
            port.deliver(line.receive(port.settings()));
            QCoreApplication::sendPostedEvents();
        }
    }
    // The speed, data bits, parity, stop bits and flow in the file.
    QString stored() const
    {
        QStringList out;
        for (const Key k : {Key::Speed, Key::DataBits, Key::Parity, Key::StopBits, Key::Flow})
            out << IniFile::lookup(IniFile::lines(file()), "[MC1]", MachineConfig::keyName(k));
        return out.join(u' ');
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
        QTest::addColumn<QString>("captions"); // the settings tried, in order
        QTest::addColumn<int>("switchAt");     // top-bit bytes after the speed was found
        QTest::newRow("9600 8N1") << 9600 << 8 << "9600,n,8,1" << -1;
        QTest::newRow("2400 8N1") << 2400 << 8 << "9600,n,8,1 4800,n,8,1 2400,n,8,1" << -1;
        QTest::newRow("4800 7E1") << 4800 << 7 << "9600,n,8,1 4800,n,8,1 4800,e,7,1" << 51;
    }
    void finds()
    {
        QFETCH(qint32, speed);
        QFETCH(int, dataBits);
        QFETCH(QString, captions);
        QFETCH(int, switchAt);
        Rig r(lineSettings(speed, dataBits));
        QCOMPARE(r.shop.saveScan(), Workshop::ScanSaveResult::Incomplete);
        QCOMPARE(r.stored(), QStringLiteral("19200 7 Even 2 0"));
        const QByteArray program = upperProgram(3000);
        r.punch(program);
        QCOMPARE(r.captions.join(u' '), captions);
        QCOMPARE(r.topBitsAtSwitch, switchAt);
        QVERIFY(r.link.scan().findings().complete());
        QCOMPARE(r.port.settings(), lineSettings(speed, dataBits));
        QVERIFY(r.shown.endsWith(program.right(200)));

        QCOMPARE(r.shop.saveScan(), Workshop::ScanSaveResult::Saved);
        QCOMPARE(r.stored(),
                 QStringLiteral("%1 %2 1 1").arg(speed).arg(dataBits == 8 ? "8 None" : "7 Even"));
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
