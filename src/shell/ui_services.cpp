#include "shell/ui_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

namespace qf::shell {

QString DesktopUiServices::openFileName(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QObject::tr("Open a GIF file"), QString(), filter,
                                        nullptr, QFileDialog::ReadOnly);
}

QString DesktopUiServices::saveFileName(QWidget* parent, const QString& filter)
{
    // QFileDialog asks before overwriting unless told not to, and adds no
    // extension of its own: the path comes back exactly as typed.
    return QFileDialog::getSaveFileName(parent, QObject::tr("Save the sketch GIF"), QString(),
                                        filter);
}

void DesktopUiServices::inform(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text);
}

void DesktopUiServices::warn(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text);
}

bool DesktopUiServices::ask(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void DesktopUiServices::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

} // namespace qf::shell
