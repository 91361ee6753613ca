#include "core/ports/portaddress.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sys/stat.h>

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

bool isSerialDevicePath(const QString &name)
{
    if (!name.startsWith(u'/')) return false;
    const QFileInfo info(name);
    const QString real = info.canonicalFilePath(); // links followed; empty when missing
    struct stat st = {};
    if (real.isEmpty() || ::stat(QFile::encodeName(real).constData(), &st) != 0 ||
        !S_ISCHR(st.st_mode))
        return false;
    // Pseudo-terminals, and every device the kernel's tty layer drives.
    return real.startsWith(QLatin1String("/dev/pts/")) ||
           QFileInfo::exists(QStringLiteral("/sys/class/tty/") + QFileInfo(real).fileName());
}
