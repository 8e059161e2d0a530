#pragma once

#include "ui/dialogs.h"

// Message boxes and file dialogs of Qt Widgets. inform() and error() show one
// box of a given title and text at a time: asked again while that box is
// open, they return at once.
class QtDialogs : public Dialogs
{
public:
    void inform(const QString &title, const QString &text) override;
    void error(const QString &text) override;
    bool askOkCancel(const QString &title, const QString &text) override;
    QString chooseOpenFile(const QString &title, const QString &filter,
                           const QString &defaultSuffix) override;
    QString chooseSaveFile(const QString &title, const QString &filter,
                           const QString &defaultSuffix) override;
    int selectPort(const QStringList &entries) override;
    int chooseItem(const QString &title, const QString &label, const QStringList &items) override;
};
