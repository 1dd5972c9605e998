#include "UnitEditorFrame.h"

#include <functional>
#include <memory>
#include <optional>

#include <QAbstractButton>
#include <QDir>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ClientStrings.h"
#include "ConsolePane.h"
#include "EditorView.h"
#include "FindBar.h"
#include "HLEditor.h"
#include "KeptState.h"
#include "NameCompletion.h"
#include "PaneMenu.h"
#include "StatementRun.h"
#include "ScriptRun.h"
#include "Transcript.h"
#include "TranscriptSaver.h"

namespace {

constexpr int kStatusBarHeight = 19;
constexpr int kMinimumPaneHeight = 100;
// How long one turn of appending an outcome may hold the GUI thread before the window gets its turn.
constexpr qint64 kAppendTurnMs = 15;
// Lines arrive on the window at most this often: a script of short statements hands over lines
// after every statement, thousands of times a second, and each turn paints the transcript.
constexpr qint64 kDrainFrameMs = 16;
// How often the status shows the rows received while a result arrives.
constexpr int kRowsTickMs = 250;
// The console's connection takes several statements in one request and reports the current
// database as it changes.
constexpr unsigned long kConsoleClientFlags = CLIENT_MULTI_STATEMENTS | CLIENT_SESSION_TRACKING;

// " · строк: 1 250 000": the rows of a result received so far, in groups of three digits.
QString RowsReceivedText(std::int64_t rows)
{
    QString digits = QString::number(rows);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(' '));
    return QStringLiteral(" · строк: ") + digits;
}

// Opens a message box over the console and returns at once: the console's handlers are replies of
// its session, and a modal loop inside one would run the session's later replies underneath it.
// answered gets the button, unless the console is gone by then (the box goes with it).
void OpenMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                 QMessageBox::StandardButtons buttons, const std::function<void(QMessageBox&)>& prepare = {},
                 std::function<void(int)> answered = {})
{
    auto* box = new QMessageBox(icon, title, text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Texts of servers, of the library and of file systems come here: nothing in them is markup.
    box->setTextFormat(Qt::PlainText);
    if (prepare)
        prepare(*box);
    if (answered)
        QObject::connect(box, &QMessageBox::finished, parent, std::move(answered));
    box->open();
}

// A text of the server's or the library's on one transcript line.
QString OnOneLine(const std::string& text)
{
    return SplitAtLineBreaks(FromClientString(text)).join(QLatin1Char(' '));
}

// A database name as SQL quotes it, escaped like a value.
QString QuotedName(const std::string& name)
{
    std::string doubled;
    for (const char c : name) {
        doubled += c;
        if (c == '`')
            doubled += '`';
    }
    std::string escaped;
    Transcript::AppendEscaped(escaped, doubled);
    return QLatin1Char('`') + FromClientString(escaped) + QLatin1Char('`');
}

} // namespace

TEditorFrame::TEditorFrame(QWidget* parent)
    : QWidget(parent)
    , FSession(new TClientSession(kConsoleClientFlags))
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
            box.setTextFormat(Qt::PlainText);
            box.exec();
        });
    }
    FPaneMenu = new TPaneMenu(this);
    for (TEditorView* view : {FResultView, FQueryView}) {
        connect(view, &TEditorView::ContextMenuRequested, this,
                [this, view](const QPoint& globalPos) { PreparePaneMenu(view)->popup(globalPos); });
    }
    connect(FPaneMenu, &TPaneMenu::CommandFailed, this, [this](const QString& message) {
        OpenMessage(this, QMessageBox::Critical, QStringLiteral("Ошибка"), message, QMessageBox::Ok);
    });
    FResult->OnChangeStatus = [this](TCustomEditorBase&) { mmResultChangeStatus(); };
    FQuery->OnChangeStatus = [this](TCustomEditorBase&) { mmQueryChangeStatus(); };

    FBusyTimer = new QTimer(this);
    FBusyTimer->setSingleShot(true);
    FBusyTimer->setTimerType(Qt::PreciseTimer);
    connect(FBusyTimer, &QTimer::timeout, this, &TEditorFrame::ShowBusyTime);
    FDrainTimer = new QTimer(this);
    FDrainTimer->setSingleShot(true);
    FDrainTimer->setInterval(0);
    connect(FDrainTimer, &QTimer::timeout, this, &TEditorFrame::DrainRun);

    FNames = new TNameCompletion(*FQuery, *FSession, this);
    connect(FPaneMenu, &TPaneMenu::RefreshNamesRequested, FNames, &TNameCompletion::Refresh);

    TClientSession* session = FSession.get();
    connect(session, &TClientSession::BusyChanged, this, &TEditorFrame::WorkChanged);
    connect(session, &TClientSession::Opened, this, &TEditorFrame::Connected);
    connect(session, &TClientSession::RunReady, this, &TEditorFrame::RunReady);
    connect(session, &TClientSession::RunEnded, this, &TEditorFrame::RunJobEnded);
    connect(session, &TClientSession::CancelRefused, this, &TEditorFrame::CancelRefused);
    connect(session, &TClientSession::CancelUnreachable, this, &TEditorFrame::CancelUnreachable);
}

TEditorFrame::~TEditorFrame() = default;

QStatusBar* TEditorFrame::MakeStatusBar(QWidget* parent)
{
    auto* bar = new QStatusBar(parent);
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(kStatusBarHeight);
    auto* position = new QLabel(QStringLiteral("    0: 0"), bar);
    position->setFixedWidth(100);
    auto* busy = new QLabel(bar);
    // 50 pixels, widening for the busy text (and, below the transcript, the encryption's).
    busy->setMinimumWidth(50);
    busy->setTextFormat(Qt::PlainText);
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

QString TEditorFrame::RunStatusText(std::chrono::nanoseconds elapsed, std::uint32_t warnings)
{
    // Each form rounds on its own unit, so that 9,996 s reads "10,0 с" and 59,96 s "1 мин 00 с".
    const auto rounded = [&elapsed](std::chrono::nanoseconds unit) { return (elapsed + unit / 2) / unit; };
    const auto twoDigits = [](long long value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString text;
    if (const long long hundredths = rounded(std::chrono::milliseconds(10)); hundredths < 1000) {
        text = QStringLiteral("%1,%2 с").arg(hundredths / 100).arg(twoDigits(hundredths % 100));
    } else if (const long long tenths = rounded(std::chrono::milliseconds(100)); tenths < 600) {
        text = QStringLiteral("%1,%2 с").arg(tenths / 10).arg(tenths % 10);
    } else if (const long long seconds = rounded(std::chrono::seconds(1)); seconds < 3600) {
        text = QStringLiteral("%1 мин %2 с").arg(seconds / 60).arg(twoDigits(seconds % 60));
    } else {
        text = QStringLiteral("%1 ч %2 мин %3 с")
                   .arg(seconds / 3600)
                   .arg(twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
    }
    if (warnings > 0)
        text += QStringLiteral(" · предупреждений: %1").arg(warnings);
    return text;
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
// Work in the client session

void TEditorFrame::WorkChanged()
{
    const bool busy = Busy();
    if (busy && !FWasBusy) {
        FLastRunStatus.clear();
        FWorkSince.start();
        ShowBusyTime();
    } else if (!busy && FWasBusy) {
        FBusyTimer->stop();
        Panel(FStatusBarQuery, 1)->setText(FLastRunStatus);
    }
    FWasBusy = busy;
    emit BusyChanged();
}

void TEditorFrame::ShowBusyTime()
{
    const qint64 seconds = FWorkSince.elapsed() / 1000;
    const QString text = Connecting() ? QStringLiteral("подключение %1 с") : QStringLiteral("выполняется %1 с");
    QString progress;
    if (FScript && FScript->FileBytesTotal > 0) {
        const auto megabytes = [](std::int64_t bytes) { return QLocale(QLocale::Russian).toString(bytes / 1048576.0, 'f', 1); };
        progress = QStringLiteral("файл: %1 из %2 МБ · запросов: %3 · ")
                       .arg(megabytes(FScript->FileBytesRead), megabytes(FScript->FileBytesTotal))
                       .arg(FScript->StatementsRun.load());
    }
    const std::shared_ptr<TStatementRun> run = FSession->CurrentRun();
    const std::int64_t rows = run ? run->RowsReceived() : 0;
    Panel(FStatusBarQuery, 1)->setText(progress + (rows > 0 ? text.arg(seconds) + RowsReceivedText(rows) : text.arg(seconds)));
    // The next tick just after the next whole second, so that no second is skipped; while rows
    // arrive, a few times a second.
    const int toNextSecond = static_cast<int>(1000 - FWorkSince.elapsed() % 1000) + 5;
    FBusyTimer->start(run ? std::min(toNextSecond, kRowsTickMs) : toNextSecond);
}

void TEditorFrame::OpenConnection(const TConnectionInfo& info)
{
    if (Busy())
        return;
    FConnectionInfo = info;
    FReopening = false;
    KeptState().AttachHistory(FHistory, info);
    FSession->Open(info);
}

void TEditorFrame::ReopenConnection()
{
    if (Busy())
        return;
    FReopening = true;
    FDatabaseToRestore = FSession->State().Database;
    FSession->Reopen();
}

QKeySequence TEditorFrame::ReconnectShortcut()
{
    // A function key: the panes' key map has none (a Ctrl+letter there may be the second key of a
    // Ctrl+K, Ctrl+Q or Ctrl+O chord), and it is the same key under every keyboard layout.
    return QKeySequence(Qt::CTRL | Qt::Key_F5);
}

void TEditorFrame::Connected(const TConnectOutcome& outcome)
{
    // Whether and how the connection is encrypted, in the transcript's status bar.
    Panel(FStatusBarResult, 1)->setText(outcome.Opened ? FromClientString(outcome.Encryption) : QString());
    if (outcome.Cancelled) {
        AppendOutcomeLines({QStringLiteral("-- Подключение прервано.")});
        return;
    }
    if (FReopening) {
        QString line;
        if (!outcome.Opened) {
            line = QStringLiteral("-- Не удалось переподключиться: ") + OnOneLine(outcome.ErrorText);
        } else {
            line = QStringLiteral("-- Переподключено: сервер ") + FromClientString(outcome.ServerVersion);
            if (!outcome.DatabaseError.empty())
                line += QStringLiteral("; база данных %1 не выбрана: %2")
                            .arg(QuotedName(FDatabaseToRestore), OnOneLine(outcome.DatabaseError));
            else if (!outcome.Database.empty())
                line += QStringLiteral(", база данных %1.").arg(QuotedName(outcome.Database));
            else
                line += QLatin1Char('.');
        }
        AppendOutcomeLines({line});
    } else if (!outcome.Opened) {
        OpenMessage(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Ошибка подключения к базе данных!"), QMessageBox::Ok);
    }
}

void TEditorFrame::CloseConnection()
{
    if (CanCancel())
        CancelQuery();
    FSession->Close();
}

std::string TEditorFrame::ServerVersion() const
{
    const TConnectOutcome& state = FSession->State();
    return state.Opened ? state.ServerVersion : std::string();
}

void TEditorFrame::ClearPanes()
{
    // A save under way would write lines of the cleared transcript and of the new one into one file:
    // it ends as a failure instead.
    if (FSaver)
        FSaver->PaneCleared();
    for (THLEditor* pane : {FQuery, FResult}) {
        TUpdateBatch batch(*pane);
        pane->ClearLines();
    }
}

void TEditorFrame::SetPaneMenuTail(const QList<QAction*>& actions)
{
    FPaneMenu->SetTail(actions);
}

QMenu* TEditorFrame::PreparePaneMenu(TEditorView* view)
{
    FPaneMenu->Prepare(view == FQueryView ? *FQuery : *FResult);
    return FPaneMenu;
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
        OpenMessage(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Не удалось сохранить протокол в файл %1: %2").arg(fileName, error),
                    QMessageBox::Ok);
    }
    emit TranscriptSaveEnded(saved);
}

void TEditorFrame::AppendLine(THLEditor& pane, const QString& line)
{
    pane.AppendLines({line});
    pane.SetCaret(0, pane.Lines().Count() - 1);
}

void TEditorFrame::AppendOutcomeLines(const QStringList& lines)
{
    TUpdateBatch batch(*FResult);
    FResult->AppendLines(lines);
    FResult->SetCaret(0, FResult->Lines().Count() - 1);
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
    FQueryAtStart = FQuery->Lines().ToStringList();
    FRunFailure.reset();
    FTableRows = 0;
    FShownRows = 0;
    FNames->RunStarted(sql);
    FSession->Run(sql);
    WorkChanged();
}

void TEditorFrame::RunReady()
{
    if (FDrainTimer->isActive())
        return;
    const qint64 since = FLastDrain.isValid() ? FLastDrain.elapsed() : kDrainFrameMs;
    if (since >= kDrainFrameMs)
        DrainRun();
    else
        FDrainTimer->start(static_cast<int>(kDrainFrameMs - since));
}

void TEditorFrame::DrainRun()
{
    const std::shared_ptr<TStatementRun> run = FSession->CurrentRun();
    if (!run)
        return;
    FLastDrain.start();
    QElapsedTimer turn;
    turn.start();
    std::optional<bool> ended;
    std::optional<TRunTotals> totals;
    {
        TUpdateBatch batch(*FResult);
        // A table's size is known ahead: the transcript makes room for all of it at once.
        if (const int expected = run->TakeExpectedLines(); expected > 0)
            FResult->Lines().Reserve(FResult->Lines().Count() + expected);
        while (true) {
            const qint64 left = kAppendTurnMs - turn.elapsed();
            TStatementRun::TTaken taken = run->Take(std::chrono::milliseconds(std::max<qint64>(left, 0)));
            if (taken.Slice) {
                if (taken.Slice->TableRows >= 0) {
                    FTableRows = taken.Slice->TableRows;
                    FShownRows = 0;
                }
                FShownRows += taken.Slice->Rows;
                FResult->AppendUtf8Lines(taken.Slice->Bytes, taken.Slice->LineEnds, taken.Slice->FirstContinues,
                    taken.Slice->LastGoesOn);
                run->GiveBack(std::move(*taken.Slice));
                if (turn.elapsed() < kAppendTurnMs)
                    continue;
                // The rest waits for the next turn. A timer rather than a posted call: Qt may run
                // posted calls one after another before any timer, input or painting gets its turn.
                FDrainTimer->start(0);
            } else if (taken.Ended) {
                ended = taken.Succeeded;
                totals = taken.Totals;
            } else if (FRunFailure) {
                // The job ended without finishing the run: it threw.
                FResult->AppendLines(Transcript::ErrorLines(QStringLiteral("Ошибка клиента: ") + *FRunFailure));
                ended = false;
            }
            break;
        }
    }
    if (ended)
        FinishRun(*ended, totals);
}

void TEditorFrame::RunJobEnded(const QString& failure)
{
    if (!FSession->CurrentRun())
        return;
    FRunFailure = failure.isEmpty() ? QStringLiteral("неизвестная ошибка") : failure;
    if (!FDrainTimer->isActive())
        DrainRun();
}

void TEditorFrame::FinishRun(bool succeeded, const std::optional<TRunTotals>& totals)
{
    FDrainTimer->stop();
    if (totals && TMySQLConnection::IsConnectionLost(totals->ErrorCode)) {
        const QString key = ReconnectShortcut().toString(QKeySequence::NativeText);
        AppendOutcomeLines({QStringLiteral("-- Соединение потеряно: «Переподключиться» (%1) восстановит его.").arg(key)});
    }
    FLastRunStatus = totals ? RunStatusText(totals->Elapsed, totals->Warnings) : QString();
    const int last = FResult->Lines().Count() - 1;
    if (last >= 0)
        FResult->SetCaret(0, last);
    // Text typed or loaded while the statement ran is the user's: only the statement itself goes.
    if (FScript) {
        FinishScript(succeeded);
    } else if (succeeded && QueryUnchangedSinceStart()) {
        FQuery->ClearLines();
        FQuery->SetCaretOffset(0);
    }
    FSession->EndRun();
    WorkChanged();
    // The focus comes back to the query pane when it is in this console; one that went elsewhere
    // meanwhile (another tab, a dialog) stays there.
    QWidget* focus = QApplication::focusWidget();
    if (isVisible() && (!focus || isAncestorOf(focus)))
        FocusQueryPane();
}

void TEditorFrame::CancelQuery()
{
    if (Connecting()) {
        FSession->Cancel();
    } else if (const std::shared_ptr<TStatementRun> run = FSession->CurrentRun()) {
        // A script sends nothing more, whatever the cancel reaches.
        if (FScript)
            FScript->Cancelled = true;
        if (run->InServerCall())
            FSession->Cancel();
        else
            StopDrawing();
    }
}

void TEditorFrame::StopDrawing()
{
    // The server has sent this result: what is not drawn yet is dropped. Statements of the run that
    // the server may still work on are cancelled there.
    const std::shared_ptr<TStatementRun> run = FSession->CurrentRun();
    const bool serverWorkLeft = run->ServerWorkLeft();
    run->Drop();
    if (serverWorkLeft)
        FSession->Cancel();
    AppendOutcomeLines({FTableRows > 0 ? QStringLiteral("-- Вывод прерван: показано %1 из %2 строк.")
                                             .arg(FShownRows)
                                             .arg(FTableRows)
                                       : QStringLiteral("-- Вывод прерван.")});
    FinishRun(false, std::nullopt);
}

void TEditorFrame::CancelRefused(const QString& reason)
{
    if (!RunningStatement())
        return;
    AppendOutcomeLines(QStringList{QStringLiteral("-- Отмена не дошла до сервера:")}
                       + Transcript::ErrorLines(reason));
    OpenMessage(
        this, QMessageBox::Question, QStringLiteral("Прервать запрос"),
        QStringLiteral("Не удалось связаться с сервером, чтобы прервать запрос:\n%1\n\n"
                       "Можно ждать дальше или разорвать соединение. Запрос может "
                       "завершиться на сервере и после разрыва соединения.")
            .arg(reason),
        QMessageBox::Yes | QMessageBox::No,
        [](QMessageBox& box) {
            box.button(QMessageBox::Yes)->setText(QStringLiteral("Разорвать соединение"));
            box.button(QMessageBox::No)->setText(QStringLiteral("Ждать"));
            box.setDefaultButton(QMessageBox::No);
        },
        [this](int answer) { CutAnswered(answer == QMessageBox::Yes); });
}

void TEditorFrame::CutAnswered(bool cut)
{
    // The run may have ended while the question was open, also between two of its statements.
    if (!cut) {
        if (RunningStatement())
            AppendOutcomeLines({QStringLiteral("-- Запрос выполняется дальше.")});
        return;
    }
    if (FSession->Cut())
        AppendOutcomeLines({QStringLiteral("-- Соединение разорвано; запрос мог завершиться на сервере.")});
    else
        AppendOutcomeLines({QStringLiteral("-- Соединение не разорвано: запрос уже завершился на сервере.")});
}

void TEditorFrame::CancelUnreachable()
{
    if (!RunningStatement())
        return;
    AppendOutcomeLines({QStringLiteral("-- Прервать запрос нельзя: на сервере он выполняется от имени другой "
                                       "учётной записи (процедура с другим DEFINER).")});
}

// ---------------------------------------------------------------------------------------------
// History

void TEditorFrame::RunQuery()
{
    if (Busy())
        return;
    const bool selection = FQuery->Selected();
    const QStringList lines = selection ? SplitAtLineBreaks(FQuery->SelectedText()) : FQuery->Lines().ToStringList();
    if (!HasScript(lines))
        return;
    auto script = std::make_shared<TScriptRunState>();
    script->Lines = lines;
    script->FirstLineNumber = selection ? std::min(FQuery->SelBegY(), FQuery->SelEndY()) + 1 : 1;
    // The key holds the text as typed, comments included; it is taken before the run empties the pane.
    const QString key = TQueryHistory::Key(lines);
    StartScript(script, selection);
    FHistory.Record(key);
}

void TEditorFrame::RunFile(const QString& fileName)
{
    if (Busy())
        return;
    auto script = std::make_shared<TScriptRunState>();
    script->Lines = {QStringLiteral("\\. ") + fileName};
    script->Echo = false;
    AppendOutcomeLines({QStringLiteral("-- Выполняется файл «%1».").arg(QDir::toNativeSeparators(fileName))});
    StartScript(script, true);
}

void TEditorFrame::StartScript(const std::shared_ptr<TScriptRunState>& script, bool selection)
{
    script->Delimiter = FDelimiter;
    script->DelimiterAfter = FDelimiter;
    script->ShowWarnings = FShowWarnings;
    script->ShowWarningsAfter = FShowWarnings;
    // The first statement is echoed at once; the run echoes the others as it comes to them.
    if (script->Echo) {
        const QStringList echo = FirstEcho(script->Lines, FDelimiter);
        if (!echo.isEmpty())
            AppendOutcomeLines(echo);
        script->FirstEchoed = true;
    }
    FNames->ScriptStarted(script->ChangesNames);
    FScript = script;
    FScriptSelection = selection;
    // Without a selection the script is the pane's text, taken as its lines a moment ago.
    FQueryAtStart = selection ? QStringList() : script->Lines;
    FRunFailure.reset();
    FTableRows = 0;
    FShownRows = 0;
    if (!FSession->Run([script](TMySQLDataSet& dataSet, TStatementRun& run) { return RunScript(dataSet, run, *script); }))
        FScript.reset();
    WorkChanged();
}

void TEditorFrame::FinishScript(bool succeeded)
{
    const std::shared_ptr<TScriptRunState> script = std::move(FScript);
    std::optional<std::pair<int, int>> ranUpTo;
    {
        std::lock_guard lock(script->Mutex);
        FDelimiter = script->DelimiterAfter;
        FShowWarnings = script->ShowWarningsAfter;
        ranUpTo = script->RanUpTo;
        succeeded = succeeded && !script->Stopped;
    }
    // A selection or a file leaves the pane alone, and so does text typed or loaded meanwhile.
    if (FScriptSelection || !QueryUnchangedSinceStart())
        return;
    if (succeeded) {
        FQuery->ClearLines();
        FQuery->SetCaretOffset(0);
        return;
    }
    if (!ranUpTo)
        return;
    // What ran goes; the failed statement and everything after it stay, so that running again
    // repeats nothing. The rest of the last line that ran goes with it when it is blank.
    QStringList lines = script->Lines;
    const auto [endLine, endColumn] = *ranUpTo;
    QString rest = lines.value(endLine).mid(endColumn);
    lines = lines.mid(endLine + 1);
    if (!Transcript::TrimControls(rest).isEmpty())
        lines.prepend(rest);
    TUpdateBatch batch(*FQuery);
    FQuery->ClearLines();
    FQuery->Lines().SetText(lines.join(QStringLiteral("\r\n")));
    FQuery->SetCaretOffset(0);
}

bool TEditorFrame::QueryUnchangedSinceStart() const
{
    const TEditorStrings& lines = FQuery->Lines();
    if (lines.Count() != FQueryAtStart.size())
        return false;
    for (int i = 0; i < lines.Count(); ++i) {
        if (lines.Length(i) != FQueryAtStart[i].size() || lines.Get(i) != FQueryAtStart[i])
            return false;
    }
    return true;
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
