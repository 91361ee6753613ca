// The setup dialog: how it shows each stored value and what it gives back,
// and, through the window, that Save stores the machine, is refused while
// a program is being sent, and that the dialog follows its machine.

#include "core/inifile.h"
#include "ui/codewindows.h"
#include "ui/setupdialog.h"
#include "ui/setuplauncher.h"
#include "ui_rig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

class TestUiSetup : public QObject
{
    Q_OBJECT
private slots:
    void showsAndGivesBack_data();
    void showsAndGivesBack();
    void edits_data();
    void edits();
    void saveThroughTheWindow();
};

namespace
{
MachineConfig loaded(const QString &values)
{
    return IniFile::parse(iniFile({values}), QStringLiteral("/cnc/")).at(1);
}
QString shown(QWidget *dialog, const QString &control)
{
    QWidget *c = dialog->findChild<QWidget *>(control);
    if (auto *box = qobject_cast<QComboBox *>(c)) return box->currentText();
    if (auto *edit = qobject_cast<QLineEdit *>(c)) return edit->text();
    if (auto *radio = qobject_cast<QRadioButton *>(c)) return radio->isChecked() ? "on" : "off";
    return QStringLiteral("<no %1>").arg(control);
}
} // namespace

// Each stored value as the dialog shows it; where the program stores it
// that way, the dialog gives the machine back unchanged.
void TestUiSetup::showsAndGivesBack_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("unchanged");
    struct Row {
        const char *name;
        const char *stored;
        const char *control, *text;
        bool unchanged;
    };
    const Row table[] = {
        {"defaults", "", "cboFlow", "Xon/Xoff", true},
        {"150 bit/s", "MCDRATE=150", "Combo1", "150", true},
        {"speed unknown", "MCDRATE=NOINIVAL", "Combo1", "2400", false},
        {"stop unknown", "MCSBITS=x", "Combo3", "2", false},
        {"8 bits", "MCDBITS=8", "Combo4", "8 Bits - No Parity", true},
        {"eob unknown", "MCEOB=NOINIVAL", "cboEOB", "CRLF", false},
        {"flow none", "MCFLOW=0", "cboFlow", "None", true},
        {"flow rts", "MCFLOW=2", "cboFlow", "RTS/CTS", true},
        {"flow wait xon", "MCFLOW=3", "cboFlow", "Xon/Xoff (Wait-Xon)", true},
        {"flow wait any", "MCFLOW=4", "cboFlow", "Xon/Xoff (Wait-Any)", true},
        {"delay 200", "MCBLKTIC=200ms", "cboBlkTic", "200", true},
        {"delay fast", "MCBLKTIC=Fastms", "cboBlkTic", "Fast", true},
        {"sot stx", "MCSOT=2", "cboSOT", "CTRL-B, STX, 02", true},
        {"sot eot", "MCSOT=4", "cboSOT", "CTRL-D, EOT, 04", true},
        {"sot 5", "MCSOT=5", "cboSOT", "05", true},
        {"eot esc", "MCEOT=27", "cboEOT", "CTRL-[, ESC, 27", true},
        {"eot 12", "MCEOT=12", "cboEOT", "12", true},
        {"strip lf", "MCSTRIPEOB=10", "optStripLF", "on", true},
        {"strip cr", "MCSTRIPEOB=13", "optStripCR", "on", true},
        {"strip none", "", "optStripNone", "on", true},
        {"port gone", "MCPORT=ttyUSB7", "Combo2", "ttyUSB7", true},
        {"port none", "MCPORT=none", "Combo2", "none", true},
        {"extension", "MCEXTENS=  abc  ", "Text3", "abc", false},
    };
    for (const Row &r : table)
        QTest::newRow(r.name) << QString(r.stored) << QString(r.control) << QString(r.text)
                              << r.unchanged;
}

void TestUiSetup::showsAndGivesBack()
{
    QFETCH(QString, stored);
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(bool, unchanged);
    const MachineConfig machine = loaded(stored);
    SetupDialog dialog(machine, {"ttyFAKE0", "ttyFAKE1"});
    QCOMPARE(shown(&dialog, control), text);
    if (unchanged) QCOMPARE(dialog.value(), machine);
}

void TestUiSetup::edits_data()
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
        {"sot not a number", "cboSOT", "ab", "MCSOT", "", ""},
        {"eot row eot", "cboEOT", "CTRL-D, EOT, 04", "MCEOT", "4", "CTRL-D, EOT, 04"},
        {"flow rts", "cboFlow", "RTS/CTS", "MCFLOW", "2", "RTS/CTS"},
        {"8 bits", "Combo4", "8 Bits - No Parity", "MCPARITY", "None", "8 Bits - No Parity"},
        {"port none", "Combo2", "none", "MCPORT", "none", "none"},
    };
    for (const Row &r : table)
        QTest::newRow(r.name) << QString(r.control) << QString(r.entered) << QString(r.key)
                              << QString(r.stored) << QString(r.shownAfter);
}

void TestUiSetup::edits()
{
    QFETCH(QString, control);
    QFETCH(QString, entered);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, shownAfter);
    SetupDialog dialog(loaded(""), {"ttyFAKE0"});
    QWidget *c = dialog.findChild<QWidget *>(control);
    if (auto *box = qobject_cast<QComboBox *>(c); box && !box->isEditable())
        box->setCurrentIndex(box->findText(entered));
    else if (box)
        box->setEditText(entered);
    else
        qobject_cast<QLineEdit *>(c)->setText(entered);
    const MachineConfig m = dialog.value();
    Key k = Key::Name;
    for (int i = 0; i < KeyCount; ++i)
        if (MachineConfig::keyName(Key(i)) == key) k = Key(i);
    QCOMPARE(m.value(k), stored);
    QCOMPARE(shown(&dialog, control), shownAfter);
}

void TestUiSetup::saveThroughTheWindow()
{
    UiRig<> r(iniFile({"", "", ""}));
    r.click("imgMc(3)");
    r.platform.menuChoices << "Properties";
    r.click("imgMenu(2)");
    SetupDialog *dialog = r.window.setup().dialog();
    QVERIFY(dialog && dialog->isModal());
    dialog->findChild<QLineEdit *>("txtName")->setText("Lathe");
    dialog->findChild<QPushButton *>("Command1")->click();
    QCOMPARE(r.file(), iniFile({"", "", "MCNAME=Lathe"}));
    QVERIFY(dialog->isVisible());
    QCOMPARE(r.shop.selected(), 0); // the panel was reloaded

    // Machine 1 deleted: the dialog follows its machine to slot 2.
    r.click("imgMc(1)");
    r.platform.menuChoices << "Delete";
    r.click("imgMenu(2)");
    QCOMPARE(r.window.setup().machine(), 2);
    QCOMPARE(r.window.setup().show(false), dialog);

    // Refused while a program is being sent.
    r.click("imgMc(1)");
    r.window.codeWindows().setProgram(1, "G00\n");
    r.port.toWrite = 1;
    r.click("cmdTX");
    dialog->findChild<QPushButton *>("Command1")->click();
    QCOMPARE(r.platform.lastMessage(),
             QStringLiteral("The settings can not be saved while a program is being sent."));
}

QTEST_MAIN(TestUiSetup)
#include "tst_ui_setup.moc"
