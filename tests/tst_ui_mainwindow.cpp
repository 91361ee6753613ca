// The main window: what it shows at start, every control's names, the
// toolbar and the close box while the link is busy, and the messages the
// window itself gives.

#include "ui_rig.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>

class TestUiMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void startUp_data();
    void startUp();
    void toolbarAndCloseBoxWhileBusy();
    void failedWriteIsReported();
};

void TestUiMainWindow::startUp_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("machines");
    QTest::newRow("empty folder") << QByteArray() << 0;
    QTest::newRow("two machines") << iniFile({"", "MCPORT=ttyFAKE1"}) << 2;
}

void TestUiMainWindow::startUp()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, machines);
    UiRig<> r(ini);
    QVERIFY(QFile::exists(r.config.filePath()));
    if (ini.isNull()) QCOMPARE(r.file(), QByteArray());

    // Every control of the window, by the name it has always had.
    QStringList names = {"Rectangle1", "GroupBox1", "GroupBox2",  "Canvas1",    "cmdStop",
                         "chkTXPause", "lbldesc",   "txtRename",  "Separator1", "PBar1",
                         "txtPcent",   "cmdTX",     "mnuReceive", "imgBadPort", "BevelButton1",
                         "lblmcname",  "vText1",    "cvsLinePtr"};
    for (int i = 0; i <= 9; ++i)
        names << member("txQueue", i) << member("txFileName", i) << member("lblmc", i)
              << member("txBuffer", i);
    for (int i = 1; i <= 9; ++i)
        names << member("frmMc", i) << member("imgMc", i);
    for (int i = 0; i <= 14; ++i)
        names << member("List1", i);
    for (int i = 1; i <= 5; ++i)
        names << member("imgMenu", i);
    for (int i = 1; i <= 4; ++i)
        names << member("lblMenu", i);
    for (int i = 2; i <= 5; ++i)
        names << member("Separator", i);
    for (const QString &name : names) {
        QWidget *w = r.find(name);
        QVERIFY2(w, qPrintable(name));
        if (!name.startsWith("frmMc") && !name.startsWith("imgMc") && !name.startsWith("lblmc"))
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name));
    }
    QCOMPARE(r.find<QLabel>("lblmc(0)")->text(), QStringLiteral("Add Machine"));
    QVERIFY(r.shows("BevelButton1"));
    for (int i = 1; i <= 9; ++i)
        QCOMPARE(r.shows(member("frmMc", i)), i <= machines);
    QCOMPARE(r.find<QLabel>("lblmc(2)")->text(), machines ? QStringLiteral("MC 2") : QString());
    QVERIFY(!r.shows("cmdStop") && !r.shows("chkTXPause") && r.shows("cmdTX"));

    QCOMPARE(r.shop.selected(), machines ? 1 : 0);
    QCOMPARE(r.port.isOpen(), machines > 0);
    for (const char *control : {"txBuffer(1)", "txQueue(1)", "txFileName(1)"})
        QCOMPARE(r.shows(QLatin1String(control)), machines > 0);
    QCOMPARE(r.find("frmMc(1)")->property("selected").toBool(), machines > 0);
    if (machines) {
        QCOMPARE(r.port.name(), QStringLiteral("ttyFAKE0"));
        QCOMPARE(r.find<QLabel>("lbldesc")->text(),
                 QStringLiteral("Mode: AUTO\n\nttyFAKE0\n9600 E 7 1\nXon/Xoff"));
    }
}

void TestUiMainWindow::toolbarAndCloseBoxWhileBusy()
{
    UiRig<> r(iniFile({""}));
    QSignalSpy quit(&r.window, &MainWindow::quitRequested);
    r.click("mnuReceive");
    QCOMPARE(r.link.state(), LinkState::Receiving);
    QVERIFY(r.window.rxEdit());
    for (const char *entry : {"imgMenu(5)", "lblMenu(3)", "imgMenu(2)", "lblMenu(1)"})
        r.click(QLatin1String(entry));
    QVERIFY(r.platform.messages.isEmpty() && r.platform.menus.isEmpty() && quit.isEmpty());
    QVERIFY(!r.window.close());
    QCOMPARE(r.platform.beeps, 1);

    r.window.rxEdit()->close();
    QCOMPARE(r.link.state(), LinkState::Idle);
    r.click("imgMenu(5)");
    QCOMPARE(r.platform.lastMessage(), QStringLiteral("This is Tavrin version 1.0.0 for Linux"));
    r.shop.reload(); // nothing selected
    r.click("lblMenu(3)");
    QCOMPARE(r.platform.lastMessage(),
             QStringLiteral("You need to select a Machine icon before going to Setup"));
}

void TestUiMainWindow::failedWriteIsReported()
{
    UiRig<> r(iniFile({""}));
    // A folder where the file should be: it cannot be replaced.
    QVERIFY(QFile::remove(r.config.filePath()) && QDir(r.dir.path()).mkdir("zoZad.ini"));
    r.click("BevelButton1");
    QVERIFY(r.platform.lastMessage().startsWith(
        QStringLiteral("The machine settings could not be saved to \"%1\": ")
            .arg(QDir::toNativeSeparators(r.config.filePath()))));
    QVERIFY(r.platform.lastMessage().endsWith(QStringLiteral("\nThe file was left as it was.")));
    QCOMPARE(r.platform.messages.last().title, QStringLiteral("Save Settings"));
}

QTEST_MAIN(TestUiMainWindow)
#include "tst_ui_mainwindow.moc"
