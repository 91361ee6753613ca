#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// A part program as the send takes it: its lines as bytes, one byte per
// character, fixed when the send starts. Every line but the last ends with
// a line end, which the send turns into the machine's end of block; a last
// line that is empty is what follows a final line end.
class Program
{
public:
    Program() = default;
    // A program read from a file: CR, LF and CR LF all end a line. The bytes
    // are reused, so a program of tens of megabytes is not copied.
    static Program fromFile(QByteArray bytes);
    // A program from its lines, without their line ends.
    static Program fromLines(const QList<QByteArray> &lines);

    int lineCount() const { return int(m_starts.size()); }
    // Line i without its line end.
    QByteArrayView line(int i) const;
    bool lineHasEnd(int i) const { return i + 1 < lineCount(); }
    // The characters after the first, counting one per line end: the
    // measure of the send's progress. Fewer than one means no program.
    qint64 size() const { return qMax<qint64>(0, m_bytes.size() - 1); }
    // The lines joined with LF.
    const QByteArray &text() const { return m_bytes; }

private:
    QByteArray m_bytes;       // lines joined with '\n'
    QList<qsizetype> m_starts; // where each line starts
};
