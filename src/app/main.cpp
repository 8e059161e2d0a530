// duva-config: the configuration program of the DUVA temperature controllers.
#include "app/comsettings.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "ui/accessiblenames.h"
#include "ui/guardedapplication.h"
#include "ui/qtdialogs.h"

#include <QIcon>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char HelpText[] = "Usage: duva-config [OPTION]\n"
                        "Watch and configure DUVA temperature controllers on an RS-485 line\n"
                        "(Modbus ASCII or RTU).\n"
                        "\n"
                        "The settings files SETDUVA.$$$ and SETDUVA.NET (a network line) and\n"
                        "the COM1 to COM8 links to serial devices are read from, and written\n"
                        "to, the working directory.\n"
                        "\n"
                        "      --help     display this help and exit\n"
                        "      --version  output version information and exit\n"
                        "\n"
                        "The serial devices belong to the group dialout: a user who is not a\n"
                        "member cannot open them. See duva-config(1).\n"
                        "\n"
                        "Report bugs to: duva@example.com\n";

const char VersionText[] = "duva-config " DUVA_VERSION "\n"
                           "Copyright (C) 2026 DUVA configuration program team\n";

// Prints `text` on standard output; 0 once it is written, else 1 (a full
// disk or a closed pipe is an error, as for any GNU program).
int print(const char *text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "duva-config: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

// The program takes no arguments but --help and --version, which are
// answered here, before Qt looks for a display. The exit status when the
// program should end at once; nothing when it should start.
std::optional<int> answerCommandLine(int argc, char **argv)
{
    int i = 1;
    for (; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--help") == 0)
            return print(HelpText);
        if (std::strcmp(arg, "--version") == 0)
            return print(VersionText);
        if (std::strcmp(arg, "--") == 0) {
            ++i;
            break;
        }
        if (arg[0] == '-' && arg[1] != '\0') {
            if (arg[1] == '-')
                std::fprintf(stderr, "duva-config: unrecognized option '%s'\n", arg);
            else
                std::fprintf(stderr, "duva-config: invalid option -- '%c'\n", arg[1]);
            std::fputs("Try 'duva-config --help' for more information.\n", stderr);
            return 2;
        }
        break;
    }
    if (i < argc) {
        std::fprintf(stderr, "duva-config: extra operand '%s'\n", argv[i]);
        std::fputs("Try 'duva-config --help' for more information.\n", stderr);
        return 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> status = answerCommandLine(argc, argv))
        return *status;

    GuardedApplication app(argc, argv);
    QtDialogs dialogs; // the windows' message boxes and file dialogs
    SetDefaultDialogs(&dialogs);
    QApplication::setApplicationName(
        QStringLiteral("Corvantic Temperature Controller DUVA Series"));
    QApplication::setApplicationVersion(QStringLiteral(DUVA_VERSION));
    // The installed desktop entry and icon, found by the desktop's shell.
    QGuiApplication::setDesktopFileName(QStringLiteral(DUVA_DESKTOP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(DUVA_DESKTOP_ID)));
    InstallAccessibleNames(&app);

    ComSettings settings; // the one settings object, with the design defaults
    const auto mainForm = CreateWindows(settings);
    // However the event loop comes to its end, every window ends its work.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, mainForm.get(), [form = mainForm.get()] {
        if (!form->logic().ended())
            form->endProgram();
    });
    mainForm->showMaximized();
    return app.exec();
}
