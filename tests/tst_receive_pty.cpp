// End to end on a pseudo-terminal: a machine punches a program into the real
// serial port; saved from RX-Edit, the file holds every byte of it with CR LF
// line ends.

#include "tst_receive_rig.h"

#include "pty.h"
#include "serial/qtserial.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

class TestReceivePty : public QObject
{
    Q_OBJECT
private slots:
    void punchedProgramSavedByteExact_data()
    {
        QTest::addColumn<QByteArray>("eol");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void punchedProgramSavedByteExact()
    {
        QFETCH(QByteArray, eol);
        Pty pty;
        QVERIFY(pty.isOpen());
        // No XON/XOFF in the port: DC1 and DC3 are data here.
        RxRig<QtSerial> r({{"MCFLOW", "0"}}, pty.slavePath());
        QVERIFY(r.s.isOpen());
        r.startReceiving();

        // About 100 KB: CNC blocks, and a comment line holding every byte
        // value that is neither a line end nor NUL; NUL leader and trailer.
        QByteArray lines = "%" + eol + "O4711" + eol + bytesButLineEnds(1) + eol;
        for (int n = 1; lines.size() < 100 * 1024; ++n)
            lines += QStringLiteral("N%1 G01 X%2.125 Y-%3.5 Z0 F1200")
                         .arg(n)
                         .arg(n % 400)
                         .arg(n % 77)
                         .toLatin1() +
                     eol;
        lines += "M30" + eol + "%";
        const QByteArray punched = QByteArray(100, '\0') + lines + QByteArray(100, '\0');

        QVERIFY(pty.write(punched, 20000));

        QByteArray expected = lines;
        expected.replace(eol, "\n");
        // One character per byte, one per line end, and the document's own end.
        const int characters = int(expected.size()) + 1;
        expected.replace("\n", "\r\n");
        QTextDocument *doc = r.rx()->txtFile->document();
        QTRY_VERIFY_WITH_TIMEOUT(!r.m.InRXHandler && r.s.BytesAvailable() == 0 &&
                                     doc->characterCount() >= characters,
                                 20000);

        const QString path = r.dir.filePath("punched.nc");
        r.p.saveNames << path;
        r.rx()->mnuSave->click();
        const QByteArray saved = fileBytes(path);
        QCOMPARE(saved.size(), expected.size());
        QVERIFY(saved == expected);
        QVERIFY(r.p.messages.isEmpty());
    }
};

QTEST_MAIN(TestReceivePty)
#include "tst_receive_pty.moc"
