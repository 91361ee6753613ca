#pragma once

#include <QString>

class SerialPort;
struct SendProgress;
enum class SendOutcome;

// What a send says to the user, the same in the window's transmit bar and
// on the command line.
namespace SendText
{
// "Line 234 of 1999, 2:31 left", or what the send waits for.
QString status(const SendProgress &progress);
// "line 234 of 1999": where the send is, or ended.
QString at(const SendProgress &progress);
// "Sent, 1999 lines" (the lines this send sent), "Stopped at line 234 of
// 1999", "Broke off at ...", "The control was reset at ...".
QString ended(SendOutcome outcome, const SendProgress &progress);
// "The send failed at line 234 of 1999: <why>." (a protocol's peer gave up).
QString failed(const SendProgress &progress, const QString &why);
// Why a control ended the send, for the log: "the control was reset at line
// 234 of 1999", "the control raised an alarm at ..."; empty for any other
// outcome.
QString answered(SendOutcome outcome, const SendProgress &progress);
// Why the port (if any) was lost, as it tells it.
QString lostReason(const SerialPort *port);
// "The send broke off at line 234 of 1999: <why>."
QString brokeOff(const SendProgress &progress, const SerialPort *port);
} // namespace SendText
