#include "web/statustoken.h"

#include "core/base/atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cctype>

#include <sys/stat.h>

namespace
{
bool wellFormed(const QByteArray &text)
{
    if (text.size() != StatusToken::Length) return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

QString make()
{
    QByteArray bytes(StatusToken::Length / 2, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / int(sizeof(quint32)));
    return QString::fromLatin1(bytes.toHex());
}
} // namespace

QString StatusToken::filePath(const QString &configFolder)
{
    return QDir(configFolder).filePath(QStringLiteral("status-token"));
}

QString StatusToken::ensure(const QString &configFolder, QString *why)
{
    const QString path = filePath(configFolder);
    QByteArray text;
    if (QFileInfo::exists(path)) {
        if (const QString error = readRegularFile(path, &text, 4096); !error.isEmpty()) {
            *why = QStringLiteral("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), error);
            return {};
        }
        text = text.trimmed();
        if (wellFormed(text)) return QString::fromLatin1(text);
    }
    const QString token = make();
    // Made unreadable to others from its first byte, not narrowed afterwards.
    const mode_t before = ::umask(077);
    const QString error = writeFileAtomically(path, token.toLatin1() + '\n');
    ::umask(before);
    if (error.isEmpty())
        ::chmod(QFile::encodeName(path).constData(), 0600);
    else
        *why = QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), error);
    return error.isEmpty() ? token : QString();
}

bool StatusToken::matches(const QString &token, const QString &given)
{
    if (token.isEmpty() || token.size() != given.size()) return false;
    ushort differ = 0;
    for (qsizetype i = 0; i < token.size(); ++i)
        differ |= token[i].unicode() ^ given[i].unicode();
    return differ == 0;
}
