// Pacing on a timed line: the fake port with a line model at 9600 and
// 115200 bit/s and a simulated machine tool with a small receive buffer.

#include "tst_send_fixture.h"

#include "linemodel.h"
#include "simmachine.h"

#include <algorithm>

using Rig = SendRig<LineModelSerial>;

namespace
{

QByteArray program(int lines, int width)
{
    QByteArray out;
    for (int i = 1; i <= lines; ++i) {
        QByteArray line = QByteArray("N") + QByteArray::number(i * 10) + " G01 X" +
                          QByteArray::number(i * 7 % 500) + ".125 Y-" +
                          QByteArray::number(i * 13 % 300) + ".5 F1200 ";
        line += QByteArray(qMax(0, width - int(line.size())), 'Z');
        out += line + '\r';
    }
    return out;
}

} // namespace

class TestSendLine : public QObject
{
    Q_OBJECT
private slots:
    void flowControl_data();
    void flowControl();
    void drainAndDelayBeforeEachLine();
};

void TestSendLine::flowControl_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("flow");
    QTest::addColumn<double>("machineRate"); // bytes per second the control takes
    QTest::addColumn<int>("lines");
    for (const char *flow : {"1", "3", "4"}) {
        QTest::addRow("9600 mode %s", flow) << "9600" << flow << 500.0 << 14;
        QTest::addRow("115200 mode %s", flow) << "115200" << flow << 1500.0 << 40;
    }
}

void TestSendLine::flowControl()
{
    QFETCH(QString, speed);
    QFETCH(QString, flow);
    QFETCH(double, machineRate);
    QFETCH(int, lines);
    constexpr int width = 70;
    Rig r(
        oneMachine({{"MCDRATE", speed}, {"MCDBITS", "8"}, {"MCFLOW", flow}, {"MCBLKTIC", "Fast"}}));
    SimMachine machine({256, machineRate, 192, 64, true});
    r.s.attach(&machine);
    const QByteArray text = program(lines, width);
    r.load(text);
    QByteArray expected = text;
    expected.replace("\r", "\r\n");

    QSignalSpy done(r.w->engine, &SendEngine::finished);
    r.w->transmit->cmdTX_Action();
    QVERIFY(r.w->engine->isRunning());
    if (flow == QLatin1String("3"))
        machine.send("%");
    else if (flow == QLatin1String("4"))
        machine.send(QByteArray(1, kDC1));
    QVERIFY(done.wait(30000));

    QCOMPARE(machine.received, expected + nuls());
    QVERIFY2(machine.dc3Sent > 0, "the machine's buffer never filled: the test proves nothing");
    const auto programOverruns = std::count_if(machine.overrunAt.begin(), machine.overrunAt.end(),
                                               [&](qint64 at) { return at < expected.size(); });
    if (flow == QLatin1String("1")) {
        // The port's own handshake stops the line within a character or two:
        // the DC3 takes one character time to come back, and the character
        // then on the line finishes.
        QCOMPARE(machine.overrunAt.size(), 0);
        QVERIFY2(machine.maxLevel <= 192 + 3, qPrintable(QString::number(machine.maxLevel)));
    } else {
        // The program obeys XOFF between characters; what the driver holds
        // (at most the line in flight) still goes.
        QVERIFY2(programOverruns <= width + 2,
                 qPrintable(QString::number(qint64(programOverruns))));
    }
}

void TestSendLine::drainAndDelayBeforeEachLine()
{
    Rig r(
        oneMachine({{"MCDRATE", "9600"}, {"MCFLOW", "0"}, {"MCBLKTIC", "50ms"}, {"MCEOB", "CR"}}));
    SimMachine machine({1 << 20, 1e6, 1 << 20, 0, false});
    r.s.attach(&machine);
    r.load(program(8, 30));
    // Each line's first character: when it was written, and how much the
    // port still held then.
    QList<qint64> lineStartNs;
    QList<qint64> heldAtStart;
    bool atLineStart = true;
    r.s.onWrite = [&](const QByteArray &b) {
        if (atLineStart && b.size() == 1) {
            lineStartNs << r.s.nowNs();
            heldAtStart << r.s.pending - 1;
        }
        atLineStart = b == "\r";
    };
    QVERIFY(r.send(30000));
    QCOMPARE(lineStartNs.size(), 8);
    // 31 characters of 10 bits at 9600 bit/s take 32.3 ms; then 50 ms is
    // the fourth tick: the next line starts 50 to 67 ms after the drain.
    const qint64 lineNs = 31 * r.s.charNs();
    for (int i = 1; i < lineStartNs.size(); ++i) {
        QCOMPARE(heldAtStart[i], 0);
        const qint64 drained = lineStartNs[i - 1] + lineNs;
        const qint64 gapMs = (lineStartNs[i] - drained) / 1'000'000;
        QVERIFY2(gapMs >= 49 && gapMs <= 72, qPrintable(QString::number(gapMs)));
    }
}

QTEST_MAIN(TestSendLine)
#include "tst_send_line.moc"
