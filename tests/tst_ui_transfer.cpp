// Sending and receiving through the window: what Send refuses, the buttons
// and texts while a send runs and after, Pause and Stop, the line pointer
// that decides where a send starts; received data in RX-Edit, Save with CR LF
// line ends, Open, New, Move to TX Buffer and its refusals, Port Scan's panel,
// and closing, which ends receiving.

#include "ui/canvas.h"
#include "ui/codeedit.h"
#include "ui/codewindows.h"
#include "ui/programview.h"
#include "ui/queueview.h"
#include "ui/rxeditwindow.h"
#include "ui_rig.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolButton>

namespace
{
template <typename W = QWidget> W *rx(UiRig<> &r, const char *name)
{
    return r.window.rxEdit() ? r.window.rxEdit()->findChild<W *>(QLatin1String(name)) : nullptr;
}

// Machine 1 with the lines "N0" to "N59" in its code window.
struct Numbered : UiRig<> {
    QPlainTextEdit *edit = find<QPlainTextEdit>("txBuffer(1)");
    Canvas *pointer = find<Canvas>("cvsLinePtr");

    Numbered() : UiRig<>(iniFile({"MCBLKTIC=Fastms|MCFLOW=0"}))
    {
        QByteArray program;
        for (int i = 0; i < 60; ++i)
            program += "N" + QByteArray::number(i) + "\n";
        shop.program(1).load(program, ProgramSource::typed());
    }
    // The program on the wire from line `line`, its first two lines.
    static QByteArray from(int line)
    {
        return "N" + QByteArray::number(line) + "\r\nN" + QByteArray::number(line + 1) + "\r\n";
    }
    QRect lineRect(int line) const
    {
        return edit->cursorRect(QTextCursor(edit->document()->findBlockByNumber(line)));
    }
    // Where line `line` begins, level with the pointer.
    int lineTop(int line) const
    {
        return edit->viewport()->mapTo(pointer->parentWidget(), lineRect(line).topLeft()).y();
    }
    void clickLine(int line, Qt::KeyboardModifiers keys = {}) const
    {
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, keys,
                          QPoint(30, lineRect(line).center().y()));
    }
};
} // namespace

class TestUiTransfer : public QObject
{
    Q_OBJECT
private slots:
    // The log names what went out and whose it was, never what is selected:
    // a program opened over one loaded from the queue, and a receive that
    // follows the user from one machine to the next.
    void logSaysWhoseTransferItWas()
    {
        UiRig<> r(iniFile({"MCNAME=MILL A|MCBLKTIC=Fastms|MCFLOW=0", "MCNAME=LATHE B|MCPORT=ttyFAKE1"}));
        r.shop.queue(1).add(r.write("a.nc", "A1\n"));
        r.window.queueView().load(1, 0);
        r.platform.menuChoices << "Open";
        r.platform.openNames << r.write("b.nc", "B1\n");
        r.click("imgMenu(2)");
        QVERIFY(r.clickToEnd());
        QVERIFY(r.portOf(1).written.startsWith("B1\r\n"));
        r.click("mnuReceive");
        r.portOf(1).deliver("N1\r\n");
        r.clock.advance(VirtualClock::Second);
        r.click("imgMc(2)");
        r.on("ttyFAKE1").deliver("N2\r\nN3\r\n");
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(rx<QPlainTextEdit>(r, "txtFile")->toPlainText(), "N1\nN2\nN3\n");
        r.window.rxEdit()->close();
        QStringList fields;
        for (const QByteArray &line : readFile(r.dir.filePath("transfers.log")).split('\n'))
            fields << QString(line).section(u'\t', 1, 6);
        QCOMPARE(fields, (QStringList{"send\tMILL A\tttyFAKE0\tb.nc\t4\t1",
                                      "receive\tMILL A\tttyFAKE0\t-\t4\t1",
                                      "receive\tLATHE B\tttyFAKE1\t-\t8\t2", ""}));
    }

    // Each way of opening a program says why a file cannot be read.
    void unreadableProgramIsTold()
    {
        UiRig<> r(iniFile({""}));
        const QString folder = r.dir.path();
        const QString told = QStringLiteral("The program file \"%1\" cannot be read: it is not a "
                                            "regular file\n%2 was left as it was.");
        r.platform.menuChoices << "Open";
        r.platform.openNames << folder;
        r.click("imgMenu(2)");
        QCOMPARE(r.platform.lastMessage(), told.arg(folder, "The code window"));
        r.shop.queue(1).add(folder);
        r.window.queueView().load(1, 0);
        QCOMPARE(r.platform.messages.size(), 2);
        QCOMPARE(r.platform.lastMessage(), told.arg(folder, "The code window"));
        r.click("mnuReceive");
        r.platform.openNames << folder;
        rx<QToolButton>(r, "mnuOpen")->click();
        QCOMPARE(r.platform.lastMessage(), told.arg(folder, "RX-Edit"));
    }

    // What the send waits for, the bar says.
    void barSaysWhatTheSendWaitsFor()
    {
        for (const auto &[flow, from, text] :
             {std::tuple{"4", "", "Waiting for the machine to ask for the program"},
              {"1", "\x13", "Held by the machine (XOFF) at line 1 of 3"},
              {"2", "", "Held by the machine (CTS) at line 1 of 3"}}) {
            UiRig<> r(iniFile({QStringLiteral("MCBLKTIC=Fastms|MCFLOW=") + flow}));
            r.shop.program(1).load("G00\nG01 X1\nM30\n", ProgramSource::typed());
            r.portOf(1).toWrite = 3; // the port's own handshake holds what it was given
            r.click("cmdTX");
            r.portOf(1).deliver(from);
            r.clock.advance(VirtualClock::Second);
            QCOMPARE(r.find<QProgressBar>("PBar1")->format(), QString(text));
        }
    }

    // A missing port has a message of its own; the rest, the one about opening a program.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QString>("port");
        for (const auto &[name, program, port] :
             {std::tuple{"no program", "", "ttyFAKE0"}, {"one character", "%", "ttyFAKE0"},
              {"no machine", "G00\n", "ttyFAKE0"}, {"port missing", "G00\n", "ttyUSB9"}})
            QTest::newRow(name) << QByteArray(program) << QString(port);
    }
    void refused()
    {
        QFETCH(QByteArray, program);
        QFETCH(QString, port);
        UiRig<> r(iniFile({"MCPORT=" + port}));
        if (QTest::currentDataTag() == QLatin1String("no machine")) r.shop.reload();
        r.shop.program(1).load(program, ProgramSource::typed());
        r.click("cmdTX");
        QCOMPARE(r.platform.lastMessage(),
                 port == "ttyUSB9"
                     ? "The selected PC Com port is not open/available"
                     : "You need to select a machine and Open a program into Tavrin's code window "
                       "before you can send it to the CNC\nTo Open a CNC program, click the "
                       "machine icon and select 'Open' from the menu and select your program. "
                       "Then come back and click the Send button to send it to the selected CNC");
        QVERIFY(r.shows("cmdTX") && !r.shows("cmdStop") && !r.shop.sending());
    }

    // A machine with a character check asks before it sends a program its
    // control refuses, from the pointer on: No sends nothing, Yes sends it
    // as it is, in the machine's leader and trailer.
    void refusedCharactersAsked_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void refusedCharactersAsked()
    {
        QFETCH(bool, yes);
        UiRig<> r(
            iniFile({"MCBLKTIC=Fastms|MCFLOW=0|MCLEADER=\\DC2|MCTRAILER=\\DC4|MCCHARCHK=ISO"}));
        r.shop.queue(1).add(r.write("O1234.nc", "O1234\nG00 X1\x01\nM30 (M\xC3\xA4SS)\n"));
        r.window.queueView().load(1, 0);
        r.platform.answers << (yes ? QMessageBox::Yes : QMessageBox::No);
        r.click("cmdTX");
        QCOMPARE(r.platform.messages.size(), 1);
        const FakePlatform::Shown asked = r.platform.messages.last();
        QCOMPARE(asked.text, QStringLiteral("O1234.nc has 2 characters the control refuses: "
                                            "line 2, column 7 \"\\SOH\"; line 3, column 7 "
                                            "\"\u00e4\". Send anyway?"));
        QVERIFY(asked.buttons == (QMessageBox::Yes | QMessageBox::No));
        QVERIFY(asked.icon == Platform::Icon::Question && asked.preferred == QMessageBox::No);
        r.clock.runUntil([&] { return !r.shop.sending(); });
        QCOMPARE(r.portOf(1).written, yes ? "\x12O1234\r\nG00 X1\x01\r\nM30 (M\xC3\xA4SS)\r\n\x14" +
                                                QByteArray(SendJob::RunOutBytes, '\0')
                                          : QByteArray());
    }

    void sendPauseStop()
    {
        UiRig<> r(iniFile({"MCBLKTIC=Fastms|MCFLOW=0"}));
        const QString path = r.write("p.nc", "%\r\nG01 X1\r\nG01 X2\r\nM30\r\n");
        r.shop.queue(1).add(path);
        r.window.queueView().load(1, 0);
        auto *edit = r.find<QPlainTextEdit>("txBuffer(1)");
        auto *percent = r.find<QLineEdit>("txtPcent");

        // Pause down: the send holds before the next line; Stop ends it.
        r.click("cmdTX");
        QVERIFY(r.shows("cmdStop") && r.shows("chkTXPause") && !r.shows("cmdTX") &&
                r.shows("PBar1") && edit->isReadOnly());
        r.click("chkTXPause");
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.portOf(1).written, QByteArray("%\r\n"));
        QCOMPARE(percent->text(), QStringLiteral("0%"));
        auto *bar = r.find<QProgressBar>("PBar1");
        QCOMPARE(bar->format(), QStringLiteral("Paused before line 2 of 4"));
        QCOMPARE(edit->textCursor().selectedText(), "G01 X1" + QString(QChar::ParagraphSeparator));
        QVERIFY(r.clickToEnd("cmdStop"));
        QCOMPARE(r.portOf(1).written, QByteArray("%\r\n"));
        QCOMPARE(percent->text(), QStringLiteral("0%")); // where it stopped
        QCOMPARE(bar->format(), QStringLiteral("Stopped at line 2 of 4"));
        QVERIFY(r.shows("cmdTX") && !r.shows("cmdStop") && !r.shows("chkTXPause") &&
                !edit->isReadOnly());

        // The whole program with Pause up again, and the waiting text and
        // the rounded share of the run-out gone: 10 of 2000 NULs is 1 %.
        // Nothing after the pointer is nothing to send.
        edit->moveCursor(QTextCursor::End);
        r.click("cmdTX");
        QCOMPARE(r.platform.lastMessage(), "There is nothing to send after the line pointer. Move "
                                           "the pointer to the line the send should start from.");
        r.portOf(1).written.clear();
        r.window.codeWindows().showStart(1);
        r.click("cmdTX");
        QCOMPARE(bar->format(), QStringLiteral("Line 1 of 4, 0:03 left"));
        QVERIFY(!r.find<QPushButton>("chkTXPause")->isChecked());
        r.clock.runUntil([&] { return r.portOf(1).written.endsWith(QByteArray(2000, '\0')); });
        r.portOf(1).toWrite = 1990;
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(percent->text(), QStringLiteral("01 %"));
        QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(),
                 " Waiting for data to clear the CNC Receive Buffers.............");
        r.portOf(1).toWrite = 0;
        r.clock.runUntil([&] { return !r.selected().sending(); });
        QCOMPARE(r.portOf(1).written, "%\r\nG01 X1\r\nG01 X2\r\nM30\r\n" + QByteArray(2000, '\0'));
        QCOMPARE(percent->text(), QStringLiteral("100%"));
        QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), path);
        QCOMPARE(bar->format(), QStringLiteral("Sent, 4 lines"));
        QCOMPARE(r.platform.messages.size(), 1);
        // Send again sends it all again: the pointer went back to the top.
        r.portOf(1).written.clear();
        QVERIFY(r.clickToEnd());
        QVERIFY(r.portOf(1).written.startsWith("%\r\nG01 X1\r\n"));

        // Stopped while the port is held: the bar says so; Stop again drops it.
        r.portOf(1).toWrite = 5;
        r.click("cmdTX");
        r.click("cmdStop");
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), " Stopping: the machine is holding "
                 "the line. Press Stop again to discard what it has not taken.");
        QVERIFY(r.clickToEnd("cmdStop"));
        QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), path);
    }

    // A send's progress is shown once a second; the bar and its text move
    // with its share, in steps of 4 %. A Pause shows at once.
    void barFollowsASend()
    {
        UiRig<> r(iniFile({"MCBLKTIC=Fastms|MCFLOW=0"}));
        QByteArray program;
        for (int i = 1; i <= 5000; ++i)
            program += "N" + QByteArray::number(i) + "\n";
        r.shop.program(1).load(program, ProgramSource::typed());
        auto *bar = r.find<QProgressBar>("PBar1");
        auto *percent = r.find<QLineEdit>("txtPcent");
        r.click("cmdTX");
        const qint64 start = r.clock.nowNs(), ms = VirtualClock::Second / 1000;
        QStringList shown{"0 " + percent->text() + ' ' + bar->format()};
        QString last = shown.last().section(' ', 1);
        while (r.clock.nowNs() - start < 5010 * ms) {
            r.clock.advance(ms);
            const QString now = percent->text() + ' ' + bar->format();
            if (now != last)
                shown << QString::number((r.clock.nowNs() - start) / ms) + ' ' + now;
            last = now;
        }
        QCOMPARE(shown, (QStringList{"0 0% Line 1 of 5000, 0:38 left",
                                     "1000 1% Line 1 of 5000, 0:38 left",
                                     "2000 2% Line 1 of 5000, 0:38 left",
                                     "3000 3% Line 1 of 5000, 0:38 left",
                                     "4000 4% Line 240 of 5000, 0:37 left",
                                     "5000 5% Line 240 of 5000, 0:37 left"}));
        r.click("chkTXPause");
        r.clock.advance(20 * ms);
        QCOMPARE(bar->format(), QStringLiteral("Paused before line 302 of 5000"));
    }

    // A program too big to edit opens read-only, and sends from the line
    // beside the pointer like any other.
    void bigProgram()
    {
        UiRig<> r(iniFile({"MCBLKTIC=None|MCFLOW=0"}));
        QByteArray big;
        for (int i = 0; big.size() <= CodeEdit::BigBytes; ++i)
            big += "N" + QByteArray::number(i) + " G01 X1.5 Y2.5 Z-0.25 F1200\r\n";
        r.platform.menuChoices << "Open";
        r.platform.openNames << r.write("big.nc", big);
        r.click("imgMenu(2)");
        auto *view = r.window.findChild<ProgramView *>();
        QVERIFY(view && view->isVisible() && !r.shop.program(1).isEmpty());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(30, view->lineTop(3) + 2));
        QCOMPARE(r.window.codeWindows().caretLine(), 3);
        QCOMPARE(r.find<Canvas>("cvsLinePtr")->y(),
                 view->viewport()->mapTo(r.find("GroupBox2"), QPoint(0, view->lineTop(3))).y());
        r.click("cmdTX");
        r.clock.runUntil([&] { return r.portOf(1).written.size() > 100; });
        QVERIFY(r.portOf(1).written.startsWith("N3 G01 X1.5 Y2.5 Z-0.25 F1200\r\nN4 "));
    }

    // Every line break typed or pasted ends a block; a character with no
    // single byte is refused and the text stays as it was.
    void lineBreaksAndRefusedCharacters()
    {
        UiRig<> r(iniFile({"MCBLKTIC=Fastms|MCFLOW=0|MCEOB=CRLF"}));
        auto *edit = r.find<QPlainTextEdit>("txBuffer(1)");
        QTest::keyClicks(edit, "G01 X1");
        QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(edit, "Y5");
        QGuiApplication::clipboard()->setText(QStringLiteral("\nA\u2028B\u2029C\rD\r\nE"));
        edit->paste();
        const QByteArray text("G01 X1\nY5\nA\nB\nC\nD\nE");
        QCOMPARE(r.window.codeWindows().text(1), text);
        QKeyEvent euro(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u20AC"));
        QCoreApplication::sendEvent(edit, &euro);
        QGuiApplication::clipboard()->setText(QStringLiteral("X\u03A9"));
        edit->paste();
        QCOMPARE(r.window.codeWindows().text(1), text);
        QCOMPARE(r.platform.beeps, 2);
        QCOMPARE(r.platform.lastMessage(),
                 QStringLiteral("The character \"\u03A9\" cannot go to a machine: a program "
                                "holds only characters with codes 0 to 255. The text was left "
                                "as it was."));
        r.window.codeWindows().showStart(1);
        QVERIFY(r.clickToEnd());
        QVERIFY(r.portOf(1).written.startsWith(QByteArray(text).replace("\n", "\r\n")));
    }

    // Where the pointer stands, the send starts: beside the line clicked,
    // the first line of a selection (made either way), the line under the
    // tip of the pointer dragged (its top edge still in the line above).
    void pointerDecidesTheStart_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to"); // shift-clicked; dragged to when negative
        QTest::addColumn<int>("start");
        QTest::newRow("click") << 3 << 3 << 3;
        QTest::newRow("selected downwards") << 5 << 8 << 5;
        QTest::newRow("selected upwards") << 8 << 5 << 5;
        QTest::newRow("dragged") << 3 << -25 << 25;
    }
    void pointerDecidesTheStart()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, start);
        Numbered r;
        r.clickLine(from);
        QCOMPARE(r.pointer->y(), r.lineTop(from));
        if (to >= 0) {
            r.clickLine(to, Qt::ShiftModifier);
        } else {
            // Scrolled, the pointer stays; dragged down till its tip, six
            // rows below its top, is three rows into the line.
            const int top = r.pointer->y();
            r.edit->verticalScrollBar()->setValue(-to - 5);
            QCOMPARE(r.pointer->y(), top);
            const QPointF by(8, 6 + r.lineTop(-to) - top - 3);
            QTest::mousePress(r.pointer, Qt::LeftButton, {}, QPoint(8, 6));
            QMouseEvent drag(QEvent::MouseMove, by, r.pointer->mapToGlobal(by), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(r.pointer, &drag);
            QTest::mouseRelease(r.pointer, Qt::LeftButton, {}, QPoint(8, 6));
        }
        QCOMPARE(r.pointer->y(), r.lineTop(start));
        QVERIFY(r.clickToEnd());
        QVERIFY(r.portOf(1).written.startsWith(Numbered::from(start)));
    }

    // A send the lost port broke off leaves the pointer at the line it broke
    // off at; with the port back, Send goes on from there.
    void lostPortLeavesThePointer()
    {
        Numbered r;
        FakePort &port = r.portOf(1);
        r.click("cmdTX");
        r.clock.runUntil([&] { return port.written.contains("N3\r\n"); });
        port.loseDevice();
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.platform.lastMessage(), "The selected PC Com port is not open/available\n"
                                           "The send broke off at line 5 of 60: the port went "
                                           "away.");
        QCOMPARE(r.pointer->y(), r.lineTop(4));
        port.written.clear();
        r.click("imgMc(1)");
        QVERIFY(r.clickToEnd());
        QVERIFY(port.written.startsWith(Numbered::from(4)));
    }

    void receiveSaveOpenMove()
    {
        UiRig<> r(iniFile({"MCSTRIPEOB=13"}));
        r.click("mnuReceive");
        QCOMPARE(r.selected().state(), LinkState::Receiving);
        QVERIFY(!rx(r, "AutoGroup")->isVisibleTo(r.window.rxEdit()));
        auto *text = rx<QPlainTextEdit>(r, "txtFile");
        QByteArray punch = "%\r\nG01 X1\r\n"; // and a line of every byte but NUL and line ends
        for (int c = 1; c < 256; ++c)
            if (c != '\r' && c != '\n') punch += char(c);
        punch += "\r\nM30\r\n";
        r.portOf(1).deliver(punch);
        r.clock.runUntil([&] { return !r.selected().receiver().inBurst(); });
        QCOMPARE(text->document()->toRawText(),
                 QString::fromLatin1(QByteArray(punch).replace("\r", ""))
                     .replace(u'\n', QChar::ParagraphSeparator));

        const QString saved = r.dir.filePath("punched.nc"), gone = r.dir.filePath("gone/x.nc");
        r.platform.saveNames << saved << gone;
        rx<QToolButton>(r, "mnuSave")->click();
        QCOMPARE(readFile(saved), punch);
        rx<QToolButton>(r, "mnuSave")->click(); // the text would be lost with the window
        QVERIFY(r.platform.lastMessage().startsWith("The text could not be saved to \"" + gone));

        r.portOf(1).deliver("N9\r\n"); // its line end held back, and New drops it with the text
        r.clock.advance(100 * VirtualClock::Second / 1000);
        rx<QToolButton>(r, "mnuNew")->click();
        r.portOf(1).deliver("N10\r\n");
        r.clock.runUntil([&] { return !r.selected().receiver().inBurst(); });
        QCOMPARE(text->toPlainText(), QStringLiteral("N10\n"));
        r.platform.openNames << r.write("lf.nc", "A\nB\n");
        rx<QToolButton>(r, "mnuOpen")->click();
        QCOMPARE(text->toPlainText(), QStringLiteral("A\nB\n"));

        rx<QToolButton>(r, "mnuExit4")->click();
        QVERIFY(!r.window.rxEdit());
        QCOMPARE(r.selected().state(), LinkState::Idle);
        QCOMPARE(r.window.codeWindows().text(1), QByteArray("A\nB\n"));
        QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), QStringLiteral("Unknown"));

        // A transfer log that cannot be written is told.
        const QString log = r.dir.filePath("transfers.log");
        QVERIFY(QFile::remove(log) && QDir().mkdir(log));
        r.click("mnuReceive");
        rx<QToolButton>(r, "mnuExit4")->click();
        QTRY_VERIFY(r.platform.lastMessage().startsWith("The transfer log \"" + log));

        // Move refused: no machine selected, and while a send runs.
        r.shop.reload(); // the text stays
        r.click("imgMenu(4)");
        rx<QToolButton>(r, "mnuExit4")->click();
        QVERIFY(r.platform.lastMessage().startsWith("You need to select a Machine icon") &&
                r.window.rxEdit()->isVisible());
        r.window.rxEdit()->close();
        r.click("imgMc(1)");
        r.shop.program(1).load("G00\n", ProgramSource::typed());
        r.portOf(1).toWrite = 1;
        r.click("cmdTX");
        r.click("mnuReceive");
        rx<QToolButton>(r, "mnuExit4")->click();
        QVERIFY(r.platform.lastMessage().startsWith("A program is being sent."));
        // Closed while the send runs, the link goes back to sending.
        r.window.rxEdit()->close();
        QCOMPARE(r.selected().state(), LinkState::Sending);
    }
    void portScanPanel()
    {
        UiRig<> r(iniFile({""}));
        r.portOf(1).fixedSettings = true; // a raw TCP server: no other speed to try
        r.platform.menuChoices = {"Port Scan", "Port Scan"};
        r.click("imgMc(1)", Qt::RightButton);
        QCOMPARE(r.platform.messages.last().title, QStringLiteral("Port Scan"));
        QVERIFY(!r.window.rxEdit());
        r.portOf(1).fixedSettings = false;
        r.click("imgMc(1)", Qt::RightButton);
        QCOMPARE(r.selected().state(), LinkState::Scanning);
        QVERIFY(r.window.rxEdit()->isModal());
        auto *panel = rx<QGroupBox>(r, "AutoGroup");
        QVERIFY(panel->isVisibleTo(r.window.rxEdit()));
        rx<QPushButton>(r, "PushButton1")->click();
        QCOMPARE(r.platform.messages.last().title, QStringLiteral("Detection not complete"));
        r.portOf(1).deliver(QByteArray(200, 'a')); // lower case: 9600 rejected
        // The panel's title says the settings tried.
        QVERIFY(r.clock.runUntil([&] { return panel->title() == QStringLiteral("4800,n,8,1"); }));
        QVERIFY(rx<QCheckBox>(r, "chkCTSOK")->isChecked());
        QVERIFY(!rx<QCheckBox>(r, "chkSpeedOK")->isChecked());
        r.window.rxEdit()->close();
        QCOMPARE(r.selected().state(), LinkState::Idle);
    }

    // Received text not saved is discarded only when the user says so;
    // saved, moved or opened text goes without a question, as does an empty
    // window.
    void leavingReceivedText_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("after"); // the text left; "gone": the window closed
        for (const auto &[name, action, yes, after] :
             {std::tuple{"New yes", "mnuNew", true, ""}, {"New no", "mnuNew", false, "N1\n"},
              {"Open yes", "mnuOpen", true, "A\n"}, {"Open no", "mnuOpen", false, "N1\n"},
              {"Exit yes", "mnuExit", true, "gone"}, {"Exit no", "mnuExit", false, "N1\n"},
              {"close box yes", "close", true, "gone"}, {"close box no", "close", false, "N1\n"},
              {"saved", "mnuSave", false, "N1\n"}, {"moved", "mnuExit4", false, "gone"},
              {"emptied", "clear", false, ""}})
            QTest::newRow(name) << QString(action) << yes << QString(after);
    }
    void leavingReceivedText()
    {
        QFETCH(QString, action);
        QFETCH(bool, yes);
        QFETCH(QString, after);
        UiRig<> r(iniFile({""}));
        r.click("mnuReceive");
        r.portOf(1).deliver("N1\r\n");
        r.clock.runUntil([&] { return !r.selected().receiver().inBurst(); });
        r.platform.saveNames << r.dir.filePath("saved.nc");
        r.platform.openNames << r.write("a.nc", "A\n");
        r.platform.answers << (yes ? QMessageBox::Yes : QMessageBox::No);
        if (action == "close")
            r.window.rxEdit()->close();
        else if (action == "clear")
            rx<QPlainTextEdit>(r, "txtFile")->clear();
        else
            rx<QToolButton>(r, action.toLatin1())->click();
        const qsizetype asked = !QStringList{"mnuSave", "mnuExit4", "clear"}.contains(action);
        const FakePlatform::Shown question{"The received text has not been saved. Discard it?",
                                           "RX-Edit", QMessageBox::Yes | QMessageBox::No,
                                           Platform::Icon::Question, QMessageBox::No};
        QCOMPARE(r.platform.messages, QList<FakePlatform::Shown>(asked, question));
        QCOMPARE(r.window.rxEdit() ? rx<QPlainTextEdit>(r, "txtFile")->toPlainText() : "gone", after);
        // Closed now, it asks again only about received text still unsaved.
        if (r.window.rxEdit()) r.window.rxEdit()->close();
        QVERIFY(!r.window.rxEdit());
        const bool unsaved = after == "N1\n" && action != "mnuSave";
        QCOMPARE(r.platform.messages, QList<FakePlatform::Shown>(asked + unsaved, question));
    }

    // A punch too big to edit is held whole: Save writes every byte, and
    // data arriving after the save is asked about and saved too. A CR LF
    // split by a pause is one line end, in the editor, the text the big
    // view takes over from it, and the big view.
    void bigReceive()
    {
        UiRig<> r(iniFile({""}));
        r.click("mnuReceive");
        QByteArray big;
        for (int i = 0; big.size() <= 3 * 1024 * 1024; ++i)
            big += "N" + QByteArray::number(i) + " G01 X1.5\xA0Y2.5\r\n";
        const qsizetype cut = big.indexOf('\r', 1000) + 1;
        r.portOf(1).deliver(big.left(cut));
        r.clock.advance(VirtualClock::Second);
        r.portOf(1).deliver(big.mid(cut).chopped(1));
        r.clock.runUntil([&] { return !r.selected().receiver().inBurst(); });
        QVERIFY(!rx(r, "txtFile")->isVisible() && rx(r, "txtFile lines")->isVisible());
        const QString path = r.dir.filePath("big.nc");
        r.platform.saveNames << path << path;
        rx<QToolButton>(r, "mnuSave")->click();
        QVERIFY(readFile(path) == big);
        r.portOf(1).deliver("\nM30\n");
        r.clock.runUntil([&] { return !r.selected().receiver().inBurst(); });
        r.platform.answers << QMessageBox::No;
        r.window.rxEdit()->close();
        QCOMPARE(r.platform.lastMessage(), "The received text has not been saved. Discard it?");
        rx<QToolButton>(r, "mnuSave")->click();
        QVERIFY(readFile(path) == big + "M30\r\n");
    }
};

QTEST_MAIN(TestUiTransfer)
#include "tst_ui_transfer.moc"
