#pragma once

#include <QFileInfo>
#include <QString>

// A machine's identity for as long as the program runs. It stays the same
// whatever is added or deleted before the machine; where the panel shows the
// machine (its slot) may change.
struct MachineId {
    quint32 value = 0;
    bool isValid() const { return value != 0; }
    auto operator<=>(const MachineId &) const = default;
};

// Where a program came from.
struct ProgramSource {
    enum class Kind { None, File, Received, Typed };
    Kind kind = Kind::None;
    QString path; // the file it was read from (Kind::File)

    static ProgramSource file(const QString &path) { return {Kind::File, path}; }
    static ProgramSource received() { return {Kind::Received, {}}; }
    static ProgramSource typed() { return {Kind::Typed, {}}; }
    // The file's name, or "-" where there is no file.
    QString logName() const
    {
        return kind == Kind::File ? QFileInfo(path).fileName() : QStringLiteral("-");
    }
    bool operator==(const ProgramSource &) const = default;
};

// One send or receive, as everything that reports it sees it: which
// machine, on which port, which program and from which line. It is fixed
// when the transfer starts; nothing works it out later from the selection.
struct Transfer {
    enum class Direction { Send, Receive };
    Direction direction = Direction::Send;
    MachineId machine;
    QString machineName;
    QString port;
    ProgramSource source; // a send's program
    int startLine = 0;
    // A served machine's send: the name its control asked for ("LIST O1*",
    // "COMPARE" too), and, for a reply, what it says as the log's outcome:
    // why the request cannot be served, the listing's count, the comparison.
    QString requested;
    QString refused;
    // How it ended where its outcome alone does not say (an answer the
    // control never asked for, withdrawn; a punch cut at its bound): the
    // log's outcome.
    QString note;

    bool isSend() const { return direction == Direction::Send; }
};
