#pragma once

#include <QObject>
#include <array>

class Canvas;
class QFrame;
class QToolButton;
class QWidget;

// The toolbar along the top of the main window: Quit, Editor, Menu, Setup
// and About, the port warning's first place, and Receive at the right end.
class Toolbar : public QObject
{
    Q_OBJECT
public:
    enum Entry { Quit = 1, Menu = 2, Setup = 3, Editor = 4, About = 5 };

    explicit Toolbar(QWidget *window);

    // Places the entries for a window of this width.
    void layout(int width);
    // Where the port warning waits when no machine is marked.
    QPoint warningPlace() const;

signals:
    void entryClicked(int entry);
    void receiveClicked();

private:
    std::array<Canvas *, 6> m_pictures{}; // imgMenu(1..5)
    std::array<Canvas *, 5> m_captions{}; // lblMenu(1..4)
    std::array<QFrame *, 6> m_rules{};    // Separator(2..5)
    QFrame *m_underline = nullptr;        // Separator1
    QToolButton *m_receive = nullptr;
};
