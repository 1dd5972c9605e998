// Drives the modal windows a test provokes: acts on a window once its modal loop runs, and answers
// message boxes while recording what they said.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// Runs an action on the first visible modal window of type TWindow, from inside the modal loop
// that shows it (a timer polls for it). With Repeat it acts on every such window that comes up.
template <class TWindow>
class TOnModal {
public:
    explicit TOnModal(std::function<void(TWindow&)> action, bool repeat = false)
        : FAction(std::move(action))
        , FRepeat(repeat)
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start();
    }

    int Calls() const { return FCalls; }

private:
    void Poll()
    {
        if (FBusy || (FCalls > 0 && !FRepeat))
            return;
        auto* window = qobject_cast<TWindow*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible())
            return;
        ++FCalls;
        // The action may run a nested modal loop of its own, in which this timer keeps firing.
        FBusy = true;
        FAction(*window);
        FBusy = false;
    }

    std::function<void(TWindow&)> FAction;
    bool FRepeat;
    bool FBusy = false;
    int FCalls = 0;
    QTimer FTimer;
};

// How long a slow user takes to answer a box.
constexpr std::chrono::milliseconds kSlowAnswer{200};

struct TSeenMessageBox {
    QString Title;
    QString Text;
    QMessageBox::Icon Icon;
    QMessageBox::StandardButtons Buttons;
    Qt::TextFormat Format;
};

// Answers every message box that comes up while it lives, with a button or (no answer) with Esc.
// answerAfter: a slow user, who answers only after the window has processed events that long (what
// the program does meanwhile, such as freeing what it let go of, happens under the open box).
class TMessageBoxes {
public:
    explicit TMessageBoxes(std::optional<QMessageBox::StandardButton> answer = QMessageBox::Ok,
                           std::chrono::milliseconds answerAfter = std::chrono::milliseconds(0))
        : FOnBox(
            [this, answer, answerAfter](QMessageBox& box) {
                FSeen.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(), box.textFormat()});
                if (answerAfter.count() > 0)
                    QTest::qWait(static_cast<int>(answerAfter.count()));
                if (answer && box.button(*answer))
                    box.button(*answer)->click();
                else
                    QTest::keyClick(&box, Qt::Key_Escape);
            },
            true)
    {
    }

    const std::vector<TSeenMessageBox>& Seen() const { return FSeen; }

private:
    std::vector<TSeenMessageBox> FSeen;
    TOnModal<QMessageBox> FOnBox;
};
