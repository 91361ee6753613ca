// The receive handler: routing by the link's state, the strip option,
// holding back line ends, the silence watch and the window's lifetime.

#include "tst_receive_rig.h"

#include "receive/portscan.h"
#include "transmit/codewindows.h"
#include "transmit/sendengine.h"

#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Rig = RxRig<FakeSerial>;

class TestReceive : public QObject
{
    Q_OBJECT

    // Delivers each chunk, letting the handler take it before the next.
    static void deliverAll(Rig &r, const QList<QByteArray> &chunks)
    {
        for (const QByteArray &c : chunks) {
            r.s.deliver(c);
            QTRY_VERIFY(r.s.rx.isEmpty());
        }
    }
    static void waitRunEnd(Rig &r)
    {
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        if (r.m.InRXHandler) QVERIFY(ended.wait(3000));
        QVERIFY(!r.m.InRXHandler);
    }

private slots:
    // Idle, the bytes go nowhere; during a send each one is handed to the
    // sender as the last byte received. Neither starts the editor, and an
    // editor opened by other means stays empty.
    void notReceiving_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("idle") << 0 << QByteArray("x");
        QTest::newRow("transmitting") << 1 << QByteArray("\x11");
    }
    void notReceiving()
    {
        QFETCH(int, state);
        QFETCH(QByteArray, last);
        Rig r;
        r.m.LastRxChar = "x";
        r.m.PortState = state;
        r.s.deliver("\x13xyz\x11");
        QTRY_VERIFY(r.s.rx.isEmpty());
        QCOMPARE(r.m.LastRxChar, last);
        QVERIFY(!r.rx());
        r.w->showRxEdit(false);
        r.s.deliver("G02\r\n");
        QTRY_VERIFY(r.s.rx.isEmpty());
        waitRunEnd(r);
        QCOMPARE(r.text(), QByteArray());
    }

    void receiveButton()
    {
        Rig r;
        r.m.AutoScanning = true;
        r.startReceiving();
        QCOMPARE(r.m.PortState, 2);
        QVERIFY(!r.m.AutoScanning);
        QVERIFY(r.rx() && r.rx()->isVisible());
        QVERIFY(!r.rx()->isModal());
        QVERIFY(!r.rx()->AutoGroup->isVisible());
    }

    void strip_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QByteArray>("saved");

        // No option: the NUL leader and trailer go, and every NUL between.
        QTest::newRow("none, leader and trailer")
            << ""
            << QList<QByteArray>{QByteArray(20, '\0') + "%\r\nN1", QByteArray("\0X\0", 3),
                                 "1\r\n%\r\n" + QByteArray(30, '\0')}
            << QByteArray("%\r\nN1X1\r\n%\r\n");
        // Every CR goes, wherever the chunks happen to end.
        QTest::newRow("13, lone CRs")
            << "13" << QList<QByteArray>{"A\rB\rC\r", "D\r\rE"} << QByteArray("ABCDE");
        QTest::newRow("13, keeps NUL")
            << "13" << QList<QByteArray>{QByteArray("\0N1\r\r\n", 6)} << QByteArray("\0N1\r\n", 5);
        QTest::newRow("10") << "10" << QList<QByteArray>{"A\n\nB\r", "\nC\n"}
                            << QByteArray("AB\r\nC");
        QTest::newRow("65, any code") << "65" << QList<QByteArray>{"BANANA"} << QByteArray("BNN");
        const QByteArray others = bytesButLineEnds(1);
        QTest::newRow("none, every other byte unchanged")
            << "" << QList<QByteArray>{others.left(100), others.mid(100)} << others;
        QTest::newRow("text, no number")
            << "CR" << QList<QByteArray>{QByteArray("A\0\rB", 4)} << QByteArray("A\r\nB");
    }
    void strip()
    {
        QFETCH(QString, option);
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QByteArray, saved);
        // The same data in the given chunks, in one chunk, and (when short)
        // byte by byte.
        QByteArray all;
        for (const QByteArray &c : chunks)
            all += c;
        QList<QList<QByteArray>> splits{chunks, {all}};
        if (all.size() <= 40) {
            splits.append(QList<QByteArray>());
            for (char c : all)
                splits.last().append(QByteArray(1, c));
        }
        for (const QList<QByteArray> &split : splits) {
            Rig r({{"MCSTRIPEOB", option}});
            r.startReceiving();
            deliverAll(r, split);
            waitRunEnd(r);
            QCOMPARE(r.text(), saved);
        }
    }

    void lineEndHeldUntilMoreDataOrSilence()
    {
        Rig r;
        r.startReceiving();
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        deliverAll(r, {"N10 X1\r"});
        QTRY_COMPARE(r.rx()->txtFile->toPlainText(), QString("N10 X1"));
        // The LF completes the held CR: one line end, not two.
        deliverAll(r, {"\nN20 X2\r\n"});
        QTRY_COMPARE(r.rx()->txtFile->toPlainText(), QString("N10 X1\nN20 X2"));
        QVERIFY(r.m.InRXHandler);
        QCOMPARE(ended.count(), 0);
        QVERIFY(ended.wait(3000));
        QCOMPARE(r.rx()->txtFile->toPlainText(), QString("N10 X1\nN20 X2\n"));
        QVERIFY(!r.w->tmrRX_Timeout->isActive());

        // A line end split by a silence still makes one line end.
        deliverAll(r, {"N30\r"});
        waitRunEnd(r);
        deliverAll(r, {"\nN40\r\n"});
        waitRunEnd(r);
        QCOMPARE(r.text(), QByteArray("N10 X1\r\nN20 X2\r\nN30\r\nN40\r\n"));
    }

    void dataDuringSilenceWatchRestartsIt()
    {
        Rig r;
        r.startReceiving();
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        deliverAll(r, {"A"});
        QTRY_VERIFY(r.m.Counter_RX_Timeout >= 3);
        // A DataAvailable in the middle of a run: its bytes join the run.
        deliverAll(r, {"B"});
        QCOMPARE(r.m.Counter_RX_Timeout, 0);
        QVERIFY(r.m.InRXHandler);
        QCOMPARE(ended.count(), 0);
        QVERIFY(ended.wait(3000));
        QCOMPARE(ended.count(), 1);
        QVERIFY(r.m.Counter_RX_Timeout >= ReceiveHandler::SilenceTicks);
        QCOMPARE(r.text(), QByteArray("AB"));
        // A signal without data does nothing harmful.
        emit r.s.DataAvailable();
        waitRunEnd(r);
        QCOMPARE(r.text(), QByteArray("AB"));
    }

    void userEditsStay()
    {
        Rig r;
        r.startReceiving();
        deliverAll(r, {"N10\r\n"});
        waitRunEnd(r);
        QPlainTextEdit *t = r.rx()->txtFile;
        QTextCursor c = t->textCursor();
        c.setPosition(0);
        t->setTextCursor(c);
        QTest::keyClicks(t, "O1 ");
        const int caret = t->textCursor().position();
        deliverAll(r, {"N20\r\n"});
        waitRunEnd(r);
        QCOMPARE(r.text(), QByteArray("O1 N10\r\nN20\r\n"));
        QCOMPARE(t->textCursor().position(), caret);
    }

    void dataAfterWindowClosedIsDropped()
    {
        Rig r;
        r.startReceiving();
        deliverAll(r, {"N10\r\nN20\r\n"});
        QTRY_COMPARE(r.rx()->txtFile->toPlainText(), QString("N10\nN20"));
        r.rx()->close(); // in the middle of the burst, with "\r\n" held back
        QCOMPARE(r.m.PortState, 0);
        deliverAll(r, {"N30\r\n"});
        QTRY_VERIFY(!r.rx());
        r.startReceiving();
        deliverAll(r, {"N40"});
        waitRunEnd(r);
        QCOMPARE(r.text(), QByteArray("N40"));
    }

    void receiveButtonDuringSend()
    {
        Rig r;
        r.s.autoDrain = false; // the send stays busy while the test looks
        r.w->codeWindows->setProgram(1, "G01 X1\r\nG01 X2\r\n");
        r.w->cmdTX->click();
        QTRY_VERIFY(r.w->engine->isRunning());
        QCOMPARE(r.m.PortState, 1);
        r.s.deliver("\x11");
        QTRY_COMPARE(r.m.LastRxChar, QByteArray("\x11"));

        r.startReceiving();
        QCOMPARE(r.m.PortState, 2);
        r.s.deliver("N5\x13");
        QTRY_COMPARE(r.text(), QByteArray("N5\x13"));
        // The send still sees the machine's flow control.
        QCOMPARE(r.m.LastRxChar, QByteArray("\x13"));

        // Closing the window gives the link back to the running send.
        r.rx()->close();
        QCOMPARE(r.m.PortState, 1);
        r.s.deliver("\x11");
        QTRY_COMPARE(r.m.LastRxChar, QByteArray("\x11"));

        r.w->cmdStop->click();
        r.s.drain();
        QTRY_VERIFY_WITH_TIMEOUT(!r.w->engine->isRunning(), 5000);
        QTRY_COMPARE(r.m.PortState, 0);
    }
};

QTEST_MAIN(TestReceive)
#include "tst_receive.moc"
