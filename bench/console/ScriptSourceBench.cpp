// Files run with source in a shown console, beside `mariadb < file` on the same server in the same
// run: a 60 MB dump (1,000,000 rows in 1,000-row extended INSERTs) and 20,000 single-row INSERTs.
// Also the cost of splitting the dump into statements alone, beside the console's run of it, and the
// longest stall of the GUI thread while a file runs.
//
//   ScriptSourceBench host port user password database
#include "BenchSupport.h"
#include "HLEditor.h"
#include "ScriptSplitter.h"
#include "UnitEditorFrame.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using namespace bench;

std::string WriteDump(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "DROP TABLE IF EXISTS bench_dump;\n"
           "CREATE TABLE bench_dump (id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2), note VARCHAR(20));\n";
    for (int block = 0; block < 1000; ++block) {
        out << "INSERT INTO bench_dump VALUES ";
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
};

TConsoleRun ConsoleMs(TEditorFrame& frame, const std::string& file)
{
    frame.ClearPanes();
    TConsoleRun run;
    TStallWatch watch;
    run.Ms = Milliseconds([&] {
        frame.mmQuery().Lines().SetText(QStringLiteral("source ") + QString::fromStdString(file));
        frame.RunQuery();
        WaitIdle(frame);
    });
    run.StallMs = watch.LongestMs();
    const QString last = frame.mmResult().Lines().Get(frame.mmResult().Lines().Count() - 1);
    if (!last.startsWith(QStringLiteral("-- Query Ok")))
        std::fprintf(stderr, "the console's run ended with: %s\n", last.toUtf8().constData());
    return run;
}

double SplitMs(const std::string& file)
{
    return Milliseconds([&] {
        QFile in(QString::fromStdString(file));
        if (!in.open(QIODevice::ReadOnly))
            return;
        TScriptSplitter splitter;
        TScriptStatement statement;
        long long statements = 0;
        while (!in.atEnd()) {
            QByteArray line = in.readLine();
            if (line.endsWith('\n'))
                line.chop(1);
            splitter.AddLine(QString::fromUtf8(line));
            while (splitter.Next(statement))
                ++statements;
        }
        splitter.Finish();
        while (splitter.Next(statement))
            ++statements;
        if (statements != 1002)
            std::fprintf(stderr, "split into %lld statements\n", statements);
    });
}

} // namespace

int main(int argc, char** argv)
{
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
        std::vector<double> reference, console, stall;
        for (int i = 0; i < 3; ++i) {
            reference.push_back(ReferenceMs(argv, file.Path));
            const TConsoleRun run = ConsoleMs(frame, file.Path);
            console.push_back(run.Ms);
            stall.push_back(run.StallMs);
        }
        std::printf("%s (medians of 3):\n", file.Name);
        Figure("mariadb < file", Median(reference) / 1000, "s");
        Figure("source in the console", Median(console) / 1000, "s");
        AtMost("console / mariadb", Median(console) / Median(reference), "x", 1.05);
        AtMost("longest GUI stall", *std::max_element(stall.begin(), stall.end()), "ms", 100);
        if (file.Path == dump) {
            const double split = SplitMs(dump);
            Figure("splitting the dump alone", split / 1000, "s");
            AtMost("splitting / the console's run", 100 * split / Median(console), "%", 5);
        }
    }
    std::remove(dump.c_str());
    std::remove(singles.c_str());
    return ExitStatus();
}
