#include "UnitEditorFrame.h"

#include <memory>

#include <QCollator>
#include <QLabel>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "EditorView.h"
#include "HLEditor.h"
#include "LineList.h"
#include "Transcript.h"

namespace {

constexpr int kStatusBarHeight = 19;
constexpr int kMinimumPaneHeight = 100;

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
    return new TEditorView(std::move(core), parent);
}

} // namespace

TEditorFrame::TEditorFrame(QWidget* parent)
    : QWidget(parent)
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
    FStatusBarResult = MakeStatusBar(top);
    topLayout->addWidget(FResultView, 1);
    topLayout->addWidget(FStatusBarResult);
    top->setMinimumHeight(kMinimumPaneHeight + kStatusBarHeight);

    FQueryView = MakePane(FSplitter, false, FQuery);
    FQueryView->setMinimumHeight(kMinimumPaneHeight);

    FSplitter->addWidget(top);
    FSplitter->addWidget(FQueryView);
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

    DataSet.SetPort(3306);
    DataSet.SetHost("localhost");
}

TEditorFrame::~TEditorFrame() = default;

QStatusBar* TEditorFrame::MakeStatusBar(QWidget* parent)
{
    auto* bar = new QStatusBar(parent);
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(kStatusBarHeight);
    auto* position = new QLabel(QStringLiteral("    0: 0"), bar);
    position->setFixedWidth(100);
    auto* spare = new QLabel(bar);
    spare->setFixedWidth(50);
    bar->addWidget(position);
    bar->addWidget(spare);
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
    FHistory.clear();
    FHistoryIndex = -1;
}

void TEditorFrame::OpenConnection(const TConnectionInfo& info)
{
    FConnectionInfo = info;
    DataSet.SetUser(info.User);
    DataSet.SetPassword(info.Password);
    DataSet.SetHost(info.Host);
    DataSet.SetPort(info.Port);
    if (!DataSet.Open()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                        QStringLiteral("Ошибка подключения к базе данных!"), QMessageBox::Ok, this);
        box.exec();
    }
}

void TEditorFrame::CloseConnection()
{
    DataSet.Close();
}

void TEditorFrame::ReopenConnection()
{
    DataSet.Close();
    DataSet.Open();
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

void TEditorFrame::AppendLine(THLEditor& pane, const QString& line)
{
    pane.AppendLines({line});
    pane.SetCaret(0, pane.Lines().Count() - 1);
}

namespace {

// Collects a statement's transcript lines and hands them to the pane in slices: the pane's store
// takes them at its end directly, and no more than a slice is held twice at a time.
class TTranscriptWriter {
public:
    explicit TTranscriptWriter(THLEditor& pane) : FPane(pane) {}
    TTranscriptWriter(const TTranscriptWriter&) = delete;
    TTranscriptWriter& operator=(const TTranscriptWriter&) = delete;

    void Append(const QString& line)
    {
        FPending.append(line);
        FPendingUnits += line.size();
        if (FPending.size() >= kSliceLines || FPendingUnits >= kSliceUnits)
            Flush();
    }
    // Appends what is pending and rests the caret at the start of the last line.
    void Finish()
    {
        Flush();
        FPane.SetCaret(0, FPane.Lines().Count() - 1);
    }

private:
    static constexpr qsizetype kSliceLines = 4096;
    static constexpr qsizetype kSliceUnits = 1 << 20;

    void Flush()
    {
        FPane.AppendLines(FPending);
        FPending.clear();
        FPendingUnits = 0;
    }

    THLEditor& FPane;
    QStringList FPending;
    qsizetype FPendingUnits = 0;
};

} // namespace

void TEditorFrame::ExecuteStatement(const QString& sql)
{
    {
        TUpdateBatch batch(*FResult);
        TTranscriptWriter writer(*FResult);
        const auto append = [&writer](const QString& line) { writer.Append(line); };
        for (const QString& line : Transcript::EchoLines(sql))
            append(line);

        std::shared_ptr<IMySQLQueryResult> result = DataSet.Query(Transcript::ToUtf8(sql));
        // A procedure can send a result set and then fail: the table is shown, then the error.
        if (result && result->GetRowCount() > 0)
            Transcript::TableLines(*result, append);
        if (DataSet.ErrorCode() != 0) {
            // The query pane keeps the statement, so that it can be corrected.
            for (const QString& line : Transcript::ErrorLines(Transcript::FromUtf8(DataSet.ErrorText())))
                append(line);
        } else {
            if (Transcript::IsUseStatement(sql))
                append(Transcript::DatabaseSelectedLine());
            else if (!result)
                append(Transcript::AffectedRowsLine(DataSet.AffectedRows()));
            else if (result->GetRowCount() < 1)
                append(Transcript::EmptySetLine());
            FQuery->ClearLines();
            FQuery->SetCaretOffset(0);
        }
        writer.Finish();
    }
    FocusQueryPane();
}

void TEditorFrame::RunQuery()
{
    const TEditorStrings& lines = FQuery->Lines();
    QString statement;
    for (int i = 0; i < lines.Count(); ++i) {
        const QString line = Transcript::TrimControls(lines.Get(i));
        // Comment lines stay in the pane and in the history, but are not sent.
        if (line.startsWith(QStringLiteral("-- ")))
            continue;
        if (!statement.isEmpty())
            statement += QStringLiteral("\r\n");
        statement += line;
    }
    if (statement.isEmpty())
        return;

    // Taken before the statement runs, since a statement that succeeds empties the pane.
    const QString key = lines.LineListText();
    ExecuteStatement(statement);

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    qsizetype found = -1;
    for (qsizetype i = 0; i < FHistory.size() && found < 0; ++i) {
        if (collator.compare(FHistory[i], key) == 0)
            found = i;
    }
    if (found < 0)
        FHistory.append(key);
    else
        FHistory.move(found, FHistory.size() - 1);  // the entry keeps the text it was stored with
    FHistoryIndex = static_cast<std::int32_t>(FHistory.size());
}

void TEditorFrame::LoadQuery(const QString& entry)
{
    FQuery->Lines().SetLineListText(entry);
}

void TEditorFrame::HistoryBack()
{
    TUpdateBatch batch(*FQuery);
    if (FHistoryIndex > 0) {
        --FHistoryIndex;
        LoadQuery(FHistory[FHistoryIndex]);
    }
    FQuery->SetCaretX(0);
    FQuery->SetCaretY(0);
}

void TEditorFrame::HistoryForward()
{
    TUpdateBatch batch(*FQuery);
    if (FHistory.size() > FHistoryIndex) {
        ++FHistoryIndex;
        LoadQuery(FHistoryIndex < FHistory.size() ? FHistory[FHistoryIndex] : QString());
    }
    FQuery->SetCaretX(0);
    FQuery->SetCaretY(0);
}
