#include "serial/serial.h"

namespace {
struct BaudEntry {
    int code;
    qint32 bps;
};
constexpr BaudEntry kBauds[] = {
    {Serial::Baud150, 150},       {Serial::Baud300, 300},       {Serial::Baud600, 600},
    {Serial::Baud1200, 1200},     {Serial::Baud2400, 2400},     {Serial::Baud4800, 4800},
    {Serial::Baud9600, 9600},     {Serial::Baud19200, 19200},   {Serial::Baud38400, 38400},
    {Serial::Baud57600, 57600},   {Serial::Baud115200, 115200},
};
} // namespace

qint32 Serial::bitsPerSecond(int baudCode)
{
    for (const auto &e : kBauds)
        if (e.code == baudCode)
            return e.bps;
    return 0;
}

int Serial::baudCodeFor(qint32 bps)
{
    for (const auto &e : kBauds)
        if (e.bps == bps)
            return e.code;
    return -1;
}

int Serial::bitsPerCharacter() const
{
    const int data = m_bits == Bits7 ? 7 : 8;
    const int parity = m_parity == ParityNone ? 0 : 1;
    const int stop = m_stop == Stop2 ? 2 : 1;
    return 1 + data + parity + stop;
}
