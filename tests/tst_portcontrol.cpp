// The port control against the fake port: the codes each stored value gives,
// the order the settings reach the port, the markings of a missing and an
// unavailable port, reopening on selection, Port Scan's settings and the
// purge after a send.
#include "app/frmhalvec.h"
#include "config/module1.h"
#include "fakeplatform.h"
#include "fakeserial.h"
#include "panel/machinepanel.h"
#include "rxedit/rxedit.h"
#include "serial/portcontrol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace
{
struct Machine {
    QString port = QStringLiteral("ttyFAKE0");
    QString drate = QStringLiteral("9600");
    QString dbits = QStringLiteral("8");
    QString parity = QStringLiteral("None");
    QString sbits = QStringLiteral("1");
    QString flow = QStringLiteral("1");
};

QString section(int index, const Machine &mc)
{
    QString s = QStringLiteral("[MC%1]\n").arg(index);
    const auto line = [&s](const char *key, const QString &value) {
        s += QLatin1String(key) + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    line("MCNAME", QStringLiteral("Machine %1").arg(index));
    line("MCPORT", mc.port);
    line("MCMODE", QStringLiteral("AUTO"));
    line("MCCOMPAR", QStringLiteral("Unused"));
    line("MCFOLDER", QStringLiteral("Unused"));
    line("MCFLOW", mc.flow);
    line("MCCRLF", QStringLiteral("UNUSED"));
    line("MCBLKTIC", QStringLiteral("10ms"));
    line("MCBLKNUL", {});
    line("MCPREFIX", {});
    line("MCEXTENS", {});
    line("MCDRATE", mc.drate);
    line("MCDBITS", mc.dbits);
    line("MCPARITY", mc.parity);
    line("MCSBITS", mc.sbits);
    line("MCEOB", QStringLiteral("CRLF"));
    line("MCSOT", {});
    line("MCEOT", {});
    line("MCTXSTEP", {});
    line("MCSTRIPEOB", {});
    return s + QLatin1Char('\n');
}

// A main window over the fake port, with the given machines in its file.
// Machine 1 is selected (and its port opened) by Event_Open.
struct Rig {
    explicit Rig(const QList<Machine> &machines,
                 QStringList portNames = {QStringLiteral("ttyFAKE0"), QStringLiteral("ttyFAKE1")})
        : ports(std::move(portNames))
    {
        m.AppPath = dir.path() + QLatin1Char('/');
        QString text;
        for (int i = 0; i < machines.size(); ++i)
            text += section(i + 1, machines[i]);
        QFile f(m.AppPath + QStringLiteral("zoZad.ini"));
        if (f.open(QIODevice::WriteOnly)) f.write((text + QLatin1Char('\n')).toLatin1());
        f.close();
        w = std::make_unique<frmHalvec>(m, platform, s, ports);
        w->Event_Open();
    }
    PortControl &pc() { return *w->portControl; }
    QColor descColour() const { return w->lbldesc->palette().color(QPalette::WindowText); }
    QStringList settingsLog() const
    {
        QStringList out;
        for (const QString &e : s.log)
            if (!e.startsWith(QLatin1String("Port="))) out << e;
        return out;
    }

    QTemporaryDir dir;
    Module1 m;
    FakePlatform platform;
    FakeSerial s;
    FakePortList ports;
    std::unique_ptr<frmHalvec> w;
};

QStringList settingsEntries(int baud, int bits, int stop, int parity, bool xon, bool cts)
{
    QStringList l{QStringLiteral("Baud=%1").arg(baud),    QStringLiteral("Bits=%1").arg(bits),
                  QStringLiteral("Stop=%1").arg(stop),    QStringLiteral("Parity=%1").arg(parity),
                  QStringLiteral("XON=%1").arg(int(xon)), QStringLiteral("DTR=1"),
                  QStringLiteral("CTS=%1").arg(int(cts))};
    if (!cts) l << QStringLiteral("RTS=1");
    return l;
}

const QColor red(0xFF, 0, 0);
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
        QTest::newRow("300") << "300" << 0;
        QTest::newRow("600") << "600" << 1;
        QTest::newRow("1200") << "1200" << 2;
        QTest::newRow("2400") << "2400" << 4;
        QTest::newRow("4800") << "4800" << 6;
        QTest::newRow("9600") << "9600" << 8;
        QTest::newRow("19200") << "19200" << 10;
        QTest::newRow("38400") << "38400" << 12;
        QTest::newRow("57600") << "57600" << 13;
        QTest::newRow("115200") << "115200" << 14;
        QTest::newRow("unknown keeps previous") << "14400" << previous;
        QTest::newRow("text keeps previous") << "fast" << previous;
        QTest::newRow("empty keeps previous") << "" << previous;
        QTest::newRow("padded keeps previous") << " 9600" << previous;
    }
    void speedCodes()
    {
        QFETCH(QString, drate);
        QFETCH(int, code);
        Machine first;
        first.drate = QStringLiteral("19200");
        Machine second;
        second.port = QStringLiteral("ttyFAKE1");
        second.drate = drate;
        Rig r({first, second});
        QCOMPARE(r.s.Baud(), int(Serial::Baud19200));
        r.w->panel->mcClick(2);
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE1"));
        QCOMPARE(r.s.Baud(), code);
        QCOMPARE(r.m.s_speed, code);
    }

    void speed150OpensAt150FromStart()
    {
        Machine mc;
        mc.drate = QStringLiteral("150");
        Rig r({mc});
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.Baud(), int(Serial::Baud150));
        QCOMPARE(Serial::bitsPerSecond(r.s.Baud()), 150);
    }

    void formatCodes_data()
    {
        QTest::addColumn<QString>("dbits");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<QString>("sbits");
        QTest::addColumn<QString>("flow");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("parityCode");
        QTest::addColumn<int>("stop");
        QTest::addColumn<bool>("xon");
        QTest::addColumn<bool>("cts");
        QTest::newRow("8N1 xon") << "8"
                                 << "None"
                                 << "1"
                                 << "1" << 3 << 0 << 0 << true << false;
        QTest::newRow("7E2 rts/cts") << "7"
                                     << "Even"
                                     << "2"
                                     << "2" << 2 << 2 << 2 << false << true;
        QTest::newRow("7 with None still even") << "7"
                                                << "None"
                                                << "1"
                                                << "0" << 2 << 2 << 0 << false << false;
        QTest::newRow("odd data bits count as 7") << "6"
                                                  << "Odd"
                                                  << "1"
                                                  << "0" << 2 << 2 << 0 << false << false;
        QTest::newRow("wait-xon mode leaves handshake to the sender")
            << "8"
            << "None"
            << "1"
            << "3" << 3 << 0 << 0 << false << false;
        QTest::newRow("wait-any mode") << "8"
                                       << "None"
                                       << "1"
                                       << "4" << 3 << 0 << 0 << false << false;
        QTest::newRow("unknown flow") << "8"
                                      << "None"
                                      << "1"
                                      << "x" << 3 << 0 << 0 << false << false;
        QTest::newRow("1.5 stop bits count as 2") << "8"
                                                  << "None"
                                                  << "1.5"
                                                  << "1" << 3 << 0 << 2 << true << false;
        QTest::newRow("empty stop bits count as 2") << "8"
                                                    << "None"
                                                    << ""
                                                    << "1" << 3 << 0 << 2 << true << false;
    }
    void formatCodes()
    {
        QFETCH(QString, dbits);
        QFETCH(QString, parity);
        QFETCH(QString, sbits);
        QFETCH(QString, flow);
        QFETCH(int, bits);
        QFETCH(int, parityCode);
        QFETCH(int, stop);
        QFETCH(bool, xon);
        QFETCH(bool, cts);
        Machine mc;
        mc.dbits = dbits;
        mc.parity = parity;
        mc.sbits = sbits;
        mc.flow = flow;
        Rig r({mc});
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.Bits(), bits);
        QCOMPARE(r.s.Parity(), parityCode);
        QCOMPARE(r.s.Stop(), stop);
        QCOMPARE(r.s.XON(), xon);
        QCOMPARE(r.s.CTS(), cts);
        QCOMPARE(r.s.DataTerminalReady(), true);
        QCOMPARE(r.s.log.contains(QStringLiteral("RTS=1")), !cts);
        QCOMPARE(r.m.s_databits, bits);
        QCOMPARE(r.m.s_parity, parityCode);
        QCOMPARE(r.m.s_stopbits, stop);
        QCOMPARE(r.m.s_xonxoff, xon);
        QCOMPARE(r.m.s_rtscts, cts);
    }

    void settingsReachThePortInOrder_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::newRow("xon/xoff") << "1";
        QTest::newRow("rts/cts: RTS left to the port") << "2";
    }
    void settingsReachThePortInOrder()
    {
        QFETCH(QString, flow);
        Machine mc;
        mc.drate = QStringLiteral("4800");
        mc.dbits = QStringLiteral("7");
        mc.sbits = QStringLiteral("2");
        mc.flow = flow;
        Rig r({mc});
        r.s.clearLog();
        r.m.SelectedMC = 1;
        r.pc().OpenPort();
        const bool cts = flow == QLatin1String("2");
        const QStringList settings = settingsEntries(6, 2, 2, 2, !cts, cts);
        const QStringList expected =
            QStringList{QStringLiteral("Port=ttyFAKE0"), QStringLiteral("Close")} + settings +
            QStringList{QStringLiteral("Open")} + settings;
        QCOMPARE(r.s.log, expected);
    }

    void reopensOnEverySelection()
    {
        Machine a;
        a.sbits = QStringLiteral("2");
        Machine b;
        b.port = QStringLiteral("ttyFAKE1");
        b.sbits = QStringLiteral("1");
        Rig r({a, b});
        QCOMPARE(r.s.Stop(), int(Serial::Stop2));

        for (int pick : {2, 2, 1}) {
            r.s.clearLog();
            r.w->panel->mcClick(pick);
            QVERIFY(r.s.isOpen());
            const int close = int(r.s.log.indexOf(QStringLiteral("Close")));
            const int open = int(r.s.log.indexOf(QStringLiteral("Open")));
            QVERIFY2(close >= 0 && open > close, qPrintable(r.s.log.join(u' ')));
            QCOMPARE(r.s.portName(),
                     pick == 1 ? QStringLiteral("ttyFAKE0") : QStringLiteral("ttyFAKE1"));
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
        Machine mc;
        mc.port = port;
        mc.drate = QStringLiteral("2400");
        Rig r({mc}, listed);
        QCOMPARE(r.w->lbldesc->text(),
                 QStringLiteral(" ATTENTION\n\n ") + port + QStringLiteral("\n\n  is Missing"));
        QCOMPARE(r.descColour(), red);
        QVERIFY(!r.w->imgBadPort->isHidden());
        QVERIFY(!r.s.isOpen());
        QVERIFY(!r.s.log.contains(QStringLiteral("Open")));

        // Nothing else changes: the shared settings stay as they were.
        r.m.s_speed = Serial::Baud38400;
        r.m.s_databits = Serial::Bits8;
        QSignalSpy marked(&r.pc(), &PortControl::portMarked);
        r.pc().OpenPort();
        QCOMPARE(marked.count(), 1);
        QCOMPARE(r.m.s_speed, int(Serial::Baud38400));
        QCOMPARE(r.m.s_databits, int(Serial::Bits8));
    }

    void missingPortClosesAnotherMachinesDevice()
    {
        Machine a;
        Machine b;
        b.port = QStringLiteral("none");
        Rig r({a, b});
        QVERIFY(r.s.isOpen());
        // Without the selection's own close, the first machine's device
        // must still not stay open for the second machine.
        r.m.SelectedMC = 2;
        r.pc().OpenPort();
        QVERIFY(!r.s.isOpen());
    }

    void unavailablePortIsMarked()
    {
        Machine mc;
        mc.port = QStringLiteral("ttyFAKE1");
        mc.drate = QStringLiteral("2400");
        mc.dbits = QStringLiteral("7");
        Rig r({mc});
        r.s.openFails = true;
        r.w->panel->mcClick(1);
        QCOMPARE(r.w->lbldesc->text(),
                 QStringLiteral("  ATTENTION\n\n  ttyFAKE1\n  is  unavailable"));
        QCOMPARE(r.descColour(), red);
        QVERIFY(!r.w->imgBadPort->isHidden());
        // The marker stands 20 pixels above the machine's frame.
        const QPoint frame = r.w->frmMc[1]->mapTo(r.w.get(), QPoint(0, 0));
        QCOMPARE(r.w->imgBadPort->pos(), QPoint(frame.x(), frame.y() - 20));
        QVERIFY(!r.s.isOpen());
        // The shared settings already hold the machine's values.
        QCOMPARE(r.m.s_speed, int(Serial::Baud2400));
        QCOMPARE(r.m.s_databits, int(Serial::Bits7));

        // A later successful selection shows the description again.
        r.s.openFails = false;
        r.w->panel->mcClick(1);
        QVERIFY(r.s.isOpen());
        QVERIFY(r.w->imgBadPort->isHidden());
        QVERIFY(r.w->lbldesc->text().startsWith(QLatin1String("Mode: ")));
    }

    void lostDeviceMarksTheMachine()
    {
        Rig r({Machine{}});
        QVERIFY(r.s.isOpen());
        r.s.loseDevice();
        QCOMPARE(r.w->lbldesc->text(),
                 QStringLiteral("  ATTENTION\n\n  ttyFAKE0\n  is  unavailable"));
        QCOMPARE(r.descColour(), red);
        QVERIFY(!r.w->imgBadPort->isHidden());
    }

    void noSelectionDoesNothing()
    {
        Rig r({Machine{}});
        r.m.SelectedMC = 0;
        r.s.clearLog();
        r.pc().OpenPort();
        QVERIFY(r.s.log.isEmpty());
        QVERIFY(!r.pc().openSelectedPort());
        QVERIFY(r.s.log.isEmpty());
    }

    void scanStepsThroughTheSpeeds()
    {
        Rig r({Machine{}});
        rxedit *ed = r.w->rxEdit(true);
        r.pc().ChangeComPars(255);
        QCOMPARE(r.m.AutoComSpeed, 9600);
        QCOMPARE(r.s.Baud(), int(Serial::Baud9600));
        QCOMPARE(ed->AutoGroup->title(), QStringLiteral("9600,n,8,1"));

        const QList<QPair<int, int>> steps{{4800, Serial::Baud4800}, {2400, Serial::Baud2400},
                                           {1200, Serial::Baud1200}, {600, Serial::Baud600},
                                           {9600, Serial::Baud9600}, {4800, Serial::Baud4800}};
        for (const auto &[bps, code] : steps) {
            r.s.deliver("garbage");
            r.pc().ChangeComPars(0);
            QCOMPARE(r.m.AutoComSpeed, bps);
            QCOMPARE(r.s.Baud(), code);
            QCOMPARE(r.s.Bits(), int(Serial::Bits8));
            QCOMPARE(r.s.Parity(), int(Serial::ParityNone));
            QCOMPARE(r.s.Stop(), int(Serial::Stop1));
            QCOMPARE(ed->AutoGroup->title(), QString::number(bps) + QStringLiteral(",n,8,1"));
            // Bytes received under the old settings are gone.
            QCOMPARE(r.s.BytesAvailable(), 0);
        }

        r.pc().ChangeComPars(2);
        QCOMPARE(r.m.AutoComSpeed, 4800);
        QCOMPARE(r.s.Baud(), int(Serial::Baud4800));
        QCOMPARE(r.s.Bits(), int(Serial::Bits7));
        QCOMPARE(r.s.Parity(), int(Serial::ParityEven));
        QCOMPARE(r.s.Stop(), int(Serial::Stop1));
        QCOMPARE(ed->AutoGroup->title(), QStringLiteral("4800,e,7,1"));

        // Back to the start values, 8 bits again.
        r.pc().ChangeComPars(255);
        QCOMPARE(r.s.Bits(), int(Serial::Bits8));
        QCOMPARE(ed->AutoGroup->title(), QStringLiteral("9600,n,8,1"));
    }

    void scanSpeedOutsideTheCycleStays()
    {
        Rig r({Machine{}});
        r.m.AutoComSpeed = 300;
        r.m.s_speed = Serial::Baud300;
        r.pc().ChangeComPars(0);
        QCOMPARE(r.m.AutoComSpeed, 300);
        QCOMPARE(r.s.Baud(), int(Serial::Baud300));
    }

    void scanChangeTakesEffectAndDiscards()
    {
        Rig r({Machine{}});
        QVERIFY(r.w->rxEdit(false) == nullptr);
        r.s.clearLog();
        r.pc().ChangeComPars(255); // no RX-Edit window: no caption, no crash
        QVERIFY(r.w->rxEdit(false) == nullptr);
        const QStringList settings = settingsEntries(8, 3, 0, 0, true, false);
        QCOMPARE(r.settingsLog(), settings + QStringList{QStringLiteral("Reset")} + settings +
                                      QStringList{QStringLiteral("Flush")});
        // The port is not opened by a scan step.
        QVERIFY(!r.s.log.contains(QStringLiteral("Open")));
    }

    void purgeWaitsOnATimer()
    {
        Machine mc;
        mc.drate = QStringLiteral("1200");
        Rig r({mc});
        r.s.clearLog();
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        r.pc().S_Purge_Port(r.s, [&] { done = true; });
        QVERIFY(!done);
        QCOMPARE(r.s.log, (QStringList{QStringLiteral("Baud=14"), QStringLiteral("Reset"),
                                       QStringLiteral("Flush")}));
        QCOMPARE(r.s.Baud(), int(Serial::Baud115200));
        QTRY_VERIFY(done);
        QVERIFY(clock.elapsed() >= 290);
        QCOMPARE(r.s.Baud(), int(Serial::Baud1200));
        const QStringList settings = settingsEntries(2, 3, 0, 0, true, false);
        QCOMPARE(r.s.log.mid(3), settings + QStringList{QStringLiteral("Reset")} + settings);
    }

    void sendOpensOnlyTheSelectedMachinesPort()
    {
        Machine a;
        a.drate = QStringLiteral("9600");
        Machine b;
        b.port = QStringLiteral("ttyUSB7"); // unplugged
        Machine c;
        c.port = QStringLiteral("ttyFAKE1");
        c.drate = QStringLiteral("2400");
        c.dbits = QStringLiteral("7");
        Rig r({a, b, c});
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE0"));

        // Machine 2 selected while s1 still names machine 1's device.
        r.m.SelectedMC = 2;
        r.s.clearLog();
        QVERIFY(!r.pc().openSelectedPort());
        QVERIFY(!r.s.log.contains(QStringLiteral("Open")));
        QVERIFY(r.s.written.isEmpty());
        QVERIFY(r.platform.messages.isEmpty());

        // Machine 3: its own device, with its own settings.
        r.m.SelectedMC = 3;
        QVERIFY(r.pc().openSelectedPort());
        QVERIFY(r.s.isOpen());
        QCOMPARE(r.s.portName(), QStringLiteral("ttyFAKE1"));
        QCOMPARE(r.s.Baud(), int(Serial::Baud2400));
        QCOMPARE(r.s.Bits(), int(Serial::Bits7));

        // Already open on its port, it stays open.
        r.s.clearLog();
        QVERIFY(r.pc().openSelectedPort());
        QVERIFY(!r.s.log.contains(QStringLiteral("Close")));

        // A scan left other settings on the port: the machine's come back.
        r.pc().ChangeComPars(255);
        QCOMPARE(r.s.Bits(), int(Serial::Bits8));
        QVERIFY(r.pc().openSelectedPort());
        QCOMPARE(r.s.Baud(), int(Serial::Baud2400));
        QCOMPARE(r.s.Bits(), int(Serial::Bits7));
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
