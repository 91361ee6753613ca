// Port Scan: the scoring on its own, the bit-level line simulator the scan
// tests run on, and the scan end to end through a simulated line.

#include "tst_receive_rig.h"

#include "linesim.h"
#include "receive/portscan.h"
#include "receive/scanscore.h"
#include "serial/portcontrol.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using ScanRig = RxRig<LinePort>;

namespace
{

// An upper-case CNC program of about `bytes` bytes.
QByteArray upperProgram(int bytes)
{
    QByteArray out = "%\r\nO1234 (PART 7)\r\n";
    for (int n = 10; out.size() < bytes; n += 10)
        out += QStringLiteral("N%1 G01 X%2.%3 Y-%4.5 F250\r\n")
                   .arg(n)
                   .arg(n % 97)
                   .arg(n % 10)
                   .arg(n % 53)
                   .toLatin1();
    return out;
}

} // namespace

class TestPortScan : public QObject
{
    Q_OBJECT

    // The machine punches `program` block by block, with a short pause after
    // each line end (a receiver that lost the framing finds it again there);
    // the program takes each block before the next leaves the machine.
    static void punch(ScanRig &r, const QByteArray &program)
    {
        double pause = 0;
        for (qsizetype i = 0; i < program.size();) {
            qsizetype end = program.indexOf('\n', i);
            end = end < 0 ? program.size() : end + 1;
            r.s.machineSends(program.mid(i, end - i), pause);
            pause = 12;
            i = end;
            QTRY_VERIFY(r.s.rx.isEmpty());
        }
        r.s.machineIdle();
        QTRY_VERIFY(r.s.rx.isEmpty());
    }
    static void startScan(ScanRig &r, const char *machine, int bitsPerSecond)
    {
        r.s.line.setSender(LineFormat::parse(bitsPerSecond, machine));
        r.s.history.clear();
        r.w->portScan->start();
    }
    static QList<int> speedsTried(const ScanRig &r)
    {
        QList<int> out;
        for (const LineFormat &f : r.s.history)
            if (out.isEmpty() || out.last() != f.bitsPerSecond) out << f.bitsPerSecond;
        return out;
    }

private slots:
    void plausible_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("plausible");
        for (int c : std::initializer_list<int>{10, 13, 32, '0', '9', 'A', 'Z', '%', '(', 10 + 128,
                                                'G' + 128})
            QTest::addRow("%d", c) << c << true;
        for (int c : std::initializer_list<int>{8, 9, 12, 31, 91, 'a', 'z', 127, 255, 9 + 128})
            QTest::addRow("%d", c) << c << false;
    }
    void plausible()
    {
        QFETCH(int, code);
        QFETCH(bool, plausible);
        QCOMPARE(ScanScore::plausible(quint8(code)), plausible);
    }

    void scoreSpeedPhase()
    {
        bool got = false;
        int err = 100, parity = 0;
        ScanScore s(got, err, parity);
        // Codes 0 to 7 count for nothing.
        for (int c = 0; c < 8; ++c)
            QVERIFY(!s.feed(quint8(c)).shown);
        QCOMPARE(err, 100);
        // A net surplus of 100 implausible bytes rejects the speed.
        for (int i = 0; i < 10; ++i) {
            QVERIFY(!s.feed('A').nextSpeed);
            QVERIFY(!s.feed('a').nextSpeed);
        }
        for (int i = 1; i < 100; ++i)
            QVERIFY(!s.feed('a').nextSpeed);
        ScanVerdict v = s.feed('a');
        QVERIFY(v.shown && v.nextSpeed && !v.speedFound);
        QCOMPARE(err, 100);
        // A net surplus of 100 plausible bytes accepts it.
        for (int i = 1; i < 100; ++i)
            QVERIFY(!s.feed('G').speedFound);
        v = s.feed('\r');
        QVERIFY(v.speedFound && !v.nextSpeed);
        QVERIFY(got);
        QCOMPARE(err, 0);
    }

    void scoreParityPhase()
    {
        bool got = true;
        int err = 0, parity = 0;
        ScanScore s(got, err, parity);
        for (int i = 0; i < 50; ++i) {
            QVERIFY(!s.feed(0xC7).sevenEven);
            QVERIFY(!s.feed('a').sevenEven); // no longer scored in this phase
        }
        QCOMPARE(err, 0);
        QCOMPARE(parity, 50);
        QVERIFY(!s.feed(0x81 & 0x07).shown); // codes below 8 never count
        QCOMPARE(parity, 50);
        const ScanVerdict v = s.feed(0x85); // the 51st top-bit byte
        QVERIFY(v.shown && v.sevenEven && !v.speedFound);
        QCOMPARE(parity, 0);
    }

    void lineSimulator()
    {
        const auto fmt = [](int bps, const char *f) { return LineFormat::parse(bps, f); };
        // The same format at both ends carries every byte (the low seven bits
        // of it with 7 data bits).
        QByteArray all;
        for (int c = 0; c < 256; ++c)
            all += char(c);
        for (const char *f : {"8N1", "8N2", "7E1", "7O1", "8E1"}) {
            QByteArray expect = all;
            if (f[0] == '7')
                for (char &c : expect)
                    c = char(c & 0x7f);
            QCOMPARE(LineSimulator::transfer(all, fmt(2400, f), fmt(2400, f)), expect);
        }
        const QByteArray text = upperProgram(400);
        // 7E1 read as 8N1: the parity bit becomes the top bit.
        const QByteArray got = LineSimulator::transfer(text, fmt(4800, "7E1"), fmt(4800, "8N1"));
        QCOMPARE(got.size(), text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const int ones = std::popcount(uint(quint8(text[i])));
            QCOMPARE(quint8(got[i]), quint8(text[i] | (ones % 2 ? 0x80 : 0)));
        }
        // Two stop bits sent, one expected: fine. The other way round the
        // receiver checks only the first stop bit.
        QCOMPARE(LineSimulator::transfer(text, fmt(9600, "8N2"), fmt(9600, "8N1")), text);
        QCOMPARE(LineSimulator::transfer(text, fmt(9600, "8N1"), fmt(9600, "8N2")), text);
        // A receiver at the wrong speed decodes garbage, with framing errors.
        for (int rx : {9600, 4800, 1200}) {
            LineSimulator line(fmt(2400, "8N1"));
            line.send(text);
            line.idle(1);
            QVERIFY(line.receive(fmt(rx, "8N1")) != text);
            QVERIFY2(line.framingErrors > 0, qPrintable(QString::number(rx)));
        }
    }

    void scanFinds_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QList<int>>("tried");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("stored"); // data bits|parity
        QTest::newRow("9600 8N1") << 9600 << "8N1" << QList<int>{9600} << "9600,N,8,1"
                                  << "8|None";
        QTest::newRow("2400 8N1") << 2400 << "8N1" << QList<int>{9600, 4800, 2400} << "2400,n,8,1"
                                  << "8|None";
        QTest::newRow("4800 7E1") << 4800 << "7E1" << QList<int>{9600, 4800} << "4800,e,7,1"
                                  << "7|Even";
    }
    void scanFinds()
    {
        QFETCH(int, speed);
        QFETCH(QString, format);
        QFETCH(QList<int>, tried);
        QFETCH(QString, title);
        QFETCH(QString, stored);
        const QString bits = stored.section(u'|', 0, 0);

        // The machine is stored with settings that are all wrong.
        ScanRig r({{"MCDRATE", "19200"}, {"MCDBITS", "7"}, {"MCFLOW", "0"}, {"MCSBITS", "2"}});
        startScan(r, qPrintable(format), speed);
        rxedit *e = r.rx();
        QVERIFY(e && e->isModal() && e->AutoGroup->isVisible());
        QCOMPARE(e->AutoGroup->title(), QString("9600,N,8,1"));

        const QByteArray program = upperProgram(3000);
        punch(r, program);
        QCOMPARE(speedsTried(r), tried);
        QVERIFY(r.m.AutoGotSpeed);
        for (QCheckBox *c : {e->chkCTSOK, e->chkSpeedOK, e->chkDBitsOK, e->chkParityOK})
            QVERIFY(c->isChecked());
        QCOMPARE(e->AutoGroup->title(), title);
        QCOMPARE(r.s.inForce(), LineFormat::parse(speed, qPrintable(format)));
        // The tail of the program arrived intact once the settings were right.
        QVERIFY(e->textBytes().endsWith(program.right(200)));

        e->PushButton1->click();
        QVERIFY(r.p.messages.isEmpty());
        QCOMPARE((QStringList{r.m.mc(1, MCDRATE), r.m.mc(1, MCDBITS), r.m.mc(1, MCPARITY),
                              r.m.mc(1, MCSBITS), r.m.mc(1, MCFLOW)}),
                 (QStringList{QString::number(speed), bits, stored.section(u'|', 1), "1", "1"}));
        const QByteArray ini = r.iniBytes();
        for (const QString &line :
             {"MCDRATE=" + QString::number(speed), "MCDBITS=" + bits, QStringLiteral("MCFLOW=1")})
            QVERIFY2(ini.contains(line.toLatin1()), qPrintable(line));
        QVERIFY(r.w->lbldesc->text().contains(QString::number(speed)));
        // Closing ends the scan.
        e->close();
        QVERIFY(!r.m.AutoScanning);
        QCOMPARE(r.m.PortState, 0);
    }

    void lowerCaseRejectsRightSpeed()
    {
        ScanRig r;
        startScan(r, "8N1", 9600);
        // Comments and words in lower case: far more letters than digits.
        punch(r, QByteArray("(roughing pass on the outer contour of the flange)\r\n").repeated(8));
        QCOMPARE(speedsTried(r).mid(0, 2), (QList<int>{9600, 4800}));
        QVERIFY(!r.rx()->chkSpeedOK->isChecked());
    }

    void lowCodesNeitherShownNorScored()
    {
        ScanRig r;
        startScan(r, "8N1", 9600);
        punch(r, QByteArray("\x01\x02G0\x07\x00\x03\x04\x05\x06\r\n", 12));
        QCOMPARE(r.rx()->textBytes(), QByteArray("G0\r\n"));
        QCOMPARE(r.m.AutoErrCounter, 96);
        QVERIFY(r.rx()->chkCTSOK->isChecked());
    }

    void runEndsAfterTenQuietPolls()
    {
        ScanRig r;
        startScan(r, "8N1", 9600);
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        punch(r, "G01\r\n");
        QElapsedTimer quiet;
        quiet.start();
        QVERIFY(r.m.InRXHandler);
        QVERIFY(ended.wait(10000));
        QVERIFY(quiet.elapsed() >= (ReceiveHandler::ScanPolls - 1) * ReceiveHandler::ScanPollMs);
        QVERIFY(!r.m.InRXHandler);
        QVERIFY(r.m.AutoScanning); // the scan itself goes on
        punch(r, "G02\r\n");
        QCOMPARE(r.rx()->textBytes(), QByteArray("G01\r\nG02\r\n"));
    }

    void saveBeforeDetectionComplete()
    {
        ScanRig r;
        startScan(r, "8N1", 9600);
        punch(r, "G01\r\n"); // only "RTS/CTS" gets ticked
        const QByteArray before = r.iniBytes();
        const QString rate = r.m.mc(1, MCDRATE);
        r.rx()->PushButton1->click();
        QCOMPARE(r.p.messages.size(), 1);
        const auto &msg = r.p.messages[0];
        QCOMPARE(msg.title, QString("Detection not complete"));
        QCOMPARE(msg.icon, Platform::Icon::Warning);
        QCOMPARE(msg.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(r.p.lastMessage().startsWith("Machine communications settings have not been "
                                             "detected."));
        QCOMPARE(r.iniBytes(), before);
        QCOMPARE(r.m.mc(1, MCDRATE), rate);
    }

    void noMachineSelectedDropsBytes()
    {
        ScanRig r;
        startScan(r, "8N1", 9600);
        r.m.SelectedMC = 0;
        r.s.machineSends("G01 X1\r\n");
        r.s.machineIdle();
        QTRY_VERIFY(r.s.rx.isEmpty());
        QCOMPARE(r.rx()->textBytes(), QByteArray());
        QCOMPARE(r.m.AutoErrCounter, 100);
    }
};

QTEST_MAIN(TestPortScan)
#include "tst_portscan.moc"
