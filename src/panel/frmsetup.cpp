#include "panel/frmsetup.h"

#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "panel/machinepanel.h"
#include "serial/serial.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace
{

constexpr int kWidth = 460;
constexpr int kHeight = 403;
// Where the advanced group and Text3 wait, right of the window's edge.
constexpr int kAway = 500;
constexpr int kFeedbackSteps = 10;
constexpr int kRefreshAtStep = 8;
constexpr int kFeedbackPeriodMs = 20;

template <typename W> W *named(W *w, const char *name, const QString &accessible)
{
    w->setObjectName(QLatin1String(name));
    w->setAccessibleName(accessible);
    return w;
}

} // namespace

frmSetup::frmSetup(frmHalvec &win) : QDialog(&win), w(win), m_panel(win.panel)
{
    setObjectName(QStringLiteral("frmSetup"));
    setAccessibleName(QStringLiteral("Port Setup"));
    setWindowTitle(QStringLiteral(" Port Setup"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);

    m_feedback = new QTimer(this);
    m_feedback->setInterval(kFeedbackPeriodMs);
    connect(m_feedback, &QTimer::timeout, this, &frmSetup::feedbackStep);

    buildControls();

    if (w.m.AddingMC) {
        // Creating a machine: the user never sees this dialog, and the new
        // machine takes the default rows.
        move(-10000, y());
        ++w.m.Last_MC;
        MCNo = w.m.Last_MC;
        fillLists();
    } else {
        move(100, w.y() + 60);
        MCNo = w.m.SelectedMC;
        fillLists();
        SetCurrentMCvalues();
    }
}

void frmSetup::buildControls()
{
    auto label = [this](const char *name, const QString &text, QWidget *parent, int x, int y,
                        int width) {
        auto *l = named(new QLabel(text, parent), name, text);
        l->setGeometry(x, y, width, 18);
        return l;
    };
    auto combo = [](const char *name, const QString &spoken, QWidget *parent, int x, int y,
                    int width, bool editable = false) {
        auto *c = named(new QComboBox(parent), name, spoken);
        c->setEditable(editable);
        c->setGeometry(x, y, width, 24);
        return c;
    };

    lblName = label("lblName", QStringLiteral("MC Name"), this, 12, 10, 140);
    txtName = named(new QLineEdit(this), "txtName", QStringLiteral("MC Name"));
    txtName->setGeometry(12, 30, 150, 24);
    StaticText1 = label("StaticText1", QStringLiteral("Mode"), this, 172, 10, 90);
    cboNCMode = combo("cboNCMode", QStringLiteral("Mode"), this, 172, 30, 90);
    StaticText13 = label("StaticText13", QStringLiteral("Port"), this, 272, 10, 176);
    Combo2 = combo("Combo2", QStringLiteral("Port"), this, 272, 30, 176);

    GroupBox1 = named(new QGroupBox(QStringLiteral("Communication Port Settings"), this),
                      "GroupBox1", QStringLiteral("Communication Port Settings"));
    GroupBox1->setGeometry(11, 64, 438, 76);
    StaticText2 = label("StaticText2", QStringLiteral("Speed (Baud Rate)"), GroupBox1, 8, 22, 120);
    Combo1 = combo("Combo1", QStringLiteral("Speed (Baud Rate)"), GroupBox1, 8, 42, 110);
    StaticText4 = label("StaticText4", QStringLiteral("Data Format"), GroupBox1, 128, 22, 140);
    Combo4 = combo("Combo4", QStringLiteral("Data Format"), GroupBox1, 128, 42, 140);
    StaticText5 = label("StaticText5", QStringLiteral("Stop Bits"), GroupBox1, 274, 22, 60);
    Combo3 = combo("Combo3", QStringLiteral("Stop Bits"), GroupBox1, 274, 42, 52);
    StaticText3 = label("StaticText3", QStringLiteral("Flow Control"), GroupBox1, 334, 22, 98);
    cboFlow = combo("cboFlow", QStringLiteral("Flow Control"), GroupBox1, 334, 42, 98);

    const QString txOptions =
        QStringLiteral("Additional Transmit Options (Only affects data TO the CNC)");
    Frame3 = named(new QGroupBox(txOptions, this), "Frame3", txOptions);
    Frame3->setGeometry(11, 148, 438, 76);
    StaticText7 = label("StaticText7", QStringLiteral("Block/Line End"), Frame3, 8, 22, 110);
    cboEOB = combo("cboEOB", QStringLiteral("Block/Line End"), Frame3, 8, 42, 96);
    StaticText8 = label("StaticText8", QStringLiteral("Block Delay"), Frame3, 120, 22, 110);
    cboBlkTic = combo("cboBlkTic", QStringLiteral("Block Delay"), Frame3, 120, 42, 80);
    cmdAdvanced = named(new QPushButton(QStringLiteral("Advanced"), Frame3), "cmdAdvanced",
                        QStringLiteral("Advanced"));
    cmdAdvanced->setGeometry(338, 40, 90, 26);
    cmdAdvanced->setVisible(false);

    const QString rxOptions =
        QStringLiteral("Additional Receive Options (Only affects data FROM the CNC)");
    GroupBox3 = named(new QGroupBox(rxOptions, this), "GroupBox3", rxOptions);
    GroupBox3->setGeometry(11, 232, 438, 104);
    const QString stripNone =
        QStringLiteral("Default (Accept all CarriageReturn/Line Feed from CNC)");
    optStripNone = named(new QRadioButton(stripNone, GroupBox3), "optStripNone", stripNone);
    optStripNone->setGeometry(10, 22, 418, 22);
    optStripLF = named(new QRadioButton(QStringLiteral("Strip Line Feeds"), GroupBox3),
                       "optStripLF", QStringLiteral("Strip Line Feeds"));
    optStripLF->setGeometry(10, 48, 418, 22);
    optStripCR = named(new QRadioButton(QStringLiteral("Strip Carriage Returns"), GroupBox3),
                       "optStripCR", QStringLiteral("Strip Carriage Returns"));
    optStripCR->setGeometry(10, 74, 418, 22);

    Command1 =
        named(new QPushButton(QStringLiteral("Save"), this), "Command1", QStringLiteral("Save"));
    Command1->setGeometry(130, 352, 90, 30);
    Command2 =
        named(new QPushButton(QStringLiteral("Close"), this), "Command2", QStringLiteral("Close"));
    Command2->setGeometry(240, 352, 90, 30);
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);

    // Start and end codes and Text3 are kept with the machine but lie out of
    // the user's reach; nothing shows cmdAdvanced.
    Frame5 = named(new QGroupBox(QStringLiteral("Advanced Options"), this), "Frame5",
                   QStringLiteral("Advanced Options"));
    Frame5->setGeometry(kAway, 148, 438, 76);
    StaticText11 = label("StaticText11", QStringLiteral("ASCII - Start Code"), Frame5, 8, 22, 160);
    cboSOT = combo("cboSOT", QStringLiteral("ASCII - Start Code"), Frame5, 8, 42, 160, true);
    StaticText12 = label("StaticText12", QStringLiteral("ASCII - End Code"), Frame5, 180, 22, 160);
    cboEOT = combo("cboEOT", QStringLiteral("ASCII - End Code"), Frame5, 180, 42, 160, true);
    PushButton3 = named(new QPushButton(QStringLiteral("X"), Frame5), "PushButton3",
                        QStringLiteral("Close advanced options"));
    PushButton3->setGeometry(404, 16, 26, 22);
    Text3 = named(new QLineEdit(this), "Text3", QStringLiteral("Extension"));
    Text3->setGeometry(kAway, 352, 100, 24);

    connect(Command1, &QPushButton::clicked, this, &frmSetup::SaveSettings);
    connect(Command2, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdAdvanced, &QPushButton::clicked, this, [this] {
        Frame3->move(kAway, Frame3->y());
        Frame5->move(11, Frame5->y());
    });
    connect(PushButton3, &QPushButton::clicked, this, [this] {
        Frame3->move(11, Frame3->y());
        Frame5->move(kAway, Frame5->y());
    });
}

void frmSetup::fillLists()
{
    auto fill = [](QComboBox *box, const QStringList &rows, const QString &selected) {
        box->clear();
        box->addItems(rows);
        SetComboDefault(box, selected);
    };
    // The stop-bits list is the one not emptied first; it starts empty.
    Combo3->addItems({QStringLiteral("1"), QStringLiteral("2")});
    SetComboDefault(Combo3, QStringLiteral("1"));
    fill(Combo4, {QStringLiteral("7 Bits - Even Parity"), QStringLiteral("8 Bits - No Parity")},
         QStringLiteral("7 Bits - Even Parity"));
    fill(Combo1,
         {QStringLiteral("150"), QStringLiteral("300"), QStringLiteral("600"),
          QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
          QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
          QStringLiteral("57600"), QStringLiteral("115200")},
         QStringLiteral("1200"));
    fill(cboNCMode, {QStringLiteral("AUTO")}, QStringLiteral("AUTO"));

    // Each flow row carries the code it stores.
    cboFlow->clear();
    cboFlow->addItem(QStringLiteral("None"), QStringLiteral("0"));
    cboFlow->addItem(QStringLiteral("Xon/Xoff"), QStringLiteral("1"));
    cboFlow->addItem(QStringLiteral("RTS/CTS"), QStringLiteral("2"));
    SetComboDefault(cboFlow, QStringLiteral("Xon/Xoff"));

    fill(cboBlkTic,
         {QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("25"), QStringLiteral("50"),
          QStringLiteral("70"), QStringLiteral("90"), QStringLiteral("150"), QStringLiteral("200"),
          QStringLiteral("Fast")},
         QStringLiteral("10"));
    fill(cboEOB,
         {QStringLiteral("CRLF"), QStringLiteral("LF"), QStringLiteral("CRLFLF"),
          QStringLiteral("CR")},
         QStringLiteral("CRLF"));
    fill(cboSOT, {QString(), codeText(2), codeText(3)}, QString());
    fill(cboEOT, {QString(), codeText(2), codeText(3), codeText(4), codeText(27)}, QString());

    Combo2->clear();
    const int count = w.ports.SerialPortCount();
    for (int i = 0; i < count; ++i)
        Combo2->addItem(w.ports.Name(i));
    if (count > 0) Combo2->addItem(QStringLiteral("none"));
    Combo2->setCurrentIndex(Combo2->count() > 0 ? 0 : -1);
}

bool frmSetup::SetComboDefault(QComboBox *list, const QString &text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->itemText(row) == text) {
            list->setCurrentIndex(row);
            return true;
        }
    }
    return false;
}

QString frmSetup::codeText(int code)
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
        return QString::number(code).rightJustified(2, QLatin1Char('0'));
    }
}

void frmSetup::loadCode(QComboBox *box, const QString &stored)
{
    const int code = Module1::leadingNumber(stored);
    const QString text = codeText(code);
    const bool named = code == 0 || code == 2 || code == 3 || code == 4 || code == 27;
    if (!named) {
        box->addItem(text);
        box->setCurrentIndex(box->count() - 1);
    } else if (!SetComboDefault(box, text)) {
        // Not a row of this list (EOT and ESC as start codes): shown as typed.
        box->setCurrentIndex(0);
    }
    box->setEditText(text);
}

void frmSetup::SetCurrentMCvalues()
{
    const Module1 &m = w.m;
    const int mc = MCNo;
    txtName->setText(m.mc(mc, MCNAME));

    // A port the platform no longer lists (an adapter unplugged) stays the
    // machine's port, as a row of its own, so that Save does not quietly
    // move the machine to another port.
    const QString port = m.mc(mc, MCPORT);
    if (!SetComboDefault(Combo2, port)) {
        Combo2->addItem(port);
        Combo2->setCurrentIndex(Combo2->count() - 1);
    }

    SetComboDefault(cboNCMode, m.mc(mc, MCMODE));
    if (!SetComboDefault(Combo1, m.mc(mc, MCDRATE)))
        SetComboDefault(Combo1, QStringLiteral("2400"));
    SetComboDefault(Combo4, m.mc(mc, MCDBITS) == QLatin1String("8")
                                ? QStringLiteral("8 Bits - No Parity")
                                : QStringLiteral("7 Bits - Even Parity"));
    if (!SetComboDefault(Combo3, m.mc(mc, MCSBITS))) SetComboDefault(Combo3, QStringLiteral("2"));

    // The machine's flow control, including the two wait modes, which get
    // rows of their own so that a save keeps them.
    const QString flow = m.mc(mc, MCFLOW);
    int flowRow = cboFlow->findData(flow);
    if (flowRow < 0 && (flow == QLatin1String("3") || flow == QLatin1String("4"))) {
        cboFlow->addItem(MachinePanel::flowName(flow), flow);
        flowRow = cboFlow->count() - 1;
    }
    cboFlow->setCurrentIndex(flowRow >= 0 ? flowRow : cboFlow->findData(QStringLiteral("0")));

    if (!SetComboDefault(cboBlkTic, m.mc(mc, MCBLKTIC)))
        SetComboDefault(cboBlkTic, QStringLiteral("10"));
    if (!SetComboDefault(cboEOB, m.mc(mc, MCEOB))) SetComboDefault(cboEOB, QStringLiteral("CRLF"));
    Text3->setText(m.mc(mc, MCEXTENS).trimmed());
    loadCode(cboSOT, m.mc(mc, MCSOT));
    loadCode(cboEOT, m.mc(mc, MCEOT));

    const QString strip = m.mc(mc, MCSTRIPEOB);
    QRadioButton *on = strip == QLatin1String("10")   ? optStripLF
                       : strip == QLatin1String("13") ? optStripCR
                                                      : optStripNone;
    on->setChecked(true);
}

QString frmSetup::storeCode(QComboBox *box)
{
    QString text = box->currentText();
    if (text.size() < 2) {
        text.prepend(QLatin1Char('0'));
        box->setEditText(text);
    }
    const int code = Module1::leadingNumber(text.right(2));
    if (code == 0) {
        box->setEditText(QString());
        return {};
    }
    return QString::number(code);
}

bool frmSetup::storeSettings()
{
    Module1 &m = w.m;
    const int mc = MCNo;
    if (mc < 1 || mc > m.Last_MC || mc > Module1::Max_MC) return false;

    if (txtName->text().trimmed().isEmpty()) txtName->setText(QStringLiteral("NEW"));
    m.setMc(mc, MCNAME, txtName->text());
    m.setMc(mc, MCPORT, Combo2->currentIndex() >= 0 ? Combo2->currentText() : QString());
    m.setMc(mc, MCMODE, cboNCMode->currentText());
    m.setMc(mc, MCCOMPAR, QStringLiteral("Unused"));
    m.setMc(mc, MCDRATE, Combo1->currentText());
    if (Module1::leadingNumber(Combo4->currentText()) == 8) {
        m.setMc(mc, MCDBITS, QStringLiteral("8"));
        m.setMc(mc, MCPARITY, QStringLiteral("None"));
    } else {
        m.setMc(mc, MCDBITS, QStringLiteral("7"));
        m.setMc(mc, MCPARITY, QStringLiteral("Even"));
    }
    m.setMc(mc, MCSBITS, Combo3->currentText());
    if (m.mc(mc, MCFOLDER).isEmpty()) m.setMc(mc, MCFOLDER, QStringLiteral("Unused"));
    m.setMc(mc, MCFLOW, cboFlow->currentData().toString());
    m.setMc(mc, MCCRLF, QStringLiteral("UNUSED"));
    m.setMc(mc, MCBLKTIC, cboBlkTic->currentText());
    m.setMc(mc, MCEXTENS, Text3->text().trimmed());
    m.setMc(mc, MCEOB, cboEOB->currentText());
    m.setMc(mc, MCSOT, storeCode(cboSOT));
    m.setMc(mc, MCEOT, storeCode(cboEOT));
    QString strip;
    if (optStripCR->isChecked()) strip = QStringLiteral("13");
    if (optStripLF->isChecked()) strip = QStringLiteral("10");
    m.setMc(mc, MCSTRIPEOB, strip);
    return m.WriteIni(0);
}

void frmSetup::SaveSettings()
{
    const bool adding = w.m.AddingMC;
    if (!adding && m_panel && m_panel->sending()) {
        // The reload after a save would pull the selection from under the
        // running send.
        w.platform.message(this, QLatin1String(busyMessage), QString(), QMessageBox::Ok,
                           Platform::Icon::Caution);
        return;
    }
    const bool written = storeSettings();
    if (adding) return; // the panel reloads itself once the new machine is stored
    if (!written) {
        // The window has reported the failure; show what the file holds.
        if (m_panel) m_panel->RefreshMCView();
        return;
    }

    // Feedback: the button grows back from nothing in ten steps, and the
    // panel reloads on the way.
    if (!m_feedback->isActive()) m_saveWidth = Command1->width();
    m_feedbackSteps = 0;
    m_refreshed = false;
    Command1->resize(0, Command1->height());
    feedbackStep();
    m_feedback->start();
}

void frmSetup::feedbackStep()
{
    if (m_feedbackSteps < kFeedbackSteps) {
        ++m_feedbackSteps;
        Command1->resize(Command1->width() + m_saveWidth / kFeedbackSteps, Command1->height());
        if (m_feedbackSteps == kRefreshAtStep && m_panel) {
            m_refreshed = true;
            m_panel->RefreshMCView();
        }
        return;
    }
    m_feedback->stop();
    Command1->resize(m_saveWidth, Command1->height());
    // Only when the user clicked an icon during the last steps.
    if (w.m.SelectedMC > 0 && m_panel) m_panel->ShowSelectedMC();
}

bool frmSetup::saveFeedbackRunning() const
{
    return m_feedback->isActive();
}

void frmSetup::finishFeedback()
{
    if (!m_feedback->isActive()) return;
    m_feedback->stop();
    Command1->resize(m_saveWidth, Command1->height());
    if (!m_refreshed && m_panel) {
        m_refreshed = true;
        m_panel->RefreshMCView();
    }
}

void frmSetup::hideEvent(QHideEvent *e)
{
    // Closed while the feedback runs: the panel must still be reloaded.
    finishFeedback();
    QDialog::hideEvent(e);
}
