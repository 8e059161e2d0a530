#pragma once

#include "ui/dialogs.h"

#include <QList>
#include <QPair>

// The program's dialogs on the command line: every message is kept for the
// command to print in its place, file dialogs answer with the file the
// command line named, and a question is answered as the command says (an
// overwrite of a named file is agreed to).
class CliDialogs : public Dialogs
{
public:
    CliDialogs() { SetAppDialogs(this); }
    ~CliDialogs() override { SetAppDialogs(nullptr); }

    struct Message
    {
        QString title;
        QString text;
    };
    QList<Message> messages;
    // What the file dialogs answer; empty for Cancel.
    QString file;
    bool answerOk = true;

    // The messages from `from` on, one a line.
    QString textsFrom(qsizetype from) const;

    void inform(const QString &title, const QString &text) override
    {
        messages.append({title, text});
    }
    void error(const QString &text) override { messages.append({QStringLiteral("Error"), text}); }
    bool askOkCancel(const QString &, const QString &) override { return answerOk; }
    QString chooseOpenFile(const QString &, const QString &, const QString &) override
    {
        return file;
    }
    QString chooseSaveFile(const QString &, const QString &, const QString &) override
    {
        return file;
    }
    int selectPort(const QStringList &) override { return -1; }
    int chooseItem(const QString &, const QString &, const QStringList &) override { return -1; }
};
