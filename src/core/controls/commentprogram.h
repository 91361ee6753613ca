#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// How a control frames a short program and writes its comments, so that what
// goes back to it is read and shown there as it punched its own.
enum class ControlSyntax {
    Fanuc,      // "%" lines around it, "( … )" comments, its own "O0001" or "<NAME>" line
    Semicolon,  // ";" comments and nothing around them
    Siemens,    // "%_N_NAME_MPF" header, ";$PATH=/_N_MPF_DIR" line, ";" comments
    Heidenhain, // "0 BEGIN PGM NAME MM" … "2 END PGM NAME MM", numbered lines, ";" comments
    Okuma,      // "$NAME.MIN%" line, "( … )" comments, a "%" line
};

// The framing a short program came in: its family's syntax and its own name
// as that framing says it. A name that is not plain (letters, digits, "_",
// "-" and single dots) is never kept, so never said back.
struct ProgramFrame {
    ControlSyntax syntax = ControlSyntax::Fanuc;
    // Fanuc: the whole line, "O0001" or "<REQ>"; Siemens "REQ_MPF";
    // Heidenhain "REQ"; Okuma "REQ.MIN". Empty when none.
    QByteArray name;
    QByteArray unit; // Heidenhain: "MM" or "INCH"
    QByteArray path; // Siemens: "/_N_MPF_DIR"

    // Reads one line of the program, blanks around it trimmed. True for a
    // line of the framing alone, which holds no block: a Siemens header or
    // path, Heidenhain's BEGIN PGM or END PGM, Okuma's name line. The first
    // header decides the family; a Fanuc program's own name is its first
    // line that starts with an O-number or "<NAME>".
    bool read(QByteArrayView line);
};

// A program of nothing but these comments, framed as `frame` says: nothing
// in it moves the machine or counts a part, not even an M30. Its own name is
// the frame's, else REPLY. Every line ends with LF.
QByteArray commentProgram(const ProgramFrame &frame, const QList<QByteArray> &comments);

// Text as any comment holds it safely: "?" for each byte outside printable
// ASCII and for "%" (the end of the tape), "(", ")" and ";" (a comment's
// edges), and for a "$" first (a Siemens directive).
QByteArray commentText(QByteArrayView text);

// Letters, digits, "_", "-" and dots, never two together: a name any
// control's framing holds.
bool isPlainName(QByteArrayView name);

// The words of a line, between blanks (spaces and tabs).
QList<QByteArrayView> wordsOf(QByteArrayView line);
