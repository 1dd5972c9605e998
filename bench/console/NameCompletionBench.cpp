// The query pane's completion over a schema of 5,000 tables of 20 columns: how long the first read
// of the names takes (beside the client library alone running the same queries) and the longest the
// window waits meanwhile, how soon Ctrl+Space shows the list once the names are known, and how long
// each typed character takes to filter it.
//
// NameCompletionBench HOST PORT USER PASSWORD: USER may create a database (scripts/bench passes root).
#include "BenchSupport.h"
#include "ConnectionWords.h"

#include "EditorView.h"
#include "HLEditor.h"
#include "NameCompletion.h"
#include "SchemaNames.h"

#include <QApplication>
#include <QListWidget>
#include <QKeyEvent>

#include <mysql.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kDatabase = "bench_names";
constexpr int kTables = 5000;
constexpr int kColumns = 20;

bool Query(MYSQL* handle, const std::string& sql)
{
    if (mysql_query(handle, sql.c_str()) != 0) {
        std::fprintf(stderr, "%s: %s\n", sql.substr(0, 80).c_str(), mysql_error(handle));
        return false;
    }
    if (MYSQL_RES* result = mysql_store_result(handle))
        mysql_free_result(result);
    return true;
}

// The schema, made once: a database that already holds every table is kept.
bool MakeSchema(MYSQL* handle)
{
    Query(handle, std::string("CREATE DATABASE IF NOT EXISTS ") + kDatabase);
    if (mysql_query(handle, (std::string("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = '")
                             + kDatabase + "'").c_str()) == 0) {
        MYSQL_RES* result = mysql_store_result(handle);
        MYSQL_ROW row = result != nullptr ? mysql_fetch_row(result) : nullptr;
        const int tables = row != nullptr ? std::atoi(row[0]) : 0;
        if (result != nullptr)
            mysql_free_result(result);
        if (tables == kTables)
            return true;
    }
    Query(handle, std::string("DROP DATABASE IF EXISTS ") + kDatabase);
    Query(handle, std::string("CREATE DATABASE ") + kDatabase);
    for (int t = 1; t <= kTables; ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "t%04d", t);
        std::string sql = std::string("CREATE TABLE ") + kDatabase + "." + name + " (";
        for (int c = 1; c <= kColumns; ++c) {
            char column[80];
            std::snprintf(column, sizeof column, "%scolumn_%02d_of_%s INT", c > 1 ? ", " : "", c, name);
            sql += column;
        }
        if (!Query(handle, sql + ") ENGINE=MyISAM"))
            return false;
    }
    return true;
}

// A key pressed and released on the view, as the user types it.
void Press(QWidget* view, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(view, &release);
}

QListWidget* List(const TEditorFrame& frame)
{
    return frame.QueryView()->viewport()->findChild<QListWidget*>();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    MYSQL* handle = mysql_init(nullptr);
    if (mysql_real_connect(handle, argv[1], argv[3], argv[4], nullptr, static_cast<unsigned>(std::atoi(argv[2])),
                           nullptr, 0) == nullptr) {
        std::fprintf(stderr, "connect: %s\n", mysql_error(handle));
        return 1;
    }
    if (!MakeSchema(handle))
        return 1;

    mysql_close(handle);
    const TConnectionInfo info{argv[1], std::atoi(argv[2]), argv[3], argv[4]};

    // The reference: the same queries on this thread through the client layer, without a session,
    // a second connection or the window.
    TNamesRequest request;
    request.Databases = true;
    request.Schemas = {kDatabase};
    std::vector<double> reference;
    std::size_t columns = 0;
    for (int i = 0; i < 3; ++i) {
        TMySQLDataSet dataSet;
        dataSet.SetHost(info.Host);
        dataSet.SetPort(info.Port);
        dataSet.SetUser(info.User);
        dataSet.SetPassword(info.Password);
        if (!dataSet.Open()) {
            std::fprintf(stderr, "connect: %s\n", ErrorWords(dataSet).c_str());
            return 1;
        }
        reference.push_back(bench::Milliseconds([&] {
            const TNamesReply reply = ReadNames(dataSet, request);
            columns = 0;
            for (const QStringList& list : reply.Schemas.at(0).second->Columns)
                columns += static_cast<std::size_t>(list.size());
        }));
    }
    std::printf("%zu columns in %d tables\n", columns, kTables);

    TEditorFrame frame;
    if (!OpenShownConsole(frame, argv[1], argv[2], argv[3], argv[4], kDatabase))
        return 1;
    TNameCompletion& names = frame.Names();
    RunUntil([&] { return !names.Reading(); });

    // The first read of the names, with the window's longest wait meanwhile.
    std::vector<double> reads;
    double stall = 0;
    for (int i = 0; i < 3; ++i) {
        bench::TStallWatch watch;
        reads.push_back(bench::Milliseconds([&] {
            names.Refresh();
            RunUntil([&] { return !names.Reading(); });
        }));
        stall = std::max(stall, watch.LongestMs());
    }
    if (names.Catalog().Schema(kDatabase) == nullptr || names.Catalog().Schema(kDatabase)->Tables.size() != kTables) {
        std::fprintf(stderr, "the names were not read\n");
        return 1;
    }

    // Ctrl+Space after FROM: every table is listed; then characters typed filter the list.
    TEditorView* view = frame.QueryView();
    view->setFocus();
    QCoreApplication::processEvents();
    std::vector<double> opens;
    std::vector<double> typed;
    int listed = 0;
    for (int i = 0; i < 10; ++i) {
        frame.mmQuery().Lines().SetText(QStringLiteral("SELECT * FROM "));
        frame.mmQuery().SetCaret(14, 0);
        QCoreApplication::processEvents();
        opens.push_back(bench::Milliseconds([&] {
            Press(view, Qt::Key_Space, Qt::ControlModifier);
            QCoreApplication::processEvents();
        }));
        listed = List(frame) != nullptr && List(frame)->isVisible() ? List(frame)->count() : 0;
        // "t" keeps every table; each later character narrows the list.
        for (const char c : std::string("t0012")) {
            typed.push_back(bench::Milliseconds([&] {
                const int key = c >= 'a' ? Qt::Key_A + (c - 'a') : Qt::Key_0 + (c - '0');
                Press(view, key, Qt::NoModifier, QString(QChar(c)));
                QCoreApplication::processEvents();
            }));
        }
        Press(view, Qt::Key_Escape);
    }
    std::printf("the list after FROM held %d entries\n", listed);

    bench::AtMost("first read of the names (median of 3)", bench::Median(reads), "ms", 2000);
    bench::Figure("reference: the same queries on one thread, no window", bench::Median(reference), "ms");
    bench::AtMost("longest wait of the window during the reads", stall, "ms", 16);
    bench::AtMost("Ctrl+Space to the list shown (median of 10)", bench::Median(opens), "ms", 50);
    bench::AtMost("Ctrl+Space to the list shown (slowest)", *std::max_element(opens.begin(), opens.end()), "ms", 50);
    bench::AtMost("a typed character filters the list (median)", bench::Median(typed), "ms", 10);
    bench::AtMost("a typed character filters the list (slowest)", *std::max_element(typed.begin(), typed.end()), "ms", 10);
    return bench::ExitStatus();
}
