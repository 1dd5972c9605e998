// Files run with source in a shown console, beside `mariadb < file` on the same server in the same
// run: a 60 MB dump (1,000,000 rows in 1,000-row extended INSERTs) and 20,000 single-row INSERTs.
// Also the cost of splitting the dump into statements alone, beside the console's run of it, the
// longest stall of the GUI thread while a file runs, whether the 20,000th statement costs what the
// first did, and a 10 MB script pasted into the query pane and run with Ctrl+Enter.
//
//   ScriptSourceBench host port user password database [dump|singles|pasted]   (one only, for a profiler)
//   ScriptSourceBench split                                              (the splitter alone, no server)
#include "BenchSupport.h"
#include "ClientStrings.h"
#include "HLEditor.h"
#include "ScriptSplitter.h"
#include "UnitEditorFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QFile>
#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace bench;

// blocks INSERTs of 1,000 rows each into table; 1,000 of them make 60 MB.
std::string WriteDump(const std::string& path, int blocks = 1000, const std::string& table = "bench_dump")
{
    std::ofstream out(path, std::ios::binary);
    out << "DROP TABLE IF EXISTS " << table << ";\n"
        << "CREATE TABLE " << table << " (id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2), note VARCHAR(20));\n";
    for (int block = 0; block < blocks; ++block) {
        out << "INSERT INTO " << table << " VALUES ";
        for (int i = 0; i < 1000; ++i) {
            const int id = block * 1000 + i + 1;
            out << (i ? ",(" : "(") << id << ",'customer number " << id << "'," << id % 100000 << ".25,'it''s; -- #"
                << id % 97 << "')";
        }
        out << ";\n";
    }
    return path;
}

std::string WriteSingles(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "DROP TABLE IF EXISTS bench_single;\nCREATE TABLE bench_single (id INT PRIMARY KEY, name VARCHAR(40));\n";
    for (int id = 1; id <= 20000; ++id)
        out << "INSERT INTO bench_single VALUES (" << id << ", 'row " << id << "');\n";
    return path;
}

double ReferenceMs(char** argv, const std::string& file)
{
    const std::string command = std::string("mariadb --no-defaults -h ") + argv[1] + " -P " + argv[2] + " -u " + argv[3]
                              + " -p" + argv[4] + " -D " + argv[5] + " < " + file;
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "mariadb failed on %s\n", file.c_str());
    return MillisecondsSince(start);
}

struct TConsoleRun {
    double Ms = 0;
    double StallMs = 0;
    // How long the statements from the 1,000th to the 5,000th took, and those from the 15,000th to
    // the 19,000th (a file of 20,000 statements): each writes one outcome line.
    double EarlyMs = 0;
    double LateMs = 0;
};

TConsoleRun ConsoleMs(TEditorFrame& frame, const std::string& file)
{
    frame.ClearPanes();
    TConsoleRun run;
    TStallWatch watch;
    // The transcript's length, every few milliseconds: how far the file has come.
    std::vector<std::pair<double, int>> progress;
    QElapsedTimer clock;
    clock.start();
    QTimer sampler;
    sampler.setInterval(5);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        progress.emplace_back(static_cast<double>(clock.nsecsElapsed()) / 1e6, frame.mmResult().Lines().Count());
    });
    sampler.start();
    run.Ms = Milliseconds([&] {
        frame.mmQuery().Lines().SetText(QStringLiteral("source ") + QString::fromStdString(file));
        frame.RunQuery();
        WaitIdle(frame);
    });
    sampler.stop();
    const auto reached = [&](int lines) {
        for (const auto& [ms, count] : progress) {
            if (count >= lines)
                return ms;
        }
        return progress.empty() ? 0.0 : progress.back().first;
    };
    run.EarlyMs = reached(5000) - reached(1000);
    run.LateMs = reached(19000) - reached(15000);
    run.StallMs = watch.LongestMs();
    const QString last = frame.mmResult().Lines().Get(frame.mmResult().Lines().Count() - 1);
    if (!last.startsWith(QStringLiteral("-- Query Ok")))
        std::fprintf(stderr, "the console's run ended with: %s\n", last.toUtf8().constData());
    return run;
}

// A script pasted into the query pane and run with Ctrl+Enter: the whole run, and the longest the
// window waited, from the key on.
TConsoleRun PastedMs(TEditorFrame& frame, const QString& script)
{
    frame.ClearPanes();
    frame.mmQuery().Lines().SetText(script);
    QCoreApplication::processEvents();
    TConsoleRun run;
    TStallWatch watch;
    run.Ms = Milliseconds([&] {
        frame.RunQuery();
        WaitIdle(frame);
    });
    run.StallMs = watch.LongestMs();
    if (frame.mmQuery().Lines().Count() > 1)
        std::fprintf(stderr, "the pasted script did not run to its end\n");
    return run;
}

// The client's part of running the pasted script without the server: the pane's lines split into
// statements, and each statement made the request that is sent.
double SplitLinesMs(const QStringList& lines)
{
    return Milliseconds([&] {
        TScriptSplitter splitter;
        TScriptStatement statement;
        std::size_t requestBytes = 0;
        const auto take = [&] {
            while (splitter.Next(statement))
                requestBytes += ToClientString(statement.Sql).size();
        };
        for (const QString& line : lines) {
            splitter.AddLine(line);
            take();
        }
        splitter.Finish();
        take();
        if (requestBytes == 0)
            std::fprintf(stderr, "the pasted script split into nothing\n");
    });
}

// The client's part of running the dump without the server: its lines read and decoded as a file
// run reads them, split into statements, and each statement made the request that is sent.
double SplitMs(const std::string& file)
{
    return Milliseconds([&] {
        std::FILE* in = std::fopen(file.c_str(), "rb");
        if (!in)
            return;
        char* buffer = nullptr;
        std::size_t capacity = 0;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        TScriptSplitter splitter;
        TScriptStatement statement;
        long long statements = 0;
        std::size_t requestBytes = 0;
        const auto take = [&] {
            while (splitter.Next(statement)) {
                ++statements;
                requestBytes += ToClientString(statement.Sql).size();
            }
        };
        for (ssize_t read; (read = getline(&buffer, &capacity, in)) >= 0;) {
            std::string_view line(buffer, static_cast<std::size_t>(read));
            if (line.ends_with('\n'))
                line.remove_suffix(1);
            const QString text = decoder.decode(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
            splitter.AddLine(text);
            take();
        }
        splitter.Finish();
        take();
        std::free(buffer);
        std::fclose(in);
        if (statements != 1002 || requestBytes == 0)
            std::fprintf(stderr, "split into %lld statements\n", statements);
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "split") {
        const std::string dump = WriteDump("/tmp/brindlecast-bench-dump.sql");
        std::vector<double> split;
        for (int i = 0; i < 5; ++i)
            split.push_back(SplitMs(dump));
        Figure("splitting the dump alone (median of 5)", Median(split) / 1000, "s");
        std::remove(dump.c_str());
        return ExitStatus();
    }
    const std::string_view only = argc > 6 ? argv[6] : "";
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s host port user password database\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TEditorFrame frame;
    if (!OpenShownConsole(frame, argv[1], argv[2], argv[3], argv[4], argv[5]))
        return 1;
    const std::string dump = WriteDump("/tmp/brindlecast-bench-dump.sql");
    const std::string singles = WriteSingles("/tmp/brindlecast-bench-singles.sql");

    struct TFile {
        const char* Name;
        std::string Path;
    };
    for (const TFile& file : {TFile{"60 MB dump", dump}, TFile{"20,000 single-row INSERTs", singles}}) {
        if (!only.empty() && only != (file.Path == dump ? "dump" : "singles"))
            continue;
        std::vector<double> reference, console, stall, flatness;
        for (int i = 0; i < 3; ++i) {
            reference.push_back(ReferenceMs(argv, file.Path));
            const TConsoleRun run = ConsoleMs(frame, file.Path);
            console.push_back(run.Ms);
            stall.push_back(run.StallMs);
            if (run.EarlyMs > 0)
                flatness.push_back(run.LateMs / run.EarlyMs);
        }
        std::printf("%s (medians of 3):\n", file.Name);
        Figure("mariadb < file", Median(reference) / 1000, "s");
        Figure("source in the console", Median(console) / 1000, "s");
        AtMost("console / mariadb", Median(console) / Median(reference), "x", 1.05);
        AtMost("longest GUI stall", *std::max_element(stall.begin(), stall.end()), "ms", 100);
        if (file.Path == singles && !flatness.empty())
            AtMost("statements 15,000-19,000 / 1,000-5,000", Median(flatness), "x", 1.10);
        if (file.Path == dump) {
            const double split = SplitMs(dump);
            Figure("splitting the dump alone", split / 1000, "s");
            AtMost("splitting / the console's run", 100 * split / Median(console), "%", 5);
        }
    }
    if (only.empty() || only == "pasted") {
        const std::string pasted = WriteDump("/tmp/brindlecast-bench-pasted.sql", 170, "bench_pasted");
        QFile file(QString::fromStdString(pasted));
        file.open(QIODevice::ReadOnly);
        const QString script = QString::fromUtf8(file.readAll());
        std::vector<double> reference, console, stall;
        for (int i = 0; i < 3; ++i) {
            reference.push_back(ReferenceMs(argv, pasted));
            const TConsoleRun run = PastedMs(frame, script);
            console.push_back(run.Ms);
            stall.push_back(run.StallMs);
        }
        std::printf("a pasted script of 170 INSERTs, %.1f MB, run with Ctrl+Enter (medians of 3):\n",
                    static_cast<double>(file.size()) / 1e6);
        Figure("mariadb < file", Median(reference) / 1000, "s");
        Figure("Ctrl+Enter in the console", Median(console) / 1000, "s");
        AtMost("console / mariadb", Median(console) / Median(reference), "x", 1.05);
        AtMost("longest GUI stall", *std::max_element(stall.begin(), stall.end()), "ms", 100);
        const double split = SplitLinesMs(script.split(u'\n'));
        Figure("splitting the script alone", split / 1000, "s");
        AtMost("splitting / the console's run", 100 * split / Median(console), "%", 5);
        std::remove(pasted.c_str());
    }
    std::remove(dump.c_str());
    std::remove(singles.c_str());
    return ExitStatus();
}
