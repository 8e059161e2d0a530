#pragma once

#include "ui/dialogs.h"

#include <QList>
#include <QQueue>
#include <QStringList>

// Dialogs for tests: records every box shown and answers from queues the
// test fills (OK, the first port, and no file when a queue is empty).
class ScriptedDialogs : public Dialogs
{
public:
    struct Shown
    {
        QString kind; // "inform", "error", "ask", "open", "save", "port"
        QString title;
        QString text;
    };

    ScriptedDialogs() { SetAppDialogs(this); }
    ~ScriptedDialogs() override { SetAppDialogs(nullptr); }

    QList<Shown> shown;
    QQueue<bool> okAnswers;
    QQueue<QString> fileAnswers;
    QQueue<int> portAnswers;
    QQueue<int> itemAnswers;
    QStringList lastPortEntries;

    void inform(const QString &title, const QString &text) override
    {
        shown.append({"inform", title, text});
    }
    void error(const QString &text) override { shown.append({"error", QString(), text}); }
    bool askOkCancel(const QString &title, const QString &text) override
    {
        shown.append({"ask", title, text});
        return okAnswers.isEmpty() ? true : okAnswers.dequeue();
    }
    QString chooseOpenFile(const QString &title, const QString &, const QString &) override
    {
        shown.append({"open", title, QString()});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    QString chooseSaveFile(const QString &title, const QString &, const QString &) override
    {
        shown.append({"save", title, QString()});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    int chooseItem(const QString &title, const QString &, const QStringList &items) override
    {
        shown.append({"choose", title, items.join('\n')});
        return itemAnswers.isEmpty() ? -1 : itemAnswers.dequeue();
    }
    int selectPort(const QStringList &entries) override
    {
        shown.append({"port", "Select Port", entries.join(',')});
        lastPortEntries = entries;
        if (!portAnswers.isEmpty())
            return portAnswers.dequeue();
        return entries.isEmpty() ? -1 : 0;
    }

    // The texts of the boxes of one kind, in order.
    QStringList texts(const QString &kind = QStringLiteral("inform")) const
    {
        QStringList out;
        for (const Shown &s : shown)
            if (s.kind == kind)
                out.append(s.text);
        return out;
    }
};
