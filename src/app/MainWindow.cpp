#include "app/MainWindow.h"

#include "account/AccountView.h"
#include "app/DesktopWindow.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/MainView.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(Core& core, Dialogs& dialogs, std::function<void()> quit, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(u"Оврин"_s);
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Exactly the content's size: it grows when a row appears and shrinks
    // when it goes, and a fixed size leaves the window manager nothing to
    // resize or maximise.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_view = new MainView(core, this);
    layout->addWidget(m_view);
    m_view->accountSheet()->setContentFactory(
        [&dialogs](Core& shown) { return new AccountView(shown, dialogs); });

    // Ctrl+Q in the main window and in the account window over it.
    auto* quitAction = new QAction(this);
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setShortcutContext(Qt::WindowShortcut);
    connect(quitAction, &QAction::triggered, this, std::move(quit));
    addAction(quitAction);
    m_view->accountSheet()->addAction(quitAction);
}

void MainWindow::present()
{
    if (!m_placed) {
        m_placed = true;
        adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    AccountSheet* sheet = m_view->accountSheet();
    if (!isVisible())
        DesktopWindow::prepareFloatingPanel(this);
    // A window the user minimised anyway (a window manager may offer it
    // whatever we ask) comes back as it was, and its sheet with it.
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    if (sheet->isVisible()) {
        if (sheet->isMinimized())
            sheet->showNormal();
        sheet->raise();
        sheet->activateWindow();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QScreen* screen = this->screen();
    if (!screen || !isVisible())
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint to = frame.topLeft();
    if (frame.bottom() > area.bottom())
        to.setY(std::max(area.top(), area.bottom() - frame.height() + 1));
    if (frame.right() > area.right())
        to.setX(std::max(area.left(), area.right() - frame.width() + 1));
    if (to != frame.topLeft())
        move(to);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
