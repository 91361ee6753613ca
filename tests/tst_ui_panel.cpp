// The machine panel and its menu: selection and the description, the port
// markings, rename, the menu's commands, drops on icons, adding machines,
// and what the panel refuses while a program is being sent.

#include "ui/canvas.h"
#include "ui/codewindows.h"
#include "ui/machinemenu.h"
#include "ui/machinepanel.h"
#include "ui_rig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using Values = QMap<QString, QString>;

class TestUiPanel : public QObject
{
    Q_OBJECT
private slots:
    void selection_data();
    void selection();
    void renameThroughTheMenu();
    void menuCommands();
    void dropQueuesWithoutSelecting();
    void addUpToNine();
    void whileSending();
};

void TestUiPanel::selection_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<QString>("description");
    QTest::newRow("opens") << "ttyFAKE1" << false << "Mode: AUTO\n\nttyFAKE1\n19200 N 8 2\nRTS/CTS";
    QTest::newRow("missing") << "none" << false << MachinePanel::missingText("none");
    QTest::newRow("unavailable") << "ttyFAKE1" << true << MachinePanel::unavailableText("ttyFAKE1");
}

void TestUiPanel::selection()
{
    QFETCH(QString, port);
    QFETCH(bool, openFails);
    QFETCH(QString, description);
    UiRig<> r(iniFile(
        {"", "MCPORT=" + port + "|MCDRATE=19200|MCDBITS=8|MCPARITY=None|MCSBITS=2|MCFLOW=2"}));
    r.port.openFails = openFails;
    r.click("imgMc(2)");
    QCOMPARE(r.shop.selected(), 2);
    QVERIFY(r.find("frmMc(2)")->property("selected").toBool());
    QVERIFY(!r.find("frmMc(1)")->property("selected").toBool());
    QVERIFY(r.shows("txBuffer(2)") && !r.shows("txBuffer(1)") && r.shows("txQueue(2)"));
    QCOMPARE(r.find<QLabel>("lblmcname")->text(), QStringLiteral("MC 2"));
    auto *desc = r.find<QLabel>("lbldesc");
    QCOMPARE(desc->text(), description);
    const bool marked = description.contains("ATTENTION");
    QCOMPARE(desc->palette().color(QPalette::WindowText),
             marked ? QColor(Qt::red) : QColor(Qt::black));
    QCOMPARE(r.shows("imgBadPort"), marked);
    QCOMPARE(r.port.isOpen(), !marked);
    if (!marked)
        QCOMPARE(r.port.settings(), (LineSettings{19200, 8, Parity::None, 2, Handshake::RtsCts}));
}

void TestUiPanel::renameThroughTheMenu()
{
    UiRig<> r(iniFile({"", ""}));
    r.platform.menuChoices << "Rename";
    r.click("imgMc(2)", Qt::RightButton);
    QCOMPARE(r.platform.menus.last(), MachineMenu::entries());
    auto *field = r.find<QLineEdit>("txtRename");
    QVERIFY(r.shows("txtRename"));
    QCOMPARE(field->selectedText(), QStringLiteral("MC 2"));
    QTest::keyClicks(field, "Mill #2");
    QCOMPARE(field->text(), QStringLiteral("Mill 2")); // the # is swallowed
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(!r.shows("txtRename"));
    QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), QStringLiteral("Mill 2"));
    QCOMPARE(r.file(), iniFile({"", "MCNAME=Mill 2"}));

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

void TestUiPanel::menuCommands()
{
    UiRig<> r(iniFile({"", "", "MCNAME=Lathe"}));
    CodeWindows &code = r.window.codeWindows();
    // Open: queued and shown, the file-name field left alone.
    r.click("imgMc(3)");
    r.platform.menuChoices << "Open";
    r.platform.openNames << r.write("lathe.nc", "G00\r\nM30\r\n");
    r.click("imgMenu(2)");
    QCOMPARE(r.shop.queue(3).paths(), QStringList{r.dir.filePath("lathe.nc")});
    QCOMPARE(code.text(3), QByteArray("G00\nM30\n"));
    QCOMPARE(r.find<QLineEdit>("txFileName(3)")->text(), QString());

    // Delete machine 2: the lathe and its program move to slot 2.
    r.click("imgMc(2)");
    r.platform.menuChoices << "Clear"
                           << "Delete";
    r.platform.answers << QMessageBox::Cancel << QMessageBox::Yes;
    r.click("imgMenu(2)");
    QCOMPARE(r.platform.messages.last().title, QStringLiteral("Clear ?"));
    r.click("imgMenu(2)");
    QCOMPARE(r.platform.lastMessage(),
             QStringLiteral("Are you sure you wish to delete the selected Machine?"));
    QCOMPARE(r.shop.selected(), 0);
    QVERIFY(r.shows("frmMc(2)") && !r.shows("frmMc(3)"));
    QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), QStringLiteral("Lathe"));
    QCOMPARE(code.text(2), QByteArray("G00\nM30\n"));
    QCOMPARE(code.text(3), QByteArray());
    QCOMPARE(r.shop.queue(2).count(), 1);

    // Clear, answered OK, empties the queue and the code window.
    r.click("imgMc(2)");
    r.platform.menuChoices << "Clear";
    r.click("imgMenu(2)");
    QCOMPARE(code.text(2), QByteArray());
    QCOMPARE(r.shop.queue(2).count(), 0);
}

void TestUiPanel::dropQueuesWithoutSelecting()
{
    UiRig<> r(iniFile({"", "", "", ""}));
    r.click("imgMc(2)");
    const QStringList files = {r.write("a.nc", "A1\r"), r.write("b.nc", "B1\r"),
                               r.write("c.nc", "C\r")};
    emit r.find<Canvas>("imgMc(4)")->filesDropped(files);
    QCOMPARE(r.shop.queue(4).paths(), files);
    QCOMPARE(r.window.codeWindows().text(4), QByteArray("A1\n"));
    QCOMPARE(r.shop.queue(4).loadedName(), files[0]);
    QCOMPARE(r.shop.selected(), 2);
    // A window that holds a program keeps it.
    emit r.find<Canvas>("imgMc(4)")->filesDropped({files[2]});
    QCOMPARE(r.window.codeWindows().text(4), QByteArray("A1\n"));
    QCOMPARE(r.shop.queue(4).count(), 4);
}

void TestUiPanel::addUpToNine()
{
    UiRig<> r(iniFile({"", "", "", "", "", "", "", ""}));
    r.click("BevelButton1");
    QVERIFY(r.shows("frmMc(9)"));
    QCOMPARE(r.find<QLabel>("lblmc(9)")->text(), QStringLiteral("NEW"));
    QCOMPARE(r.find<QLabel>("lbldesc")->text(), QString());
    r.click("BevelButton1");
    QCOMPARE(r.platform.lastMessage(), QStringLiteral("The maximum number of machine icons has "
                                                      "been reached in this version."));
}

void TestUiPanel::whileSending()
{
    UiRig<> r(iniFile({"", ""}));
    r.window.codeWindows().setProgram(1, "G00\nM30\n");
    r.port.toWrite = 1; // the port never drains: the send waits
    r.click("cmdTX");
    QVERIFY(r.link.sending());
    r.click("imgMc(2)", Qt::RightButton);
    QCOMPARE(r.shop.selected(), 1);
    QCOMPARE(r.platform.menus.last(), QStringList{"Receive"});
    r.click("BevelButton1");
    QCOMPARE(r.platform.beeps, 1);
    QVERIFY(r.find<QPlainTextEdit>("txBuffer(1)")->isReadOnly());
}

QTEST_MAIN(TestUiPanel)
#include "tst_ui_panel.moc"
