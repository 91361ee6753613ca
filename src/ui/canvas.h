#pragma once

#include <QLabel>
#include <QStringList>

// A picture or text area that reports mouse presses, drags and releases, and
// optionally takes dropped files. Used for the logo, the machine icons, the
// toolbar entries and the line pointer.
class Canvas : public QLabel
{
    Q_OBJECT
public:
    explicit Canvas(QWidget *parent = nullptr);

    // Shows one of the program's pictures (":/pictures/<name>") at size.
    void setPicture(const QString &name, const QSize &size);
    // Drags of files (or pictures) over the canvas are accepted.
    void setAcceptsFiles(bool on);

signals:
    void mouseDown(const QPoint &pos, Qt::MouseButton button, const QPoint &globalPos);
    void mouseDrag(const QPoint &pos);
    void mouseUp(const QPoint &pos);
    void dragOver();
    // Local paths of the files dropped, in the order the drop carried them;
    // empty when the drop carried no file.
    void filesDropped(const QStringList &paths);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;
};

// Renders one of the program's pictures at a given logical size, crisp on
// high-DPI screens.
QPixmap tavrinPicture(const QString &name, const QSize &size, qreal devicePixelRatio = 1.0);
QIcon tavrinIcon(const QString &name);
