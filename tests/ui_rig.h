#pragma once

// The whole program over a temporary configuration folder: the workshop with
// a port of the test's kind for each machine, the main window, and a
// scripted platform.

#include "fakeplatform.h"
#include "machinevalues.h"
#include "shoprig.h"
#include "ui/mainwindow.h"
#include "ui/names.h"

#include <QTest>

template <typename Port = FakePort> struct UiRig : ShopRig<Port> {
    FakePlatform platform;
    MainWindow window{this->shop, platform};

    // `ini` is the file to start with (none when null); `realTime` for
    // real ports.
    explicit UiRig(const QByteArray &ini, const QStringList &portNames = {"ttyFAKE0", "ttyFAKE1"},
                   bool realTime = false)
        : ShopRig<Port>({}, realTime, ShopRig<Port>::Ports::PerMachine)
    {
        this->ports.list = portNames;
        if (!ini.isNull()) write("zoZad.ini", ini);
        window.reportLogFailures(this->recorder.log());
        window.open();
        window.show(); // the code window's geometry places the line pointer
    }

    // Machine `slot`'s own port, and the port on `device`.
    Port &portOf(int slot) const { return static_cast<Port &>(this->shop.linkAt(slot)->port()); }
    Port &on(const QString &device) { return this->machinePorts.on(device); }

    template <typename W = QWidget> W *find(const QString &name) const
    {
        return window.findChild<W *>(name);
    }
    void click(const QString &name, Qt::MouseButton button = Qt::LeftButton) const
    {
        if (QWidget *w = find(name)) QTest::mouseClick(w, button, {}, QPoint(4, 4));
    }
    bool shows(const QString &name) const { return find(name) && find(name)->isVisibleTo(&window); }
    // `button` (Send, or Stop) clicked, and time run till the user's send ends.
    bool clickToEnd(const QString &button = "cmdTX")
    {
        click(button);
        return this->clock.runUntil([this] { return !this->shop.sending(); });
    }
    // A file in the rig's folder; its path.
    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(this->dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : "";
    }

private:
    // Each machine has a port of its own.
    using ShopRig<Port>::port;
    using ShopRig<Port>::link;
};
