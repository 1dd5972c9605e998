#include "NameCompletion.h"

#include <algorithm>
#include <utility>

#include <QThreadPool>
#include <QTimer>

#include "ClientStrings.h"
#include "CompletionContext.h"
#include "EditorPlatform.h"
#include "HLEditor.h"

namespace {

// How many lines above and below the caret are read for the statement around it.
constexpr int kContextLines = 500;

// Frees names let go of on a pool thread: a hundred thousand of them take the window longer to free
// than a frame lasts.
void FreeElsewhere(TNameCatalog catalog)
{
    QThreadPool::globalInstance()->start([catalog = std::move(catalog)]() mutable { catalog = {}; });
}

} // namespace

TNameCompletion::TNameCompletion(THLEditor& pane, TClientSession& session, QObject* parent)
    : QObject(parent)
    , FPane(pane)
    , FSession(session)
{
    FGiveUp = new QTimer(this);
    FGiveUp->setSingleShot(true);
    connect(FGiveUp, &QTimer::timeout, this, [this] { ReadEnded(nullptr); });

    TCompletion& completion = FPane.Completion();
    // An entry is a name as it is inserted: a name may hold "=", so nothing is read as a separator.
    completion.Separator.clear();
    completion.OnCompletionIdentifier = [this](TCustomEditorBase&, bool&) {
        const TCompletionOffer offer = OfferAtCaret();
        FPane.Completion().Identifiers = offer.Entries;
        if (offer.MissingDatabases || !offer.MissingSchemas.isEmpty()) {
            TNamesRequest request;
            request.Databases = offer.MissingDatabases;
            for (const QString& schema : offer.MissingSchemas)
                request.Schemas.push_back(ToClientString(schema));
            if (!FReadFailed)
                Ask(request);
            if (offer.Entries.isEmpty() && Reading()) {
                FOpenWhenRead = true;
                FOpenAt = QPoint(FPane.CaretX(), FPane.CaretY());
            }
        }
    };
    // Ctrl+J opens the same list: the pane has no templates.
    completion.Templates.clear();
    completion.OnCompletionTemplate = [this](TCustomEditorBase&, bool& cancel) {
        cancel = true;
        FPane.OpenCompletion(false);
    };

    connect(&FSession, &TClientSession::Opened, this, &TNameCompletion::Connected);
    connect(&FSession, &TClientSession::RunEnded, this, &TNameCompletion::RunEnded);
}

TNameCompletion::~TNameCompletion() = default;

TCompletionOffer TNameCompletion::OfferAtCaret()
{
    // The lines around the caret, the caret's own padded with blanks up to it as typing there would.
    const int caretX = FPane.CaretX();
    const int caretY = FPane.CaretY();
    const int count = FPane.LineCount();
    QString text;
    qsizetype caret = 0;
    const int first = std::max(0, caretY - kContextLines);
    const int last = std::min(count - 1, caretY + kContextLines);
    for (int y = first; y <= last; ++y) {
        QString line;
        FPane.GetLineText(y, line);
        if (y == caretY) {
            if (caretX > line.size())
                line += QString(caretX - line.size(), u' ');
            caret = text.size() + caretX;
        }
        text += line;
        if (y < last)
            text += u'\n';
    }
    if (caretY >= count)
        caret = text.size();
    const QString database = FromClientString(FSession.State().Database);
    return OfferNames(AnalyzeCompletion(text, caret), FCatalog, database);
}

QStringList TNameCompletion::EntriesAtCaret()
{
    return OfferAtCaret().Entries;
}

void TNameCompletion::RunStarted(const QString& sql)
{
    FRunChangesNames = FRunChangesNames || ChangesNames(sql);
}

void TNameCompletion::Connected(const TConnectOutcome& outcome)
{
    Forget();
    FDatabase = FromClientString(outcome.Database);
    if (!outcome.Opened)
        return;
    // Read ahead, so that the first list has its names.
    TNamesRequest request;
    request.Databases = true;
    if (!outcome.Database.empty())
        request.Schemas.push_back(outcome.Database);
    Ask(request);
}

void TNameCompletion::RunEnded()
{
    const QString database = FromClientString(FSession.State().Database);
    if (FScriptChangesNames) {
        FRunChangesNames = FRunChangesNames || FScriptChangesNames->load();
        FScriptChangesNames.reset();
    }
    if (FRunChangesNames) {
        FRunChangesNames = false;
        FDatabase = database;
        Refresh();
        return;
    }
    if (database != FDatabase) {
        // Another database is current: its names are read afresh.
        FDatabase = database;
        if (const auto found = FCatalog.Schemas.find(database); found != FCatalog.Schemas.end()) {
            TNameCatalog stale;
            stale.Schemas.insert(FCatalog.Schemas.extract(found));
            FreeElsewhere(std::move(stale));
        }
        FReadFailed = false;
        if (!database.isEmpty()) {
            TNamesRequest request;
            request.Schemas.push_back(ToClientString(database));
            Ask(request);
        }
    }
}

void TNameCompletion::Refresh()
{
    Forget();
    TNamesRequest request;
    request.Databases = true;
    const std::string database = FSession.State().Database;
    if (!database.empty())
        request.Schemas.push_back(database);
    Ask(request);
}

void TNameCompletion::Forget()
{
    ++FGeneration;
    FreeElsewhere(std::exchange(FCatalog, {}));
    FWanted = {};
    FReadFailed = false;
}

void TNameCompletion::Ask(const TNamesRequest& request)
{
    FWanted.Databases = FWanted.Databases || request.Databases;
    for (const std::string& schema : request.Schemas) {
        if (std::find(FWanted.Schemas.begin(), FWanted.Schemas.end(), schema) == FWanted.Schemas.end())
            FWanted.Schemas.push_back(schema);
    }
    if (!Reading())
        StartReading();
}

void TNameCompletion::StartReading()
{
    if (!FSession.State().Opened || (!FWanted.Databases && FWanted.Schemas.empty())) {
        FWanted = {};
        return;
    }
    TNamesRequest request = std::move(FWanted);
    FWanted = {};
    FReadGeneration = FGeneration;
    FReader.reset(new TClientSession());
    connect(FReader.get(), &TClientSession::Opened, this, [this, request](const TConnectOutcome& outcome) {
        if (!outcome.Opened) {
            ReadEnded(nullptr);
            return;
        }
        FReader->Post<TNamesReply>([request](TMySQLDataSet& dataSet) { return ReadNames(dataSet, request); },
                                   [this](const TNamesReply& reply) { ReadEnded(&reply); });
    });
    FGiveUp->start(GiveUpMs);
    FReader->Open(FSession.Info());
}

void TNameCompletion::ReadEnded(const TNamesReply* reply)
{
    FGiveUp->stop();
    // The session has done its part; it closes in the background.
    FReader.reset();
    // Names read before they went stale are dropped: what was asked for since is read next.
    const bool current = reply != nullptr && FReadGeneration == FGeneration;
    if (current) {
        if (reply->Databases)
            FCatalog.Databases = reply->Databases;
        for (const auto& [database, names] : reply->Schemas)
            FCatalog.Schemas[database] = names;
    }
    // A read that failed is not repeated for every list opened: Refresh, a reconnect or a change of
    // names asks again.
    FReadFailed = reply == nullptr || !reply->Error.empty();
    if (FWanted.Databases || !FWanted.Schemas.empty())
        StartReading();

    if (current) {
        if (FPane.CompletionOpen()) {
            FPane.RefreshCompletion();
        } else if (FOpenWhenRead && FOpenAt == QPoint(FPane.CaretX(), FPane.CaretY())
                   && FPane.Platform() != nullptr && FPane.Platform()->HasFocus()) {
            FOpenWhenRead = false;
            FPane.OpenCompletion(false);
        }
    }
    if (!Reading())
        FOpenWhenRead = false;
    emit NamesRead();
}
