#include "core/controls/commentprogram.h"

namespace
{
bool isLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isWord(QByteArrayView word, const char *upper)
{
    return word.toByteArray().toUpper() == upper;
}

QByteArray plainOrNone(QByteArrayView name)
{
    return isPlainName(name) ? name.toByteArray() : QByteArray();
}

// Heidenhain's "0 BEGIN PGM 100 MM" or "57 END PGM 100 MM": the words after
// the line number, when the line is one of them.
QList<QByteArrayView> programLine(QByteArrayView line, const char *which)
{
    const QList<QByteArrayView> w = wordsOf(line);
    if (w.size() < 4 || !isWord(w[1], which) || !isWord(w[2], "PGM")) return {};
    for (char c : w[0])
        if (c < '0' || c > '9') return {};
    return w.mid(3);
}

// "O" and digits a Fanuc line starts with, or its "<NAME>".
QByteArray fanucName(QByteArrayView line)
{
    if (line.startsWith('<')) {
        const qsizetype close = line.indexOf('>');
        return close > 1 && isPlainName(line.sliced(1, close - 1))
                   ? line.first(close + 1).toByteArray()
                   : QByteArray();
    }
    if (line.size() < 2 || (line[0] != 'O' && line[0] != 'o')) return {};
    qsizetype end = 1;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9')
        ++end;
    return end > 1 ? line.first(end).toByteArray() : QByteArray();
}
} // namespace

bool ProgramFrame::read(QByteArrayView line)
{
    const bool first = syntax == ControlSyntax::Fanuc || syntax == ControlSyntax::Semicolon;
    if (line.startsWith("%_N_")) {
        if (first) *this = {ControlSyntax::Siemens, plainOrNone(line.sliced(4)), {}, {}};
        return true;
    }
    if (line.startsWith(";$PATH=")) {
        const QByteArrayView path = line.sliced(7);
        bool plain = !path.isEmpty() && !path.contains("..");
        for (char c : path)
            plain = plain && (isLetterOrDigit(c) || c == '_' || c == '/');
        if (syntax == ControlSyntax::Siemens && plain) this->path = path.toByteArray();
        return true;
    }
    if (const QList<QByteArrayView> w = programLine(line, "BEGIN"); !w.isEmpty()) {
        const bool inch = w.size() > 1 && isWord(w[1], "INCH");
        if (first) *this = {ControlSyntax::Heidenhain, plainOrNone(w[0]), inch ? "INCH" : "MM", {}};
        return true;
    }
    if (!programLine(line, "END").isEmpty()) return true;
    if (line.startsWith('$') && line.contains('%')) {
        if (first)
            *this = {
                ControlSyntax::Okuma, plainOrNone(line.sliced(1, line.indexOf('%') - 1)), {}, {}};
        return true;
    }
    if (first && name.isEmpty()) name = fanucName(line);
    return false;
}

QByteArray commentProgram(const ProgramFrame &frame, const QList<QByteArray> &comments)
{
    const auto own = [&](const char *none) {
        return frame.name.isEmpty() ? QByteArray(none) : frame.name;
    };
    QByteArray out;
    const auto each = [&](const char *open, const char *close) {
        for (const QByteArray &c : comments)
            out += open + commentText(c) + close;
    };
    switch (frame.syntax) {
    case ControlSyntax::Fanuc:
        out = "%\n" + (frame.name.isEmpty() ? QByteArray() : frame.name + '\n');
        each("(", ")\n");
        return out + "%\n";
    case ControlSyntax::Semicolon:
        each(";", "\n");
        return out;
    case ControlSyntax::Siemens:
        out = "%_N_" + own("REPLY_MPF") + '\n';
        if (!frame.path.isEmpty()) out += ";$PATH=" + frame.path + '\n';
        each(";", "\n");
        return out;
    case ControlSyntax::Heidenhain: {
        const QByteArray tail =
            " PGM " + own("REPLY") + ' ' + (frame.unit.isEmpty() ? "MM" : frame.unit) + '\n';
        out = "0 BEGIN" + tail;
        int n = 0;
        for (const QByteArray &c : comments)
            out += QByteArray::number(++n) + " ;" + commentText(c) + '\n';
        return out + QByteArray::number(n + 1) + " END" + tail;
    }
    case ControlSyntax::Okuma:
        out = '$' + own("REPLY.MIN") + "%\n";
        each("(", ")\n");
        return out + "%\n";
    }
    return out;
}

QByteArray commentText(QByteArrayView text)
{
    QByteArray out = text.toByteArray();
    for (char &c : out)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e || c == '%' || c == '(' || c == ')' || c == ';')
            c = '?';
    if (out.startsWith('$')) out[0] = '?';
    return out;
}

bool isPlainName(QByteArrayView name)
{
    if (name.isEmpty() || name.contains("..") || name.startsWith('.')) return false;
    for (char c : name)
        if (!isLetterOrDigit(c) && c != '_' && c != '-' && c != '.') return false;
    return true;
}

QList<QByteArrayView> wordsOf(QByteArrayView line)
{
    QList<QByteArrayView> out;
    for (qsizetype i = 0; i < line.size();) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start) out.append(line.sliced(start, i - start));
    }
    return out;
}
