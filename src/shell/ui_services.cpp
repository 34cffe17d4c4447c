#include "shell/ui_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

namespace qf::shell {

namespace {

// Shows the message box centred over the main window. A window manager
// learns where the main window is only after it has mapped it; a box placed
// before that would land in the screen's corner, so the box is placed again
// once it is on screen.
int ExecCentred(QMessageBox& box, QWidget* parent)
{
    if (parent) {
        QWidget* window = parent->window();
        auto centre = [&box, window] {
            QRect frame = box.frameGeometry();
            frame.moveCenter(window->frameGeometry().center());
            box.move(frame.topLeft());
        };
        QTimer::singleShot(0, &box, centre);
    }
    return box.exec();
}

} // namespace

QString DesktopUiServices::openFileName(QWidget* parent, const QString& filter, const QString& folder)
{
    return QFileDialog::getOpenFileName(parent, QObject::tr("Open a GIF, an animated WebP or a video clip"),
                                        folder, filter, nullptr, QFileDialog::ReadOnly);
}

QString DesktopUiServices::saveFileName(QWidget* parent, const QString& filters, const QString& suggested,
                                        QString* chosenFilter)
{
    // The dialog adds the default suffix before it asks about overwriting,
    // so the question is about the file that will really be written. The
    // suffix follows the chosen type: "gif" for "GIF File (*.gif)".
    QFileDialog dialog(parent, QObject::tr("Save the sketch GIF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filters);
    const auto suffixOf = [](const QString& filter) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
        return match.hasMatch() ? match.captured(1) : QString();
    };
    dialog.setDefaultSuffix(suffixOf(dialog.selectedNameFilter()));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog,
        [&dialog, suffixOf](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (chosenFilter)
        *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

void DesktopUiServices::inform(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    ExecCentred(box, parent);
}

void DesktopUiServices::warn(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    ExecCentred(box, parent);
}

bool DesktopUiServices::ask(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return ExecCentred(box, parent) == QMessageBox::Yes;
}

bool DesktopUiServices::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace qf::shell
