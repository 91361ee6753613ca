// End to end through the real program on pseudo-terminals: a program loaded
// from the queue and sent with the Send button to a simulated machine tool
// in every flow mode, and stopped while the machine holds the line.

#include "core/ports/qtserialport.h"
#include "pty.h"
#include "sim/simcontrol.h"
#include "ui/codewindows.h"
#include "ui/queueview.h"
#include "ui_rig.h"

#include <QSignalSpy>

using Rig = UiRig<QtSerialPort>;

namespace
{
QString ptyMachine(const Pty &pty, const QString &speed, const QString &flow, const QString &eob)
{
    return QStringLiteral("MCPORT=%1|MCDRATE=%2|MCDBITS=8|MCFLOW=%3|MCBLKTIC=Fast|MCEOB=%4")
        .arg(pty.slavePath(), speed, flow, eob);
}
} // namespace

class TestUiPty : public QObject
{
    Q_OBJECT
private slots:
    void send_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("eob");
        for (const auto &[flow, eob] :
             {std::pair{"0", "CRLF"}, {"1", "CR"}, {"2", "LF"}, {"3", "CRLFLF"}, {"4", "CRLF"}})
            QTest::addRow("mode %s, %s", flow, eob) << QString(flow) << QString(eob);
    }
    void send()
    {
        QFETCH(QString, flow);
        QFETCH(QString, eob);
        const QByteArray eobBytes = eob.toLatin1().replace("CR", "\r").replace("LF", "\n");
        Pty pty;
        QVERIFY(pty.isOpen());
        Rig r(iniFile({ptyMachine(pty, "115200", flow, eob)}), {pty.slavePath()}, true);
        QVERIFY(r.portOf(1).isOpen());
        // Where the machine may send XOFF it takes nothing away until it has
        // (however fast this host sends), and then less than the line brings.
        const bool xoff = flow != "0" && flow != "2";
        SimControl machine(Clock::system(), {256, xoff ? 0.0 : 1e7, 192, 64, xoff});
        pty.attach(machine);
        QSignalSpy toMachine(&pty, &Pty::readyRead);

        // CR LF line ends, every printable byte, a last line without a line end.
        QByteArray file = "%\r\nO1000 (PART 7)\r\n";
        for (int i = 0; i < 15; ++i)
            file +=
                "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i * 3) + ".5 F300\r\n";
        for (int c = 32; c < 256; ++c)
            file += QByteArray(1, char(c)) + (c % 32 == 31 ? "\r\n" : "");
        file += "M30";
        r.shop.queue(1).add(r.write("part7.nc", file));
        r.window.queueView().load(1, 0);
        QByteArray expected = file;
        expected.replace("\r\n", eobBytes);

        // Waited for in an event loop of its own: QTRY's waits sleep between
        // looks, and the send would crawl.
        QSignalSpy done(&r.selected(), &Link::sendFinished);
        r.click("cmdTX");
        QVERIFY(r.selected().sending());
        if (flow == "3" || flow == "4") {
            QTest::qWait(50);
            QCOMPARE(pty.toControl, QByteArray()); // it waits for the machine
            machine.send(flow == "3" ? QByteArray("%") : QByteArray("\x11"));
        }
        while (xoff && machine.dc3Sent() == 0)
            QVERIFY(toMachine.wait(10000));
        machine.setBytesPerSecond(xoff ? 4000 : 1e7);
        QVERIFY(!done.isEmpty() || done.wait(30000));
        QTRY_COMPARE(pty.toControl.size(), expected.size() + 2000);
        QCOMPARE(pty.toControl, expected + QByteArray(2000, '\0'));
        const QByteArray log = readFile(r.dir.filePath("transfers.log"));
        QVERIFY2(log.contains("\tpart7.nc\t" + QByteArray::number(expected.size()) + "\t25\t") &&
                     log.endsWith("\tcompleted\n"),
                 log);
        QVERIFY(r.platform.messages.isEmpty() && r.shows("cmdTX") && !r.shows("cmdStop"));
    }
    // Stopped while the machine holds the line: it still gets whole blocks,
    // and the program sent again follows them cleanly.
    void stopWhileHeldThenSendAgain()
    {
        Pty pty;
        Rig r(iniFile({ptyMachine(pty, "9600", "1", "CRLF")}), {pty.slavePath()}, true);
        // It takes nothing away: DC3 at 192 bytes, and DC1 only from the test.
        SimControl machine(Clock::system(), {256, 0.0, 192, 64, true});
        pty.attach(machine);
        QByteArray program;
        for (int i = 0; i < 25; ++i)
            program +=
                "N" + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i) + ".125 Y7.5\n";
        r.shop.program(1).load(program, ProgramSource::typed());
        QSignalSpy done(&r.selected(), &Link::sendFinished);
        r.click("cmdTX");
        QTRY_VERIFY_WITH_TIMEOUT(machine.dc3Sent() > 0, 10000);
        r.click("cmdStop");
        machine.send("\x11");
        QVERIFY(done.wait(10000));
        const QByteArray wire = QByteArray(program).replace("\n", "\r\n");
        QTRY_VERIFY(pty.toControl.endsWith("\r\n"));
        const QByteArray first = pty.toControl;
        QVERIFY(wire.startsWith(first) && first.size() < wire.size());
        r.window.codeWindows().showStart(1);
        r.click("cmdTX");
        QVERIFY(done.wait(30000));
        QTRY_COMPARE(pty.toControl.size(), first.size() + wire.size() + 2000);
        QCOMPARE(pty.toControl, first + wire + QByteArray(2000, '\0'));
    }
};

QTEST_MAIN(TestUiPty)
#include "tst_ui_pty.moc"
