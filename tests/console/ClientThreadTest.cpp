// The client session's thread classes without a server: the job thread, the reply channel, the
// slice queue of a run, and a session's jobs, failures and closing.
#include "ClientThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QObject>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "ClientSession.h"
#include "StatementRun.h"

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// A gate that jobs wait at until the test opens it.
class TGate {
public:
    void Wait()
    {
        std::unique_lock lock(FMutex);
        FEntered = true;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FOpen; });
    }
    void WaitEntered()
    {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return FEntered; });
    }
    void Open()
    {
        std::lock_guard lock(FMutex);
        FOpen = true;
        FChanged.notify_all();
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FEntered = false;
    bool FOpen = false;
};

TEST(ClientThread, AJobThatThrowsEndsAndTheNextRuns)
{
    TClientThread thread;
    auto ran = std::make_shared<std::vector<int>>();
    thread.Post([] { throw std::runtime_error("boom"); });
    thread.Post([] { throw 42; });
    thread.Post([ran] { ran->push_back(3); });
    ASSERT_TRUE(thread.WaitIdle(TClock::now() + 10s));
    EXPECT_EQ(*ran, std::vector<int>{3});
}

TEST(ClientThread, StopPastItsDeadlineLeavesAStuckJobToEndAlone)
{
    auto gate = std::make_shared<TGate>();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    {
        TClientThread thread;
        thread.Post([gate, ended] {
            gate->Wait();
            *ended = true;
        });
        thread.Post([dropped] { *dropped = true; });
        gate->WaitEntered();
        const auto start = TClock::now();
        EXPECT_FALSE(thread.Stop(start + 50ms));
        EXPECT_LT(TClock::now() - start, 1s);
        // Posted after the stop: never runs.
        thread.Post([dropped] { *dropped = true; });
    }
    // The stuck job finishes on its own once it can, with what it holds still alive.
    gate->Open();
    for (int i = 0; i < 1000 && !*ended; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(*ended);
    EXPECT_FALSE(*dropped);
}

TEST(ReplyChannel, DeliversInOrderOnTheReceiversThreadUntilClosed)
{
    QObject receiver;
    std::vector<int> handled;
    std::vector<bool> onReceiverThread;
    TReplyChannel<int> channel(&receiver, [&](int& value) {
        handled.push_back(value);
        onReceiverThread.push_back(QThread::currentThread() == receiver.thread());
    });
    std::thread sender([copy = channel] {
        for (int i = 0; i < 100; ++i)
            copy.Send(i);
    });
    sender.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled.size() == 100; }, 10000));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(handled[i], i);
    EXPECT_EQ(std::count(onReceiverThread.begin(), onReceiverThread.end(), false), 0);

    // Sent before the close and not yet handled, or sent after it: dropped.
    channel.Send(100);
    channel.Close();
    channel.Send(101);
    QCoreApplication::processEvents();
    QTest::qWait(20);
    EXPECT_EQ(handled.size(), 100u);
}

TEST(StatementRun, TheProducerWaitsForRoomAndADropWakesIt)
{
    std::atomic<int> wakes = 0;
    TStatementRun run([&wakes] { ++wakes; });
    // Each table starts a slice of its own; a full slice is pushed at once.
    const auto fullSlice = [&run] {
        for (std::size_t i = 0; i < TStatementRun::SliceLines; ++i) {
            run.LineBytes() += "row";
            run.EndLine(true);
        }
    };
    std::atomic<int> pushed = 0;
    std::atomic<bool> droppedThrown = false;
    std::thread producer([&] {
        try {
            run.Append(QStringLiteral("echo"));
            run.BeginTable(3 * TStatementRun::MaxQueued * TStatementRun::SliceLines);
            for (std::size_t i = 0; i < 3 * TStatementRun::MaxQueued; ++i) {
                fullSlice();
                ++pushed;
            }
            run.Finish(true, {});
        } catch (const TStatementRun::TDropped&) {
            droppedThrown = true;
        }
    });
    // The queue fills: MaxQueued slices, the echo's included, and the producer waits.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pushed == int(TStatementRun::MaxQueued) - 1; }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(pushed, int(TStatementRun::MaxQueued) - 1);
    EXPECT_EQ(wakes, 1);

    TStatementRun::TTaken first = run.Take();
    ASSERT_TRUE(first.Slice);
    EXPECT_EQ(first.Slice->Bytes, "echo");
    EXPECT_EQ(first.Slice->LineEnds, std::vector<std::size_t>{4});
    EXPECT_EQ(first.Slice->Rows, 0);
    EXPECT_EQ(first.Slice->TableRows, -1);
    TStatementRun::TTaken second = run.Take();
    ASSERT_TRUE(second.Slice);
    EXPECT_EQ(second.Slice->Rows, std::int64_t(TStatementRun::SliceLines));
    EXPECT_EQ(second.Slice->LineEnds.back(), 3 * TStatementRun::SliceLines);
    EXPECT_EQ(second.Slice->TableRows, std::int64_t(3 * TStatementRun::MaxQueued * TStatementRun::SliceLines));
    // Room for two: the producer goes on and fills it again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pushed == int(TStatementRun::MaxQueued) + 1; }, 10000));
    TStatementRun::TTaken third = run.Take();
    ASSERT_TRUE(third.Slice);
    EXPECT_EQ(third.Slice->TableRows, -1);

    // The producer waits for room again; the drop wakes it with TDropped.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pushed == int(TStatementRun::MaxQueued) + 2; }, 10000));
    run.Drop();
    producer.join();
    EXPECT_TRUE(droppedThrown);
    EXPECT_FALSE(run.Take().Slice);
}

// A session that has never connected: its jobs, their failures and its closing.
class Session : public testing::Test {
protected:
    // Waits until the session is no longer busy.
    static bool WaitIdle(const TClientSession& session)
    {
        return QTest::qWaitFor([&session] { return !session.Busy(); }, 10000);
    }
};

TEST_F(Session, BusyCountsEveryJobAndAThrowingJobStillEnds)
{
    TSessionHandle session(new TClientSession());
    int busyChanges = 0;
    QObject::connect(session.get(), &TClientSession::BusyChanged, [&] { ++busyChanges; });
    auto gate = std::make_shared<TGate>();
    std::vector<int> done;
    session->Post<int>([gate](TMySQLDataSet&) { gate->Wait(); return 1; }, [&](const int& v) { done.push_back(v); });
    session->Post<int>([](TMySQLDataSet&) -> int { throw std::runtime_error("boom"); },
                       [&](const int& v) { done.push_back(v); });
    session->Close();
    session->Post<int>([](TMySQLDataSet&) { return 4; }, [&](const int& v) { done.push_back(v); });
    EXPECT_TRUE(session->Busy());
    gate->Open();
    ASSERT_TRUE(WaitIdle(*session));
    EXPECT_EQ(done, (std::vector<int>{1, 4}));
    EXPECT_EQ(busyChanges, 2);
}

TEST_F(Session, ARunWhoseJobThrowsEndsWithTheFailure)
{
    TSessionHandle session(new TClientSession());
    session->Post<int>([](TMySQLDataSet& dataSet) {
        dataSet.OnQuery = [](TMySQLCustomDataSet&, std::string&) { throw std::runtime_error("boom"); };
        return 0;
    });
    ASSERT_TRUE(WaitIdle(*session));
    QString failure;
    bool ended = false;
    QObject::connect(session.get(), &TClientSession::RunEnded, [&](const QString& what) {
        failure = what;
        ended = true;
    });
    std::shared_ptr<TStatementRun> run = session->Run(QStringLiteral("SELECT 1"));
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(session->Run(QStringLiteral("SELECT 2")), nullptr) << "busy";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 10000));
    EXPECT_EQ(failure, "boom");
    // The run is its owner's until the owner ends it.
    EXPECT_TRUE(session->Busy());
    EXPECT_EQ(session->CurrentRun(), run);
    session->EndRun();
    EXPECT_FALSE(session->Busy());
    EXPECT_FALSE(session->HasRun());
}

TEST_F(Session, ARetiredSessionFinishesInTheBackgroundWithinItsBounds)
{
    auto gate = std::make_shared<TGate>();
    // Sessions of the tests before have finished closing.
    ASSERT_TRUE(QTest::qWaitFor([] { return TClientSession::Closing() == 0; }, 5000));
    const std::size_t before = 0;
    {
        TSessionHandle session(new TClientSession());
        bool doneRan = false;
        session->Post<int>([gate](TMySQLDataSet&) { gate->Wait(); return 1; }, [&doneRan](const int&) { doneRan = true; });
        gate->WaitEntered();
        const auto start = TClock::now();
        session.reset();
        EXPECT_LT(TClock::now() - start, 100ms) << "letting go never waits";
        EXPECT_EQ(TClientSession::Closing(), before + 1);
        // The job is stuck where a cut does not reach: after the cut and StopBound the session is
        // gone, and its thread is left to end alone.
        ASSERT_TRUE(QTest::qWaitFor([&] { return TClientSession::Closing() == before; },
                                    int((TClientSession::CutBound + TClientSession::StopBound + 2s) / 1ms)));
        EXPECT_FALSE(doneRan);
    }
    gate->Open();

    // An idle session closes at once.
    {
        TSessionHandle idle(new TClientSession());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return TClientSession::Closing() == before; }, 1000));
}

} // namespace
