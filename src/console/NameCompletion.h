// The query pane's completion list, fed with the names of the console's server.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include "ClientSession.h"
#include "SchemaNames.h"

class QTimer;
class THLEditor;

// Gives the pane's completion list its entries (Ctrl+Space, and Ctrl+J, which opens the same list)
// from the text around the caret and the names known so far, and keeps those names.
//
// Names are read from information_schema in a short-lived session of their own, never in the
// console's: a read never waits behind a statement the console runs, never delays one, and leaves
// the console's connection as the user left it (its warnings, ROW_COUNT(), FOUND_ROWS()). They are
// kept per database for as long as the console's connection lasts, and read again after a statement
// that may change them (CREATE, ALTER, DROP, RENAME) ran in the console, after the current database
// changed, and on Refresh. The window never waits for them: a list opened before they arrive shows
// what is known (keywords) and fills in when they come. One read runs at a time; what is asked for
// meanwhile is read next.
class TNameCompletion : public QObject {
    Q_OBJECT

public:
    // How long a read may take before it is given up (the session is let go and closes alone).
    static constexpr int GiveUpMs = 15000;

    // The pane and the console's session outlive this object.
    TNameCompletion(THLEditor& pane, TClientSession& session, QObject* parent = nullptr);
    ~TNameCompletion() override;

    // The console sends a run: whether its text may change names is noted for its end.
    void RunStarted(const QString& sql);
    // The console runs a script: whether one of its statements may have changed names is known at
    // its end (the run looks at each statement as it sends it; the text is never read ahead, which
    // for a file or a pasted dump would cost as much as splitting it again).
    void ScriptStarted(std::shared_ptr<const std::atomic<bool>> changesNames) { FScriptChangesNames = std::move(changesNames); }
    // Forgets every name and reads those of the current database again.
    void Refresh();

    const TNameCatalog& Catalog() const { return FCatalog; }
    bool Reading() const { return FReader != nullptr; }
    // The entries the list would show now at the pane's caret.
    QStringList EntriesAtCaret();

signals:
    // A read of names ended (with names or without).
    void NamesRead();

private:
    void Connected(const TConnectOutcome& outcome);
    void RunEnded();
    // Reads what the request asks for, now or after the read under way.
    void Ask(const TNamesRequest& request);
    void StartReading();
    void ReadEnded(const TNamesReply* reply);
    void Forget();
    TCompletionOffer OfferAtCaret();

    THLEditor& FPane;
    TClientSession& FSession;
    TNameCatalog FCatalog;
    QString FDatabase;          // the current database the names were last offered for
    bool FRunChangesNames = false;
    std::shared_ptr<const std::atomic<bool>> FScriptChangesNames;

    TNamesRequest FWanted;      // asked for, not yet read
    std::uint64_t FGeneration = 0; // grows when the names known go stale
    std::uint64_t FReadGeneration = 0;
    TSessionHandle FReader;     // the session of the read under way
    QTimer* FGiveUp = nullptr;
    bool FReadFailed = false;   // the last read failed: lists opened ask for nothing more

    // A list asked for that had nothing to show while names were on their way: it opens when they
    // come, if the caret is still there.
    bool FOpenWhenRead = false;
    QPoint FOpenAt;
};
