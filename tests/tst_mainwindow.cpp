// The main window: start-up (and that every control can be found by name and
// by assistive technology), the toolbar and close box with their busy rule,
// the About text, the logo panel, and the place of zoZad.ini.

#include "app/canvas.h"
#include "app/frmhalvec.h"
#include "config/module1.h"
#include "fakeplatform.h"
#include "fakeserial.h"
#include "rxedit/rxedit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <memory>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

QByteArray machineSection(int index, const char *name)
{
    return QStringLiteral("[MC%1]\nMCNAME=%2\nMCPORT=ttyFAKE0\nMCFLOW=1\nMCDRATE=9600\nMCDBITS=7\n"
                          "MCSBITS=1\nMCEOB=CRLF\n\n")
        .arg(index)
        .arg(QLatin1String(name))
        .toUtf8();
}

// A main window on fakes, started in a folder of its own.
struct Fixture {
    QTemporaryDir dir;
    Module1 m;
    FakePlatform p;
    FakeSerial s;
    FakePortList ports{QStringList{"ttyFAKE0"}};
    std::unique_ptr<frmHalvec> w;

    explicit Fixture(const QByteArray &ini = QByteArray())
    {
        m.AppPath = dir.path() + QLatin1Char('/');
        if (!ini.isEmpty()) {
            QFile f(dir.filePath(QStringLiteral("zoZad.ini")));
            if (f.open(QIODevice::WriteOnly)) f.write(ini);
        }
        w = std::make_unique<frmHalvec>(m, p, s, ports);
    }
    bool open()
    {
        const bool ok = w->Event_Open();
        w->show();
        return ok;
    }
    QString iniPath() const { return dir.filePath(QStringLiteral("zoZad.ini")); }
};

QWidget *visibleSetup()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("frmSetup") && top->isVisible()) return top;
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // An empty folder gets an empty file and only the add-machine button; an
    // existing file is left as it is, machine 1 selected and its port opened.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("machines");
        QTest::newRow("empty folder") << QByteArray() << 0;
        QTest::newRow("two machines")
            << machineSection(1, "Lathe") + machineSection(2, "Mill") + "\n"
            << 2;
    }
    void startUp()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, machines);
        Fixture f(ini);
        QVERIFY(f.open());
        QCOMPARE(f.m.iniFile, f.iniPath());
        QCOMPARE(readAll(f.iniPath()), ini);
        QCOMPARE(f.m.Last_MC, machines);
        QCOMPARE(int(f.m.SelectedMC), machines ? 1 : 0);
        QCOMPARE(f.s.isOpen(), machines > 0);
        QVERIFY(f.p.messages.isEmpty());

        frmHalvec &w = *f.w;
        QVERIFY(w.BevelButton1->isVisible());
        QVERIFY(w.lblmc[0]->isVisible());
        QCOMPARE(w.lblmc[0]->text(), QStringLiteral("Add Machine"));
        for (int i = 0; i <= Module1::Max_MC; ++i) {
            if (i) QCOMPARE(w.frmMc[i]->isVisible(), i <= machines);
            QCOMPARE(w.txBuffer[i]->isVisible(), machines && i == 1);
            QCOMPARE(w.txQueue[i]->isVisible(), machines && i == 1);
        }
        QVERIFY(!w.txFileName[0]->isVisible());
        QVERIFY(!w.cmdStop->isVisible());
        QVERIFY(!w.chkTXPause->isVisible());
        QVERIFY(!w.chkTXPause->isEnabled());
        QVERIFY(w.cmdTX->isVisible());

        // Every control has a name and a name for assistive technology;
        // machine icons carry the machine's name, unused slots none.
        const QSet<QWidget *> containers = {w.Rectangle1, w.GroupBox1, w.GroupBox2, w.Canvas1};
        static const QRegularExpression slot(QStringLiteral("^(frmMc|imgMc|lblmc)\\("));
        std::function<void(QWidget *)> walk = [&](QWidget *parent) {
            for (auto *c : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                const QString name = c->objectName();
                if (c->isWindow()) continue;
                QVERIFY2(!name.isEmpty() && !name.startsWith(QLatin1String("qt_")),
                         c->metaObject()->className());
                if (!name.contains(slot) || c->isVisibleTo(&w))
                    QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(name));
                if (containers.contains(c) || name.startsWith(QLatin1String("frmMc("))) walk(c);
            }
        };
        walk(&w);
        for (int i = 1; i <= machines; ++i)
            QCOMPARE(w.imgMc[i]->accessibleName(), i == 1 ? "Lathe" : "Mill");

        // Setup needs a selected machine.
        QTest::mouseClick(w.lblMenu[3], Qt::LeftButton);
        QCOMPARE(f.p.lastMessage(),
                 machines
                     ? QString()
                     : QStringLiteral("You need to select a Machine icon before going to Setup"));
        QCOMPARE(visibleSetup() != nullptr, machines > 0);
        if (visibleSetup()) visibleSetup()->close();
    }

    // zoZad.ini lives beside the program, or in the user's configuration
    // folder where that cannot be written; a failed write is shown with the
    // file's name, and without a usable place the program cannot go on.
    void configLocation()
    {
        Fixture f;
        QCOMPARE(frmHalvec::configFolder(f.dir.path()), f.dir.path() + QLatin1Char('/'));
        const QString user = frmHalvec::configFolder(f.dir.filePath(QStringLiteral("nowhere")));
        QCOMPARE(user, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                           QLatin1Char('/'));
        QVERIFY(QFileInfo(user).isDir());

        QFile blocker(f.dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        f.m.iniFile = blocker.fileName() + QStringLiteral("/zoZad.ini");
        QVERIFY(!f.m.WriteIni(0));
        QCOMPARE(f.p.messages.size(), 1);
        QVERIFY2(f.p.lastMessage().contains(QDir::toNativeSeparators(f.m.iniFile)),
                 qPrintable(f.p.lastMessage()));
        QCOMPARE(f.p.messages.last().icon, Platform::Icon::Warning);
        f.m.AppPath = blocker.fileName() + QLatin1Char('/'); // a file taken for a folder
        QSignalSpy quit(f.w.get(), &frmHalvec::quitRequested);
        QVERIFY(!f.w->Event_Open());
        QCOMPARE(f.p.messages.size(), 2);
        QCOMPARE(f.p.lastMessage(), QStringLiteral("Can't continue - Nil folderItem"));
        QCOMPARE(quit.count(), 1);
        QCOMPARE(f.m.Last_MC, 0);
    }

    // Every toolbar entry, by icon and by label, and the close box do
    // nothing while sending or receiving.
    void toolbarIgnoredWhileBusy_data()
    {
        QTest::addColumn<int>("portState");
        QTest::addColumn<bool>("onLabel");
        for (int state : {0, 1, 2})
            for (bool onLabel : {false, true})
                QTest::addRow("state %d, %s", state, onLabel ? "label" : "icon")
                    << state << onLabel;
    }
    void toolbarIgnoredWhileBusy()
    {
        QFETCH(int, portState);
        QFETCH(bool, onLabel);
        Fixture f(machineSection(1, "Lathe") + "\n");
        QVERIFY(f.open());
        frmHalvec &w = *f.w;
        QSignalSpy quit(&w, &frmHalvec::quitRequested);
        w.m.PortState = portState;
        const bool idle = portState == 0;
        auto click = [&](int entry) {
            QTest::mouseClick(onLabel ? w.lblMenu[entry] : w.imgMenu[entry], Qt::LeftButton);
        };

        click(2); // Menu: the machine context menu
        QCOMPARE(f.p.menus.size(), idle ? 1 : 0);
        click(3); // Setup: not modal
        QCOMPARE(visibleSetup() != nullptr, idle);
        if (QWidget *setup = visibleSetup()) {
            QVERIFY(!setup->isModal());
            setup->close();
        }
        click(4); // Editor: the RX-Edit window, not modal
        QCOMPARE(w.rxEdit(false) != nullptr && w.rxEdit(false)->isVisible(), idle);
        if (w.rxEdit(false)) {
            QCOMPARE(w.rxEdit(false)->windowModality(), Qt::NonModal);
            w.m.PortState = portState; // closing RX-Edit may reset the link state
        }
        // About has no label; its text is built when clicked and names the platform.
        if (!onLabel) {
            QVERIFY(!w.vText1->text().isEmpty());
            w.vText1->setText(QStringLiteral("2.5b"));
            QTest::mouseClick(w.imgMenu[5], Qt::LeftButton);
            QCOMPARE(f.p.messages.size(), idle ? 1 : 0);
            if (idle)
                QCOMPARE(f.p.lastMessage(),
                         QStringLiteral("This is Tavrin version 2.5b for Linux"));
        }
        click(1); // Quit
        QCOMPARE(quit.count(), idle ? 1 : 0);
        QCOMPARE(w.close(), idle);
        QCOMPARE(quit.count(), idle ? 2 : 0);
        QCOMPARE(w.isVisible(), !idle);
        if (w.rxEdit(false)) w.rxEdit(false)->hide();
        w.m.PortState = 0;
    }

    // Dragging files over the logo and dropping them there beeps and does
    // nothing else.
    void logoDropBeeps()
    {
        Fixture f(machineSection(1, "Lathe") + "\n");
        QVERIFY(f.open());
        QFile file(f.dir.filePath(QStringLiteral("O1000.nc")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("%\nO1000\nG0 X0\n%\n") > 0);
        file.close();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file.fileName())});
        Canvas *logo = f.w->Canvas1;
        QVERIFY(logo->acceptDrops());
        const QPoint at = logo->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(f.p.beeps, 1);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &drop);
        QTest::mouseClick(logo, Qt::LeftButton);
        QCOMPARE(f.p.beeps, 2);
        QVERIFY(f.p.messages.isEmpty());
        for (int i = 0; i <= Module1::Max_MC; ++i) {
            QCOMPARE(f.w->txQueue[i]->count(), 0);
            QVERIFY(f.w->txBuffer[i]->document()->isEmpty());
        }
    }

    // The add-machine button writes the new machine exactly as the file's
    // format has it, on the first port the platform lists.
    void addMachineWritesDefaults()
    {
        Fixture f;
        f.ports.list = {QStringLiteral("ttyS0"), QStringLiteral("ttyS1")};
        QVERIFY(f.open());
        QTest::mouseClick(f.w->BevelButton1, Qt::LeftButton);
        QTRY_COMPARE(f.m.Last_MC, 1);
        QCOMPARE(readAll(f.iniPath()), readAll(QStringLiteral(TAVRIN_TEST_DATA "/config_add.ini")));
    }

    // The code window area grows with the window; the panel above it stays.
    void growingWindow()
    {
        Fixture f;
        QVERIFY(f.open());
        frmHalvec &w = *f.w;
        const QRect code = w.txBuffer[1]->geometry();
        const QRect bar = w.GroupBox1->geometry();
        const QRect add = w.BevelButton1->geometry();
        // Markers that other parts place stay where they were put.
        w.imgBadPort->move(300, 60);
        w.resize(988, 717);
        QCOMPARE(w.imgBadPort->pos(), QPoint(300, 60));
        QCOMPARE(w.txBuffer[1]->size(), code.size() + QSize(300, 200));
        QCOMPARE(w.GroupBox1->geometry(), bar.adjusted(0, 200, 300, 200));
        QCOMPARE(w.BevelButton1->geometry(), add);
        QCOMPARE(w.mnuReceive->geometry().right(), w.width() - 9);
        // Nothing of the working area overlaps the transmit bar.
        QVERIFY(w.GroupBox2->geometry().bottom() < w.GroupBox1->y());
        QVERIFY(w.txQueue[1]->geometry().bottom() < w.GroupBox1->y());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
