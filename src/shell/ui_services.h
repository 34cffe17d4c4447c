// Everything the window asks of the desktop: file dialogs, message boxes and
// the web browser. The window reaches them only through this interface, so
// tests hand it a scripted replacement and never block on a modal dialog or
// open a browser.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace qf::shell {

class UiServices {
public:
    virtual ~UiServices() = default;

    // Open dialog for one existing file, starting in `folder` (empty: the
    // dialog's own choice); empty text when the user cancelled.
    virtual QString openFileName(QWidget* parent, const QString& filter, const QString& folder) = 0;
    // Save dialog that offers `suggested` (a full path) and the file types
    // of `filters` (separated by ";;", the first one chosen), adds the chosen
    // type's extension to a name typed without one and asks before
    // overwriting; empty text when cancelled. *chosenFilter is set to the
    // type chosen.
    virtual QString saveFileName(QWidget* parent, const QString& filters, const QString& suggested,
                                 QString* chosenFilter) = 0;

    // Information icon and an OK button: a refusal.
    virtual void inform(QWidget* parent, const QString& title, const QString& text) = 0;
    // Warning icon and an OK button: something failed and nothing was changed.
    virtual void warn(QWidget* parent, const QString& title, const QString& text) = 0;
    // Question icon with Yes and No; true for Yes.
    virtual bool ask(QWidget* parent, const QString& title, const QString& text) = 0;

    // Shows the address in the default browser; false when none could be
    // started.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real dialogs, message boxes and browser.
class DesktopUiServices : public UiServices {
public:
    QString openFileName(QWidget* parent, const QString& filter, const QString& folder) override;
    QString saveFileName(QWidget* parent, const QString& filters, const QString& suggested,
                         QString* chosenFilter) override;
    void inform(QWidget* parent, const QString& title, const QString& text) override;
    void warn(QWidget* parent, const QString& title, const QString& text) override;
    bool ask(QWidget* parent, const QString& title, const QString& text) override;
    bool openUrl(const QUrl& url) override;
};

} // namespace qf::shell
