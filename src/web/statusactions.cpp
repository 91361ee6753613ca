// The status page's actions: what a machine's folder offers, a send from
// it, a stop. Each needs the token of the machine's configuration.
#include "web/statusserver.h"

#include "core/base/atomicfile.h"
#include "core/base/ownfiles.h"
#include "core/link/link.h"
#include "core/machines/machine.h"
#include "core/machines/workshop.h"
#include "core/programs/charactercheck.h"
#include "core/serving/servedmachine.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Status = QHttpServerResponder::StatusCode;

namespace
{
QHttpServerResponse answer(Status status, const QString &text)
{
    return QHttpServerResponse(
        QJsonObject{{status == Status::Ok ? "text" : "error", text}}, status);
}

// The file `name` in `folder`, the way the folder lists it: a plain name,
// never a path, and not a link that leads out of the folder. Empty when
// there is no such program there.
QString programIn(const QString &folder, const QString &name)
{
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name.startsWith(u'.') ||
        isProgramsOwnFile(name))
        return {};
    const QDir dir(folder);
    const QFileInfo file(dir.filePath(name));
    if (!file.isFile() || file.canonicalPath() != QFileInfo(folder).canonicalFilePath()) return {};
    return file.filePath();
}

// The file named by the request: ?file=NAME, or {"file": NAME} as its body.
QString fileOf(const QHttpServerRequest &request)
{
    const QString query = request.query().queryItemValue(QStringLiteral("file"),
                                                          QUrl::FullyDecoded);
    if (!query.isEmpty()) return query;
    return QJsonDocument::fromJson(request.body()).object().value(QStringLiteral("file")).toString();
}
} // namespace

// The machine `name` whose configuration's token the request bears; null,
// with the answer that refuses the action, otherwise.
Machine *StatusServer::target(const QString &name, const QHttpServerRequest &request,
                              std::optional<QHttpServerResponse> *refusal) const
{
    bool known = false;
    const QList<Machine *> machines = authorised(name, request, &known);
    if (!known)
        refusal->emplace(answer(Status::Unauthorized, QStringLiteral("a valid token is needed")));
    else if (machines.isEmpty())
        refusal->emplace(
            answer(Status::NotFound, QStringLiteral("there is no machine \"%1\"").arg(name)));
    else if (machines.size() > 1)
        // Never a guess at which machine gets a program.
        refusal->emplace(answer(Status::Conflict,
                                QStringLiteral("more than one machine is named \"%1\"; say which "
                                               "with config=")
                                    .arg(name)));
    return machines.size() == 1 ? machines.first() : nullptr;
}

QHttpServerResponse StatusServer::programs(const QString &name,
                                           const QHttpServerRequest &request) const
{
    std::optional<QHttpServerResponse> refusal;
    Machine *machine = target(name, request, &refusal);
    if (!machine) return std::move(*refusal);
    const QDir folder(machine->config().value(Key::Folder));
    QJsonArray files;
    for (const QFileInfo &file : folder.entryInfoList(QDir::Files, QDir::Name)) {
        if (files.size() >= MaxPrograms) break;
        if (!programIn(folder.path(), file.fileName()).isEmpty())
            files.append(QJsonObject{{"name", file.fileName()}, {"bytes", double(file.size())}});
    }
    return QHttpServerResponse(files);
}

QHttpServerResponse StatusServer::send(const QString &name, const QHttpServerRequest &request)
{
    std::optional<QHttpServerResponse> refusal;
    Machine *machine = target(name, request, &refusal);
    if (!machine) return std::move(*refusal);
    const MachineConfig &config = machine->config();
    const QString file = fileOf(request);
    const QString path = programIn(config.value(Key::Folder), file);
    if (path.isEmpty())
        return answer(Status::NotFound,
                      QStringLiteral("there is no program \"%1\" in the folder of %2")
                          .arg(file, config.name()));
    if (machine->transferring())
        return answer(Status::Conflict, QStringLiteral("%1 is busy: %2")
                                            .arg(config.name(), stateText(machine->state())
                                                                    .section(u'\n', 0, 0)));
    QByteArray bytes;
    bool tooLarge = false;
    if (const QString why =
            readRegularFile(path, &bytes, ServedMachine::MaxRequestBytes, &tooLarge);
        !why.isEmpty())
        return answer(tooLarge ? Status::PayloadTooLarge : Status::UnprocessableEntity,
                      QStringLiteral("%1 cannot be read: %2").arg(file, why));
    const Program program = Program::fromFile(bytes);
    const CharacterCheck::Report found = CharacterCheck::check(program, 0, config.characterRule());
    if (!found.isEmpty())
        return answer(Status::UnprocessableEntity, CharacterCheck::describe(file, found));
    Transfer t = transferOf(machine->id(), config, Transfer::Direction::Send);
    t.source = ProgramSource::file(QFileInfo(path).absoluteFilePath());
    switch (Workshop::startSend(machine->link(), program, t, config)) {
    case Workshop::SendResult::Started:
        return answer(Status::Ok, QStringLiteral("Sending %1 to %2").arg(file, config.name()));
    case Workshop::SendResult::NoPort:
        return answer(Status::Conflict, QStringLiteral("the port %1 of %2 cannot be opened")
                                            .arg(config.port(), config.name()));
    case Workshop::SendResult::Busy:
        return answer(Status::Conflict, QStringLiteral("%1 is busy").arg(config.name()));
    default:
        return answer(Status::UnprocessableEntity, QStringLiteral("%1 holds no program").arg(file));
    }
}

QHttpServerResponse StatusServer::stop(const QString &name, const QHttpServerRequest &request)
{
    std::optional<QHttpServerResponse> refusal;
    Machine *machine = target(name, request, &refusal);
    if (!machine) return std::move(*refusal);
    SendTransfer *job = machine->link().job();
    if (!job)
        return answer(Status::Conflict,
                      QStringLiteral("nothing is being sent to %1").arg(machine->config().name()));
    // As the window's Stop: at a whole block; again, what the machine holds is dropped.
    job->stop();
    return answer(Status::Ok, QStringLiteral("Stopping the send to %1").arg(machine->config().name()));
}
