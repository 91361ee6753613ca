#pragma once

#include "core/config/machineconfig.h"

#include <QDialog>

class LineSettingsBox;
class Platform;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The setup dialog: edits one machine's configuration. It is given the
// machine and the ports the system lists; Save hands the edited machine to
// whoever opened it, and the dialog stays open. A served machine ("SERVER"
// mode) also shows its program folder and extension; Browse asks `platform`
// for the folder.
class SetupDialog : public QDialog
{
    Q_OBJECT
public:
    SetupDialog(const MachineConfig &machine, const QStringList &ports, QWidget *parent = nullptr,
                Platform *platform = nullptr);

    // The machine as the controls now show it. An empty name becomes "NEW"
    // and start and end codes are shown as stored, as Save does.
    MachineConfig value();
    // The Save button's feedback: it grows back from nothing.
    void showSaved();

    // The display text of a start or end code: "" for 0, the control
    // character's name for 2, 3, 4 and 27, else at least two digits.
    static QString codeText(int code);

signals:
    void saveRequested(const MachineConfig &machine);

private:
    void buildControls();
    void fillLists(const QStringList &ports);
    void load();
    void loadCode(QComboBox *box, const QString &stored);
    QString storeCode(QComboBox *box);
    bool served() const;
    // Shows or hides the folder row as the mode says.
    void fitMode();

    MachineConfig m_machine;
    Platform *m_platform;
    QLineEdit *m_name = nullptr;
    QComboBox *m_mode = nullptr;
    QComboBox *m_port = nullptr;
    LineSettingsBox *m_line = nullptr;
    QComboBox *m_eob = nullptr;
    QComboBox *m_delay = nullptr;
    QLineEdit *m_leader = nullptr;
    QLineEdit *m_trailer = nullptr;
    QComboBox *m_charCheck = nullptr;
    QRadioButton *m_stripNone = nullptr;
    QRadioButton *m_stripLf = nullptr;
    QRadioButton *m_stripCr = nullptr;
    QPushButton *m_save = nullptr;
    QGroupBox *m_transmitGroup = nullptr;
    QGroupBox *m_advancedGroup = nullptr;
    QComboBox *m_startCode = nullptr;
    QComboBox *m_endCode = nullptr;
    QLineEdit *m_extension = nullptr;
    QWidget *m_folderRow = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_close = nullptr;
    QTimer *m_feedback = nullptr;
    int m_feedbackSteps = 0;
    int m_saveWidth = 0;
};
