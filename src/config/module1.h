#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

// Columns of the machine table, in the order they are written to zoZad.ini.
enum McKey {
    MCNAME = 1,
    MCPORT,
    MCMODE,
    MCCOMPAR,
    MCFOLDER,
    MCFLOW,
    MCCRLF,
    MCBLKTIC,
    MCBLKNUL,
    MCPREFIX,
    MCEXTENS,
    MCDRATE,
    MCDBITS,
    MCPARITY,
    MCSBITS,
    MCEOB,
    MCSOT,
    MCEOT,
    MCTXSTEP,
    MCSTRIPEOB,
};
constexpr int McKeyCount = 20;

// The state every part of the program shares: the machine table, the link
// state and the line settings last applied to the port. One instance is made
// by main() (or by each test) and passed to whoever needs it.
class Module1 : public QObject
{
    Q_OBJECT
public:
    explicit Module1(QObject *parent = nullptr);

    static constexpr int Max_MC = 9;
    static constexpr const char *NO_MC = "NO_MC";
    static constexpr const char *NOINIVAL = "NOINIVAL";

    int Last_MC = 0;
    quint8 SelectedMC = 0;
    bool AddingMC = false;
    bool AutoScanning = false;
    int PortState = 0; // 0 idle, 1 transmitting, 2 receiving
    bool WatchDcCodes = false;
    QByteArray LastRxChar; // at most one byte
    int s_speed = 0;
    int s_databits = 0;
    int s_stopbits = 0;
    int s_parity = 0;
    bool s_rtscts = false;
    bool s_xonxoff = false;
    QString AppPath; // ends with the path separator
    QString iniFile;

    // Values the main window shares between the send, receive and scan logic.
    bool StopTX = false;
    int AutoComSpeed = 0;
    bool AutoGotSpeed = false;
    int AutoErrCounter = 0;
    int AutoParityCounter = 0;
    int Counter_RX_Timeout = 0;
    bool InRXHandler = false;

    // MCDATA[machine][key]; row 0 and column 0 are never used.
    QString MCDATA[Max_MC + 1][McKeyCount + 1];

    QString mc(int index, McKey key) const;
    void setMc(int index, McKey key, const QString &value);

    static QString keyName(int key);
    static QString sectionName(int index) { return QStringLiteral("[MC%1]").arg(index); }
    // "25" -> 25, "150ms" -> 150, "Fast" -> 0: the number a text starts with.
    static int leadingNumber(const QString &text);

    // Looks one key up in the file: the value, "NO_MC" or "NOINIVAL".
    QString GetIniStr(const QString &section, const QString &key) const;
    // Loads every machine from the file into MCDATA and sets Last_MC.
    void ReadIni();
    // Rewrites the file from MCDATA, leaving machine `skip` out (0: none).
    // On failure the old file stays untouched, iniWriteFailed is emitted and
    // false returned.
    bool WriteIni(int skip);

    // Makes iniFile exist (empty) if it does not; false when it cannot be made.
    bool ensureIniFile() const;

signals:
    void iniWriteFailed(const QString &file, const QString &reason);

private:
    QStringList iniLines() const;
    static QString lookup(const QStringList &lines, const QString &section, const QString &key);
};
