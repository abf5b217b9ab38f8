// The smallest Qt WebEngine window: the baseline the program's start is compared with.
// Shows the file named by the first argument, else an empty page.
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication application(argc, argv);
    QWebEngineView view;
    view.setWindowTitle(QStringLiteral("Baseline"));
    view.resize(800, 600);
    view.setUrl(argc > 1 ? QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])) : QUrl(QStringLiteral("about:blank")));
    view.show();
    return QApplication::exec();
}
