// The setup dialog: its controls and lists, the loading and saving rules,
// the untouched round trip, adding a machine, and Save's feedback.

#include "panel_fixture.h"

#include "panel/frmsetup.h"
#include "panel/machinepanel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace
{

using Values = QMap<QString, QString>;

QStringList rows(QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// Opens the dialog for machine mc the way the toolbar's Setup does.
frmSetup *openFor(PanelRig &rig, int mc)
{
    rig.w->panel->mcClick(mc);
    return rig.w->panel->showSetup(false);
}

} // namespace

class TestSetup : public QObject
{
    Q_OBJECT
private slots:
    void controlsAndLists();
    void noPortListed();
    void loading_data();
    void loading();
    void saving_data();
    void saving();
    void untouchedRoundTrip_data();
    void untouchedRoundTrip();
    void addWritesTheDefaultSection();
    void saveFeedbackLeavesDialogOpen();
    void closeDuringFeedbackStillRefreshes();
    void oneInstance();
    void saveRefusedWhileSending();
};

void TestSetup::controlsAndLists()
{
    PanelRig rig(machinesFile(1));
    frmSetup *s = openFor(rig, 1);
    QVERIFY(s);
    QCOMPARE(s->windowTitle(), QStringLiteral(" Port Setup"));
    QCOMPARE(s->minimumSize(), QSize(460, 403));
    QCOMPARE(s->maximumSize(), QSize(460, 403));
    QCOMPARE(s->x(), 100);

    const char *names[] = {
        "lblName",      "txtName",     "StaticText1", "cboNCMode",   "StaticText13", "Combo2",
        "GroupBox1",    "StaticText2", "Combo1",      "StaticText4", "Combo4",       "StaticText5",
        "Combo3",       "StaticText3", "cboFlow",     "Frame3",      "StaticText7",  "cboEOB",
        "StaticText8",  "cboBlkTic",   "cmdAdvanced", "GroupBox3",   "optStripNone", "optStripLF",
        "optStripCR",   "Command1",    "Command2",    "Frame5",      "StaticText11", "cboSOT",
        "StaticText12", "cboEOT",      "PushButton3", "Text3"};
    for (const char *name : names) {
        auto *c = s->findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(c, name);
        QVERIFY2(!c->accessibleName().isEmpty(), name);
    }
    QCOMPARE(s->Command1->text(), QStringLiteral("Save"));
    QCOMPARE(s->Command2->text(), QStringLiteral("Close"));
    QCOMPARE(s->StaticText2->text(), QStringLiteral("Speed (Baud Rate)"));
    QCOMPARE(s->GroupBox3->title(),
             QStringLiteral("Additional Receive Options (Only affects data FROM the CNC)"));

    // Out of the user's reach.
    QVERIFY(s->cmdAdvanced->isHidden());
    QVERIFY(s->Frame5->x() >= 500);
    QVERIFY(s->Text3->x() >= 500);
    QVERIFY(s->cboSOT->isEditable());
    QVERIFY(s->cboEOT->isEditable());

    QCOMPARE(rows(s->Combo3), (QStringList{"1", "2"}));
    QCOMPARE(rows(s->Combo4), (QStringList{"7 Bits - Even Parity", "8 Bits - No Parity"}));
    QCOMPARE(rows(s->Combo1), (QStringList{"150", "300", "600", "1200", "2400", "4800", "9600",
                                           "19200", "38400", "57600", "115200"}));
    QCOMPARE(rows(s->cboNCMode), QStringList{"AUTO"});
    QCOMPARE(rows(s->cboFlow), (QStringList{"None", "Xon/Xoff", "RTS/CTS"}));
    QCOMPARE(rows(s->cboBlkTic),
             (QStringList{"5", "10", "25", "50", "70", "90", "150", "200", "Fast"}));
    QCOMPARE(rows(s->cboEOB), (QStringList{"CRLF", "LF", "CRLFLF", "CR"}));
    QCOMPARE(rows(s->cboSOT), (QStringList{"", "CTRL-B, STX, 02", "CTRL-C, ETX, 03"}));
    QCOMPARE(rows(s->cboEOT), (QStringList{"", "CTRL-B, STX, 02", "CTRL-C, ETX, 03",
                                           "CTRL-D, EOT, 04", "CTRL-[, ESC, 27"}));
    QCOMPARE(rows(s->Combo2), (QStringList{"ttyFAKE0", "ttyFAKE1", "none"}));
    s->close();
}

void TestSetup::noPortListed()
{
    // No port at all: the list stays empty and the machine is stored
    // without one.
    PanelRig rig(QByteArray{}, {});
    QTest::mouseClick(rig.w->BevelButton1, Qt::LeftButton);
    QCOMPARE(rig.m.Last_MC, 1);
    QVERIFY(rig.ini().contains("MCNAME=NEW\nMCPORT=\nMCMODE=AUTO\n"));
    frmSetup *s = openFor(rig, 1);
    QCOMPARE(s->Combo2->currentText(), QString());
    s->close();
}

void TestSetup::loading_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");

    QTest::newRow("speed") << Values{{"MCDRATE", "38400"}} << "Combo1"
                           << "38400";
    QTest::newRow("speed unknown") << Values{{"MCDRATE", "NOINIVAL"}} << "Combo1"
                                   << "2400";
    QTest::newRow("stop 2") << Values{{"MCSBITS", "2"}} << "Combo3"
                            << "2";
    QTest::newRow("stop unknown") << Values{{"MCSBITS", "x"}} << "Combo3"
                                  << "2";
    QTest::newRow("8 bits") << Values{{"MCDBITS", "8"}, {"MCPARITY", "None"}} << "Combo4"
                            << "8 Bits - No Parity";
    QTest::newRow("6 bits") << Values{{"MCDBITS", "6"}} << "Combo4"
                            << "7 Bits - Even Parity";
    QTest::newRow("delay 150") << Values{{"MCBLKTIC", "150ms"}} << "cboBlkTic"
                               << "150";
    QTest::newRow("delay fast") << Values{{"MCBLKTIC", "Fastms"}} << "cboBlkTic"
                                << "Fast";
    QTest::newRow("eob lf") << Values{{"MCEOB", "LF"}} << "cboEOB"
                            << "LF";
    QTest::newRow("eob unknown") << Values{{"MCEOB", "NOINIVAL"}} << "cboEOB"
                                 << "CRLF";
    QTest::newRow("flow none") << Values{{"MCFLOW", "0"}} << "cboFlow"
                               << "None";
    QTest::newRow("flow rts") << Values{{"MCFLOW", "2"}} << "cboFlow"
                              << "RTS/CTS";
    QTest::newRow("flow wait xon") << Values{{"MCFLOW", "3"}} << "cboFlow"
                                   << "Xon/Xoff (Wait-Xon)";
    QTest::newRow("flow wait any") << Values{{"MCFLOW", "4"}} << "cboFlow"
                                   << "Xon/Xoff (Wait-Any)";
    QTest::newRow("sot stx") << Values{{"MCSOT", "2"}} << "cboSOT"
                             << "CTRL-B, STX, 02";
    QTest::newRow("sot eot") << Values{{"MCSOT", "4"}} << "cboSOT"
                             << "CTRL-D, EOT, 04";
    QTest::newRow("sot esc") << Values{{"MCSOT", "27"}} << "cboSOT"
                             << "CTRL-[, ESC, 27";
    QTest::newRow("sot 5") << Values{{"MCSOT", "5"}} << "cboSOT"
                           << "05";
    QTest::newRow("eot esc") << Values{{"MCEOT", "27"}} << "cboEOT"
                             << "CTRL-[, ESC, 27";
    QTest::newRow("eot 12") << Values{{"MCEOT", "12"}} << "cboEOT"
                            << "12";
    QTest::newRow("port gone") << Values{{"MCPORT", "ttyUSB7"}} << "Combo2"
                               << "ttyUSB7";
    QTest::newRow("port none") << Values{{"MCPORT", "none"}} << "Combo2"
                               << "none";
    QTest::newRow("extens") << Values{{"MCEXTENS", "  abc  "}} << "Text3"
                            << "abc";
}

void TestSetup::loading()
{
    QFETCH(Values, stored);
    QFETCH(QString, control);
    QFETCH(QString, shown);
    PanelRig rig(machineSection(1) + machineSection(2, stored) + '\n');
    frmSetup *s = openFor(rig, 2);
    QCOMPARE(s->MCNo, 2);
    QWidget *c = s->findChild<QWidget *>(control);
    QVERIFY(c);
    if (auto *box = qobject_cast<QComboBox *>(c))
        QCOMPARE(box->currentText(), shown);
    else
        QCOMPARE(qobject_cast<QLineEdit *>(c)->text(), shown);
    s->close();
}

void TestSetup::saving_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shownAfter");

    QTest::newRow("blank name") << "txtName"
                                << "   "
                                << "MCNAME"
                                << "NEW"
                                << "NEW";
    QTest::newRow("name kept as typed") << "txtName"
                                        << " Mill "
                                        << "MCNAME"
                                        << " Mill "
                                        << " Mill ";
    QTest::newRow("sot typed 7") << "cboSOT"
                                 << "7"
                                 << "MCSOT"
                                 << "7"
                                 << "07";
    QTest::newRow("sot typed 127") << "cboSOT"
                                   << "127"
                                   << "MCSOT"
                                   << "27"
                                   << "127";
    QTest::newRow("sot row stx") << "cboSOT"
                                 << "CTRL-B, STX, 02"
                                 << "MCSOT"
                                 << "2"
                                 << "CTRL-B, STX, 02";
    QTest::newRow("sot not a number") << "cboSOT"
                                      << "ab"
                                      << "MCSOT"
                                      << ""
                                      << "";
    QTest::newRow("eot typed 0") << "cboEOT"
                                 << "0"
                                 << "MCEOT"
                                 << ""
                                 << "";
    QTest::newRow("eot row eot") << "cboEOT"
                                 << "CTRL-D, EOT, 04"
                                 << "MCEOT"
                                 << "4"
                                 << "CTRL-D, EOT, 04";
    QTest::newRow("flow none") << "cboFlow"
                               << "None"
                               << "MCFLOW"
                               << "0"
                               << "None";
    QTest::newRow("flow rts") << "cboFlow"
                              << "RTS/CTS"
                              << "MCFLOW"
                              << "2"
                              << "RTS/CTS";
    QTest::newRow("8 bits") << "Combo4"
                            << "8 Bits - No Parity"
                            << "MCPARITY"
                            << "None"
                            << "8 Bits - No Parity";
    QTest::newRow("extens trimmed") << "Text3"
                                    << "  x y  "
                                    << "MCEXTENS"
                                    << "x y"
                                    << "  x y  ";
    QTest::newRow("port") << "Combo2"
                          << "none"
                          << "MCPORT"
                          << "none"
                          << "none";
}

void TestSetup::saving()
{
    QFETCH(QString, control);
    QFETCH(QString, entered);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, shownAfter);
    PanelRig rig(machinesFile(2));
    frmSetup *s = openFor(rig, 2);
    QWidget *c = s->findChild<QWidget *>(control);
    QVERIFY(c);
    auto *box = qobject_cast<QComboBox *>(c);
    if (box && !box->isEditable()) {
        const int row = box->findText(entered);
        QVERIFY(row >= 0);
        box->setCurrentIndex(row);
    } else if (box) {
        box->setEditText(entered);
    } else {
        qobject_cast<QLineEdit *>(c)->setText(entered);
    }
    s->SaveSettings();

    int column = 0;
    for (int k = 1; k <= McKeyCount; ++k)
        if (Module1::keyName(k) == key) column = k;
    QCOMPARE(rig.m.mc(2, McKey(column)), stored);
    QVERIFY(rig.ini().contains(("[MC2]\n")));
    QVERIFY2(rig.ini().contains((key + QLatin1Char('=') + stored + QLatin1Char('\n')).toUtf8()),
             rig.ini().constData());
    QCOMPARE(box ? box->currentText() : qobject_cast<QLineEdit *>(c)->text(), shownAfter);
    QVERIFY(s->isVisible());
    s->close();
}

void TestSetup::untouchedRoundTrip_data()
{
    QTest::addColumn<Values>("stored");
    QTest::newRow("defaults") << Values{};
    for (const char *flow : {"0", "1", "2", "3", "4"})
        QTest::addRow("flow %s", flow) << Values{{"MCFLOW", flow}};
    for (const char *delay : {"5ms", "25ms", "50ms", "70ms", "90ms", "150ms", "200ms", "Fastms"})
        QTest::addRow("delay %s", delay) << Values{{"MCBLKTIC", delay}};
    for (const char *code : {"2", "3", "4", "5", "27", "99"})
        QTest::addRow("codes %s", code) << Values{{"MCSOT", code}, {"MCEOT", code}};
    QTest::newRow("strip lf") << Values{{"MCSTRIPEOB", "10"}};
    QTest::newRow("strip cr") << Values{{"MCSTRIPEOB", "13"}};
    QTest::newRow("8N2 fast") << Values{{"MCDBITS", "8"},
                                        {"MCPARITY", "None"},
                                        {"MCSBITS", "2"},
                                        {"MCDRATE", "115200"},
                                        {"MCTXSTEP", "Fast"}};
    QTest::newRow("150 bit/s") << Values{{"MCDRATE", "150"}};
    QTest::newRow("eob") << Values{{"MCEOB", "CRLFLF"}};
    QTest::newRow("port none") << Values{{"MCPORT", "none"}};
    QTest::newRow("port unplugged") << Values{{"MCPORT", "ttyUSB7"}};
    QTest::newRow("kept fields") << Values{
        {"MCBLKNUL", "3"}, {"MCPREFIX", "%"}, {"MCEXTENS", "nc"}};
    QTest::newRow("everything") << Values{
        {"MCFLOW", "3"},      {"MCBLKTIC", "200ms"}, {"MCSOT", "27"},  {"MCEOT", "4"},
        {"MCSTRIPEOB", "13"}, {"MCPORT", "ttyUSB7"}, {"MCDBITS", "8"}, {"MCPARITY", "None"}};
}

void TestSetup::untouchedRoundTrip()
{
    QFETCH(Values, stored);
    const QByteArray file = machineSection(1) + machineSection(2, stored) + '\n';
    PanelRig rig(file);
    frmSetup *s = openFor(rig, 2);
    s->SaveSettings();
    QCOMPARE(QString::fromUtf8(rig.ini()), QString::fromUtf8(file));
    // And a second time, after the reload.
    QTRY_VERIFY(!s->saveFeedbackRunning());
    s->SaveSettings();
    QCOMPARE(QString::fromUtf8(rig.ini()), QString::fromUtf8(file));
    s->close();
}

void TestSetup::addWritesTheDefaultSection()
{
    QFile golden(QStringLiteral(TAVRIN_TEST_DATA "/setup_add_golden.ini"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    PanelRig rig(QByteArray{});
    QTest::mouseClick(rig.w->BevelButton1, Qt::LeftButton);
    QCOMPARE(rig.ini(), golden.readAll());
    QCOMPARE(rig.m.Last_MC, 1);
    QVERIFY(!rig.w->frmMc[1]->isHidden());
    QCOMPARE(int(rig.m.SelectedMC), 0);
    // The user never saw it, and it is gone.
    QVERIFY(rig.w->findChildren<frmSetup *>().isEmpty());
}

void TestSetup::saveFeedbackLeavesDialogOpen()
{
    PanelRig rig(machinesFile(2));
    QPointer<frmSetup> s = openFor(rig, 2);
    const int width = s->Command1->width();
    s->txtName->setText(QStringLiteral("Lathe"));
    QTest::mouseClick(s->Command1, Qt::LeftButton);
    QVERIFY(rig.ini().contains("[MC2]\nMCNAME=Lathe\n"));
    QVERIFY(s->saveFeedbackRunning());
    QVERIFY(s->Command1->width() < width);
    QCOMPARE(int(rig.m.SelectedMC), 2); // the reload comes on the way

    // Saved again mid-way: the button still ends at its own width.
    QTRY_VERIFY(s->Command1->width() > width / 2);
    QTest::mouseClick(s->Command1, Qt::LeftButton);
    QTRY_COMPARE(rig.w->lblmc[2]->text(), QStringLiteral("Lathe"));
    QCOMPARE(int(rig.m.SelectedMC), 0);
    QTRY_VERIFY(!s->saveFeedbackRunning());
    QCOMPARE(s->Command1->width(), width);
    QVERIFY(s->isVisible());
    QCOMPARE(s->txtName->text(), QStringLiteral("Lathe"));

    QTest::mouseClick(s->Command2, Qt::LeftButton);
    QTRY_VERIFY(s.isNull());
}

void TestSetup::closeDuringFeedbackStillRefreshes()
{
    PanelRig rig(machinesFile(2));
    QPointer<frmSetup> s = openFor(rig, 1);
    s->txtName->setText(QStringLiteral("Router"));
    s->SaveSettings();
    s->close();
    QCOMPARE(rig.w->lblmc[1]->text(), QStringLiteral("Router"));
    QCOMPARE(rig.m.mc(1, MCNAME), QStringLiteral("Router"));
    QTRY_VERIFY(s.isNull());
}

void TestSetup::oneInstance()
{
    PanelRig rig(machinesFile(2));
    QPointer<frmSetup> first = openFor(rig, 1);
    rig.w->panel->mcClick(2);
    // The open dialog keeps its machine.
    QCOMPARE(rig.w->panel->showSetup(true), first.data());
    QCOMPARE(first->MCNo, 1);
    QCOMPARE(first->windowModality(), Qt::ApplicationModal);
    first->close();
    QTRY_VERIFY(first.isNull());
    QPointer<frmSetup> second = rig.w->panel->showSetup(false);
    QVERIFY(second);
    QCOMPARE(second->MCNo, 2);

    // Escape closes it for good too: the next use opens afresh.
    QTest::keyClick(second, Qt::Key_Escape);
    QTRY_VERIFY(second.isNull());
    rig.w->panel->mcClick(1);
    frmSetup *third = rig.w->panel->showSetup(false);
    QCOMPARE(third->MCNo, 1);
    third->close();
}

void TestSetup::saveRefusedWhileSending()
{
    PanelRig rig(machinesFile(2));
    frmSetup *s = openFor(rig, 2);
    const QByteArray before = rig.ini();
    rig.w->cmdStop->setVisible(true);
    s->txtName->setText(QStringLiteral("Changed"));
    s->SaveSettings();
    QCOMPARE(rig.ini(), before);
    QCOMPARE(rig.p.lastMessage(), QLatin1String(frmSetup::busyMessage));
    QCOMPARE(int(rig.m.SelectedMC), 2);
    QVERIFY(!s->saveFeedbackRunning());
    s->close();
}

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
