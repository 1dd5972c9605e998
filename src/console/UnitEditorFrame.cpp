#include "UnitEditorFrame.h"

#include <memory>
#include <optional>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ClientStrings.h"
#include "EditorView.h"
#include "FindBar.h"
#include "HLEditor.h"
#include "QueryCanceller.h"
#include "StatementRun.h"
#include "StatementText.h"
#include "Transcript.h"
#include "TranscriptSaver.h"

namespace {

constexpr int kStatusBarHeight = 19;
constexpr int kMinimumPaneHeight = 100;
// How long one turn of appending an outcome may hold the GUI thread before the window gets its turn.
constexpr qint64 kAppendTurnMs = 15;
// How long a closing console waits for its client thread once every wait for the server is ended.
constexpr std::chrono::milliseconds kStopAfterInterrupt{300};

// Makes a pane: an SQL editor in the console's look, inside its view.
TEditorView* MakePane(QWidget* parent, bool readOnly, THLEditor*& editor)
{
    auto core = std::make_unique<THLEditor>();
    editor = core.get();
    editor->SetHighlighter(hlSql);
    ApplyConsoleColorScheme(*editor);
    TEditorFont font;
    font.Family = QStringLiteral("Courier New");
    font.Height = 13;
    editor->SetFont(font);
    editor->SetGutterWidth(25);
    editor->SetTabStops(QStringLiteral("8 16"));
    editor->SetRightMargin(80);
    editor->SetRightMarginVisible(true);
    TBracketHighlighting brackets = editor->BracketHighlighting();
    brackets.Active = false;
    editor->SetBracketHighlighting(brackets);
    // Completion keeps its settings but has no word lists.
    TCompletion completion = editor->Completion();
    completion.ItemHeight = 13;
    completion.Interval = 800;
    completion.ListBoxStyle = TCompletion::lbStandard;
    completion.CaretChar = QStringLiteral("|");
    completion.CRLF = QStringLiteral("/n");
    completion.Separator = QStringLiteral("=");
    editor->SetCompletion(completion);
    editor->SetReadOnly(readOnly);
    // The query pane keeps every blank typed or pasted, so that a statement goes as typed; the
    // transcript writes its lines by its own rules.
    editor->SetKeepTrailingBlanks(!readOnly);
    return new TEditorView(std::move(core), parent);
}

// The client thread's part of a statement: send it, then format its outcome into transcript lines.
void RunStatement(TMySQLDataSet& dataSet, TStatementRun& run, const QString& sql)
{
    run.SetInServerCall(true);
    std::shared_ptr<IMySQLQueryResult> result = dataSet.Query(ToClientString(sql));
    run.SetInServerCall(false);

    const auto append = [&run](const QString& line) { run.Append(line); };
    // A procedure can send a result set and then fail: the table is shown, then the error.
    if (result && result->GetRowCount() > 0) {
        // Borders, header and count: five lines besides the rows.
        run.ExpectLines(result->GetRowCount() + 5);
        Transcript::TableLines(*result, append);
    }
    const bool succeeded = dataSet.ErrorCode() == 0;
    if (!succeeded) {
        for (const QString& line : Transcript::ErrorLines(FromClientString(dataSet.ErrorText())))
            append(line);
    } else if (Transcript::IsUseStatement(sql)) {
        append(Transcript::DatabaseSelectedLine());
    } else if (!result) {
        append(Transcript::AffectedRowsLine(dataSet.AffectedRows()));
    } else if (result->GetRowCount() < 1) {
        append(Transcript::EmptySetLine());
    }
    result.reset();
    run.Finish(succeeded);
}

} // namespace

TEditorFrame::TEditorFrame(QWidget* parent)
    : QWidget(parent)
    , FDataSet(std::make_shared<TMySQLDataSet>())
    , DataSet(*FDataSet)
    , FClient(std::make_unique<TClientThread>())
{
    resize(441, 369);

    FSplitter = new QSplitter(Qt::Vertical, this);
    FSplitter->setHandleWidth(3);
    FSplitter->setChildrenCollapsible(false);
    // The new position is shown while dragging; the panes are resized when the button is released.
    FSplitter->setOpaqueResize(false);

    auto* top = new QWidget(FSplitter);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    FResultView = MakePane(top, true, FResult);
    FResultFind = new TFindBar(*FResult, *FResultView, top);
    FStatusBarResult = MakeStatusBar(top);
    topLayout->addWidget(FResultView, 1);
    topLayout->addWidget(FResultFind);
    topLayout->addWidget(FStatusBarResult);
    top->setMinimumHeight(kMinimumPaneHeight + kStatusBarHeight);

    // The query pane with its find bar below it, which shows only while it is in use.
    auto* bottom = new QWidget(FSplitter);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);
    FQueryView = MakePane(bottom, false, FQuery);
    FQueryView->setMinimumHeight(kMinimumPaneHeight);
    FQueryFind = new TFindBar(*FQuery, *FQueryView, bottom);
    bottomLayout->addWidget(FQueryView, 1);
    bottomLayout->addWidget(FQueryFind);

    FSplitter->addWidget(top);
    FSplitter->addWidget(bottom);
    // The transcript takes what the frame gains or loses; the query pane keeps its height.
    FSplitter->setStretchFactor(0, 1);
    FSplitter->setStretchFactor(1, 0);
    FSplitter->setSizes({228 + kStatusBarHeight, kMinimumPaneHeight});

    FStatusBarQuery = MakeStatusBar(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FSplitter, 1);
    layout->addWidget(FStatusBarQuery);

    // An error of an editor (an unpaired batch, a line read outside the text) stops at its view,
    // which reports it here; the user sees it as every other error.
    for (TEditorView* view : {FResultView, FQueryView}) {
        connect(view, &TEditorView::EditorError, this, [this](const QString& message) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"), message, QMessageBox::Ok, this);
            box.exec();
        });
    }
    FResult->OnChangeStatus = [this](TCustomEditorBase&) { mmResultChangeStatus(); };
    FQuery->OnChangeStatus = [this](TCustomEditorBase&) { mmQueryChangeStatus(); };

    FBusyTimer = new QTimer(this);
    FBusyTimer->setSingleShot(true);
    FBusyTimer->setTimerType(Qt::PreciseTimer);
    connect(FBusyTimer, &QTimer::timeout, this, &TEditorFrame::ShowBusyTime);
    FCutTimer = new QTimer(this);
    FCutTimer->setSingleShot(true);
    connect(FCutTimer, &QTimer::timeout, this, &TEditorFrame::CutConnection);
    FDrainTimer = new QTimer(this);
    FDrainTimer->setSingleShot(true);
    FDrainTimer->setInterval(0);
    connect(FDrainTimer, &QTimer::timeout, this, [this] { DrainRun(FRunSerial); });

    DataSet.SetPort(3306);
    DataSet.SetHost("localhost");
}

TEditorFrame::~TEditorFrame()
{
    BeginShutdown();
    FClient->WaitIdle(FShutdownDeadline);
    // Whatever still waits for the server ends now, and the client thread with it; the connection is
    // closed with the data set, on this thread or, if the client thread is stuck, on that one.
    DataSet.Connection()->Interrupt();
    FCanceller.reset();
    FClient->Stop(std::chrono::steady_clock::now() + kStopAfterInterrupt);
}

void TEditorFrame::BeginShutdown()
{
    if (FShuttingDown)
        return;
    FShuttingDown = true;
    FReplies.Close();
    FBusyTimer->stop();
    FCutTimer->stop();
    FDrainTimer->stop();
    FShutdownDeadline = std::chrono::steady_clock::now() + CutBound;
    if (FRun) {
        const bool waitingForServer = FRun->InServerCall();
        // The lines not yet appended are of no use any more; formatting stops too.
        FRun->Drop();
        if (waitingForServer && !FCanceller && FRunConnectionId != 0)
            FCanceller = std::make_unique<TQueryCanceller>(FRunLogin, FRunConnectionId);
    } else if (FWork == TWork::Connecting) {
        DataSet.Connection()->Interrupt();
    }
}

QStatusBar* TEditorFrame::MakeStatusBar(QWidget* parent)
{
    auto* bar = new QStatusBar(parent);
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(kStatusBarHeight);
    auto* position = new QLabel(QStringLiteral("    0: 0"), bar);
    position->setFixedWidth(100);
    auto* busy = new QLabel(bar);
    // 50 pixels, widening for the busy text.
    busy->setMinimumWidth(50);
    bar->addWidget(position);
    bar->addWidget(busy);
    return bar;
}

QLabel* TEditorFrame::Panel(const QStatusBar* bar, int index)
{
    const auto labels = bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    return labels.value(index);
}

QString TEditorFrame::StatusText(const QStatusBar* bar) const
{
    return Panel(bar, 0)->text();
}

QString TEditorFrame::BusyText() const
{
    return Panel(FStatusBarQuery, 1)->text();
}

void TEditorFrame::ShowCaretPosition(const THLEditor& pane, QStatusBar* bar)
{
    Panel(bar, 0)->setText(QString::asprintf("%5d: %d", pane.CaretY(), pane.CaretX()));
}

void TEditorFrame::mmQueryChangeStatus()
{
    if (FQuery->UpdateCount() == 0)
        ShowCaretPosition(*FQuery, FStatusBarQuery);
}

void TEditorFrame::mmResultChangeStatus()
{
    // The transcript's caret moves several times for each appended line; the end of the batch
    // notifies once more, so the panel shows the same without refreshing on every move.
    if (FResult->UpdateCount() == 0)
        ShowCaretPosition(*FResult, FStatusBarResult);
}

void TEditorFrame::InitFrame()
{
    FQuery->Colors().Comment.Style = 0;
    FResult->Colors().Comment.Style = 0;
    FHistory.Clear();
}

// ---------------------------------------------------------------------------------------------
// Work on the client thread

void TEditorFrame::StartWork(TWork work)
{
    // A cut or an interrupted connect before this is over: the connection may be used again.
    if (FWork == TWork::None)
        DataSet.Connection()->ClearInterrupt();
    FWork = work;
    FWorkSince.start();
    ShowBusyTime();
    emit BusyChanged();
}

void TEditorFrame::EndWork()
{
    FWork = TWork::None;
    FBusyTimer->stop();
    Panel(FStatusBarQuery, 1)->clear();
    emit BusyChanged();
}

void TEditorFrame::ShowBusyTime()
{
    const qint64 seconds = FWorkSince.elapsed() / 1000;
    const QString text = FWork == TWork::Statement ? QStringLiteral("выполняется %1 с")
                                                   : QStringLiteral("подключение %1 с");
    Panel(FStatusBarQuery, 1)->setText(text.arg(seconds));
    // The next tick just after the next whole second, so that no second is skipped.
    FBusyTimer->start(static_cast<int>(1000 - FWorkSince.elapsed() % 1000) + 5);
}

void TEditorFrame::OpenConnection(const TConnectionInfo& info)
{
    if (Busy())
        return;
    FConnectionInfo = info;
    DataSet.SetUser(info.User);
    DataSet.SetPassword(info.Password);
    DataSet.SetHost(info.Host);
    DataSet.SetPort(info.Port);
    PostConnect(false, true);
}

void TEditorFrame::ReopenConnection()
{
    if (!Busy())
        PostConnect(true, false);
}

void TEditorFrame::PostConnect(bool closeFirst, bool reportFailure)
{
    StartWork(TWork::Connecting);
    FClient->Post([dataSet = FDataSet, replies = FReplies, this, closeFirst, reportFailure] {
        if (closeFirst)
            dataSet->Close();
        const bool opened = dataSet->Open();
        replies.Send([this, opened, reportFailure] { Connected(opened, reportFailure); });
    });
}

void TEditorFrame::Connected(bool opened, bool reportFailure)
{
    EndWork();
    if (!opened && reportFailure) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                        QStringLiteral("Ошибка подключения к базе данных!"), QMessageBox::Ok, this);
        box.exec();
    }
}

void TEditorFrame::CloseConnection()
{
    if (RunningStatement())
        CancelQuery();
    else if (FWork == TWork::Connecting)
        DataSet.Connection()->Interrupt();
    // Closing after a statement or a connect adds nothing to show; closing an idle console is work
    // of its own, so that the data set is not read while it closes.
    const bool idle = !Busy();
    if (idle)
        StartWork(TWork::Connecting);
    FClient->Post([dataSet = FDataSet, replies = FReplies, this, idle] {
        dataSet->Close();
        if (idle)
            replies.Send([this] { EndWork(); });
    });
}

void TEditorFrame::ClearPanes()
{
    for (THLEditor* pane : {FQuery, FResult}) {
        TUpdateBatch batch(*pane);
        pane->ClearLines();
    }
}

void TEditorFrame::FocusQueryPane()
{
    FQueryView->setFocus(Qt::OtherFocusReason);
}

void TEditorFrame::SwapPaneFocus()
{
    if (FQueryView->hasFocus())
        FResultView->setFocus(Qt::OtherFocusReason);
    else
        FQueryView->setFocus(Qt::OtherFocusReason);
}

TFindBar* TEditorFrame::FocusedFindBar() const
{
    const QWidget* focus = QApplication::focusWidget();
    const bool inQuery = focus != nullptr && (focus == FQueryView || FQueryFind->isAncestorOf(focus));
    return inQuery ? FQueryFind : FResultFind;
}

void TEditorFrame::Find()
{
    FocusedFindBar()->Open();
}

void TEditorFrame::FindNext()
{
    FocusedFindBar()->FindNext(true);
}

void TEditorFrame::SaveTranscript(const QString& fileName)
{
    if (FSaver)
        return;
    FSaver = new TTranscriptSaver(*FResult, fileName, this);
    connect(FSaver, &TTranscriptSaver::Finished, this, &TEditorFrame::TranscriptSaved);
    QString error;
    if (!FSaver->Start(error))
        TranscriptSaved(false, error);
}

void TEditorFrame::TranscriptSaved(bool saved, const QString& error)
{
    const QString fileName = FSaver->FileName();
    FSaver->deleteLater();
    FSaver = nullptr;
    if (!saved) {
        // The file name and the system's reason are shown as they are.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                        QStringLiteral("Не удалось сохранить протокол в файл %1: %2").arg(fileName, error),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
    emit TranscriptSaveEnded(saved);
}

void TEditorFrame::AppendLine(THLEditor& pane, const QString& line)
{
    pane.AppendLines({line});
    pane.SetCaret(0, pane.Lines().Count() - 1);
}

void TEditorFrame::ExecuteStatement(const QString& sql)
{
    if (Busy())
        return;
    {
        TUpdateBatch batch(*FResult);
        FResult->AppendLines(Transcript::EchoLines(sql));
        if (FResult->Lines().Count() > 0)
            FResult->SetCaret(0, FResult->Lines().Count() - 1);
    }
    FQueryAtStart = FQuery->Lines().LineListText();
    // What a cancel needs, read while the client thread is idle.
    FRunLogin = {DataSet.Host(), DataSet.Port(), DataSet.User(), DataSet.Password()};
    FRunConnectionId = DataSet.Connection()->ConnectionId();

    StartWork(TWork::Statement);
    const std::uint64_t serial = ++FRunSerial;
    FRun = std::make_shared<TStatementRun>([replies = FReplies, this, serial] {
        replies.Send([this, serial] { DrainRun(serial); });
    });
    FClient->Post([dataSet = FDataSet, run = FRun, sql] { RunStatement(*dataSet, *run, sql); });
}

void TEditorFrame::DrainRun(std::uint64_t serial)
{
    if (!FRun || serial != FRunSerial)
        return;
    QElapsedTimer turn;
    turn.start();
    std::optional<bool> ended;
    {
        TUpdateBatch batch(*FResult);
        while (true) {
            TStatementRun::TTaken taken = FRun->Take();
            if (taken.Slice) {
                // A table's size is known ahead: the transcript makes room for all of it at once.
                if (const int expected = FRun->ExpectedLines(); expected > 0) {
                    FResult->Lines().Reserve(FResult->Lines().Count() + expected);
                    FRun->ExpectLines(0);
                }
                FResult->AppendLines(*taken.Slice);
                FRun->GiveBack(std::move(*taken.Slice));
                if (turn.elapsed() < kAppendTurnMs)
                    continue;
                // The rest waits for the next turn. A timer rather than a posted call: Qt may run
                // posted calls one after another before any timer, input or painting gets its turn.
                FDrainTimer->start();
            } else if (taken.Ended) {
                ended = taken.Succeeded;
            }
            break;
        }
    }
    if (ended)
        FinishRun(*ended);
}

void TEditorFrame::FinishRun(bool succeeded)
{
    const int last = FResult->Lines().Count() - 1;
    if (last >= 0)
        FResult->SetCaret(0, last);
    // Text typed or loaded while the statement ran is the user's: only the statement itself goes.
    if (succeeded && FQuery->Lines().LineListText() == FQueryAtStart) {
        FQuery->ClearLines();
        FQuery->SetCaretOffset(0);
    }
    FRun.reset();
    FCutTimer->stop();
    FCanceller.reset();
    EndWork();
    // The focus comes back to the query pane when it is in this console; one that went elsewhere
    // meanwhile (another tab, a dialog) stays there.
    QWidget* focus = QApplication::focusWidget();
    if (isVisible() && (!focus || isAncestorOf(focus)))
        FocusQueryPane();
}

void TEditorFrame::CancelQuery()
{
    if (!RunningStatement() || FCutTimer->isActive())
        return;
    if (FRunConnectionId != 0)
        FCanceller = std::make_unique<TQueryCanceller>(FRunLogin, FRunConnectionId);
    FCutTimer->start(CutBound);
}

void TEditorFrame::CutConnection()
{
    FCanceller.reset();
    // Only a wait for the server can be cut; a statement whose outcome is being written has ended
    // on the server already.
    if (FRun && FRun->InServerCall())
        DataSet.Connection()->Interrupt();
}

// ---------------------------------------------------------------------------------------------
// History

void TEditorFrame::RunQuery()
{
    if (Busy())
        return;
    const QStringList lines = FQuery->Lines().ToStringList();
    const QString statement = BuildStatement(lines);
    if (statement.isEmpty())
        return;
    // The key holds the pane as typed, comments included; it is taken before the run empties it.
    const QString key = TQueryHistory::Key(lines);
    ExecuteStatement(statement);
    FHistory.Record(key);
}

void TEditorFrame::LoadQuery(const QString& entry)
{
    FQuery->Lines().SetLineListText(entry);
}

void TEditorFrame::HistoryBack()
{
    TUpdateBatch batch(*FQuery);
    if (const std::optional<QString> entry = FHistory.Back())
        LoadQuery(*entry);
    FQuery->SetCaretX(0);
    FQuery->SetCaretY(0);
}

void TEditorFrame::HistoryForward()
{
    TUpdateBatch batch(*FQuery);
    if (const std::optional<QString> entry = FHistory.Forward())
        LoadQuery(*entry);
    FQuery->SetCaretX(0);
    FQuery->SetCaretY(0);
}
