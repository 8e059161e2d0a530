#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {
Dialogs *installed = nullptr;
}

Dialogs &AppDialogs()
{
    static QtDialogs qtDialogs;
    return installed ? *installed : qtDialogs;
}

void SetAppDialogs(Dialogs *dialogs)
{
    installed = dialogs;
}

int ChoosePort(const QStringList &entries)
{
    return AppDialogs().selectPort(entries);
}

void QtDialogs::inform(const QString &title, const QString &text)
{
    QMessageBox::information(QApplication::activeWindow(), title, text, QMessageBox::Ok);
}

void QtDialogs::error(const QString &text)
{
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text,
                          QMessageBox::Ok);
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
