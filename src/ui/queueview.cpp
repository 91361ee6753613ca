#include "ui/queueview.h"

#include "core/machines/workshop.h"
#include "ui/codewindows.h"
#include "ui/names.h"
#include "ui/platform.h"

#include <QDir>
#include <QKeyEvent>
#include <QListView>

QueueView::QueueView(Workshop &workshop, Platform &platform, CodeWindows &code, QWidget *area,
                     QWidget *window)
    : QObject(area), m_workshop(workshop), m_platform(platform), m_code(code), m_window(window)
{
    for (int i = 0; i <= MachineTable::MaxMachines; ++i) {
        auto *list = named(new QListView(area), member("txQueue", i),
                           QStringLiteral("Program queue"));
        list->setModel(&workshop.queue(i));
        list->setModelColumn(ProgramQueue::NameColumn);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setVisible(false);
        connect(list, &QListView::clicked, this,
                [this, i](const QModelIndex &index) { load(i, index.row()); });
        list->installEventFilter(this);
        m_lists[size_t(i)] = list;
    }
    for (int i = 0; i < PathLists; ++i) {
        auto *paths = named(new QListView(window), member("List1", i),
                            QStringLiteral("Program paths"));
        if (i <= MachineTable::MaxMachines) {
            paths->setModel(&workshop.queue(i));
            paths->setModelColumn(ProgramQueue::PathColumn);
        }
        paths->setVisible(false);
        m_paths[size_t(i)] = paths;
    }
    connect(&workshop, &Workshop::slotRebound, this, [this](int i) {
        // The slot shows another machine now: its queue.
        m_lists[size_t(i)]->setModel(&m_workshop.queue(i));
        m_lists[size_t(i)]->setModelColumn(ProgramQueue::NameColumn);
        m_paths[size_t(i)]->setModel(&m_workshop.queue(i));
        m_paths[size_t(i)]->setModelColumn(ProgramQueue::PathColumn);
    });
    connect(&workshop, &Workshop::machinesReloaded, this, [this] { showSlot(-1); });
    connect(&workshop, &Workshop::selectionChanged, this, &QueueView::showSlot);
}

bool QueueView::eventFilter(QObject *watched, QEvent *event)
{
    // Delete takes the current entry off the queue; the file stays.
    if (event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent *>(event)->key() != Qt::Key_Delete)
        return QObject::eventFilter(watched, event);
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        if (watched == m_lists[size_t(i)] && m_lists[size_t(i)]->currentIndex().isValid() &&
            !(m_workshop.sending() && i == m_workshop.selected()))
            m_workshop.queue(i).remove(m_lists[size_t(i)]->currentIndex().row());
    return true;
}

void QueueView::layout(const QRect &lists, int windowHeight)
{
    for (QListView *list : m_lists)
        list->setGeometry(lists);
    for (QListView *paths : m_paths)
        paths->setGeometry(0, windowHeight + 40, 100, 40); // below the visible area
}

void QueueView::showSlot(int slot)
{
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        m_lists[size_t(i)]->setVisible(i == slot);
}

void QueueView::addFiles(int mc, const QStringList &paths)
{
    ProgramQueue &queue = m_workshop.queue(mc);
    for (const QString &path : paths)
        queue.add(path);
    if (m_workshop.program(mc).isEmpty() && queue.count() > 0) load(mc, 0);
}

void QueueView::load(int mc, int row)
{
    ProgramQueue &queue = m_workshop.queue(mc);
    if (mc < 1 || row < 0 || row >= queue.count()) return;
    if (m_workshop.sending() && mc == m_workshop.selected()) {
        // The send has taken the window's text: a new one would show lines
        // that are not the ones going out.
        m_platform.beep();
        return;
    }
    const QString path = queue.path(row);
    if (!mayReplaceProgram(m_platform, m_window, m_workshop.program(mc))) return;
    const QString reason = m_workshop.loadProgramFile(mc, path);
    if (!reason.isEmpty()) {
        tellUnreadable(m_platform, m_window, path, reason);
        return;
    }
    queue.setLoadedName(path);
    m_code.showStart(mc);
    // The keyboard stays with the queue: a key meant for it (Delete) must
    // never reach the program.
    m_lists[size_t(mc)]->setFocus(Qt::OtherFocusReason);
}
