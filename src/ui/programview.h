#pragma once

#include "core/programs/program.h"

#include <QAbstractScrollArea>

class QLabel;

// A read-only view of a program too big to edit here: it paints only the
// lines in sight, straight from the program's bytes, so tens of megabytes
// open at once and cost little more memory than their size. It has a
// current line (the caret's), moved by clicks and keys, and can mark the
// line being sent. A subclass may hold its lines elsewhere, and tell when
// more have come.
class ProgramView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ProgramView(QWidget *parent = nullptr);

    void setProgram(Program program);
    const Program &program() const { return m_program; }

    virtual int lineCount() const { return m_program.lineCount(); }
    // Line i without its line end.
    virtual QByteArrayView line(int i) const { return m_program.line(i); }

    int currentLine() const { return m_current; }
    void setCurrentLine(int line);
    // Marks the line being sent (-1: none) and brings it into view.
    void markLine(int line);
    // The top of a line in the viewport, or -1 when it is not in view.
    int lineTop(int line) const;
    // The line at a height of the viewport (the first or last beyond them).
    int lineAt(int y) const;

signals:
    void currentLineChanged();

protected:
    // Lines from `from` on are new: the scroll range, the widest line and the
    // note (which names `what` can be edited up to 2 MB) take them in.
    void linesAdded(int from, const QString &what);
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    int lineHeight() const;
    int visibleLines() const;
    void updateScrollBars();
    void ensureVisible(int line, int above = 0);

    Program m_program;
    QLabel *m_note;
    int m_current = 0;
    int m_marked = -1;
    int m_widest = 0; // characters in the longest line
};
