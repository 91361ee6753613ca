#pragma once

#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"
#include "fakeport.h"
#include "machineports.h"
#include "virtualclock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString &path, const QByteArray &bytes, mode_t mode = 0644)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    QCOMPARE(::chmod(QFile::encodeName(path), mode), 0);
}

inline mode_t modeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The workshop in virtual time (or the system's, for real ports), its file
// in a folder of its own; its machines on one port, `port`, or each on a
// port of its own, as the program has them.
template <typename Port = FakePort> struct ShopRig {
    enum class Ports { One, PerMachine };

    explicit ShopRig(const QString &folder = {}, bool realTime = false, Ports topology = Ports::One)
        : port(newPort<Port>(clock)), link(port, ports, realTime ? Clock::system() : clock),
          machinePorts(link.clock()), config(dir.filePath(folder)),
          shop(config,
               topology == Ports::One ? Workshop::onePort(port) : machinePorts.factory(), ports,
               link.clock()),
          recorder(link.clock())
    {
        recorder.watchAll(shop.registry());
    }

    QTemporaryDir dir;
    VirtualClock clock;
    Port port;
    FakePortList ports{{"ttyFAKE0", "ttyFAKE1"}};
    Link link;
    MachinePorts<Port> machinePorts;
    ConfigStore config;
    Workshop shop;
    TransferRecorder recorder;

    QByteArray file() const { return readFile(config.filePath()); }
    // The selected machine's link.
    Link &selected() const { return *shop.selectedLink(); }
};
