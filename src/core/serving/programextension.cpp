#include "core/serving/programextension.h"

#include <QRegularExpression>

namespace
{
// The setting without its blanks and leading dot; empty when it is no
// extension.
QString read(const QString &setting)
{
    static const QRegularExpression words(QStringLiteral("^[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)*$"));
    const QString t = setting.trimmed();
    const QString bare = t.startsWith(u'.') ? t.mid(1) : t;
    return bare.size() <= ProgramExtension::MaxLength && words.match(bare).hasMatch() ? bare
                                                                                        : QString();
}
} // namespace

namespace ProgramExtension
{
QString of(const QString &setting)
{
    const QString bare = read(setting);
    return u'.' + (bare.isEmpty() ? QStringLiteral("nc") : bare);
}

bool isValid(const QString &setting)
{
    return setting.trimmed().isEmpty() || !read(setting).isEmpty();
}
} // namespace ProgramExtension
