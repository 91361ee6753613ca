#include "rxedit/rxedit.h"

#include "app/frmhalvec.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

rxedit::rxedit(frmHalvec &win) : QWidget(&win, Qt::Window), w(win)
{
    setObjectName(QStringLiteral("rxedit"));
    setWindowTitle(QStringLiteral(" RX-Edit"));
    setAttribute(Qt::WA_DeleteOnClose);
    txtFile = new QPlainTextEdit(this);
    txtFile->setObjectName(QStringLiteral("txtFile"));
    AutoGroup = new QGroupBox(QStringLiteral("9600,N,8,1"), this);
    AutoGroup->setObjectName(QStringLiteral("AutoGroup"));
    auto *l = new QVBoxLayout(this);
    l->addWidget(txtFile);
}
