// Send, Stop and Pause from the user's side: the messages, the machine the
// program goes to, and the selection while a send runs.

#include "tst_send_fixture.h"

#include "panel/machinepanel.h"

using Rig = SendRig<FakeSerial>;

class TestTransmit : public QObject
{
    Q_OBJECT
private slots:
    void nothingToSend_data();
    void nothingToSend();
    void portUnavailable();
    void neverToAnotherMachine();
    void selectionFrozenWhileSending();
};

void TestTransmit::nothingToSend_data()
{
    QTest::addColumn<int>("machines");
    QTest::addColumn<QByteArray>("program");
    QTest::newRow("no machine") << 0 << QByteArray();
    QTest::newRow("empty code window") << 1 << QByteArray();
    QTest::newRow("one character") << 1 << QByteArray("%");
}

void TestTransmit::nothingToSend()
{
    QFETCH(int, machines);
    QFETCH(QByteArray, program);
    QList<QMap<QString, QString>> sections;
    for (int i = 0; i < machines; ++i)
        sections.append(QMap<QString, QString>());
    Rig r(sections);
    if (machines > 0) r.load(program);
    r.s.clearLog();
    r.w->cmdTX->click();
    QCOMPARE(r.p.messages.size(), 1);
    QCOMPARE(r.p.lastMessage(), TransmitControl::noProgramText());
    QVERIFY(!r.w->engine->isRunning());
    QVERIFY(r.w->cmdTX->isVisible());
    QVERIFY(!r.w->cmdStop->isVisible());
    QCOMPARE(r.m.PortState, 0);
    QVERIFY(r.s.written.isEmpty());
    QVERIFY(!r.s.log.contains(QStringLiteral("Open")));
}

void TestTransmit::portUnavailable()
{
    Rig r(oneMachine({{"MCFLOW", "0"}}));
    r.load("G00\rM30\r");
    r.s.Close();
    r.s.openFails = true;
    r.w->cmdTX->click();
    QCOMPARE(r.p.lastMessage(), TransmitControl::portText());
    QVERIFY(!r.w->engine->isRunning());
    QVERIFY(r.w->cmdTX->isVisible());
    QVERIFY(!r.w->cmdStop->isVisible());
    QCOMPARE(r.m.PortState, 0);
    QVERIFY(r.s.written.isEmpty());
}

void TestTransmit::neverToAnotherMachine()
{
    // Machine 1's device is present; machine 2's is not. After selecting
    // machine 2 the port object may still name machine 1's device.
    Rig r({{{"MCPORT", "ttyFAKE0"}, {"MCFLOW", "0"}}, {{"MCPORT", "ttyGONE"}, {"MCFLOW", "0"}}},
          {QStringLiteral("ttyFAKE0")});
    QVERIFY(r.s.isOpen());
    r.w->panel->mcClick(2);
    QCOMPARE(int(r.m.SelectedMC), 2);
    r.load("G00 X100\rM30\r", 2);
    r.s.written.clear();
    r.p.messages.clear();
    r.w->cmdTX->click();
    QCOMPARE(r.p.lastMessage(), TransmitControl::portText());
    QVERIFY(!r.w->engine->isRunning());
    QVERIFY(r.s.written.isEmpty());
    QVERIFY(!r.s.isOpen());
}

void TestTransmit::selectionFrozenWhileSending()
{
    Rig r({{{"MCFLOW", "0"}, {"MCBLKTIC", "Fast"}, {"MCEOB", "CR"}},
           {{"MCFLOW", "0"}, {"MCPORT", "ttyFAKE1"}}});
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
    // After the send the selection works again.
    r.w->panel->mcClick(2);
    QCOMPARE(int(r.m.SelectedMC), 2);
}

QTEST_MAIN(TestTransmit)
#include "tst_transmit.moc"
