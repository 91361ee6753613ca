// Port Scan scoring arbitrary bytes in arbitrary chunks: what it has found
// is always something the panel can show (the format only with a speed),
// the port is always at one of the settings it tries, as its caption says,
// and it shows only what it was given, codes below 8 left out.

#include "check.h"
#include "core/link/portscan.h"
#include "fakeport.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    FakePort port;
    port.open(QStringLiteral("ttyFUZZ"), {});
    PortScan scan(port);
    QString caption;
    qsizetype fed = 0, shown = 0;
    QObject::connect(&scan, &PortScan::settingsTried, [&](const QString &c) { caption = c; });
    QObject::connect(&scan, &PortScan::shown, [&](const QByteArray &b) {
        FUZZ_CHECK(!b.isEmpty());
        for (const char c : b)
            FUZZ_CHECK(quint8(c) >= 8);
        shown += b.size();
    });
    QObject::connect(&scan, &PortScan::findingsChanged,
                     [&](const ScanFindings &f) { FUZZ_CHECK(f == scan.findings()); });
    scan.start();
    while (in.remaining_bytes() > 0) {
        const QByteArray chunk = QByteArray::fromStdString(in.ConsumeRandomLengthString(256));
        fed += chunk.size();
        scan.feed(chunk);
        FUZZ_CHECK(shown <= fed);
        const ScanFindings f = scan.findings();
        FUZZ_CHECK(f.dataBits == f.parity && (!f.dataBits || f.speed) && (!f.speed || f.data));
        const LineSettings s = port.settings();
        const bool seven = s.dataBits == 7 && (s.parity == Parity::Even || s.parity == Parity::Odd);
        FUZZ_CHECK(seven || (s.dataBits == 8 && s.parity == Parity::None));
        FUZZ_CHECK(s.stopBits == 1 && s.speed == scan.speedTried());
        FUZZ_CHECK((QList<qint32>{9600, 4800, 2400, 1200, 600}.contains(s.speed)));
        FUZZ_CHECK(caption == QString::number(s.speed) + (!seven                     ? ",n,8,1"
                                                          : s.parity == Parity::Even ? ",e,7,1"
                                                                                     : ",o,7,1"));
    }
    return 0;
}
