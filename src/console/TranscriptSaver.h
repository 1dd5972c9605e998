// Saving a pane's lines to a file: UTF-8 text with LF line breaks, written in slices while the window
// answers, and put in place only once it is whole.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSaveFile>
#include <QString>
#include <QTimer>

#include <thread>

class TCustomEditor;

// Writes the lines the pane holds when Start is called, each followed by LF, a slice of at most
// 15 ms at a time. They go to a temporary file beside the target, which replaces the target only once
// every line is written: a failure (a folder that cannot be written, a full disk) leaves the target as
// it was. The last step, which waits until the disk holds the file and then renames it, runs on a
// thread of its own, so that the window never waits for the disk. The pane must outlive the saver;
// its owner tells it when the pane is cleared (PaneCleared), which ends the save as a failure. Destroying an unfinished
// saver drops the temporary file (waiting for that last step, if it runs).
class TTranscriptSaver : public QObject {
    Q_OBJECT

public:
    TTranscriptSaver(const TCustomEditor& pane, const QString& fileName, QObject* parent = nullptr);
    ~TTranscriptSaver() override;

    // Opens the temporary file and begins writing; false, with the reason, when it cannot be made.
    bool Start(QString& error);
    const QString& FileName() const { return FFileName; }
    // The pane was cleared: lines not yet written are gone, and later ones would be the new text's.
    // The save ends as a failure, unless every line is written already.
    void PaneCleared();

signals:
    // The file is in place (saved), or why it is not.
    void Finished(bool saved, const QString& error);

private:
    static QString ClearedText();
    void WriteSlice();
    void Fail(const QString& error);
    void Commit();

    const TCustomEditor& FPane;
    QString FFileName;
    QSaveFile FFile;
    QByteArray FBuffer;
    int FLineCount = 0;
    int FNext = 0;
    QTimer FSliceTimer;
    std::thread FCommit;
};
