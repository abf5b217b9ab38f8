#include "app/Startup.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Chromium refuses to run as root with its sandbox on; everyone else keeps it.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilldown"));
    if (!StartApplication(QApplication::arguments()))
        return Shutdown();
    QApplication::exec();
    return Shutdown();
}
