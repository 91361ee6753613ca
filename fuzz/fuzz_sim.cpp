// What the simulator reads: bytes from the PC, in arbitrary chunks at
// arbitrary times, and command lines typed at it, playing any family of
// controls. The control's buffer never holds more than its size, its DC3 and
// DC1 alternate, each hold began at the mark, every byte is kept or counted
// lost; a reply it shows, and every event it reports, is printable; and
// nothing the simulator is given, in any protocol, tape code or parity and
// with any faults staged, makes it misbehave (the sanitizers watch).

#include "check.h"
#include "sim/simcontrol.h"
#include "sim/simblockwise.h"
#include "sim/simtransport.h"
#include "sim/simxmodem.h"
#include "sim/simulator.h"
#include "virtualclock.h"

#include <QTemporaryDir>
#include <fuzzer/FuzzedDataProvider.h>

namespace
{
class Wire : public SimTransport
{
public:
    QString deviceName() const override { return QStringLiteral("fuzz"); }
    bool write(const QByteArray &) override { return true; }
    void setRoom(qsizetype) override {}
    qint64 characterNs() const override { return 1'000'000; }
    void fromPc(const QByteArray &bytes) { emit received(bytes); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder; // what the simulator saves
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    SimControlConfig config;
    config.bufferSize = in.ConsumeIntegralInRange(1, 512);
    config.dc3At = in.ConsumeIntegralInRange(1, config.bufferSize);
    config.dc1At = in.ConsumeIntegralInRange(0, config.dc3At - 1);
    config.bytesPerSecond = in.ConsumeIntegralInRange(0, 5000);
    config.flow = in.ConsumeBool();

    SimControl control(clock, config);
    QByteArray codes; // the DC3s and DC1s the control sent
    control.toPc = [&](const QByteArray &bytes, qint64) { codes += bytes; };
    QObject::connect(&control, &SimControl::dc1Sent, [&](const SimControl::Hold &hold) {
        FUZZ_CHECK(hold.levelAtDc3 >= config.dc3At && hold.levelAtDc3 <= config.bufferSize);
        FUZZ_CHECK(hold.afterDc3 >= 0);
    });
    qint64 kept = 0;

    Wire wire;
    Simulator sim(clock, wire, config, folder.path());
    const QList<const ControlFamily *> families = ControlFamily::all();
    sim.setFamily(*families[in.ConsumeIntegralInRange<qsizetype>(0, families.size() - 1)]);
    const SimFaults faults{in.ConsumeIntegralInRange(0, 4), in.ConsumeIntegralInRange(0, 5), in.ConsumeBool()};
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 1: sim.setProtocol(new SimXmodem(clock, faults, in.ConsumeBool())); break;
    case 2: sim.setProtocol(new SimBlockwise(clock, faults)); break;
    default: break;
    }
    SimLineCode code;
    code.eia = in.ConsumeBool();
    code.parity = SimLineCode::Parity(in.ConsumeIntegralInRange(0, 2));
    sim.setLineCode(code);
    sim.setSilent(faults.silent);
    QObject::connect(&sim, &Simulator::report, [](const QString &line) {
        for (const QChar c : line)
            FUZZ_CHECK(c >= QLatin1Char(' ') && c <= QLatin1Char('~'));
    });
    QObject::connect(&sim, &Simulator::say, [](const QString &line) {
        if (!line.startsWith(QLatin1String("Reply: "))) return;
        for (const QChar c : line)
            FUZZ_CHECK(c >= QLatin1Char(' ') && c <= QLatin1Char('~'));
    });
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            const QString line = QString::fromStdString(in.ConsumeRandomLengthString(80));
            // A punch or a comparison reads files of this computer: not the
            // fuzzer's to pick.
            const QString verb = line.trimmed().section(' ', 0, 0).toLower();
            if (verb != QLatin1String("punch") && verb != QLatin1String("compare"))
                sim.command(line);
        } else {
            const QByteArray chunk = QByteArray::fromStdString(in.ConsumeRandomLengthString(64));
            wire.fromPc(chunk);
            for (const char c : chunk)
                kept += control.receive(c, clock.nowNs()) ? 1 : 0;
        }
        FUZZ_CHECK(control.level() >= 0 && control.level() <= config.bufferSize);
        clock.advance(in.ConsumeIntegralInRange(0, 4000) * qint64(1'000'000));
    }
    sim.finish();
    FUZZ_CHECK(control.received() == kept + control.overruns());
    for (qsizetype i = 0; i < codes.size(); ++i)
        FUZZ_CHECK(codes[i] == (i % 2 == 0 ? '\x13' : '\x11'));
    FUZZ_CHECK(codes.isEmpty() || config.flow);
    return 0;
}
