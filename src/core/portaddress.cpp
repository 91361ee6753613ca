#include "core/portaddress.h"

#include <QUrl>

PortAddress PortAddress::parse(const QString &name)
{
    PortAddress a;
    const qsizetype scheme = name.indexOf(QLatin1String("://"));
    if (scheme < 0) return a; // a device name
    const QString kind = name.left(scheme).toLower();
    a.kind = kind == u"tcp" ? Kind::RawTcp : kind == u"rfc2217" ? Kind::Rfc2217 : Kind::Invalid;
    const QUrl url(name, QUrl::StrictMode);
    const int port = url.port();
    if (a.kind == Kind::Invalid || !url.isValid() || url.host().isEmpty() || port < 1 ||
        port > 65535 || !url.path().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment()) {
        a.kind = Kind::Invalid;
        return a;
    }
    a.host = url.host();
    a.port = quint16(port);
    return a;
}
