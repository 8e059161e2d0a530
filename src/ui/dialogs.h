#pragma once

#include <QString>
#include <QStringList>

// Every message box and file dialog of the program goes through this
// interface: the forms get the Qt implementation, tests a scripted one that
// records what was shown and answers as told.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A modal box with an OK button ("Message", "Warning", ...).
    virtual void inform(const QString &title, const QString &text) = 0;
    // The error box for an exception that escaped an event handler.
    virtual void error(const QString &text) = 0;
    // OK and Cancel; true for OK.
    virtual bool askOkCancel(const QString &title, const QString &text) = 0;
    // File dialogs; an empty result means the user cancelled.
    virtual QString chooseOpenFile(const QString &title, const QString &filter,
                                   const QString &defaultSuffix) = 0;
    virtual QString chooseSaveFile(const QString &title, const QString &filter,
                                   const QString &defaultSuffix) = 0;
    // The "Select Port" dialog: the entries are "COMn" texts; the result is
    // the index of the chosen entry, or -1 for Cancel.
    virtual int selectPort(const QStringList &entries) = 0;
    // A choice from a list: the index of the chosen item, or -1 for Cancel.
    virtual int chooseItem(const QString &title, const QString &label,
                           const QStringList &items) = 0;
};

// The dialogs the program uses: those installed, else the default ones.
Dialogs &AppDialogs();
// Installs `dialogs` (not owned) as the program's dialogs; nullptr restores
// the default ones.
void SetAppDialogs(Dialogs *dialogs);
// The default dialogs (not owned): the windows' main() gives Qt's. Without
// them, as in a program without a display, messages go to standard error and
// questions are declined.
void SetDefaultDialogs(Dialogs *dialogs);

// The "Select Port" dialog of the program's dialogs, for a channel that has
// no port number when it opens: the index of the chosen entry, or -1.
int ChoosePort(const QStringList &entries);
