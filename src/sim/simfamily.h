#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// How one family of controls frames what it punches: the simulator plays
// any of them. A file already in the family's format is punched as it is;
// any other is wrapped the way that control would have framed it, its own
// bytes unchanged. Requests are short programs whose one comment says what
// is asked ("SEND O1234", "LIST O1*", "COMPARE"), in the family's syntax.
struct ControlFamily {
    const char *name;   // as --control takes it: "siemens"
    const char *title;  // as the simulator says it: "Siemens"
    int leader;         // NULs before a program it wraps
    const char *format; // the first line of a file in its format (a pattern)
    // Around a program it wraps: {N} its name, {T} its type, {L} the number
    // of the line after it (a family that numbers its lines).
    const char *head;
    const char *tail;
    const char *types;   // the types its names take, the default first
    bool upperCase;      // its program names are capitals
    const char *request; // a request, {C} its comment's text
    const char *end;     // after the last program of a transfer

    // The family --control names, or null.
    static const ControlFamily *named(const QString &name);
    static const ControlFamily &standard();
    static QList<const ControlFamily *> all();
    // "fanuc, haas, siemens, heidenhain or okuma"
    static QString names();

    bool inFormat(const QByteArray &file) const;
    // The bytes it punches for the file `path` holding `bytes`.
    QByteArray punched(const QString &path, const QByteArray &bytes) const;
    // What follows the last program of `transfer`.
    QByteArray transferEnd(const QByteArray &transfer) const;
    QByteArray requestFor(const QByteArray &comment) const;
};

// A punch a control shows as a reply rather than keeps as a program: one
// that holds comments and nothing but its family's framing around them (a
// refusal, a listing, a comparison's answer). Their texts, shown printable
// (any other byte "?"); empty for a program.
QList<QByteArray> replyLines(const QByteArray &punch);
