#pragma once

#include <QByteArray>
#include <QString>

// What "(COMPARE)" answers of the punch that follows it, instead of saving
// that punch: whether it is the program of its name in the machine's folder.
//
// Only what the control runs counts: line ends, leader and DC codes, blanks
// (N10G0X1 is N10 G0 X1) and "%" lines (the framing) do not; letter case
// does. The answer is SAME, or the first line that differs, by its block
// number (that of the punch's line, else of the program's, else LINE and
// its line in the punch) and the punch's line, at most MaxShown characters
// of it: "DIFFERS AT N120: X2.". A punch that ends where the program goes
// on: "DIFFERS AT END: MISSING N130 M30".
struct Comparison {
    static constexpr int MaxShown = 40;
    QByteArray answer;
    QString file; // the program compared with; empty when there was none
};
Comparison comparePrograms(const QByteArray &punch, const QByteArray &program);

// The punch compared with the program of the name the punch store would
// save it under, found as a request for that name finds it and read up to
// `maxBytes`. Without one: "NOT FOUND O3003", "MORE THAN ONE O3003",
// "TOO LARGE O3003", or "NO NAME" for a punch named by the time it came.
Comparison compareWithFolder(const QString &folder, const QString &extension,
                             const QByteArray &punch, qint64 maxBytes);
