#include "ui/canvas.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QUrl>

// The pictures are compiled into the static core library, where the linker
// would drop their registration as unreferenced; registering them from here
// ties them to the code that shows them.
static void registerPictures()
{
    Q_INIT_RESOURCE(resources);
}

namespace
{
const bool picturesRegistered = (registerPictures(), true);
} // namespace

QPixmap tavrinPicture(const QString &name, const QSize &size, qreal dpr)
{
    QSvgRenderer renderer(QStringLiteral(":/pictures/") + name);
    QPixmap pm(size * dpr);
    pm.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter p(&pm);
        renderer.render(&p);
    }
    pm.setDevicePixelRatio(dpr);
    return pm;
}

QIcon tavrinIcon(const QString &name)
{
    return QIcon(QStringLiteral(":/pictures/") + name);
}

Canvas::Canvas(QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

void Canvas::setPicture(const QString &name, const QSize &size)
{
    setPixmap(tavrinPicture(name, size, devicePixelRatioF()));
}

void Canvas::setAcceptsFiles(bool on)
{
    setAcceptDrops(on);
}

void Canvas::mousePressEvent(QMouseEvent *e)
{
    emit mouseDown(e->position().toPoint(), e->button(), e->globalPosition().toPoint());
    e->accept();
}

void Canvas::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() != Qt::NoButton) emit mouseDrag(e->position().toPoint());
    e->accept();
}

void Canvas::mouseReleaseEvent(QMouseEvent *e)
{
    emit mouseUp(e->position().toPoint());
    e->accept();
}

void Canvas::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasUrls() || e->mimeData()->hasImage()) {
        e->acceptProposedAction();
        emit dragOver();
    }
}

void Canvas::dragMoveEvent(QDragMoveEvent *e)
{
    e->acceptProposedAction();
}

void Canvas::dropEvent(QDropEvent *e)
{
    QStringList paths;
    for (const QUrl &url : e->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    e->acceptProposedAction();
    emit filesDropped(paths);
}
