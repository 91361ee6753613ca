// The send on the line model, in virtual time: what goes on the wire and
// when, how it paces on the machine's XON/XOFF, holds, stops and reports.

#include "core/sending/sendjob.h"
#include "core/sending/sendtext.h"
#include "linemodel.h"
#include "machinevalues.h"
#include "virtualclock.h"

#include <QSignalSpy>
#include <QTest>

namespace
{
const QByteArray DC1("\x11"), DC3("\x13"), nuls(SendJob::RunOutBytes, '\0');

MachineConfig machine(const QString &flow, const QString &eob = "CR", const QString &delay = "Fast")
{
    return machineWith("MCDBITS=8|MCSBITS=1|MCFLOW=" + flow + "|MCEOB=" + eob +
                       "|MCBLKTIC=" + delay);
}

// Numbered blocks of `width` characters and CR.
QByteArray program(int lines, int width)
{
    QByteArray out;
    for (int i = 1; i <= lines; ++i)
        out += QByteArray::number(i).leftJustified(width, 'X') + '\r';
    return out;
}

using Wire = std::tuple<QString, QByteArray, int, QByteArray, int>;
using Holds = std::tuple<QString, QByteArray, QByteArray, QByteArray>;
using FromLine = std::tuple<int, QString, int, QString, QString>;
using Dc3 = std::tuple<qint32, QString, double, int, bool>;
using Answer = std::tuple<QString, QByteArray, SendOutcome, QString>;
using Release = std::tuple<QString, QString, int>;

// A send started on the line model; its machine takes all at once by default.
struct Rig {
    VirtualClock clock;
    LineModelPort port{clock};
    SimControl machine{clock, {1 << 20, 1e9, 1 << 20, 0, false}};
    SendJob job;
    QList<SendOutcome> outcomes;
    QList<SendProgress> reports;
    QSignalSpy linesStarted{&job, &SendJob::lineStarted};
    QSignalSpy holds{&job, &SendJob::holding};

    Rig(const QByteArray &text, const MachineConfig &m, const LineSettings &line = {}, int from = 0)
        : job(port, clock, Program::fromFile(text), from, SendSettings::of(m))
    {
        port.attach(&machine);
        port.open("ttyFAKE0", line);
        QObject::connect(&port, &SerialPort::received, &job, &SendJob::feed);
        QObject::connect(&job, &SendJob::finished, [this](SendOutcome o) { outcomes << o; });
        QObject::connect(&job, &SendJob::progressChanged,
                         [this](const SendProgress &p) { reports << p; });
        job.start();
    }
    bool finish() { return clock.runUntil([this] { return !outcomes.isEmpty(); }); }
};
} // namespace

class TestSendJob : public QObject
{
    Q_OBJECT
private slots:
    void wireBytes_data()
    {
        QTest::addColumn<Wire>("row");
        for (const auto &[eob, end] :
             {std::pair{"LF", "\n"}, {"CRLFLF", "\r\n\n"}, {"CRLF", "\r\n"}})
            QTest::newRow(eob) << Wire{eob, "G00\rG01\r\n", 0,
                                       "G00" + QByteArray(end) + "G01" + end, 2};
        // LF and CR LF end lines too, empty lines are sent, the last goes as it is.
        QTest::newRow("CR, from a middle line")
            << Wire{"CR", "O100\rG00 X1\r%\nG01\r\n\r\rM30", 2, "%\rG01\r\r\rM30", 5};
        QTest::newRow("LF before the first CR")
            << Wire{"CR", "G00\n\nG01\rG02\r\nM30\n", 0, "G00\r\rG01\rG02\rM30\r", 5};
        QByteArray all;
        for (int b = 1; b <= 255; ++b)
            if (b != '\r' && b != '\n') all += char(b);
        QTest::newRow("every byte but CR and LF")
            << Wire{"EOB", all + '\r' + all, 0, all + "\r\n" + all, 2};
    }
    void wireBytes()
    {
        QFETCH(Wire, row);
        const auto &[eob, text, startLine, wire, lines] = row; // lines as the log counts them
        Rig r(text, machine("0", eob), {}, startLine);
        QVERIFY(r.finish());
        QCOMPARE(r.outcomes, QList{SendOutcome::Completed});
        QCOMPARE(r.port.sent, wire + nuls);
        QCOMPARE(r.job.bytesSent(), wire.size());
        QCOMPARE(r.job.linesSent(), lines);
        QCOMPARE(r.port.settings(), LineSettings()); // back after the purge
    }

    // The leader goes before the first line sent, the trailer after the last
    // one's end and before the run-out; neither is the program's bytes nor a
    // line. A send stopped before its last line has no trailer.
    void leaderAndTrailer_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("stop"); // as soon as a byte has left
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("lines");
        const QString dc = "MCLEADER=\\DC2%|MCTRAILER=\\DC4";
        QTest::newRow("paced") << dc << 0 << false << QByteArray("\x12%G00\r\nM30\r\n\x14") << 2;
        QTest::newRow("streamed, from line 2")
            << "MCBLKTIC=None|MCLEADER=\\NUL\\x00|MCTRAILER=\\EOT" << 1 << false
            << QByteArray("\0\0M30\r\n\x04", 8) << 1;
        QTest::newRow("stopped in the first line")
            << dc << 0 << true << QByteArray("\x12%G00\r\n") << 1;
        QTest::newRow("stopped in the last line")
            << dc << 1 << true << QByteArray("\x12%M30\r\n\x14") << 1;
    }
    void leaderAndTrailer()
    {
        QFETCH(QString, values);
        QFETCH(int, from);
        QFETCH(bool, stop);
        QFETCH(QByteArray, wire);
        QFETCH(int, lines);
        Rig r("G00\nM30\n", machineWith(values, machine("0", "CRLF")), {}, from);
        if (stop) {
            QVERIFY(r.clock.runUntil([&] { return !r.port.sent.isEmpty(); }));
            r.job.stop();
        }
        QVERIFY(r.finish());
        QCOMPARE(r.port.sent, stop ? wire : wire + nuls);
        QCOMPARE(r.job.bytesSent(), 5 * lines);
        QCOMPARE(r.job.linesSent(), lines);
        QCOMPARE(r.outcomes, QList{stop ? SendOutcome::Stopped : SendOutcome::Completed});
    }

    // The block delay counts 60 Hz ticks from the tick in which the drain ended.
    void drainAndBlockDelay_data()
    {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<int>("ticks");
        for (const auto &[delay, ticks] :
             {std::pair{"Fast", 1}, {"10", 1}, {"25", 2}, {"50", 4}, {"100", 7}})
            QTest::newRow(delay) << delay << ticks;
    }
    void drainAndBlockDelay()
    {
        QFETCH(QString, delay);
        QFETCH(int, ticks);
        Rig r(program(6, 30), machine("0", "CR", delay));
        QVERIFY(r.finish());
        for (int i = 0; i < 6; ++i) {
            const qint64 drained = i ? r.port.sentNs[i * 31 - 1] : 0;
            const qint64 due = drained * 60 / VirtualClock::Second + ticks;
            const qint64 written = r.port.sentNs[i * 31] - LineSettings().characterNs();
            QCOMPARE(written, (due * VirtualClock::Second + 59) / 60);
        }
    }

    // "3" starts on any byte, "4" on DC1; DC3 holds 1, 3 and 4 until DC1 and
    // nothing else. Pause holds at the next line that has not begun.
    void holds_data()
    {
        QTest::addColumn<Holds>("row");
        const QByteArray line1("ABCDEF\r");
        for (const char *flow : {"0", "2"})
            QTest::newRow(flow) << Holds{flow, {}, {}, {}};
        QTest::newRow("1") << Holds{"1", {}, {}, line1};
        QTest::newRow("3") << Holds{"3", {}, "%", line1};
        QTest::newRow("4") << Holds{"4", "X%\x13", DC1, line1};
        QTest::newRow("4, DC1 and more") << Holds{"4", "X", DC1 + "%", line1};
        QTest::newRow("pause") << Holds{"0", {}, {}, line1 + "M30\r"};
    }
    void holds()
    {
        QFETCH(Holds, row);
        // What must not start the send, what does (none: it starts at once),
        // and what goes before the hold.
        const auto &[flow, notYet, starts, held] = row;
        const bool pause = QTest::currentDataTag() == QLatin1String("pause");
        Rig r("ABCDEF\rM30\r", machine(flow));
        if (!starts.isEmpty()) {
            r.port.deliver(notYet);
            r.clock.advance(VirtualClock::Second);
            QCOMPARE(r.port.written, QByteArray());
            r.port.deliver(starts);
        }
        QVERIFY(r.clock.runUntil([&] { return r.port.sentNs.size() >= 3; }));
        pause ? r.job.setPaused(true) : r.port.deliver(DC3);
        r.clock.advance(VirtualClock::Second);
        r.port.deliver("A%");
        r.clock.advance(VirtualClock::Second);
        const QByteArray all = QByteArray("ABCDEF\rM30\r") + nuls;
        QCOMPARE(r.port.written, held.isEmpty() ? all : held);
        QCOMPARE(r.holds.count(), held.isEmpty() ? 0 : 1);
        pause ? r.job.setPaused(false) : r.port.deliver(DC1);
        QVERIFY(r.finish());
        QCOMPARE(r.port.written, all);
    }

    // Wherever it is stopped, the machine gets only whole blocks, and the
    // program sent again follows them cleanly. Held by the machine, a stopped
    // send says so and ends at a whole block once let go; a second stop
    // drops what is held.
    void stopLeavesWholeBlocks_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("when");
        QTest::addColumn<int>("at"); // bytes handed to the port by then
        for (const auto &[flow, when, at] : {std::tuple{"4", "start", 0},
                                             {"0", "writing", 32},
                                             {"0", "streaming", 100},
                                             {"0", "drain", 42},
                                             {"0", "pause", 100},
                                             {"3", "xoff", 100},
                                             {"1", "xoff", 100},
                                             {"1", "let go", 100},
                                             {"0", "clearing", 100},
                                             {"0", "draining", 100}, // a long line
                                             {"0", "lost", 100},
                                             {"3", "lost", 100}})
            QTest::addRow("%s, mode %s", when, flow) << flow << when << at;
    }
    void stopLeavesWholeBlocks()
    {
        QFETCH(QString, flow);
        QFETCH(QString, when);
        QFETCH(int, at);
        const QByteArray text = program(20, when == "draining" ? 1000 : 40),
                         wire = QByteArray(text).replace("\r", "\r\n");
        const MachineConfig m = machine(flow, "CRLF", when == "streaming" ? "None" : "25");
        Rig r(text, m, LineSettings::forMachine(m, 9600));
        if (flow != "0") r.machine.send(flow == "4" && when != "start" ? DC1 : "%");
        QVERIFY(r.clock.runUntil([&] { return r.port.written.size() >= at; }));
        if (when == "pause") r.job.setPaused(true);
        const bool xoff = when == "xoff" || when == "let go";
        if (xoff) r.machine.send(DC3);
        const bool holds = when == "pause" || (when == "xoff" && flow == "3"); // the send's own
        QVERIFY(r.clock.runUntil([&] {
            return holds ? r.holds.count() > 0
                         : when != "clearing" || r.job.progress().phase == SendPhase::Clearing;
        }));
        when == "lost" ? r.port.loseDevice() : r.job.stop();
        if (xoff || when == "draining") { // held, unless the output still moves
            r.clock.advance(VirtualClock::Second);
            QVERIFY(r.job.progress().held == xoff && r.job.isRunning());
            if (xoff) when == "xoff" && flow == "1" ? r.job.stop() : r.machine.send(DC1);
        }
        QVERIFY(r.finish());
        QCOMPARE(r.outcomes, QList{when == "lost" ? SendOutcome::PortLost : SendOutcome::Stopped});
        QVERIFY(r.job.progress().text != QStringLiteral("100%")); // how far it got
        if (when == "lost" || (when == "xoff" && flow == "1")) return; // lost, or dropped
        const QByteArray before = r.port.sent;
        QByteArray got = before;
        while (got.endsWith('\0'))
            got.chop(1);
        QVERIFY2(wire.startsWith(got) && (got.isEmpty() || got.endsWith("\r\n")), got.right(50));
        SendJob again(r.port, r.clock, Program::fromFile(text), 0, SendSettings::of(machine("0")));
        QSignalSpy done(&again, &SendJob::finished);
        again.start();
        QVERIFY(r.clock.runUntil([&] { return done.count() > 0; }));
        QCOMPARE(r.port.sent, before + text + nuls);
    }

    // From a start line the progress is of what this send sends: the time
    // left, the percentage (the run-out part of it), the lines sent. The
    // text beside the bar counts as it always did, the run-out apart ("NN %").
    void progressFromTheStartLine_data()
    {
        QTest::addColumn<FromLine>("row");
        // 1999 characters and 2000 NULs: divisor 39. A line counts its length
        // + 2, so the empty line after the last starts at 100 * 21 / 39.
        QTest::newRow("whole") << FromLine{0, "Line 1 of 100, 0:05 left", 51, "54%",
                                           "Sent, 100 lines"};
        QTest::newRow("from line 51")
            << FromLine{50, "Line 51 of 100, 0:04 left", 34, "27%", "Sent, 50 lines"};
    }
    void progressFromTheStartLine()
    {
        QFETCH(FromLine, row);
        // The percentage and the text as the run-out starts.
        const auto &[from, first, runOutAt, textAtRunOut, end] = row;
        Rig r(program(100, 19), machine("0"), {}, from);
        QVERIFY(r.finish());
        const auto firstLine =
            std::find_if(r.reports.begin(), r.reports.end(),
                         [line = from + 1](const SendProgress &p) { return p.line == line; });
        QVERIFY(firstLine != r.reports.end());
        QCOMPARE(SendText::status(*firstLine), first);
        QStringList texts; // beside the bar
        for (const SendProgress &p : r.reports)
            texts << p.text;
        const qsizetype clearing = texts.indexOf("00 %");
        QVERIFY(clearing > 0 && r.reports[clearing].phase == SendPhase::Clearing &&
                r.reports[clearing - 1].phase == SendPhase::Lines);
        QCOMPARE(r.reports[clearing - 1].percent, runOutAt);
        QCOMPARE(r.reports.last().percent, 100);
        QCOMPARE(SendText::ended(SendOutcome::Completed, r.reports.last()), end);
        QCOMPARE((QStringList{texts.first(), texts[clearing - 1], texts.at(texts.size() - 2),
                              texts.last()}),
                 (QStringList{"0%", textAtRunOut, "100 %", "100%"}));
        for (qsizetype i = clearing + 1; i < texts.size() - 1; ++i)
            QVERIFY2(texts[i].endsWith(" %") && texts[i].size() >= 4 &&
                         texts[i].chopped(2).toInt() >= texts[i - 1].chopped(2).toInt(),
                     qPrintable(texts[i]));
    }

    // Block delay "None": the line never idles from the first byte to the
    // last NUL, whatever the flow mode; Pause still holds at a line's end.
    void streams_data()
    {
        QTest::addColumn<qint32>("speed");
        QTest::addColumn<QString>("flow");
        for (const qint32 speed : {115200, 9600})
            for (const char *flow : {"0", "1", "3"})
                QTest::addRow("%d mode %s", speed, flow) << speed << QString(flow);
    }
    void streams()
    {
        QFETCH(qint32, speed);
        QFETCH(QString, flow);
        const MachineConfig m = machine(flow, "CRLF", "None");
        const QByteArray text = program(60, 30), wire = QByteArray(text).replace("\r", "\r\n");
        Rig r(text, m, LineSettings::forMachine(m, speed));
        if (flow == "3") r.machine.send("%");
        QVERIFY(r.clock.runUntil([&] { return r.linesStarted.count() > 20; }));
        r.job.setPaused(true);
        r.clock.advance(VirtualClock::Second);
        QVERIFY(r.port.written.endsWith("\r\n") && r.port.written.size() < wire.size());
        const qsizetype held = r.port.written.size();
        r.job.setPaused(false);
        QVERIFY(r.finish());
        QCOMPARE(r.port.sent, wire + nuls);
        const QList<qint64> &t = r.port.sentNs;
        for (qsizetype i = 1; i < t.size(); ++i)
            if (i != held && i != wire.size()) // resumed, and the run-out after the drain
                QVERIFY2(t[i] - t[i - 1] == r.port.settings().characterNs(),
                         qPrintable(QString::number(i)));
    }

    // At most 10 characters reach the machine after its DC3, in every mode
    // that obeys it, the run-out included; so the machine never overruns.
    void dc3Obeyed_data()
    {
        QTest::addColumn<Dc3>("row");
        for (const char *flow : {"1", "3", "4"}) {
            QTest::addRow("9600 mode %s", flow) << Dc3{9600, flow, 500.0, 14, false};
            QTest::addRow("115200 mode %s", flow) << Dc3{115200, flow, 1500.0, 40, false};
            QTest::addRow("run-out, mode %s", flow) << Dc3{9600, flow, 5.0, 2, true};
        }
    }
    void dc3Obeyed()
    {
        QFETCH(Dc3, row);
        // The bytes a second the control takes; atRunOut: one DC3, as the
        // last line arrives.
        const auto &[speed, flow, rate, lines, atRunOut] = row;
        const MachineConfig m = machine(flow, "CRLF");
        const QByteArray text = program(lines, 70), wire = QByteArray(text).replace("\r", "\r\n");
        Rig r(text, m, LineSettings::forMachine(m, speed));
        const int high = atRunOut ? int(wire.size()) : 192;
        r.machine.config = {4096, rate, high, high - 64, true};
        if (flow != "1") r.machine.send(flow == "3" ? "%" : DC1);
        qint64 worst = -1; // characters that reached the machine after a DC3
        QObject::connect(&r.machine, &SimControl::dc1Sent,
                         [&](const SimControl::Hold &h) { worst = std::max(worst, h.afterDc3); });
        QVERIFY(r.finish());
        QCOMPARE(r.port.sent, wire + nuls);
        QVERIFY2(worst >= 0, "the machine never held the line: the test proves nothing");
        qInfo("at most %lld characters after DC3", worst);
        QVERIFY(worst <= SimControl::AfterDc3Limit && r.machine.overruns() == 0);
    }

    // A character delay after every N characters, counted from when the
    // last of them has left: the line idles that long (within 10 %) and
    // never else; the end of block's characters count one by one.
    void characterDelay_data()
    {
        QTest::addColumn<qint32>("speed");
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("every");
        QTest::newRow("9600, 10 ms after each") << 9600 << 10 << 1;
        QTest::newRow("4800, 25 ms after 4") << 4800 << 25 << 4;
        QTest::newRow("115200, 3 ms after 5") << 115200 << 3 << 5;
    }
    void characterDelay()
    {
        QFETCH(qint32, speed);
        QFETCH(int, delay);
        QFETCH(int, every);
        const MachineConfig m =
            machineWith(QString("MCCHARDLY=%1|MCCHARCNT=%2|MCLEADER=").arg(delay).arg(every) + '%',
                        machine("0", "CRLF"));
        Rig r("N10G01X1Y2Z3\n", m, LineSettings::forMachine(m, speed));
        QVERIFY(r.finish());
        QCOMPARE(r.port.sent, "%N10G01X1Y2Z3\r\n" + nuls);
        const qint64 ms = 1'000'000, expected = delay * ms;
        for (int i = 1; i < 15; ++i) {
            const qint64 idle =
                r.port.sentNs[i] - r.port.sentNs[i - 1] - r.port.settings().characterNs();
            QVERIFY2(i % every ? idle == 0 : qAbs(idle - expected) * 10 <= expected,
                     qPrintable(QString("%1: %2 ns").arg(i).arg(idle)));
        }
    }

    // DC3 (obeyed by the send itself: modes 3 and 4, and 1 with a handshake
    // delay) and DSR low (DTR/DSR) hold the output, a few characters late at most; let go, the
    // handshake delay passes (within 10 %) before the next character.
    void holdAndRelease_data()
    {
        QTest::addColumn<Release>("row");
        QTest::newRow("DC1, mode 4, 100 ms")
            << Release{"4", "Held by the machine (XOFF) at line 1 of 1", 100};
        QTest::newRow("DC1, mode 1, 40 ms")
            << Release{"1", "Held by the machine (XOFF) at line 1 of 1", 40};
        QTest::newRow("DSR, no delay")
            << Release{"5", "Held by the machine (DSR) at line 1 of 1", 0};
        QTest::newRow("DSR, 250 ms")
            << Release{"5", "Held by the machine (DSR) at line 1 of 1", 250};
    }
    void holdAndRelease()
    {
        QFETCH(Release, row);
        const auto &[flow, status, delay] = row;
        const MachineConfig m =
            machineWith(QString("MCHSDLY=%1").arg(delay), machine(flow, "CRLF"));
        const QByteArray text = program(1, 200);
        Rig r(text, m, LineSettings::forMachine(m, 9600));
        if (flow == "4") r.port.deliver(DC1);
        QVERIFY(r.clock.runUntil([&] { return r.port.sent.size() >= 20; }));
        const qsizetype at = r.port.sent.size();
        flow == "5" ? r.port.setDsr(false) : r.port.deliver(DC3);
        r.clock.advance(VirtualClock::Second);
        QVERIFY(r.port.sent.size() <= at + SendJob::QueueLimit + 1);
        QCOMPARE(SendText::status(r.job.progress()), status);
        QCOMPARE(r.holds.count(), 1);
        const qint64 released = r.clock.nowNs();
        const qsizetype held = r.port.sent.size();
        flow == "5" ? r.port.setDsr(true) : r.port.deliver(DC1);
        QVERIFY(r.finish());
        QCOMPARE(r.port.sent, text.chopped(1) + "\r\n" + nuls);
        const qint64 idle = r.port.sentNs[held] - released - r.port.settings().characterNs();
        QVERIFY2(qAbs(idle - delay * 1'000'000) * 10 <= delay * 1'000'000,
                 qPrintable(QString::number(idle)));
        QVERIFY(!r.port.watching);
    }

    // A remote-buffer control that has held the output with DC3 answers SYN
    // when it is reset and NAK on an alarm: the send ends at once, nothing
    // more goes out (the run-out neither), and it says why. Elsewhere the
    // bytes mean nothing to a send.
    void controlAnswers_data()
    {
        QTest::addColumn<Answer>("row");
        const QByteArray syn("\x16"), nak("\x15");
        QTest::newRow("SYN after DC3, mode 1")
            << Answer{"1", DC3 + DC1 + syn, SendOutcome::ControlReset,
                      "The control was reset at line 3 of 4"};
        QTest::newRow("NAK after DC3, mode 3")
            << Answer{"3", DC3 + nak, SendOutcome::ControlAlarm,
                      "The control raised an alarm at line 2 of 4"};
        QTest::newRow("SYN without DC3")
            << Answer{"1", syn, SendOutcome::Completed, "Sent, 4 lines"};
        QTest::newRow("NAK after DC3, mode 0")
            << Answer{"0", DC3 + nak, SendOutcome::Completed, "Sent, 4 lines"};
    }
    void controlAnswers()
    {
        QFETCH(Answer, row);
        const auto &[flow, answer, outcome, text] = row;
        const QByteArray lines = program(4, 40), wire = QByteArray(lines).replace("\r", "\r\n");
        Rig r(lines, machine(flow, "CRLF", "25"));
        if (flow == "3") r.port.deliver("%");
        QVERIFY(r.clock.runUntil([&] { return r.port.sent.size() >= 50; }));
        qsizetype heard = -1; // what had left when the answer came
        QObject::connect(&r.port, &SerialPort::received, [&] { heard = r.port.sent.size(); });
        r.port.deliver(answer);
        QVERIFY(r.finish());
        QCOMPARE(r.outcomes, QList{outcome});
        QCOMPARE(SendText::ended(outcome, r.job.progress()), text);
        QVERIFY(outcome != SendOutcome::Completed ? !r.port.sent.endsWith('\0')
                                                  : r.port.sent == wire + nuls);
        if (outcome != SendOutcome::Completed)
            QVERIFY(heard > 0 && r.port.sent.size() <= heard + 1 && wire.startsWith(r.port.sent));
    }
};

QTEST_GUILESS_MAIN(TestSendJob)
#include "tst_sendjob.moc"
