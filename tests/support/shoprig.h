#pragma once

#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"
#include "fakeport.h"
#include "virtualclock.h"

#include <QFile>
#include <QTemporaryDir>

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The workshop in virtual time (or the system's, for real ports), its file
// in a folder of its own.
template <typename Port = FakePort> struct ShopRig {
    explicit ShopRig(const QString &folder = {}, bool realTime = false)
        : link(port, ports, realTime ? Clock::system() : clock), config(dir.filePath(folder)),
          recorder(realTime ? Clock::system() : clock)
    {
        recorder.watchAll(shop.registry());
    }

    QTemporaryDir dir;
    VirtualClock clock;
    Port port;
    FakePortList ports{{"ttyFAKE0", "ttyFAKE1"}};
    Link link;
    ConfigStore config;
    Workshop shop{config, Workshop::onePort(port), ports, link.clock()};
    TransferRecorder recorder;

    QByteArray file() const { return readFile(config.filePath()); }
    // The selected machine's link.
    Link &selected() const { return *shop.selectedLink(); }
};
