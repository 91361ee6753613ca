// Send, Stop and Pause from the user's side: the messages, the machine the
// program goes to, and the selection while a send runs.

#include "tst_send_fixture.h"

#include "panel/machinepanel.h"

using Rig = SendRig<FakeSerial>;

class TestTransmit : public QObject
{
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void selectionFrozenWhileSending();
};

void TestTransmit::refused_data()
{
    QTest::addColumn<int>("machines");
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("message");
    const QString none = TransmitControl::noProgramText();
    const QString port = TransmitControl::portText();
    QTest::newRow("no machine") << 0 << QByteArray() << "" << none;
    QTest::newRow("empty code window") << 1 << QByteArray() << "" << none;
    QTest::newRow("one character") << 1 << QByteArray("%") << "" << none;
    QTest::newRow("port will not open") << 1 << QByteArray("G00\rM30\r") << "openFails" << port;
    // Machine 2's device is missing; the port object may still name machine
    // 1's device, which must not get machine 2's program.
    QTest::newRow("other machine's port")
        << 2 << QByteArray("G00 X100\rM30\r") << "select2" << port;
}

void TestTransmit::refused()
{
    QFETCH(int, machines);
    QFETCH(QByteArray, program);
    QFETCH(QString, why);
    QFETCH(QString, message);
    QList<QMap<QString, QString>> sections;
    for (int i = 0; i < machines; ++i)
        sections.append({{"MCFLOW", "0"}, {"MCPORT", i == 0 ? "ttyFAKE0" : "ttyGONE"}});
    Rig r(sections, {QStringLiteral("ttyFAKE0")});
    const int mc = why == QLatin1String("select2") ? 2 : 1;
    if (mc == 2) {
        QVERIFY(r.s.isOpen());
        r.w->panel->mcClick(2);
        QCOMPARE(int(r.m.SelectedMC), 2);
    }
    if (machines > 0) r.load(program, mc);
    if (why == QLatin1String("openFails")) {
        r.s.Close();
        r.s.openFails = true;
    }
    r.s.clearLog();
    r.p.messages.clear();
    r.w->cmdTX->click();
    QCOMPARE(r.p.messages.size(), 1);
    QCOMPARE(r.p.lastMessage(), message);
    QVERIFY(r.idle());
    QVERIFY(r.s.written.isEmpty());
    QVERIFY(!r.s.log.contains(QStringLiteral("Flush")));
    if (message == TransmitControl::noProgramText())
        QVERIFY(!r.s.log.contains(QStringLiteral("Open")));
    if (mc == 2) QVERIFY(!r.s.isOpen());
}

void TestTransmit::selectionFrozenWhileSending()
{
    Rig r({fastMachine().first(), {{"MCFLOW", "0"}, {"MCPORT", "ttyFAKE1"}}});
    r.load("L1\rL2\r");
    r.w->cmdTX->click();
    r.w->chkTXPause->click(); // hold before the second line
    QTRY_COMPARE(r.s.written, QByteArray("L1\r"));
    r.s.clearLog();
    r.w->panel->mcClick(2);
    QCOMPARE(int(r.m.SelectedMC), 1);
    QVERIFY(r.edit(1)->isVisible());
    QVERIFY(!r.edit(2)->isVisible());
    QVERIFY(!r.s.log.contains(QStringLiteral("Close")));
    r.w->chkTXPause->click();
    QVERIFY(r.waitFinished());
    QCOMPARE(r.s.written, QByteArray("L1\rL2\r") + nuls());
    r.w->panel->mcClick(2); // after the send the selection works again
    QCOMPARE(int(r.m.SelectedMC), 2);
}

QTEST_MAIN(TestTransmit)
#include "tst_transmit.moc"
