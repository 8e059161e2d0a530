// Saves a picture of the whole screen (of the X display in DISPLAY) as PNG:
// used to take the README's screenshots of the real program under Xvfb.
//
//   duva-grab <file.png> [delay-ms]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: duva-grab <file.png> [delay-ms]\n");
        return 2;
    }
    if (argc > 2)
        QThread::msleep(static_cast<unsigned long>(QByteArray(argv[2]).toInt()));
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "duva-grab: cannot grab the screen\n");
        return 1;
    }
    return 0;
}
