#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class Core;
class QVBoxLayout;

// The account window, as a window-modal sheet over the main window, bound
// both ways to Core::showAccount: it opens when the flag turns true and
// closes when it turns false, and closing it (Escape, the window's close
// button) sets the flag back to false. Its content is made anew each time it
// opens and discarded when it closes, so no state outlives the sheet.
class AccountSheet : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountSheet)

public:
    // Makes the sheet's content for `core`; the sheet takes ownership.
    using ContentFactory = std::function<QWidget*(Core& core)>;

    // `parent`: a widget in the window the sheet belongs to; `core` must
    // outlive the sheet.
    AccountSheet(Core& core, QWidget* parent);

    // Until one is set, the content is an empty placeholder.
    void setContentFactory(ContentFactory factory);
    QWidget* content() const { return m_content; }

    void done(int result) override;

private:
    void follow();
    void discardContent();

    Core& m_core;
    ContentFactory m_factory;
    QVBoxLayout* m_layout;
    QPointer<QWidget> m_content;
};
