#include "TranscriptSaver.h"

#include "Editor.h"
#include "OwnThreads.h"
#include "Utf8.h"

#include <QElapsedTimer>

#include <algorithm>
#include <string_view>

namespace {

// How long one slice of writing may hold the GUI thread.
constexpr qint64 kSliceMs = 15;
// Lines written between two looks at the clock.
constexpr int kLinesPerLook = 1024;
// Bytes gathered before they go to the file.
constexpr qsizetype kBufferBytes = 1 << 20;

} // namespace

TTranscriptSaver::TTranscriptSaver(const TCustomEditor& pane, const QString& fileName, QObject* parent)
    : QObject(parent)
    , FPane(pane)
    , FFileName(fileName)
    , FFile(fileName)
{
    FSliceTimer.setSingleShot(true);
    FSliceTimer.setInterval(0);
    connect(&FSliceTimer, &QTimer::timeout, this, &TTranscriptSaver::WriteSlice);
}

TTranscriptSaver::~TTranscriptSaver()
{
    if (FCommit.joinable())
        FCommit.join();
}

bool TTranscriptSaver::Start(QString& error)
{
    if (!FFile.open(QIODevice::WriteOnly)) {
        error = FFile.errorString();
        return false;
    }
    FLineCount = FPane.LineCount();
    FBuffer.reserve(kBufferBytes + 4096);
    // The first slice runs from the event loop, as every later one does, so that Finished never
    // comes before the caller has connected to it.
    FSliceTimer.start();
    return true;
}

void TTranscriptSaver::PaneCleared()
{
    // Once the commit runs, the file holds every line as it was at Start.
    if (FCommit.joinable() || FNext >= FLineCount)
        return;
    FSliceTimer.stop();
    Fail(ClearedText());
}

QString TTranscriptSaver::ClearedText()
{
    return QStringLiteral("протокол очищен во время сохранения");
}

void TTranscriptSaver::WriteSlice()
{
    QElapsedTimer slice;
    slice.start();
    while (FNext < FLineCount) {
        // The store's bytes go as they are, as a copy takes them.
        for (const int stop = std::min(FNext + kLinesPerLook, FLineCount); FNext < stop; ++FNext) {
            if (FNext >= FPane.LineCount()) {
                Fail(ClearedText());
                return;
            }
            const std::string_view bytes = FPane.LineBytes(FNext);
            FBuffer.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
            FBuffer += '\n';
        }
        if (FBuffer.size() >= kBufferBytes || FNext == FLineCount) {
            // Lone surrogates leave as U+FFFD, as in a copy.
            ReplaceLoneSurrogates(FBuffer.data(), static_cast<std::size_t>(FBuffer.size()));
            // A short write carries no reason; the write of the rest fails with it.
            for (qsizetype written = 0; written < FBuffer.size();) {
                const qint64 count = FFile.write(FBuffer.constData() + written, FBuffer.size() - written);
                if (count <= 0) {
                    Fail(FFile.errorString());
                    return;
                }
                written += count;
            }
            FBuffer.resize(0);
        }
        if (FNext < FLineCount && slice.elapsed() >= kSliceMs) {
            // The rest waits for the window's next turn.
            FSliceTimer.start();
            return;
        }
    }
    Commit();
}

void TTranscriptSaver::Commit()
{
    // The file goes to the disk and is renamed over the target; a failure drops the temporary file.
    // The file is touched by nothing else meanwhile; the outcome comes back as a queued call, which
    // is dropped if the saver is gone by then.
    FCommit = std::thread([this] {
        EnterOwnThread("save");
        const bool saved = FFile.commit();
        const QString error = saved ? QString() : FFile.errorString();
        QMetaObject::invokeMethod(
            this,
            [this, saved, error] {
                FCommit.join();
                emit Finished(saved, error);
            },
            Qt::QueuedConnection);
    });
}

void TTranscriptSaver::Fail(const QString& error)
{
    // The temporary file goes; the target is as it was.
    FFile.cancelWriting();
    FFile.commit();
    emit Finished(false, error);
}
