// A console's pane: an SQL editor in the console's look, inside its view.
#pragma once

class QWidget;
class TEditorView;
class THLEditor;

// Makes the query pane (readOnly false) or the transcript pane (true) as a console shows it, with the
// view owned by parent (or by the caller when parent is null); editor is set to the view's editor.
TEditorView* MakePane(QWidget* parent, bool readOnly, THLEditor*& editor);
