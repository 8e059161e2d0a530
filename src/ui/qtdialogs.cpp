#include "ui/qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSet>

#include <utility>

namespace {
// The message boxes open now, by title and text. An error that comes again
// while its box is still open (a failure repeated by a timer, say) would
// otherwise stack one more modal box on it every time.
QSet<std::pair<QString, QString>> openBoxes;

// Runs `show` (a modal box) unless a box of this title and text is open.
template<typename Show>
void showOnce(const QString &title, const QString &text, Show show)
{
    const std::pair<QString, QString> key(title, text);
    if (openBoxes.contains(key))
        return;
    openBoxes.insert(key);
    const auto closed = qScopeGuard([key] { openBoxes.remove(key); });
    show();
}

} // namespace

void QtDialogs::inform(const QString &title, const QString &text)
{
    showOnce(title, text, [&] {
        QMessageBox::information(QApplication::activeWindow(), title, text, QMessageBox::Ok);
    });
}

void QtDialogs::error(const QString &text)
{
    const QString title = QApplication::applicationName();
    showOnce(title, text, [&] {
        QMessageBox::critical(QApplication::activeWindow(), title, text, QMessageBox::Ok);
    });
}

bool QtDialogs::askOkCancel(const QString &title, const QString &text)
{
    return QMessageBox::question(QApplication::activeWindow(), title, text,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

static QString runFileDialog(QFileDialog::AcceptMode mode, const QString &title,
                             const QString &filter, const QString &defaultSuffix)
{
    QFileDialog dialog(QApplication::activeWindow(), title, QString(), filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // Overwriting is asked by the windows themselves, with their own text.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::chooseOpenFile(const QString &title, const QString &filter,
                                  const QString &defaultSuffix)
{
    return runFileDialog(QFileDialog::AcceptOpen, title, filter, defaultSuffix);
}

QString QtDialogs::chooseSaveFile(const QString &title, const QString &filter,
                                  const QString &defaultSuffix)
{
    return runFileDialog(QFileDialog::AcceptSave, title, filter, defaultSuffix);
}

int QtDialogs::chooseItem(const QString &title, const QString &label, const QStringList &items)
{
    if (items.isEmpty())
        return -1;
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(QApplication::activeWindow(), title, label, items, 0, false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}
