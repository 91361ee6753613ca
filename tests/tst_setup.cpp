// The setup dialog: its controls and lists, the loading and saving rules,
// the untouched round trip, adding a machine, and Save's feedback.

#include "panel_fixture.h"

#include "panel/frmsetup.h"
#include "panel/machinepanel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

QString textOf(QWidget *dialog, const QString &control)
{
    QWidget *c = dialog->findChild<QWidget *>(control);
    if (auto *box = qobject_cast<QComboBox *>(c)) return box->currentText();
    auto *line = qobject_cast<QLineEdit *>(c);
    return line ? line->text() : QStringLiteral("<no %1>").arg(control);
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
    void loadAndResave_data();
    void loadAndResave();
    void saving_data();
    void saving();
    void addWritesTheDefaultSection();
    void saveFeedbackLeavesDialogOpen();
    void oneInstance();
};

void TestSetup::controlsAndLists()
{
    PanelRig rig(machinesFile(1));
    frmSetup *s = openFor(rig, 1);
    QVERIFY(s);
    const auto controls = s->findChildren<QWidget *>();
    for (QWidget *c : controls)
        if (!c->objectName().isEmpty() && !c->objectName().startsWith(QLatin1String("qt_")))
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    QCOMPARE(rows(s->Combo1), (QStringList{"150", "300", "600", "1200", "2400", "4800", "9600",
                                           "19200", "38400", "57600", "115200"}));
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

// Each stored value as the dialog shows it; where the program writes the
// file that way, Save untouched (twice, across the reload) gives it back
// byte for byte.
void TestSetup::loadAndResave_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("resaved");
    struct Row {
        const char *name;
        Values stored;
        const char *control, *shown;
        bool resaved;
    };
    // clang-format off
    const Row table[] = {
        {"defaults", {}, "cboFlow", "Xon/Xoff", true},
        {"speed", {{"MCDRATE", "38400"}}, "Combo1", "38400", true},
        {"150 bit/s", {{"MCDRATE", "150"}}, "Combo1", "150", true},
        {"speed unknown", {{"MCDRATE", "NOINIVAL"}}, "Combo1", "2400", false},
        {"stop 2", {{"MCSBITS", "2"}}, "Combo3", "2", true},
        {"stop unknown", {{"MCSBITS", "x"}}, "Combo3", "2", false},
        {"8 bits", {{"MCDBITS", "8"}, {"MCPARITY", "None"}}, "Combo4", "8 Bits - No Parity", true},
        {"6 bits", {{"MCDBITS", "6"}}, "Combo4", "7 Bits - Even Parity", false},
        {"eob lf", {{"MCEOB", "LF"}}, "cboEOB", "LF", true},
        {"eob crlflf", {{"MCEOB", "CRLFLF"}}, "cboEOB", "CRLFLF", true},
        {"eob unknown", {{"MCEOB", "NOINIVAL"}}, "cboEOB", "CRLF", false},
        {"flow none", {{"MCFLOW", "0"}}, "cboFlow", "None", true},
        {"flow rts", {{"MCFLOW", "2"}}, "cboFlow", "RTS/CTS", true},
        {"flow wait xon", {{"MCFLOW", "3"}}, "cboFlow", "Xon/Xoff (Wait-Xon)", true},
        {"flow wait any", {{"MCFLOW", "4"}}, "cboFlow", "Xon/Xoff (Wait-Any)", true},
        {"codes stx", {{"MCSOT", "2"}, {"MCEOT", "2"}}, "cboSOT", "CTRL-B, STX, 02", true},
        {"codes etx", {{"MCSOT", "3"}, {"MCEOT", "3"}}, "cboEOT", "CTRL-C, ETX, 03", true},
        {"codes eot", {{"MCSOT", "4"}, {"MCEOT", "4"}}, "cboSOT", "CTRL-D, EOT, 04", true},
        {"codes esc", {{"MCSOT", "27"}, {"MCEOT", "27"}}, "cboSOT", "CTRL-[, ESC, 27", true},
        {"eot esc", {{"MCEOT", "27"}}, "cboEOT", "CTRL-[, ESC, 27", true},
        {"codes 5", {{"MCSOT", "5"}, {"MCEOT", "5"}}, "cboSOT", "05", true},
        {"eot 12", {{"MCEOT", "12"}}, "cboEOT", "12", true},
        {"codes 99", {{"MCSOT", "99"}, {"MCEOT", "99"}}, "cboEOT", "99", true},
        {"strip lf", {{"MCSTRIPEOB", "10"}}, "", "", true},
        {"strip cr", {{"MCSTRIPEOB", "13"}}, "", "", true},
        {"port gone", {{"MCPORT", "ttyUSB7"}}, "Combo2", "ttyUSB7", true},
        {"port none", {{"MCPORT", "none"}}, "Combo2", "none", true},
        {"kept fields", {{"MCBLKNUL", "3"}, {"MCPREFIX", "%"}, {"MCEXTENS", "nc"}}, "Text3", "nc", true},
        {"extens", {{"MCEXTENS", "  abc  "}}, "Text3", "abc", false},
        {"8N2 fast", {{"MCDBITS", "8"}, {"MCPARITY", "None"}, {"MCSBITS", "2"}, {"MCDRATE", "115200"},
                      {"MCTXSTEP", "Fast"}}, "Combo1", "115200", true},
        {"everything", {{"MCFLOW", "3"}, {"MCBLKTIC", "200ms"}, {"MCSOT", "27"}, {"MCEOT", "4"},
                        {"MCSTRIPEOB", "13"}, {"MCPORT", "ttyUSB7"}, {"MCDBITS", "8"},
                        {"MCPARITY", "None"}}, "cboEOT", "CTRL-D, EOT, 04", true},
    };
    // clang-format on
    for (const Row &r : table)
        QTest::newRow(r.name) << r.stored << QString(r.control) << QString(r.shown) << r.resaved;
    for (const char *delay : {"5", "25", "50", "70", "90", "150", "200", "Fast"})
        QTest::addRow("delay %s", delay)
            << Values{{"MCBLKTIC", QString(delay) + "ms"}} << "cboBlkTic" << QString(delay) << true;
}

void TestSetup::loadAndResave()
{
    QFETCH(Values, stored);
    QFETCH(QString, control);
    QFETCH(QString, shown);
    QFETCH(bool, resaved);
    const QByteArray file = machineSection(1) + machineSection(2, stored) + '\n';
    PanelRig rig(file);
    frmSetup *s = openFor(rig, 2);
    QCOMPARE(s->MCNo, 2);
    if (!control.isEmpty()) QCOMPARE(textOf(s, control), shown);
    if (resaved) {
        s->SaveSettings();
        QCOMPARE(QString::fromUtf8(rig.ini()), QString::fromUtf8(file));
        QTRY_VERIFY(!s->saveFeedbackRunning());
        s->SaveSettings();
        QCOMPARE(QString::fromUtf8(rig.ini()), QString::fromUtf8(file));
    }
    s->close();
}

void TestSetup::saving_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shownAfter");
    struct Row {
        const char *name, *control, *entered, *key, *stored, *shownAfter;
    };
    const Row table[] = {
        {"blank name", "txtName", "   ", "MCNAME", "NEW", "NEW"},
        {"name kept as typed", "txtName", " Mill ", "MCNAME", " Mill ", " Mill "},
        {"sot typed 7", "cboSOT", "7", "MCSOT", "7", "07"},
        {"sot typed 127", "cboSOT", "127", "MCSOT", "27", "127"},
        {"sot row stx", "cboSOT", "CTRL-B, STX, 02", "MCSOT", "2", "CTRL-B, STX, 02"},
        {"sot not a number", "cboSOT", "ab", "MCSOT", "", ""},
        {"eot typed 0", "cboEOT", "0", "MCEOT", "", ""},
        {"eot row eot", "cboEOT", "CTRL-D, EOT, 04", "MCEOT", "4", "CTRL-D, EOT, 04"},
        {"flow none", "cboFlow", "None", "MCFLOW", "0", "None"},
        {"flow rts", "cboFlow", "RTS/CTS", "MCFLOW", "2", "RTS/CTS"},
        {"8 bits", "Combo4", "8 Bits - No Parity", "MCPARITY", "None", "8 Bits - No Parity"},
        {"extens trimmed", "Text3", "  x y  ", "MCEXTENS", "x y", "  x y  "},
        {"port", "Combo2", "none", "MCPORT", "none", "none"},
    };
    for (const Row &r : table)
        QTest::newRow(r.name) << QString(r.control) << QString(r.entered) << QString(r.key)
                              << QString(r.stored) << QString(r.shownAfter);
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
        QVERIFY(box->findText(entered) >= 0);
        box->setCurrentIndex(box->findText(entered));
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
    const QByteArray section = rig.ini().mid(rig.ini().indexOf("[MC2]\n"));
    QVERIFY2(section.contains((key + QLatin1Char('=') + stored + QLatin1Char('\n')).toUtf8()),
             section.constData());
    QCOMPARE(textOf(s, control), shownAfter);
    QVERIFY(s->isVisible());
    s->close();
}

void TestSetup::addWritesTheDefaultSection()
{
    QFile golden(QStringLiteral(TAVRIN_TEST_DATA "/setup_add_golden.ini"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    PanelRig rig(QByteArray{});
    QTest::mouseClick(rig.w->BevelButton1, Qt::LeftButton);
    QCOMPARE(rig.ini(), golden.readAll());
    // The user never saw it, and it is gone.
    QVERIFY(rig.w->findChildren<frmSetup *>().isEmpty());
}

void TestSetup::saveFeedbackLeavesDialogOpen()
{
    PanelRig rig(machinesFile(2));
    QPointer<frmSetup> s = openFor(rig, 2);
    const int width = s->Command1->width();
    s->txtName->setText(QStringLiteral("Lathe"));

    // Refused while sending.
    const QByteArray before = rig.ini();
    rig.w->cmdStop->setVisible(true);
    QTest::mouseClick(s->Command1, Qt::LeftButton);
    QCOMPARE(rig.ini(), before);
    QCOMPARE(rig.p.lastMessage(), QLatin1String(frmSetup::busyMessage));
    QCOMPARE(int(rig.m.SelectedMC), 2);
    QVERIFY(!s->saveFeedbackRunning());

    rig.w->cmdStop->setVisible(false);
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

void TestSetup::oneInstance()
{
    PanelRig rig(machinesFile(2));
    QPointer<frmSetup> first = openFor(rig, 1);
    rig.w->panel->mcClick(2);
    // The open dialog keeps its machine.
    QCOMPARE(rig.w->panel->showSetup(true), first.data());
    QCOMPARE(first->MCNo, 1);
    QCOMPARE(first->windowModality(), Qt::ApplicationModal);
    // Closed while Save's feedback runs: the panel still shows the change.
    first->txtName->setText(QStringLiteral("Router"));
    first->SaveSettings();
    first->close();
    QCOMPARE(rig.w->lblmc[1]->text(), QStringLiteral("Router"));
    QCOMPARE(rig.m.mc(1, MCNAME), QStringLiteral("Router"));
    QTRY_VERIFY(first.isNull());
    rig.w->panel->mcClick(2);
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

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
