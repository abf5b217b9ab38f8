#pragma once
// Helpers of the security tests: a small HTTP server on the loopback interface that
// records what it is asked and serves a red picture, and ways to reach a document's page
// in the real program.

#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "preview/PreviewPane.h"
#include "preview/PreviewReload.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebEngineScript>

inline constexpr int kWait = 30000;

// Listens on 127.0.0.1 only, answers at most `kMaxRequests` requests, and closes by itself
// after two minutes whatever the test does.
class LoopbackServer : public QObject {
public:
    static constexpr int kMaxRequests = 200;

    LoopbackServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            }
        });
        QTimer::singleShot(120000, this, [this] { server_.close(); });
    }

    bool listening() const { return server_.isListening(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(server_.serverPort()); }
    QStringList requests() const { return paths_; }
    bool saw(const QString &prefix) const
    {
        for (const QString &path : paths_)
            if (path.startsWith(prefix))
                return true;
        return false;
    }

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &buffer = pending_[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0 && buffer.size() < 65536)
            return;
        const QList<QByteArray> line = buffer.left(buffer.indexOf("\r\n")).split(' ');
        pending_.remove(socket);
        const QString path = line.size() > 1 ? QString::fromUtf8(line.at(1)) : QString();
        if (paths_.size() >= kMaxRequests) {
            socket->abort();
            return;
        }
        paths_ << path;
        QByteArray body, type = "text/plain";
        if (path.endsWith(QLatin1String(".png"))) {
            body = redPicture();
            type = "image/png";
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    static QByteArray redPicture()
    {
        QImage image(200, 200, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 0));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return buffer.data();
    }

    QTcpServer server_;
    QStringList paths_;
    QHash<QTcpSocket *, QByteArray> pending_;
};

inline PreviewPane *pane()
{
    return mainWindow()->preview();
}

// True once the pane shows the last page the worker published, loaded or patched in.
inline bool previewShown()
{
    const QString last = lastPage();
    return !last.isEmpty() && app().previewReadyPath.isEmpty() && !pane()->isLoadingPage() &&
           !mainWindow()->previewController()->reload().restorePending() &&
           !mainWindow()->previewController()->reload().patchPending() && pane()->shownPage() == last;
}

// Runs `script` in the page's own world and waits for its answer.
inline QVariant pageValue(const QString &script, QWebEngineScript::ScriptWorldId world = QWebEngineScript::MainWorld)
{
    QVariant result;
    bool done = false;
    pane()->page()->runJavaScript(script, world, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kWait))
        return QVariant();
    return result;
}

// The centre of the element with `id`, scrolled into view, in the pane's widget coordinates.
inline QPoint centreOf(const QString &id)
{
    const QVariantList box =
        pageValue(QStringLiteral("(function(){var e=document.getElementById('%1');"
                                 "e.scrollIntoView({block:'nearest'});var r=e.getBoundingClientRect();"
                                 "return [r.left+r.width/2, r.top+r.height/2];})()")
                      .arg(id),
                  QWebEngineScript::ApplicationWorld)
            .toList();
    if (box.size() != 2)
        return QPoint(-1, -1);
    const double zoom = pane()->zoomFactor();
    return QPoint(qRound(box.at(0).toDouble() * zoom), qRound(box.at(1).toDouble() * zoom));
}

// A real click of the left mouse button at `point` of the pane.
inline void clickPane(const QPoint &point)
{
    QWidget *target = pane()->focusProxy() ? pane()->focusProxy() : pane();
    QTest::mouseMove(target, point);
    QTest::mouseClick(target, Qt::LeftButton, {}, point);
}
