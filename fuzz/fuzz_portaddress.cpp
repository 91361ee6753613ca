// A machine's port name as typed: any text parses without harm, and a
// network address written back out as scheme://host:port parses the same.

#include "core/ports/portaddress.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const PortAddress a = PortAddress::parse(
        QString::fromUtf8(reinterpret_cast<const char *>(bytes), qsizetype(size)));
    if (!a.isNetwork()) return 0;
    if (a.host.isEmpty() || a.port == 0) std::abort();
    const QString host = a.host.contains(u':') ? '[' + a.host + ']' : a.host;
    const QString scheme = a.kind == PortAddress::Kind::RawTcp ? "tcp" : "rfc2217";
    const PortAddress b = PortAddress::parse(scheme + "://" + host + ':' + QString::number(a.port));
    if (b.kind != a.kind || b.host != a.host || b.port != a.port) std::abort();
    return 0;
}
