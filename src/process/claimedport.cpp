#include "process/claimedport.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

ClaimedPort::ClaimedPort(std::shared_ptr<SerialPort> port, std::function<QString()> folder,
                         const QString &who, QObject *parent)
    : SerialPort(parent), m_port(std::move(port)), m_folder(std::move(folder)), m_who(who)
{
    connect(m_port.get(), &SerialPort::received, this, &SerialPort::received);
    connect(m_port.get(), &SerialPort::bytesWritten, this, &SerialPort::bytesWritten);
    connect(m_port.get(), &SerialPort::inputLinesChanged, this, &SerialPort::inputLinesChanged);
    connect(m_port.get(), &SerialPort::lost, this, [this] {
        release();
        emit lost();
    });
}

QString ClaimedPort::claimName(const QString &port)
{
    // A device is known by where its links lead; every byte that could
    // mean something in a path is escaped.
    const QString real = port.startsWith(u'/') ? QFileInfo(port).canonicalFilePath() : QString();
    return QStringLiteral("zoZad-port-") +
           QString::fromLatin1(QUrl::toPercentEncoding(real.isEmpty() ? port : real));
}

bool ClaimedPort::open(const QString &name, const LineSettings &settings)
{
    const QString claim = claimName(name);
    m_name = name;
    m_refused = false;
    m_holder.clear();
    m_claimError.clear();
    if (claim != m_claimed) {
        m_port->close();
        release();
        const QString folder = m_folder ? m_folder() : QString();
        switch (folder.isEmpty() ? InstanceLock::Result::Failed
                                 : m_claim.acquire(QDir(folder).filePath(claim), m_who)) {
        case InstanceLock::Result::Held:
            m_refused = true;
            m_holder = m_claim.detail();
            return false;
        case InstanceLock::Result::Refused:
            // The port is never taken unclaimed beside a claim file that
            // is not the program's own: the claim would go unnoticed.
            m_claimError = m_claim.detail();
            return false;
        case InstanceLock::Result::Acquired:
            m_claimed = claim;
            break;
        case InstanceLock::Result::Failed:
            break;
        }
    }
    if (m_port->open(name, settings)) return true;
    release();
    return false;
}

void ClaimedPort::close()
{
    m_port->close();
    release();
}

void ClaimedPort::release()
{
    m_claim.release();
    m_claimed.clear();
}

QString ClaimedPort::errorString() const
{
    if (!m_claimError.isEmpty()) return m_claimError;
    if (!m_refused) return m_port->errorString();
    return QStringLiteral("in use by ") +
           (m_holder.isEmpty() ? QStringLiteral("another program") : m_holder);
}
