#include "ConsolePane.h"

#include <memory>

#include "EditorView.h"
#include "HLEditor.h"

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
    // Completion keeps these settings; the query pane's names come from the server (TNameCompletion).
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
    // A TAB inside a quoted string or name is data and goes to the server as a TAB; elsewhere it
    // becomes blanks as in the transcript.
    editor->SetKeepLiteralTabs(!readOnly);
    return new TEditorView(std::move(core), parent);
}
