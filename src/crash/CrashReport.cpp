#include "CrashReport.h"

#include "LocalDebugInfo.h"
#include "UnitTools.h"

#include <QDateTime>
#include <QStringList>
#include <QSysInfo>
#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include <cxxabi.h>
#include <elfutils/libdwfl.h>
#include <mysql.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

std::string Demangled(const char* name)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                      &std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

// The file's name without its directory, and without the note that it was removed since.
std::string BaseName(const char* path)
{
    const std::string_view name = WithoutDeletedNote(path);
    return std::string(name.substr(name.rfind('/') + 1));
}

// Source paths of our own files are given from the top of the source tree: the rest of the path
// says only where the program was built.
std::string SourcePath(const char* file)
{
    std::string_view path(file);
    const std::string_view root = BRINDLECAST_SOURCE_DIR "/";
    if (path.starts_with(root))
        path.remove_prefix(root.size());
    return std::string(path);
}

struct TDwflDeleter {
    void operator()(Dwfl* dwfl) const { dwfl_end(dwfl); }
};

// The modules of the record's map, each opened from its local file when first asked for.
std::unique_ptr<Dwfl, TDwflDeleter> ReportModules(const TCrashRecord& record)
{
    std::unique_ptr<Dwfl, TDwflDeleter> dwfl(dwfl_begin(&LocalDebugInfoCallbacks()));
    if (!dwfl || record.Maps.empty())
        return dwfl;
    FILE* file = fmemopen(const_cast<char*>(record.Maps.data()), record.Maps.size(), "r");
    if (!file)
        return dwfl;
    dwfl_report_begin(dwfl.get());
    dwfl_linux_proc_maps_report(dwfl.get(), file);
    std::fclose(file);
    dwfl_report_end(dwfl.get(), nullptr, nullptr);
    MarkOwnExecutable(dwfl.get(), record.Anchor);
    return dwfl;
}

TStackFrame Symbolise(Dwfl* dwfl, std::uintptr_t address, bool exact)
{
    TStackFrame frame;
    frame.Address = address;
    // A return address points after its call, perhaps already into the next line or function.
    const Dwarf_Addr lookup = exact || address == 0 ? address : address - 1;
    Dwfl_Module* module = dwfl ? dwfl_addrmodule(dwfl, lookup) : nullptr;
    if (!module)
        return frame;
    if (const char* name = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr))
        frame.Module = BaseName(name);
    Dwarf_Addr relative = address;
    if (dwfl_module_relocate_address(module, &relative) >= 0)
        frame.ModuleAddress = relative;
    GElf_Off offset = 0;
    GElf_Sym symbol;
    if (const char* name = dwfl_module_addrinfo(module, lookup, &offset, &symbol, nullptr, nullptr,
                                                nullptr))
        frame.Function = Demangled(name);
    if (Dwfl_Line* line = dwfl_module_getsrc(module, lookup)) {
        int number = 0;
        if (const char* file = dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr)) {
            frame.File = SourcePath(file);
            frame.Line = number;
        }
    }
    return frame;
}

std::string BuildId(Dwfl* dwfl, std::uintptr_t anchor)
{
    Dwfl_Module* module = dwfl && anchor ? dwfl_addrmodule(dwfl, anchor) : nullptr;
    Dwarf_Addr bias = 0;
    if (!module || !dwfl_module_getelf(module, &bias))
        return {};
    const unsigned char* bits = nullptr;
    GElf_Addr where = 0;
    const int size = dwfl_module_build_id(module, &bits, &where);
    std::string hex;
    for (int i = 0; i < size; ++i) {
        hex += "0123456789abcdef"[bits[i] >> 4];
        hex += "0123456789abcdef"[bits[i] & 15];
    }
    return hex;
}

QString Text(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString SignalName(int signal)
{
    if (const char* name = sigabbrev_np(signal))
        return QStringLiteral("SIG") + QString::fromLatin1(name);
    return QStringLiteral("сигнал %1").arg(signal);
}

QString SignalMeaning(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return QStringLiteral("обращение к недопустимому адресу памяти");
    case SIGBUS:
        return QStringLiteral("обращение к памяти, которой нет");
    case SIGILL:
        return QStringLiteral("недопустимая команда процессора");
    case SIGFPE:
        return QStringLiteral("арифметическая ошибка, например деление на ноль");
    case SIGABRT:
        return QStringLiteral("аварийное прерывание программы");
    }
    return QString::fromLocal8Bit(strsignal(signal));
}

bool SentByAnotherProcess(const TCrashRecord& record)
{
    return record.Kind == TCrashKind::Signal && record.Code <= 0 && record.Sender != 0
           && record.Sender != record.Pid;
}

QString ExceptionDescription(const TCrashRecord& record)
{
    if (record.ExceptionType.empty())
        return QString();
    QString text = Text(Demangled(record.ExceptionType.c_str()));
    if (!record.ExceptionText.empty())
        text += QStringLiteral(": «%1»").arg(Text(record.ExceptionText));
    return text;
}

QString WhatHappened(const TCrashRecord& record)
{
    switch (record.Kind) {
    case TCrashKind::Signal: {
        QString text = QStringLiteral("сигнал %1 (%2)").arg(SignalName(record.Signal),
                                                          SignalMeaning(record.Signal));
        if (SentByAnotherProcess(record))
            text += QStringLiteral(", посланный процессом %1").arg(record.Sender);
        else if (record.Signal != SIGABRT && record.Code > 0)
            text += QStringLiteral(" по адресу 0x%1").arg(record.Address, 0, 16);
        return text;
    }
    case TCrashKind::Terminate: {
        const QString exception = ExceptionDescription(record);
        if (exception.isEmpty())
            return QStringLiteral("вызов std::terminate");
        return QStringLiteral("вызов std::terminate из-за необработанного исключения %1").arg(exception);
    }
    case TCrashKind::Exception:
        return QStringLiteral("исключение %1, не обработанное в обработчике события")
            .arg(ExceptionDescription(record).isEmpty() ? QStringLiteral("неизвестного типа")
                                                          : ExceptionDescription(record));
    }
    return QString();
}

// The local time with its offset from UTC, which a reader elsewhere needs.
QString LocalTime(std::int64_t seconds)
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(seconds);
    const int offset = time.offsetFromUtc();
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
           + QStringLiteral(" UTC%1%2:%3")
                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                 .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                 .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QString FrameLine(int index, const TStackFrame& frame)
{
    QString line = QStringLiteral("  #%1  ").arg(index, -2);
    line += frame.Function.empty() ? QStringLiteral("??") : Text(frame.Function);
    if (!frame.File.empty())
        line += QStringLiteral(" — %1:%2").arg(Text(frame.File)).arg(frame.Line);
    if (!frame.Module.empty())
        line += QStringLiteral(" [%1+0x%2]").arg(Text(frame.Module)).arg(frame.ModuleAddress, 0, 16);
    else
        line += QStringLiteral(" [0x%1]").arg(frame.Address, 0, 16);
    return line;
}

} // namespace

std::vector<TStackFrame> SymboliseStack(const TCrashRecord& record, std::string* buildId)
{
    const std::unique_ptr<Dwfl, TDwflDeleter> dwfl = ReportModules(record);
    std::vector<TStackFrame> frames;
    if (record.Pc != 0)
        frames.push_back(Symbolise(dwfl.get(), record.Pc, true));
    for (std::uintptr_t address : record.Frames)
        frames.push_back(Symbolise(dwfl.get(), address, false));
    if (buildId)
        *buildId = BuildId(dwfl.get(), record.Anchor);
    return frames;
}

TCrashEnvironment CurrentEnvironment()
{
    TCrashEnvironment environment;
    environment.Version = GetVersionString().toStdString();
    environment.Build = BRINDLECAST_BUILD_TYPE ", GCC " __VERSION__;
    if (BRINDLECAST_SANITIZED)
        environment.Build += ", AddressSanitizer и UndefinedBehaviorSanitizer";
    environment.Qt = qVersion();
    environment.Client = std::string("MariaDB Connector/C ") + mysql_get_client_info();
    environment.System = QSysInfo::prettyProductName().toStdString();
    utsname kernel;
    if (uname(&kernel) == 0)
        environment.System += std::string(", ") + kernel.sysname + ' ' + kernel.release + ", " + kernel.machine;
    char executable[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", executable, sizeof executable);
    if (size > 0)
        environment.Executable = WithoutDeletedNote(std::string_view(executable, static_cast<std::size_t>(size)));
    return environment;
}

QString CrashReportAddress()
{
    return QStringLiteral(BRINDLECAST_REPORT_ADDRESS);
}

QString CrashSummary(const TCrashRecord& record)
{
    if (record.Kind == TCrashKind::Exception)
        return QStringLiteral("В Brindlecast произошла внутренняя ошибка: начатое действие не "
                              "выполнено, но работу можно продолжить.");
    QString summary = SentByAnotherProcess(record)
                          ? QStringLiteral("Brindlecast была остановлена другой программой")
                          : QStringLiteral("Brindlecast аварийно завершилась из-за внутренней ошибки");
    const bool connected = std::any_of(record.Consoles.begin(), record.Consoles.end(),
                                       [](const TCrashConsole& console) { return !console.ServerVersion.empty(); });
    if (connected)
        summary += QStringLiteral(", и её открытые соединения закрыты");
    return summary + u'.';
}

QString CrashNextSteps(const QString& address)
{
    QString steps = QStringLiteral("Чтобы ошибку исправили, сохраните отчёт кнопкой «Сохранить…» и "
                                   "приложите файл к сообщению об ошибке");
    if (!address.isEmpty())
        steps += QStringLiteral(" или отправьте отчёт кнопкой «Отправить…» на адрес %1").arg(address);
    return steps + QStringLiteral(". Всё, чего вы не хотите отправлять, можно убрать из отчёта "
                                  "после нажатия кнопки «Изменить».");
}

QString CrashReportText(const TCrashRecord& record, const QString& address)
{
    std::string buildId;
    const std::vector<TStackFrame> frames = SymboliseStack(record, &buildId);

    QStringList lines;
    lines << QStringLiteral("Отчёт об ошибке Brindlecast");
    if (!address.isEmpty())
        lines << QStringLiteral("Куда отправить: ") + address;
    lines << QString();
    lines << QStringLiteral("Что случилось: ") + WhatHappened(record);
    lines << QStringLiteral("Время: ") + LocalTime(record.Time);
    lines << QStringLiteral("Программа: Brindlecast ") + Text(record.Environment.Version);
    QString build = Text(record.Environment.Build);
    if (!buildId.empty())
        build += QStringLiteral(", build-id ") + Text(buildId);
    lines << QStringLiteral("Сборка: ") + build;
    lines << QStringLiteral("Qt: ") + Text(record.Environment.Qt);
    lines << QStringLiteral("Клиентская библиотека: ") + Text(record.Environment.Client);
    lines << QStringLiteral("Система: ") + Text(record.Environment.System);
    QString thread = QStringLiteral("Поток: %1 «%2»").arg(record.Tid).arg(Text(record.ThreadName));
    if (record.Tid == record.Pid)
        thread += QStringLiteral(", главный поток программы");
    lines << thread;

    lines << QStringLiteral("Открытые соединения:");
    if (record.Consoles.empty())
        lines << QStringLiteral("  нет");
    for (const TCrashConsole& console : record.Consoles) {
        const QString server = console.ServerVersion.empty()
                                   ? QStringLiteral("не подключено")
                                   : QStringLiteral("сервер ") + Text(console.ServerVersion);
        lines << QStringLiteral("  '%1'@'%2', порт %3, %4")
                     .arg(Text(console.User), Text(console.Host))
                     .arg(console.Port)
                     .arg(server);
    }

    lines << QStringLiteral("Стек вызовов:");
    if (frames.empty())
        lines << QStringLiteral("  не записан");
    for (std::size_t i = 0; i < frames.size(); ++i)
        lines << FrameLine(static_cast<int>(i), frames[i]);
    return lines.join(u'\n') + u'\n';
}
