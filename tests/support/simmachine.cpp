#include "simmachine.h"

#include "pty.h"

#include <cmath>

namespace
{
constexpr char DC1 = 17;
constexpr char DC3 = 19;
} // namespace

SimMachine::SimMachine(Config c, QObject *parent) : QObject(parent), config(c)
{
    m_lowWaterTimer.setSingleShot(true);
    m_lowWaterTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lowWaterTimer, &QTimer::timeout, this, [this] {
        runTo(clock());
        armLowWater();
    });
}

SimMachine::~SimMachine() = default;

double SimMachine::levelAt(qint64 ns) const
{
    const double gone = config.bytesPerSecond * double(ns - m_levelNs) / 1e9;
    return qMax(0.0, m_level - qMax(0.0, gone));
}

qint64 SimMachine::lowWaterNs() const
{
    if (!m_xoffSent || !config.flowControl || config.bytesPerSecond <= 0) return -1;
    const double above = m_level - config.lowWater;
    if (above <= 0) return m_levelNs;
    return m_levelNs + qint64(std::ceil(above / config.bytesPerSecond * 1e9));
}

void SimMachine::runTo(qint64 ns)
{
    if (ns < m_levelNs) return;
    const qint64 due = lowWaterNs();
    if (due >= 0 && due <= ns) {
        m_level = levelAt(due);
        m_levelNs = due;
        m_xoffSent = false;
        ++dc1Sent;
        if (toPc) toPc(QByteArray(1, DC1), due);
    }
    m_level = levelAt(ns);
    m_levelNs = ns;
}

bool SimMachine::wouldSendDc3(qint64 ns) const
{
    return config.flowControl && !m_xoffSent && levelAt(ns) + 1 >= config.highWater;
}

void SimMachine::receive(char byte, qint64 ns)
{
    runTo(ns);
    received.append(byte);
    arrivalNs.append(ns);
    if (m_level + 1 > config.bufferSize + 1e-9)
        overrunAt.append(received.size() - 1); // the byte is lost to the control
    else
        m_level += 1;
    maxLevel = qMax(maxLevel, int(std::ceil(m_level - 1e-9)));
    if (config.flowControl && !m_xoffSent && m_level >= config.highWater) {
        m_xoffSent = true;
        ++dc3Sent;
        if (toPc) toPc(QByteArray(1, DC3), ns);
    }
}

void SimMachine::send(const QByteArray &bytes)
{
    if (toPc) toPc(bytes, clock ? clock() : 0);
}

void SimMachine::clearRecord()
{
    received.clear();
    arrivalNs.clear();
    overrunAt.clear();
    maxLevel = 0;
    dc3Sent = 0;
    dc1Sent = 0;
}

void SimMachine::attachPty(Pty &pty)
{
    m_pty = &pty;
    m_ptyClock.start();
    clock = [this] { return m_ptyClock.nsecsElapsed(); };
    toPc = [this](const QByteArray &bytes, qint64) { m_pty->write(bytes); };
    connect(&pty, &Pty::readyRead, this, &SimMachine::onPtyReadable);
}

void SimMachine::onPtyReadable()
{
    const QByteArray bytes = m_pty->readAll();
    const qint64 now = clock();
    for (char b : bytes)
        receive(b, now);
    armLowWater();
}

void SimMachine::armLowWater()
{
    const qint64 due = lowWaterNs();
    if (due < 0) {
        m_lowWaterTimer.stop();
        return;
    }
    const qint64 ms = qMax<qint64>(0, (due - clock() + 999'999) / 1'000'000);
    m_lowWaterTimer.start(int(ms));
}
