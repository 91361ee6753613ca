#pragma once

#include <QDialog>
#include <QPointer>

class frmHalvec;
class MachinePanel;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The setup dialog for one machine's configuration. While a machine is
// being added it opens for a new machine with the default rows and is never
// shown; otherwise it opens for the selected machine and loads its values.
class frmSetup : public QDialog
{
    Q_OBJECT
public:
    explicit frmSetup(frmHalvec &w);

    int MCNo = 0;
    void SaveSettings();
    void SetCurrentMCvalues();

    // Selects the first row whose text is `text`; false (selection kept)
    // when there is none.
    static bool SetComboDefault(QComboBox *list, const QString &text);
    // The display text of a start or end code: "" for 0, the control
    // character's name for 2, 3, 4 and 27, else at least two digits.
    static QString codeText(int code);
    // True while the Save button's feedback runs.
    bool saveFeedbackRunning() const;

    QLabel *lblName = nullptr;
    QLineEdit *txtName = nullptr;
    QLabel *StaticText1 = nullptr;
    QComboBox *cboNCMode = nullptr;
    QLabel *StaticText13 = nullptr;
    QComboBox *Combo2 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *StaticText2 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLabel *StaticText4 = nullptr;
    QComboBox *Combo4 = nullptr;
    QLabel *StaticText5 = nullptr;
    QComboBox *Combo3 = nullptr;
    QLabel *StaticText3 = nullptr;
    QComboBox *cboFlow = nullptr;
    QGroupBox *Frame3 = nullptr;
    QLabel *StaticText7 = nullptr;
    QComboBox *cboEOB = nullptr;
    QLabel *StaticText8 = nullptr;
    QComboBox *cboBlkTic = nullptr;
    QPushButton *cmdAdvanced = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QRadioButton *optStripNone = nullptr;
    QRadioButton *optStripLF = nullptr;
    QRadioButton *optStripCR = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QLabel *StaticText11 = nullptr;
    QComboBox *cboSOT = nullptr;
    QLabel *StaticText12 = nullptr;
    QComboBox *cboEOT = nullptr;
    QPushButton *PushButton3 = nullptr;
    QLineEdit *Text3 = nullptr;

    static constexpr const char *busyMessage =
        "The settings can not be saved while a program is being sent.";

protected:
    void hideEvent(QHideEvent *e) override;

private:
    void buildControls();
    void fillLists();
    // Stores the controls into row MCNo and writes the file.
    bool storeSettings();
    void feedbackStep();
    void finishFeedback();
    QString storeCode(QComboBox *box);
    void loadCode(QComboBox *box, const QString &stored);

    frmHalvec &w;
    // The panel goes away before this dialog when the program ends.
    QPointer<MachinePanel> m_panel;
    QTimer *m_feedback = nullptr;
    int m_feedbackSteps = 0;
    int m_saveWidth = 0;
    bool m_refreshed = true;
};
