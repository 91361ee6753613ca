// The setup dialog: how it shows each stored value and what it gives back,
// and, through the window, that Save stores the machine, that the dialog
// follows its machine, and that Save is refused while a program is sent.

#include "core/config/inifile.h"
#include "linemodel.h"
#include "ui/codewindows.h"
#include "ui/setupdialog.h"
#include "ui/setuplauncher.h"
#include "ui_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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
    if (auto *radio = qobject_cast<QRadioButton *>(c)) return radio->isChecked() ? "on" : "off";
    return qobject_cast<QLineEdit *>(c)->text();
}
} // namespace

class TestUiSetup : public QObject
{
    Q_OBJECT
private slots:
    // Each stored value as the dialog shows it; "=" where the dialog gives
    // the machine back unchanged.
    void showsAndGivesBack_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        const char *const rows[][3] = {
            {"", "cboFlow", "=Xon/Xoff"}, {"MCDRATE=150", "Combo1", "=150"},
            {"MCDRATE=57600", "Combo1", "=57600"}, {"MCDRATE=NOINIVAL", "Combo1", "2400"},
            {"MCSBITS=x", "Combo3", "2"}, {"MCDBITS=8", "Combo4", "=8 Bits - No Parity"},
            {"MCEOB=NOINIVAL", "cboEOB", "CRLF"}, {"MCFLOW=3", "cboFlow", "=Xon/Xoff (Wait-Xon)"},
            {"MCFLOW=4", "cboFlow", "=Xon/Xoff (Wait-Any)"}, {"MCSOT=5", "cboSOT", "=05"},
            {"MCBLKTIC=200ms", "cboBlkTic", "=200"}, {"MCBLKTIC=Nonems", "cboBlkTic", "=None"},
            {"MCSOT=4", "cboSOT", "=CTRL-D, EOT, 04"}, {"MCEOT=27", "cboEOT", "=CTRL-[, ESC, 27"},
            {"MCSTRIPEOB=10", "optStripLF", "=on"}, {"", "optStripNone", "=on"},
            {"MCPORT=ttyUSB7", "Combo2", "=ttyUSB7"}, {"MCEXTENS=  abc  ", "Text3", "abc"},
            {"MCLEADER=\\DC2", "txtLeader", "=\\DC2"},
            {"MCTRAILER=\\x1A ", "txtTrailer", "=\\x1A "},
            {"MCCHARCHK=STRICT", "cboCharCheck", "=ISO, strict comments"},
            {"MCCHARCHK=odd", "cboCharCheck", "Off"}};
        for (const auto &[stored, control, text] : rows)
            QTest::addRow("%s %s", stored, control)
                << QString(stored) << QString(control) << QString(text);
    }
    void showsAndGivesBack()
    {
        QFETCH(QString, stored);
        QFETCH(QString, control);
        QFETCH(QString, text);
        const MachineConfig machine = loaded(stored);
        SetupDialog dialog(machine, {"ttyFAKE0", "ttyFAKE1"});
        QCOMPARE(shown(&dialog, control), text.mid(text.startsWith(u'=') ? 1 : 0));
        if (text.startsWith(u'=')) QCOMPARE(dialog.value(), machine);
    }

    // Every row of a list, in order; what each row stores shows it again.
    void offers_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("rows");
        QTest::newRow("speed") << "Combo1"
                               << "150|300|600|1200|2400|4800|9600|19200|38400|57600|115200";
        QTest::newRow("format") << "Combo4" << "7 Bits - Even Parity|8 Bits - No Parity";
        QTest::newRow("flow") << "cboFlow" << "None|Xon/Xoff|RTS/CTS";
        QTest::newRow("delay") << "cboBlkTic" << "5|10|25|50|70|90|150|200|Fast|None";
        QTest::newRow("end of block") << "cboEOB" << "CRLF|LF|CRLFLF|CR";
        QTest::newRow("mode") << "cboNCMode" << "AUTO|SERVER";
        QTest::newRow("character check") << "cboCharCheck" << "Off|ISO only|ISO, strict comments";
    }
    void offers()
    {
        QFETCH(QString, control);
        QFETCH(QString, rows);
        SetupDialog dialog(loaded(""), {});
        auto *box = dialog.findChild<QComboBox *>(control);
        QStringList offered;
        for (int row = 0; row < box->count(); ++row) {
            offered << box->itemText(row);
            box->setCurrentIndex(row);
            SetupDialog again(dialog.value(), {});
            QCOMPARE(shown(&again, control), offered.last());
        }
        QCOMPARE(offered.join(u'|'), rows);
    }

    // What is typed, what is stored, and what the dialog then shows.
    void edits_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shownAfter");
        const char *const rows[][4] = {
            {"txtName", "   ", "MCNAME=NEW", "NEW"}, {"cboSOT", "7", "MCSOT=7", "07"},
            {"cboSOT", "127", "MCSOT=27", "127"}, {"cboSOT", "ab", "MCSOT=", ""},
            {"txtLeader", "\\NUL%", "MCLEADER=\\NUL%", "\\NUL%"}};
        for (const auto &[control, typed, stored, after] : rows)
            QTest::addRow("%s '%s'", control, typed)
                << QString(control) << QString(typed) << QString(stored) << QString(after);
    }
    void edits()
    {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, shownAfter);
        SetupDialog dialog(loaded(""), {"ttyFAKE0"});
        if (auto *box = dialog.findChild<QComboBox *>(control))
            box->setEditText(typed);
        else
            dialog.findChild<QLineEdit *>(control)->setText(typed);
        QCOMPARE(dialog.value(), machineWith(stored, loaded("")));
        QCOMPARE(shown(&dialog, control), shownAfter);
    }

    // A served machine's folder row: shown only for SERVER, Browse fills it;
    // an attended machine keeps its folder as it was.
    void servedFolderRow()
    {
        FakePlatform platform;
        platform.folderNames = {"/srv/nc"};
        SetupDialog dialog(loaded(""), {}, nullptr, &platform);
        auto *folder = dialog.findChild<QLineEdit *>("txtFolder");
        auto *extension = dialog.findChild<QLineEdit *>("Text3");
        dialog.findChild<QComboBox *>("cboNCMode")->setCurrentIndex(1);
        QVERIFY(folder->isVisibleTo(&dialog) && extension->x() < dialog.width());
        dialog.findChild<QPushButton *>("cmdFolder")->click();
        QCOMPARE(dialog.value(), machineWith("MCMODE=SERVER|MCFOLDER=/srv/nc", loaded("")));
        dialog.findChild<QComboBox *>("cboNCMode")->setCurrentIndex(0);
        QVERIFY(!folder->isVisibleTo(&dialog) && extension->x() > dialog.width());
        QCOMPARE(dialog.value(), loaded(""));
    }

    // Save refuses a served machine whose folder is missing, whose
    // extension no file could end in, or whose port another served machine
    // has.
    void saveServed()
    {
        const QString first = "MCMODE=SERVER|MCPORT=ttyFAKE1";
        UiRig<> r(iniFile({first, "MCPORT=ttyFAKE1"}));
        r.click("imgMc(2)");
        SetupDialog *dialog = r.window.setup().show(false);
        auto save = [&](const QString &folder) {
            dialog->findChild<QLineEdit *>("txtFolder")->setText(folder);
            dialog->findChild<QPushButton *>("Command1")->click();
            return r.platform.lastMessage();
        };
        dialog->findChild<QComboBox *>("cboNCMode")->setCurrentIndex(1);
        QCOMPARE(save("/gone"), "The program folder \"/gone\" can not be used: it does not exist.");
        // Not even root may write there.
        QCOMPARE(save("/proc/1"), "The program folder \"/proc/1\" can not be used: it cannot be "
                                  "written.");
        auto *extension = dialog->findChild<QLineEdit *>("Text3");
        extension->setText("tap/nc");
        QCOMPARE(save(r.dir.path()), "The extension \"tap/nc\" can not be used: it is made of "
                                     "letters, digits, \"_\" and \"-\", with a dot between two "
                                     "words (nc, tap.nc), and has at most 16 characters.");
        extension->setText(".tap.nc");
        QCOMPARE(save(r.dir.path()), "\"MC 1\" is already served on ttyFAKE1. Two served machines "
                                     "can not share a port.");
        QCOMPARE(r.file(), iniFile({first, "MCPORT=ttyFAKE1"}));
        dialog->findChild<QComboBox *>("Combo2")->setEditText("ttyFAKE0");
        save(r.dir.path());
        const QByteArray saved =
            iniFile({first, "MCMODE=SERVER|MCEXTENS=.tap.nc|MCFOLDER=" + r.dir.path()});
        QCOMPARE(r.file(), saved);
        // Saved again as it is, it keeps its own port.
        const qsizetype told = r.platform.messages.size();
        r.click("imgMc(2)");
        dialog = r.window.setup().show(false);
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.platform.messages.size(), told);
        QCOMPARE(r.file(), saved);
    }

    // The block delay chosen is the pause on the wire between one line's
    // last byte and the next line's first, to the nearest 60 Hz tick.
    void blockDelayOnTheWire_data()
    {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<int>("ms");
        QTest::newRow("Fast") << "Fast" << 0;
        QTest::newRow("90") << "90" << 90;
        QTest::newRow("200") << "200" << 200;
    }
    void blockDelayOnTheWire()
    {
        QFETCH(QString, delay);
        QFETCH(int, ms);
        UiRig<LineModelPort> r(iniFile({"MCDBITS=8|MCPARITY=None|MCFLOW=0"}));
        SetupDialog *dialog = r.window.setup().show(false);
        auto *delays = dialog->findChild<QComboBox *>("cboBlkTic");
        delays->setCurrentIndex(delays->findText(delay));
        dialog->findChild<QPushButton *>("Command1")->click();
        r.click("imgMc(1)");
        r.shop.program(1).load("G01 X1\nG01 X2\nM30\n", ProgramSource::typed());
        r.click("cmdTX");
        QVERIFY(r.clock.runUntil([&] { return !r.shop.sending(); }));
        const LineModelPort &line = r.portOf(1);
        QVERIFY(line.sent.startsWith("G01 X1\r\nG01 X2\r\nM30\r\n"));
        constexpr qint64 tick = VirtualClock::Second / 60, msNs = VirtualClock::Second / 1000;
        for (const int last : {7, 15}) {
            // Each time is when a byte has left: the next one began a character earlier.
            const qint64 pause = line.sentNs[last + 1] - line.settings().characterNs() -
                                 line.sentNs[last];
            QVERIFY2(pause > ms * msNs - tick && pause <= ms * msNs + tick,
                     qPrintable(QString::number(pause)));
        }
    }

    void saveThroughTheWindow()
    {
        UiRig<> r(iniFile({"", "", ""}));
        r.click("imgMc(3)");
        r.platform.menuChoices = {"Properties", "Delete"};
        r.click("imgMenu(2)");
        SetupDialog *dialog = r.window.setup().dialog();
        QVERIFY(dialog && dialog->isModal());
        dialog->findChild<QLineEdit *>("txtName")->setText("Lathe");
        auto *port = dialog->findChild<QComboBox *>("Combo2");
        port->setEditText("tcp://10.0.0.5"); // no port number
        dialog->findChild<QPushButton *>("Command1")->click();
        QVERIFY(r.platform.lastMessage().startsWith("\"tcp://10.0.0.5\" is neither"));
        port->setEditText("/dev/null");
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.platform.lastMessage(), "\"/dev/null\" is not a serial device. Name a serial "
                                           "port as the list shows it, or by its path, such as "
                                           "/dev/ttyUSB0 or /dev/serial/by-id/...");
        port->setEditText("rfc2217://10.0.0.5:4001");
        auto *trailer = dialog->findChild<QLineEdit *>("txtTrailer");
        trailer->setText("\\DC4\\FOO");
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.platform.lastMessage(), "The trailer can not be used: \"\\FOO\" stands for no "
                                           "byte. Write a control character by its name (\\NUL, "
                                           "\\DC2, \\EOT, ... \\US, \\DEL), any byte as \\x and "
                                           "two hex digits (\\x1A), and a backslash as \\\\.");
        trailer->clear();
        // A word the file's reader takes for a marker is no name.
        dialog->findChild<QLineEdit *>("txtName")->setText("NO_MC");
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.platform.lastMessage(), "\"NO_MC\" can not be a machine name: the configuration "
                                           "file keeps that word for itself.");
        QCOMPARE(r.file(), iniFile({"", "", ""}));
        QCOMPARE(r.find<QLabel>("lblmc(3)")->text(), QStringLiteral("MC 3"));
        dialog->findChild<QLineEdit *>("txtName")->setText("Lathe");
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.file(), iniFile({"", "", "MCNAME=Lathe|MCPORT=rfc2217://10.0.0.5:4001"}));
        QVERIFY(dialog->isVisible());
        // Machine 1 deleted: the dialog follows its machine to slot 2, and
        // saves into it whichever machine is selected.
        r.click("imgMc(1)");
        r.click("imgMenu(2)");
        QCOMPARE(r.window.setup().machine(), 2);
        r.click("imgMc(1)");
        dialog->findChild<QLineEdit *>("txtName")->setText("Lathe 2");
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.file(),
                 iniFile({"MCNAME=MC 2", "MCNAME=Lathe 2|MCPORT=rfc2217://10.0.0.5:4001"}));
        // Refused while a program is being sent.
        r.click("imgMc(1)");
        r.shop.program(1).load("G00\n", ProgramSource::typed());
        r.portOf(1).toWrite = 1;
        r.click("cmdTX");
        dialog->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(r.platform.lastMessage(),
                 QStringLiteral("The settings can not be saved while a program is being sent."));
    }
};

QTEST_MAIN(TestUiSetup)
#include "tst_ui_setup.moc"
