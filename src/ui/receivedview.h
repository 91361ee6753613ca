#pragma once

#include "ui/programview.h"

// Received text too big to edit: its bytes are held as they came, each line
// end made one LF, and shown read-only a screenful at a time, so a punch of
// tens of megabytes costs little more memory than its size, and every piece
// that arrives costs time for its own bytes only.
class ReceivedView : public ProgramView
{
    Q_OBJECT
public:
    using ProgramView::ProgramView;

    void clear();
    // Adds bytes at the end; CR, LF and CR LF each end a line. The view
    // follows the end if it was showing the end.
    void append(QByteArrayView bytes);
    // The last byte added was a CR: an LF that comes next belongs to it.
    bool endsWithCR() const { return m_endsWithCR; }
    // The characters held, a line end counting one.
    qsizetype size() const { return m_bytes.size(); }
    // The text with every line end written as CR LF.
    QByteArray text() const;

    int lineCount() const override { return int(m_starts.size()); }
    QByteArrayView line(int i) const override;

private:
    QByteArray m_bytes;                  // lines joined with LF
    QList<qsizetype> m_starts{0};        // where each line starts
    bool m_endsWithCR = false;
};
