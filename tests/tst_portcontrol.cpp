// The port control against the fake port: the codes each stored value gives,
// the order the settings reach the port, the markings of a missing and an
// unavailable port, reopening on selection, Port Scan's settings and the
// purge after a send.
#include "panel/machinepanel.h"
#include "panel_fixture.h"
#include "rxedit/rxedit.h"
#include "serial/portcontrol.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace
{
using Values = QMap<QString, QString>;

// Machines on ttyFAKE0 at 9600 8N1 with XON/XOFF unless `machines` says
// otherwise. Machine 1 is selected (and its port opened) on start.
struct Rig : PanelRig {
    explicit Rig(const QList<Values> &machines,
                 QStringList portNames = {QStringLiteral("ttyFAKE0"), QStringLiteral("ttyFAKE1")})
        : PanelRig(file(machines), std::move(portNames))
    {
    }
    static QByteArray file(const QList<Values> &machines)
    {
        QByteArray out;
        for (int i = 0; i < machines.size(); ++i) {
            Values v{{"MCDBITS", "8"}, {"MCPARITY", "None"}};
            v.insert(machines[i]);
            out += machineSection(i + 1, v);
        }
        return out + '\n';
    }
    PortControl &pc() { return *w->portControl; }
    QList<int> format() const { return {s.Baud(), s.Bits(), s.Parity(), s.Stop()}; }
    void verifyMarked(const QString &text)
    {
        QCOMPARE(w->lbldesc->text(), text);
        QCOMPARE(w->lbldesc->palette().color(QPalette::WindowText), QColor(0xFF, 0, 0));
        QVERIFY(!w->imgBadPort->isHidden());
        QVERIFY(!s.isOpen());
    }
};

// The settings a port gets, in order, for XON/XOFF handshake.
QStringList settingsEntries(int baud, int bits, int stop, int parity)
{
    return {QStringLiteral("Baud=%1").arg(baud),
            QStringLiteral("Bits=%1").arg(bits),
            QStringLiteral("Stop=%1").arg(stop),
            QStringLiteral("Parity=%1").arg(parity),
            "XON=1",
            "DTR=1",
            "CTS=0",
            "RTS=1"};
}
} // namespace

class TestPortControl : public QObject
{
    Q_OBJECT
private slots:
    void speedCodes_data()
    {
        QTest::addColumn<QString>("drate");
        QTest::addColumn<int>("code");
        const int previous = Serial::Baud19200; // machine 1's speed
        QTest::newRow("150") << "150" << int(Serial::Baud150);
        const QList<QPair<int, int>> known{{300, 0},    {600, 1},    {1200, 2},   {2400, 4},
                                           {4800, 6},   {9600, 8},   {19200, 10}, {38400, 12},
                                           {57600, 13}, {115200, 14}};
        for (const auto &[bps, code] : known)
            QTest::newRow(qPrintable(QString::number(bps))) << QString::number(bps) << code;
        for (const char *text : {"14400", "fast", "", " 9600"})
            QTest::addRow("'%s' keeps previous", text) << text << previous;
    }
    void speedCodes()
    {
        QFETCH(QString, drate);
        QFETCH(int, code);
        Rig r({{{"MCDRATE", "19200"}}, {{"MCPORT", "ttyFAKE1"}, {"MCDRATE", drate}}});
        QCOMPARE(r.s.Baud(), int(Serial::Baud19200));
        r.w->panel->mcClick(2);
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE1"));
        QCOMPARE(r.s.Baud(), code);
        QCOMPARE(r.m.s_speed, code);
        if (code != int(Serial::Baud19200))
            QCOMPARE(Serial::bitsPerSecond(r.s.Baud()), drate.toInt());
    }

    void formatCodes_data()
    {
        // Stored data bits, parity, stop bits and flow mode, separated by '|'.
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stop");
        QTest::addColumn<bool>("xon");
        QTest::addColumn<bool>("cts");
        QTest::newRow("8N1 xon") << "8|None|1|1" << 3 << 0 << 0 << true << false;
        QTest::newRow("7E2 rts/cts") << "7|Even|2|2" << 2 << 2 << 2 << false << true;
        QTest::newRow("7 with None still even") << "7|None|1|0" << 2 << 2 << 0 << false << false;
        QTest::newRow("odd data bits count as 7") << "6|Odd|1|0" << 2 << 2 << 0 << false << false;
        QTest::newRow("wait-xon mode leaves handshake to the sender")
            << "8|None|1|3" << 3 << 0 << 0 << false << false;
        QTest::newRow("wait-any mode") << "8|None|1|4" << 3 << 0 << 0 << false << false;
        QTest::newRow("unknown flow") << "8|None|1|x" << 3 << 0 << 0 << false << false;
        QTest::newRow("1.5 stop bits count as 2") << "8|None|1.5|1" << 3 << 0 << 2 << true << false;
        QTest::newRow("empty stop bits count as 2") << "8|None||1" << 3 << 0 << 2 << true << false;
    }
    void formatCodes()
    {
        QFETCH(QString, stored);
        QFETCH(int, bits);
        QFETCH(int, parity);
        QFETCH(int, stop);
        QFETCH(bool, xon);
        QFETCH(bool, cts);
        const QStringList v = stored.split(u'|');
        Rig r({{{"MCDBITS", v[0]}, {"MCPARITY", v[1]}, {"MCSBITS", v[2]}, {"MCFLOW", v[3]}}});
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.format().mid(1), (QList<int>{bits, parity, stop}));
        QCOMPARE(r.s.XON(), xon);
        QCOMPARE(r.s.CTS(), cts);
        QCOMPARE(r.s.DataTerminalReady(), true);
        QCOMPARE(r.s.log.contains(QStringLiteral("RTS=1")), !cts);
        QCOMPARE((QList<int>{r.m.s_databits, r.m.s_parity, r.m.s_stopbits}),
                 (QList<int>{bits, parity, stop}));
        QCOMPARE(r.m.s_xonxoff, xon);
        QCOMPARE(r.m.s_rtscts, cts);
    }

    void settingsReachThePortInOrder()
    {
        Rig r({{{"MCDRATE", "4800"}, {"MCDBITS", "7"}, {"MCSBITS", "2"}}});
        r.s.clearLog();
        r.m.SelectedMC = 1;
        r.pc().OpenPort();
        const QStringList settings = settingsEntries(6, 2, 2, 2);
        QCOMPARE(r.s.log, QStringList({"Port=ttyFAKE0", "Close"}) + settings + QStringList{"Open"} +
                              settings);
    }

    void reopensOnEverySelection()
    {
        Rig r({{{"MCSBITS", "2"}}, {{"MCPORT", "ttyFAKE1"}}});
        QCOMPARE(r.s.Stop(), int(Serial::Stop2));
        for (int pick : {2, 2, 1}) {
            r.s.clearLog();
            r.w->panel->mcClick(pick);
            QVERIFY(r.s.isOpen());
            const int close = int(r.s.log.indexOf(QStringLiteral("Close")));
            const int open = int(r.s.log.indexOf(QStringLiteral("Open")));
            QVERIFY2(close >= 0 && open > close, qPrintable(r.s.log.join(u' ')));
            QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE%1").arg(pick - 1));
            QCOMPARE(r.s.Stop(), pick == 1 ? int(Serial::Stop2) : int(Serial::Stop1));
        }
    }

    void missingPortIsMarked_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("none") << "none" << QStringList{"ttyFAKE0"};
        QTest::newRow("NOINIVAL") << "NOINIVAL" << QStringList{"ttyFAKE0"};
        QTest::newRow("unplugged") << "ttyUSB3" << QStringList{"ttyFAKE0", "ttyFAKE1"};
        QTest::newRow("case differs") << "TTYFAKE0" << QStringList{"ttyFAKE0"};
        QTest::newRow("no ports at all") << "ttyFAKE0" << QStringList{};
    }
    void missingPortIsMarked()
    {
        QFETCH(QString, port);
        QFETCH(QStringList, listed);
        Rig r({Values{}, {{"MCPORT", port}, {"MCDRATE", "2400"}}}, listed);
        // Machine 1's device must not stay open for machine 2, even without
        // the close a selection does first.
        r.s.clearLog();
        r.m.SelectedMC = 2;
        r.pc().OpenPort();
        r.verifyMarked(QStringLiteral(" ATTENTION\n\n ") + port +
                       QStringLiteral("\n\n  is Missing"));
        QVERIFY(!r.s.log.contains(QStringLiteral("Open")));

        // Nothing else changes: the shared settings stay as they were.
        r.m.s_speed = Serial::Baud38400;
        r.m.s_databits = Serial::Bits7;
        QSignalSpy marked(&r.pc(), &PortControl::portMarked);
        r.pc().OpenPort();
        QCOMPARE(marked.count(), 1);
        QCOMPARE(r.m.s_speed, int(Serial::Baud38400));
        QCOMPARE(r.m.s_databits, int(Serial::Bits7));
    }

    void unavailablePortIsMarked()
    {
        Rig r({{{"MCPORT", "ttyFAKE1"}, {"MCDRATE", "2400"}, {"MCDBITS", "7"}}});
        const QString unavailable = QStringLiteral("  ATTENTION\n\n  ttyFAKE1\n  is  unavailable");
        r.s.openFails = true;
        r.w->panel->mcClick(1);
        r.verifyMarked(unavailable);
        // The marker stands 20 pixels above the machine's frame.
        const QPoint frame = r.w->frmMc[1]->mapTo(r.w.get(), QPoint(0, 0));
        QCOMPARE(r.w->imgBadPort->pos(), QPoint(frame.x(), frame.y() - 20));
        // The shared settings already hold the machine's values.
        QCOMPARE(r.m.s_speed, int(Serial::Baud2400));
        QCOMPARE(r.m.s_databits, int(Serial::Bits7));

        // A later successful selection shows the description again.
        r.s.openFails = false;
        r.w->panel->mcClick(1);
        QVERIFY(r.s.isOpen());
        QVERIFY(r.w->imgBadPort->isHidden());
        QVERIFY(r.w->lbldesc->text().startsWith(QLatin1String("Mode: ")));

        // A device pulled out while open is marked the same way.
        r.s.loseDevice();
        r.verifyMarked(unavailable);
    }

    void noSelectionDoesNothing()
    {
        Rig r({Values{}});
        r.m.SelectedMC = 0;
        r.s.clearLog();
        r.pc().OpenPort();
        QVERIFY(!r.pc().openSelectedPort());
        QVERIFY(r.s.log.isEmpty());
    }

    void scanStepsThroughTheSpeeds()
    {
        Rig r({Values{}});
        // No RX-Edit window: no caption, no crash. The step takes effect
        // without opening the port and discards what was received.
        r.s.clearLog();
        r.pc().ChangeComPars(255);
        QVERIFY(r.w->rxEdit(false) == nullptr);
        const QStringList settings = settingsEntries(8, 3, 0, 0);
        QCOMPARE(r.s.log, settings + QStringList{"Reset"} + settings + QStringList{"Flush"});
        QCOMPARE(r.m.AutoComSpeed, 9600);

        rxedit *ed = r.w->rxEdit(true);
        for (int bps : {4800, 2400, 1200, 600, 9600, 4800}) {
            r.s.deliver("garbage");
            r.pc().ChangeComPars(0);
            QCOMPARE(r.m.AutoComSpeed, bps);
            QCOMPARE(Serial::bitsPerSecond(r.s.Baud()), bps);
            QCOMPARE(r.format().mid(1),
                     (QList<int>{Serial::Bits8, Serial::ParityNone, Serial::Stop1}));
            QCOMPARE(ed->AutoGroup->title(), QString::number(bps) + QStringLiteral(",n,8,1"));
            QCOMPARE(r.s.BytesAvailable(), 0);
        }

        r.pc().ChangeComPars(2);
        QCOMPARE(r.m.AutoComSpeed, 4800);
        QCOMPARE(r.format(),
                 (QList<int>{Serial::Baud4800, Serial::Bits7, Serial::ParityEven, Serial::Stop1}));
        QCOMPARE(ed->AutoGroup->title(), QStringLiteral("4800,e,7,1"));

        // Back to the start values, 8 bits again.
        r.pc().ChangeComPars(255);
        QCOMPARE(r.s.Bits(), int(Serial::Bits8));
        QCOMPARE(ed->AutoGroup->title(), QStringLiteral("9600,n,8,1"));

        // A speed outside the cycle stays.
        r.m.AutoComSpeed = 300;
        r.m.s_speed = Serial::Baud300;
        r.pc().ChangeComPars(0);
        QCOMPARE(r.m.AutoComSpeed, 300);
        QCOMPARE(r.s.Baud(), int(Serial::Baud300));
    }

    void purgeWaitsOnATimer()
    {
        Rig r({{{"MCDRATE", "1200"}}});
        r.s.clearLog();
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        r.pc().S_Purge_Port(r.s, [&] { done = true; });
        QVERIFY(!done);
        QCOMPARE(r.s.log, QStringList({"Baud=14", "Reset", "Flush"}));
        QTRY_VERIFY(done);
        QVERIFY(clock.elapsed() >= 290);
        QCOMPARE(r.s.Baud(), int(Serial::Baud1200));
        const QStringList settings = settingsEntries(2, 3, 0, 0);
        QCOMPARE(r.s.log.mid(3), settings + QStringList{"Reset"} + settings);
    }

    void sendOpensOnlyTheSelectedMachinesPort()
    {
        Rig r({{},
               {{"MCPORT", "ttyUSB7"}},
               {{"MCPORT", "ttyFAKE1"}, {"MCDRATE", "2400"}, {"MCDBITS", "7"}}});
        QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE0"));

        // Machine 2 (unplugged) selected while s1 still names machine 1's device.
        r.m.SelectedMC = 2;
        r.s.clearLog();
        QVERIFY(!r.pc().openSelectedPort());
        QVERIFY(!r.s.log.contains(QStringLiteral("Open")));
        QVERIFY(r.s.written.isEmpty());
        QVERIFY(r.p.messages.isEmpty());

        // Machine 3: its own device, with its own settings.
        r.m.SelectedMC = 3;
        QVERIFY(r.pc().openSelectedPort());
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE1"));
        QCOMPARE(r.format().mid(0, 2), (QList<int>{Serial::Baud2400, Serial::Bits7}));

        // Already open on its port, it stays open.
        r.s.clearLog();
        QVERIFY(r.pc().openSelectedPort());
        QVERIFY(!r.s.log.contains(QStringLiteral("Close")));

        // A scan left other settings on the port: the machine's come back.
        r.pc().ChangeComPars(255);
        QCOMPARE(r.s.Bits(), int(Serial::Bits8));
        QVERIFY(r.pc().openSelectedPort());
        QCOMPARE(r.format().mid(0, 2), (QList<int>{Serial::Baud2400, Serial::Bits7}));
        QVERIFY(r.s.log.contains(QStringLiteral("Reset")));

        // A device that does not open.
        r.s.Close();
        r.s.openFails = true;
        QVERIFY(!r.pc().openSelectedPort());
        QVERIFY(!r.s.isOpen());
    }
};

QTEST_MAIN(TestPortControl)
#include "tst_portcontrol.moc"
