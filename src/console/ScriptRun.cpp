#include "ScriptRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include "ClientStrings.h"
#include "CompletionContext.h"
#include "ConnectionWords.h"
#include "Editor.h"
#include "HLParser.h"
#include "LocalInfileNames.h"
#include "MySQLPackedResult.h"
#include "ScriptSplitter.h"
#include "StatementRun.h"
#include "Transcript.h"

namespace {

using TClock = std::chrono::steady_clock;

// How deep source may nest, as the command-line client allows.
constexpr int kMaxSourceDepth = 16;
// A file's outcomes are handed to the window at least this often, not after every statement.
constexpr auto kFileFlushInterval = std::chrono::milliseconds(50);

QString OnOneLine(const std::string& text)
{
    return SplitAtLineBreaks(FromClientString(text)).join(QLatin1Char(' '));
}

// The lines of a script, read one at a time.
class TLineSource {
public:
    virtual ~TLineSource() = default;
    // The next line without its line break; false at the end, or with error set when the line
    // cannot be read.
    virtual bool Next(QString& line, QString& error) = 0;
};

class TListSource final : public TLineSource {
public:
    explicit TListSource(const QStringList& lines) : FLines(lines) {}
    bool Next(QString& line, QString&) override
    {
        if (FIndex >= FLines.size())
            return false;
        line = FLines[FIndex++];
        return true;
    }

private:
    const QStringList& FLines;
    qsizetype FIndex = 0;
};

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A file read a line at a time, never whole: each line is checked to be UTF-8 as it is read.
class TFileSource final : public TLineSource {
public:
    TFileSource(std::FILE* file, std::atomic<std::int64_t>* bytesRead) : FFile(file), FBytesRead(bytesRead) {}
    ~TFileSource() override { std::free(FBuffer); }
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    bool Next(QString& line, QString& error) override
    {
        errno = 0;
        const ssize_t read = getline(&FBuffer, &FCapacity, FFile.get());
        if (read < 0) {
            if (std::ferror(FFile.get()))
                error = QStringLiteral("не удалось прочитать: ") + QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (FBytesRead)
            *FBytesRead += read;
        std::string_view bytes(FBuffer, static_cast<std::size_t>(read));
        if (bytes.ends_with('\n'))
            bytes.remove_suffix(1);
        if (bytes.ends_with('\r'))
            bytes.remove_suffix(1);
        if (FFirst && bytes.starts_with("\xEF\xBB\xBF"))
            bytes.remove_prefix(3);
        FFirst = false;
        if (bytes.find('\0') != std::string_view::npos) {
            error = QStringLiteral("нулевой байт: это не текст");
            return false;
        }
        line = FDecoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        if (FDecoder.hasError()) {
            error = QStringLiteral("текст не в UTF-8");
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<std::FILE, TFileCloser> FFile;
    std::atomic<std::int64_t>* FBytesRead;
    char* FBuffer = nullptr;
    std::size_t FCapacity = 0;
    bool FFirst = true;
    QStringDecoder FDecoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
};

QString UptimeText(long long seconds)
{
    const auto twoDigits = [](long long value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString text;
    if (seconds >= 86400)
        text = QStringLiteral("%1 дн ").arg(seconds / 86400);
    if (seconds >= 3600)
        text += QStringLiteral("%1 ч ").arg(seconds / 3600 % 24);
    if (seconds >= 60)
        text += QStringLiteral("%1 мин ").arg(seconds >= 3600 ? twoDigits(seconds / 60 % 60) : QString::number(seconds / 60));
    return text + QStringLiteral("%1 с").arg(seconds >= 60 ? twoDigits(seconds % 60) : QString::number(seconds));
}

const QStringList& HelpLines()
{
    static const QStringList lines = {
        QStringLiteral("-- Команды клиента (на отдельной строке; \\G и \\g - в конце запроса):"),
        QStringLiteral("-- DELIMITER x   \\d x     конец запроса - x вместо \";\""),
        QStringLiteral("-- ego           \\G       выполнить запрос и показать строки по одному полю в строке"),
        QStringLiteral("-- go            \\g       выполнить запрос"),
        QStringLiteral("-- source ФАЙЛ   \\. ФАЙЛ  выполнить файл (путь от рабочей папки программы, ~ - домашняя)"),
        QStringLiteral("-- status        \\s       сведения о соединении и сервере"),
        QStringLiteral("-- warnings      \\W       показывать предупреждения сервера после каждого запроса"),
        QStringLiteral("-- nowarning     \\w       не показывать предупреждения"),
        QStringLiteral("-- use БАЗА      \\u БАЗА  выбрать базу данных"),
        QStringLiteral("-- help          \\h \\?    этот список"),
    };
    return lines;
}

// Reads and drops what the server still sends for a request whose lines the console no longer
// takes, so that the connection is ready for the next request.
void DropRemainingOutcomes(TMySQLDataSet& dataSet, TStatementRun& run, std::optional<std::string>& schema)
{
    run.SetInServerCall(true);
    while (dataSet.MoreOutcomes()) {
        const TMySQLOutcome outcome = dataSet.NextOutcome(TResultReading::Skipped);
        if (outcome.Schema)
            schema = outcome.Schema;
        if (outcome.ErrorCode != 0)
            break;
    }
    run.SetOutcomesPending(false);
    run.SetInServerCall(false);
}

// Sends one request (the server may run several statements of it in turn) and writes every outcome
// in the server's order until the first error; answers the last outcome. The time spent in the
// client library's calls and the warnings are added to totals (the formatting between the calls,
// and the waits for the console to take what was formatted, are ours); the current database the
// server reports goes into schema. Throws TStatementRun::TDropped when the console stops taking.
TMySQLOutcome SendRequest(TMySQLDataSet& dataSet, TStatementRun& run, const QString& sql, bool vertical,
                          TRunTotals& totals, std::optional<std::string>& schema)
{
    const auto timed = [&totals](const auto& call) {
        const TClock::time_point start = TClock::now();
        TMySQLOutcome outcome = call();
        totals.Elapsed += TClock::now() - start;
        totals.Warnings += outcome.Warnings;
        return outcome;
    };
    const std::string request = ToClientString(sql);
    dataSet.SetLocalFiles(LocalInfileNames(sql));
    // The console shows how many rows have come while a result set arrives.
    run.SetRowsReceived(0);
    dataSet.OnRowsRead = [&run](std::int64_t rows) { run.SetRowsReceived(rows); };
    const std::unique_ptr<TMySQLDataSet, void (*)(TMySQLDataSet*)> rowsReported(
        &dataSet, [](TMySQLDataSet* reading) { reading->OnRowsRead = nullptr; });
    run.SetInServerCall(true);
    // Rows are read as they arrive, into storage that the table gives back as it is drawn.
    TMySQLOutcome outcome = timed([&] { return dataSet.Execute(request, TResultReading::Streamed); });
    // The first statement is told by the request's text; the later ones by what the server reports,
    // since a request sent whole is not cut into statements here.
    bool databaseSelected = outcome.ErrorCode == 0 && Transcript::IsUseStatement(sql);
    while (true) {
        // Pending first, then out of the call: the run never looks done on the server too early.
        run.SetOutcomesPending(outcome.ErrorCode == 0 && dataSet.MoreOutcomes());
        run.SetInServerCall(false);
        if (outcome.Schema)
            schema = outcome.Schema;
        WriteOutcome(run, outcome, databaseSelected, vertical);
        outcome.Rows.reset();
        if (outcome.ErrorCode != 0 || !dataSet.MoreOutcomes())
            break;
        // What is written is shown while the server works on the next statement.
        run.Flush();
        run.SetInServerCall(true);
        outcome = timed([&] { return dataSet.NextOutcome(TResultReading::Streamed); });
        databaseSelected = outcome.ErrorCode == 0 && !outcome.Rows && outcome.Schema && !outcome.Schema->empty();
    }
    return outcome;
}

class TScriptRunner {
public:
    // The console cancelled the script between two statements.
    struct TCancelled {};

    TScriptRunner(TMySQLDataSet& dataSet, TStatementRun& run, TScriptRunState& state)
        : FDataSet(dataSet), FRun(run), FState(state), FDelimiter(state.Delimiter), FShowWarnings(state.ShowWarnings)
    {
    }

    std::optional<std::string> Run()
    {
        bool stopped = false;
        try {
            TListSource source(FState.Lines);
            try {
                stopped = !RunSource(source, QString(), FState.Echo, 0);
            } catch (const TCancelled&) {
                Append(QStringLiteral("-- Выполнение прервано: остальные запросы не выполнены."));
                stopped = true;
            }
            SetAfter(stopped);
            FTotals.ErrorCode = FErrorCode;
            FRun.Finish(!stopped, FTotals);
        } catch (const TStatementRun::TDropped&) {
            DropRemainingOutcomes(FDataSet, FRun, FSchema);
            SetAfter(true);
        }
        return FSchema;
    }

private:
    void SetAfter(bool stopped)
    {
        std::lock_guard lock(FState.Mutex);
        FState.DelimiterAfter = FDelimiter;
        FState.ShowWarningsAfter = FShowWarnings;
        FState.Stopped = stopped;
    }

    void Append(const QString& line) { FRun.Append(line); }
    void Append(const QStringList& lines)
    {
        for (const QString& line : lines)
            FRun.Append(line);
    }

    // Runs the statements of one source; false when the script stopped in it. fileName: the file as
    // the source command named it, empty for the script itself.
    bool RunSource(TLineSource& source, const QString& fileName, bool echo, int depth)
    {
        // The statements of a file are not echoed, and their outcomes go to the window in batches,
        // also when the file was named by a source line of an echoed script.
        struct TRestore {
            bool& Echoing;
            const bool Outer;
            ~TRestore() { Echoing = Outer; }
        } restore{FEchoing, std::exchange(FEchoing, echo)};
        TScriptSplitter splitter(FDelimiter);
        bool finished = false;
        int count = 0;
        const auto next = [&](TScriptStatement& statement, QString& error) {
            while (!splitter.Next(statement)) {
                if (finished)
                    return false;
                QString line;
                if (source.Next(line, error)) {
                    splitter.AddLine(line);
                } else if (!error.isEmpty()) {
                    return false;
                } else {
                    splitter.Finish();
                    finished = true;
                }
            }
            return true;
        };
        while (true) {
            TScriptStatement statement;
            QString error;
            if (!next(statement, error)) {
                if (error.isEmpty())
                    return true;
                // The line that could not be read is the one after those read.
                Append(QStringLiteral("-- Файл «%1», строка %2: %3; выполнение остановлено.")
                           .arg(fileName)
                           .arg(splitter.LineCount() + 1)
                           .arg(error));
                return false;
            }
            ++count;
            FDelimiter = splitter.Delimiter();
            if (echo && !(depth == 0 && count == 1 && FState.FirstEchoed))
                Append(Transcript::EchoLines(statement.Echo()));
            std::optional<TMySQLOutcome> failure;
            const bool ran = RunItem(statement, depth, failure);
            splitter.SetDelimiter(FDelimiter);
            if (!ran) {
                if (failure) {
                    // In a script, the line after the server's error names it as the command-line
                    // client does; a single statement keeps the plain transcript.
                    TScriptStatement more;
                    QString ignored;
                    if (!fileName.isEmpty() || count > 1 || next(more, ignored)) {
                        const int line = statement.Line + (fileName.isEmpty() ? FState.FirstLineNumber - 1 : 0);
                        QString text = QStringLiteral("-- ERROR %1 (%2) at line %3")
                                           .arg(failure->ErrorCode)
                                           .arg(QString::fromStdString(failure->SqlState))
                                           .arg(line);
                        if (!fileName.isEmpty())
                            text += QStringLiteral(" in file: '%1'").arg(fileName);
                        Append(text);
                    }
                }
                return false;
            }
            if (depth == 0) {
                std::lock_guard lock(FState.Mutex);
                FState.RanUpTo = std::make_pair(statement.EndLine, statement.EndColumn);
            }
        }
    }

    // Runs one statement or command; false when the script stops here (failure: the server's error).
    bool RunItem(const TScriptStatement& statement, int depth, std::optional<TMySQLOutcome>& failure)
    {
        switch (statement.Command) {
        case TScriptCommand::Sql: {
            ++FState.StatementsRun;
            if (!*FState.ChangesNames && StatementChangesNames(statement.Sql))
                *FState.ChangesNames = true;
            TMySQLOutcome outcome = RunSql(statement.Sql, statement.Vertical);
            if (outcome.ErrorCode != 0) {
                failure = std::move(outcome);
                return false;
            }
            return true;
        }
        case TScriptCommand::Delimiter:
            FDelimiter = statement.Argument;
            return true;
        case TScriptCommand::Source:
            return Source(statement.Argument, depth);
        case TScriptCommand::Status:
            return Status();
        case TScriptCommand::Warnings:
            FShowWarnings = true;
            Append(QStringLiteral("-- Предупреждения сервера показываются после каждого запроса."));
            return true;
        case TScriptCommand::NoWarnings:
            FShowWarnings = false;
            Append(QStringLiteral("-- Предупреждения сервера не показываются."));
            return true;
        case TScriptCommand::Help:
            Append(HelpLines());
            return true;
        case TScriptCommand::Unknown:
            Append(QStringLiteral("-- Неизвестная команда «%1»: на сервер не отправлена; "
                                  "список команд - help.").arg(statement.Argument));
            return false;
        case TScriptCommand::Invalid:
            Append(QStringLiteral("-- ") + statement.Argument);
            return false;
        }
        return false;
    }

    // Before a wait for the server: what is written is shown (at once when statements are echoed,
    // every little while in a file), and a dropped run goes no further.
    void BeforeServerCall()
    {
        if (FState.Cancelled)
            throw TCancelled();
        const TClock::time_point now = TClock::now();
        if (FEchoing || now - FLastFlush >= kFileFlushInterval) {
            FRun.Flush();
            FLastFlush = now;
        } else {
            FRun.ThrowIfDropped();
        }
    }

    // Sends one statement and writes each of its outcomes, and the server's warnings when they are
    // asked for; answers the last outcome (an error ends it).
    TMySQLOutcome RunSql(const QString& sql, bool vertical)
    {
        BeforeServerCall();
        // Warnings of every outcome of the request count.
        const std::uint64_t warningsBefore = FTotals.Warnings;
        const TMySQLOutcome outcome = SendRequest(FDataSet, FRun, sql, vertical, FTotals, FSchema);
        FErrorCode = outcome.ErrorCode;
        if (outcome.ErrorCode == 0 && FShowWarnings && FTotals.Warnings > warningsBefore)
            WriteWarnings();
        return outcome;
    }

    void WriteWarnings()
    {
        const auto result = FDataSet.Query("SHOW WARNINGS");
        if (!result)
            return;
        while (const auto row = result->FetchRow()) {
            Append(QStringLiteral("-- %1 (Code %2): %3")
                       .arg(FromClientString(row->GetValue(0)), FromClientString(row->GetValue(1)),
                            OnOneLine(row->GetValue(2))));
        }
    }

    bool Status()
    {
        BeforeServerCall();
        FRun.SetInServerCall(true);
        const auto result = FDataSet.Query(
            "SELECT VERSION(), CONNECTION_ID(), CURRENT_USER(), DATABASE(), @@character_set_client, "
            "@@character_set_connection, @@character_set_results, @@character_set_server, "
            "@@character_set_database, (SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
            "WHERE VARIABLE_NAME = 'UPTIME')");
        FRun.SetInServerCall(false);
        const auto row = result ? result->FetchRow() : nullptr;
        if (!row) {
            TMySQLOutcome failed;
            failed.ErrorCode = FDataSet.ErrorCode();
            failed.ErrorText = FDataSet.ErrorText();
            failed.Refusal = FDataSet.Refusal();
            WriteOutcome(FRun, failed, false);
            FErrorCode = failed.ErrorCode;
            return false;
        }
        const auto value = [&row](int i) { return FromClientString(row->GetValue(i)); };
        const TMySQLConnection& connection = *FDataSet.Connection();
        QString encryption = FromClientString(EncryptionWords(connection));
        if (encryption.startsWith(QStringLiteral("TLS"))) {
            if (connection.TlsMode() != TTlsMode::Verified)
                encryption += QStringLiteral("; сертификат сервера не проверялся");
            else if (!connection.PinnedFingerprint().empty())
                encryption += QStringLiteral("; сертификат принят пользователем по отпечатку SHA-256");
            else if (connection.CAFile().empty())
                encryption += QStringLiteral("; сертификат проверен по системным центрам сертификации");
            else
                encryption += QStringLiteral("; сертификат проверен по файлу %1").arg(FromClientString(connection.CAFile()));
        }
        const QString database = value(3).isEmpty() ? QStringLiteral("не выбрана") : value(3);
        Append({QStringLiteral("-- Сервер:          %1").arg(value(0)),
                QStringLiteral("-- Соединение:      %1").arg(value(1)),
                QStringLiteral("-- Пользователь:    %1").arg(value(2)),
                QStringLiteral("-- База данных:     %1").arg(database),
                QStringLiteral("-- Шифрование:      %1").arg(encryption),
                QStringLiteral("-- Кодировки:       клиент %1, соединение %2, результаты %3, сервер %4, база данных %5")
                    .arg(value(4), value(5), value(6), value(7), value(8)),
                QStringLiteral("-- Сервер работает: %1").arg(UptimeText(value(9).toLongLong()))});
        return true;
    }

    bool Source(const QString& name, int depth)
    {
        QString path = name;
        if (path == u'~' || path.startsWith(QStringLiteral("~/")))
            path = QDir::homePath() + path.mid(1);
        const QFileInfo info(QDir::current(), path);
        const QString canonical = info.canonicalFilePath();
        if (depth + 1 > kMaxSourceDepth) {
            Append(QStringLiteral("-- Файл «%1» не выполнен: source вложен глубже %2 уровней.").arg(name).arg(kMaxSourceDepth));
            return false;
        }
        if (!canonical.isEmpty() && std::ranges::find(FFiles, canonical) != FFiles.end()) {
            Append(QStringLiteral("-- Файл «%1» не выполнен: он уже выполняется (source по кругу).").arg(name));
            return false;
        }
        if (info.isDir()) {
            Append(QStringLiteral("-- Не удалось открыть файл «%1»: это папка.").arg(name));
            return false;
        }
        std::FILE* file = std::fopen(QFile::encodeName(info.absoluteFilePath()).constData(), "rbe");
        if (!file) {
            Append(QStringLiteral("-- Не удалось открыть файл «%1»: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        const bool outermost = depth == 0;
        if (outermost) {
            FState.FileBytesTotal = info.size();
            FState.FileBytesRead = 0;
        }
        TFileSource source(file, outermost ? &FState.FileBytesRead : nullptr);
        FFiles.push_back(canonical);
        const bool ran = RunSource(source, name, false, depth + 1);
        FFiles.pop_back();
        return ran;
    }

    TMySQLDataSet& FDataSet;
    TStatementRun& FRun;
    TScriptRunState& FState;
    QString FDelimiter;
    bool FShowWarnings;
    std::vector<QString> FFiles; // the files being run, outermost first
    std::optional<std::string> FSchema;
    TRunTotals FTotals;
    std::uint32_t FErrorCode = 0;
    TClock::time_point FLastFlush;
    // The statements being run are echoed (the script itself), so each outcome is shown at once.
    bool FEchoing = false;
};

// The rows of a result one field a line, as the command-line client shows them after \G: a line of
// stars with the row's number, then each column's name right-aligned to the longest and its value.
void WriteVertical(TStatementRun& run, TMySQLPackedResult& rows)
{
    const std::int32_t columns = rows.FieldCount();
    std::vector<QString> names;
    qsizetype longest = 0;
    for (std::int32_t i = 0; i < columns; ++i) {
        names.push_back(FromClientString(rows.FieldName(i)));
        longest = std::max(longest, names.back().size());
    }
    std::vector<std::string> prefixes;
    for (const QString& name : names)
        prefixes.push_back(ToClientString(QStringLiteral("-- ") + name.rightJustified(longest) + QStringLiteral(": ")));
    std::vector<std::string_view> values;
    std::int64_t number = 0;
    while (rows.TakeRow(values)) {
        run.Append(QStringLiteral("-- *************************** %1. row ***************************").arg(++number));
        for (std::int32_t i = 0; i < columns; ++i) {
            run.LineBytes() += prefixes[static_cast<std::size_t>(i)];
            // A huge value goes in parts, as in a table.
            const std::string_view value = values[static_cast<std::size_t>(i)];
            for (std::size_t at = 0;;) {
                const std::size_t end = Transcript::EscapedPartEnd(value, at, run.LineRoom());
                Transcript::AppendEscaped(run.LineBytes(), value.substr(at, end - at));
                at = end;
                if (at == value.size())
                    break;
                run.EndLinePart();
            }
            run.EndLine();
        }
    }
}

} // namespace

std::optional<std::string> RunRequest(TMySQLDataSet& dataSet, TStatementRun& run, const QString& sql)
{
    std::optional<std::string> schema;
    TRunTotals totals;
    try {
        const TMySQLOutcome outcome = SendRequest(dataSet, run, sql, false, totals, schema);
        totals.ErrorCode = outcome.ErrorCode;
        run.Finish(outcome.ErrorCode == 0, totals);
    } catch (const TStatementRun::TDropped&) {
        DropRemainingOutcomes(dataSet, run, schema);
    }
    return schema;
}

std::optional<std::string> RunScript(TMySQLDataSet& dataSet, TStatementRun& run, TScriptRunState& state)
{
    TScriptRunner runner(dataSet, run, state);
    return runner.Run();
}

QStringList FirstEcho(const QStringList& lines, const QString& delimiter)
{
    TScriptSplitter splitter(delimiter);
    TScriptStatement first;
    for (const QString& line : lines) {
        splitter.AddLine(line);
        if (splitter.Next(first))
            return Transcript::EchoLines(first.Echo());
    }
    splitter.Finish();
    return splitter.Next(first) ? Transcript::EchoLines(first.Echo()) : QStringList();
}

bool HasScript(const QStringList& lines)
{
    TServerScanner scanner;
    TServerScanState state = TServerScanState::Text;
    bool inConditional = false;
    for (const QString& line : lines) {
        scanner.Start(line, state, inConditional);
        for (TServerToken token = scanner.Next(); token.Kind != TServerTokenKind::End; token = scanner.Next()) {
            if (token.Kind != TServerTokenKind::Blank && token.Kind != TServerTokenKind::Comment)
                return true;
        }
        state = scanner.State();
        inConditional = scanner.InConditional();
    }
    return false;
}

void WriteOutcome(TStatementRun& run, const TMySQLOutcome& outcome, bool databaseSelected, bool vertical)
{
    // A procedure can send a result set and then fail: the table is shown, then the error.
    if (outcome.Rows && outcome.Rows->RowCount() > 0) {
        if (vertical) {
            WriteVertical(run, *outcome.Rows);
        } else {
            Transcript::TTableLines table(*outcome.Rows);
            run.ExpectLines(static_cast<int>(std::min<std::int64_t>(table.LineCount(), INT_MAX)));
            run.BeginTable(outcome.Rows->RowCount());
            while (table.Next(run.LineBytes(), run.LineRoom())) {
                if (table.LineEnded())
                    run.EndLine(table.WroteRow());
                else
                    run.EndLinePart();
            }
        }
    }
    if (outcome.ErrorCode != 0) {
        for (const QString& line : Transcript::ErrorLines(FromClientString(ErrorWords(outcome))))
            run.Append(line);
    } else if (databaseSelected) {
        run.Append(Transcript::DatabaseSelectedLine());
    } else if (!outcome.Rows) {
        run.Append(Transcript::AffectedRowsLine(outcome.AffectedRows));
    } else if (outcome.Rows->RowCount() < 1) {
        run.Append(Transcript::EmptySetLine());
    }
}
