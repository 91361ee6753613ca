// Port Scan on a bit-level line: the port decodes what the machine punches
// with whatever the scan has put in force.

#include "core/base/atomicfile.h"
#include "core/config/inifile.h"
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

using Finds = std::tuple<qint32, int, int, Parity>;
using Misfits = std::tuple<QByteArray, int, bool>;

// A machine stored with settings that are all wrong, selected, and scanned.
struct Rig : ShopRig<> {
    LineSimulator line; // from the machine, decoded with the settings in force
    QStringList captions;
    QByteArray shown;
    bool found = false;       // the speed was ever shown as found
    QStringList saves;        // what Save stored, pressed whenever all is shown found
    int topBits = 0;          // shown with the top bit set after the speed was found
    int topBitsAtSwitch = -1; // ... when 7 data bits with even parity came in

    explicit Rig(const LineSettings &machine) : line(machine)
    {
        config.table().append(
            machineWith("MCDRATE=19200|MCSBITS=2|MCFLOW=0", MachineConfig::defaults("ttyFAKE0")));
        QVERIFY(config.save());
        shop.select(1);
        PortScan &scan = shop.selectedLink()->scan();
        QObject::connect(&scan, &PortScan::settingsTried, [this](const QString &c) {
            captions << c;
            if (c.endsWith(",7,1")) topBitsAtSwitch = topBits;
        });
        QObject::connect(&scan, &PortScan::findingsChanged, [this](const ScanFindings &f) {
            found = found || f.speed;
            if (f.complete() && shop.saveScan() == Workshop::ScanSaveResult::Saved)
                saves << stored();
        });
        QObject::connect(&scan, &PortScan::shown, [this](const QByteArray &b) {
            shown += b; // a byte at a time
            topBits += found && b[0] & 0x80;
        });
        QCOMPARE(shop.beginScan(), Workshop::ScanResult::Started);
    }
    // Byte by byte, `gap` bit times apart, with a long pause at the end.
    void punch(const QByteArray &text, int gap = 0)
    {
        for (qsizetype i = 0; i <= text.size(); ++i) {
            line.send(text.mid(i, 1), i == text.size() ? 1000 : gap);
            port.deliver(line.receive(port.settings()));
            QCoreApplication::sendPostedEvents();
        }
    }
    // The speed, data bits, parity, stop bits and flow in the file.
    QString stored() const
    {
        QStringList out;
        for (const Key k : {Key::Speed, Key::DataBits, Key::Parity, Key::StopBits, Key::Flow})
            out << IniFile::lookup(IniFile::lines(file()), "[MC1]", MachineConfig::keyName(k).toLatin1());
        return out.join(u' ');
    }
};
} // namespace

class TestPortScan : public QObject
{
    Q_OBJECT
private slots:
    // Characters (nearly) back to back can misframe the port: found right, or nothing offered.
    void finds_data()
    {
        QTest::addColumn<Finds>("row");
        for (const int gap : {12, 0, 1, 2})
            for (const qint32 speed : {9600, 4800, 2400, 1200, 600})
                for (const int bits : {8, 7})
                    QTest::addRow("%d %d-bit gap %d", speed, bits, gap)
                        << Finds{speed, bits, gap, bits == 8 ? Parity::None : Parity::Even};
        for (const int gap : {12, 0})
            QTest::addRow("2400 7-bit odd gap %d", gap) << Finds{2400, 7, gap, Parity::Odd};
    }
    void finds()
    {
        QFETCH(Finds, row);
        const auto &[speed, dataBits, gap, parity] = row; // gap: idle bit times between characters
        LineSettings machine = lineSettings(speed, dataBits);
        machine.parity = parity;
        Rig r(machine);
        r.punch(upperProgram(3000), gap);
        if (r.shop.saveScan() == Workshop::ScanSaveResult::Saved) r.saves << r.stored();
        const QString want = QString::number(speed) + (dataBits == 8            ? " 8 None"
                                                       : parity == Parity::Even ? " 7 Even"
                                                                                : " 7 Odd");
        QCOMPARE(r.saves, QStringList(r.saves.size(), want + " 1 1")); // every save right
        QCOMPARE(r.found, !r.saves.isEmpty()); // no speed is shown found from misframed text
        if (gap < 12) return;
        // A file that does not take the findings leaves the machine as it was.
        const MachineTable before = r.shop.machines();
        r.config.setWriter([](const QString &, const QByteArray &, const QString &) {
            return QStringLiteral("No space left on device");
        });
        QCOMPARE(r.shop.saveScan(), Workshop::ScanSaveResult::NotSaved);
        QCOMPARE(r.shop.machines(), before);
        r.config.setWriter(writeFileAtomically);
        QCOMPARE(r.shop.saveScan(), Workshop::ScanSaveResult::Saved);
        QStringList tried; // each speed from 9600 down, then the format
        for (qint32 s = 9600; s >= speed; s /= 2)
            tried << QString::number(s) + ",n,8,1";
        if (dataBits == 7)
            tried << QString::number(speed) + (parity == Parity::Even ? ",e,7,1" : ",o,7,1");
        QCOMPARE(r.captions, tried);
        QCOMPARE(r.topBitsAtSwitch, dataBits == 7 ? 51 : -1);
        QVERIFY(r.shown.endsWith(upperProgram(3000).right(200)));
    }

    // Top bits that are neither clear nor the parity of the rest withdraw the
    // format once they are too many for 8-bit text, and the speed with it
    // once they are too many to be noise.
    void misfitTopBitsWithdraw_data()
    {
        QTest::addColumn<Misfits>("row");
        QTest::addRow("few plain") << Misfits{QByteArray(100, 'G'), 8, false};
        QTest::addRow("many plain")
            << Misfits{QByteArray("CG").repeated(500), 50, true}; // fits no parity
    }
    void misfitTopBitsWithdraw()
    {
        QFETCH(Misfits, row);
        // Misfits before the 51st top bit; format: still shown found after them.
        const auto &[lead, misfits, format] = row;
        Rig r(lineSettings(9600));
        r.punch(lead + QByteArray(misfits, char(0xc7)));
        QCOMPARE(r.shop.selectedLink()->scan().findings(), (ScanFindings{true, true, format, format}));
        r.punch(QByteArray(51 - misfits, char(0xc7)));
        QCOMPARE(r.captions.last(), QStringLiteral("4800,n,8,1"));
        QCOMPARE(r.shop.selectedLink()->scan().findings(), ScanFindings{true});
    }

    // Lower case rejects the right speed too; after 600 bit/s the scan goes round again.
    void lowerCaseRejectsTheRightSpeed()
    {
        Rig r(lineSettings(9600));
        r.punch(QByteArray("(roughing pass on the outer contour)\r\n").repeated(8));
        QCOMPARE(r.captions, (QStringList{"9600,n,8,1", "4800,n,8,1"}));
        QVERIFY(!r.shop.selectedLink()->scan().findings().speed);
        for (int i = 0; i < 4; ++i, QCoreApplication::sendPostedEvents())
            r.port.deliver(QByteArray(100, 'a')); // as read at any speed
        QCOMPARE(r.captions.mid(4), (QStringList{"600,n,8,1", "9600,n,8,1"}));
    }

    // 100 plausible bytes among 300 of codes 0 to 7 find the speed, 99 do
    // not; 7-bit text with its even parity read as 8 bits counts the same.
    void lowCodesNeitherShownNorScored()
    {
        for (const char c : {'G', char(0xC3)}) {
            Rig r(lineSettings(9600));
            const QByteArray low = QByteArray("\0\1\2\3\4\5\6\7", 8).repeated(38).first(300);
            r.punch(low + QByteArray(99, c));
            QCOMPARE(r.shown, QByteArray(99, c));
            QVERIFY(!r.shop.selectedLink()->scan().findings().speed);
            r.punch(low + c);
            QVERIFY(r.shop.selectedLink()->scan().findings().speed);
            QCOMPARE(r.captions, QStringList{"9600,n,8,1"});
        }
    }
};

QTEST_GUILESS_MAIN(TestPortScan)
#include "tst_portscan.moc"
