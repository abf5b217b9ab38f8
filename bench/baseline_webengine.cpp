// The smallest Qt WebEngine window: the baseline the program's cold start is compared with.
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
    view.setUrl(QUrl(QStringLiteral("about:blank")));
    view.show();
    return QApplication::exec();
}
