// The RX-Edit window: saving with CR LF line ends, opening unchanged, New,
// Move to TX Buffer, closing, the panel's placement.

#include "tst_receive_rig.h"

#include "app/canvas.h"
#include "receive/portscan.h"
#include "transmit/codewindows.h"
#include "transmit/sendengine.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using Rig = RxRig<FakeSerial>;

class TestRxEdit : public QObject
{
    Q_OBJECT
private slots:
    void window()
    {
        Rig r;
        rxedit *e = r.w->showRxEdit(false);
        QCOMPARE(r.w->showRxEdit(false), e); // one instance
        for (QWidget *c : std::initializer_list<QWidget *>{
                 e->mnuExit, e->mnuNew, e->mnuOpen, e->mnuSave, e->mnuExit4, e->Separator1,
                 e->Canvas1, e->txtFile, e->AutoGroup, e->PushButton2, e->chkCTSOK, e->chkSpeedOK,
                 e->chkDBitsOK, e->chkParityOK, e->PushButton1})
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
        // Drops on the logo only beep.
        emit e->Canvas1->dragOver();
        emit e->Canvas1->filesDropped({"/tmp/x.bmp"});
        QCOMPARE(r.p.beeps, 2);
        // "Help" does nothing.
        e->PushButton2->click();
        QVERIFY(r.p.messages.isEmpty());
    }

    void saveWritesCrLf_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("LF") << QByteArray("N1\nN2\n") << QByteArray("N1\r\nN2\r\n");
        QTest::newRow("CR") << QByteArray("N1\rN2\r") << QByteArray("N1\r\nN2\r\n");
        QTest::newRow("CR LF") << QByteArray("N1\r\nN2\r\n") << QByteArray("N1\r\nN2\r\n");
        QTest::newRow("mixed, no final")
            << QByteArray("A\r\rB\n\r\nC") << QByteArray("A\r\n\r\nB\r\n\r\nC");
        QTest::newRow("empty lines") << QByteArray("\n\n") << QByteArray("\r\n\r\n");
        QTest::newRow("top bit, no-break space, tab")
            << QByteArray("\xa0\xe9\xff\t\x7f") << QByteArray("\xa0\xe9\xff\t\x7f");
    }
    void saveWritesCrLf()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, saved);
        Rig r;
        r.startReceiving();
        r.s.deliver(text);
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        QVERIFY(ended.wait(3000));
        const QString path = r.dir.filePath("out.nc");
        r.p.saveNames << path;
        r.rx()->mnuSave->click();
        QCOMPARE(fileBytes(path), saved);
        QVERIFY(r.p.messages.isEmpty());
        // Opening the saved file shows the same text again.
        r.rx()->mnuNew->click();
        r.p.openNames << path;
        r.rx()->mnuOpen->click();
        QCOMPARE(r.rx()->textBytes(), saved);
    }

    void openShowsFileUnchangedAndSaveFailureIsReported()
    {
        Rig r;
        rxedit *e = r.w->showRxEdit(false);
        const QByteArray bytes = "%\r\nO1000\r\n" + bytesButLineEnds(0) + "\r\n%\r\n";
        const QString path = r.dir.filePath("in.nc");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        e->txtFile->setPlainText("old");
        r.p.openNames << path;
        e->mnuOpen->click();
        QCOMPARE(e->textBytes(), bytes);
        // Cancelled or unreadable: nothing changes, nothing is said.
        r.p.openNames << "" << r.dir.filePath("missing.nc");
        e->mnuOpen->click();
        e->mnuOpen->click();
        QCOMPARE(e->textBytes(), bytes);
        QVERIFY(r.p.messages.isEmpty());

        // A cancelled save says nothing; a failed one warns and keeps the text.
        r.p.saveNames << "" << r.dir.filePath("no/such/folder/out.nc");
        e->mnuSave->click();
        QVERIFY(r.p.messages.isEmpty());
        e->mnuSave->click();
        QCOMPARE(r.p.messages.size(), 1);
        QCOMPARE(r.p.messages[0].icon, Platform::Icon::Warning);
        QCOMPARE(e->textBytes(), bytes);
    }

    void newWhileReceiving()
    {
        Rig r;
        r.startReceiving();
        r.s.deliver("N10 X1\r\n");
        QTRY_COMPARE(r.rx()->txtFile->toPlainText(), QString("N10 X1"));
        r.rx()->mnuNew->click(); // the line end is still held back
        QCOMPARE(r.rx()->txtFile->toPlainText(), QString());
        r.s.deliver("N20\r\n");
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        QVERIFY(ended.wait(3000));
        QCOMPARE(r.text(), QByteArray("N20\r\n"));
        QCOMPARE(r.m.PortState, 2);
    }

    void moveToTxBuffer()
    {
        Rig r;
        r.w->txFileName[1]->setText("/cnc/old.nc");
        r.startReceiving();
        r.s.deliver("N1 G01\nN2 \xe9\n");
        QSignalSpy ended(r.w->receiver, &ReceiveHandler::runEnded);
        QVERIFY(ended.wait(3000));
        r.rx()->mnuExit4->click();
        QCOMPARE(r.w->txBuffer[1]->toPlainText(), QString::fromLatin1("N1 G01\nN2 \xe9\n"));
        QCOMPARE(r.w->txFileName[1]->text(), QString("Unknown"));
        QCOMPARE(r.m.PortState, 0);
        QTRY_VERIFY(!r.rx());
    }

    void moveWithoutMachineKeepsText()
    {
        Rig r;
        rxedit *e = r.w->showRxEdit(false);
        e->txtFile->setPlainText("N1");
        r.m.SelectedMC = 0;
        e->mnuExit4->click();
        QCOMPARE(r.p.messages.size(), 1);
        QVERIFY(r.p.lastMessage().contains("select a Machine"));
        QVERIFY(r.rx() && r.rx()->isVisible());
        QCOMPARE(e->txtFile->toPlainText(), QString("N1"));
        QCOMPARE(r.w->txBuffer[0]->toPlainText(), QString());
    }

    void moveRefusedDuringSend()
    {
        Rig r;
        r.s.autoDrain = false; // the send stays busy while the test looks
        r.w->codeWindows->setProgram(1, "G01 X1\r\nG01 X2\r\n");
        r.w->cmdTX->click();
        QTRY_VERIFY(r.w->engine->isRunning());
        rxedit *e = r.w->showRxEdit(false);
        e->txtFile->setPlainText("N1");
        e->mnuExit4->click();
        QCOMPARE(r.p.messages.size(), 1);
        QVERIFY(r.p.lastMessage().contains("being sent"));
        QCOMPARE(r.w->txBuffer[1]->toPlainText(), QString("G01 X1\nG01 X2\n"));
        QVERIFY(r.rx() && r.rx()->isVisible());
        QCOMPARE(r.m.PortState, 1);
        r.w->cmdStop->click();
        r.s.drain();
        QTRY_VERIFY_WITH_TIMEOUT(!r.w->engine->isRunning(), 5000);
    }

    void closingResetsState_data()
    {
        QTest::addColumn<bool>("scanning");
        QTest::newRow("receiving") << false;
        QTest::newRow("port scan") << true;
    }
    void closingResetsState()
    {
        QFETCH(bool, scanning);
        Rig r;
        if (scanning)
            r.w->portScan->start();
        else
            r.startReceiving();
        QCOMPARE(r.rx()->AutoGroup->isVisible(), scanning);
        QCOMPARE(r.rx()->isModal(), scanning);
        r.rx()->chkCTSOK->setChecked(true);
        r.rx()->txtFile->setPlainText("N1");
        r.rx()->mnuExit->click();
        QCOMPARE(r.m.PortState, 0);
        QVERIFY(!r.m.AutoScanning);
        QTRY_VERIFY(!r.rx());
        rxedit *e = r.w->showRxEdit(false);
        QCOMPARE(e->txtFile->toPlainText(), QString());
        QVERIFY(!e->chkCTSOK->isChecked());
        QVERIFY(!e->AutoGroup->isVisible());
        QCOMPARE(e->AutoGroup->title(), QString("9600,N,8,1"));

        // A scan started on the open window shows the panel in it.
        r.w->portScan->start();
        QCOMPARE(r.rx(), e);
        QVERIFY(e->isModal());
        QVERIFY(e->AutoGroup->isVisible());
        QCOMPARE(e->AutoGroup->x(), 18);
    }
};

QTEST_MAIN(TestRxEdit)
#include "tst_rxedit.moc"
