#pragma once

#include <QtGlobal>

// What one received byte means for Port Scan.
struct ScanVerdict {
    bool shown = false;      // the byte is shown and was scored
    bool nextSpeed = false;  // too many implausible bytes: try the next speed
    bool speedFound = false; // the speed has just been accepted
    bool sevenEven = false;  // many bytes carry the top bit: switch to 7 data bits, even parity
};

// The scoring behind Port Scan, without any window or port: each byte moves
// an error score between 0 and 200. Plausible bytes (line ends, space, digits,
// upper-case letters and the punctuation between them) lower it, others
// raise it. 200 rejects the speed being tried, 0 accepts it. Once the speed
// is known, bytes with the top bit set point to 7 data bits with even
// parity read as 8 bits.
//
// The counters live with the caller (the shared state), so they are held by
// reference.
class ScanScore
{
public:
    static constexpr int Ignored = 8;       // codes below this are neither shown nor scored
    static constexpr int StartScore = 100;  // error score when a speed starts
    static constexpr int RejectScore = 200; // upper bound; rejects the speed
    static constexpr int AcceptScore = 0;   // lower bound; accepts the speed
    static constexpr int TopBitLimit = 50;  // more top-bit bytes than this switch the format

    ScanScore(bool &gotSpeed, int &errCounter, int &parityCounter)
        : m_gotSpeed(gotSpeed), m_err(errCounter), m_parity(parityCounter)
    {
    }

    static bool plausible(quint8 c);
    // Scores one byte and updates the counters; the caller carries out the
    // verdict (changes the port, ticks the boxes).
    ScanVerdict feed(quint8 c);

private:
    bool &m_gotSpeed;
    int &m_err;
    int &m_parity;
};
