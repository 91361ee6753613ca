// The main window: start-up, the toolbar and its busy rule, the About text,
// the logo panel, the close box, the place of zoZad.ini, and that every
// control can be found by name and by assistive technology.

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
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

QByteArray machineSection(int index, const QString &name)
{
    QByteArray out = QStringLiteral("[MC%1]\nMCNAME=%2\n").arg(index).arg(name).toUtf8();
    out += "MCPORT=ttyFAKE0\nMCMODE=AUTO\nMCCOMPAR=Unused\nMCFOLDER=Unused\nMCFLOW=1\n"
           "MCCRLF=UNUSED\nMCBLKTIC=10ms\nMCBLKNUL=\nMCPREFIX=\nMCEXTENS=\nMCDRATE=9600\n"
           "MCDBITS=7\nMCPARITY=Even\nMCSBITS=1\nMCEOB=CRLF\nMCSOT=\nMCEOT=\nMCTXSTEP=\n"
           "MCSTRIPEOB=\n\n";
    return out;
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

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void firstStartInEmptyFolder()
    {
        Fixture f;
        QVERIFY(!QFile::exists(f.iniPath()));
        QVERIFY(f.open());
        QCOMPARE(f.m.iniFile, f.iniPath());
        QVERIFY(QFile::exists(f.iniPath()));
        QCOMPARE(QFileInfo(f.iniPath()).size(), 0);

        frmHalvec &w = *f.w;
        QVERIFY(w.BevelButton1->isVisible());
        QVERIFY(w.lblmc[0]->isVisible());
        QCOMPARE(w.lblmc[0]->text(), QStringLiteral("Add Machine"));
        for (int i = 1; i <= Module1::Max_MC; ++i) {
            QVERIFY(!w.frmMc[i]->isVisible());
            QVERIFY(!w.lblmc[i]->isVisible());
            QVERIFY(!w.txBuffer[i]->isVisible());
            QVERIFY(!w.txQueue[i]->isVisible());
        }
        QVERIFY(!w.txBuffer[0]->isVisible());
        QVERIFY(!w.txQueue[0]->isVisible());
        QVERIFY(!w.txFileName[0]->isVisible());
        QVERIFY(!w.cmdStop->isVisible());
        QVERIFY(!w.chkTXPause->isVisible());
        QVERIFY(!w.chkTXPause->isEnabled());
        QVERIFY(w.cmdTX->isVisible());
        QCOMPARE(w.cmdTX->text(), QStringLiteral("Send"));
        QCOMPARE(w.m.Last_MC, 0);
        QCOMPARE(int(w.m.SelectedMC), 0);
        QVERIFY(!f.s.isOpen());
        QVERIFY(!f.s.log.contains(QStringLiteral("Open")));
        QVERIFY(f.p.messages.isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("  Halvec"));
        QCOMPARE(w.size(), QSize(688, 517));
    }

    // An existing file is left as it is; machine 1 is selected and its port
    // opened.
    void startWithMachines()
    {
        const QByteArray ini = machineSection(1, "Lathe") + machineSection(2, "Mill") + "\n";
        Fixture f(ini);
        QVERIFY(f.open());
        QCOMPARE(readAll(f.iniPath()), ini);
        QCOMPARE(f.m.Last_MC, 2);
        QCOMPARE(int(f.m.SelectedMC), 1);
        QVERIFY(f.s.isOpen());
        QVERIFY(f.w->frmMc[1]->isVisible());
        QVERIFY(f.w->frmMc[2]->isVisible());
        QVERIFY(!f.w->frmMc[3]->isVisible());
        QVERIFY(f.w->txBuffer[1]->isVisible());
        QVERIFY(!f.w->txBuffer[2]->isVisible());
    }

    // Without a usable place for the file the program cannot go on.
    void unusableLocation()
    {
        Fixture f;
        QFile blocker(f.dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        f.m.AppPath = blocker.fileName() + QLatin1Char('/'); // a file taken for a folder
        QSignalSpy quit(f.w.get(), &frmHalvec::quitRequested);
        QVERIFY(!f.w->Event_Open());
        QCOMPARE(f.p.lastMessage(), QStringLiteral("Can't continue - Nil folderItem"));
        QCOMPARE(quit.count(), 1);
        QCOMPARE(f.m.Last_MC, 0);
    }

    void configFolder()
    {
        QTemporaryDir dir;
        QCOMPARE(frmHalvec::configFolder(dir.path()), dir.path() + QLatin1Char('/'));
        // A folder that cannot be written (here: one that is not there).
        const QString user = frmHalvec::configFolder(dir.filePath(QStringLiteral("nowhere")));
        QCOMPARE(user, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                           QLatin1Char('/'));
        QVERIFY(QFileInfo(user).isDir());
    }

    void toolbarIgnoredWhileBusy_data()
    {
        QTest::addColumn<int>("portState");
        QTest::addColumn<bool>("onLabel");
        QTest::newRow("idle, icon") << 0 << false;
        QTest::newRow("idle, label") << 0 << true;
        QTest::newRow("sending, icon") << 1 << false;
        QTest::newRow("sending, label") << 1 << true;
        QTest::newRow("receiving, icon") << 2 << false;
        QTest::newRow("receiving, label") << 2 << true;
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

        // Menu: the machine context menu.
        QTest::mouseClick(onLabel ? w.lblMenu[2] : w.imgMenu[2], Qt::LeftButton);
        QCOMPARE(f.p.menus.size(), idle ? 1 : 0);
        // Setup: the setup dialog for the selected machine, not modal.
        QTest::mouseClick(onLabel ? w.lblMenu[3] : w.imgMenu[3], Qt::LeftButton);
        QDialog *setup = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("frmSetup") && top->isVisible())
                setup = qobject_cast<QDialog *>(top);
        QCOMPARE(setup != nullptr, idle);
        if (setup) {
            QVERIFY(!setup->isModal());
            setup->close();
        }
        // Editor: the RX-Edit window, not modal.
        QTest::mouseClick(onLabel ? w.lblMenu[4] : w.imgMenu[4], Qt::LeftButton);
        QCOMPARE(w.rxEdit(false) != nullptr && w.rxEdit(false)->isVisible(), idle);
        if (w.rxEdit(false)) {
            QCOMPARE(w.rxEdit(false)->windowModality(), Qt::NonModal);
            w.m.PortState = portState; // closing RX-Edit may reset the link state
        }
        // About has no label.
        if (!onLabel) {
            const int before = f.p.messages.size();
            QTest::mouseClick(w.imgMenu[5], Qt::LeftButton);
            QCOMPARE(f.p.messages.size(), before + (idle ? 1 : 0));
        }
        // Quit.
        QTest::mouseClick(onLabel ? w.lblMenu[1] : w.imgMenu[1], Qt::LeftButton);
        QCOMPARE(quit.count(), idle ? 1 : 0);
        if (w.rxEdit(false)) w.rxEdit(false)->hide();
        w.m.PortState = 0;
    }

    void aboutText()
    {
        Fixture f;
        QVERIFY(f.open());
        QVERIFY(!f.w->vText1->text().isEmpty());
        QTest::mouseClick(f.w->imgMenu[5], Qt::LeftButton);
        QCOMPARE(f.p.lastMessage(),
                 QStringLiteral("This is Tavrin version ") + f.w->vText1->text() + " for Linux");
        // Built when clicked, from the label as it is then.
        f.w->vText1->setText(QStringLiteral("2.5b"));
        QTest::mouseClick(f.w->imgMenu[5], Qt::LeftButton);
        QCOMPARE(f.p.lastMessage(), QStringLiteral("This is Tavrin version 2.5b for Linux"));
    }

    void setupWithoutMachine()
    {
        Fixture f;
        QVERIFY(f.open());
        QTest::mouseClick(f.w->lblMenu[3], Qt::LeftButton);
        QCOMPARE(f.p.messages.size(), 1);
        QCOMPARE(f.p.lastMessage(),
                 QStringLiteral("You need to select a Machine icon before going to Setup"));
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY(top->objectName() != QLatin1String("frmSetup") || !top->isVisible());
    }

    void unknownEntryDoesNothing()
    {
        Fixture f;
        QVERIFY(f.open());
        QSignalSpy quit(f.w.get(), &frmHalvec::quitRequested);
        f.w->MenuClicked(0);
        f.w->MenuClicked(6);
        QVERIFY(f.p.messages.isEmpty());
        QCOMPARE(quit.count(), 0);
    }

    void closeBox()
    {
        Fixture f;
        QVERIFY(f.open());
        QSignalSpy quit(f.w.get(), &frmHalvec::quitRequested);
        // Refused like Quit while sending or receiving.
        f.m.PortState = 1;
        QVERIFY(!f.w->close());
        QCOMPARE(quit.count(), 0);
        QVERIFY(f.w->isVisible());
        f.m.PortState = 0;
        QVERIFY(f.w->close());
        QCOMPARE(quit.count(), 1);
    }

    // Dragging files over the logo and dropping them there beeps and does
    // nothing else.
    void logoDropBeeps()
    {
        Fixture f(machineSection(1, "Lathe") + "\n");
        QVERIFY(f.open());
        const QByteArray before = readAll(f.iniPath());
        QTemporaryDir other;
        const QString program = other.filePath(QStringLiteral("O1000.nc"));
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("%\nO1000\nG0 X0\n%\n");
        file.close();

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(program)});
        Canvas *logo = f.w->Canvas1;
        QVERIFY(logo->acceptDrops());
        const QPoint at = logo->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(f.p.beeps, 1);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &drop);
        QCOMPARE(f.p.beeps, 2);

        QTest::mouseClick(logo, Qt::LeftButton);
        QCOMPARE(f.p.beeps, 2);
        QVERIFY(f.p.messages.isEmpty());
        for (int i = 0; i <= Module1::Max_MC; ++i) {
            QCOMPARE(f.w->txQueue[i]->count(), 0);
            QVERIFY(f.w->txBuffer[i]->document()->isEmpty());
        }
        QCOMPARE(readAll(f.iniPath()), before);
    }

    // A configuration that cannot be saved is reported with the file's name
    // and the reason; the old file stays.
    void failedWriteIsShown()
    {
        const QByteArray ini = machineSection(1, "Lathe") + "\n";
        Fixture f(ini);
        QVERIFY(f.open());
        const QString bad = f.iniPath() + QStringLiteral("/zoZad.ini");
        f.m.iniFile = bad;
        QVERIFY(!f.m.WriteIni(0));
        QCOMPARE(f.p.messages.size(), 1);
        QVERIFY2(f.p.lastMessage().contains(QDir::toNativeSeparators(bad)),
                 qPrintable(f.p.lastMessage()));
        QCOMPARE(f.p.messages.last().icon, Platform::Icon::Warning);
        QCOMPARE(readAll(f.iniPath()), ini);
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

    // Every control can be found by its name and carries a name for
    // assistive technology; machine icons carry the machine's name.
    void controlsAreNamed()
    {
        Fixture f(machineSection(1, "Lathe") + machineSection(2, "Mill") + "\n");
        QVERIFY(f.open());
        frmHalvec &w = *f.w;
        const QSet<QWidget *> containers = {w.Rectangle1, w.GroupBox1, w.GroupBox2, w.Canvas1};
        QStringList names;
        std::function<void(QWidget *)> walk = [&](QWidget *parent) {
            for (QObject *o : parent->children()) {
                auto *c = qobject_cast<QWidget *>(o);
                if (!c || c->isWindow()) continue;
                QVERIFY2(!c->objectName().isEmpty(), c->metaObject()->className());
                QVERIFY2(!c->objectName().startsWith(QLatin1String("qt_")),
                         qPrintable(c->objectName()));
                // An unused machine slot has no machine to be named after.
                const bool slot = c->objectName().startsWith(QLatin1String("frmMc(")) ||
                                  c->objectName().startsWith(QLatin1String("imgMc(")) ||
                                  c->objectName().startsWith(QLatin1String("lblmc("));
                if (!slot || c->isVisibleTo(&w))
                    QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
                names << c->objectName();
                if (containers.contains(c) || c->objectName().startsWith(QLatin1String("frmMc(")))
                    walk(c);
            }
        };
        walk(&w);
        if (QTest::currentTestFailed()) return;
        for (const char *n :
             {"Rectangle1", "GroupBox1",  "GroupBox2",     "Canvas1",      "cmdStop",
              "chkTXPause", "txQueue(9)", "txFileName(0)", "lbldesc",      "lblmc(0)",
              "txtRename",  "List1(14)",  "Separator1",    "txBuffer(5)",  "PBar1",
              "txtPcent",   "cmdTX",      "mnuReceive",    "Separator(2)", "Separator(5)",
              "frmMc(9)",   "imgBadPort", "imgMc(1)",      "BevelButton1", "lblmcname",
              "imgMenu(1)", "imgMenu(5)", "lblMenu(4)",    "vText1",       "cvsLinePtr"})
            QVERIFY2(names.contains(QLatin1String(n)), n);
        QVERIFY(w.findChild<QTimer *>(QStringLiteral("tmrRX_Timeout")));
        QCOMPARE(w.imgMc[1]->accessibleName(), QStringLiteral("Lathe"));
        QCOMPARE(w.imgMc[2]->accessibleName(), QStringLiteral("Mill"));
        QCOMPARE(w.BevelButton1->accessibleName(), QStringLiteral("Add Machine"));
        QCOMPARE(w.imgMenu[5]->accessibleName(), QStringLiteral("About"));
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
        QCOMPARE(w.txBuffer[1]->width(), code.width() + 300);
        QCOMPARE(w.txBuffer[1]->height(), code.height() + 200);
        QCOMPARE(w.GroupBox1->width(), bar.width() + 300);
        QCOMPARE(w.GroupBox1->y(), bar.y() + 200);
        QCOMPARE(w.BevelButton1->geometry(), add);
        QCOMPARE(w.mnuReceive->geometry().right(), w.width() - 9);
        // Nothing of the working area overlaps the transmit bar.
        QVERIFY(w.GroupBox2->geometry().bottom() < w.GroupBox1->y());
        QVERIFY(w.txQueue[1]->geometry().bottom() < w.GroupBox1->y());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
