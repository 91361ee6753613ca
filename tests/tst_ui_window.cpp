// The main window and its machine panel: what shows at start, every
// control's names, the toolbar and the close box while the link is busy, the
// window's own messages; selection, the description and the port markings,
// rename, the machine menu's commands and drops on icons, adding machines, and
// what the panel refuses while a program is being sent.

#include "core/base/atomicfile.h"
#include "ui/canvas.h"
#include "ui/codewindows.h"
#include "ui/queueview.h"
#include "ui/rxeditwindow.h"
#include "ui/setuplauncher.h"
#include "ui_rig.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSignalSpy>

class TestUiWindow : public QObject
{
    Q_OBJECT
private slots:
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("empty folder") << QByteArray();
        QTest::newRow("two machines") << iniFile({"", "MCPORT=ttyFAKE1"});
    }
    void startUp()
    {
        QFETCH(QByteArray, ini);
        const int machines = int(ini.count("[MC"));
        UiRig<> r(ini);
        QCOMPARE(r.file(), ini.isNull() ? QByteArray("") : ini);

        // Every control, by the name it has always had; all but the empty
        // machine slots with an accessible name.
        QStringList names =
            QStringLiteral("Rectangle1 GroupBox1 GroupBox2 Canvas1 cmdStop chkTXPause "
                           "lbldesc txtRename Separator1 PBar1 txtPcent cmdTX "
                           "mnuReceive imgBadPort BevelButton1 lblmcname vText1 "
                           "cvsLinePtr")
                .split(u' ');
        const std::tuple<const char *, int, int> arrays[] = {
            {"txQueue", 0, 9}, {"txFileName", 0, 9}, {"lblmc", 0, 9},  {"txBuffer", 0, 9},
            {"frmMc", 1, 9},   {"imgMc", 1, 9},      {"List1", 0, 14}, {"imgMenu", 1, 5},
            {"lblMenu", 1, 4}, {"Separator", 2, 5}};
        for (const auto &[array, from, to] : arrays)
            for (int i = from; i <= to; ++i)
                names << member(array, i);
        for (const QString &name : names) {
            QWidget *w = r.window.findChild<QWidget *>(name);
            QVERIFY2(w, qPrintable(name));
            if (!name.startsWith("frmMc") && !name.startsWith("imgMc") && !name.startsWith("lblmc"))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name));
        }
        QVERIFY(!r.shows("cmdStop") && !r.shows("chkTXPause") && r.shows("cmdTX"));
        QCOMPARE(r.find<QLabel>("lblmc(0)")->text(), QStringLiteral("Add Machine"));
        for (int i = 1; i <= 9; ++i)
            QCOMPARE(r.shows(member("frmMc", i)), i <= machines);
        // Machine 1 selected: its frame, work controls and description; its
        // port, and no other, open.
        QCOMPARE(r.on("ttyFAKE0").isOpen(), machines > 0);
        QCOMPARE(r.machinePorts.openCount(), machines > 0 ? 1 : 0);
        for (const char *control : {"txBuffer(1)", "txQueue(1)", "txFileName(1)"})
            QCOMPARE(r.shows(QLatin1String(control)), machines > 0);
        QCOMPARE(r.find("frmMc(1)")->property("selected").toBool(), machines > 0);
        QCOMPARE(r.find<QLabel>("lbldesc")->text(),
                 machines ? "Mode: AUTO\n\nttyFAKE0\n9600 E 7 1\nXon/Xoff" : QString());
    }

    // While the link sends or receives, the toolbar and the close box do
    // nothing; while it sends, the panel refuses too. Adding stops at nine.
    void busyAndAdding()
    {
        UiRig<> r(iniFile(QStringList(8, QString())));
        QSignalSpy quit(&r.window, &MainWindow::quitRequested);
        r.shop.program(1).load("G00\n", ProgramSource::typed());
        r.portOf(1).toWrite = 1; // the port never drains: the send waits
        for (const char *busy : {"mnuReceive", "cmdTX"}) {
            r.click(QLatin1String(busy));
            for (const char *entry : {"imgMenu(5)", "lblMenu(3)", "imgMenu(2)", "lblMenu(1)"})
                r.click(QLatin1String(entry));
            QVERIFY(r.platform.messages.isEmpty() && r.platform.menus.isEmpty() && quit.isEmpty());
            QVERIFY(!r.window.setup().dialog() && !r.window.close());
            if (r.window.rxEdit()) r.window.rxEdit()->close();
        }
        r.click("imgMc(2)", Qt::RightButton);
        QCOMPARE(r.shop.selected(), 1);
        QCOMPARE(r.platform.menus.last(), QStringList{"Receive"});
        r.click("BevelButton1");
        QCOMPARE(r.platform.beeps, 3);
        QVERIFY(r.find<QPlainTextEdit>("txBuffer(1)")->isReadOnly());
        r.portOf(1).toWrite = 0;
        r.clock.runUntil([&] { return !r.shop.active(); });
        r.click("BevelButton1");
        QVERIFY(r.shows("frmMc(9)") && r.find<QLabel>("lblmc(9)")->text() == "NEW");
        r.click("BevelButton1");
        QCOMPARE(r.platform.lastMessage(),
                 "The maximum number of machine icons has been reached in this version.");
        r.shop.reload(); // nothing selected
        r.click("lblMenu(3)");
        QCOMPARE(r.platform.lastMessage(),
                 "You need to select a Machine icon before going to Setup");
        r.click("imgMenu(1)");
        QCOMPARE(quit.count(), 1);
    }

    // A file that cannot be read: said at the start, no machines, and every
    // change refused with the reason, the file left as it is.
    void unreadableFileIsReported()
    {
        UiRig<> r(QByteArray(), {"ttyFAKE0"});
        QVERIFY(QFile::remove(r.config.filePath()) && QDir(r.dir.path()).mkdir("zoZad.ini"));
        r.window.open();
        const QString file = QDir::toNativeSeparators(r.config.filePath());
        QCOMPARE(r.platform.lastMessage(),
                 QStringLiteral("The machine settings in \"%1\" could not be read: it is not a "
                                "regular file\nTavrin starts without machines and leaves the "
                                "file as it is.")
                     .arg(file));
        r.click("BevelButton1");
        QCOMPARE(r.platform.messages.last().title, QStringLiteral("Save Settings"));
        QCOMPARE(r.platform.lastMessage(),
                 QStringLiteral("The machine settings could not be saved to \"%1\": it could not "
                                "be read (it is not a regular file), and so it is not replaced\n"
                                "The file was left as it was.")
                     .arg(file));
        QVERIFY(!r.shows("frmMc(1)") && QFileInfo(r.config.filePath()).isDir());
        // When the user's file takes over, the window says which file is in use.
        emit r.config.fileMoved("/opt/cnc/zoZad.ini", "Read-only file system", "/home/op/x.ini");
        QCOMPARE(r.platform.lastMessage(), "The machine settings could not be saved to "
                                           "\"/opt/cnc/zoZad.ini\": Read-only file system\nThey "
                                           "are now kept in \"/home/op/x.ini\", the file in use "
                                           "from now on.");
    }

    void selection_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("description"); // "unavailable": the port does not open
        QTest::newRow("opens") << "ttyFAKE1" << "Mode: AUTO\n\nttyFAKE1\n19200 N 8 2\nRTS/CTS";
        QTest::newRow("missing") << "none" << " ATTENTION\n\n none\n\n  is Missing";
        QTest::newRow("unavailable")
            << "ttyFAKE1" << "  ATTENTION\n\n  ttyFAKE1\n  is  unavailable";
    }
    void selection()
    {
        QFETCH(QString, port);
        QFETCH(QString, description);
        UiRig<> r(iniFile(
            {"", "MCPORT=" + port + "|MCDRATE=19200|MCDBITS=8|MCPARITY=None|MCSBITS=2|MCFLOW=2"}));
        r.portOf(2).openFails = description.endsWith("unavailable");
        r.click("imgMc(2)");
        QCOMPARE(r.machinePorts.openCount(), description.startsWith("Mode") ? 1 : 0);
        QVERIFY(r.find("frmMc(2)")->property("selected").toBool() &&
                !r.find("frmMc(1)")->property("selected").toBool());
        QVERIFY(r.shows("txBuffer(2)") && !r.shows("txBuffer(1)") && r.shows("txQueue(2)"));
        QCOMPARE(r.find<QLabel>("lblmcname")->text(), QStringLiteral("MC 2"));
        auto *desc = r.find<QLabel>("lbldesc");
        QCOMPARE(desc->text(), description);
        const bool marked = description.contains("ATTENTION");
        QCOMPARE(desc->palette().color(QPalette::WindowText),
                 marked ? QColor(Qt::red) : QColor(Qt::black));
        QCOMPARE(r.shows("imgBadPort"), marked);
    }

    void renameThroughTheMenu()
    {
        UiRig<> r(iniFile({"", ""}));
        r.platform.menuChoices << "Rename";
        r.click("imgMc(2)", Qt::RightButton);
        QCOMPARE(r.platform.menus.last(),
                 QStringList({"Open", "Receive", "Clear", "-", "Rename", "Delete", "-",
                              "Properties", "-", "Port Scan"}));
        auto *field = r.find<QLineEdit>("txtRename");
        QCOMPARE(field->selectedText(), QStringLiteral("MC 2"));
        QTest::keyClicks(field, "Mill #2");
        QCOMPARE(field->text(), QStringLiteral("Mill 2")); // the # is swallowed
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!r.shows("txtRename"));
        QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), QStringLiteral("Mill 2"));
        QCOMPARE(r.file(), iniFile({"", "MCNAME=Mill 2"}));
        // A marker word of the file is refused, on Enter and on leaving the field.
        for (const bool enter : {true, false}) {
            r.platform.menuChoices << "Rename";
            r.click("imgMc(2)", Qt::RightButton);
            QTest::keyClicks(field, "NOINIVAL");
            if (enter) QTest::keyClick(field, Qt::Key_Return);
            r.click("imgMc(1)");
            QVERIFY(!r.shows("txtRename"));
            QCOMPARE(r.platform.lastMessage(), "\"NOINIVAL\" can not be a machine name: the "
                                               "configuration file keeps that word for itself.");
            QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), QStringLiteral("Mill 2"));
        }
        // An empty name is refused and the field stays; a click elsewhere drops it.
        r.platform.menuChoices << "Rename";
        r.click("imgMc(1)", Qt::RightButton);
        field->clear();
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(r.platform.lastMessage(), QStringLiteral("The name can not be empty"));
        QVERIFY(r.shows("txtRename"));
        r.click("imgMc(2)");
        QVERIFY(!r.shows("txtRename"));
        QCOMPARE(r.file(), iniFile({"", "MCNAME=Mill 2"}));
    }

    void menuCommands()
    {
        UiRig<> r(iniFile({"", "", "MCNAME=Lathe"}));
        CodeWindows &code = r.window.codeWindows();
        using B = QMessageBox;
        using S = FakePlatform::Shown;
        // Open: queued and shown, the file-name field naming it.
        r.click("imgMc(3)");
        r.platform.menuChoices = {"Open", "Delete", "Delete", "Clear", "Clear"};
        r.platform.answers = {B::No, B::Yes, B::Cancel};
        r.platform.openNames << r.write("lathe.nc", "G00\r\nM30\r\n");
        r.click("imgMenu(2)");
        QCOMPARE(r.shop.queue(3).count(), 1);
        QCOMPARE(code.text(3), QByteArray("G00\nM30\n"));
        QCOMPARE(r.find<QLineEdit>("txFileName(3)")->text(), r.dir.filePath("lathe.nc"));
        // Delete machine 2, No and then Yes: the lathe and its program move to slot 2.
        r.click("imgMc(2)");
        r.click("imgMenu(2)");
        QCOMPARE(r.platform.messages.last(),
                 (S{"Are you sure you wish to delete the selected Machine?", "Delete MC",
                    B::Yes | B::No, Platform::Icon::Question}));
        QVERIFY(r.shows("frmMc(3)"));
        r.click("imgMenu(2)");
        QVERIFY(r.shows("frmMc(2)") && !r.shows("frmMc(3)"));
        QCOMPARE(r.find<QLabel>("lbldesc")->text(), QString()); // nothing selected
        QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), QStringLiteral("Lathe"));
        QCOMPARE(code.text(2), QByteArray("G00\nM30\n"));
        QCOMPARE(code.text(3), QByteArray());
        // Clear, Cancel and then OK: the queue and the code window emptied.
        r.click("imgMc(2)");
        r.click("imgMenu(2)");
        QCOMPARE(r.platform.messages.last(),
                 (S{"This will clear all transmit buffers and Q's for this machine/icon", "Clear ?",
                    B::Ok | B::Cancel, Platform::Icon::Question}));
        QCOMPARE(code.text(2), QByteArray("G00\nM30\n"));
        r.click("imgMenu(2)");
        QCOMPARE(code.text(2), QByteArray());
        QCOMPARE(r.shop.queue(2).count(), 0);
        // Files dropped on another icon queue there, and the selection stays.
        const QStringList files = {r.write("a.nc", "A1\r"), r.write("b.nc", "B1\r")};
        emit r.find<Canvas>("imgMc(1)")->filesDropped(files);
        emit r.find<Canvas>("imgMc(1)")->filesDropped(files); // queued once
        QCOMPARE(r.shop.queue(1).paths(), files);
        QCOMPARE(code.text(1), QByteArray("A1\n"));
        QCOMPARE(r.shop.selected(), 2);
    }

    // A program no file holds is replaced only when the user agrees; the
    // keyboard stays with the queue, whose Delete takes an entry off.
    void changedProgramIsKept()
    {
        UiRig<> r(iniFile({""}));
        const QStringList files = {r.write("a.nc", "A1\n"), r.write("b.nc", "B1\n")};
        r.shop.queue(1).add(files[0]);
        r.shop.queue(1).add(files[1]);
        r.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&r.window));
        auto *list = r.find<QListView>("txQueue(1)");
        r.window.queueView().load(1, 0);
        QVERIFY(list->hasFocus());
        QTest::keyClicks(r.find<QPlainTextEdit>("txBuffer(1)"), "X");
        auto *name = r.find<QLineEdit>("txFileName(1)");
        QCOMPARE(name->text(), files[0] + " (changed)");
        r.platform.answers = {QMessageBox::No, QMessageBox::Yes};
        for (const QByteArray shown : {"A1\n", "B1\n"}) {
            r.window.queueView().load(1, 1);
            QCOMPARE(r.platform.messages.last(),
                     (FakePlatform::Shown{"The program in the code window has not been saved to "
                                          "a file. Discard it?",
                                          "Code window", QMessageBox::Yes | QMessageBox::No,
                                          Platform::Icon::Question, QMessageBox::No}));
            QCOMPARE(r.window.codeWindows().text(1).replace("X", ""), shown);
        }
        QCOMPARE(name->text(), files[1]);
        list->setCurrentIndex(r.shop.queue(1).index(0, 0));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(r.shop.queue(1).paths(), QStringList{files[1]});
        QVERIFY(QFile::exists(files[0]));
        // The machine menu's Receive receives.
        r.platform.menuChoices << "Receive";
        r.click("imgMenu(2)");
        QVERIFY(r.window.rxEdit() && r.selected().state() == LinkState::Receiving);
    }

    // Add Machine and a setup's Save leave nothing selected, and the
    // machine selected before behind them as it should be: closing RX-Edit
    // ends its receive, which is logged, and selecting another machine
    // closes its port.
    void nothingLeftBehindAReload_data()
    {
        QTest::addColumn<QString>("reload");
        QTest::newRow("Add Machine") << "BevelButton1";
        QTest::newRow("Setup Save") << "Command1";
    }
    void nothingLeftBehindAReload()
    {
        QFETCH(QString, reload);
        UiRig<> r(iniFile({"", "MCPORT=ttyFAKE1"}));
        SetupDialog *dialog = r.window.setup().show(false);
        r.click("mnuReceive");
        r.portOf(1).deliver("N1\r\n");
        r.clock.advance(VirtualClock::Second);
        QTest::mouseClick(r.find(reload) ? r.find(reload) : dialog->findChild<QWidget *>(reload),
                          Qt::LeftButton);
        QCOMPARE(r.find<QLabel>("lbldesc")->text(), QString());
        r.window.rxEdit()->close();
        QVERIFY(!r.shop.active());
        QVERIFY(readFile(r.dir.filePath("transfers.log")).contains("\treceive\tMC 1\tttyFAKE0\t"));
        r.click("imgMc(2)");
        QVERIFY(r.portOf(2).isOpen() && !r.portOf(1).isOpen());
    }

    // Served machines at work hold nothing of the user's: after a send by
    // hand, a served send leaves selection, Send, About and Setup working;
    // Quit asks first, No changes nothing, Yes ends them and then quits.
    void servedWorkHoldsNothing_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::newRow("No") << QMessageBox::No;
        QTest::newRow("Yes") << QMessageBox::Yes;
    }
    void servedWorkHoldsNothing()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QTemporaryDir folder;
        QVERIFY(writeFileAtomically(folder.filePath("O1.nc"), "G00\nG01 X1\n").isEmpty());
        UiRig<> r(iniFile({"MCFLOW=0", "MCPORT=ttyFAKE1|MCMODE=SERVER|MCFLOW=0|MCFOLDER=" +
                                            folder.path()}));
        QSignalSpy quit(&r.window, &MainWindow::quitRequested);
        r.shop.program(1).load("N1\n", ProgramSource::typed());
        QVERIFY(r.clickToEnd());
        r.portOf(2).toWrite = 5; // the served send stays on its line
        r.portOf(2).deliver("%\r\n(SEND O1)\r\n%\r\n");
        r.clock.advance(7 * VirtualClock::Second);
        QVERIFY(r.shop.busy(2));
        r.click("imgMc(2)");
        QCOMPARE(r.shop.selected(), 2);
        r.click("imgMc(1)");
        QCOMPARE(r.shop.selected(), 1);
        r.portOf(1).written.clear();
        QVERIFY(r.clickToEnd());
        QVERIFY(r.portOf(1).written.startsWith("N1\r\n"));
        r.click("imgMenu(5)");
        QCOMPARE(r.platform.lastMessage(), "This is Tavrin version " TAVRIN_VERSION " for Linux");
        r.click("imgMenu(3)");
        QVERIFY(r.window.setup().dialog());
        r.window.setup().dialog()->close();
        r.platform.answers << answer;
        r.click("imgMenu(1)");
        QCOMPARE(r.platform.lastMessage(),
                 "These machines are still working: MC 2.\nQuit anyway? Their sends end at a "
                 "whole block, and a program coming in is kept as incomplete.");
        // What the machine holds is dropped after the grace, as in the service.
        r.clock.advance(11 * VirtualClock::Second);
        QCOMPARE(quit.count(), answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(r.shop.busy(2), answer == QMessageBox::No);
    }

    // A served machine says under its name what it does; selected while it
    // sends on its own, it shows what goes out, read-only, and then the
    // program the user had typed, which the send never replaced.
    void servedMachineShowsItsState()
    {
        QTemporaryDir folder;
        QVERIFY(writeFileAtomically(folder.filePath("O1.nc"), "G00\nG01 X1\n").isEmpty());
        UiRig<> r(iniFile({"MCMODE=SERVER|MCFLOW=0|MCFOLDER=" + folder.path()}));
        auto *name = r.find<QLabel>("lblmc(1)");
        QCOMPARE(name->text(), "MC 1\nListening");
        auto *code = r.find<QPlainTextEdit>("txBuffer(1)");
        QTest::keyClicks(code, "N5");
        r.portOf(1).deliver("%\r\nO2\r\nG00");
        r.clock.advance(VirtualClock::Second / 10);
        QCOMPARE(name->text(), "MC 1\nReceiving 10 bytes");
        r.portOf(1).toWrite = 5; // the send that answers the request stays on the line
        r.portOf(1).deliver("\r\n%\r\n(SEND O1)\r\n"); // ends after 3 s; sent 3 s later
        r.clock.advance(7 * VirtualClock::Second);
        QVERIFY(name->text().startsWith("MC 1\nSending "));
        QVERIFY(r.shows("cmdStop") && r.shows("PBar1"));
        QCOMPARE(code->toPlainText(), "G00\nG01 X1\n");
        QVERIFY(code->isReadOnly());
        QCOMPARE(r.window.codeWindows().text(1), QByteArray("N5"));
        r.portOf(1).loseDevice();
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(name->text(), "MC 1\nPort missing, retrying");
        QVERIFY(r.shows("cmdTX") && !r.shows("cmdStop"));
        QCOMPARE(code->toPlainText(), "N5");
        QVERIFY(!code->isReadOnly());
    }

    // The device a served machine keeps is that machine's; a punch it could
    // not save shows on its icon.
    void servedMachineKeepsItsDevice()
    {
        UiRig<> r(iniFile({"", "MCMODE=SERVER|MCFLOW=0|MCFOLDER=/nonexistent/nc"}));
        QCOMPARE(r.find<QLabel>("lbldesc")->text(),
                 "  ATTENTION\n\n  ttyFAKE0\n  is  unavailable\n  served by MC 2");
        r.portOf(2).deliver("%\r\nO5\r\n%\r\n");
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), "MC 2\nPunch not saved, retrying");
    }
};

QTEST_MAIN(TestUiWindow)
#include "tst_ui_window.moc"
