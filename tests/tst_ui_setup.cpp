// The setup dialog: how it shows each stored value and what it gives back,
// and, through the window, that Save stores the machine, that the dialog
// follows its machine, and that Save is refused while a program is sent.

#include "core/config/inifile.h"
#include "linemodel.h"
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
// Save pressed; what the window said last.
QString save(SetupDialog *dialog, const FakePlatform &platform)
{
    dialog->findChild<QPushButton *>("Command1")->click();
    return platform.lastMessage();
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
        QTest::addColumn<QStringList>("row");
        const char *const rows[][3] = {
            {"", "cboFlow", "=Xon/Xoff"}, {"MCDRATE=150", "Combo1", "=150"},
            {"MCDRATE=57600", "Combo1", "=57600"}, {"MCDRATE=NOINIVAL", "Combo1", "2400"},
            {"MCSBITS=x", "Combo3", "2"}, {"MCDBITS=8|MCPARITY=None", "Combo4", "=8 Bits - No Parity"},
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
            QTest::addRow("%s %s", stored, control) << QStringList{stored, control, text};
    }
    void showsAndGivesBack()
    {
        QFETCH(QStringList, row);
        const QString stored = row[0], control = row[1], text = row[2];
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
        QTest::newRow("format") << "Combo4"
                                << "7 Bits - Even Parity|8 Bits - No Parity";
        QTest::newRow("flow") << "cboFlow"
                              << "None|Xon/Xoff|RTS/CTS|DTR/DSR";
        QTest::newRow("parity") << "cboParity"
                                << "None|Even|Odd|Mark|Space";
        QTest::newRow("data bits") << "cboDataBits"
                                   << "5|6|7|8";
        QTest::newRow("DTR") << "cboDtr"
                             << "As is|High|Low";
        QTest::newRow("RTS") << "cboRts"
                             << "As is|High|Low";
        QTest::newRow("tape code") << "cboTapeCode"
                                   << "ISO|EIA RS-244";
        QTest::newRow("protocol") << "cboProtocol"
                                  << "Plain|XMODEM|Blockwise (BCC)";
        QTest::newRow("delay") << "cboBlkTic"
                               << "5|10|25|50|70|90|150|200|Fast|None";
        QTest::newRow("end of block") << "cboEOB"
                                      << "CRLF|LF|CRLFLF|CR";
        QTest::newRow("mode") << "cboNCMode"
                              << "AUTO|SERVER";
        QTest::newRow("character check") << "cboCharCheck"
                                         << "Off|ISO only|ISO, strict comments";
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

    // The finer line settings: a stored value as shown and given back as it
    // was, then the row chosen (or the text typed) and what is stored.
    void finerSettings_data()
    {
        QTest::addColumn<QStringList>("row");
        const char *const rows[][5] = {
            {"", "cboParity", "Even", "Odd", "MCPARITY=Odd"},
            {"MCDBITS=5|MCPARITY=Mark", "cboDataBits", "5", "6", "MCDBITS=6"},
            {"MCDBITS=8|MCPARITY=Odd", "Combo4", "8 Bits - Odd Parity", "8 Bits - No Parity",
             "MCPARITY=None"},
            {"", "Combo4", "7 Bits - Even Parity", "8 Bits - No Parity", "MCDBITS=8|MCPARITY=None"},
            {"MCFLOW=5", "cboFlow", "DTR/DSR", "RTS/CTS", "MCFLOW=2"},
            {"MCDTR=HIGH", "cboDtr", "High", "Low", "MCDTR=LOW"},
            {"MCDTR=high|MCFLOW=3", "cboDtr", "As is", "Low", "MCDTR=LOW"},
            {"MCRTS=LOW", "cboRts", "Low", "As is", "MCRTS="},
            {"MCCHARDLY=5ms", "txtCharDelay", "5ms", "12", "MCCHARDLY=12"},
            {"", "txtCharCount", "", "4", "MCCHARCNT=4"},
            {"MCHSDLY=100", "txtHandshakeDelay", "100", "", "MCHSDLY="},
            {"MCCODE=ISO", "cboTapeCode", "ISO", "EIA RS-244", "MCCODE=EIA"},
            {"MCCODE=EIA", "cboTapeCode", "EIA RS-244", "ISO", "MCCODE="},
            {"MCPROTOCOL=XMODEM", "cboProtocol", "XMODEM", "Blockwise (BCC)",
             "MCPROTOCOL=BLOCKWISE"}};
        for (const auto &[stored, control, text, set, after] : rows)
            QTest::addRow("%s %s", stored, control)
                << QStringList{stored, control, text, set, after};
    }
    void finerSettings()
    {
        QFETCH(QStringList, row);
        const MachineConfig machine = machineWith(row[0], loaded(""));
        SetupDialog dialog(machine, {"ttyFAKE0"});
        QCOMPARE(shown(&dialog, row[1]), row[2]);
        QCOMPARE(dialog.value(), machine);
        QWidget *control = dialog.findChild<QWidget *>(row[1]);
        if (auto *box = qobject_cast<QComboBox *>(control))
            box->setCurrentIndex(box->findText(row[3]));
        else
            qobject_cast<QLineEdit *>(control)->setText(row[3]);
        QCOMPARE(dialog.value(), machineWith(row[4], machine));
    }
    // Saved untouched, a machine's section is written back byte for byte.
    void untouchedSavedAsItWas_data()
    {
        QTest::addColumn<QString>("values");
        QTest::newRow("plain") << "";
        QTest::newRow("8N2, wait mode, LF")
            << "MCDBITS=8|MCPARITY=None|MCSBITS=2|MCFLOW=3|MCEOB=LF";
        QTest::newRow("finer, as typed") << "MCDTR=high|MCCHARDLY=5ms|MCCODE=ISO|MCPROTOCOL=PLAIN";
    }
    void untouchedSavedAsItWas()
    {
        QFETCH(QString, values);
        const QByteArray file = iniFile({values});
        MachineTable table = IniFile::parse(file, QStringLiteral("/cnc/"));
        table.set(1, SetupDialog(table.at(1), {"ttyFAKE0"}).value());
        QCOMPARE(IniFile::serialise(table), file);
    }

    // What is typed, what is stored, and what the dialog then shows.
    void edits_data()
    {
        QTest::addColumn<QStringList>("row");
        const char *const rows[][4] = {{"txtName", "   ", "MCNAME=NEW", "NEW"},
                                       {"cboSOT", "7", "MCSOT=7", "07"},
                                       {"cboSOT", "127", "MCSOT=27", "127"},
                                       {"cboSOT", "ab", "MCSOT=", ""},
                                       {"txtLeader", "\\NUL%", "MCLEADER=\\NUL%", "\\NUL%"}};
        for (const auto &[control, typed, stored, after] : rows)
            QTest::addRow("%s '%s'", control, typed) << QStringList{control, typed, stored, after};
    }
    void edits()
    {
        QFETCH(QStringList, row);
        const QString control = row[0], typed = row[1], stored = row[2], shownAfter = row[3];
        SetupDialog dialog(loaded(""), {"ttyFAKE0"});
        if (auto *box = dialog.findChild<QComboBox *>(control))
            box->setEditText(typed);
        else
            dialog.findChild<QLineEdit *>(control)->setText(typed);
        QCOMPARE(dialog.value(), machineWith(stored, loaded("")));
        QCOMPARE(shown(&dialog, control), shownAfter);
    }

    // A served machine's folder row: shown only for SERVER, Browse fills it;
    // an attended machine keeps its folder as it was. Save refuses a served
    // machine whose folder is missing, whose extension no file could end
    // in, or whose port another served machine has.
    void saveServed()
    {
        const QString first = "MCMODE=SERVER|MCPORT=ttyFAKE1";
        UiRig<> r(iniFile({first, "MCPORT=ttyFAKE1"}));
        r.click("imgMc(2)");
        SetupDialog *dialog = r.window.setup().show(false);
        auto *folder = dialog->findChild<QLineEdit *>("txtFolder");
        auto *extension = dialog->findChild<QLineEdit *>("Text3");
        auto *mode = dialog->findChild<QComboBox *>("cboNCMode");
        mode->setCurrentIndex(1);
        QVERIFY(folder->isVisibleTo(dialog) && extension->x() < dialog->width());
        r.platform.folderNames = {"/srv/nc"};
        dialog->findChild<QPushButton *>("cmdFolder")->click();
        const MachineConfig attended = r.shop.machines().at(2);
        QCOMPARE(dialog->value(), machineWith("MCMODE=SERVER|MCFOLDER=/srv/nc", attended));
        mode->setCurrentIndex(0);
        QVERIFY(!folder->isVisibleTo(dialog) && extension->x() > dialog->width());
        QCOMPARE(dialog->value(), attended);
        mode->setCurrentIndex(1);
        auto saveIn = [&](const QString &path) {
            folder->setText(path);
            return save(dialog, r.platform);
        };
        QCOMPARE(saveIn("/gone"),
                 "The program folder \"/gone\" can not be used: it does not exist.");
        // Not even root may write there.
        QCOMPARE(saveIn("/proc/1"), "The program folder \"/proc/1\" can not be used: it cannot be "
                                    "written.");
        extension->setText("tap/nc");
        QCOMPARE(saveIn(r.dir.path()), "The extension \"tap/nc\" can not be used: it is made of "
                                       "letters, digits, \"_\" and \"-\", with a dot between two "
                                       "words (nc, tap.nc), and has at most 16 characters.");
        extension->setText(".tap.nc");
        QCOMPARE(saveIn(r.dir.path()), "\"MC 1\" is already served on ttyFAKE1. Two served "
                                       "machines can not share a port.");
        QCOMPARE(r.file(), iniFile({first, "MCPORT=ttyFAKE1"}));
        dialog->findChild<QComboBox *>("Combo2")->setEditText("ttyFAKE0");
        saveIn(r.dir.path());
        const QByteArray saved =
            iniFile({first, "MCMODE=SERVER|MCEXTENS=.tap.nc|MCFOLDER=" + r.dir.path()});
        QCOMPARE(r.file(), saved);
        // Saved again as it is, it keeps its own port.
        const qsizetype told = r.platform.messages.size();
        r.click("imgMc(2)");
        save(r.window.setup().show(false), r.platform);
        QCOMPARE(r.platform.messages.size(), told);
        QCOMPARE(r.file(), saved);
    }

    // The block delay chosen is the pause on the wire between one line's
    // last byte and the next line's first, to the nearest 60 Hz tick.
    void blockDelayOnTheWire_data()
    {
        QTest::addColumn<QString>("delay");
        for (const char *delay : {"Fast", "90", "200"})
            QTest::newRow(delay) << QString(delay);
    }
    void blockDelayOnTheWire()
    {
        QFETCH(QString, delay);
        const int ms = delay.toInt(); // Fast: 0
        UiRig<LineModelPort> r(iniFile({"MCDBITS=8|MCPARITY=None|MCFLOW=0"}));
        SetupDialog *dialog = r.window.setup().show(false);
        auto *delays = dialog->findChild<QComboBox *>("cboBlkTic");
        delays->setCurrentIndex(delays->findText(delay));
        save(dialog, r.platform);
        r.click("imgMc(1)");
        r.shop.program(1).load("G01 X1\nG01 X2\nM30\n", ProgramSource::typed());
        QVERIFY(r.clickToEnd());
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
        auto *name = dialog->findChild<QLineEdit *>("txtName");
        auto *port = dialog->findChild<QComboBox *>("Combo2");
        name->setText("Lathe");
        port->setEditText("tcp://10.0.0.5"); // no port number
        QVERIFY(save(dialog, r.platform).startsWith("\"tcp://10.0.0.5\" is neither"));
        port->setEditText("/dev/null");
        QCOMPARE(save(dialog, r.platform), "\"/dev/null\" is not a serial device. Name a serial "
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
        name->setText("NO_MC");
        QCOMPARE(save(dialog, r.platform), "\"NO_MC\" can not be a machine name: the "
                                           "configuration file keeps that word for itself.");
        QCOMPARE(r.file(), iniFile({"", "", ""}));
        QCOMPARE(r.find<QLabel>("lblmc(3)")->text(), QStringLiteral("MC 3"));
        name->setText("Lathe");
        save(dialog, r.platform);
        QCOMPARE(r.file(), iniFile({"", "", "MCNAME=Lathe|MCPORT=rfc2217://10.0.0.5:4001"}));
        QVERIFY(dialog->isVisible());
        // Machine 1 deleted: the dialog follows its machine to slot 2, and
        // saves into it whichever machine is selected.
        r.click("imgMc(1)");
        r.click("imgMenu(2)");
        QCOMPARE(r.window.setup().machine(), 2);
        r.click("imgMc(1)");
        name->setText("Lathe 2");
        save(dialog, r.platform);
        QCOMPARE(r.file(),
                 iniFile({"MCNAME=MC 2", "MCNAME=Lathe 2|MCPORT=rfc2217://10.0.0.5:4001"}));
        // Refused while a program is being sent.
        r.click("imgMc(1)");
        r.shop.program(1).load("G00\n", ProgramSource::typed());
        r.portOf(1).toWrite = 1;
        r.click("cmdTX");
        QCOMPARE(save(dialog, r.platform),
                 QStringLiteral("The settings can not be saved while a program is being sent."));
    }
};

QTEST_MAIN(TestUiSetup)
#include "tst_ui_setup.moc"
