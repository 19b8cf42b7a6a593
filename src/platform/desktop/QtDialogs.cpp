#include "platform/desktop/QtDialogs.h"

#include "platform/ModalDepth.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr int revealTimeoutMs = 5000;

void openFolderOf(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

// The window an alert or panel belongs to: the one in front (a modal alert,
// the account window over the main window, the main window), or none when
// no window of ours is shown. A dialog with a parent is kept above it by the
// window manager and centred over it.
QWidget* frontWindow()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    QWidget* front = nullptr;
    const QWidgetList candidates = QApplication::topLevelWidgets();
    for (QWidget* candidate : candidates) {
        if (!candidate->isVisible() || candidate->isMinimized())
            continue;
        const Qt::WindowType type = candidate->windowType();
        if (type == Qt::Dialog || type == Qt::Sheet)
            return candidate; // the account window, over the main window
        if (type == Qt::Window || type == Qt::Tool)
            front = candidate;
    }
    return front;
}

// Modal over `parent` (or over everything when there is none), in front of
// a parent that floats above other windows, and given the focus; `modal`
// raised while it is open.
int runInFront(QDialog& dialog, ModalDepth& modal)
{
    dialog.setWindowModality(Qt::ApplicationModal);
    const QWidget* parent = dialog.parentWidget();
    if (!parent || parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    QMetaObject::invokeMethod(
        &dialog,
        [&dialog] {
            dialog.raise();
            dialog.activateWindow();
        },
        Qt::QueuedConnection);
    const ModalDepth::Scope open(modal);
    return dialog.exec();
}

} // namespace

QtDialogs::QtDialogs(ModalDepth& modal, QDBusConnection bus)
    : m_modal(modal)
    , m_bus(std::move(bus))
{}

QList<QAbstractButton*> QtDialogs::composeAlert(QMessageBox& box, const QString& message,
                                                const QString& informative,
                                                const QStringList& buttons)
{
    // The texts may come from the helper, the center or a file: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(message);
    box.setInformativeText(informative);
    // QMessageBox guesses the informative text's format and opens its links.
    for (QLabel* label : box.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
    }
    const QStringList labels = buttons.isEmpty() ? QStringList{u"ОК"_s} : buttons;
    QList<QAbstractButton*> added;
    for (qsizetype i = 0; i < labels.size(); ++i)
        added.append(box.addButton(labels.at(i),
                                   i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    box.setDefaultButton(qobject_cast<QPushButton*>(added.first()));
    // Escape answers with the last button: "Отмена" in a confirmation.
    box.setEscapeButton(added.last());
    return added;
}

int QtDialogs::alert(const QString& message, const QString& informative, const QStringList& buttons)
{
    QMessageBox box(frontWindow());
    const QList<QAbstractButton*> added = composeAlert(box, message, informative, buttons);
    runInFront(box, m_modal);
    return int(added.indexOf(box.clickedButton()));
}

std::optional<QString> QtDialogs::savePanel(const QString& title, const QString& suggestedName,
                                            const QString& folder, const QString& filter)
{
    QFileDialog dialog(frontWindow(), title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString suffix = QFileInfo(suggestedName).suffix();
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(suggestedName);
    const int result = runInFront(dialog, m_modal);
    const QStringList files = dialog.selectedFiles();
    if (result != QDialog::Accepted || files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return withSuffix(files.first(), suffix);
}

QString QtDialogs::withSuffix(const QString& path, const QString& suffix)
{
    if (suffix.isEmpty() || QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0)
        return path;
    return path + u'.' + suffix;
}

std::optional<QString> QtDialogs::folderPanel(const QString& title)
{
    QFileDialog dialog(frontWindow(), title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const int result = runInFront(dialog, m_modal);
    const QStringList folders = dialog.selectedFiles();
    if (result != QDialog::Accepted || folders.isEmpty() || folders.first().isEmpty())
        return std::nullopt;
    return folders.first();
}

void QtDialogs::reveal(const QString& path)
{
    if (!m_bus.isConnected()) {
        openFolderOf(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
        u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, revealTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [path](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             openFolderOf(path);
                         finished->deleteLater();
                     });
}

void QtDialogs::activateApp()
{
    QWidget* window = QApplication::activeWindow();
    if (!window) {
        const QWidgetList candidates = QApplication::topLevelWidgets();
        for (QWidget* candidate : candidates) {
            const Qt::WindowType type = candidate->windowType();
            if (candidate->isVisible() &&
                (type == Qt::Window || type == Qt::Tool || type == Qt::Dialog)) {
                window = candidate;
                break;
            }
        }
    }
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}
