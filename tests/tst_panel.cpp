// The machine panel through the real widgets: selection and its frame,
// the description, clicks and context clicks, adding machines and the port
// warning marker.

#include "panel_fixture.h"

#include "app/canvas.h"
#include "panel/frmsetup.h"
#include "panel/machinepanel.h"
#include "panel/mccontextmenu.h"
#include "pty.h"
#include "serial/qtserial.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <termios.h>

namespace
{

const QColor grey(0x80, 0x80, 0x80);
const QColor white(0xFF, 0xFF, 0xFF);

// The colour the frame's border is painted in, top-left and bottom-right.
QPair<QColor, QColor> borderColours(QFrame *frame)
{
    const QImage img = frame->grab().toImage();
    return {img.pixelColor(0, 0), img.pixelColor(img.width() - 1, img.height() - 1)};
}

using Values = QMap<QString, QString>;

QColor textColour(QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestPanel : public QObject
{
    Q_OBJECT
private slots:
    void selection();
    void description_data();
    void description();
    void whileSendingPanelChangesNothing();
    void clickAppliesPendingRename();
    void addUpToNineMachines();
    void badPortMarker();
    void dropQueuesWithoutSelecting();
    void machineLifeOnPseudoTerminal();
};

void TestPanel::selection()
{
    PanelRig rig(machinesFile(3));
    frmHalvec &w = *rig.w;
    // At the start: machine 1.
    QCOMPARE(rig.m.Last_MC, 3);
    QCOMPARE(int(rig.m.SelectedMC), 1);
    for (int i = 1; i <= 9; ++i) {
        QCOMPARE(w.frmMc[i]->isHidden(), i > 3);
        QCOMPARE(w.lblmc[i]->isHidden(), i > 3);
        QCOMPARE(w.txBuffer[i]->isHidden(), i != 1);
        QCOMPARE(w.txQueue[i]->isHidden(), i != 1);
        QCOMPARE(w.txFileName[i]->isHidden(), i != 1);
    }
    QCOMPARE(w.lblmc[2]->text(), QStringLiteral("MC 2"));
    QCOMPARE(w.imgMc[2]->accessibleName(), QStringLiteral("MC 2"));
    QCOMPARE(w.lblmc[0]->text(), QStringLiteral("Add Machine"));
    QCOMPARE(borderColours(w.frmMc[1]), qMakePair(grey, grey));
    QCOMPARE(borderColours(w.frmMc[2]), qMakePair(white, white));
    QVERIFY(w.imgBadPort->isHidden());

    // A click, twice: the selected icon again closes (and opens) the port.
    for (int round = 0; round < 2; ++round) {
        rig.s.clearLog();
        QTest::mouseClick(w.imgMc[3], Qt::LeftButton);
        QCOMPARE(int(rig.m.SelectedMC), 3);
        QVERIFY(rig.s.log.contains(QStringLiteral("Close")));
    }
    QCOMPARE(borderColours(w.frmMc[3]), qMakePair(grey, grey));
    QCOMPARE(borderColours(w.frmMc[1]), qMakePair(white, white));
    QVERIFY(!w.txBuffer[3]->isHidden());
    QVERIFY(w.txBuffer[1]->isHidden());
    QCOMPARE(w.lblmcname->text(), QStringLiteral("MC 3"));
    QVERIFY(rig.p.menus.isEmpty());

    // A context click selects, then opens the menu.
    rig.p.menuChoices = {QString()};
    QTest::mouseClick(w.imgMc[2], Qt::RightButton);
    QCOMPARE(int(rig.m.SelectedMC), 2);
    QCOMPARE(rig.p.menus.size(), 1);
    QCOMPARE(rig.p.menus.first(), (QStringList{"Open", "Receive", "Clear", "-", "Rename", "Delete",
                                               "-", "Properties", "-", "Port Scan"}));
}

void TestPanel::description_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("expected");
    const Values fast{{"MCFLOW", "0"}, {"MCDBITS", "8"}, {"MCSBITS", "2"}, {"MCDRATE", "115200"}};
    QTest::newRow("xon") << Values{{"MCPORT", "none"}} << QString("none\n9600 E 7 1\nXon/Xoff");
    QTest::newRow("none 8N2") << fast << QString("ttyFAKE0\n115200 N 8 2\nNo Flow Control");
    QTest::newRow("rts") << Values{{"MCFLOW", "2"}} << QString("ttyFAKE0\n9600 E 7 1\nRTS/CTS");
    QTest::newRow("wait xon") << Values{{"MCFLOW", "3"}}
                              << QString("ttyFAKE0\n9600 E 7 1\nXon/Xoff (Wait-Xon)");
    QTest::newRow("wait any") << Values{{"MCFLOW", "4"}}
                              << QString("ttyFAKE0\n9600 E 7 1\nXon/Xoff (Wait-Any)");
    QTest::newRow("unknown flow") << Values{{"MCFLOW", "9"}}
                                  << QString("ttyFAKE0\n9600 E 7 1\nNo Flow Control");
}

void TestPanel::description()
{
    QFETCH(Values, values);
    QFETCH(QString, expected);
    PanelRig rig(machineSection(1, values) + '\n');
    // Shown again without opening the port, which may mark a missing one.
    rig.w->panel->ShowSelectedMC();
    QCOMPARE(rig.w->lbldesc->text(), "Mode: AUTO\n\n" + expected);
    QCOMPARE(textColour(rig.w->lbldesc), QColor(Qt::black));
    QCOMPARE(rig.w->lblmcname->text(), QStringLiteral("MC 1"));
}

void TestPanel::whileSendingPanelChangesNothing()
{
    PanelRig rig(machinesFile(3));
    frmHalvec &w = *rig.w;
    w.cmdStop->setVisible(true);
    const QByteArray before = rig.ini();
    rig.s.clearLog();
    QTest::mouseClick(w.imgMc[2], Qt::LeftButton);
    QCOMPARE(int(rig.m.SelectedMC), 1);
    QVERIFY(!rig.s.log.contains(QStringLiteral("Close")));
    QVERIFY(!w.txBuffer[1]->isHidden());
    QVERIFY(w.txBuffer[2]->isHidden());

    // Adding only beeps.
    QTest::mouseClick(w.BevelButton1, Qt::LeftButton);
    QCOMPARE(rig.m.Last_MC, 3);
    QCOMPARE(rig.ini(), before);
    QCOMPARE(rig.p.beeps, 1);

    // A context click offers the sending machine only "Receive"; even a
    // stale choice cannot reach a command that is not offered.
    w.txBuffer[1]->setPlainText(QStringLiteral("G01 X1"));
    rig.p.menuChoices = {QStringLiteral("Clear")};
    QTest::mouseClick(w.imgMc[2], Qt::RightButton);
    QCOMPARE(int(rig.m.SelectedMC), 1);
    QCOMPARE(rig.p.menus.size(), 1);
    QCOMPARE(rig.p.menus.first(), QStringList{QStringLiteral("Receive")});
    QVERIFY(rig.p.messages.isEmpty());
    QCOMPARE(w.txBuffer[1]->toPlainText(), QStringLiteral("G01 X1"));
    rig.p.menuChoices = {QStringLiteral("Receive")};
    QTest::mouseClick(w.imgMc[2], Qt::RightButton);
    QVERIFY(w.rxEdit(false) != nullptr);
}

void TestPanel::clickAppliesPendingRename()
{
    PanelRig rig(machinesFile(3));
    frmHalvec &w = *rig.w;
    w.contextMenu->ShowMCRename();
    QVERIFY(!w.txtRename->isHidden());
    QTest::keyClicks(w.txtRename, QStringLiteral("Lathe"));
    QTest::mouseClick(w.imgMc[2], Qt::LeftButton);
    QVERIFY(w.txtRename->isHidden());
    QCOMPARE(int(rig.m.SelectedMC), 2);
    QCOMPARE(w.lblmc[1]->text(), QStringLiteral("Lathe"));
    QVERIFY(rig.ini().startsWith("[MC1]\nMCNAME=Lathe\n"));

    // An emptied field is dropped: the name stays.
    w.contextMenu->ShowMCRename();
    QTest::keyClick(w.txtRename, Qt::Key_Backspace);
    QTest::mouseClick(w.imgMc[1], Qt::LeftButton);
    QVERIFY(w.txtRename->isHidden());
    QCOMPARE(rig.m.mc(2, MCNAME), QStringLiteral("MC 2"));
    QCOMPARE(int(rig.m.SelectedMC), 1);
}

void TestPanel::addUpToNineMachines()
{
    PanelRig rig(QByteArray{});
    frmHalvec &w = *rig.w;
    for (int n = 1; n <= 9; ++n) {
        QTest::mouseClick(w.BevelButton1, Qt::LeftButton);
        QCOMPARE(rig.m.Last_MC, n);
        QVERIFY(!w.frmMc[n]->isHidden());
        QCOMPARE(w.lblmc[n]->text(), QStringLiteral("NEW"));
        QCOMPARE(int(rig.m.SelectedMC), 0);
        QVERIFY(w.lbldesc->text().isEmpty());
    }
    QVERIFY(rig.p.messages.isEmpty());
    const QByteArray nine = rig.ini();
    QVERIFY(nine.contains("[MC9]\nMCNAME=NEW\nMCPORT=ttyFAKE0\n"));
    QVERIFY(nine.endsWith("MCSTRIPEOB=\n\n\n"));

    QTest::mouseClick(w.BevelButton1, Qt::LeftButton);
    QCOMPARE(rig.p.messages.size(), 1);
    QCOMPARE(rig.p.lastMessage(), QLatin1String(MachinePanel::maxMessage));
    QCOMPARE(rig.p.messages.first().title, QString());
    QCOMPARE(rig.m.Last_MC, 9);
    QCOMPARE(rig.ini(), nine);
    QVERIFY(!rig.m.AddingMC);

    // The guard inside AddNewMC has its own titled message.
    QVERIFY(!w.panel->AddNewMC());
    QCOMPARE(rig.p.messages.last().title, QStringLiteral("Maximum number of MC Icons"));
    QCOMPARE(rig.ini(), nine);
}

void TestPanel::badPortMarker()
{
    PanelRig rig(machinesFile(7));
    frmHalvec &w = *rig.w;
    w.panel->mcClick(6); // second row
    w.panel->markBadPort(QStringLiteral(" ATTENTION\n\n x\n\n  is Missing"));
    const QPoint frame = w.frmMc[6]->mapTo(&w, QPoint(0, 0));
    QCOMPARE(w.imgBadPort->parentWidget(), static_cast<QWidget *>(&w));
    QCOMPARE(w.imgBadPort->pos(), frame - QPoint(0, 20));
    QVERIFY(!w.imgBadPort->isHidden());
    QCOMPARE(w.lbldesc->text(), QStringLiteral(" ATTENTION\n\n x\n\n  is Missing"));
    QCOMPARE(textColour(w.lbldesc), QColor(Qt::red));

    // The next selection takes the marker away and writes the description
    // in black again.
    w.panel->mcClick(2);
    QVERIFY(w.imgBadPort->isHidden());
    QCOMPARE(textColour(w.lbldesc), QColor(Qt::black));
    QVERIFY(w.lbldesc->text().startsWith(QStringLiteral("Mode: AUTO")));
}

void TestPanel::dropQueuesWithoutSelecting()
{
    PanelRig rig(machinesFile(4));
    frmHalvec &w = *rig.w;
    w.panel->mcClick(2);
    QStringList paths;
    for (const char *name : {"a.nc", "b.nc", "c.nc"}) {
        paths << rig.dir.path() + QLatin1Char('/') + QLatin1String(name);
        QFile f(paths.last());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("(") + name + ")\n");
    }
    rig.s.clearLog();
    emit w.imgMc[4]->filesDropped(paths);
    QCOMPARE(w.List1[4]->count(), 3);
    for (int r = 0; r < 3; ++r)
        QCOMPARE(w.List1[4]->item(r)->text(), paths.at(r));
    QCOMPARE(w.txBuffer[4]->toPlainText(), QStringLiteral("(a.nc)\n"));
    QCOMPARE(int(rig.m.SelectedMC), 2);
    QVERIFY(!w.txBuffer[2]->isHidden());
    QVERIFY(w.txBuffer[4]->isHidden());
    QVERIFY(rig.s.log.isEmpty());

    // A code window that holds text keeps it.
    emit w.imgMc[4]->filesDropped({paths.at(2)});
    QCOMPARE(w.List1[4]->count(), 4);
    QCOMPARE(w.txBuffer[4]->toPlainText(), QStringLiteral("(a.nc)\n"));
}

// Add a machine, set it up, select it, see its port opened with its
// settings, rename and delete it: against a pseudo-terminal and the real
// port, with the configuration file checked after each step.
void TestPanel::machineLifeOnPseudoTerminal()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    const QString dev = pty.slavePath();
    QtSerial s1;
    PanelRig rig(QByteArray{}, {QStringLiteral("ttyFAKE9"), dev}, &s1);
    Module1 &m = rig.m;
    FakePlatform &p = rig.p;
    frmHalvec &w = *rig.w;
    QCOMPARE(rig.ini(), QByteArray());

    // Add: the defaults, on the first listed port.
    QTest::mouseClick(w.BevelButton1, Qt::LeftButton);
    // clang-format off
    QByteArray expected = machineSection(1, {{"MCNAME", "NEW"}, {"MCPORT", "ttyFAKE9"},
        {"MCFOLDER", "Unused"}, {"MCDRATE", "1200"}, {"MCTXSTEP", ""}}) + '\n';
    // clang-format on
    QCOMPARE(rig.ini(), expected);

    // Set up: the pseudo-terminal, 9600 bit/s, 8 data bits, 2 stop bits, XON.
    QTest::mouseClick(w.imgMc[1], Qt::LeftButton);
    QCOMPARE(int(m.SelectedMC), 1);
    QVERIFY(!s1.isOpen()); // ttyFAKE9 does not exist
    QPointer<frmSetup> setup = w.panel->showSetup(false);
    QVERIFY(setup);
    setup->txtName->setText(QStringLiteral("Mill"));
    setup->Combo2->setCurrentText(dev);
    setup->Combo1->setCurrentText(QStringLiteral("9600"));
    setup->Combo4->setCurrentText(QStringLiteral("8 Bits - No Parity"));
    setup->Combo3->setCurrentText(QStringLiteral("2"));
    QTest::mouseClick(setup->Command1, Qt::LeftButton);
    QTRY_VERIFY(!setup->saveFeedbackRunning());
    QTest::mouseClick(setup->Command2, Qt::LeftButton);
    QTRY_VERIFY(setup.isNull());
    // clang-format off
    expected = machineSection(1, {{"MCNAME", "Mill"}, {"MCPORT", dev}, {"MCFOLDER", m.AppPath},
        {"MCDRATE", "9600"}, {"MCDBITS", "8"}, {"MCPARITY", "None"}, {"MCSBITS", "2"}}) + '\n';
    // clang-format on
    QCOMPARE(rig.ini(), expected);

    // Select: the port opens with the machine's settings.
    QTest::mouseClick(w.imgMc[1], Qt::LeftButton);
    QCOMPARE(int(m.SelectedMC), 1);
    QVERIFY(s1.isOpen());
    QVERIFY(w.imgBadPort->isHidden());
    QCOMPARE(s1.Baud(), int(Serial::Baud9600));
    QCOMPARE(s1.Bits(), int(Serial::Bits8));
    QCOMPARE(s1.Parity(), int(Serial::ParityNone));
    termios t{};
    QCOMPARE(tcgetattr(pty.slaveFd(), &t), 0);
    QCOMPARE(int(cfgetospeed(&t)), int(B9600));
    QVERIFY(t.c_cflag & CSTOPB);
    QVERIFY(t.c_iflag & IXON);
    QVERIFY(!(t.c_cflag & CRTSCTS));
    QVERIFY(s1.Write("G01 X1\r\n"));
    QCOMPARE(pty.readFor(8), QByteArray("G01 X1\r\n"));

    // Rename.
    p.menuChoices = {QStringLiteral("Rename")};
    QTest::mouseClick(w.imgMc[1], Qt::RightButton);
    QVERIFY(!w.txtRename->isHidden());
    QTest::keyClicks(w.txtRename, QStringLiteral("Mill 2"));
    QTest::keyClick(w.txtRename, Qt::Key_Return);
    QCOMPARE(w.lblmc[1]->text(), QStringLiteral("Mill 2"));
    expected.replace("MCNAME=Mill\n", "MCNAME=Mill 2\n");
    QCOMPARE(rig.ini(), expected);
    QVERIFY(s1.isOpen()); // the context click reopened it

    // Delete.
    p.menuChoices = {QStringLiteral("Delete")};
    p.answers = {QMessageBox::Yes};
    QTest::mouseClick(w.imgMc[1], Qt::RightButton);
    QCOMPARE(m.Last_MC, 0);
    QCOMPARE(int(m.SelectedMC), 0);
    QVERIFY(w.frmMc[1]->isHidden());
    QCOMPARE(rig.ini(), QByteArray("\n"));
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
