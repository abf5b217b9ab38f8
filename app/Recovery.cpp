#include "app/Recovery.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "files/DocumentFiles.h"
#include "editor/Editor.h"
#include "editor/EditorNotify.h"
#include "platform/Platform.h"
#include "recovery/RecoveryStore.h"
#include "recovery/RecoveryWriter.h"
#include "settings/Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QRandomGenerator>
#include <QTimer>
#include <Qsci/qsciscintillabase.h>
#include <algorithm>
#include <memory>
#include <unistd.h>

using Sci = QsciScintillaBase;

namespace {

struct Keeper {
    Document *document = nullptr;
    QString folder;
    QString ownPath;
    QByteArray identity;
    std::unique_ptr<RecoveryWriter> writer;
    QTimer timer;
    std::int64_t firstEdit = 0;
    std::int64_t lastEdit = 0;
    bool dirty = false;          // edits since the last copy was taken
    bool written = false;        // a copy of ours may be on disk
    bool discarded = false;      // the user chose to lose the text
    bool failureShown = false;
    int life = 0;
};

Keeper *keeper = nullptr;
int lives = 0;

bool textUnsaved()
{
    return keeper->document->textModified();
}

void takeCopy()
{
    const Document::Snapshot texts = keeper->document->snapshot();
    RecoveryCopy copy;
    copy.markdown = texts.markdown;
    copy.head = texts.head;
    copy.documentPath = keeper->document->path();
    copy.savedAt = QDateTime::currentDateTimeUtc();
    copy.pid = ::getpid();
    copy.processIdentity = keeper->identity;
    copy.host = HostIdentity();
    keeper->writer->write(keeper->ownPath, copy);
    keeper->written = true;
}

void removeCopy()
{
    if (keeper->written)
        keeper->writer->remove(keeper->ownPath);
    keeper->written = false;
}

// The copy follows the editors: taken while text is unsaved, gone once none is.
void refreshCopy()
{
    keeper->timer.stop();
    keeper->dirty = false;
    if (!keeper->discarded && textUnsaved())
        takeCopy();
    else
        removeCopy();
}

void onEdit()
{
    if (!keeper || !keeper->writer)
        return;
    const std::int64_t now = platform().milliseconds();
    keeper->discarded = false;
    keeper->lastEdit = now;
    if (!keeper->dirty) {
        keeper->dirty = true;
        keeper->firstEdit = now;
    }
    // Started once per burst of typing, not restarted by every key.
    if (!keeper->timer.isActive())
        keeper->timer.start(kRecoveryQuietMs);
}

void onTimer()
{
    const std::int64_t now = platform().milliseconds();
    const std::int64_t due =
        std::min(keeper->lastEdit + kRecoveryQuietMs, keeper->firstEdit + kRecoveryLongestLagMs);
    if (now < due) {
        keeper->timer.start(int(due - now));
        return;
    }
    refreshCopy();
}

void onSavePoint()
{
    if (!keeper || !keeper->writer || textUnsaved())
        return;
    keeper->timer.stop();
    keeper->dirty = false;
    removeCopy();
}

// On the main thread; a failed write shows one note, not one per attempt.
void onWritten(int life, bool ok)
{
    if (!keeper || keeper->life != life)
        return;
    if (ok) {
        keeper->failureShown = false;
    } else if (!keeper->failureShown && textUnsaved()) {
        keeper->failureShown = true;
        keeper->document->showStatus(QStringLiteral("Could not keep a recovery copy of the unsaved text."));
    }
}

QString question(const RecoveryCopy &copy)
{
    const QString what = copy.documentPath.isEmpty()
                             ? QStringLiteral("an untitled document")
                             : u'\'' + FilePart(copy.documentPath) + u'\'';
    const QString when = QLocale::system().toString(copy.savedAt.toLocalTime(), QLocale::ShortFormat);
    QString text = QStringLiteral("Quilldown was closed without saving %1 (%2). Restore the unsaved text?").arg(what, when);
    if (FilesChangedSince(copy))
        text += QStringLiteral(" The file has changed on disk since this copy was made.");
    return text;
}

// Kept for whoever wants to look at it, but no longer offered.
DamagedCopy setAside(const QString &path, const QString &reason)
{
    const QString aside = path + QLatin1String(kDamagedSuffix);
    const bool moved = ::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0;
    return {path, reason, moved ? aside : path};
}

// One warning for all damaged copies of this start, however the offering ends.
struct DamagedWarning {
    QList<DamagedCopy> copies;
    ~DamagedWarning()
    {
        if (!copies.isEmpty() && keeper && !app().quit.load())
            platform().messageBox(keeper->document->window(), MessageIcon::Warning, QStringLiteral("Quilldown"),
                                  DamagedCopiesMessage(copies), MessageButtons::Ok);
    }
};

// One undo step brings the saved text back, to compare.
void replaceText(QsciScintillaBase *editor, const QByteArray &bytes)
{
    if (EditorText(editor) == bytes)
        return;
    editor->SendScintilla(Sci::SCI_BEGINUNDOACTION);
    SetEditorText(editor, bytes);
    editor->SendScintilla(Sci::SCI_ENDUNDOACTION);
}

void restoreCopy(const RecoveryCopy &copy)
{
    Document &document = *keeper->document;
    const QString path = copy.documentPath;
    // A document begun under a new name has no file yet; it opens under that name.
    if (!path.isEmpty() && (IsReadableFile(path) || !QFileInfo(path).exists()))
        OpenDocument(document, path);
    const bool opened = !path.isEmpty() && document.path() == path;
    if (!opened)
        NewDocument(document, true);
    replaceText(document.markdownEditor(), copy.markdown);
    replaceText(document.headEditor(), copy.head);
    if (!path.isEmpty() && !opened)
        document.showStatus(QStringLiteral("'%1' could not be opened: the restored text is a new document.")
                                .arg(FilePart(path)));
    document.announceReplaced();
}

void connectEditor(QsciScintillaBase *editor)
{
    QObject::connect(editor, &Sci::SCN_MODIFIED, editor, [](int, int type, const char *, int, int, int, int, int, int, int) {
        if (type & kTextChangeTypes)
            onEdit();
    });
    QObject::connect(editor, &Sci::SCN_SAVEPOINTREACHED, editor, [] { onSavePoint(); });
}

} // namespace

void StartRecovery(Document &document)
{
    delete keeper;
    keeper = new Keeper;
    keeper->document = &document;
    keeper->life = ++lives;
    keeper->folder = RecoveryFolder(app().location.Portable, app().location.BaseDirectory);
    keeper->timer.setSingleShot(true);
    QObject::connect(&keeper->timer, &QTimer::timeout, [] { onTimer(); });
    connectEditor(document.markdownEditor());
    connectEditor(document.headEditor());
    if (keeper->folder.isEmpty())
        return;
    const qint64 pid = ::getpid();
    keeper->identity = ProcessIdentity(pid);
    keeper->ownPath = keeper->folder
                      + QStringLiteral("%1-%2%3").arg(pid).arg(QRandomGenerator::system()->generate(), 8, 16, QChar(u'0'))
                            .arg(QLatin1String(kRecoverySuffix));
    const int life = keeper->life;
    keeper->writer = std::make_unique<RecoveryWriter>([life](bool ok) {
        // A write that outlasted the wait at exit may report after the application ended.
        if (QCoreApplication *application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, [life, ok] { onWritten(life, ok); }, Qt::QueuedConnection);
    }, QByteArray(kHeadTemplate));
}

void OfferRecoveryCopies()
{
    // Text typed meanwhile is not to be replaced; the copies wait for the next start.
    if (!keeper || !keeper->writer || keeper->document->isModified())
        return;
    RemoveStaleTemporaryCopies(keeper->folder, QDateTime::currentDateTimeUtc());
    DamagedWarning damaged;
    bool restoredHere = false;
    for (const QString &path : ListRecoveryCopies(keeper->folder)) {
        if (app().quit.load())
            return;
        if (path == keeper->ownPath)
            continue;
        // Another program starting now may be asking about the same copy. A folder that
        // takes no lock file cannot hold another's either.
        QLockFile lock(path + QStringLiteral(".lock"));
        if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError)
            continue;
        RecoveryCopy copy;
        QString reason;
        const RecoveryRead read = ReadRecoveryFile(path, &copy, &reason);
        if (read == RecoveryRead::Missing)
            continue;
        if (read == RecoveryRead::Damaged) {
            damaged.copies.append(setAside(path, reason));
            continue;
        }
        if (CopyOwnerMayBeRunning(copy))
            continue;
        // Nothing in it that the files do not hold: no question to ask.
        if (CopyMatchesFiles(copy, QByteArray(kHeadTemplate))) {
            QFile::remove(path);
            continue;
        }
        if (restoredHere) {
            // This window holds a restored document already; a new one asks about the rest.
            lock.unlock();
            platform().startDetached(QCoreApplication::applicationFilePath(), {});
            return;
        }
        const MessageAnswer answer = platform().messageBox(keeper->document->window(), MessageIcon::Warning, QStringLiteral("Quilldown"),
                                                           question(copy), MessageButtons::YesNo);
        if (answer == MessageAnswer::No) {
            QFile::remove(path);
            continue;
        }
        // Closed without an answer: asked again at the next start.
        if (answer != MessageAnswer::Yes)
            return;
        restoreCopy(copy);
        refreshCopy();
        // The old copy goes once ours holds the text, or at once when the restored text
        // is all saved (then there is no copy of ours to wait for).
        if (!keeper->written || keeper->writer->flush(10000))
            QFile::remove(path);
        restoredHere = true;
    }
}

void DiscardRecoveryCopy()
{
    if (!keeper || !keeper->writer)
        return;
    keeper->timer.stop();
    keeper->dirty = false;
    keeper->discarded = true;
    removeCopy();
}

void FinishRecovery()
{
    if (!keeper)
        return;
    keeper->timer.stop();
    if (keeper->writer) {
        refreshCopy();
        // Bounded: a disk that hangs must not keep the program from ending.
        keeper->writer->flush(10000);
    }
    delete keeper;
    keeper = nullptr;
}

QString RecoveryCopyPath()
{
    return keeper ? keeper->ownPath : QString();
}

QString RecoveryCopyFolder()
{
    return keeper ? keeper->folder : QString();
}
