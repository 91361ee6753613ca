#pragma once

#include "core/config/machineconfig.h"

#include <QList>
#include <QObject>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QVariant;
class QWidget;

// How the setup dialog makes its controls: a caption at (x, y) and the
// control under it, each named, its accessible name its caption.
namespace SetupControls
{
QLabel *label(const char *name, const QString &text, QWidget *parent, int x, int y, int width);
QComboBox *combo(const char *name, const QString &spoken, QWidget *parent, int x, int y, int width,
                 bool editable = false);
QLineEdit *edit(const char *name, const QString &spoken, QWidget *parent, int x, int y, int width);
QGroupBox *group(const char *name, const QString &title, QWidget *parent, int x, int y, int width,
                 int height);
// Selects the first row whose text is `text`, or that carries `data`;
// false (selection kept) when there is none.
bool selectRow(QComboBox *list, const QString &text);
bool selectData(QComboBox *list, const QVariant &data);
} // namespace SetupControls

// The setup dialog's line settings, on the dialog it is given: the port
// group where it always was (speed, data format, stop bits, flow control)
// and, right of the dialog's old edge, the finer ones: data bits and
// parity, the DTR and RTS lines, the character pacing, the delay after the
// handshake, the tape code and the transfer protocol.
//
// The data format's two rows stay what they were: choosing one sets data
// bits and parity to its pair. Data bits and parity refine it; a pair
// that is neither row shows as a row of its own ("8 Bits - Odd Parity")
// while it holds. A control the user has not changed gives back the stored
// text as it was (a wait mode, "5ms", "high"), so that a machine saved
// untouched keeps its bytes.
class LineSettingsBox : public QObject
{
    Q_OBJECT
public:
    explicit LineSettingsBox(QWidget *dialog);

    // How much wider the dialog is for the finer settings.
    static constexpr int Width = 230;

    void load(const MachineConfig &machine);
    // The controls' values over `machine`.
    void store(MachineConfig &machine) const;

private:
    struct Field {
        Key key;
        QComboBox *box;
        QLineEdit *edit;
        QString loaded;
        QString now() const;
    };
    void build(QWidget *dialog);
    void addFlowRow(const Vocabulary::Flow &flow);
    // The data format row that names the data bits and parity shown.
    void fitFormat();
    void takeFormat();

    QComboBox *m_speed = nullptr;
    QComboBox *m_format = nullptr;
    QComboBox *m_stopBits = nullptr;
    QComboBox *m_flow = nullptr;
    QComboBox *m_dataBits = nullptr;
    QComboBox *m_parity = nullptr;
    QList<Field> m_fields;
};
