#include "ui/linesettingsbox.h"

#include "core/ports/linesettings.h"
#include "ui/names.h"

#include <QComboBox>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <utility>

namespace
{
// Parity as stored and shown.
constexpr const char *kParities[] = {"None", "Even", "Odd", "Mark", "Space"};
constexpr int kDataBits[] = {5, 6, 7, 8};
// The finer settings' group, right of the port group.
constexpr int kFinerX = 459;
constexpr int kColumn = 106;
constexpr int kRowHeight = 48;

// The stored text of the row a stored value reads as.
const char *readAs(Key key, QByteArrayView stored)
{
    if (key == Key::TapeCode) return Vocabulary::tapeCode(stored).stored;
    if (key == Key::Protocol) return Vocabulary::protocol(stored).stored;
    return Vocabulary::heldLine(stored).stored;
}

template <typename Rows, typename Member>
void addRows(QComboBox *box, const Rows &rows, Member caption, Member stored)
{
    for (const auto &row : rows)
        box->addItem(QLatin1String(row.*caption), QLatin1String(row.*stored));
}
} // namespace

namespace SetupControls
{
QLabel *label(const char *name, const QString &text, QWidget *parent, int x, int y, int width)
{
    auto *l = named(new QLabel(text, parent), QLatin1String(name), text);
    l->setGeometry(x, y, width, 18);
    return l;
}

QComboBox *combo(const char *name, const QString &spoken, QWidget *parent, int x, int y, int width,
                 bool editable)
{
    auto *c = named(new QComboBox(parent), QLatin1String(name), spoken);
    c->setEditable(editable);
    c->setGeometry(x, y, width, 24);
    return c;
}

QLineEdit *edit(const char *name, const QString &spoken, QWidget *parent, int x, int y, int width)
{
    auto *e = named(new QLineEdit(parent), QLatin1String(name), spoken);
    e->setGeometry(x, y, width, 24);
    return e;
}

QGroupBox *group(const char *name, const QString &title, QWidget *parent, int x, int y, int width,
                 int height)
{
    auto *g = named(new QGroupBox(title, parent), QLatin1String(name), title);
    g->setGeometry(x, y, width, height);
    return g;
}

bool selectData(QComboBox *list, const QVariant &data)
{
    const int row = list->findData(data);
    if (row >= 0) list->setCurrentIndex(row);
    return row >= 0;
}

bool selectRow(QComboBox *list, const QString &text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->itemText(row) == text) {
            list->setCurrentIndex(row);
            return true;
        }
    }
    return false;
}
} // namespace SetupControls

using namespace SetupControls;

QString LineSettingsBox::Field::now() const
{
    return box ? box->currentText() : edit->text();
}

LineSettingsBox::LineSettingsBox(QWidget *dialog) : QObject(dialog)
{
    build(dialog);
    for (qint32 speed : Vocabulary::Speeds)
        m_speed->addItem(QString::number(speed), speed);
    for (const Vocabulary::DataFormat &f : Vocabulary::DataFormats)
        m_format->addItem(QLatin1String(f.caption), f.bits);
    m_stopBits->addItems({QStringLiteral("1"), QStringLiteral("2")});
    for (int i = 0; i < Vocabulary::OfferedFlows; ++i)
        addFlowRow(Vocabulary::Flows[size_t(i)]);
    addFlowRow(Vocabulary::flow("5"));
    for (int bits : kDataBits)
        m_dataBits->addItem(QString::number(bits), bits);
    for (const char *parity : kParities)
        m_parity->addItem(QLatin1String(parity));
    using Vocabulary::HeldLineName, Vocabulary::TapeCodeName, Vocabulary::ProtocolName;
    for (const Field &f : m_fields) {
        if (f.key == Key::TapeCode)
            addRows(f.box, Vocabulary::TapeCodes, &TapeCodeName::caption, &TapeCodeName::stored);
        else if (f.key == Key::Protocol)
            addRows(f.box, Vocabulary::Protocols, &ProtocolName::caption, &ProtocolName::stored);
        else if (f.box)
            addRows(f.box, Vocabulary::HeldLines, &HeldLineName::caption, &HeldLineName::stored);
    }
    connect(m_dataBits, &QComboBox::currentIndexChanged, this, &LineSettingsBox::fitFormat);
    connect(m_parity, &QComboBox::currentIndexChanged, this, &LineSettingsBox::fitFormat);
    connect(m_format, &QComboBox::currentIndexChanged, this, &LineSettingsBox::takeFormat);
}

void LineSettingsBox::build(QWidget *dialog)
{
    QGroupBox *port =
        group("GroupBox1", QStringLiteral("Communication Port Settings"), dialog, 11, 64, 438, 76);
    label("StaticText2", QStringLiteral("Speed (Baud Rate)"), port, 8, 22, 120);
    m_speed = combo("Combo1", QStringLiteral("Speed (Baud Rate)"), port, 8, 42, 110);
    label("StaticText4", QStringLiteral("Data Format"), port, 128, 22, 140);
    m_format = combo("Combo4", QStringLiteral("Data Format"), port, 128, 42, 140);
    label("StaticText5", QStringLiteral("Stop Bits"), port, 274, 22, 60);
    m_stopBits = combo("Combo3", QStringLiteral("Stop Bits"), port, 274, 42, 52);
    label("StaticText3", QStringLiteral("Flow Control"), port, 334, 22, 98);
    m_flow = combo("cboFlow", QStringLiteral("Flow Control"), port, 334, 42, 98);

    QGroupBox *finer = group("GroupBox2", QStringLiteral("More Line Settings"), dialog, kFinerX, 64,
                             Width - 10, 22 + 6 * kRowHeight + 8);
    // Row `row`, column `column` (0 or 1; a long caption takes both).
    auto place = [finer](const char *lbl, const char *name, const char *caption, int row,
                         int column, bool isEdit) -> std::pair<QComboBox *, QLineEdit *> {
        const int x = 8 + column * kColumn, y = 22 + row * kRowHeight;
        label(lbl, QLatin1String(caption), finer, x, y, isEdit ? 2 * kColumn - 8 : kColumn - 8);
        if (isEdit) return {nullptr, edit(name, QLatin1String(caption), finer, x, y + 20, 96)};
        return {combo(name, QLatin1String(caption), finer, x, y + 20, kColumn - 8), nullptr};
    };
    m_dataBits = place("lblDataBits", "cboDataBits", "Data Bits", 0, 0, false).first;
    m_parity = place("lblParity", "cboParity", "Parity", 0, 1, false).first;
    const struct {
        Key key;
        const char *label, *name, *caption;
        int row, column;
        bool isEdit;
    } fields[] = {
        {Key::DtrLine, "lblDtr", "cboDtr", "DTR Line", 1, 0, false},
        {Key::RtsLine, "lblRts", "cboRts", "RTS Line", 1, 1, false},
        {Key::CharDelay, "lblCharDelay", "txtCharDelay", "Character Delay (ms)", 2, 0, true},
        {Key::CharsPerDelay, "lblCharCount", "txtCharCount", "Characters Between Delays", 3, 0,
         true},
        {Key::HandshakeDelay, "lblHandshakeDelay", "txtHandshakeDelay",
         "Delay After Handshake (ms)", 4, 0, true},
        {Key::TapeCode, "lblTapeCode", "cboTapeCode", "Tape Code", 5, 0, false},
        {Key::Protocol, "lblProtocol", "cboProtocol", "Protocol", 5, 1, false},
    };
    for (const auto &f : fields) {
        const auto [box, line] = place(f.label, f.name, f.caption, f.row, f.column, f.isEdit);
        if (line) line->setValidator(new QIntValidator(0, 99999, line));
        m_fields.append({f.key, box, line, {}});
    }
}

void LineSettingsBox::addFlowRow(const Vocabulary::Flow &flow)
{
    m_flow->addItem(flow.mode == FlowMode::None ? QStringLiteral("None") : QLatin1String(flow.name),
                    QLatin1String(flow.code));
}

void LineSettingsBox::load(const MachineConfig &m)
{
    if (!selectData(m_speed, LineSettings::speedOf(m.value(Key::Speed)))) selectData(m_speed, 2400);
    if (!selectRow(m_stopBits, m.value(Key::StopBits))) selectRow(m_stopBits, QStringLiteral("2"));
    // Data bits and parity as stored where they are among the rows; else
    // as the data format has always read them.
    if (!selectRow(m_dataBits, m.value(Key::DataBits)))
        selectData(m_dataBits, Vocabulary::storedDataFormat(m.bytes(Key::DataBits)).bits);
    if (!selectRow(m_parity, m.value(Key::Parity)))
        selectRow(m_parity,
                  QLatin1String(Vocabulary::dataFormat(m_dataBits->currentData().toInt()).parity));
    fitFormat();

    // The machine's flow control, the two wait modes included: they get
    // rows of their own so that a save keeps them.
    const Vocabulary::Flow &flow = Vocabulary::flow(m.bytes(Key::Flow));
    if (!selectData(m_flow, QLatin1String(flow.code))) {
        addFlowRow(flow);
        m_flow->setCurrentIndex(m_flow->count() - 1);
    }
    for (Field &f : m_fields) {
        if (f.edit)
            f.edit->setText(m.value(f.key));
        else // "ISO", "PLAIN" and unknown texts: the row they read as
            selectData(f.box, QLatin1String(readAs(f.key, m.bytes(f.key))));
        f.loaded = f.now();
    }
}

void LineSettingsBox::store(MachineConfig &m) const
{
    m.setValue(Key::Speed, QString::number(m_speed->currentData().toInt()));
    m.setValue(Key::DataBits, m_dataBits->currentText());
    m.setValue(Key::Parity, m_parity->currentText());
    m.setValue(Key::StopBits, m_stopBits->currentText());
    m.setValue(Key::Flow, m_flow->currentData().toString());
    for (const Field &f : m_fields) {
        if (f.now() == f.loaded) continue;
        m.setValue(f.key, f.box ? f.box->currentData().toString() : f.edit->text().trimmed());
    }
}

void LineSettingsBox::fitFormat()
{
    const int bits = m_dataBits->currentData().toInt();
    const QString parity = m_parity->currentText();
    const int presets = int(Vocabulary::DataFormats.size());
    for (int i = 0; i < presets; ++i) {
        const Vocabulary::DataFormat &f = Vocabulary::DataFormats[size_t(i)];
        if (f.bits != bits || parity != QLatin1String(f.parity)) continue;
        m_format->setCurrentIndex(i);
        if (m_format->count() > presets) m_format->removeItem(presets);
        return;
    }
    const QString caption = QStringLiteral("%1 Bits - %2 Parity")
                                .arg(bits)
                                .arg(parity == u"None" ? QStringLiteral("No") : parity);
    if (m_format->count() == presets) m_format->addItem(caption, -1);
    m_format->setItemText(presets, caption);
    m_format->setCurrentIndex(presets);
}

void LineSettingsBox::takeFormat()
{
    const int bits = m_format->currentData().toInt();
    if (bits <= 0) return; // the row of the pair shown
    const Vocabulary::DataFormat &f = Vocabulary::dataFormat(bits);
    selectData(m_dataBits, f.bits);
    selectRow(m_parity, QLatin1String(f.parity));
}
