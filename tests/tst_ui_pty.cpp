// End to end through the real program on pseudo-terminals: a program loaded
// from the queue and sent with the Send button to a simulated machine tool
// in every flow mode.

#include "core/ports/qtserialport.h"
#include "pty.h"
#include "sim/simcontrol.h"
#include "ui/queueview.h"
#include "ui_rig.h"

#include <QSignalSpy>

using Rig = UiRig<QtSerialPort>;

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
        Rig r(iniFile({QStringLiteral("MCPORT=%1|MCDRATE=115200|MCDBITS=8|MCFLOW=%2|MCBLKTIC=Fast|"
                                      "MCEOB=%3")
                           .arg(pty.slavePath(), flow, eob)}),
              {pty.slavePath()}, true);
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
};

QTEST_MAIN(TestUiPty)
#include "tst_ui_pty.moc"
