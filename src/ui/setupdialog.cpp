#include "ui/setupdialog.h"

#include "ui/linesettingsbox.h"
#include "ui/names.h"
#include "ui/platform.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace
{

// The old dialog's width, and right of it the finer line settings.
constexpr int kWidth = 460 + LineSettingsBox::Width;
// Taller by the row of the character check.
constexpr int kRow = 48;
constexpr int kHeight = 403 + kRow;
// Where the advanced group and Text3 wait, right of the window's edge.
constexpr int kAway = kWidth + 40;
// How much taller the dialog is with the folder row (served machines).
constexpr int kFolderRow = 54;
constexpr int kFeedbackSteps = 10;

QStringList texts(std::initializer_list<const char *> rows)
{
    QStringList out;
    for (const char *r : rows)
        out << QLatin1String(r);
    return out;
}

} // namespace

using namespace SetupControls;

SetupDialog::SetupDialog(const MachineConfig &machine, const QStringList &ports, QWidget *parent,
                         Platform *platform)
    : QDialog(parent), m_machine(machine), m_platform(platform)
{
    setObjectName(QStringLiteral("frmSetup"));
    setAccessibleName(QStringLiteral("Port Setup"));
    setWindowTitle(QStringLiteral(" Port Setup"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    if (parent) move(100, parent->y() + 60);

    m_feedback = new QTimer(this);
    m_feedback->setInterval(20);
    connect(m_feedback, &QTimer::timeout, this, [this] {
        if (++m_feedbackSteps < kFeedbackSteps) {
            m_save->resize(m_save->width() + m_saveWidth / kFeedbackSteps, m_save->height());
            return;
        }
        m_feedback->stop();
        m_save->resize(m_saveWidth, m_save->height());
    });

    buildControls();
    fillLists(ports);
    load();
    fitMode();
    connect(m_mode, &QComboBox::currentIndexChanged, this, &SetupDialog::fitMode);
}

void SetupDialog::buildControls()
{
    auto group = [this](const char *name, const QString &title, int x, int y, int height) {
        return SetupControls::group(name, title, this, x, y, 438, height);
    };

    label("lblName", QStringLiteral("MC Name"), this, 12, 10, 140);
    m_name = named(new QLineEdit(this), QStringLiteral("txtName"), QStringLiteral("MC Name"));
    m_name->setGeometry(12, 30, 150, 24);
    label("StaticText1", QStringLiteral("Mode"), this, 172, 10, 90);
    m_mode = combo("cboNCMode", QStringLiteral("Mode"), this, 172, 30, 90);
    label("StaticText13", QStringLiteral("Port"), this, 272, 10, 176);
    // A serial port as the system lists it, or a network serial server's
    // address typed in.
    m_port = combo("Combo2", QStringLiteral("Port"), this, 272, 30, 176, true);

    m_line = new LineSettingsBox(this);

    m_transmitGroup = group(
        "Frame3", QStringLiteral("Additional Transmit Options (Only affects data TO the CNC)"), 11,
        148, 76 + kRow);
    label("StaticText7", QStringLiteral("Block/Line End"), m_transmitGroup, 8, 22, 110);
    m_eob = combo("cboEOB", QStringLiteral("Block/Line End"), m_transmitGroup, 8, 42, 96);
    label("StaticText8", QStringLiteral("Block Delay"), m_transmitGroup, 120, 22, 110);
    m_delay = combo("cboBlkTic", QStringLiteral("Block Delay"), m_transmitGroup, 120, 42, 80);
    auto *advanced = named(new QPushButton(QStringLiteral("Advanced"), m_transmitGroup),
                           QStringLiteral("cmdAdvanced"), QStringLiteral("Advanced"));
    advanced->setGeometry(338, 40, 90, 26);
    advanced->setVisible(false);
    // Control characters written as escapes (\DC2); see EscapedText.
    auto framing = [this](const char *lbl, const char *name, const QString &spoken, int x) {
        label(lbl, spoken, m_transmitGroup, x, 22, 104);
        return edit(name, spoken, m_transmitGroup, x, 42, 104);
    };
    m_leader = framing("lblLeader", "txtLeader", QStringLiteral("Leader"), 212);
    m_trailer = framing("lblTrailer", "txtTrailer", QStringLiteral("Trailer"), 324);
    label("lblCharCheck", QStringLiteral("Character check"), m_transmitGroup, 8, 70, 200);
    m_charCheck =
        combo("cboCharCheck", QStringLiteral("Character check"), m_transmitGroup, 8, 90, 192);

    QGroupBox *receive = group(
        "GroupBox3", QStringLiteral("Additional Receive Options (Only affects data FROM the CNC)"),
        11, 232 + kRow, 104);
    auto radio = [receive](const char *name, const QString &text, int y) {
        auto *r = named(new QRadioButton(text, receive), QLatin1String(name), text);
        r->setGeometry(10, y, 418, 22);
        return r;
    };
    m_stripNone = radio("optStripNone",
                        QStringLiteral("Default (Accept all CarriageReturn/Line Feed from CNC)"), 22);
    m_stripLf = radio("optStripLF", QStringLiteral("Strip Line Feeds"), 48);
    m_stripCr = radio("optStripCR", QStringLiteral("Strip Carriage Returns"), 74);

    m_save = named(new QPushButton(QStringLiteral("Save"), this), QStringLiteral("Command1"),
                   QStringLiteral("Save"));
    m_save->setGeometry(130, 352 + kRow, 90, 30);
    m_close = named(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("Command2"),
                    QStringLiteral("Close"));
    m_close->setGeometry(240, 352 + kRow, 90, 30);
    m_save->setAutoDefault(false);
    m_close->setAutoDefault(false);

    // A served machine's folder, with Text3 (the extension) beside it.
    m_folderRow = new QWidget(this);
    m_folderRow->setGeometry(0, 344 + kRow, kWidth, kFolderRow);
    const QString folder = QStringLiteral("Program folder");
    label("lblFolder", folder, m_folderRow, 12, 0, 200);
    label("lblExtension", QStringLiteral("Extension"), m_folderRow, 380, 0, 68);
    m_folder = named(new QLineEdit(m_folderRow), QStringLiteral("txtFolder"), folder);
    m_folder->setGeometry(12, 20, 270, 24);
    auto *browse = named(new QPushButton(QStringLiteral("Browse..."), m_folderRow),
                         QStringLiteral("cmdFolder"), QStringLiteral("Browse..."));
    browse->setGeometry(288, 19, 84, 26);
    browse->setAutoDefault(false);

    // Start and end codes, and Text3 unless the machine is served, are kept
    // with the machine but lie out of the user's reach; nothing shows
    // cmdAdvanced.
    m_advancedGroup = group("Frame5", QStringLiteral("Advanced Options"), kAway, 148, 76);
    label("StaticText11", QStringLiteral("ASCII - Start Code"), m_advancedGroup, 8, 22, 160);
    m_startCode =
        combo("cboSOT", QStringLiteral("ASCII - Start Code"), m_advancedGroup, 8, 42, 160, true);
    label("StaticText12", QStringLiteral("ASCII - End Code"), m_advancedGroup, 180, 22, 160);
    m_endCode =
        combo("cboEOT", QStringLiteral("ASCII - End Code"), m_advancedGroup, 180, 42, 160, true);
    auto *hide = named(new QPushButton(QStringLiteral("X"), m_advancedGroup),
                       QStringLiteral("PushButton3"), QStringLiteral("Close advanced options"));
    hide->setGeometry(404, 16, 26, 22);
    m_extension = named(new QLineEdit(this), QStringLiteral("Text3"), QStringLiteral("Extension"));
    m_extension->setGeometry(kAway, 352 + kRow, 100, 24);
    m_extension->setPlaceholderText(QStringLiteral(".nc")); // what an empty one means

    connect(m_save, &QPushButton::clicked, this, [this] { emit saveRequested(value()); });
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen =
            m_platform ? m_platform->folderName(this, m_folder->text()) : QString();
        if (!chosen.isEmpty()) m_folder->setText(QDir::toNativeSeparators(chosen));
    });
    connect(advanced, &QPushButton::clicked, this, [this] {
        m_transmitGroup->move(kAway, m_transmitGroup->y());
        m_advancedGroup->move(11, m_advancedGroup->y());
    });
    connect(hide, &QPushButton::clicked, this, [this] {
        m_transmitGroup->move(11, m_transmitGroup->y());
        m_advancedGroup->move(kAway, m_advancedGroup->y());
    });
}

void SetupDialog::fillLists(const QStringList &ports)
{
    auto fill = [](QComboBox *box, const QStringList &rows, const QString &selected) {
        box->addItems(rows);
        selectRow(box, selected);
    };
    fill(m_mode, texts({"AUTO", "SERVER"}), QStringLiteral("AUTO"));
    // Each row of these lists carries the value it stands for; load()
    // chooses the rows.
    for (const Vocabulary::BlockDelay &d : Vocabulary::BlockDelays)
        m_delay->addItem(QLatin1String(d.stored), QLatin1String(d.stored));
    for (const Vocabulary::EndOfBlock &e : Vocabulary::EndsOfBlock)
        m_eob->addItem(QLatin1String(e.name), QLatin1String(e.name));
    for (const Vocabulary::CharacterCheck &c : Vocabulary::CharacterChecks)
        m_charCheck->addItem(QLatin1String(c.caption), QLatin1String(c.stored));
    fill(m_startCode, {QString(), codeText(2), codeText(3)}, QString());
    fill(m_endCode, {QString(), codeText(2), codeText(3), codeText(4), codeText(27)}, QString());
    m_port->addItems(ports);
    if (!ports.isEmpty()) m_port->addItem(QStringLiteral("none"));
    m_port->setCurrentIndex(m_port->count() > 0 ? 0 : -1);
}

QString SetupDialog::codeText(int code)
{
    switch (code) {
    case 0:
        return {};
    case 2:
        return QStringLiteral("CTRL-B, STX, 02");
    case 3:
        return QStringLiteral("CTRL-C, ETX, 03");
    case 4:
        return QStringLiteral("CTRL-D, EOT, 04");
    case 27:
        return QStringLiteral("CTRL-[, ESC, 27");
    default:
        return QString::number(code).rightJustified(2, u'0');
    }
}

void SetupDialog::loadCode(QComboBox *box, const QString &stored)
{
    const int code = leadingNumber(stored);
    const QString text = codeText(code);
    if (code != 0 && code != 2 && code != 3 && code != 4 && code != 27) {
        box->addItem(text);
        box->setCurrentIndex(box->count() - 1);
    } else if (!selectRow(box, text)) {
        // Not a row of this list (EOT and ESC as start codes): shown as typed.
        box->setCurrentIndex(0);
    }
    box->setEditText(text);
}

void SetupDialog::load()
{
    const MachineConfig &m = m_machine;
    m_name->setText(m.name());
    // A port the system no longer lists (an adapter unplugged) stays the
    // machine's port, as a row of its own, so that Save does not quietly
    // move the machine to another port.
    if (!selectRow(m_port, m.port())) {
        m_port->addItem(m.port());
        m_port->setCurrentIndex(m_port->count() - 1);
    }
    selectRow(m_mode, m.value(Key::Mode));
    m_line->load(m);

    if (!selectData(m_delay, m.value(Key::BlockDelay))) selectData(m_delay, QStringLiteral("10"));
    if (!selectData(m_eob, m.value(Key::EndOfBlock))) selectData(m_eob, QStringLiteral("CRLF"));
    m_extension->setText(m.value(Key::Extension).trimmed());
    m_leader->setText(m.value(Key::Leader));
    m_trailer->setText(m.value(Key::Trailer));
    selectData(m_charCheck, m.value(Key::CharCheck)); // else the first row: Off
    m_folder->setText(m.value(Key::Folder));
    loadCode(m_startCode, m.value(Key::StartCode));
    loadCode(m_endCode, m.value(Key::EndCode));
    const QString strip = m.value(Key::StripEob);
    (strip == u"10" ? m_stripLf : strip == u"13" ? m_stripCr : m_stripNone)->setChecked(true);
}

QString SetupDialog::storeCode(QComboBox *box)
{
    QString text = box->currentText();
    if (text.size() < 2) {
        text.prepend(u'0');
        box->setEditText(text);
    }
    const int code = leadingNumber(QStringView(text).right(2));
    if (code == 0) {
        box->setEditText(QString());
        return {};
    }
    return QString::number(code);
}

MachineConfig SetupDialog::value()
{
    MachineConfig m = m_machine;
    if (m_name->text().trimmed().isEmpty()) m_name->setText(QStringLiteral("NEW"));
    m.setValue(Key::Name, m_name->text());
    m.setValue(Key::Port, m_port->currentText().trimmed());
    m.setValue(Key::Mode, m_mode->currentText());
    m.setValue(Key::ComPar, QStringLiteral("Unused"));
    m_line->store(m);
    // An attended machine keeps its folder as it was.
    if (served()) m.setValue(Key::Folder, m_folder->text().trimmed());
    if (m.value(Key::Folder).isEmpty()) m.setValue(Key::Folder, QStringLiteral("Unused"));
    m.setValue(Key::CrLf, QStringLiteral("UNUSED"));
    m.setValue(Key::BlockDelay, m_delay->currentData().toString());
    m.setValue(Key::Extension, m_extension->text().trimmed());
    m.setValue(Key::EndOfBlock, m_eob->currentData().toString());
    m.setValue(Key::Leader, m_leader->text());
    m.setValue(Key::Trailer, m_trailer->text());
    m.setValue(Key::CharCheck, m_charCheck->currentData().toString());
    m.setValue(Key::StartCode, storeCode(m_startCode));
    m.setValue(Key::EndCode, storeCode(m_endCode));
    m.setValue(Key::StripEob, m_stripCr->isChecked()   ? QStringLiteral("13")
                              : m_stripLf->isChecked() ? QStringLiteral("10")
                                                       : QString());
    return m;
}

bool SetupDialog::served() const
{
    return m_mode->currentText() == u"SERVER";
}

void SetupDialog::fitMode()
{
    const int grow = served() ? kFolderRow : 0;
    setFixedSize(kWidth, kHeight + grow);
    m_folderRow->setVisible(served());
    // Text3 lies out of reach unless the machine is served.
    m_extension->setGeometry(served() ? 380 : kAway, (served() ? 364 : 352) + kRow,
                             served() ? 68 : 100, 24);
    m_save->move(m_save->x(), 352 + kRow + grow);
    m_close->move(m_close->x(), 352 + kRow + grow);
}

void SetupDialog::showSaved()
{
    if (!m_feedback->isActive()) m_saveWidth = m_save->width();
    m_feedbackSteps = 0;
    m_save->resize(m_saveWidth / kFeedbackSteps, m_save->height());
    m_feedback->start();
}
