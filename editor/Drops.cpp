#include "editor/Drops.h"

#include <QAbstractScrollArea>
#include <QChildEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

QStringList DroppedFilePaths(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

namespace {

// Takes every drag event of the widgets it watches, so neither the editing component
// nor the browser ever handles a drop of its own.
class DropFilter : public QObject {
public:
    DropFilter(QWidget *pane, std::function<void(const QString &)> openPath)
        : QObject(pane), pane_(pane), openPath_(std::move(openPath))
    {
        watch(pane);
        if (auto *area = qobject_cast<QAbstractScrollArea *>(pane))
            watch(area->viewport());
        // The web view renders into a child widget (its focus proxy) that receives the
        // drag events itself; it may be created or replaced later.
        for (QWidget *child : pane->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            watch(child);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        // A child is seen once when it is added and again, fully built, when polished.
        case QEvent::ChildAdded:
        case QEvent::ChildPolished:
            if (watched == pane_) {
                if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child()))
                    watch(child);
            }
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (!DroppedFilePaths(drag->mimeData()).isEmpty()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QStringList paths = DroppedFilePaths(drop->mimeData());
            if (paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // Opened later, so the drag source is not held by a dialog of ours.
            const QString first = paths.first();
            const auto open = [openPath = openPath_, first] {
                if (openPath)
                    openPath(first);
            };
            QMetaObject::invokeMethod(qApp, open, Qt::QueuedConnection);
            return true;
        }
        default:
            return false;
        }
    }

private:
    // Installing twice is harmless: the filter is moved to the front, not doubled.
    void watch(QWidget *widget)
    {
        if (!widget)
            return;
        widget->setAcceptDrops(true);
        widget->installEventFilter(this);
    }

    QWidget *pane_;
    std::function<void(const QString &)> openPath_;
};

} // namespace

void InstallDropHandling(QWidget *pane, std::function<void(const QString &)> openPath)
{
    if (pane)
        new DropFilter(pane, std::move(openPath));
}
