#include "core/serving/punchassembler.h"

#include "core/base/clock.h"
#include "core/controls/controlfamily.h"

#include <algorithm>
#include <utility>

using Controls::Verdict;

static bool leaderOrDc(char c)
{
    return c == '\0' || (c >= 17 && c <= 20);
}

static bool lineEnd(char c)
{
    return c == '\r' || c == '\n';
}

PunchAssembler::PunchAssembler(Clock &clock, qsizetype maxBytes, QObject *parent)
    : QObject(parent), m_silence(clock.createTimer(this)), m_max(qMax<qsizetype>(1, maxBytes))
{
    connect(m_silence, &Timer::timeout, this, &PunchAssembler::finish);
}

void PunchAssembler::setEndCode(const QString &decimal)
{
    bool ok = false;
    const int code = decimal.trimmed().toInt(&ok);
    m_end = (ok && code >= 0 && code <= 255) ? code : -1;
}

void PunchAssembler::feed(const QByteArray &bytes)
{
    const bool was = inPunch();
    const qint64 before = size();
    bool any = false;
    for (const char c : bytes) {
        if (c == m_strip) continue;
        any = true;
        take(c);
    }
    // Silence after the last program ends the transfer, too.
    if (any) m_silence->start(SilenceMs);
    if (was != inPunch() || before != size()) emit changed();
}

void PunchAssembler::take(char c)
{
    switch (m_state) {
    case State::Between:
        return between(c);
    case State::Program:
        return inProgram(c);
    case State::Closing:
        return closing(c);
    }
}

void PunchAssembler::between(char c)
{
    // An end code of "%" still opens a framed program.
    const bool ends = lineEnd(c) || (isEndCode(c) && c != '%');
    if (m_held.isEmpty()) {
        if (ends || leaderOrDc(c)) {
            // What is no program runs on to the next program's line.
            m_noise > 0 ? addNoise({&c, 1}) : void(++m_passed);
            m_lineStart = m_lineStart || ends;
            // The end mark's line is its last.
            if (ends && m_mark == Mark::Passing) m_mark = Mark::None;
            return;
        }
        if (m_mark != Mark::None && c == '%') {
            ++m_passed;
            m_mark = Mark::Passing;
            return emit transferEnded();
        }
        if (!m_lineStart) return addNoise({&c, 1});
    } else if (ends) {
        settle();
        return take(c);
    }
    m_held += c;
    Verdict verdict = Verdict::No;
    const Controls::Family *family = Controls::familyStarting(m_held, false, &verdict);
    if (verdict == Verdict::Yes) return start(family, std::exchange(m_held, {}));
    if (verdict == Verdict::No) {
        m_lineStart = false;
        addNoise(std::exchange(m_held, {}));
    }
}

void PunchAssembler::inProgram(char c)
{
    if (isEndCode(c)) {
        keepHeld();
        store(c);
        return hand();
    }
    if (c == '\n' && m_afterCr) {
        // The line ended at the CR of its CR LF.
        m_afterCr = false;
        return store(c);
    }
    if (lineEnd(c)) {
        settle();
        if (m_state != State::Program) return take(c);
        m_afterCr = c == '\r';
        return keep(c);
    }
    m_afterCr = false;
    if (m_family->startsNext && (m_lineStart || !m_held.isEmpty())) {
        m_held += c;
        m_lineStart = false;
        Verdict verdict = m_family->startsNext(m_held, false);
        if (verdict == Verdict::NeedMore && m_held.size() >= Controls::MaxJudged)
            verdict = Verdict::No;
        if (verdict == Verdict::Yes) {
            // The line is the next program's: judged again from its start.
            const QByteArray line = std::exchange(m_held, {});
            hand();
            for (const char b : line)
                take(b);
        } else if (verdict == Verdict::No) {
            keepHeld();
        }
        return;
    }
    keep(c);
}

void PunchAssembler::closing(char c)
{
    m_state = State::Program;
    if (c == '\n') {
        store(c);
        return hand();
    }
    hand();
    take(c);
}

void PunchAssembler::start(const Controls::Family *family, const QByteArray &line)
{
    endNoise();
    m_state = State::Program;
    m_family = family;
    m_mark = Mark::None;
    m_afterCr = m_lineStart = false;
    m_punch = m_line = line.first(1);
    for (qsizetype i = 1; i < line.size(); ++i)
        take(line[i]);
}

void PunchAssembler::store(char c)
{
    if (m_punch.size() < m_max)
        m_punch += c;
    else
        ++m_leftOut;
}

void PunchAssembler::keep(char c)
{
    store(c);
    if (lineEnd(c)) {
        const QByteArray line = std::exchange(m_line, {});
        m_lineStart = true;
        const QByteArrayView first =
            QByteArrayView(m_punch).first(qMin(m_punch.size(), Controls::MaxLineKept));
        if (m_family->endsWith && m_family->endsWith(line, first)) {
            // A CR LF is taken whole, before the program is handed on.
            c == '\r' ? void(m_state = State::Closing) : hand();
        }
        return;
    }
    if (m_line.size() < Controls::MaxLineKept) m_line += c;
    m_lineStart = false;
    if (m_family->endsAt && m_family->endsAt(c, m_line)) hand();
}

void PunchAssembler::keepHeld()
{
    const QByteArray held = std::exchange(m_held, {});
    for (const char c : held)
        m_state == State::Program ? keep(c) : take(c);
}

void PunchAssembler::settle()
{
    if (m_held.isEmpty()) return;
    const QByteArray line = std::exchange(m_held, {});
    Verdict verdict = Verdict::No;
    if (m_state == State::Between) {
        const Controls::Family *family = Controls::familyStarting(line, true, &verdict);
        if (verdict == Verdict::Yes) return start(family, line);
        m_lineStart = false;
        return addNoise(line);
    }
    m_held = line;
    if (m_family->startsNext(line, true) != Verdict::Yes) return keepHeld();
    m_held.clear();
    hand();
    m_held = line;
    settle();
}

void PunchAssembler::addNoise(QByteArrayView bytes)
{
    if (bytes.isEmpty()) return;
    m_mark = Mark::None;
    m_noise += bytes.size();
    m_noiseHead += bytes.first(qMin(bytes.size(), qsizetype(ShownBytes) - m_noiseHead.size()));
}

void PunchAssembler::endNoise()
{
    if (m_noise == 0) return;
    emit dropped(std::exchange(m_noise, 0), std::exchange(m_noiseHead, {}));
}

void PunchAssembler::finish()
{
    m_silence->stop();
    settle();
    if (m_state == State::Program) {
        while (!overflowing() && !m_punch.isEmpty() && leaderOrDc(m_punch.back())) {
            m_punch.chop(1);
            ++m_passed;
        }
    }
    if (inPunch()) hand();
    endNoise();
    // What comes after the silence starts a line of its own.
    m_lineStart = true;
    m_mark = Mark::None;
    emit transferEnded();
    emit changed();
}

void PunchAssembler::cut()
{
    m_silence->stop();
    const bool was = inPunch();
    if (m_state == State::Between) {
        addNoise(std::exchange(m_held, {}));
        endNoise();
        m_lineStart = true;
    } else {
        keepHeld();
        hand(m_state == State::Closing);
    }
    m_mark = Mark::None;
    if (was) emit changed();
}

void PunchAssembler::hand(bool whole)
{
    m_mark = m_family && m_family->percentEndsTransfer ? Mark::Armed : Mark::None;
    m_state = State::Between;
    m_family = nullptr;
    m_line.clear();
    m_lineStart = true;
    const QByteArray program = std::exchange(m_punch, {});
    const qint64 leftOut = std::exchange(m_leftOut, 0);
    if (leftOut > 0)
        emit tooLarge(program, leftOut);
    else if (!whole)
        emit cutOff(program);
    else if (!program.isEmpty())
        emit punched(program);
}

QByteArray PunchAssembler::name() const
{
    if (!inPunch() || !m_family) return {};
    // Complete lines only: "O12" of an "O1234" still coming is no name.
    QByteArrayView head = QByteArrayView(m_punch).first(qMin(m_punch.size(), NamedBytes));
    const qsizetype end = std::max(head.lastIndexOf('\n'), head.lastIndexOf('\r'));
    return end < 0 ? QByteArray() : m_family->name(head.first(end + 1));
}
