// An editor for core tests: attached to a fake window with the panes' settings, counting its events,
// recording its text-change notifications, and able to set a selection directly.
#pragma once

#include "Editor.h"
#include "FakePlatform.h"

#include <QStringList>

#include <vector>

class TTestEditor : public TEditor {
public:
    void NotifyTextChanged(const TTextChange& change) override
    {
        TextChanges.push_back(change);
        TEditor::NotifyTextChanged(change);
    }
    void FillLineAttrs(int line, int firstColumn, int lastColumn) override
    {
        FilledLines.push_back(line);
        if (FillHook)
            FillHook(LineAttrs(), line, firstColumn, lastColumn);
    }

    void Select(TSelBlockFormat format, int begX, int begY, int endX, int endY)
    {
        FSel.Selected = true;
        FSel.SelBlockFormat = format;
        FSel.SelBegX = begX;
        FSel.SelBegY = begY;
        FSel.SelEndX = endX;
        FSel.SelEndY = endY;
    }

    std::vector<TTextChange> TextChanges;
    std::vector<int> FilledLines;
    std::function<void(TLineAttrs&, int, int, int)> FillHook;
};

// The editor on its window, with the panes' gutter, margin and tab stops, and event counters.
struct TEditorHarness {
    explicit TEditorHarness(const QStringList& lines = {}, QSize client = QSize(400, 200))
    {
        Platform.Client = client;
        Editor.SetGutterWidth(25);
        Editor.SetTabStops(QStringLiteral("8 16"));
        Editor.OnChange = [this](TCustomEditorBase&) { ++Changes; };
        Editor.OnChangeStatus = [this](TCustomEditorBase&) { ++Statuses; };
        Editor.OnScroll = [this](TCustomEditorBase&) { ++Scrolls; };
        Editor.OnLineInserted = [this](TCustomEditorBase&, int line) { Inserted.push_back(line); };
        Editor.OnLineDeleted = [this](TCustomEditorBase&, int line) { Deleted.push_back(line); };
        Editor.SetPlatform(&Platform);
        if (!lines.isEmpty())
            Editor.Lines().Assign(lines);
        ResetCounts();
    }
    ~TEditorHarness() { Editor.SetPlatform(nullptr); }

    void ResetCounts()
    {
        Changes = Statuses = Scrolls = 0;
        Inserted.clear();
        Deleted.clear();
        Editor.TextChanges.clear();
        Platform.ClearRecords();
    }
    QStringList Lines() const { return Editor.Lines().ToStringList(); }
    QPoint Caret() const { return QPoint(Editor.CaretX(), Editor.CaretY()); }
    const TUndoBuffer& Undo() const { return Editor.UndoBuffer(); }

    TFakePlatform Platform;
    TTestEditor Editor;
    int Changes = 0;
    int Statuses = 0;
    int Scrolls = 0;
    std::vector<int> Inserted;
    std::vector<int> Deleted;
};
