// The user's words for what the client layer refused: each kind of refusal with its facts, and the
// refusals of real connects and statements as a console shows them.
#include "ConnectionWords.h"

#include <cerrno>

#include <errmsg.h>
#include <gtest/gtest.h>

#include "ConsoleTesting.h"

namespace {

using TKind = TClientRefusal::TKind;
using TReason = TCertificateProblem::TReason;

TClientRefusal Refusal(TKind kind, const std::string& host = "db.example", std::int32_t port = 3307)
{
    TClientRefusal refusal;
    refusal.Kind = kind;
    refusal.Host = host;
    refusal.Port = port;
    return refusal;
}

TClientRefusal WithLogin(TKind kind, const std::string& login, bool full = false,
                         TClientRefusal::TChannel channel = TClientRefusal::TChannel::Plain)
{
    TClientRefusal refusal = Refusal(kind);
    refusal.Login = login;
    refusal.FullAuthentication = full;
    refusal.Channel = channel;
    return refusal;
}

TClientRefusal With(TClientRefusal refusal, const std::string& file, int error = 0, const std::string& detail = {})
{
    refusal.File = file;
    refusal.Errno = error;
    refusal.Detail = detail;
    return refusal;
}

TClientRefusal Certificate(std::vector<TReason> reasons, const std::string& pinned, const std::string& detail = {})
{
    TClientRefusal refusal = Refusal(TKind::CertificateRefused, "127.0.0.1");
    TCertificateProblem problem;
    problem.Reasons = std::move(reasons);
    problem.Reason = problem.Reasons.front();
    problem.Fingerprint = "AA:BB";
    problem.Pinned = pinned;
    problem.Detail = detail;
    refusal.Certificate = problem;
    return refusal;
}

const std::string kLocalSocketHint =
    "\nС обязательным шифрованием программа соединяется по TCP и с «localhost»: через локальный сокет TLS не "
    "идёт. Если сервер слушает только сокет, выберите шифрование «когда сервер предлагает»: соединение через "
    "сокет не покидает этот компьютер.";

TEST(RefusalWords, EachKindOfRefusalInTheUsersWords)
{
    TClientRefusal timeLimit = Refusal(TKind::TimeLimit);
    timeLimit.Seconds = 10;
    TClientRefusal question = Refusal(TKind::DialogQuestion);
    question.Question = "Ваш PIN:";
    TClientRefusal overTcp = With(Refusal(TKind::ConnectionFailed, "localhost"), "", ECONNREFUSED);
    overTcp.LocalhostOverTcp = true;
    const std::string where = "«db.example», порт 3307";
    const std::string passwordNotSent = " Соединение не установлено, пароль не отправлен.";
    const std::string passwordLogin = ", при котором серверу передаётся сам пароль, а ";
    const std::string onlyVerified = ". Brindlecast передаёт пароль так только по TLS и только серверу с проверенным "
                                     "сертификатом (шифрование «с проверкой сервера»)."
                                   + passwordNotSent;
    const std::pair<TClientRefusal, std::string> cases[] = {
        {timeLimit, "Сервер не ответил за 10 с."},
        {Refusal(TKind::ZeroByte),
         "Имя хоста, имя пользователя или пароль содержит нулевой символ. Соединение не установлено."},
        {With(Refusal(TKind::HostNotFound), "", 0, "Name or service not known"),
         "Не удалось найти сервер «db.example»: Name or service not known"},
        {With(Refusal(TKind::ConnectionFailed), "", ECONNREFUSED),
         "Не удалось соединиться с сервером " + where + ": Connection refused"},
        {overTcp, "Не удалось соединиться с сервером «localhost», порт 3307: Connection refused" + kLocalSocketHint},
        {Refusal(TKind::NoGreeting), "Сервер " + where + " закрыл соединение, не прислав приветствия."},
        {Refusal(TKind::GreetingLate), "Сервер " + where + " не прислал приветствие за отведённое время."},
        {Refusal(TKind::NotADatabaseServer), "Собеседник " + where + " прислал не приветствие сервера баз данных."},
        {Refusal(TKind::BadGreeting), "Сервер " + where + " прислал неполное или непонятное приветствие."},
        {Refusal(TKind::NoTls), "Сервер " + where
                                    + " не предлагает шифрование (TLS), а оно требуется. Соединение не установлено, "
                                      "ничего не отправлено."},
        {Refusal(TKind::ClosedBeforeTls), "Сервер " + where + " закрыл соединение до начала TLS."},
        {With(Refusal(TKind::TlsUnavailable), "", 0, "the TLS library's words"),
         "TLS недоступен: the TLS library's words"},
        {With(Refusal(TKind::CAFileUnreadable), "/etc/ca.pem", 0, "no start line"),
         "Не удалось прочитать сертификаты центра сертификации из файла «/etc/ca.pem»: no start line"},
        {With(Refusal(TKind::TlsFailed), "", 0, "wrong version number"),
         "Не удалось установить TLS с сервером " + where + ": wrong version number"},
        {Refusal(TKind::TlsFailed), "Не удалось установить TLS с сервером " + where + ": соединение прервано"},
        {Refusal(TKind::NoCertificate), "Сервер " + where + " не предъявил сертификат."},
        {Certificate({TReason::UnknownAuthority, TReason::WrongName}, ""),
         "Сертификат сервера «127.0.0.1», порт 3307 не прошёл проверку: он выдан центром сертификации, которому "
         "нет доверия; он выдан не на имя «127.0.0.1».\nОтпечаток сертификата (SHA-256):\nAA:BB\nСоединение не "
         "установлено, ничего не отправлено."},
        {Certificate({TReason::Expired, TReason::NotYetValid, TReason::Other}, "CC:DD", "the TLS library's words"),
         "Сертификат сервера «127.0.0.1», порт 3307 не прошёл проверку: срок его действия истёк; срок его "
         "действия ещё не начался; the TLS library's words. Это не тот сертификат, которому вы доверились.\n"
         "Отпечаток сертификата (SHA-256):\nAA:BB\nОтпечаток, которому вы доверились:\nCC:DD\nСоединение не "
         "установлено, ничего не отправлено."},
        {WithLogin(TKind::PasswordLogin, "caching_sha2_password", true),
         "Сервер запросил вход через «caching_sha2_password» с полной проверкой пароля" + passwordLogin
             + "соединение не зашифровано" + onlyVerified},
        {WithLogin(TKind::PasswordLogin, "sha256_password", false, TClientRefusal::TChannel::LocalSocket),
         "Сервер запросил вход через «sha256_password»" + passwordLogin + "соединение идёт через локальный сокет"
             + onlyVerified},
        {WithLogin(TKind::PasswordLogin, "dialog", false, TClientRefusal::TChannel::Unverified),
         "Сервер запросил вход через «dialog»" + passwordLogin + "сертификат сервера не проверен" + onlyVerified},
        {question, "Сервер (вход через «dialog») задал вопрос, на который Brindlecast ответить не может: «Ваш PIN:». "
                   "Соединение не установлено."},
        {Refusal(TKind::OldGreeting), "Приветствие сервера оборвано или написано по протоколу старше 4.1: в нём нет "
                                      "данных для безопасного входа."
                                          + passwordNotSent},
        {Refusal(TKind::OldPasswordLogin),
         "Сервер запросил вход через «mysql_old_password»: по ответу этого устаревшего способа входа пароль легко "
         "восстановить, поэтому Brindlecast его не поддерживает."
             + passwordNotSent},
        {WithLogin(TKind::UnknownLogin, "brindle_magic"),
         "Сервер запросил вход через «brindle_magic», а Brindlecast такого способа входа не знает." + passwordNotSent},
        {With(Refusal(TKind::FileNotNamed), "/etc/passwd"),
         "Сервер запросил файл «/etc/passwd», которого выполняемый запрос не называет в LOAD DATA LOCAL INFILE. "
         "Запрос отклонён, файл не отправлен."},
        {With(Refusal(TKind::FileNotOpened), "rows.csv", ENOENT),
         "Не удалось открыть файл «rows.csv»: No such file or directory"},
        {With(Refusal(TKind::FileNotRead), "", EISDIR), "Не удалось прочитать файл: Is a directory"},
        {Refusal(TKind::FileNotSent), "Файл не отправлен."},
    };
    for (const auto& [refusal, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(RefusalText(refusal), text);
    }

    // The server's and the library's own words pass as they are; a refusal is worded.
    TMySQLOutcome outcome;
    outcome.ErrorCode = 1146;
    outcome.ErrorText = "Table 'brindle.t' doesn't exist";
    EXPECT_EQ(ErrorWords(outcome), outcome.ErrorText);
    outcome.ErrorText.clear();
    outcome.Refusal = Refusal(TKind::FileNotSent);
    EXPECT_EQ(ErrorWords(outcome), "Файл не отправлен.");
}

// A console that requires TLS of a server without it says why in the session's outcome, which the
// connect dialog and the reconnect's line show.
TEST(RefusalWords, AConsoleWordsARefusedConnect)
{
    const TTestServer& plain = PlainTestServer();
    TEditorFrame frame;
    frame.InitFrame();
    TConnectionInfo info{plain.Host, plain.Port, plain.User, plain.Password};
    info.TlsMode = TTlsMode::Required;
    frame.OpenConnection(info);
    WaitIdle(frame);
    const TConnectOutcome& state = frame.Session().State();
    ASSERT_FALSE(state.Opened);
    EXPECT_EQ(state.ErrorCode, static_cast<std::uint32_t>(CR_SSL_CONNECTION_ERROR));
    EXPECT_EQ(state.ErrorText, "Сервер «" + plain.Host + "», порт " + std::to_string(plain.Port)
                                   + " не предлагает шифрование (TLS), а оно требуется. Соединение не установлено, "
                                     "ничего не отправлено.");
}

// A file that a statement names but that cannot be opened fails the statement, and the transcript
// says why in the user's words.
TEST_F(Console, ARefusedFileIsWordedInTheTranscript)
{
    Run("CREATE TEMPORARY TABLE loaded (id INT)");
    const int mark = Mark();
    Run("LOAD DATA LOCAL INFILE '/nonexistent/rows.csv' INTO TABLE loaded");
    // The error's comment lines, unwrapped.
    QStringList words;
    for (const QString& line : Since(mark)) {
        if (line.startsWith(QStringLiteral("-- ")))
            words << line.mid(3);
    }
    EXPECT_EQ(words.join(' '), QStringLiteral("Не удалось открыть файл «/nonexistent/rows.csv»: No such file or directory"));
}

} // namespace
