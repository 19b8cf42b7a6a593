#include "app/MainWindow.h"

#include "account/AccountView.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/MainView.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(Core& core, Dialogs& dialogs, std::function<void()> quit, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(u"Оврин"_s);
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    m_view = new MainView(&core, this);
    layout->addWidget(m_view);
    m_view->accountSheet()->setContentFactory(
        [&dialogs](Core& shown) { return new AccountView(shown, dialogs); });
    resize(QSize(340, 300).expandedTo(minimumSizeHint()));

    auto* quitAction = new QAction(this);
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setShortcutContext(Qt::WindowShortcut);
    connect(quitAction, &QAction::triggered, this, std::move(quit));
    addAction(quitAction);
}

void MainWindow::present()
{
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
    // The account sheet stays in front of the window it belongs to.
    if (AccountSheet* sheet = m_view->accountSheet(); sheet->isVisible()) {
        sheet->raise();
        sheet->activateWindow();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
