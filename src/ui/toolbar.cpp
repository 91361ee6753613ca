#include "ui/toolbar.h"

#include "ui/canvas.h"
#include "ui/names.h"

#include <QFrame>
#include <QToolButton>

namespace
{
QFrame *rule(QWidget *parent, QFrame::Shape shape)
{
    auto *f = new QFrame(parent);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}
} // namespace

Toolbar::Toolbar(QWidget *window) : QObject(window)
{
    static const char *const pictures[] = {"", "end1", "menu1", "setup", "editor", "question"};
    static const char *const captions[] = {"", " Quit", " Menu", " Setup", " Editor"};
    static const char *const spoken[] = {"", "Quit", "Menu", "Setup", "Editor", "About"};
    for (int i = 1; i <= 5; ++i) {
        m_pictures[i] = named(new Canvas(window), member("imgMenu", i), QLatin1String(spoken[i]));
        m_pictures[i]->setPicture(QLatin1String(pictures[i]), QSize(24, 24));
        m_pictures[i]->setCursor(Qt::PointingHandCursor);
        connect(m_pictures[i], &Canvas::mouseDown, this, [this, i] { emit entryClicked(i); });
    }
    for (int i = 1; i <= 4; ++i) {
        m_captions[i] = named(new Canvas(window), member("lblMenu", i), QLatin1String(spoken[i]));
        m_captions[i]->setText(QLatin1String(captions[i]));
        m_captions[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_captions[i]->setCursor(Qt::PointingHandCursor);
        connect(m_captions[i], &Canvas::mouseDown, this, [this, i] { emit entryClicked(i); });
    }
    for (int i = 2; i <= 5; ++i)
        m_rules[i] =
            named(rule(window, QFrame::VLine), member("Separator", i), QStringLiteral("Separator"));
    m_underline = named(rule(window, QFrame::HLine), QStringLiteral("Separator1"),
                        QStringLiteral("Separator"));

    m_receive = named(new QToolButton(window), QStringLiteral("mnuReceive"),
                      QStringLiteral("Receive CNC Data "));
    m_receive->setText(QStringLiteral("Receive CNC Data "));
    m_receive->setIcon(tavrinIcon(QStringLiteral("rx")));
    m_receive->setIconSize(QSize(24, 24));
    m_receive->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_receive, &QToolButton::clicked, this, &Toolbar::receiveClicked);
}

void Toolbar::layout(int width)
{
    // Left to right: Quit, Editor, Menu, Setup, then the About icon.
    const int order[] = {Quit, Editor, Menu, Setup};
    int x = 8;
    for (int k = 0; k < 4; ++k) {
        const int i = order[k];
        m_pictures[i]->setGeometry(x, 8, 26, 26);
        m_captions[i]->setGeometry(x + 28, 8, 52, 26);
        x += 84;
        m_rules[k + 2]->setGeometry(x - 4, 6, 4, 30);
    }
    m_pictures[About]->setGeometry(x + 4, 8, 26, 26);
    m_receive->setGeometry(width - 178, 6, 170, 30);
    m_underline->setGeometry(0, 40, width, 4);
}

QPoint Toolbar::warningPlace() const
{
    return {m_pictures[About]->geometry().right() + 14, 9};
}
