#include "sim/simfamily.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace
{
// Fanuc's requests are today's, and Haas and Okuma ask the same way: a
// "%"-framed program with one "( )" comment. Siemens and Heidenhain comment
// after ";", in a program of their own framing. Siemens names a program's
// type and folder in its header; Heidenhain numbers its lines from 0; Okuma
// ends the transfer with "%%".
const ControlFamily families[] = {
    {"fanuc", "Fanuc", 10, "^%", "%\n", "%\n", "", false, "%\nO0001\n({C})\n%\n", ""},
    {"haas", "Haas", 10, "^%", "%\n", "%\n", "", false, "%\nO0001\n({C})\n%\n", ""},
    {"siemens", "Siemens", 0, "^%_N_", "%_N_{N}_{T}\n;$PATH=/_N_{T}_DIR\n", "", "MPF SPF", true,
     "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;{C}\nM30\n", ""},
    {"heidenhain", "Heidenhain", 0, "^\\d+ +BEGIN +PGM ", "0 BEGIN PGM {N} MM\n",
     "{L} END PGM {N} MM\n", "", false, "0 BEGIN PGM REQ MM\n1 ;{C}\n2 END PGM REQ MM\n", ""},
    {"okuma", "Okuma", 0, "^\\$.*%", "${N}.{T}%\n", "%\n", "MIN SSB SDF", true,
     "%\nO0001\n({C})\n%\n", "%%\n"},
};

// A reply is at most this long: a longer punch is a program, whatever it holds.
constexpr qsizetype MaxReply = 64 * 1024;

bool passedOver(char c)
{
    return c == '\0' || (c >= '\x11' && c <= '\x14') || c == '\r' || c == '\n' || c == ' ';
}

// Lines as an editor counts them: LF ends one (CR where there is no LF).
qsizetype lineEnds(const QByteArray &bytes)
{
    return bytes.count(bytes.contains('\n') ? '\n' : '\r');
}
} // namespace

const ControlFamily *ControlFamily::named(const QString &name)
{
    for (const ControlFamily &f : families)
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) return &f;
    return nullptr;
}

const ControlFamily &ControlFamily::standard()
{
    return families[0];
}

QList<const ControlFamily *> ControlFamily::all()
{
    QList<const ControlFamily *> list;
    for (const ControlFamily &f : families)
        list << &f;
    return list;
}

QString ControlFamily::names()
{
    QStringList list;
    for (const ControlFamily &f : families)
        list << QLatin1String(f.name);
    const QString last = list.takeLast();
    return list.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

bool ControlFamily::inFormat(const QByteArray &file) const
{
    qsizetype start = 0;
    while (start < file.size() && passedOver(file[start])) ++start;
    qsizetype end = start;
    while (end < file.size() && file[end] != '\n' && file[end] != '\r') ++end;
    const QRegularExpression first{QString::fromLatin1(format)};
    return first.match(QString::fromLatin1(file.sliced(start, end - start))).hasMatch();
}

QByteArray ControlFamily::punched(const QString &path, const QByteArray &bytes) const
{
    if (inFormat(bytes)) return bytes;
    const QString file = QFileInfo(path).fileName();
    QByteArray name = file.section('.', 0, 0).toLatin1();
    for (char &c : name)
        if (!QChar::isLetterOrNumber(uchar(c)) || uchar(c) > 0x7f) c = '_';
    if (name.isEmpty()) name = "PROGRAM";
    if (upperCase) name = name.toUpper();
    const QList<QByteArray> known = QByteArray(types).split(' ');
    const QByteArray suffix = file.contains('.') ? file.section('.', -1).toUpper().toLatin1() : "";
    const QByteArray type = known.contains(suffix) ? suffix : known.first();
    const QByteArray eol = bytes.contains("\r\n") ? "\r\n" : "\n";
    QByteArray body = bytes;
    if (!body.isEmpty() && !body.endsWith('\n') && !body.endsWith('\r')) body += eol;
    const auto fill = [&](QByteArray text) {
        text.replace("{N}", name).replace("{T}", type);
        text.replace("{L}", QByteArray::number(lineEnds(body) + 1));
        return eol == "\n" ? text : text.replace("\n", eol);
    };
    return QByteArray(leader, '\0') + fill(head) + body + fill(tail);
}

QByteArray ControlFamily::transferEnd(const QByteArray &transfer) const
{
    const QByteArray last = QByteArray(end).trimmed();
    return last.isEmpty() || transfer.trimmed().endsWith(last) ? QByteArray() : QByteArray(end);
}

QByteArray ControlFamily::requestFor(const QByteArray &comment) const
{
    return QByteArray(request).replace("{C}", comment);
}

QList<QByteArray> replyLines(const QByteArray &punch)
{
    // The framing of every family, and the end of a program that moves nothing.
    static const QRegularExpression framing(QStringLiteral(
        "^(%%?|O\\d+|%_N_\\w+|;\\$PATH=.*|\\d+ +(BEGIN|END) +PGM .*|\\$.*%|M0?2|M30|M17)?$"));
    // A comment alone on its line, after a line number if the family has them.
    static const QRegularExpression comment(QStringLiteral("^(?:N?\\d+ +)?(?:\\((.*)\\)|;(.*))$"));
    QList<QByteArray> texts;
    if (punch.size() > MaxReply) return texts;
    for (const QByteArray &bytes : punch.split('\n')) {
        const QString line = QString::fromLatin1(bytes.trimmed());
        if (framing.match(line).hasMatch()) continue;
        const QRegularExpressionMatch m = comment.match(line);
        if (!m.hasMatch()) return {};
        // One of the two is empty.
        QByteArray text = (m.captured(1) + m.captured(2)).trimmed().toLatin1();
        for (char &c : text)
            if (uchar(c) < 0x20 || uchar(c) > 0x7e) c = '?';
        texts << text;
    }
    return texts;
}
