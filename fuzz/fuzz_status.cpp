// What the status page reads from outside: the transfer log's lines (any
// bytes: another program may have written the file) and the --http
// address. Every line is taken or left whole; a line taken and written
// back out is taken again the same; an address taken names a port.

#include "check.h"
#include "web/statusjson.h"
#include "web/statusserver.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray data(reinterpret_cast<const char *>(bytes), qsizetype(size));
    qsizetype seen = 0;
    for (const QByteArray &line : data.split('\n')) {
        seen += line.size() + 1;
        TransferRecord r;
        if (!StatusJson::parseLogLine(line, &r)) continue;
        FUZZ_CHECK(StatusJson::transfer(r).size() >= 9);
        TransferRecord again;
        FUZZ_CHECK(StatusJson::parseLogLine(r.line().chopped(1), &again));
        FUZZ_CHECK(again.send == r.send && again.bytes == r.bytes && again.lines == r.lines);
    }
    FUZZ_CHECK(seen == data.size() + 1);
    QHostAddress address;
    quint16 port = 0;
    if (StatusServer::parseAddress(QString::fromUtf8(data), &address, &port))
        FUZZ_CHECK(!address.isNull());
    return 0;
}
